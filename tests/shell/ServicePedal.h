#pragma once

#include <QByteArray>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "core/Clock.h"
#include "link/D2XXUnit.h"
#include "support/StandInDevice.h"

namespace zendal::test {

// A pedal stand-in behind the port module: one in-process device that records
// every purge and write (with the virtual time it happened) and answers from a
// queue that a test or a reply rule fills.
class ServicePedal : public StandInDevice {
  public:
    struct Event {
        QString what;  // "purge TX", "purge RX" or "write"
        QByteArray bytes;
        qint64 atMs = 0;
    };

    ServicePedal() : StandInDevice("ZT0001") {
        d2xx().setDriver(this);
        d2xx().Open_USB_Device_By_Serial_Number(QStringLiteral("ZT0001"));
    }
    ~ServicePedal() override { d2xx().setDriver(nullptr); }

    // Called with every write; may append to `pending`.
    std::function<void(const QByteArray&)> onWrite;
    std::vector<Event> events;

    QList<QByteArray> writes() const {
        QList<QByteArray> w;
        for (const Event& e : events) {
            if (e.what == QLatin1String("write")) w << e.bytes;
        }
        return w;
    }

    Transferred write(PortHandle, std::span<const std::uint8_t> data) override {
        const QByteArray bytes(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
        events.push_back({QStringLiteral("write"), bytes, clock().nowMs()});
        if (onWrite) onWrite(bytes);
        return {PortStatus::Ok, data.size()};
    }
    PortStatus purge(PortHandle handle, PurgeQueue queues) override {
        events.push_back({queues == PurgeQueue::Transmit ? QStringLiteral("purge TX")
                                                         : QStringLiteral("purge RX"),
                          {},
                          clock().nowMs()});
        return StandInDevice::purge(handle, queues);
    }
};

}  // namespace zendal::test
