// zendal-pedal-sim: the virtual pedal on a pseudo-terminal. Prints the slave
// path as its first line; the editor, zendalctl or stm32flash open that path
// like a serial port.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <csignal>
#include <cstdio>

#include "effects/EffectCatalogue.h"
#include "link/FrameCodec.h"
#include "sim/PtyServer.h"
#include "sim/VirtualPedal.h"

namespace {

int stopPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 's';
    [[maybe_unused]] ssize_t n = ::write(stopPipe[1], &c, 1);
}

void usage(FILE* to) {
    std::fputs(
        "usage: zendal-pedal-sim [--link PATH] [--lenient] [--latency MS] [--effect ID]\n"
        "                        [--firmware N] [--bootloader] [--save-held] [--commands]\n"
        "                        [--exit-on-stdin-eof]\n"
        "The pedal is as strict as the hardware by default: bytes take their time at\n"
        "115200 baud, replies arrive in USB transfers (62 bytes at most, the rest on\n"
        "the latency timer), and entering the bootloader needs B2 (SAVE) held.\n"
        "  --link PATH          also make PATH a symbolic link to the pseudo-terminal\n"
        "  --lenient            no timing: every reply arrives at once and whole\n"
        "  --latency MS         the USB chip's latency timer (16)\n"
        "  --effect ID          effect the pedal starts with (0x26; 0 = empty)\n"
        "  --firmware N         firmware version it reports (5)\n"
        "  --bootloader         start in the bootloader\n"
        "  --save-held          B2 (SAVE) is held from the start\n"
        "  --commands           read commands from standard input, one a line, and stop\n"
        "                       at its end: unplug, replug, knob KIND INDEX VALUE,\n"
        "                       bank N, effect ID, save on|off\n"
        "  --exit-on-stdin-eof  stop when standard input closes\n"
        "  --wire-time          accepted for old scripts: timing is on by default\n",
        to);
}

bool parseNumber(const QString& text, int low, int high, int* out) {
    bool ok = false;
    const int v = text.toInt(&ok, 0);  // 0x26 is hexadecimal, 38 decimal
    if (!ok || v < low || v > high) return false;
    *out = v;
    return true;
}

// One line of --commands. False when the line is not a command.
bool runCommand(zendal::VirtualPedal& pedal, const QByteArray& line) {
    const QStringList w = QString::fromLocal8Bit(line).split(' ', Qt::SkipEmptyParts);
    if (w.isEmpty()) return true;
    int a = 0, b = 0, c = 0;
    if (w[0] == "unplug" && w.size() == 1) {
        pedal.unplug();
    } else if (w[0] == "replug" && w.size() == 1) {
        pedal.replug();
    } else if (w[0] == "knob" && w.size() == 4 && parseNumber(w[1], 0, 255, &a) &&
               parseNumber(w[2], 0, 255, &b) && parseNumber(w[3], 0, 65535, &c)) {
        pedal.turnKnob(a, b, c);
    } else if (w[0] == "bank" && w.size() == 2 && parseNumber(w[1], 0, 9, &a)) {
        pedal.switchBank(a);
    } else if (w[0] == "effect" && w.size() == 2 && parseNumber(w[1], 0, 63, &a)) {
        pedal.switchEffect(a);
    } else if (w[0] == "save" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
        pedal.pressAndHoldSave(w[1] == "on");
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    zendal::VirtualPedal::Config config;
    QString linkPath;
    bool exitOnStdinEof = false;
    bool commands = false;
    bool saveHeld = false;
    int latencyMs = zendal::VirtualPedal::kDefaultLatencyMs;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "zendal-pedal-sim: %s needs a value\n", qPrintable(a));
                std::exit(2);
            }
            return args[++i];
        };
        if (a == "--link") {
            linkPath = value();
        } else if (a == "--wire-time") {
            config.timing = zendal::VirtualPedal::Timing::Realistic;
        } else if (a == "--lenient") {
            config.timing = zendal::VirtualPedal::Timing::Instant;
        } else if (a == "--latency") {
            if (!parseNumber(value(), 1, 255, &latencyMs)) {
                std::fputs("zendal-pedal-sim: --latency takes 1..255 (ms)\n", stderr);
                return 2;
            }
        } else if (a == "--save-held") {
            saveHeld = true;
        } else if (a == "--commands") {
            commands = true;
        } else if (a == "--effect") {
            if (!parseNumber(value(), 0, 63, &config.effectId)) {
                std::fputs("zendal-pedal-sim: --effect takes 0..63 (0x26 or 38)\n", stderr);
                return 2;
            }
        } else if (a == "--firmware") {
            if (!parseNumber(value(), 0, 255, &config.firmwareVersion)) {
                std::fputs("zendal-pedal-sim: --firmware takes 0..255\n", stderr);
                return 2;
            }
        } else if (a == "--bootloader") {
            config.startInBootloader = true;
        } else if (a == "--exit-on-stdin-eof") {
            exitOnStdinEof = true;
        } else if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "zendal-pedal-sim: unknown argument %s\n", qPrintable(a));
            usage(stderr);
            return 2;
        }
    }

    zendal::VirtualPedal pedal(config);
    pedal.setLatencyTimer(latencyMs);
    pedal.pressAndHoldSave(saveHeld);
    // Parameter messages carry addresses; the catalogue's images say which
    // parameter each address is.
    pedal.setImageLookup([](int id) -> QByteArray {
        const auto name = zendal::effect_name_by_id(id);
        if (!name) return {};
        return zendal::Hex2String(zendal::effect_image_text(*name));
    });

    zendal::PtyServer server(pedal);
    QString error;
    if (!server.open(&error)) {
        std::fprintf(stderr, "zendal-pedal-sim: %s\n", qPrintable(error));
        return 1;
    }
    if (::pipe2(stopPipe, O_CLOEXEC) != 0) return 1;
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const QByteArray slave = server.slavePath().toLocal8Bit();
    QByteArray link = linkPath.toLocal8Bit();
    if (!link.isEmpty()) {
        struct stat st = {};
        // Replace only a stale link of ours, never a file.
        if (::lstat(link.constData(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(link.constData());
        if (::symlink(slave.constData(), link.constData()) != 0) {
            std::fprintf(stderr, "zendal-pedal-sim: cannot create link %s\n", link.constData());
            return 1;
        }
    }
    std::printf("%s\n", slave.constData());
    std::fflush(stdout);

    if (commands) {
        server.setLineHandler([&pedal](const QByteArray& line) {
            if (!runCommand(pedal, line))
                std::fprintf(stderr, "zendal-pedal-sim: unknown command %s\n", line.constData());
        });
    }
    // After a replug the pedal is on a new pseudo-terminal: its path is the
    // next line, and the link follows it.
    server.setReplugHandler([&link](const QString& path) {
        const QByteArray slavePath = path.toLocal8Bit();
        if (!link.isEmpty()) {
            ::unlink(link.constData());
            if (!slavePath.isEmpty() && ::symlink(slavePath.constData(), link.constData()) != 0)
                std::fprintf(stderr, "zendal-pedal-sim: cannot create link %s\n", link.constData());
        }
        if (slavePath.isEmpty())
            std::fputs("zendal-pedal-sim: cannot open a new pseudo-terminal\n", stderr);
        std::printf("%s\n", slavePath.constData());
        std::fflush(stdout);
    });

    const int rc = server.run(stopPipe[0], exitOnStdinEof || commands ? STDIN_FILENO : -1);
    if (!link.isEmpty()) ::unlink(link.constData());
    return rc;
}
