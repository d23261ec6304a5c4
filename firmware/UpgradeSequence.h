#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "firmware/BootloaderClient.h"

// The firmware upgrade as one plain sequence: load and check the image, cut it into
// chunks, erase, write with progress, write the variant record, read the image
// back and compare. It runs on the user-interface thread (the waits keep the
// windows alive), cannot be started twice, and stops at the next step boundary
// when cancelled. Go is a separate call, so the caller decides when the pedal
// restarts; it is refused while the flash holds an incomplete image.
namespace zendal::firmware {

// Where the flash stands after what this editor did to it.
enum class FlashState {
    Unknown,     // the pedal was found in its bootloader: anything may be in the flash
    Untouched,   // the pedal's firmware ran and restarted into its bootloader, nothing erased
    Incomplete,  // erased, partly written or read back wrong: must not be started
    Written,     // image and variant record written (and verified when possible)
};

struct UpgradeOptions {
    bool verify = true;  // read the image back when the bootloader can read
};

enum class UpgradePhase { Writing, Verifying };

struct UpgradeResult {
    enum class Status {
        Done,       // every step acknowledged (and the image read back equal, if verified)
        Failed,     // a step failed: error says which
        Refused,    // nothing was sent: message says why
        Cancelled,  // stopped by the user between two steps
        Busy,       // a sequence is already running
    };
    Status status = Status::Done;
    QString message;                 // for the user: what failed or why it was refused
    std::optional<StepError> error;  // the failed bootloader step, if any
    bool verified = false;           // read back and equal
    bool readProtected = false;      // the bootloader refused reads
    bool cannotRead = false;         // the bootloader lists no Read Memory
    bool ok() const { return status == Status::Done; }
};

class UpgradeSequence {
  public:
    // index/count of the chunk about to be written or read back.
    using Progress = std::function<void(UpgradePhase phase, int index, int count)>;

    explicit UpgradeSequence(PedalConnection& connection);
    UpgradeSequence(const UpgradeSequence&) = delete;
    UpgradeSequence& operator=(const UpgradeSequence&) = delete;

    // The interlock: a refusal text when this image must not go to the
    // connection's open device (demonstration firmware on real hardware).
    // image may be null for images of the catalogue in use.
    static std::optional<QString> refusal(PedalConnection& connection,
                                          const QByteArray* image = nullptr);

    // The image named in the catalogue ("Firmware_5"; case does not matter).
    UpgradeResult runNamed(const QString& imageName, int variant, const UpgradeOptions& options,
                           const Progress& progress = {});
    // An image given as bytes (a file).
    UpgradeResult runImage(const QByteArray& image, int variant, const UpgradeOptions& options,
                           const Progress& progress = {});

    // Go: the pedal leaves its bootloader and starts the firmware at the flash
    // start. Before it, the flash is read: its vector table (initial stack
    // pointer in SRAM, Thumb reset address in flash) and the variant record an
    // upgrade writes last must be there. Where the bootloader cannot read, only
    // a flash this session knows to be whole is started. Otherwise nothing is
    // sent (Failure::Refused, the reason in the error's detail) and the flash
    // counts as Incomplete.
    bool goIsSafe() const { return flash_ != FlashState::Incomplete; }
    StepResult checkBeforeGo();
    StepResult go();
    // Go, then the line back to the firmware at no parity. When Go is refused
    // nothing is sent and the line stays the bootloader's, at even parity.
    StepResult leaveBootloader();

    // Asks a running sequence to stop at the next step boundary.
    void cancel();
    bool isRunning() const { return running_; }
    // Any sequence of this process is running: nothing else may write to the
    // pedal (console tools, Erase Settings, live mode) until it ends.
    static bool anyRunning();
    bool cancelRequested() const { return cancel_; }
    FlashState flashState() const { return flash_; }
    // A new bootloader session on a pedal whose firmware ran just before.
    void resetFlashState() { flash_ = FlashState::Untouched; }
    // A new bootloader session on a pedal found waiting in its bootloader.
    void flashUnknown() { flash_ = FlashState::Unknown; }

    BootloaderClient& client() { return client_; }

  private:
    std::optional<UpgradeResult> start();
    UpgradeResult execute(const QByteArray& image, int variant, const UpgradeOptions& options,
                          const Progress& progress);
    UpgradeResult verify(const ChunkTable& table, int variant, const Progress& progress);

    PedalConnection& connection_;
    BootloaderClient client_;
    bool running_ = false;
    bool cancel_ = false;
    bool checked_ = false;  // the flash was read and found whole since the last write
    FlashState flash_ = FlashState::Unknown;
};

// True when the image carries the demonstration firmware marker
// ("ZDMOFW\0\0" at offset 0x200).
bool isDemonstrationFirmware(const QByteArray& image);

}  // namespace zendal::firmware
