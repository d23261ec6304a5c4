// zendalctl upload / store: sends an effect image to the pedal and waits for
// its answer; asks the pedal to store its current settings.
#include <algorithm>

#include "app/zendalctl/Command.h"
#include "app/zendalctl/EffectArgument.h"
#include "app/zendalctl/PedalQuery.h"
#include "control/UploadImage.h"
#include "core/Clock.h"
#include "core/Errors.h"
#include "core/Hex.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "effects/ImpulseResponse.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "link/Timeouts.h"
#include "params/EffectDescriptor.h"
#include "protocol/IncomingMessage.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "protocol/PedalSequences.h"

namespace zendal::ctl {
namespace {

constexpr const char* kUploadUsage = "upload EFFECT [--bank 1|2|3] [--ir WAV]";
// After the first byte of an answer, a line this quiet for this long means the
// pedal has said all it will (a pseudo-terminal may deliver a text in pieces).
constexpr int kAnswerQuietMs = 200;

int usage(Context& ctx, const char* line) {
    ctx.err << "usage: zendalctl " << line << "\n";
    return kUsage;
}

struct Answer {
    QByteArray bytes;
    WaitOutcome outcome = WaitOutcome::Ok;
};

// Collects one message from the pedal: waits up to `limitMs` for its first
// byte, then reads until the line stays quiet.
Answer readMessage(D2XXUnit& port, qint64 deadline) {
    Clock& c = clock();
    Answer a;
    for (;;) {
        const qint64 left = deadline - c.nowMs();
        if (left <= 0) {
            if (a.bytes.isEmpty()) a.outcome = WaitOutcome::TimedOut;
            return a;
        }
        const int wait = a.bytes.isEmpty()
                             ? static_cast<int>(left)
                             : static_cast<int>(std::min<qint64>(left, kAnswerQuietMs));
        const WaitOutcome outcome = WaitForFirstByte(wait);
        if (outcome == WaitOutcome::PortError) {
            a.outcome = outcome;
            return a;
        }
        if (outcome == WaitOutcome::TimedOut) {
            if (a.bytes.isEmpty()) a.outcome = outcome;
            return a;
        }
        const std::uint32_t n = port.ReadFTDevice();
        if (n == 0 && !port.isOpen()) {
            a.outcome = WaitOutcome::PortError;
            return a;
        }
        a.bytes.append(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()),
                       static_cast<int>(n));
    }
}

// The pedal's answer to an upload, skipping what it says on its own meanwhile
// (bank and effect reports, knob movements).
int awaitUploadAnswer(Context& ctx) {
    const qint64 deadline = clock().nowMs() + timeouts::kUploadAnswerMs;
    for (;;) {
        const Answer a = readMessage(ctx.connection->unit(), deadline);
        if (a.outcome == WaitOutcome::PortError) {
            ctx.err << "zendalctl: the port failed while waiting for the pedal's answer\n";
            return kFailure;
        }
        if (a.outcome == WaitOutcome::TimedOut) {
            DebugPrint(QStringLiteral("no answer to the upload within %1 s")
                           .arg(timeouts::kUploadAnswerMs / 1000));
            ctx.err << "zendalctl: No answer from the pedal within "
                    << timeouts::kUploadAnswerMs / 1000 << " s\n";
            return kFailure;
        }
        DebugPrint(QStringLiteral("Data(ASCII): ") + incoming::asciiText(a.bytes));
        incoming::Message m;
        try {
            m = incoming::classify(a.bytes);
        } catch (const ConversionError&) {
            continue;  // a malformed report, not an answer
        }
        if (m.answer == incoming::Message::Answer::None) continue;
        ctx.out << incoming::statusText(m) << "\n";
        if (m.answer != incoming::Message::Answer::UploadComplete) {
            ctx.err << "zendalctl: the pedal answered \"" << m.text << "\"\n";
            return kFailure;
        }
        return kOk;
    }
}

int runUpload(Context& ctx) {
    QStringList positional;
    int bank = -1;
    QString irPath;
    for (int i = 0; i < ctx.args.size(); ++i) {
        const QString& a = ctx.args[i];
        if (a == QLatin1String("--bank")) {
            bool ok = false;
            bank = i + 1 < ctx.args.size() ? ctx.args[++i].toInt(&ok) : 0;
            if (!ok || bank < 1 || bank > 3) return usage(ctx, kUploadUsage);
        } else if (a == QLatin1String("--ir")) {
            if (i + 1 >= ctx.args.size() || ctx.args[i + 1].isEmpty())
                return usage(ctx, kUploadUsage);
            irPath = ctx.args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            return usage(ctx, kUploadUsage);
        } else {
            positional << a;
        }
    }
    if (positional.size() != 1) return usage(ctx, kUploadUsage);
    QString error;
    const auto id = parseEffectArgument(positional[0], &error);
    const auto name = id ? effect_name_by_id(*id, &error) : std::nullopt;
    if (!name) {
        ctx.err << "zendalctl: " << error << "\n";
        return kUsage;
    }

    upload::Source source;
    source.selectedEffect = *name;
    source.currentCategory = categoryOf(*name).value_or(QString());
    source.bankMode = bank > 0;
    source.bank = bank - 1;
    if (!irPath.isEmpty()) {
        if (!irLayoutFor(*name)) {
            ctx.err << "zendalctl: \"" << *name
                    << "\" is not an impulse-response effect; --ir needs one of:";
            for (const IrLayout& l : irLayouts()) ctx.err << " \"" << l.displayName << "\"";
            ctx.err << "\n";
            return kUsage;
        }
        const IrImport import = prepareImpulseResponse(irPath, *name);
        for (const QString& line : import.log) DebugPrint(line);
        if (!import.ok()) {
            ctx.err << "zendalctl: " << import.error << "\n";
            return kFailure;
        }
        source.currentCategory = QStringLiteral("Impulse Response");
        source.preparedIrImage = import.image;
        source.preparedIrEffect = import.effect;
    } else if (source.currentCategory == QLatin1String("Impulse Response")) {
        // Without --ir the image goes out as the catalogue carries it.
        source.currentCategory.clear();
    }

    if (!ctx.openDevice()) return kFailure;
    D2XXUnit& port = ctx.connection->unit();
    source.device = port.openDeviceKind();
    // Everything that could refuse the upload (the interlock included) is
    // decided before the first byte goes out.
    const upload::Prepared p = upload::prepareUploadImage(source);
    if (!p.ok()) {
        DebugPrint(QStringLiteral("upload refused: ") + p.error);
        ctx.err << "zendalctl: " << p.error << "\n";
        return kFailure;
    }

    port.PurgeFTReceive();
    port.ShowFTErrors = true;
    if (p.fromIr) {
        DebugPrint(QStringLiteral("file content size: ") + QString::number(p.bytes));
    } else {
        DebugPrint(QStringLiteral("resource name: ") + p.resourceName);
    }
    DebugPrint(p.text.left(257));
    DebugPrint(QStringLiteral("size: ") + QString::number(p.bytes));
    const QByteArray image = Hex2String(p.text);
    DebugPrint(QStringLiteral("num of bytes: ") + QString::number(image.size()));
    if (!sequences::sendEffectImage(*ctx.connection, image).ok()) {
        ctx.err << "zendalctl: the image did not reach the pedal\n";
        return kFailure;
    }
    DebugPrint(QStringLiteral("write to device"));
    ctx.err << "uploading " << *name << " (" << p.bytes << " bytes"
            << (bank > 0 ? QStringLiteral(", bank %1").arg(bank) : QString()) << ")\n";
    ctx.err.flush();
    return awaitUploadAnswer(ctx);
}

// --- store ---

int runStore(Context& ctx) {
    if (!ctx.args.isEmpty()) return usage(ctx, "store");
    const std::optional<PedalInfo> asked = askPedalInfo(ctx);
    if (!asked) return kFailure;
    const PedalInfo& info = *asked;
    if (info.empty) {
        ctx.err << "zendalctl: No effect found on pedal\n";
        return kFailure;
    }
    QString error;
    const auto name = effect_name_by_id(info.effect, &error);
    if (!name) {
        ctx.err << "zendalctl: " << error << "\n";
        return kFailure;
    }
    TControlDescriptor d;
    if (!loadEffectDescriptor(*name, &d, &error)) {
        ctx.err << "zendalctl: " << error << "\n";
        return kFailure;
    }
    const QString message = messages::storeSettings(d.param_count);
    DebugPrint(QStringLiteral("Store settings message (HEX): ") + message);
    if (!SendHexMessage(message, 2, true)) return kFailure;
    clock().pause(messages::kStorePauseMs);
    ctx.out << message << "\n";
    ctx.err << "settings of " << *name << " (0x" << hex2(info.effect) << ", " << d.param_count
            << " parameters) stored\n";
    return kOk;
}

const Registration uploadCommand{
    {QStringLiteral("upload"), QLatin1String(kUploadUsage), runUpload}};
const Registration storeCommand{{QStringLiteral("store"), QStringLiteral("store"), runStore}};

}  // namespace
}  // namespace zendal::ctl
