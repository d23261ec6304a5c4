#pragma once

#include <QByteArray>
#include <QString>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "link/FtTypes.h"

namespace zendal {

// What a driver call came to. The numbers are the D2XX library's, so that the
// port module can show them as the library would; a library status without a
// name here passes through as its number.
enum class PortStatus : std::uint32_t {
    Ok = FT_OK,
    InvalidHandle = FT_INVALID_HANDLE,
    DeviceNotFound = FT_DEVICE_NOT_FOUND,
    DeviceNotOpened = FT_DEVICE_NOT_OPENED,
    IoError = FT_IO_ERROR,
    InvalidParameter = FT_INVALID_PARAMETER,
    InvalidBaudRate = FT_INVALID_BAUD_RATE,
    NotSupported = FT_NOT_SUPPORTED,
    OtherError = FT_OTHER_ERROR,
    // The device went away under an open handle. The handle stays dead even
    // when the device is back: only closing it helps.
    Unplugged = 0x10000,
};

// The port module's status for it: an unplugged device reads as an I/O error.
constexpr FT_STATUS ftStatus(PortStatus s) {
    return s == PortStatus::Unplugged ? FT_IO_ERROR : static_cast<FT_STATUS>(s);
}

// An open device, as the driver that opened it numbers it (0: none).
struct PortHandle {
    std::uint32_t id = 0;
    explicit operator bool() const { return id != 0; }
    friend auto operator<=>(PortHandle, PortHandle) = default;
};

struct Opened {
    PortStatus status = PortStatus::Ok;
    PortHandle handle;
};

// Bytes moved by a read or write, or waiting in the receive queue.
struct Transferred {
    PortStatus status = PortStatus::Ok;
    std::size_t count = 0;
};

// Word length, stop bits and parity, in the library's codes (8, 0 = one stop
// bit, 0 = none / 1 = odd / 2 = even / 3 = mark / 4 = space).
struct Framing {
    std::uint8_t wordLength = FT_BITS_8;
    std::uint8_t stopBits = FT_STOP_BITS_1;
    std::uint8_t parity = FT_PARITY_NONE;
};

enum class PurgeQueue : std::uint8_t { Receive = 1, Transmit = 2, Both = 3 };

struct DeviceEntry {
    QByteArray serial;       // what open() takes
    QByteArray description;  // the USB product string, or what the backend calls it
    QString path;            // device node; empty when the backend has none
    DeviceKind kind = DeviceKind::Hardware;
    bool openable = true;
    QString whyNot;   // when not openable: the cause and the remedy
    QString backend;  // set by the hub: which backend lists it
};

struct DeviceListing {
    PortStatus status = PortStatus::Ok;
    std::vector<DeviceEntry> devices;
};

// A way to reach serial devices: list, open by serial number, move bytes,
// set the line. Backends: the kernel's serial ports (termios), FTDI's D2XX
// library loaded at run time, the virtual pedal, and the hub that offers them
// all as one list. Reads never wait. A call on a handle whose device went
// away reports Unplugged.
class PortDriver {
  public:
    virtual ~PortDriver() = default;

    virtual DeviceListing listDevices() = 0;
    virtual Opened open(const QByteArray& serial) = 0;
    virtual PortStatus close(PortHandle handle) = 0;
    virtual Transferred read(PortHandle handle, std::span<std::uint8_t> into) = 0;
    virtual Transferred write(PortHandle handle, std::span<const std::uint8_t> bytes) = 0;
    virtual Transferred queued(PortHandle handle) = 0;
    virtual PortStatus setBaudRate(PortHandle handle, std::uint32_t baud) = 0;
    virtual PortStatus setFraming(PortHandle handle, Framing framing) = 0;
    virtual PortStatus purge(PortHandle handle, PurgeQueue queues) = 0;

    // A descriptor that polls readable while bytes wait, so waits can sleep
    // instead of polling; -1 when the backend has none.
    virtual int readyFd(PortHandle /*handle*/) { return -1; }
    // Where the device is (for the demonstration-data interlock).
    virtual DeviceKind kind(PortHandle /*handle*/) { return DeviceKind::Hardware; }
    // USB latency timer in ms (FT_SetLatencyTimer / ASYNC_LOW_LATENCY).
    virtual PortStatus setLatencyTimer(PortHandle /*handle*/, std::uint8_t /*ms*/) {
        return PortStatus::NotSupported;
    }
    virtual PortStatus latencyTimer(PortHandle /*handle*/, std::uint8_t& /*ms*/) {
        return PortStatus::NotSupported;
    }
    // A sentence for the user about the last failure (cause and remedy, e.g. a
    // permission problem); empty when the status says it all.
    virtual QString lastError() const { return {}; }
};

// A driver that has no devices (used until a real one is installed).
class NullPortDriver : public PortDriver {
  public:
    DeviceListing listDevices() override { return {}; }
    Opened open(const QByteArray&) override { return {PortStatus::DeviceNotFound, {}}; }
    PortStatus close(PortHandle) override { return PortStatus::InvalidHandle; }
    Transferred read(PortHandle, std::span<std::uint8_t>) override {
        return {PortStatus::InvalidHandle, 0};
    }
    Transferred write(PortHandle, std::span<const std::uint8_t>) override {
        return {PortStatus::InvalidHandle, 0};
    }
    Transferred queued(PortHandle) override { return {PortStatus::InvalidHandle, 0}; }
    PortStatus setBaudRate(PortHandle, std::uint32_t) override { return PortStatus::InvalidHandle; }
    PortStatus setFraming(PortHandle, Framing) override { return PortStatus::InvalidHandle; }
    PortStatus purge(PortHandle, PurgeQueue) override { return PortStatus::InvalidHandle; }
};

}  // namespace zendal
