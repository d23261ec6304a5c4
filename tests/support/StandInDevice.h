#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <utility>

#include "link/FtDriver.h"

namespace zendal::test {

// One in-process device with nothing behind it: it lists and opens, accepts
// every setting, and gives the editor the bytes a test puts in `pending`.
// Test drivers derive from it and decide what a write does.
class StandInDevice : public FtDriver {
  public:
    static constexpr FT_HANDLE kHandle = 1;

    explicit StandInDevice(QByteArray serial) : serial_(std::move(serial)) {}

    QByteArray pending;  // bytes waiting to be read
    const QByteArray& serial() const { return serial_; }

    FT_STATUS ListDevices(void* arg1, void* arg2, std::uint32_t flags) override {
        if (flags & FT_LIST_NUMBER_ONLY) {
            *static_cast<std::uint32_t*>(arg1) = 1;
        } else {
            std::strncpy(static_cast<char*>(arg2), serial_.constData(), 63);
        }
        return FT_OK;
    }
    FT_STATUS OpenEx(const char*, std::uint32_t, FT_HANDLE* handle) override {
        *handle = kHandle;
        return FT_OK;
    }
    FT_STATUS Close(FT_HANDLE) override { return FT_OK; }
    FT_STATUS Read(FT_HANDLE, void* buffer, std::uint32_t toRead, std::uint32_t* got) override {
        const auto n = std::min<qsizetype>(toRead, pending.size());
        std::memcpy(buffer, pending.constData(), static_cast<std::size_t>(n));
        pending.remove(0, n);
        *got = static_cast<std::uint32_t>(n);
        return FT_OK;
    }
    FT_STATUS SetBaudRate(FT_HANDLE, std::uint32_t) override { return FT_OK; }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, std::uint8_t, std::uint8_t, std::uint8_t) override {
        return FT_OK;
    }
    FT_STATUS Purge(FT_HANDLE, std::uint32_t mask) override {
        if (mask & FT_PURGE_RX) pending.clear();
        return FT_OK;
    }
    FT_STATUS GetQueueStatus(FT_HANDLE, std::uint32_t* queued) override {
        *queued = static_cast<std::uint32_t>(pending.size());
        return FT_OK;
    }
    DeviceKind Kind(FT_HANDLE) override { return DeviceKind::VirtualInProcess; }

  private:
    QByteArray serial_;
};

}  // namespace zendal::test
