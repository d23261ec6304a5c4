#include "firmware/UpgradeSequence.h"

#include "core/Clock.h"
#include "core/Hex.h"
#include "core/Log.h"
#include "firmware/FirmwareImage.h"
#include "link/D2XXUnit.h"
#include "protocol/PedalConnection.h"
#include "resources/Interlock.h"
#include "resources/ResourceStore.h"

namespace zendal::firmware {

namespace {

constexpr int kDemoMarkerOffset = 0x200;
const QByteArray kDemoMarker("ZDMOFW\0\0", 8);

// The pause between the variant record and the completion message.
constexpr int kAfterVariantPauseMs = 10;

UpgradeResult refused(const QString& why) {
    DebugPrint(why);
    UpgradeResult r;
    r.status = UpgradeResult::Status::Refused;
    r.message = why;
    return r;
}

UpgradeResult failed(const StepError& error) {
    UpgradeResult r;
    r.status = UpgradeResult::Status::Failed;
    r.error = error;
    r.message = error.message();
    DebugPrint(QStringLiteral("firmware upgrade stopped: ") + r.message);
    return r;
}

UpgradeResult cancelled() {
    UpgradeResult r;
    r.status = UpgradeResult::Status::Cancelled;
    r.message = QStringLiteral("The firmware upgrade was stopped.");
    DebugPrint(QStringLiteral("firmware upgrade stopped by the user"));
    return r;
}

int& runningCount() {
    static int count = 0;
    return count;
}

// Sets a flag for the lifetime of the scope.
class Running {
  public:
    explicit Running(bool& flag) : flag_(flag) {
        flag_ = true;
        ++runningCount();
    }
    ~Running() {
        flag_ = false;
        --runningCount();
    }

