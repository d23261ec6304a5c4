#pragma once

#include <QString>
#include <map>

#include "link/PortDriver.h"

namespace zendal {

// FTDI's own D2XX library, loaded at run time. Without the library the backend
// is simply absent (no devices, no error): most Linux users reach the pedal
// through the kernel's serial driver instead. The only place that knows the
// library's C calls, its pointer handles and its buffers.
class D2xxLibraryDriver : public PortDriver {
  public:
    // Loads `path`; an empty path means libraryPathFromEnvironment().
    explicit D2xxLibraryDriver(const QString& path = {});
    ~D2xxLibraryDriver() override;
    D2xxLibraryDriver(const D2xxLibraryDriver&) = delete;
    D2xxLibraryDriver& operator=(const D2xxLibraryDriver&) = delete;

    // ZENDAL_FTD2XX_LIBRARY when set ("" switches the library off), else
    // "libftd2xx.so" from the usual library search path.
    static QString libraryPathFromEnvironment();

    // True when the library loaded and has the nine calls.
    bool available() const { return library_ != nullptr; }
    // Why it is not available (dlopen/dlsym message), for the log.
    QString loadError() const { return loadError_; }

    DeviceListing listDevices() override;
    Opened open(const QByteArray& serial) override;
    PortStatus close(PortHandle handle) override;
    Transferred read(PortHandle handle, std::span<std::uint8_t> into) override;
    Transferred write(PortHandle handle, std::span<const std::uint8_t> bytes) override;
    Transferred queued(PortHandle handle) override;
    PortStatus setBaudRate(PortHandle handle, std::uint32_t baud) override;
    PortStatus setFraming(PortHandle handle, Framing framing) override;
    PortStatus purge(PortHandle handle, PurgeQueue queues) override;
    DeviceKind kind(PortHandle handle) override;
    PortStatus setLatencyTimer(PortHandle handle, std::uint8_t ms) override;
    PortStatus latencyTimer(PortHandle handle, std::uint8_t& ms) override;

  private:
    struct Api;
    struct Native;
    Native* native(PortHandle handle) const;
    // One listing call by index (serial number or description).
    bool listed(std::uint32_t index, std::uint32_t what, QByteArray* text);

    void* library_ = nullptr;
    Api* api_ = nullptr;
    QString loadError_;
    // The library's handles are pointers; ours are small numbers.
    std::map<PortHandle, Native*> handles_;
    std::uint32_t nextHandle_ = 1;
};

}  // namespace zendal
