#pragma once

#include <QByteArray>
#include <functional>

#include "link/FtDriver.h"
#include "sim/VirtualPedal.h"

namespace zendal {

// The virtual pedal as a D2XX-style backend: one device, statuses as the
// library gives them.
// - Closed or unknown handle: FT_INVALID_HANDLE. Opening an open device:
//   FT_DEVICE_NOT_OPENED. Unknown serial/description: FT_DEVICE_NOT_FOUND.
// - Unplugged: the device is not listed and cannot be opened
//   (FT_DEVICE_NOT_FOUND); every call on a handle opened before the unplug
//   fails with FT_IO_ERROR, also after a replug, until it is closed (as with a
//   real cable pulled and pushed back in).
// - Reads never wait: they return what the USB transfers delivered so far
//   (read time-out 0). With the pedal's realistic timing that is a reply in
//   pieces of up to 62 bytes, on the latency timer (SetLatencyTimer, 16 ms
//   after every open).
// - The line settings go to the pedal, which garbles what either side sends
//   at a setting the other does not expect. A transmit purge drops the bytes
//   written that have not reached the pedal yet.
// - ReadyFd: polls readable while bytes are visible, and while the device is
//   unplugged, so that waits wake to see the failure. With Timing::Instant an
//   eventfd. With realistic timing -1 (the caller polls), unless
//   setReadyTimer(true): then a timer armed for the pedal's next event (a
//   packet due, a byte arriving), so nothing wakes at rest. The timer runs on
//   the system's clock: only for a driver whose time source is real (a fake
//   clock would see a wait for it as a wait for its whole limit).
// The pedal must outlive the driver.
class VirtualPedalDriver : public FtDriver {
  public:
    explicit VirtualPedalDriver(VirtualPedal& pedal, QByteArray serial = "ZVP00001",
                                QByteArray description = "FT230X Basic UART");
    ~VirtualPedalDriver() override;
    VirtualPedalDriver(const VirtualPedalDriver&) = delete;
    VirtualPedalDriver& operator=(const VirtualPedalDriver&) = delete;

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
    int ReadyFd(FT_HANDLE handle) override;
    DeviceKind Kind(FT_HANDLE handle) override;
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) override;
    FT_STATUS GetLatencyTimer(FT_HANDLE handle, std::uint8_t* ms) override;

    // The time source of the pedal's timing, in microseconds (default: the
    // editor's clock(), so a test's fake clock drives the pedal too).
    void setNowUs(std::function<qint64()> nowUs) { nowUs_ = std::move(nowUs); }
    void setReadyTimer(bool on) { readyTimer_ = on; }
    VirtualPedal& pedal() { return pedal_; }
    bool isOpen() const { return handle_ != 0; }

  private:
    // FT_OK for the open handle of a plugged device, else the failure status.
    FT_STATUS check(FT_HANDLE handle) const;
    void refreshReady();
    void armTimer();
    qint64 now() const;

    VirtualPedal& pedal_;
    QByteArray serial_;
    QByteArray description_;
    std::function<qint64()> nowUs_;
    FT_HANDLE handle_ = 0;
    FT_HANDLE nextHandle_ = 0x5A000001;
    int openGeneration_ = 0;
    std::uint8_t latencyMs_ = 16;
    std::uint32_t baud_ = 115200;
    LineParity parity_ = LineParity::None;
    bool eightBits_ = true;
    int eventFd_ = -1;
    int timerFd_ = -1;
    bool readyTimer_ = false;
    bool readyRaised_ = false;
    int listener_ = 0;
};

}  // namespace zendal
