#pragma once

#include <QtGlobal>

namespace zendal {

// The one seam for time: every fixed pause after a message and every wait for a
// reply goes through the process-wide Clock, so tests can run at full speed with
// a fake clock and nothing ever busy-polls a port.
class Clock {
  public:
    virtual ~Clock() = default;

    // Monotonic milliseconds.
    virtual qint64 nowMs() const = 0;

    // A fixed pause after a message (the pedal needs time). UI events are not
    // processed, exactly like a plain sleep.
    virtual void pause(int ms) = 0;

    // Sleeps up to maxMs while processing pending UI events. Returns early when
    // wakeFd (if >= 0) becomes readable, or when wake() is called (for example by
    // Unlink closing the port), or when an event handler ran.
    virtual void waitForActivity(int maxMs, int wakeFd) = 0;

    // Ends the current waitForActivity at once.
    virtual void wake() = 0;
};

// Real clock: std::chrono::steady_clock, nested Qt event loop while waiting.
class SystemClock : public Clock {
  public:
    qint64 nowMs() const override;
    void pause(int ms) override;
    void waitForActivity(int maxMs, int wakeFd) override;
    void wake() override;

  private:
    void* activeLoop_ = nullptr;  // QEventLoop* of the current wait, if any
    bool wakeRequested_ = false;
};

Clock& clock();
// Installs another clock (tests). Passing nullptr restores the system clock.
void setClock(Clock* clock);

}  // namespace zendal
