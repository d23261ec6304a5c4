#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

#include "link/FtDriver.h"
#include "protocol/PedalConnection.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"
#include "support/FakeClock.h"
#include "support/ForwardingDriver.h"
#include "support/TempHome.h"

namespace zendal::test {

// Passes every call to the virtual pedal's driver and keeps what the editor
// wrote, one entry per write call. A test can act just before a chosen write
// (corrupt the flash, close a window), pose as another kind of device, or as a
// backend without a latency timer.
class RecordingDriver : public ForwardingDriver {
  public:
    explicit RecordingDriver(FtDriver& inner) : ForwardingDriver(inner) {}

    FT_STATUS Write(FT_HANDLE h, const void* b, std::uint32_t n, std::uint32_t* done) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, std::uint8_t w, std::uint8_t s,
                                     std::uint8_t p) override {
        parities.append(p);
        return inner_.SetDataCharacteristics(h, w, s, p);
    }
    DeviceKind Kind(FT_HANDLE h) override { return kind ? *kind : inner_.Kind(h); }
    FT_STATUS SetLatencyTimer(FT_HANDLE h, std::uint8_t ms) override;
    FT_STATUS GetLatencyTimer(FT_HANDLE h, std::uint8_t* ms) override {
        if (!latencySupported) return FT_NOT_SUPPORTED;
        return inner_.GetLatencyTimer(h, ms);
    }

    QList<QByteArray> writes;           // one entry per Write call
    QList<std::uint8_t> parities;       // every SetDataCharacteristics parity
    QList<std::uint8_t> latencyWrites;  // every latency timer set
    std::optional<DeviceKind> kind;     // pose as this kind of device
    bool latencySupported = true;
    // Runs before a write reaches the pedal.
    std::function<void(const QByteArray&)> beforeWrite;

    QByteArray allWritten() const;
    int countWrites(const QByteArray& frame) const { return static_cast<int>(writes.count(frame)); }
};

// The virtual pedal (as strict as the hardware, its time on the fake clock) on
// an in-process driver, installed in the port module and opened, with a fake
// clock. Starts in its bootloader unless told otherwise.
// Leaves the port module and the log as it found them.
class FirmwareRig {
  public:
    explicit FirmwareRig(bool inBootloader = true);
    ~FirmwareRig();

    TempHome home;  // the image written is remembered beside the settings
    FakeClock clock;
    VirtualPedal pedal;
    VirtualPedalDriver inner;
    RecordingDriver driver;
    // The editor's one connection; the link's own helpers reach its port module.
    PedalConnection connection;

    VirtualBootloader& bootloader() { return pedal.bootloader(); }
    // Lets the bytes written so far reach the pedal (the strict pedal's time
    // is the fake clock), so its state can be read.
    void settle();
    // Lines logged since the rig was made (or since clearLog()).
    QStringList log() const;
    void clearLog();
    // The catalogue's firmware image, e.g. "Firmware_5".
    static QByteArray image(const QString& name);
    // An image of n bytes (at least 16) with a recognisable pattern, starting
    // with a vector table whose reset address lies inside it.
    static QByteArray pattern(int n);
};

}  // namespace zendal::test
