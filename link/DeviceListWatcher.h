#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

class QSocketNotifier;

namespace zendal {

// Tells when device nodes come and go, without looking at anything while
// nothing changes: inotify on the folders where the kernel (and udev) make the
// nodes, read through a socket notifier. A burst of events (the node appears,
// udev adds its links, then sets its permissions) is told once, a moment after
// it ends. Backends that know of a change themselves (the virtual pedal) poke
// it instead.
class DeviceListWatcher : public QObject {
    Q_OBJECT
  public:
    explicit DeviceListWatcher(QObject* parent = nullptr);
    ~DeviceListWatcher() override;

    // Watches these folders (those that exist); replaces an earlier watch.
    // False when the system refused (no inotify).
    bool watch(const QStringList& folders);
    void stop();
    bool isWatching() const { return fd_ >= 0; }
    QStringList folders() const { return folders_; }

    // /dev (serial ports appear there) and /dev/serial/by-id.
    static QStringList kernelFolders();

    // Something changed that no folder shows: tell it like a folder change.
    void poke();

    static constexpr int kSettleMs = 250;

  signals:
    void changed();

  private:
    void onReadable();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QStringList folders_;
    QTimer settle_;
};

}  // namespace zendal
