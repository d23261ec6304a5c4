#pragma once

#include <QString>
#include <map>

#include "link/FtDriver.h"

namespace zendal {

// FTDI's own D2XX library, loaded at run time. Without the library the backend
// is simply absent (no devices, no error): most Linux users reach the pedal
// through the kernel's serial driver instead.
class D2xxLibraryDriver : public FtDriver {
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
    DeviceKind Kind(FT_HANDLE handle) override;
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) override;
    FT_STATUS GetLatencyTimer(FT_HANDLE handle, std::uint8_t* ms) override;

  private:
    void* native(FT_HANDLE handle) const;

    struct Api;
    void* library_ = nullptr;
    Api* api_ = nullptr;
    QString loadError_;
    // The library's handles are pointers; the port module keeps 32 bits.
    std::map<FT_HANDLE, void*> handles_;
    FT_HANDLE nextHandle_ = 1;
};

}  // namespace zendal
