#include "link/DeviceListWatcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>

namespace zendal {

DeviceListWatcher::DeviceListWatcher(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &DeviceListWatcher::changed);
}

DeviceListWatcher::~DeviceListWatcher() {
    stop();
}

QStringList DeviceListWatcher::kernelFolders() {
    return {QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id")};
}

bool DeviceListWatcher::watch(const QStringList& folders) {
    stop();
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return false;
    for (const QString& folder : folders) {
        if (!QFileInfo(folder).isDir()) continue;
        // IN_ATTRIB: udev makes the node usable by setting its permissions
        // just after it appears.
        constexpr std::uint32_t kEvents =
            IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO;
        if (::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), kEvents) >= 0)
            folders_.append(folder);
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &DeviceListWatcher::onReadable);
    return true;
}

void DeviceListWatcher::stop() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    folders_.clear();
    settle_.stop();
}

void DeviceListWatcher::poke() {
    settle_.start();
}

void DeviceListWatcher::onReadable() {
    // Which node it was does not matter: the listing looks afresh.
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    settle_.start();
}

}  // namespace zendal
