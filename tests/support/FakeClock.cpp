#include "support/FakeClock.h"

#include <QCoreApplication>

namespace zendal::test {

FakeClock::FakeClock() {
    setClock(this);
}

FakeClock::~FakeClock() {
    setClock(nullptr);
}

void FakeClock::pause(int ms) {
    now_ += ms;
    paused_ += ms;
}

void FakeClock::waitForActivity(int maxMs, int /*wakeFd*/) {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
    now_ += maxMs > 0 ? maxMs : 0;
}

}  // namespace zendal::test
