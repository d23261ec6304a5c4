#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <map>

#include "link/FtDriver.h"

namespace zendal {

// Several backends offered as one device list, in the order they were added.
// A serial number seen by two backends (the kernel driver and FTDI's library
// both see a plugged-in pedal) is listed once, by the first. Handles given out
// are the hub's own small numbers (never 0, never reused), each routed to the
// backend that opened the device. A backend can be switched off at run time;
// its open devices then read as unplugged until they are closed.
class DeviceHub : public FtDriver {
  public:
    struct Listed {
        QByteArray serial;
        QByteArray description;
        QString path;     // empty when the backend has no path
        QString backend;  // name given to addBackend
    };

    // The hub does not own the backends.
    void addBackend(FtDriver* backend, const QString& name);
    void setBackendEnabled(FtDriver* backend, bool enabled);
    bool backendEnabled(FtDriver* backend) const;

    // Lists every enabled backend now (as a count call does) and returns the
    // devices with their descriptions.
    QVector<Listed> devices();

    FT_STATUS ListDevices(void* arg1, void* arg2, std::uint32_t flags) override;
    FT_STATUS OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) override;
    FT_STATUS Close(FT_HANDLE handle) override;
    FT_STATUS Read(FT_HANDLE handle, void* buffer, std::uint32_t toRead,
                   std::uint32_t* bytesRead) override;
    FT_STATUS Write(FT_HANDLE handle, const void* buffer, std::uint32_t toWrite,
                    std::uint32_t* bytesWritten) override;
    FT_STATUS SetBaudRate(FT_HANDLE handle, std::uint32_t baud) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength,
                                     std::uint8_t stopBits, std::uint8_t parity) override;
    FT_STATUS Purge(FT_HANDLE handle, std::uint32_t mask) override;
    FT_STATUS GetQueueStatus(FT_HANDLE handle, std::uint32_t* queued) override;
    int ReadyFd(FT_HANDLE handle) override;
    DeviceKind Kind(FT_HANDLE handle) override;
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) override;
    FT_STATUS GetLatencyTimer(FT_HANDLE handle, std::uint8_t* ms) override;
    QString devicePath(std::uint32_t index) override;
    QString lastError() const override { return lastError_; }

    // The backend behind an open hub handle (nullptr when unknown or closed).
    FtDriver* backendOf(FT_HANDLE handle) const;

  private:
    struct Backend {
        FtDriver* driver;
        QString name;
        bool enabled;
    };
    struct Entry {
        FtDriver* driver;
        std::uint32_t index;  // in the backend's own listing
        QByteArray serial;
        QString backend;
    };
    struct Route {
        FtDriver* driver;
        FT_HANDLE handle;  // the backend's
        bool gone;         // its backend was switched off
    };

    void refresh();
    const Route* route(FT_HANDLE handle) const;
    Backend* backend(FtDriver* driver);

    QVector<Backend> backends_;
    QVector<Entry> listed_;  // snapshot of the last count
    bool listedValid_ = false;
    std::map<FT_HANDLE, Route> routes_;
    FT_HANDLE nextHandle_ = 1;
    QString lastError_;
};

}  // namespace zendal
