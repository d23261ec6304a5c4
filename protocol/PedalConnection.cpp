#include "protocol/PedalConnection.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>

#include "core/Clock.h"
#include "link/Timeouts.h"

namespace zendal {

namespace {

constexpr auto kControlReport = char(0xAA);
constexpr auto kDump = char(0xAB);

// Sorts the bytes of a reply as they come: knob reports are taken out, bytes
// after a complete reply are kept for the receive tick.
class ReplyCollector {
  public:
    ReplyCollector(ReplyKind kind, int lines) : kind_(kind), lines_(lines) {}

    void add(const QByteArray& bytes) {
        for (const char c : bytes) {
            if (complete()) {
                rest_.append(c);
            } else if (kind_ == ReplyKind::Ack || dumpStarted_) {
                reply_.append(c);
            } else if (!report_.isEmpty()) {
                report_.append(c);
                if (report_.size() == IncomingFramer::kControlReportBytes) {
                    reports_.append(report_);
                    report_.clear();
                }
            } else if (c == kControlReport) {
                report_.append(c);
            } else if (kind_ == ReplyKind::Dump) {
                // What comes before the dump is the pedal's own business.
                if (c == kDump) {
                    dumpStarted_ = true;
                    reply_.append(c);
                } else {
                    rest_.append(c);
                }
            } else {
                reply_.append(c);
            }
        }
    }

    bool complete() const {
        switch (kind_) {
            case ReplyKind::Ack:
                return !reply_.isEmpty();
            case ReplyKind::Dump:
                return reply_.size() >= IncomingFramer::kDumpBytes;
            case ReplyKind::Lines:
                return reply_.count("\r\n") >= lines_;
            case ReplyKind::None:
            case ReplyKind::Text:
                break;
        }
        return false;
    }

    bool hasReply() const { return !reply_.isEmpty(); }
    const QByteArray& reply() const { return reply_; }
    // Knob reports, then whatever followed the reply (a piece of a report
    // included), in the order the tick must see them.
    QByteArray forTheTick() const {
        QByteArray bytes;
        for (const QByteArray& r : reports_) bytes += r;
        return bytes + report_ + rest_;
    }

  private:
    ReplyKind kind_;
    int lines_;
    QByteArray reply_;
    QByteArray report_;
    QList<QByteArray> reports_;
    QByteArray rest_;
    bool dumpStarted_ = false;
};

// The line setting of one exchange; the old one is back on every way out.
class ParityFor {
  public:
    ParityFor(D2XXUnit& unit, std::optional<std::uint8_t> parity)
        : unit_(unit), old_(unit.FTParity) {
        if (!parity || *parity == old_) return;
        unit_.FTParity = *parity;
        unit_.SetFTDataCharacteristics();
        changed_ = true;
    }
    ~ParityFor() {
        if (!changed_) return;
        unit_.FTParity = old_;
        unit_.SetFTDataCharacteristics();
    }
    ParityFor(const ParityFor&) = delete;
    ParityFor& operator=(const ParityFor&) = delete;

  private:
    D2XXUnit& unit_;
    std::uint8_t old_;
    bool changed_ = false;
};

// Failures of single calls are told by the exchange's outcome, not by boxes.
class QuietErrors {
  public:
    explicit QuietErrors(D2XXUnit& unit) : unit_(unit), old_(unit.ShowFTErrors) {
        unit_.ShowFTErrors = false;
    }
    ~QuietErrors() { unit_.ShowFTErrors = old_; }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

