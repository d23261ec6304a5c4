// zendalctl firmware: write a firmware image into the pedal through its
// bootloader, recover a pedal that waits in its bootloader, and list the
// images the editor carries.
#include <unistd.h>

#include <QRegularExpression>

#include "app/zendalctl/Command.h"
#include "core/Clock.h"
#include "firmware/BootloaderClient.h"
#include "firmware/FirmwareImage.h"
#include "firmware/LastImage.h"
#include "firmware/UpgradeBackup.h"
#include "firmware/UpgradeSequence.h"
#include "link/FrameCodec.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalSequences.h"
#include "resources/ResourceStore.h"
#include "shell/SettingsFiles.h"

namespace zendal::ctl {
namespace {

constexpr const char* kFlashUsage =
    "firmware flash NAME|FILE [--no-verify] [--already-in-bootloader] [--variant N]";
constexpr const char* kRecoverUsage = "firmware recover [NAME|FILE [--variant N]]";
constexpr const char* kImagesUsage = "firmware images";
constexpr const char* kWaitsInBootloader =
    "zendalctl: the pedal waits in its bootloader; run 'zendalctl firmware recover' to write a "
    "complete image and start it\n";
constexpr const char* kHoldSave =
    "keep B2 (SAVE) on the pedal pressed while it restarts into its bootloader\n";
constexpr const char* kNewestImage = "Firmware_5";

int usage(Context& ctx, const QString& why) {
    if (!why.isEmpty()) ctx.err << "zendalctl: " << why << "\n";
    ctx.err << "usage: " << kFlashUsage << "\n       " << kRecoverUsage << "\n       "
            << kImagesUsage << "\n";
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

std::optional<QString> parse(QStringList args, bool recover, FlashArgs* out) {
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--no-verify") && !recover) {
            out->verify = false;
        } else if (a == QLatin1String("--already-in-bootloader") && !recover) {
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
    if (out->target.isEmpty() && !recover) return QStringLiteral("name an image or a file");
    if (out->target.isEmpty() && out->variant)
        return QStringLiteral("--variant goes with an image file");
    return std::nullopt;
}

// The image to write, read and checked before the pedal is touched.
struct Image {
    QString label;          // as the user named it
    QString catalogueName;  // empty for a file
    QByteArray bytes;       // a file's bytes
    int variant = 0;
};

// nullopt with the exit code in *exit when the image cannot be used.
std::optional<Image> resolve(Context& ctx, const FlashArgs& a, int* exit) {
    Image image;
    image.label = a.target;
    const int named = catalogueVariant(a.target);
    if (named) {
        if (a.variant) {
            *exit = usage(ctx, QStringLiteral("the variant of %1 is its number").arg(a.target));
            return std::nullopt;
        }
        image.catalogueName = a.target;
        image.variant = named;
        return image;
    }
    if (!a.variant) {
        *exit = usage(ctx, QStringLiteral("an image file needs --variant N"));
        return std::nullopt;
    }
    QString error;
    const auto bytes = firmware::readFirmwareFile(a.target, &error);
    if (!bytes) {
        ctx.err << "zendalctl: cannot use " << error << "\n";
        *exit = kFailure;
        return std::nullopt;
    }
    image.bytes = *bytes;
    image.variant = a.variant;
    return image;
}

// The image remembered from the last write, else the newest image carried.
Image remembered(Context& ctx) {
    QString error;
    Image image;
    if (const auto last = firmware::lastImage(settings::zendalFolder(), &error)) {
        image.label = last->describe();
        image.catalogueName = last->catalogueName;
        image.bytes = last->bytes;
        image.variant = last->variant;
        return image;
    }
    if (!error.isEmpty()) ctx.err << "zendalctl: the last image is not usable: " << error << "\n";
    image.label = image.catalogueName = QString::fromLatin1(kNewestImage);
    image.variant = catalogueVariant(image.catalogueName);
    return image;
}

void remember(Context& ctx, const Image& image) {
    firmware::RememberedImage record{image.catalogueName, image.bytes, image.variant};
    QString error;
    if (!firmware::rememberLastImage(settings::zendalFolder(), record, &error))
        ctx.err << "zendalctl: the image written is not remembered: " << error << "\n";
}

// The editor's Upgrade Mode bytes. The pedal enters its bootloader only with
// B2 held while it restarts, so the user is told first; at a terminal the
// restart waits for Enter.
bool restartIntoBootloader(Context& ctx) {
    ctx.err << kHoldSave;
    ctx.err.flush();
    if (::isatty(STDIN_FILENO)) {
        ctx.err << "press Enter while B2 (SAVE) is held\n";
        ctx.err.flush();
        QTextStream in(stdin);
        in.readLine();
    }
    const ExchangeResult sent = sequences::restartIntoBootloader(*ctx.connection);
    if (!sent.ok()) {
        ctx.err << "zendalctl: the restart message did not reach the pedal\n";
        return false;
    }
    return true;
}

// Everything the pedal's firmware can tell, saved before anything is erased,
// as the editor's upgrade does.
firmware::UpgradeBackup backUp(Context& ctx) {
    const firmware::UpgradeBackup backup = firmware::backUpPedal(
        *ctx.connection, settings::zendalFolder(), QDateTime::currentDateTime());
    if (!backup.folder.isEmpty()) ctx.err << "settings backed up in " << backup.folder << "\n";
    for (const QString& problem : backup.problems)
        ctx.err << "zendalctl: not backed up: " << problem << "\n";
    return backup;
}

// A pedal found in its bootloader cannot be read: the newest backup of an
// earlier upgrade is what there is.
firmware::UpgradeBackup earlierBackup(Context& ctx) {
    const auto backup = firmware::latestBackup(settings::zendalFolder());
    if (!backup) return {};
    ctx.err << "settings backed up before an earlier upgrade are in " << backup->folder << "\n";
    return *backup;
}

// The way back to the effect's settings; preset load checks that the file
// fits the effect the pedal holds now.
void tellRestore(Context& ctx, const firmware::UpgradeBackup& backup) {
    if (backup.presetFile.isEmpty()) return;
    ctx.err << "to put the effect's settings back: zendalctl preset load '" << backup.presetFile
            << "'\n";
}

// Writes the image, then starts it only when the flash proves whole.
int writeAndStart(Context& ctx, firmware::UpgradeSequence& sequence, const Image& image,
                  bool verify, const char* done, const firmware::UpgradeBackup& backup) {
    bool progressShown = false;
    auto progress = [&](firmware::UpgradePhase phase, int index, int count) {
        ctx.err << (phase == firmware::UpgradePhase::Writing ? "\rwriting chunk "
                                                             : "\rverifying chunk ")
                << index + 1 << "/" << count;
        ctx.err.flush();
        progressShown = true;
    };
    const firmware::UpgradeOptions options{verify};
    const firmware::UpgradeResult result =
        image.catalogueName.isEmpty()
            ? sequence.runImage(image.bytes, image.variant, options, progress)
            : sequence.runNamed(image.catalogueName, image.variant, options, progress);
    if (progressShown) ctx.err << "\n";
    if (!result.ok()) {
        // Whatever stopped it, the pedal is in its bootloader by now.
        ctx.err << "zendalctl: firmware write failed: " << result.message << "\n"
                << kWaitsInBootloader;
        return kFailure;
    }
    remember(ctx, image);
    const firmware::StepResult go = sequence.leaveBootloader();
    if (!go) {
        ctx.err << "zendalctl: the image is written but the pedal was not started: "
                << go.error().message() << "\n"
                << kWaitsInBootloader;
        return kFailure;
    }
    ctx.out << done << " " << image.label << " (variant " << image.variant << "), "
            << (result.verified        ? "read back equal"
                : result.readProtected ? "not verified: the bootloader refuses reads"
                : verify               ? "not verified: the bootloader cannot read"
                                       : "not verified")
            << "\n";
    tellRestore(ctx, backup);
    return kOk;
}

// Opens the device and refuses an image the pedal may not take (demonstration
// data for real hardware), before anything is sent.
bool openForImage(Context& ctx, const Image& image) {
    if (!ctx.openDevice()) return false;
    if (auto why = firmware::UpgradeSequence::refusal(
            *ctx.connection, image.catalogueName.isEmpty() ? &image.bytes : nullptr)) {
        ctx.err << "zendalctl: " << *why << "\n";
        return false;
    }
    return true;
}

int runFlash(Context& ctx, const QStringList& args) {
    FlashArgs a;
    if (auto why = parse(args, false, &a)) return usage(ctx, *why);
    int exit = kOk;
    const auto image = resolve(ctx, a, &exit);
    if (!image) return exit;

    if (!openForImage(ctx, *image)) return kFailure;
    using firmware::UpgradeSequence;
    const firmware::UpgradeBackup backup = a.inBootloader ? earlierBackup(ctx) : backUp(ctx);
    if (!a.inBootloader && !restartIntoBootloader(ctx)) return kFailure;
    UpgradeSequence sequence(*ctx.connection);
    const firmware::StepResult connected = sequence.client().connect(
        a.inBootloader ? firmware::BootloaderClient::ConnectMode::AcceptAlreadyConnected
                       : firmware::BootloaderClient::ConnectMode::Strict);
    if (!connected) {
        ctx.err << "zendalctl: firmware flash failed: " << connected.error().message() << "\n";
        // Sent to its bootloader, it may wait there for a connection.
        if (!a.inBootloader)
            ctx.err << "zendalctl: if the pedal does not answer as before, it waits in its "
                       "bootloader; run 'zendalctl firmware recover'\n";
        return kFailure;
    }
    // Restarted by its own firmware just now, the pedal held a running image.
    if (!a.inBootloader) sequence.resetFlashState();
    return writeAndStart(ctx, sequence, *image, a.verify, "flashed", backup);
}

int runRecover(Context& ctx, const QStringList& args) {
    FlashArgs a;
    if (auto why = parse(args, true, &a)) return usage(ctx, *why);
    int exit = kOk;
    std::optional<Image> image;
    if (a.target.isEmpty()) {
        image = remembered(ctx);
    } else {
        image = resolve(ctx, a, &exit);
        if (!image) return exit;
    }

    if (!openForImage(ctx, *image)) return kFailure;
    using firmware::UpgradeSequence;
    // Nothing for the firmware: the pedal is expected in its bootloader.
    UpgradeSequence sequence(*ctx.connection);
    sequence.flashUnknown();
    const firmware::StepResult connected =
        sequence.client().connect(firmware::BootloaderClient::ConnectMode::AcceptAlreadyConnected);
    if (!connected) {
        ctx.err << "zendalctl: no bootloader answers: " << connected.error().message() << "\n"
                << "zendalctl: recovery is for a pedal that waits in its bootloader; a pedal "
                   "that runs its firmware takes 'zendalctl firmware flash'\n";
        return kFailure;
    }
    ctx.err << "writing " << image->label << "\n";
    return writeAndStart(ctx, sequence, *image, true, "recovered: wrote", earlierBackup(ctx));
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
    if (sub == QLatin1String("recover")) return runRecover(ctx, args);
    if (sub == QLatin1String("images") && args.isEmpty()) return runImages(ctx);
    return usage(ctx, QStringLiteral("unknown firmware command ") + sub);
}

const Registration registration(CommandInfo{
    QStringLiteral("firmware"),
    QStringLiteral("firmware flash NAME|FILE [--no-verify] [--already-in-bootloader] "
                   "[--variant N] | firmware recover [NAME|FILE [--variant N]] | firmware images"),
    run});

}  // namespace
}  // namespace zendal::ctl
