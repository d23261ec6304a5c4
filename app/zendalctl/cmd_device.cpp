// zendalctl list / info / live / midi / send / monitor: the device link itself.
#include "app/zendalctl/Command.h"
#include "app/zendalctl/PedalQuery.h"
#include "control/UploadImage.h"
#include "core/Clock.h"
#include "core/Errors.h"
#include "core/Hex.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "firmware/BootloaderClient.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "link/Timeouts.h"
#include "protocol/IncomingMessage.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "resources/Interlock.h"

namespace zendal::ctl {
namespace {

int usage(Context& ctx, const char* line) {
    ctx.err << "usage: " << line << "\n";
    return kUsage;
}

// --- list ---

int runList(Context& ctx) {
    if (!ctx.args.isEmpty()) return usage(ctx, "list");
    D2XXUnit& port = ctx.connection->unit();
    const auto devices = communication::ListAttachedDevices();
    for (int i = 0; i < devices.size(); ++i) {
        const QString path = port.driver().devicePath(static_cast<std::uint32_t>(i));
        ctx.out << QString::fromLocal8Bit(devices[i].serial) << "\t"
                << QString::fromLocal8Bit(devices[i].description) << "\t"
                << (path.isEmpty() ? QStringLiteral("-") : path) << "\n";
    }
    return kOk;
}

// --- info ---

// A pedal that does not answer as firmware may wait in its bootloader (an
// upgrade that stopped half way). The bootloader listens at even parity; the
// line goes back to none afterwards, whatever answered.
bool waitsInBootloader(PedalConnection& connection) {
    firmware::BootloaderClient client(connection);
    const bool found =
        client.connect(firmware::BootloaderClient::ConnectMode::AcceptAlreadyConnected).ok();
    client.release();
    return found;
}

int runInfo(Context& ctx) {
    if (!ctx.args.isEmpty()) return usage(ctx, "info");
    bool silent = false;
    const std::optional<PedalInfo> asked = askPedalInfo(ctx, &silent);
    if (silent) {
        if (waitsInBootloader(*ctx.connection)) {
            ctx.err << "zendalctl: the pedal waits in its bootloader; run 'zendalctl firmware "
                       "recover' to write a complete image and start it\n";
        } else {
            ctx.err << "zendalctl: no reply from the pedal to the device information request\n";
        }
        return kFailure;
    }
    if (!asked) return kFailure;
    const PedalInfo& info = *asked;
    if (info.empty) {
        ctx.out << "effect: none\n";
    } else {
        ctx.out << "effect: 0x" << hex2(info.effect);
        if (const auto name = effect_name_by_id(info.effect)) ctx.out << " " << *name;
        ctx.out << "\n";
    }
    ctx.out << "effect version: " << info.version << "\n";
    ctx.out << "firmware version: " << info.firmware << "\n";
    if (info.firmware == 255 || info.firmware < 5) {
        ctx.err << "zendalctl: the pedal needs a firmware upgrade (firmware 5 or later)\n";
    }
    return kOk;
}

// --- live / midi / send ---

// Writes one message to the open device.
int write(Context& ctx, const QString& message) {
    const int n = static_cast<int>(message.size() / 2);
    if (HexToBytes(message, n) != n) return kUsage;
    // A failed write has been reported through the error sink already.
    return ctx.connection->unit().WriteFTDevice(static_cast<std::uint32_t>(n)) ==
                   static_cast<std::uint32_t>(n)
               ? kOk
               : kFailure;
}

int runLive(Context& ctx) {
    if (ctx.args.size() != 1 ||
        (ctx.args[0] != QLatin1String("on") && ctx.args[0] != QLatin1String("off"))) {
        return usage(ctx, "live on|off");
    }
    if (!ctx.openDevice()) return kFailure;
    return write(ctx, messages::liveMode(ctx.args[0] == QLatin1String("on")));
}

int runMidi(Context& ctx) {
    if (ctx.args.size() != 1) return usage(ctx, "midi omni|1..16");
    const QString caption = ctx.args[0];
    int channel = 0;
    if (caption.compare(QLatin1String("omni"), Qt::CaseInsensitive) != 0) {
        bool ok = false;
        channel = caption.toInt(&ok, 10);
        if (!ok || channel < 1 || channel > 16) return usage(ctx, "midi omni|1..16");
    }
    if (!ctx.openDevice()) return kFailure;
    DebugPrint(QStringLiteral("Midi channel: ") +
               (channel == 0 ? QStringLiteral("OMNI") : QString::number(channel)));
    return write(ctx, messages::midiChannel(channel));
}

int runSend(Context& ctx) {
    QStringList args = ctx.args;
    int waitMs = -1;
    const auto waitAt = args.indexOf(QStringLiteral("--wait"));
    if (waitAt >= 0) {
        bool ok = false;
        waitMs = waitAt + 1 < args.size() ? args[waitAt + 1].toInt(&ok) : -1;
        if (!ok || waitMs < 0) return usage(ctx, "send HEX [--wait MS]");
        args.remove(waitAt, 2);
    }
    if (args.size() != 1 || args[0].isEmpty() || !IsHexText(args[0])) {
        ctx.err << "zendalctl: the message must be pairs of hexadecimal digits\n";
        return usage(ctx, "send HEX [--wait MS]");
    }
    const QString message = args[0].toUpper();
    if (!ctx.openDevice()) return kFailure;
    // Effect images belong to the upload, which knows what may reach a real pedal.
    if (upload::isUploadCode(static_cast<std::uint8_t>(HexToInt(message.left(2))))) {
        if (const auto refusal =
                refuseDemonstrationDataFor(ctx.connection->unit().openDeviceKind())) {
            ctx.err << "zendalctl: " << *refusal << "\n";
            return kFailure;
        }
    }
    const int status = write(ctx, message);
    if (status != kOk || waitMs < 0) return status;
    // Show whatever the pedal says within the given time, as hexadecimal.
    D2XXUnit& port = ctx.connection->unit();
    QByteArray reply;
    Clock& c = clock();
    const qint64 deadline = c.nowMs() + waitMs;
    for (;;) {
        const qint64 left = deadline - c.nowMs();
        if (left <= 0) break;
        const WaitOutcome outcome = WaitForFirstByte(static_cast<int>(left));
        if (outcome == WaitOutcome::PortError) {
            ctx.err << "zendalctl: the port failed\n";
            return kFailure;
        }
        if (outcome == WaitOutcome::TimedOut) break;
        const std::uint32_t n = port.ReadFTDevice();
        reply.append(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()),
                     static_cast<int>(n));
    }
    ctx.out << BytesToHex(reply) << "\n";
    return kOk;
}

// --- monitor ---

// One line per message, in the receive tick's terms.
void describe(Context& ctx, const QByteArray& bytes) {
    if (static_cast<std::uint8_t>(bytes.at(0)) == incoming::kControlReport) {
        // Knob movements come five bytes each; a quick turn may bring several
        // in one read.
        int at = 0;
        while (bytes.size() - at >= 5 &&
               static_cast<std::uint8_t>(bytes.at(at)) == incoming::kControlReport) {
            const auto b = [&](int i) { return static_cast<std::uint8_t>(bytes.at(at + i)); };
            ctx.out << "control kind " << b(1) << " index " << b(2) << " value "
                    << (b(3) * 256 + b(4)) << "\n";
            at += 5;
        }
        if (at < bytes.size()) ctx.out << "text: " << incoming::asciiText(bytes.mid(at)) << "\n";
        return;
    }
    try {
        const incoming::Message m = incoming::classify(bytes);
        if (m.number == incoming::Message::Number::Bank) {
            ctx.out << "bank " << m.value << "\n";
            return;
        }
        if (m.number == incoming::Message::Number::Effect) {
            ctx.out << "effect 0x" << hex2(m.value) << "\n";
            return;
        }
    } catch (const ConversionError&) {
        // Not a number after all: show it as it came.
    }
    ctx.out << "text: " << incoming::asciiText(bytes) << "\n";
}

// The rest of a settings-memory dump, which a serial line delivers in pieces.
// Bounded by the dump's time limit; a pause in the stream ends it early.
void completeDump(D2XXUnit& port, QByteArray& dump) {
    Clock& c = clock();
    const qint64 deadline = c.nowMs() + timeouts::kEepromDumpMs;
    constexpr int kQuietMs = 500;
    while (dump.size() < incoming::kDumpMessageBytes) {
        const qint64 left = deadline - c.nowMs();
        if (left <= 0) break;
        if (WaitForFirstByte(static_cast<int>(std::min<qint64>(left, kQuietMs))) !=
            WaitOutcome::Ok) {
            break;
        }
        const std::uint32_t n = port.ReadFTDevice();
        dump.append(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()),
                    static_cast<int>(n));
    }
}

