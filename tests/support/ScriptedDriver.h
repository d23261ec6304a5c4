#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <deque>
#include <functional>
#include <map>

#include "core/Clock.h"
#include "link/PortDriver.h"

namespace zendal::test {

// A driver whose devices, statuses and incoming bytes a test writes down: a
// list of devices, one open handle, a receive queue fed by timed chunks
// (visible once the clock reaches their time) and by a table of expected
// requests with their replies, every write kept, and a forced status per call.
class ScriptedDriver : public PortDriver {
  public:
    // The calls a test can make fail with a status of its choice.
    enum class Call { List, Open, Close, Read, Write, Queued, BaudRate, Framing, Purge };

    // What becomes of a scripted request.
    enum class Failure {
        None,     // the reply arrives, piece by piece
        Timeout,  // nothing arrives
        Unplug,   // the cable is pulled once the request is out
        Garbled,  // the reply arrives with its bytes spoiled
    };

    struct Device {
        QByteArray serial;
        QByteArray description;
        QString path;
    };
    QVector<Device> devices;
    std::map<Call, FT_STATUS> fail;
    QByteArray written;
    QByteArray openedWith;  // the serial text open() received
    std::size_t lastReadAsked = std::size_t(-1);
    std::size_t queueOverride = 0;  // reported on top of the queue (to test caps)
    std::uint32_t baud = 0;
    std::uint8_t wordLength = 0, stopBits = 0, parity = 0xFF;
    QVector<PurgeQueue> purges;
    int readyDescriptor = -1;
    DeviceKind deviceKind = DeviceKind::Hardware;
    PortHandle handleToGive{0x1234};
    bool isOpen = false;
    QString error;  // lastError()
    // Called on every write with the bytes (a pedal that answers).
    std::function<void(const QByteArray&)> onWrite;
    // Called on every read before it takes bytes.
    std::function<void()> onRead;

    // Bytes that become readable once clock().nowMs() >= atMs.
    void arriveAt(qint64 atMs, const QByteArray& bytes) { pending_.append({atMs, bytes}); }
    void arriveNow(const QByteArray& bytes) { arriveAt(clock().nowMs(), bytes); }
    QByteArray queued() {
        release();
        return queue_;
    }

    // A write of exactly `request` is answered with `pieces`, each readable
    // once the one before it was read; or fails as `failure` says. Expected
    // requests are answered in the order they were given.
    void expect(const QByteArray& request, const QList<QByteArray>& pieces,
                Failure failure = Failure::None);
    // Writes that no expected request matched, in order.
    QList<QByteArray> unexpected;
    bool allAnswered() const { return script_.empty(); }
    // Bytes that mean nothing to anyone (what Garbled answers with).
    static QByteArray garbage(qsizetype n);

    // The cable: unplugged, the device is not listed, and the open handle
    // fails with Unplugged until it is closed, also after a replug.
    void unplug();
    void replug();

    DeviceListing listDevices() override;
    Opened open(const QByteArray& serial) override;
    PortStatus close(PortHandle handle) override;
    Transferred read(PortHandle handle, std::span<std::uint8_t> into) override;
    Transferred write(PortHandle handle, std::span<const std::uint8_t> bytes) override;
    Transferred queued(PortHandle handle) override;
    PortStatus setBaudRate(PortHandle handle, std::uint32_t baud) override;
    PortStatus setFraming(PortHandle handle, Framing framing) override;
    PortStatus purge(PortHandle handle, PurgeQueue queues) override;
    int readyFd(PortHandle) override { return readyDescriptor; }
    DeviceKind kind(PortHandle) override { return deviceKind; }
    QString lastError() const override { return error; }

  private:
    PortStatus forced(Call call) const;
    PortStatus checkHandle(PortHandle handle, Call call) const;
    void release();

    struct Chunk {
        qint64 atMs;
        QByteArray bytes;
    };
    struct Step {
        QByteArray request;
        QList<QByteArray> pieces;
        Failure failure;
    };
    QVector<Chunk> pending_;
    QByteArray queue_;
    std::deque<Step> script_;
    std::deque<QByteArray> pieces_;  // of the reply being read
    bool plugged_ = true;
    bool handleDead_ = false;
};

}  // namespace zendal::test
