#pragma once

#include <QByteArray>
#include <functional>

#include "link/PortDriver.h"
#include "sim/VirtualPedal.h"

namespace zendal {

// The virtual pedal as a port driver: one device.
// - Closed or unknown handle: InvalidHandle. Opening an open device:
//   DeviceNotOpened. Unknown serial: DeviceNotFound.
// - Unplugged: the device is not listed and cannot be opened
//   (DeviceNotFound); every call on a handle opened before the unplug fails
//   with Unplugged, also after a replug, until it is closed (as with a real
//   cable pulled and pushed back in). The plug handler hears of every unplug
//   and replug.
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
class VirtualPedalDriver : public PortDriver {
  public:
    explicit VirtualPedalDriver(VirtualPedal& pedal, QByteArray serial = "ZVP00001",
                                QByteArray description = "FT230X Basic UART");
    ~VirtualPedalDriver() override;
    VirtualPedalDriver(const VirtualPedalDriver&) = delete;
    VirtualPedalDriver& operator=(const VirtualPedalDriver&) = delete;

    DeviceListing listDevices() override;
    Opened open(const QByteArray& serial) override;
    PortStatus close(PortHandle handle) override;
    Transferred read(PortHandle handle, std::span<std::uint8_t> into) override;
    Transferred write(PortHandle handle, std::span<const std::uint8_t> bytes) override;
    Transferred queued(PortHandle handle) override;
    PortStatus setBaudRate(PortHandle handle, std::uint32_t baud) override;
    PortStatus setFraming(PortHandle handle, Framing framing) override;
    PortStatus purge(PortHandle handle, PurgeQueue queues) override;
    int readyFd(PortHandle handle) override;
    DeviceKind kind(PortHandle handle) override;
    PortStatus setLatencyTimer(PortHandle handle, std::uint8_t ms) override;
    PortStatus latencyTimer(PortHandle handle, std::uint8_t& ms) override;

    // Called after the pedal was unplugged or plugged back in.
    void setPlugHandler(std::function<void()> handler) { plugHandler_ = std::move(handler); }
    // The time source of the pedal's timing, in microseconds (default: the
    // editor's clock(), so a test's fake clock drives the pedal too).
    void setNowUs(std::function<qint64()> nowUs) { nowUs_ = std::move(nowUs); }
    void setReadyTimer(bool on) { readyTimer_ = on; }
    VirtualPedal& pedal() { return pedal_; }
    bool isOpen() const { return bool(handle_); }

  private:
    // Ok for the open handle of a plugged device, else the failure status.
    PortStatus check(PortHandle handle) const;
    void onPedal();
    void refreshReady();
    void armTimer();
    qint64 now() const;

    VirtualPedal& pedal_;
    QByteArray serial_;
    QByteArray description_;
    std::function<qint64()> nowUs_;
    PortHandle handle_;
    std::uint32_t nextHandle_ = 0x5A000001;
    std::function<void()> plugHandler_;
    bool wasPlugged_ = true;
    int seenGeneration_ = 0;
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
