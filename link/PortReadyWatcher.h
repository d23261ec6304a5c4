#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

namespace zendal {

class D2XXUnit;

// Tells the receive tick when the open port may have bytes, instead of a
// 1 ms timer that wakes the process a thousand times a second for nothing.
// With a readiness descriptor (serial ports, the virtual pedal) it sleeps until
// bytes arrive; without one (FTDI's library) it looks every few milliseconds.
// A line that hangs up stays "readable" for ever: then it falls back to a slow
// look, so that the tick still sees the failure without spinning.
class PortReadyWatcher : public QObject {
    Q_OBJECT
  public:
    explicit PortReadyWatcher(QObject* parent = nullptr);
    // Watches the open device of `unit` instead of the process port.
    explicit PortReadyWatcher(D2XXUnit& unit, QObject* parent = nullptr);
    ~PortReadyWatcher() override;

    // Watches the port module's open device; call again after a new link.
    void start();
    void stop();
    bool isActive() const { return active_; }

    static constexpr int kBrokenLineLookMs = 250;

  signals:
    // Bytes may be waiting (or the port failed): run the receive tick.
    void ready();

  private:
    void onActivity();
    D2XXUnit& port();

    D2XXUnit* unit_ = nullptr;  // nullptr: the process port

    bool active_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer timer_;
};

}  // namespace zendal
