#include "link/PortReadyWatcher.h"

#include "link/D2XXUnit.h"
#include "link/Timeouts.h"

namespace zendal {

PortReadyWatcher::PortReadyWatcher(QObject* parent) : QObject(parent) {
    connect(&timer_, &QTimer::timeout, this, &PortReadyWatcher::onActivity);
}

PortReadyWatcher::PortReadyWatcher(D2XXUnit& unit, QObject* parent) : PortReadyWatcher(parent) {
    unit_ = &unit;
}

PortReadyWatcher::~PortReadyWatcher() = default;

D2XXUnit& PortReadyWatcher::port() {
    return unit_ ? *unit_ : d2xx();
}

void PortReadyWatcher::start() {
    stop();
    active_ = true;
    const int fd = port().readyFd();
    if (fd >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &PortReadyWatcher::onActivity);
    } else {
        timer_.start(timeouts::kPollSliceMs);
    }
    // Bytes that came before the watch began would never wake it.
    QTimer::singleShot(0, this, [this] {
        if (active_) emit ready();
    });
}

void PortReadyWatcher::stop() {
    active_ = false;
    notifier_.reset();
    timer_.stop();
}

void PortReadyWatcher::onActivity() {
    if (!active_) return;
    if (notifier_) {
        // Readable with nothing queued means the line failed (hang-up): look
        // slowly from now on instead of waking at once again and again.
        D2XXUnit& unit = port();
        if (unit.driver().queued(unit.handle()).status != PortStatus::Ok) {
            notifier_.reset();
            timer_.start(kBrokenLineLookMs);
        }
    }
    emit ready();
}

}  // namespace zendal
