#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <map>

#include "link/DeviceListWatcher.h"
#include "link/PortDriver.h"

namespace zendal {

// Several backends offered as one device list, in the order they were added.
// A serial number seen by two backends (the kernel driver and FTDI's library
// both see a plugged-in pedal) is listed once, by the first. Handles given out
// are the hub's own small numbers (never 0, never reused), each routed to the
// backend that opened the device. A backend can be switched off at run time;
// its open devices then read as unplugged until they are closed.
// devicesChanged() says that the list may have changed: a device node came or
// went (once watchKernelDevices() runs), a backend told the hub so, or a
// backend was switched on or off.
class DeviceHub : public QObject, public PortDriver {
    Q_OBJECT
  public:
    explicit DeviceHub(QObject* parent = nullptr);
    ~DeviceHub() override;

    // The hub does not own the backends.
    void addBackend(PortDriver* backend, const QString& name);
    void setBackendEnabled(PortDriver* backend, bool enabled);
    bool backendEnabled(PortDriver* backend) const;

    // Starts watching these folders for device nodes coming and going.
    bool watchKernelDevices(const QStringList& folders = DeviceListWatcher::kernelFolders());
    const DeviceListWatcher& watcher() const { return watcher_; }
    // A backend saw its devices change (the virtual pedal plugged in or out).
    void notifyDevicesChanged() { watcher_.poke(); }

    DeviceListing listDevices() override;
    Opened open(const QByteArray& serial) override;
    PortStatus close(PortHandle handle) override;
    Transferred read(PortHandle handle, std::span<std::uint8_t> into) override;
    Transferred write(PortHandle handle, std::span<const std::uint8_t> bytes) override;
    Transferred queued(PortHandle handle) override;
    PortStatus setBaudRate(PortHandle handle, std::uint32_t baud) override;
    PortStatus setFraming(PortHandle handle, Framing framing) override;
    PortStatus purge(PortHandle handle, PurgeQueue queues) override;
    int readyFd(PortHandle handle) override;
    DeviceKind kind(PortHandle handle) override;
    PortStatus setLatencyTimer(PortHandle handle, std::uint8_t ms) override;
    PortStatus latencyTimer(PortHandle handle, std::uint8_t& ms) override;
    QString lastError() const override { return lastError_; }

    // The backend behind an open hub handle (nullptr when unknown or closed).
    PortDriver* backendOf(PortHandle handle) const;

  signals:
    void devicesChanged();

  private:
    struct Backend {
        PortDriver* driver;
        QString name;
        bool enabled;
    };
    struct Listed {
        PortDriver* driver;
        DeviceEntry entry;
    };
    struct Route {
        PortDriver* driver;
        PortHandle handle;  // the backend's
        bool gone;          // its backend was switched off
    };

    QVector<Listed> list();
    const Route* route(PortHandle handle) const;
    Backend* backend(PortDriver* driver);

    QVector<Backend> backends_;
    std::map<PortHandle, Route> routes_;
    std::uint32_t nextHandle_ = 1;
    QString lastError_;
    DeviceListWatcher watcher_;
};

}  // namespace zendal
