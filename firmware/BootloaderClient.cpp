#include "firmware/BootloaderClient.h"

#include <cstring>

#include "core/Clock.h"
#include "core/Hex.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "link/Timeouts.h"
#include "protocol/PedalConnection.h"

namespace zendal::firmware {

namespace {

// 115200 baud, at least 10 bits a byte.
constexpr qint64 kFastestByteUs = 86;

// Clearing the line for a bootloader that may sit in the middle of a command:
// single bytes, each given this long to draw an answer. The longest frame a
// command waits for besides a data block is five bytes (an address).
constexpr int kClearLineBytes = 8;
constexpr int kClearByteMs = 50;
constexpr std::uint8_t kClearByte = 0xFF;
// A pedal found in its bootloader is most likely connected already and never
// answers 7F: waiting the full limit for it would only cost time. A fresh
// bootloader answers within milliseconds; a late ACK is caught while clearing.
constexpr int kListeningProbeMs = 100;
constexpr int kFindAttempts = 2;

// Reads a reply of several bytes (GET, Read Memory) straight from the port:
// the codec's bootloader form keeps only the first byte and purges the rest.
class RawReader {
  public:
    explicit RawReader(D2XXUnit& port) : port_(port) {}

    WaitOutcome read(int count, int limitMs, QByteArray* out) {
        Clock& c = clock();
        D2XXUnit& port = port_;
        const qint64 deadline = c.nowMs() + limitMs;
        while (pending_.size() < count) {
            const qint64 left = deadline - c.nowMs();
            const WaitOutcome w = WaitForFirstByte(port, left > 0 ? static_cast<int>(left) : 0);
            if (w != WaitOutcome::Ok) {
                *out = pending_;
                pending_.clear();
                return w;
            }
            const std::uint32_t n = port.ReadFTDevice();
            if (n == 0) {
                // Queued but not readable: give it a moment rather than spin.
                if (c.nowMs() >= deadline) {
                    *out = pending_;
                    pending_.clear();
                    return WaitOutcome::TimedOut;
                }
                c.waitForActivity(timeouts::kPollSliceMs, -1);
                continue;
            }
            pending_.append(reinterpret_cast<const char*>(port.FTReceiveBuffer.data()),
                            static_cast<int>(n));
            // The rest cannot come faster than the line carries it: sleep
            // through most of it instead of waking for every byte.
            const qint64 rest = count - pending_.size();
            const int aheadMs = static_cast<int>((rest - 1) * kFastestByteUs / 1000);
            if (rest > 1 && aheadMs > 0 && c.nowMs() + aheadMs < deadline)
                c.waitForActivity(aheadMs, -1);
        }
        *out = pending_.left(count);
        pending_.remove(0, count);
        return WaitOutcome::Ok;
    }
    int surplus() const { return static_cast<int>(pending_.size()); }

