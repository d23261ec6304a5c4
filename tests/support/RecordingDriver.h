#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <optional>

#include "link/PortDriver.h"
#include "support/ForwardingDriver.h"

namespace zendal::test {

// Sits between the port module and a real backend (usually the virtual
// pedal's driver) and keeps what the editor did to the line: every write with
// the line settings it went out with, every parity and latency set, every
// purge. A test can put bytes on the line as if the pedal had sent them, have
// a message code answered with canned bytes instead of the pedal, act just
// before or after a write or before a read (turn a knob, pull the cable), and
// pose as another kind of device or as a backend without a latency timer.
class RecordingDriver : public ForwardingDriver {
  public:
    explicit RecordingDriver(PortDriver& inner) : ForwardingDriver(inner) {}

    struct Sent {
        QByteArray bytes;
        std::uint32_t baud = 0;
        Framing framing;
    };

    QList<QByteArray> writes;           // one entry per write that reached the line
    QList<Sent> sent;                   // the same, with their line settings
    QList<std::uint8_t> parities;       // every parity set
    QList<std::uint8_t> latencyWrites;  // every latency timer set
    QList<PurgeQueue> purges;
    int receivePurges = 0;
    std::optional<DeviceKind> kindToShow;  // pose as this kind of device
    bool latencySupported = true;
    // Also keep writes the line refused (what the editor tried to send).
    bool recordFailedWrites = false;

    std::function<void(const QByteArray&)> beforeWrite;
    std::function<void(const QByteArray&)> afterWrite;
    std::function<void()> beforeRead;

    // The next write starting with `code` is answered with `reply` (the pedal
    // never sees it).
    void replyTo(std::uint8_t code, const QByteArray& reply) { canned_[code].push_back(reply); }
    // Bytes on the line as if the pedal had sent them on its own.
    void inject(const QByteArray& bytes) { extra_ += bytes; }
    // Bytes that reach the port in separate transfers: each piece shows up
    // only once the one before it has been read.
    void injectInPieces(const QList<QByteArray>& pieces) {
        for (const QByteArray& p : pieces) pieces_.push_back(p);
    }

    QStringList hexWrites() const;  // "0A0100", one per write
    QByteArray allWritten() const;
    int countWrites(const QByteArray& frame) const { return int(writes.count(frame)); }
    void clearWrites() {
        writes.clear();
        sent.clear();
    }

    Opened open(const QByteArray& serial) override;
    Transferred read(PortHandle h, std::span<std::uint8_t> into) override;
    Transferred write(PortHandle h, std::span<const std::uint8_t> bytes) override;
    Transferred queued(PortHandle h) override;
    PortStatus setBaudRate(PortHandle h, std::uint32_t baud) override;
    PortStatus setFraming(PortHandle h, Framing framing) override;
    PortStatus purge(PortHandle h, PurgeQueue queues) override;
    DeviceKind kind(PortHandle h) override { return kindToShow ? *kindToShow : inner_.kind(h); }
    PortStatus setLatencyTimer(PortHandle h, std::uint8_t ms) override;
    PortStatus latencyTimer(PortHandle h, std::uint8_t& ms) override {
        return latencySupported ? inner_.latencyTimer(h, ms) : PortStatus::NotSupported;
    }

  private:
    void record(const QByteArray& bytes);

    std::map<std::uint8_t, std::deque<QByteArray>> canned_;
    QByteArray extra_;
    std::deque<QByteArray> pieces_;
    std::uint32_t baud_ = 0;
    Framing framing_;
};

}  // namespace zendal::test