  private:
    bool& flag_;
};

}  // namespace

UpgradeSequence::UpgradeSequence(PedalConnection& connection)
    : connection_(connection), client_(connection) {}

bool UpgradeSequence::anyRunning() {
    return runningCount() > 0;
}

bool isDemonstrationFirmware(const QByteArray& image) {
    return image.size() >= kDemoMarkerOffset + kDemoMarker.size() &&
           image.mid(kDemoMarkerOffset, kDemoMarker.size()) == kDemoMarker;
}

std::optional<QString> UpgradeSequence::refusal(PedalConnection& connection,
                                                const QByteArray* image) {
    const DeviceKind kind = connection.unit().openDeviceKind();
    if (auto why = refuseDemonstrationDataFor(kind)) return why;
    if (image && kind == DeviceKind::Hardware && isDemonstrationFirmware(*image)) {
        return QStringLiteral(
            "This image is demonstration firmware made for the virtual pedal. It is refused on "
            "a real pedal.");
    }
    return std::nullopt;
}

std::optional<UpgradeResult> UpgradeSequence::start() {
    if (running_) {
        UpgradeResult r;
        r.status = UpgradeResult::Status::Busy;
        r.message = QStringLiteral("A firmware upgrade is already running.");
        return r;
    }
    DebugPrint(QStringLiteral("********************FIRMWARE UPGRADE********************"));
    connection_.unit().ShowFTErrors = false;
    if (!connection_.unit().isOpen()) return refused(QStringLiteral("No pedal is linked."));
    return std::nullopt;
}

UpgradeResult UpgradeSequence::runNamed(const QString& imageName, int variant,
                                        const UpgradeOptions& options, const Progress& progress) {
    if (auto stop = start()) return *stop;
    // Checked before the image is even read: the catalogue in use decides.
    if (auto why = refusal(connection_)) return refused(*why);
    QString error;
    const auto image = ResourceStore::instance().read(imageName, &error);
    if (!image) {
        return refused(
            QStringLiteral("The firmware image %1 cannot be read: %2").arg(imageName, error));
    }
    DebugPrint(QStringLiteral("Firmware num of bytes: %1").arg(image->size()));
    return execute(*image, variant, options, progress);
}

UpgradeResult UpgradeSequence::runImage(const QByteArray& image, int variant,
                                        const UpgradeOptions& options, const Progress& progress) {
    if (auto stop = start()) return *stop;
    DebugPrint(QStringLiteral("Firmware num of bytes: %1").arg(image.size()));
    return execute(image, variant, options, progress);
}

UpgradeResult UpgradeSequence::execute(const QByteArray& image, int variant,
                                       const UpgradeOptions& options, const Progress& progress) {
    Running running(running_);
    cancel_ = false;
    if (auto why = refusal(connection_, &image)) return refused(*why);
    if (variant < 1 || variant > 254) {
        return refused(
            QStringLiteral("The firmware variant %1 is not a number from 1 to 254.").arg(variant));
    }
    if (auto why = imageProblem(image)) {
        return refused(QStringLiteral("The firmware image is refused: ") + *why + QLatin1Char('.'));
    }
    const SplitResult split = SplitImage(image);
    if (!split.ok) return refused(split.error);
    const ChunkTable& table = split.table;

    // From here on only the bootloader's acknowledges are read (a pedal found
    // waiting in its bootloader may have been handed over without a connect).
    connection_.setLineOwner(LineOwner::Bootloader);
    // Late bytes of an earlier, failed attempt are not replies to this one.
    connection_.unit().PurgeFTReceive();
    LowLatencySession lowLatency(connection_.unit());

    UpgradeResult result;
    bool canRead = false;
    if (options.verify) {
        BootloaderInfo info;
        if (auto r = client_.Get(&info); !r) return failed(r.error());
        canRead = info.supports(kReadMemoryCommand);
        if (!canRead) result.cannotRead = true;
        if (!canRead)
            DebugPrint(QStringLiteral(
                "the bootloader cannot read memory: the image will not be verified"));
    }
    if (cancel_) return cancelled();

    flash_ = FlashState::Incomplete;
    checked_ = false;
    if (auto r = client_.EraseFlash(); !r) return failed(r.error());
    auto writing = [&progress](int index, int count) {
        if (progress) progress(UpgradePhase::Writing, index, count);
    };
    if (auto r = client_.WriteImage(table, writing, [this] { return cancel_; }); !r) {
        return r.error().failure == Failure::Cancelled ? cancelled() : failed(r.error());
    }
    if (cancel_) return cancelled();
    if (auto r = client_.WriteFirmwareVariant(variant); !r) return failed(r.error());
    flash_ = FlashState::Written;

    if (canRead) {
        UpgradeResult checked = verify(table, variant, progress);
        if (!checked.ok()) return checked;
        result.verified = checked.verified;
        result.readProtected = checked.readProtected;
    }
    clock().pause(kAfterVariantPauseMs);
    DebugPrint(result.verified ? QStringLiteral("firmware written and read back equal")
                               : QStringLiteral("firmware written, every step acknowledged"));
    return result;
}

UpgradeResult UpgradeSequence::verify(const ChunkTable& table, int variant,
                                      const Progress& progress) {
    DebugPrint(QStringLiteral("VERIFY"));
    UpgradeResult done;
    auto compare = [this](std::uint32_t address, const QByteArray& expected,
                          const QByteArray& actual) -> std::optional<UpgradeResult> {
        if (actual == expected) return std::nullopt;
        int at = 0;
        while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
        flash_ = FlashState::Incomplete;
        UpgradeResult r;
        r.status = UpgradeResult::Status::Failed;
        r.message = QStringLiteral("Verify at 0x%1: the flash holds %2 where the image has %3")
                        .arg(hex8(address + static_cast<std::uint32_t>(at)),
                             at < actual.size() ? hex2(static_cast<std::uint8_t>(actual[at]))
                                                : QStringLiteral("nothing"),
                             hex2(static_cast<std::uint8_t>(expected[at])));
        DebugPrint(QStringLiteral("firmware upgrade stopped: ") + r.message);
        return r;
    };

    const int count = static_cast<int>(table.chunks.size());
    for (int i = 0; i < count; ++i) {
        if (cancel_) return cancelled();
        if (progress) progress(UpgradePhase::Verifying, i, count);
        const QByteArray& expected = table.chunks[i].bytes;
        const std::uint32_t address = ChunkTable::addressOf(i);
        QByteArray actual;
        if (auto r = client_.ReadMemory(address, static_cast<int>(expected.size()), &actual); !r) {
            if (i == 0 && r.error().step == Step::ReadCommand &&
                r.error().failure == Failure::Nack) {
                DebugPrint(QStringLiteral(
                    "Read Memory not acknowledged: the bootloader refuses reads (read "
                    "protection), the image is not verified"));
                done.readProtected = true;
                return done;
            }
            return failed(r.error());
        }
        if (auto mismatch = compare(address, expected, actual)) return *mismatch;
    }
    const QByteArray record = variantRecord(variant);
    QByteArray actual;
    if (auto r =
            client_.ReadMemory(kVariantRecordAddress, static_cast<int>(record.size()), &actual);
        !r) {
        return failed(r.error());
    }
    if (auto mismatch = compare(kVariantRecordAddress, record, actual)) return *mismatch;
    done.verified = true;
    return done;
}

StepResult UpgradeSequence::checkBeforeGo() {
    auto refuse = [this](const QString& why) {
        flash_ = FlashState::Incomplete;
        StepError e;
        e.step = Step::GoCommand;
        e.failure = Failure::Refused;
        e.detail = why;
        DebugPrint(QStringLiteral("Go not sent: ") + e.message());
        return StepResult::failed(e);
    };
    if (flash_ == FlashState::Incomplete)
        return refuse(QStringLiteral("the last write did not finish"));
    if (checked_) return StepResult::success();
    QByteArray vectors;
    const StepResult read = client_.ReadMemory(kFlashStart, kVectorBytes, &vectors);
    if (!read) {
        if (read.error().step == Step::ReadCommand && read.error().failure == Failure::Nack) {
            // No reading (protection, or no Read Memory at all): only what this
            // session saw vouches for the flash.
            if (flash_ == FlashState::Written || flash_ == FlashState::Untouched) {
                DebugPrint(
                    QStringLiteral("the flash cannot be read; it was whole in this session"));
                checked_ = true;
                return StepResult::success();
            }
            return refuse(QStringLiteral("the flash cannot be read back to check it"));
        }
        DebugPrint(QStringLiteral("Go not sent: ") + read.error().message());
        return read;
    }
    if (auto why = vectorTableProblem(vectors)) return refuse(*why);
    QByteArray record;
    const StepResult recordRead = client_.ReadMemory(kVariantRecordAddress, 8, &record);
    if (!recordRead) {
        DebugPrint(QStringLiteral("Go not sent: ") + recordRead.error().message());
        return recordRead;
    }
    if (auto why = variantRecordProblem(record)) return refuse(*why);
    checked_ = true;
    return StepResult::success();
}

StepResult UpgradeSequence::go() {
    if (StepResult check = checkBeforeGo(); !check) return check;
    StepResult r = client_.SendGoCommand();
    checked_ = false;
    if (r) flash_ = FlashState::Untouched;
    return r;
}

StepResult UpgradeSequence::leaveBootloader() {
    // Not started: the line stays as the bootloader needs it.
    if (StepResult check = checkBeforeGo(); !check) return check;
    StepResult r = go();
    client_.release();
    return r;
}

void UpgradeSequence::cancel() {
    if (running_) cancel_ = true;
}

}  // namespace zendal::firmware
