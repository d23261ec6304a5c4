#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

#include "protocol/PedalConnection.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"
#include "support/FakeClock.h"
#include "support/RecordingDriver.h"
#include "support/TempHome.h"

namespace zendal::test {

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
