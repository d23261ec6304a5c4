// zendalctl firmware: write a firmware image into the pedal through its
// bootloader, and list the images the editor carries.
#include <QFile>
#include <QRegularExpression>

#include "app/zendalctl/Command.h"
#include "core/Clock.h"
#include "core/EditorState.h"
#include "firmware/BootloaderClient.h"
#include "firmware/UpgradeSequence.h"
#include "link/FrameCodec.h"
#include "protocol/Messages.h"
#include "resources/ResourceStore.h"

namespace zendal::ctl {
namespace {

constexpr const char* kFlashUsage =
    "firmware flash NAME|FILE [--no-verify] [--already-in-bootloader] [--variant N]";
constexpr const char* kImagesUsage = "firmware images";

int usage(Context& ctx, const QString& why) {
    if (!why.isEmpty()) ctx.err << "zendalctl: " << why << "\n";
    ctx.err << "usage: " << kFlashUsage << "\n       " << kImagesUsage << "\n";
    return kUsage;
}

// "Firmware_1".."Firmware_5" in any case: the variant number, else 0.
int catalogueVariant(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^firmware_([1-5])$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = pattern.match(name);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

struct FlashArgs {
    QString target;
    bool verify = true;
    bool inBootloader = false;
    int variant = 0;  // from --variant
};

std::optional<QString> parse(QStringList args, FlashArgs* out) {
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--no-verify")) {
            out->verify = false;
        } else if (a == QLatin1String("--already-in-bootloader")) {
            out->inBootloader = true;
        } else if (a == QLatin1String("--variant")) {
            bool ok = false;
            out->variant = args.isEmpty() ? 0 : args.takeFirst().toInt(&ok);
            if (!ok || out->variant < 1 || out->variant > 5)
                return QStringLiteral("--variant needs a number from 1 to 5");
        } else if (a.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option ") + a;
        } else if (out->target.isEmpty()) {
            out->target = a;
        } else {
            return QStringLiteral("one image at a time");
        }
    }
    if (out->target.isEmpty()) return QStringLiteral("name an image or a file");
    return std::nullopt;
}

int runFlash(Context& ctx, const QStringList& args) {
    FlashArgs a;
    if (auto why = parse(args, &a)) return usage(ctx, *why);
    const int named = catalogueVariant(a.target);
    if (named && a.variant) {
        return usage(ctx, QStringLiteral("the variant of %1 is its number").arg(a.target));
    }
    QByteArray file;
    if (!named) {
        if (!a.variant) return usage(ctx, QStringLiteral("an image file needs --variant N"));
        QFile f(a.target);
        if (!f.open(QIODevice::ReadOnly)) {
            ctx.err << "zendalctl: cannot read " << a.target << ": " << f.errorString() << "\n";
            return kFailure;
        }
        file = f.readAll();
    }
    const int variant = named ? named : a.variant;

    if (!ctx.openDevice()) return kFailure;
    using firmware::UpgradeSequence;
    if (auto why = UpgradeSequence::refusal(named ? nullptr : &file)) {
        ctx.err << "zendalctl: " << *why << "\n";
        return kFailure;
    }
    if (!a.inBootloader) {
        SendHexMessage(messages::enterBootloader(), 8);
        clock().pause(messages::kEnterBootloaderPauseMs);
    }
    editorState().UpgradeMode = true;
    UpgradeSequence sequence;
    const firmware::StepResult connected = sequence.client().connect(
        a.inBootloader ? firmware::BootloaderClient::ConnectMode::AcceptAlreadyConnected
                       : firmware::BootloaderClient::ConnectMode::Strict);
    if (!connected) {
        ctx.err << "zendalctl: firmware flash failed: " << connected.error().message() << "\n";
        return kFailure;
    }

    bool progressShown = false;
    auto progress = [&](firmware::UpgradePhase phase, int index, int count) {
        ctx.err << (phase == firmware::UpgradePhase::Writing ? "\rwriting chunk "
                                                             : "\rverifying chunk ")
                << index + 1 << "/" << count;
        ctx.err.flush();
        progressShown = true;
    };
    const firmware::UpgradeOptions options{a.verify};
    const firmware::UpgradeResult result =
        named ? sequence.runNamed(a.target, variant, options, progress)
              : sequence.runImage(file, variant, options, progress);
    if (progressShown) ctx.err << "\n";
    if (!result.ok()) {
        ctx.err << "zendalctl: firmware flash failed: " << result.message << "\n";
        if (!sequence.goIsSafe()) {
            ctx.err << "zendalctl: the pedal stays in its bootloader; flash again with "
                       "--already-in-bootloader\n";
        }
        return kFailure;
    }
    const firmware::StepResult go = sequence.leaveBootloader();
    if (!go) {
        ctx.err << "zendalctl: the image is written but Go failed: " << go.error().message()
                << "\n";
        return kFailure;
    }
    ctx.out << "flashed " << a.target << " (variant " << variant << "), "
            << (result.verified        ? "read back equal"
                : result.readProtected ? "not verified: the bootloader refuses reads"
                : a.verify             ? "not verified: the bootloader cannot read"
                                       : "not verified")
            << "\n";
    return kOk;
}

int runImages(Context& ctx) {
    for (int i = 1; i <= 5; ++i) {
        const QString name = QStringLiteral("Firmware_%1").arg(i);
        QString error;
        const auto image = ResourceStore::instance().read(name, &error);
        if (!image) {
            ctx.out << name << "\tmissing: " << error << "\n";
            continue;
        }
        const int chunks = static_cast<int>((image->size() + 255) / 256);
        ctx.out << name << "\t" << image->size() << " bytes\t" << chunks << " chunks"
                << (firmware::isDemonstrationFirmware(*image) ? "\tdemonstration" : "") << "\n";
    }
    return kOk;
}

int run(Context& ctx) {
    QStringList args = ctx.args;
    if (args.isEmpty()) return usage(ctx, QString());
    const QString sub = args.takeFirst();
    if (sub == QLatin1String("flash")) return runFlash(ctx, args);
    if (sub == QLatin1String("images") && args.isEmpty()) return runImages(ctx);
    return usage(ctx, QStringLiteral("unknown firmware command ") + sub);
}

const Registration registration(CommandInfo{
    QStringLiteral("firmware"),
    QStringLiteral("firmware flash NAME|FILE [--no-verify] [--already-in-bootloader] "
                   "[--variant N] | firmware images"),
    run});

}  // namespace
}  // namespace zendal::ctl