  private:
    D2XXUnit& port_;
    QByteArray pending_;
};

StepError classify(StepError error, const QString& text, WaitOutcome outcome) {
    error.reply = text;
    switch (outcome) {
        case WaitOutcome::PortError:
            error.failure = Failure::PortError;
            break;
        case WaitOutcome::TimedOut:
            error.failure = Failure::NoReply;
            break;
        case WaitOutcome::Ok:
            error.failure = text == QLatin1String("1F") ? Failure::Nack : Failure::UnexpectedReply;
            break;
    }
    return error;
}

}  // namespace

QString stepName(Step step) {
    switch (step) {
        case Step::Connect:
            return QStringLiteral("Connect");
        case Step::Get:
            return QStringLiteral("Get");
        case Step::EraseCommand:
            return QStringLiteral("Erase Memory");
        case Step::EraseSelector:
            return QStringLiteral("Global erase");
        case Step::WriteCommand:
            return QStringLiteral("Write Memory");
        case Step::WriteAddress:
            return QStringLiteral("Write Memory address");
        case Step::WriteData:
            return QStringLiteral("Write Memory data");
        case Step::ReadCommand:
            return QStringLiteral("Read Memory");
        case Step::ReadAddress:
            return QStringLiteral("Read Memory address");
        case Step::ReadLength:
            return QStringLiteral("Read Memory length");
        case Step::ReadData:
            return QStringLiteral("Read Memory data");
        case Step::GoCommand:
            return QStringLiteral("Go");
        case Step::GoAddress:
            return QStringLiteral("Go address");
    }
    return QString();
}

QString StepError::message() const {
    QString text = stepName(step);
    if (hasAddress) text += QStringLiteral(" at 0x") + hex8(address);
    text += QStringLiteral(": ");
    switch (failure) {
        case Failure::Nack:
            text += QStringLiteral("not acknowledged (1F)");
            break;
        case Failure::UnexpectedReply:
            text += QStringLiteral("unexpected reply (%1)").arg(reply);
            break;
        case Failure::NoReply:
            text += QStringLiteral("no reply within %1 ms").arg(limitMs);
            break;
        case Failure::ShortReply:
            text += QStringLiteral("only %1 of %2 bytes arrived within %3 ms")
                        .arg(received)
                        .arg(expected)
                        .arg(limitMs);
            break;
        case Failure::PortError:
            text += QStringLiteral("the port failed while waiting for the reply");
            break;
        case Failure::WriteFailed:
            text += QStringLiteral("the port did not take the bytes");
            break;
        case Failure::Cancelled:
            text += QStringLiteral("stopped before this step");
            break;
        case Failure::Refused:
            text += QStringLiteral("not sent, the flash does not hold a complete image");
            if (!detail.isEmpty()) text += QStringLiteral(" (") + detail + QLatin1Char(')');
            break;
    }
    return text;
}

BootloaderClient::BootloaderClient(PedalConnection& connection) : connection_(connection) {}

D2XXUnit& BootloaderClient::port() {
    return connection_.unit();
}

StepError BootloaderClient::errorAt(Step step, bool hasAddress) const {
    StepError e;
    e.step = step;
    e.hasAddress = hasAddress;
    e.address = targetAddress;
    return e;
}

StepResult BootloaderClient::sendFrame(Step step, const QByteArray& frame, bool hasAddress) {
    D2XXUnit& port = this->port();
    const auto n = static_cast<std::uint32_t>(frame.size());
    std::memcpy(port.FTTransmitBuffer.data(), frame.constData(), n);
    if (port.WriteFTDevice(n) == n) return StepResult::success();
    StepError e = errorAt(step, hasAddress);
    e.failure = Failure::WriteFailed;
    DebugPrint(QStringLiteral("write failed: ") + e.message());
    return StepResult::failed(e);
}

StepResult BootloaderClient::expectAck(Step step, int limitMs, bool hasAddress) {
    const BootReply reply = WaitBootloaderReply(limitMs);
    if (reply.outcome == WaitOutcome::Ok && reply.text == QLatin1String("79"))
        return StepResult::success();
    StepError e = classify(errorAt(step, hasAddress), reply.text, reply.outcome);
    e.limitMs = limitMs;
    return StepResult::failed(e);
}

// Reads and drops what is still on its way until the line has been quiet for
// longer than the USB latency timer, within a bounded time: a purge alone
// misses answers the adapter still holds, and a late answer to what another
// program sent would be taken for ours.
void BootloaderClient::drainLine() {
    Clock& c = clock();
    const qint64 deadline = c.nowMs() + 4 * timeouts::kReplyQuietMs;
    while (c.nowMs() < deadline) {
        if (WaitForFirstByte(port(), timeouts::kReplyQuietMs) != WaitOutcome::Ok) break;
        if (port().ReadFTDevice() == 0) break;
    }
    port().PurgeFTReceive();
}

void BootloaderClient::release() {
    connection_.setLineOwner(LineOwner::Firmware);
    connection_.applyParity(FT_PARITY_NONE);
}

StepResult BootloaderClient::connect(ConnectMode mode) {
    connection_.setLineOwner(LineOwner::Bootloader);
    connection_.applyParity(FT_PARITY_EVEN);
    // Whatever the pedal's firmware (or an earlier program) sent is not a reply.
    if (mode == ConnectMode::AcceptAlreadyConnected)
        drainLine();
    else
        port().PurgeFTReceive();

    const int limitMs = mode == ConnectMode::AcceptAlreadyConnected ? kListeningProbeMs
                                                                    : timeouts::kBootloaderAckMs;
    if (StepResult sent = sendFrame(Step::Connect, QByteArray(1, char(kConnectByte)), false); !sent)
        return sent;
    const TextReply r = ReceiveText(port(), limitMs, TextForm::BootloaderByte);
    const BootReply reply{r.text, r.outcome};
    DebugAppend(QStringLiteral("received Byte: ") + reply.text);
    if (reply.outcome == WaitOutcome::Ok && reply.text == QLatin1String("79"))
        return StepResult::success();
    if (mode == ConnectMode::AcceptAlreadyConnected && reply.outcome != WaitOutcome::PortError) {
        if (findListeningBootloader(reply)) {
            DebugPrint(QStringLiteral("bootloader already connected"));
            return StepResult::success();
        }
    }
    StepError e = classify(errorAt(Step::Connect, false), reply.text, reply.outcome);
    e.limitMs = limitMs;
    return StepResult::failed(e);
}

StepResult BootloaderClient::findListeningBootloader(const BootReply& first) {
    // A NACK to 7F: the bootloader was waiting for a command byte's complement
    // and is ready for the next command. Silence: it took 7F as the first byte
    // of something; single bytes complete that until it answers.
    bool answered = first.outcome == WaitOutcome::Ok && !first.text.isEmpty();
    StepResult got = StepResult::failed(errorAt(Step::Connect, false));
    for (int attempt = 0; attempt < kFindAttempts; ++attempt) {
        for (int i = 0; !answered && i < kClearLineBytes; ++i) {
            if (!sendFrame(Step::Connect, QByteArray(1, char(kClearByte)), false)) return got;
            const TextReply r = ReceiveText(port(), kClearByteMs, TextForm::BootloaderByte);
            if (r.outcome == WaitOutcome::PortError) return got;
            answered = r.outcome == WaitOutcome::Ok;
            if (answered) DebugAppend(QStringLiteral("line cleared: ") + r.text);
        }
        if (!answered) return got;
        drainLine();
        // A bootloader in step with us answers GET in full. One that answered
        // late may have taken a clearing byte as a command: clear once more.
        got = Get(nullptr);
        if (got) return got;
        answered = false;
    }
    return got;
}

BootReply BootloaderClient::WaitBootloaderReply(int limitMs) {
    const TextReply r = ReceiveText(port(), limitMs, TextForm::BootloaderByte);
    DebugAppend(QStringLiteral("received: ") + r.text);
    if (r.outcome == WaitOutcome::TimedOut) {
        DebugAppend(QStringLiteral("no reply within %1 ms").arg(limitMs));
    } else if (r.outcome == WaitOutcome::PortError) {
        DebugAppend(QStringLiteral("the port failed while waiting for the reply"));
    } else if (r.text == QLatin1String("79")) {
        DebugAppend(QStringLiteral("ACK"));
    } else if (r.text == QLatin1String("1F")) {
        DebugAppend(QStringLiteral("NOT ACK"));
    }
    return BootReply{r.text, r.outcome};
}

StepResult BootloaderClient::SendWriteCommand() {
    DebugPrint(QStringLiteral("SEND WRITE COMMAND"));
    if (auto r = sendFrame(Step::WriteCommand, commandFrame(kWriteMemoryCommand), true); !r)
        return r;
    if (auto r = expectAck(Step::WriteCommand, timeouts::kBootloaderAckMs, true); !r) return r;
    DebugPrint(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    DebugPrint(QStringLiteral("Address: ") + hex8(targetAddress));
    DebugPrint(QStringLiteral("address checksum: ") + hex2(addressChecksum(targetAddress)));
    if (auto r = sendFrame(Step::WriteAddress, addressFrame(targetAddress), true); !r) return r;
    return expectAck(Step::WriteAddress, timeouts::kBootloaderAckMs, true);
}

StepResult BootloaderClient::SendDataBlock(const QByteArray& bytes) {
    DebugPrint(QStringLiteral("SEND N BYTE + DATA + CHECKSUM"));
    DebugPrint(QStringLiteral("N_byte: ") + hex2(static_cast<unsigned>(bytes.size() - 1)));
    DebugPrint(QStringLiteral("chunk size: %1").arg(bytes.size()));
    DebugPrint(QStringLiteral("data checksum: ") + hex2(dataChecksum(bytes)));
    if (auto r = sendFrame(Step::WriteData, dataBlockFrame(bytes), true); !r) return r;
    return expectAck(Step::WriteData, timeouts::kBootloaderAckMs, true);
}

StepResult BootloaderClient::EraseFlash() {
    DebugAppend(QStringLiteral("Start Erase Command"));
    if (auto r = sendFrame(Step::EraseCommand, commandFrame(kEraseCommand), false); !r) return r;
    if (auto r = expectAck(Step::EraseCommand, timeouts::kBootloaderAckMs, false); !r) return r;
    if (auto r = sendFrame(Step::EraseSelector, globalEraseFrame(), false); !r) return r;
    return expectAck(Step::EraseSelector, timeouts::kBootloaderEraseMs, false);
}

StepResult BootloaderClient::SendGoCommand() {
    DebugPrint(QString());
    DebugPrint(QStringLiteral("SEND GO COMMAND"));
    targetAddress = kFlashStart;
    if (auto r = sendFrame(Step::GoCommand, commandFrame(kGoCommand), true); !r) return r;
    if (auto r = expectAck(Step::GoCommand, timeouts::kBootloaderAckMs, true); !r) return r;
    DebugPrint(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    DebugPrint(QStringLiteral("Address: ") + hex8(targetAddress));
    DebugPrint(QStringLiteral("address checksum: ") + hex2(addressChecksum(targetAddress)));
    if (auto r = sendFrame(Step::GoAddress, addressFrame(targetAddress), true); !r) return r;
    return expectAck(Step::GoAddress, timeouts::kBootloaderAckMs, true);
}

StepResult BootloaderClient::WriteImage(const ChunkTable& table, const Progress& progress,
                                        const StopCheck& stop) {
    DebugAppend(QStringLiteral("Start Write Command"));
    DebugAppend(QString());
    targetAddress = kFlashStart;
    const int count = static_cast<int>(table.chunks.size());
    for (int i = 0; i < count; ++i) {
        if (stop && stop()) {
            StepError e = errorAt(Step::WriteCommand, true);
            e.failure = Failure::Cancelled;
            return StepResult::failed(e);
        }
        if (progress) progress(i, count);
        const QByteArray& bytes = table.chunks[i].bytes;
        if (auto r = SendWriteCommand(); !r) return r;
        if (auto r = SendDataBlock(bytes); !r) return r;
        targetAddress += static_cast<std::uint32_t>(bytes.size());
        DebugPrint(QString());
    }
    return StepResult::success();
}

StepResult BootloaderClient::WriteFirmwareVariant(int variant) {
    targetAddress = kVariantRecordAddress;
    if (auto r = SendWriteCommand(); !r) return r;
    if (auto r = sendFrame(Step::WriteData, dataBlockFrame(variantRecord(variant)), true); !r)
        return r;
    return expectAck(Step::WriteData, timeouts::kBootloaderAckMs, true);
}

StepResult BootloaderClient::Get(BootloaderInfo* info) {
    DebugPrint(QStringLiteral("SEND GET COMMAND"));
    if (auto r = sendFrame(Step::Get, commandFrame(kGetCommand), false); !r) return r;
    RawReader reader(port());
    const int limit = timeouts::kBootloaderAckMs;
    auto fail = [&](const QByteArray& got, WaitOutcome outcome, int expected) {
        StepError e = errorAt(Step::Get, false);
        e.limitMs = limit;
        if (outcome == WaitOutcome::Ok) {
            e = classify(e, got.isEmpty() ? QString() : hex2(static_cast<std::uint8_t>(got[0])),
                         outcome);
        } else if (outcome == WaitOutcome::TimedOut && !got.isEmpty()) {
            e.failure = Failure::ShortReply;
            e.expected = expected;
            e.received = static_cast<int>(got.size());
        } else {
            e = classify(e, QString(), outcome);
        }
        port().PurgeFTReceive();
        DebugAppend(QStringLiteral("received: ") + e.reply);
        return StepResult::failed(e);
    };
    QByteArray head;
    WaitOutcome w = reader.read(2, limit, &head);
    if (!head.isEmpty() && static_cast<std::uint8_t>(head[0]) != kAck)
        return fail(head.left(1), WaitOutcome::Ok, 2);
    if (w != WaitOutcome::Ok) return fail(head, w, 2);
    const int n = static_cast<std::uint8_t>(head[1]) + 1;
    QByteArray body;
    w = reader.read(n + 1, limit, &body);
    if (w != WaitOutcome::Ok) return fail(body, w, n + 1);
    if (static_cast<std::uint8_t>(body[n]) != kAck) return fail(body.mid(n, 1), WaitOutcome::Ok, 1);
    port().PurgeFTReceive();

    BootloaderInfo got;
    got.version = static_cast<std::uint8_t>(body[0]);
    QStringList codes;
    for (int i = 1; i < n; ++i) {
        got.commands.append(static_cast<std::uint8_t>(body[i]));
        codes.append(hex2(static_cast<std::uint8_t>(body[i])));
    }
    DebugPrint(
        QStringLiteral("bootloader version: %1.%2").arg(got.version >> 4).arg(got.version & 0x0F));
    DebugPrint(QStringLiteral("bootloader commands: ") + codes.join(QLatin1Char(' ')));
    if (info) *info = got;
    return StepResult::success();
}

StepResult BootloaderClient::ReadMemory(std::uint32_t address, int count, QByteArray* data) {
    targetAddress = address;
    DebugPrint(QStringLiteral("SEND READ COMMAND"));
    if (auto r = sendFrame(Step::ReadCommand, commandFrame(kReadMemoryCommand), true); !r) return r;
    if (auto r = expectAck(Step::ReadCommand, timeouts::kBootloaderAckMs, true); !r) return r;
    DebugPrint(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    DebugPrint(QStringLiteral("Address: ") + hex8(address));
    DebugPrint(QStringLiteral("address checksum: ") + hex2(addressChecksum(address)));
    if (auto r = sendFrame(Step::ReadAddress, addressFrame(address), true); !r) return r;
    if (auto r = expectAck(Step::ReadAddress, timeouts::kBootloaderAckMs, true); !r) return r;
    DebugPrint(QStringLiteral("SEND N BYTE + CHECKSUM"));
    DebugPrint(QStringLiteral("N_byte: ") + hex2(static_cast<unsigned>(count - 1)));
    if (auto r = sendFrame(Step::ReadLength, readLengthFrame(count), true); !r) return r;

    // The acknowledge and the data come back to back.
    RawReader reader(port());
    QByteArray ack;
    WaitOutcome w = reader.read(1, timeouts::kBootloaderAckMs, &ack);
    const QString ackText = ack.isEmpty() ? QString() : hex2(static_cast<std::uint8_t>(ack[0]));
    DebugAppend(QStringLiteral("received: ") + ackText);
    if (w != WaitOutcome::Ok || ackText != QLatin1String("79")) {
        port().PurgeFTReceive();
        StepError e = classify(errorAt(Step::ReadLength, true), ackText, w);
        e.limitMs = timeouts::kBootloaderAckMs;
        return StepResult::failed(e);
    }
    QByteArray bytes;
    w = reader.read(count, timeouts::kBootloaderReadMs, &bytes);
    port().PurgeFTReceive();
    if (w != WaitOutcome::Ok) {
        StepError e = errorAt(Step::ReadData, true);
        e.limitMs = timeouts::kBootloaderReadMs;
        if (w == WaitOutcome::PortError) {
            e.failure = Failure::PortError;
        } else {
            e.failure = bytes.isEmpty() ? Failure::NoReply : Failure::ShortReply;
            e.expected = count;
            e.received = static_cast<int>(bytes.size());
        }
        return StepResult::failed(e);
    }
    DebugPrint(QStringLiteral("read %1 bytes").arg(count));
    if (data) *data = bytes;
    return StepResult::success();
}

LowLatencySession::LowLatencySession(D2XXUnit& port) : port_(port) {
    std::uint8_t old = 0;
    if (port.GetLatencyTimer(&old) == FT_OK) previous_ = old;
    if (port.SetLatencyTimer(1) == FT_OK) {
        changed_ = true;
        DebugPrint(QStringLiteral("latency timer: 1 ms for the bootloader session"));
    }
}

LowLatencySession::~LowLatencySession() {
    if (changed_ && previous_ != 1) port_.SetLatencyTimer(previous_);
}

}  // namespace zendal::firmware
