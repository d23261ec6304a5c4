#pragma once

#include "core/Clock.h"

namespace zendal::test {

// A clock that never sleeps: pauses and waits advance virtual time at once, so
// a test of a 40-second limit takes microseconds. Waits still process pending
// Qt events. Installs itself for its lifetime.
class FakeClock : public Clock {
  public:
    FakeClock();
    ~FakeClock() override;

    qint64 nowMs() const override { return now_; }
    void pause(int ms) override;
    void waitForActivity(int maxMs, int wakeFd) override;
    void wake() override {}

    void advance(qint64 ms) { now_ += ms; }
    qint64 totalPausedMs() const { return paused_; }

  private:
    qint64 now_ = 1000000;
    qint64 paused_ = 0;
};

}  // namespace zendal::test
