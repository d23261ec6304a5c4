#pragma once

#include <QString>

#include "link/FtTypes.h"

namespace zendal {

// A backend with the semantics of FTDI's D2XX library: the nine calls the port
// module uses, each returning an FT status. Backends: the kernel serial port
// (termios), FTDI's D2XX library loaded at run time, the virtual pedal, and the
// hub that offers them all as one device list.
class FtDriver {
  public:
    virtual ~FtDriver() = default;

    // FT_ListDevices. With FT_LIST_NUMBER_ONLY, arg1 points to a uint32 count.
    // With FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER (or _DESCRIPTION), arg1 is
    // the index (cast to a pointer) and arg2 a 64-byte buffer that receives
    // NUL-terminated text.
    virtual FT_STATUS ListDevices(void* arg1, void* arg2, std::uint32_t flags) = 0;
    // FT_OpenEx with FT_OPEN_BY_SERIAL_NUMBER: arg is a NUL-terminated serial.
    virtual FT_STATUS OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) = 0;
    virtual FT_STATUS Close(FT_HANDLE handle) = 0;
    virtual FT_STATUS Read(FT_HANDLE handle, void* buffer, std::uint32_t toRead,
                           std::uint32_t* bytesRead) = 0;
    virtual FT_STATUS Write(FT_HANDLE handle, const void* buffer, std::uint32_t toWrite,
                            std::uint32_t* bytesWritten) = 0;
    virtual FT_STATUS SetBaudRate(FT_HANDLE handle, std::uint32_t baud) = 0;
    virtual FT_STATUS SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength,
                                             std::uint8_t stopBits, std::uint8_t parity) = 0;
    virtual FT_STATUS Purge(FT_HANDLE handle, std::uint32_t mask) = 0;
    virtual FT_STATUS GetQueueStatus(FT_HANDLE handle, std::uint32_t* queued) = 0;

    // Beyond D2XX.

    // A descriptor that polls readable while bytes wait, so waits can sleep
    // instead of polling; -1 when the backend has none.
    virtual int ReadyFd(FT_HANDLE /*handle*/) { return -1; }
    // Where the device is (for the demonstration-data interlock).
    virtual DeviceKind Kind(FT_HANDLE /*handle*/) { return DeviceKind::Hardware; }
    // USB latency timer in ms (FT_SetLatencyTimer / ASYNC_LOW_LATENCY).
    virtual FT_STATUS SetLatencyTimer(FT_HANDLE /*handle*/, std::uint8_t /*ms*/) {
        return FT_NOT_SUPPORTED;
    }
    virtual FT_STATUS GetLatencyTimer(FT_HANDLE /*handle*/, std::uint8_t* /*ms*/) {
        return FT_NOT_SUPPORTED;
    }
    // Where the device listed at index (by the last count) lives, e.g.
    // "/dev/ttyUSB0"; empty when the backend has no such notion.
    virtual QString devicePath(std::uint32_t /*index*/) { return {}; }
    // A sentence for the user about the last failure (cause and remedy, e.g. a
    // permission problem); empty when the status says it all.
    virtual QString lastError() const { return {}; }
};

// A driver that has no devices (used until a real one is installed).
class NullFtDriver : public FtDriver {
  public:
    FT_STATUS ListDevices(void* arg1, void* arg2, std::uint32_t flags) override;
    FT_STATUS OpenEx(const char*, std::uint32_t, FT_HANDLE*) override {
        return FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS Close(FT_HANDLE) override { return FT_INVALID_HANDLE; }
    FT_STATUS Read(FT_HANDLE, void*, std::uint32_t, std::uint32_t*) override {
        return FT_INVALID_HANDLE;
    }
    FT_STATUS Write(FT_HANDLE, const void*, std::uint32_t, std::uint32_t*) override {
        return FT_INVALID_HANDLE;
    }
    FT_STATUS SetBaudRate(FT_HANDLE, std::uint32_t) override { return FT_INVALID_HANDLE; }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, std::uint8_t, std::uint8_t, std::uint8_t) override {
        return FT_INVALID_HANDLE;
    }
    FT_STATUS Purge(FT_HANDLE, std::uint32_t) override { return FT_INVALID_HANDLE; }
    FT_STATUS GetQueueStatus(FT_HANDLE, std::uint32_t*) override { return FT_INVALID_HANDLE; }
};

}  // namespace zendal
