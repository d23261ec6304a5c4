#pragma once

#include "link/PortDriver.h"

namespace zendal::test {

// Passes every call to another driver (usually the virtual pedal's). Test
// drivers that watch or disturb the line derive from it and override only the
// calls they change.
class ForwardingDriver : public PortDriver {
  public:
    explicit ForwardingDriver(PortDriver& inner) : inner_(inner) {}

    DeviceListing listDevices() override { return inner_.listDevices(); }
    Opened open(const QByteArray& serial) override { return inner_.open(serial); }
    PortStatus close(PortHandle h) override { return inner_.close(h); }
    Transferred read(PortHandle h, std::span<std::uint8_t> into) override {
        return inner_.read(h, into);
    }
    Transferred write(PortHandle h, std::span<const std::uint8_t> bytes) override {
        return inner_.write(h, bytes);
    }
    Transferred queued(PortHandle h) override { return inner_.queued(h); }
    PortStatus setBaudRate(PortHandle h, std::uint32_t baud) override {
        return inner_.setBaudRate(h, baud);
    }
    PortStatus setFraming(PortHandle h, Framing f) override { return inner_.setFraming(h, f); }
    PortStatus purge(PortHandle h, PurgeQueue q) override { return inner_.purge(h, q); }
    int readyFd(PortHandle h) override { return inner_.readyFd(h); }
    DeviceKind kind(PortHandle h) override { return inner_.kind(h); }
    PortStatus setLatencyTimer(PortHandle h, std::uint8_t ms) override {
        return inner_.setLatencyTimer(h, ms);
    }
    PortStatus latencyTimer(PortHandle h, std::uint8_t& ms) override {
        return inner_.latencyTimer(h, ms);
    }
    QString lastError() const override { return inner_.lastError(); }

  protected:
    PortDriver& inner_;
};

// Bytes as the drivers take them.
inline QByteArray bytesOf(std::span<const std::uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

}  // namespace zendal::test
