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

#include "sim/PtyServer.h"
#include "sim/VirtualPedal.h"

#ifdef ZENDAL_SIM_HAS_CATALOGUE
#include "effects/EffectCatalogue.h"
#include "link/FrameCodec.h"
#endif

namespace {

int stopPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 's';
    [[maybe_unused]] ssize_t n = ::write(stopPipe[1], &c, 1);
}

void usage(FILE* to) {
    std::fputs(
        "usage: zendal-pedal-sim [--link PATH] [--wire-time] [--effect ID] [--firmware N]\n"
        "                        [--bootloader] [--exit-on-stdin-eof]\n"
        "  --link PATH          also make PATH a symbolic link to the pseudo-terminal\n"
        "  --wire-time          pace the pedal like a 115200-baud line\n"
        "  --effect ID          effect the pedal starts with (0x26; 0 = empty)\n"
        "  --firmware N         firmware version it reports (5)\n"
        "  --bootloader         start in the bootloader\n"
        "  --exit-on-stdin-eof  stop when standard input closes\n",
        to);
}

bool parseNumber(const QString& text, int low, int high, int* out) {
    bool ok = false;
    const int v = text.toInt(&ok, 0);  // 0x26 is hexadecimal, 38 decimal
    if (!ok || v < low || v > high) return false;
    *out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    zendal::VirtualPedal::Config config;
    QString linkPath;
    bool wireTime = false;
    bool exitOnStdinEof = false;
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
            wireTime = true;
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
    pedal.setWireTime(wireTime);
#ifdef ZENDAL_SIM_HAS_CATALOGUE
    // Parameter messages carry addresses; the catalogue's images say which
    // parameter each address is.
    pedal.setImageLookup([](int id) -> QByteArray {
        const auto name = zendal::effect_name_by_id(id);
        if (!name) return {};
        return zendal::Hex2String(zendal::effect_image_text(*name));
    });
#endif

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

    const int rc = server.run(stopPipe[0], exitOnStdinEof ? STDIN_FILENO : -1);
    if (!link.isEmpty()) ::unlink(link.constData());
    return rc;
}
