#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>
#include <functional>

#include "firmware/BootloaderFrames.h"
#include "link/FrameCodec.h"

// The client of the microcontroller's serial bootloader. It owns no port: every
// byte goes through the port of the connection it was given, so it runs the
// same on the kernel serial port, FTDI's library or the virtual pedal. While
// it talks, the bootloader owns the connection's line. A step that is not acknowledged, answered
// with anything else or not answered in time stops the operation with an error naming the step;
// nothing is retried and nothing further is sent.
namespace zendal {
class D2XXUnit;
class PedalConnection;
}  // namespace zendal

namespace zendal::firmware {

enum class Step {
    Connect,
    Get,
    EraseCommand,
    EraseSelector,
    WriteCommand,
    WriteAddress,
    WriteData,
    ReadCommand,
    ReadAddress,
    ReadLength,
    ReadData,
    GoCommand,
    GoAddress,
};

enum class Failure {
    Nack,             // 1F
    UnexpectedReply,  // any other byte
    NoReply,          // nothing within the step's time limit
    ShortReply,       // fewer bytes than the command answers with
    PortError,        // the port's status query failed (device gone, unlinked)
    WriteFailed,      // the port did not take the bytes
    Cancelled,        // stopped by the user between two steps
    Refused,          // not sent: the flash holds an incomplete image
};

QString stepName(Step step);

struct StepError {
    Step step = Step::Connect;
    Failure failure = Failure::NoReply;
    bool hasAddress = false;
    std::uint32_t address = 0;
    QString reply;     // the byte received, two hex digits ("1F"), or empty
    QString detail;    // Refused: why
    int limitMs = 0;   // the time limit that ran out (NoReply, ShortReply)
    int expected = 0;  // ShortReply: bytes expected
    int received = 0;  // ShortReply: bytes that came

    // E.g. "Write Memory at 0x08000A00: not acknowledged (1F)".
    QString message() const;
};

class StepResult {
  public:
    StepResult() = default;
    static StepResult success() { return StepResult(); }
    static StepResult failed(StepError error) {
        StepResult r;
        r.ok_ = false;
        r.error_ = std::move(error);
        return r;
    }
    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const StepError& error() const { return error_; }

  private:
    bool ok_ = true;
    StepError error_;
};

// What GET reports: the protocol version and the commands the bootloader knows.
struct BootloaderInfo {
    int version = 0;  // e.g. 0x22 for 2.2
    QVector<std::uint8_t> commands;
    bool supports(std::uint8_t command) const { return commands.contains(command); }
};

// A reply as WaitBootloaderReply reads it.
struct BootReply {
    QString text;  // first byte as two upper-case hex digits; empty when none
    WaitOutcome outcome = WaitOutcome::Ok;
};

class BootloaderClient {
  public:
    // Told the chunk count and the 0-based index of each chunk before it is written.
    using Progress = std::function<void(int index, int count)>;
    // Asked between two chunks; true stops the write there.
    using StopCheck = std::function<bool()>;

    explicit BootloaderClient(PedalConnection& connection);
    BootloaderClient(const BootloaderClient&) = delete;
    BootloaderClient& operator=(const BootloaderClient&) = delete;

    enum class ConnectMode {
        // A bootloader started just now: only ACK to 7F counts.
        Strict,
        // A pedal found waiting in its bootloader, perhaps still connected to
        // an editor that ended (a connected bootloader takes 7F as a command
        // byte): when 7F is not acknowledged, clear the line and ask GET.
        AcceptAlreadyConnected
    };

    // The line to the bootloader, even parity, 7F, one reply. True on ACK.
    bool ConnectBootloader() { return connect().ok(); }
    StepResult connect(ConnectMode mode = ConnectMode::Strict);
    // Gives the line back to the firmware (no parity, full replies), for a
    // caller that only looked for a bootloader.
    void release();

    // Reads one reply (at most limitMs) and logs it.
    BootReply WaitBootloaderReply(int limitMs);
    // Write Memory and the address frame of the target address.
    StepResult SendWriteCommand();
    // One data block frame (1 to 256 bytes) at the target address.
    StepResult SendDataBlock(const QByteArray& bytes);
    // Erase Memory, global erase.
    StepResult EraseFlash();
    // Go to the flash start.
    StepResult SendGoCommand();
    // Every chunk from the flash start upward.
    StepResult WriteImage(const ChunkTable& table, const Progress& progress = {},
                          const StopCheck& stop = {});
    // The firmware-variant record at 0x0801FC00.
    StepResult WriteFirmwareVariant(int variant);

    // GET: the bootloader's version and command list.
    StepResult Get(BootloaderInfo* info);
    // Read Memory: count (1 to 256) bytes at address.
    StepResult ReadMemory(std::uint32_t address, int count, QByteArray* data);

    std::uint32_t targetAddress = kFlashStart;

    PedalConnection& connection() { return connection_; }

  private:
    D2XXUnit& port();
    void drainLine();
    StepResult findListeningBootloader(const BootReply& first);
    StepResult sendFrame(Step step, const QByteArray& frame, bool hasAddress);
    StepResult expectAck(Step step, int limitMs, bool hasAddress);
    StepError errorAt(Step step, bool hasAddress) const;

    PedalConnection& connection_;
};

// Switches the port to a 1 ms latency timer for its lifetime (the default
// 16 ms costs seconds over the hundreds of acknowledges of an upgrade) and
// restores the previous setting afterwards. Backends without a latency timer
// (pseudo-terminal, virtual pedal) are left alone.
class LowLatencySession {
  public:
    explicit LowLatencySession(D2XXUnit& port);
    ~LowLatencySession();
    LowLatencySession(const LowLatencySession&) = delete;
    LowLatencySession& operator=(const LowLatencySession&) = delete;

  private:
    D2XXUnit& port_;
    bool changed_ = false;
    std::uint8_t previous_ = 16;
};

}  // namespace zendal::firmware
