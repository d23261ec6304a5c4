#pragma once

#include <QByteArray>
#include <functional>

#include "link/PortDriver.h"
#include "support/ForwardingDriver.h"

namespace zendal::test {

// Sits between the editor's port module and the virtual pedal's driver and
// spoils the answer to one chosen write: the write reaches the pedal, then the
// pedal's answer is replaced with bytes that mean nothing, or the cable is
// pulled after part of the answer was received. Silence comes from the
// virtual pedal's own fault injection.
class FaultDriver : public ForwardingDriver {
  public:
    enum class Fault { None, Garbage, Unplug };
    using Match = std::function<bool(const QByteArray& written)>;

    explicit FaultDriver(PortDriver& inner) : ForwardingDriver(inner) {}

    // The `occurrence`-th write (1-based, counted from this call) that `match`
    // accepts gets the fault. For Unplug, `keepBytes` of the answer still
    // arrive before `unplug` pulls the cable.
    void arm(Match match, int occurrence, Fault fault, std::function<void()> unplug = {},
             int keepBytes = 0);
    void disarm();
    bool fired() const { return fired_; }

    PortStatus close(PortHandle h) override {
        held_.clear();
        return inner_.close(h);
    }
    Transferred read(PortHandle h, std::span<std::uint8_t> into) override;
    Transferred write(PortHandle h, std::span<const std::uint8_t> bytes) override;
    PortStatus purge(PortHandle h, PurgeQueue queues) override;
    Transferred queued(PortHandle h) override;

    // Bytes that are neither an ACK nor a NACK, nor any message of the pedal.
    static QByteArray garbage();

  private:
    Match match_;
    int remaining_ = 0;
    Fault fault_ = Fault::None;
    std::function<void()> unplug_;
    int keep_ = 0;
    bool fired_ = false;
    // Received before the fault and not yet read by the editor.
    QByteArray held_;
};

}  // namespace zendal::test
