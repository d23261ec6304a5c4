#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>
#include <map>
#include <utility>

namespace zendal {

// The pedal microcontroller's USART bootloader, as an STM32F1-class part
// (product id 0x410, 128 KB flash at 0x08000000, 1 KB pages) answers it:
// the connection byte, GET, GET_VERSION, GET_ID, READ MEMORY, WRITE MEMORY,
// ERASE (global and page list), GO, WRITE UNPROTECT, READOUT PROTECT and
// READOUT UNPROTECT. Anything else is answered NACK.
//
// Byte driven and clock free: feed() takes one byte from the host and says
// what goes back and how long the part is busy first (flash programming and
// erasing), so the caller can place the answer on its time line.
//
// Strict by default, as a real part behaves:
// - Only the first 0x7F after a start is the connection byte. Later, 0x7F is a
//   command byte like any other: nothing comes back until the next byte, and
//   that (a wrong complement) draws a NACK. setLenientReconnect(true) answers a
//   later 0x7F with ACK instead.
// - The first byte after a start is what the part measures the baud rate on.
//   Any other byte there leaves it deaf until the next start (reset() or
//   powerOn()). setLenientSync(true) skips such bytes instead.
// - GO into a flash that holds no complete image (a vector table whose stack
//   pointer is not in SRAM or whose reset address is not Thumb code in flash,
//   or no variant record at 0x0801FC00, which an upgrade writes last) leaves a
//   part that answers nothing at all: neither firmware nor bootloader.
// - Fault::PowerLoss at a step: the part stops right there and answers nothing
//   until powerOn(); the flash keeps what it held at that moment (a global
//   erase done for its lower half, half of a data block programmed).
// - Flash behaves like flash: a cell is programmed only from the erased state
//   (0xFF). A WRITE MEMORY block that touches any programmed cell is refused
//   with NACK and nothing of it is written; an odd last byte is padded with FF.
// - Timing (applied by the caller's wire-time model): 52.5 us per half-word
//   programmed, 20 ms per page erased, 40 ms for a global (mass) erase.
// - WRITE PROTECT (0x63) is listed by GET but refused with NACK.
class VirtualBootloader {
  public:
    static constexpr quint32 kFlashBase = 0x08000000;
    static constexpr int kFlashSize = 128 * 1024;
    static constexpr int kPageSize = 1024;
    static constexpr quint8 kAck = 0x79;
    static constexpr quint8 kNack = 0x1F;
    static constexpr qint64 kHalfWordProgramNs = 52'500;
    static constexpr qint64 kPageEraseNs = 20'000'000;
    static constexpr qint64 kMassEraseNs = 40'000'000;
    // Where a firmware image says which version it is: magic at 0x200, version at 0x208.
    static constexpr int kVersionMagicOffset = 0x200;
    static constexpr int kVersionOffset = 0x208;

    // The places where a test can make the bootloader fail.
    enum class Step {
        Connect,        // 0x7F
        Get,            // 00 FF
        GetVersion,     // 01 FE
        GetId,          // 02 FD
        EraseCommand,   // 43 BC
        EraseSelector,  // FF 00, or the page list with its checksum
        WriteCommand,   // 31 CE
        WriteAddress,   // the address frame after 31 CE
        WriteData,      // N, data, checksum
        Read,           // 11 EE
        Go,             // 21 DE
    };
    enum class Fault { Nack, Silence, PowerLoss };

    // The answer to one byte: what to send after busyNs of work, and whether
    // the part jumped to the firmware (GO completed).
    struct Reaction {
        QByteArray reply;
        qint64 busyNs = 0;
        bool jumped = false;
    };

    VirtualBootloader();

    // A fresh start of the bootloader: waits for 0x7F. Flash, protection and
    // injected faults are kept.
    void reset();
    Reaction feed(quint8 byte);

    // Makes the given occurrence of a step fail (1 = the first time the step is
    // reached after this call; 0 = every time). Silence: the part says nothing
    // and drops the command. Occurrences are counted from the call on.
    void injectFault(Step step, Fault fault, int occurrence = 1);
    void clearFaults() { faults_.clear(); }
    // How often a step was reached since the bootloader model was made.
    int stepCount(Step step) const { return counts_[static_cast<int>(step)]; }

    void setReadProtected(bool on) { readProtected_ = on; }
    bool readProtected() const { return readProtected_; }
    void setLenientReconnect(bool on) { lenientReconnect_ = on; }
    void setLenientSync(bool on) { lenientSync_ = on; }

    // A connection byte was acknowledged since the last start.
    bool connected() const { return state_ != State::AwaitSync && state_ != State::Deaf; }
    // Answers nothing: speed detection failed, power lost, or GO into a bad flash.
    bool silent() const { return state_ == State::Deaf || state_ == State::Off || crashed_; }
    bool poweredOff() const { return state_ == State::Off; }
    // GO went into a flash without a complete image.
    bool crashed() const { return crashed_; }
    // Power back: the bootloader starts afresh and waits for 0x7F; flash kept.
    void powerOn() { reset(); }
    // What GO would find: a complete image (sane vector table, variant record).
    bool flashRunnable() const;
    quint32 jumpAddress() const { return jumpAddress_; }

    // Test hooks: the flash content (128 KB), which tests may also corrupt.
    QByteArray& flash() { return flash_; }
    const QByteArray& flash() const { return flash_; }
    // Copies an image to the flash start as if an upgrade had written it earlier,
    // with its variant record (none for an empty image).
    void loadFlash(const QByteArray& image, int variant = 5);

    // The version the flashed firmware reports: the byte at 0x208 when
    // 0x200..0x207 hold "ZDMOFW\0\0", else 255 (erased or unknown).
    int flashedFirmwareVersion() const { return firmwareVersionOf(flash_); }
    static int firmwareVersionOf(const QByteArray& image);

  private:
    enum class State {
        AwaitSync,
        Deaf,  // the first byte was not 0x7F: baud rate unknown
        Off,   // power lost
        Idle,
        Complement,
        ReadAddress,
        ReadCount,
        WriteAddress,
        WriteData,
        EraseFirst,
        EraseGlobalChecksum,
        ErasePages,
        GoAddress,
    };

    // Counts the step and returns the fault due now, if any.
    std::pair<bool, Fault> reach(Step step);
    Reaction refuse(Fault fault);
    Reaction powerLoss();
    Reaction command(quint8 cmd);
    Reaction addressFrameDone();
    static bool checksumOk(const QByteArray& frame);
    static bool inFlash(quint32 address, int length);
    void massErase();

    State state_ = State::AwaitSync;
    quint8 cmd_ = 0;
    QByteArray frame_;
    int expected_ = 0;
    quint32 address_ = 0;
    quint32 jumpAddress_ = 0;
    bool readProtected_ = false;
    bool lenientReconnect_ = false;
    bool lenientSync_ = false;
    bool crashed_ = false;
    QByteArray flash_;
    std::array<int, 11> counts_{};
    // (step, absolute occurrence) -> fault; occurrence 0 = always.
    std::map<std::pair<Step, int>, Fault> faults_;
};

}  // namespace zendal