  private:
    D2XXUnit& unit_;
    bool old_;
};

}  // namespace

PedalConnection::PedalConnection(QObject* parent) : QObject(parent), watcher_(unit_, this) {
    setLineSettings(FT_PARITY_NONE);
    connect(&watcher_, &PortReadyWatcher::ready, this, &PedalConnection::tick);
    quietTimer_.setSingleShot(true);
    connect(&quietTimer_, &QTimer::timeout, this, &PedalConnection::onQuiet);
}

PedalConnection::~PedalConnection() {
    if (installed_) setProcessPort(nullptr);
}

void PedalConnection::makeProcessPort() {
    setProcessPort(&unit_);
    installed_ = true;
}

void PedalConnection::setLineSettings(std::uint8_t parity) {
    unit_.FTBaudRate = 115200;
    unit_.FTWordLength = FT_BITS_8;
    unit_.FTStopBits = FT_STOP_BITS_1;
    unit_.FTParity = parity;
}

void PedalConnection::applyParity(std::uint8_t parity) {
    setLineSettings(parity);
    if (unit_.isOpen()) unit_.SetFTDataCharacteristics();
}

void PedalConnection::setLineOwner(LineOwner owner) {
    if (owner == lineOwner_) return;
    lineOwner_ = owner;
    // Whatever the tick would read now is the bootloader's, not a message.
    if (owner == LineOwner::Bootloader) stopTick();
    emit lineOwnerChanged(owner);
}

void PedalConnection::startTick() {
    if (!unit_.isOpen() || lineOwner_ == LineOwner::Bootloader) return;
    watcher_.start();
}

void PedalConnection::stopTick() {
    watcher_.stop();
    quietTimer_.stop();
}

void PedalConnection::forgetPiece() {
    framer_.reset();
    heldSinceMs_ = -1;
    quietTimer_.stop();
}

bool PedalConnection::readAll(QByteArray* bytes, int maxReads) {
    // Bounded: a line that never stops talking cannot keep the caller here.
    for (int i = 0; i < maxReads; ++i) {
        if (unit_.GetFTQueueStatus() != FT_OK) return false;
        if (unit_.FTQueueCount == 0) return true;
        const std::uint32_t n = unit_.ReadFTDevice();
        if (n == 0) return true;
        bytes->append(reinterpret_cast<const char*>(unit_.FTReceiveBuffer.data()), int(n));
    }
    return true;
}

void PedalConnection::deliver(const QList<QByteArray>& messages) {
    for (const QByteArray& m : messages) emit message(m);
}

void PedalConnection::tick() {
    if (busy_ || ticking_) return;
    ticking_ = true;
    QByteArray bytes;
    bool ok = true;
    {
        QuietErrors quiet(unit_);
        ok = readAll(&bytes, kReadsPerTick);
    }
    QList<QByteArray> messages = framer_.feed(bytes);
    const qint64 now = clock().nowMs();
    if (framer_.holding()) {
        if (heldSinceMs_ < 0) heldSinceMs_ = now;
        // A run without a fixed end that never pauses is cut anyway.
        if (!framer_.holdingDump() && now - heldSinceMs_ >= timeouts::kMessageGatherMs)
            messages += framer_.flush(true);
    }
    if (!framer_.holding()) {
        heldSinceMs_ = -1;
        quietTimer_.stop();
    } else if (!bytes.isEmpty() || !quietTimer_.isActive()) {
        quietTimer_.start(timeouts::kMessageQuietMs);
    }
    ticking_ = false;
    deliver(messages);
    if (!ok) {
        stopTick();
        emit portFailed();
    }
}

void PedalConnection::onQuiet() {
    if (busy_ || !framer_.holding()) return;
    const int before = framer_.heldBytes();
    tick();
    if (!framer_.holding() || framer_.heldBytes() != before) return;  // still arriving
    QList<QByteArray> messages = framer_.flush(false);
    const int limit = framer_.holdingDump() ? timeouts::kEepromDumpMs : kPieceLimitMs;
    if (framer_.holding() && clock().nowMs() - heldSinceMs_ >= limit)
        messages += framer_.flush(true);
    if (framer_.holding()) {
        quietTimer_.start(timeouts::kMessageQuietMs);
    } else {
        heldSinceMs_ = -1;
    }
    deliver(messages);
}

ExchangeResult PedalConnection::exchange(const ExchangeRequest& request) {
    ExchangeResult result;
    if (busy_) {
        result.outcome = ExchangeResult::Outcome::Busy;
        return result;
    }
    if (!unit_.isOpen()) {
        result.outcome = ExchangeResult::Outcome::Unplugged;
        return result;
    }
    busy_ = true;
    emit busyChanged(true);
    const bool tickWasRunning = tickRunning();
    stopTick();
    QByteArray forTheTick;
    result = run(request, &forTheTick);
    busy_ = false;
    emit busyChanged(false);
    // Messages the pedal sent on its own during the wait, in order.
    QList<QByteArray> messages = framer_.feed(forTheTick);
    if (framer_.holding() && heldSinceMs_ < 0) heldSinceMs_ = clock().nowMs();
    deliver(messages);
    if (tickWasRunning && result.outcome != ExchangeResult::Outcome::Unplugged) startTick();
    return result;
}

ExchangeResult PedalConnection::run(const ExchangeRequest& request, QByteArray* forTheTick) {
    ExchangeResult result;
    QuietErrors quiet(unit_);
    ParityFor parity(unit_, request.parity);
    Clock& c = clock();

    // What waits already was sent before the question: it is not the answer.
    if (request.reply != ReplyKind::Ack && !readAll(forTheTick, kReadsPerTick)) {
        result.outcome = ExchangeResult::Outcome::Unplugged;
        return result;
    }

    if (request.purgeTransmitFirst) unit_.PurgeFTTransmit();
    const auto n = static_cast<std::uint32_t>(
        std::min<qsizetype>(request.bytes.size(), qsizetype(D2XXUnit::kBufferSize)));
    std::memcpy(unit_.FTTransmitBuffer.data(), request.bytes.constData(), n);
    if (n > 0 && unit_.WriteFTDevice(n) != n) {
        result.outcome = ExchangeResult::Outcome::Unplugged;
        return result;
    }
    if (request.pauseAfterWriteMs > 0) c.pause(request.pauseAfterWriteMs);
    if (request.reply == ReplyKind::None) return result;

    ReplyCollector collector(request.reply, request.lines);
    const qint64 deadline = c.nowMs() + request.limitMs;
    qint64 lastArrival = -1;
    for (;;) {
        // The window stays responsive; whatever the user starts meanwhile is
        // refused as busy, and an unlink ends the wait at once.
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
        QByteArray chunk;
        const bool ok = unit_.isOpen() && readAll(&chunk, 1);
        if (!chunk.isEmpty()) {
            // Quiet is measured on the reply: knob reports do not keep it open.
            const qsizetype had = collector.reply().size();
            collector.add(chunk);
            if (collector.reply().size() != had) lastArrival = c.nowMs();
        }
        if (!ok) {
            result.outcome = ExchangeResult::Outcome::Unplugged;
            break;
        }
        if (collector.complete()) break;
        const qint64 now = c.nowMs();
        const bool endsWithQuiet = request.reply == ReplyKind::Text && collector.hasReply();
        if (endsWithQuiet && now - lastArrival >= request.quietMs) break;
        if (now >= deadline) {
            result.outcome = ExchangeResult::Outcome::TimedOut;
            break;
        }
        qint64 wait = deadline - now;
        if (endsWithQuiet) wait = std::min<qint64>(wait, request.quietMs - (now - lastArrival));
        const int fd = unit_.readyFd();
        if (fd < 0) wait = std::min<qint64>(wait, timeouts::kPollSliceMs);
        c.waitForActivity(int(std::max<qint64>(wait, 1)), fd);
    }
    result.bytes = collector.reply();
    forTheTick->append(collector.forTheTick());
    return result;
}

}  // namespace zendal
