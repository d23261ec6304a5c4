#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <utility>

#include "link/PortDriver.h"

namespace zendal::test {

// One in-process device with nothing behind it: it lists and opens, accepts
// every setting, and gives the editor the bytes a test puts in `pending`.
// Test drivers derive from it and decide what a write does.
class StandInDevice : public PortDriver {
  public:
    static constexpr PortHandle kHandle{1};

    explicit StandInDevice(QByteArray serial) : serial_(std::move(serial)) {}

    QByteArray pending;  // bytes waiting to be read
    const QByteArray& serial() const { return serial_; }

    DeviceListing listDevices() override {
        DeviceListing listing;
        DeviceEntry entry;
        entry.serial = serial_;
        entry.description = serial_;
        entry.kind = DeviceKind::VirtualInProcess;
        listing.devices.push_back(entry);
        return listing;
    }
    Opened open(const QByteArray&) override { return {PortStatus::Ok, kHandle}; }
    PortStatus close(PortHandle) override { return PortStatus::Ok; }
    Transferred read(PortHandle, std::span<std::uint8_t> into) override {
        const auto n = std::min<std::size_t>(into.size(), std::size_t(pending.size()));
        std::memcpy(into.data(), pending.constData(), n);
        pending.remove(0, qsizetype(n));
        return {PortStatus::Ok, n};
    }
    Transferred write(PortHandle, std::span<const std::uint8_t> bytes) override {
        return {PortStatus::Ok, bytes.size()};
    }
    Transferred queued(PortHandle) override {
        return {PortStatus::Ok, std::size_t(pending.size())};
    }
    PortStatus setBaudRate(PortHandle, std::uint32_t) override { return PortStatus::Ok; }
    PortStatus setFraming(PortHandle, Framing) override { return PortStatus::Ok; }
    PortStatus purge(PortHandle, PurgeQueue queues) override {
        if (queues != PurgeQueue::Transmit) pending.clear();
        return PortStatus::Ok;
    }
    DeviceKind kind(PortHandle) override { return DeviceKind::VirtualInProcess; }

  private:
    QByteArray serial_;
};

}  // namespace zendal::test
