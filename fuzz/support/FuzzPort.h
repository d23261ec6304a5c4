#pragma once

#include <QByteArray>
#include <QVector>
#include <cstddef>
#include <cstdint>

#include "core/Clock.h"
#include "link/PortDriver.h"
#include "protocol/PedalConnection.h"

// What the fuzz targets that talk to a port share: a clock whose waits cost no
// real time, a device that answers with bytes taken from the fuzz input, and a
// reader that cuts the input into pieces.
namespace zendal::fuzz {

// Pauses and waits advance virtual time at once, so a time limit of seconds
// runs out in microseconds and a run never sleeps.
class VirtualClock : public Clock {
  public:
    qint64 nowMs() const override { return now_; }
    void pause(int ms) override { now_ += ms > 0 ? ms : 0; }
    void waitForActivity(int maxMs, int) override { now_ += maxMs > 0 ? maxMs : 1; }
    void wake() override {}

  private:
    qint64 now_ = 1000000;
};

// Takes bytes from the front of the fuzz input; past its end everything is 0
// or empty.
class InputReader {
  public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    QByteArray bytes(std::size_t n);
    QByteArray rest() { return bytes(size_ - pos_); }
    bool empty() const { return pos_ >= size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// An in-process device whose answers come from the fuzz input. Every write the
// editor makes releases the next answer into the receive queue, as a device
// answers a command; a purge of the receive side drops what is queued. An
// answer is one length byte and that many bytes; the length byte 0xFF makes
// the next queue-status query fail instead (the device unplugged, Unlink),
// and 0xFE answers nothing. Reads take at most `readSlice` bytes at a time
// when it is set, so replies also arrive in parts.
class ScriptedDriver : public PortDriver {
  public:
    static constexpr PortHandle kHandle{7};

    // Answers for the coming writes; the first one is queued at once when
    // `queueFirst` is set (bytes the device sent on its own).
    void script(const QByteArray& answers, bool queueFirst);
    void setReadSlice(std::size_t slice) { readSlice_ = slice; }
    // Bytes that are waiting now, whatever was written.
    void queueNow(const QByteArray& bytes) { queue_.append(bytes); }
    const QByteArray& written() const { return written_; }

    DeviceListing listDevices() override;
    Opened open(const QByteArray&) override { return {PortStatus::Ok, kHandle}; }
    PortStatus close(PortHandle) override { return PortStatus::Ok; }
    Transferred read(PortHandle, std::span<std::uint8_t> into) override;
    Transferred write(PortHandle, std::span<const std::uint8_t> bytes) override;
    Transferred queued(PortHandle) override;
    PortStatus setBaudRate(PortHandle, std::uint32_t) override { return PortStatus::Ok; }
    PortStatus setFraming(PortHandle, Framing) override { return PortStatus::Ok; }
    PortStatus purge(PortHandle, PurgeQueue queues) override;
    DeviceKind kind(PortHandle) override { return DeviceKind::VirtualInProcess; }

  private:
    void releaseNext();

    QByteArray answers_;
    int answerPos_ = 0;
    QByteArray queue_;
    QByteArray written_;
    bool failNextStatus_ = false;
    std::size_t readSlice_ = 0;
};

// Installs the virtual clock and the scripted driver once per process, opens
// the device, and gives the driver back for this run.
// The fuzzers' one pedal connection; d2xx() reaches its port.
PedalConnection& scriptedConnection();
ScriptedDriver& openScriptedPort();

}  // namespace zendal::fuzz