int runMonitor(Context& ctx) {
    double seconds = 10;
    const QStringList& args = ctx.args;
    if (args.size() == 2 && args[0] == QLatin1String("--seconds")) {
        bool ok = false;
        seconds = args[1].toDouble(&ok);
        // Written so that NaN fails too.
        if (!ok || !(seconds > 0 && seconds <= 7 * 24 * 3600)) {
            return usage(ctx, "monitor [--seconds S]");
        }
    } else if (!args.isEmpty()) {
        return usage(ctx, "monitor [--seconds S]");
    }
    if (!ctx.openDevice()) return kFailure;
    D2XXUnit& port = ctx.connection->unit();
    port.ShowFTErrors = false;  // as during the receive tick: failures end the loop instead
    ctx.err << "monitoring for " << seconds << " s\n";
    ctx.err.flush();
    Clock& c = clock();
    const qint64 deadline = c.nowMs() + static_cast<qint64>(seconds * 1000);
    for (;;) {
        const qint64 left = deadline - c.nowMs();
        if (left <= 0) return kOk;
        const WaitOutcome outcome = WaitForFirstByte(static_cast<int>(left));
        if (outcome == WaitOutcome::TimedOut) return kOk;
        if (outcome == WaitOutcome::PortError) {
            ctx.err << "zendalctl: the port failed\n";
            return kFailure;
        }
        const std::uint32_t n = port.ReadFTDevice();
        if (n == 0) continue;
        QByteArray bytes(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()),
                         static_cast<int>(n));
        if (static_cast<std::uint8_t>(bytes.at(0)) == incoming::kDump) {
            completeDump(port, bytes);
            const QByteArray rest = bytes.mid(incoming::kDumpMessageBytes);
            bytes.truncate(incoming::kDumpMessageBytes);
            ctx.out << "dump " << (bytes.size() - 1) << " bytes\n";
            if (!rest.isEmpty()) describe(ctx, rest);
        } else {
            describe(ctx, bytes);
        }
        ctx.out.flush();
        // Nobody can read what follows (a full disk, a closed pipe): stop now.
        if (ctx.out.status() != QTextStream::Ok) return kFailure;
    }
}

const Registration listCommand({QStringLiteral("list"), QStringLiteral("list"), runList});
const Registration infoCommand({QStringLiteral("info"), QStringLiteral("info"), runInfo});
const Registration liveCommand({QStringLiteral("live"), QStringLiteral("live on|off"), runLive});
const Registration midiCommand({QStringLiteral("midi"), QStringLiteral("midi omni|1..16"),
                                runMidi});
const Registration sendCommand({QStringLiteral("send"), QStringLiteral("send HEX [--wait MS]"),
                                runSend});
const Registration monitorCommand({QStringLiteral("monitor"),
                                   QStringLiteral("monitor [--seconds S]"), runMonitor});

}  // namespace
}  // namespace zendal::ctl
