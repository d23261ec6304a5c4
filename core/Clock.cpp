#include "core/Clock.h"

#include <poll.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <thread>

namespace zendal {

qint64 SystemClock::nowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::pause(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SystemClock::waitForActivity(int maxMs, int wakeFd) {
    if (maxMs <= 0) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
        return;
    }
    if (wakeRequested_) {
        wakeRequested_ = false;
        return;
    }
    if (!QCoreApplication::instance()) {
        // No event loop (plain tools): block on the descriptor or sleep.
        if (wakeFd >= 0) {
            pollfd p{wakeFd, POLLIN, 0};
            ::poll(&p, 1, maxMs);
        } else {
            pause(maxMs);
        }
        return;
    }
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(maxMs);
    std::unique_ptr<QSocketNotifier> notifier;
    if (wakeFd >= 0) {
        notifier = std::make_unique<QSocketNotifier>(wakeFd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    }
    void* outer = activeLoop_;
    activeLoop_ = &loop;
    loop.exec();
    activeLoop_ = outer;
    wakeRequested_ = false;
}

void SystemClock::wake() {
    if (activeLoop_) {
        static_cast<QEventLoop*>(activeLoop_)->quit();
    } else {
        wakeRequested_ = true;
    }
}

namespace {
SystemClock& systemClock() {
    static SystemClock instance;
    return instance;
}
Clock* g_clock = nullptr;
}  // namespace

Clock& clock() {
    return g_clock ? *g_clock : systemClock();
}

void setClock(Clock* c) {
    g_clock = c;
}

}  // namespace zendal
