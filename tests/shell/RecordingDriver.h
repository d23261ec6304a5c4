#pragma once

#include <QByteArray>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "core/Clock.h"
#include "link/D2XXUnit.h"
#include "link/FtDriver.h"

namespace zendal::test {

// A pedal stand-in behind the port module: one in-process device that records
// every purge and write (with the virtual time it happened) and answers from a
// queue that a test or a reply rule fills.
class RecordingDriver : public FtDriver {
  public:
    struct Event {
        QString what;  // "purge TX", "purge RX" or "write"
        QByteArray bytes;
        qint64 atMs = 0;
    };

    RecordingDriver() {
        d2xx().setDriver(this);
        d2xx().Open_USB_Device_By_Serial_Number(QStringLiteral("ZT0001"));
    }
    ~RecordingDriver() override { d2xx().setDriver(nullptr); }

    // Called with every write; may append to `incoming`.
    std::function<void(const QByteArray&)> onWrite;
    QByteArray incoming;
    std::vector<Event> events;

    QList<QByteArray> writes() const {
        QList<QByteArray> w;
        for (const Event& e : events) {
            if (e.what == QLatin1String("write")) w << e.bytes;
        }
        return w;
    }

    FT_STATUS ListDevices(void* arg1, void*, std::uint32_t flags) override {
        if (flags & FT_LIST_NUMBER_ONLY) *static_cast<std::uint32_t*>(arg1) = 1;
        return FT_OK;
    }
    FT_STATUS OpenEx(const char*, std::uint32_t, FT_HANDLE* handle) override {
        *handle = 1;
        return FT_OK;
    }
    FT_STATUS Close(FT_HANDLE) override { return FT_OK; }
    FT_STATUS Read(FT_HANDLE, void* buffer, std::uint32_t toRead, std::uint32_t* got) override {
        const auto n = std::min<qsizetype>(toRead, incoming.size());
        std::memcpy(buffer, incoming.constData(), static_cast<std::size_t>(n));
        incoming.remove(0, n);
        *got = static_cast<std::uint32_t>(n);
        return FT_OK;
    }
    FT_STATUS Write(FT_HANDLE, const void* buffer, std::uint32_t n,
                    std::uint32_t* written) override {
        const QByteArray bytes(static_cast<const char*>(buffer), static_cast<qsizetype>(n));
        events.push_back({QStringLiteral("write"), bytes, clock().nowMs()});
        *written = n;
        if (onWrite) onWrite(bytes);
        return FT_OK;
    }
    FT_STATUS SetBaudRate(FT_HANDLE, std::uint32_t) override { return FT_OK; }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, std::uint8_t, std::uint8_t, std::uint8_t) override {
        return FT_OK;
    }
    FT_STATUS Purge(FT_HANDLE, std::uint32_t mask) override {
        events.push_back(
            {mask & FT_PURGE_TX ? QStringLiteral("purge TX") : QStringLiteral("purge RX"),
             {},
             clock().nowMs()});
        if (mask & FT_PURGE_RX) incoming.clear();
        return FT_OK;
    }
    FT_STATUS GetQueueStatus(FT_HANDLE, std::uint32_t* queued) override {
        *queued = static_cast<std::uint32_t>(incoming.size());
        return FT_OK;
    }
    DeviceKind Kind(FT_HANDLE) override { return DeviceKind::VirtualInProcess; }
};

}  // namespace zendal::test
