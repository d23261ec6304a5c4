#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>
#include <map>

#include "core/Clock.h"
#include "link/FtDriver.h"

namespace zendal::test {

// An FtDriver whose devices, statuses and incoming bytes a test writes down:
// a list of (serial, description), one open handle, a receive queue fed by
// timed chunks (visible once the clock reaches their time), every write kept,
// and a forced status per call name.
class ScriptedDriver : public FtDriver {
  public:
    struct Device {
        QByteArray serial;
        QByteArray description;
        QString path;
    };
    QVector<Device> devices;
    std::map<QString, FT_STATUS> fail;  // "ListDevices", "OpenEx", "Read", ...
    QByteArray written;
    QByteArray openedWith;  // the serial text OpenEx received
    std::uint32_t lastReadAsked = 0xFFFFFFFF;
    std::uint32_t queueOverride = 0;  // reported on top of the queue (to test caps)
    std::uint32_t baud = 0;
    std::uint8_t wordLength = 0, stopBits = 0, parity = 0xFF;
    QVector<std::uint32_t> purges;
    int readyFd = -1;
    DeviceKind kind = DeviceKind::Hardware;
    FT_HANDLE handleToGive = 0x1234;
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
    int ReadyFd(FT_HANDLE) override { return readyFd; }
    DeviceKind Kind(FT_HANDLE) override { return kind; }
    QString devicePath(std::uint32_t index) override;
    QString lastError() const override { return error; }

  private:
    FT_STATUS forced(const char* call) const;
    FT_STATUS checkHandle(FT_HANDLE handle, const char* call) const;
    void release();

    struct Chunk {
        qint64 atMs;
        QByteArray bytes;
    };
    QVector<Chunk> pending_;
    QByteArray queue_;
};

}  // namespace zendal::test
