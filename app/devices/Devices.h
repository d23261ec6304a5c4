#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "link/D2XXUnit.h"
#include "link/D2xxLibraryDriver.h"
#include "link/DeviceHub.h"
#include "link/TermiosDriver.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"

namespace zendal {

// The devices both programs see, as one list: the kernel's serial ports (plus
// the extra ports of ZENDAL_EXTRA_PORTS), FTDI's D2XX library when it loads,
// and the in-process virtual pedal (listed only while enabled; initially when
// ZENDAL_VIRTUAL_PEDAL=1). Environment, read once at construction:
//   ZENDAL_EXTRA_PORTS      colon-separated device paths listed after the ports
//   ZENDAL_SYSFS_TTY        where the tty class lives (default /sys/class/tty)
//   ZENDAL_FTD2XX_LIBRARY   the D2XX library to load ("" = none)
//   ZENDAL_VIRTUAL_PEDAL    1 = virtual pedal listed from the start
class Devices {
  public:
    Devices();
    explicit Devices(TermiosDriver::Options termiosOptions);
    ~Devices();
    Devices(const Devices&) = delete;
    Devices& operator=(const Devices&) = delete;

    // Makes the hub the port module's driver. Undone on destruction.
    void installInto(D2XXUnit& unit);

    // Makes the hub tell devicesChanged() when a device node comes or goes
    // (the kernel's folders and those of the extra ports). False without
    // inotify.
    bool watchForChanges();
    QStringList watchedFolders() const;

    void setVirtualPedalEnabled(bool enabled);
    bool virtualPedalEnabled() const;

    DeviceHub& hub() { return hub_; }
    TermiosDriver& serialPorts() { return *termios_; }
    // nullptr when FTDI's library is not available.
    D2xxLibraryDriver* ftdiLibrary() { return ftdi_.get(); }
    // The virtual pedal's front panel and state.
    VirtualPedal& virtualPedal() { return *pedal_; }
    VirtualPedalDriver& virtualPedalDriver() { return *pedalDriver_; }

    static TermiosDriver::Options termiosOptionsFromEnvironment();

  private:
    TermiosDriver::Options termiosOptions_;
    std::unique_ptr<TermiosDriver> termios_;
    std::unique_ptr<D2xxLibraryDriver> ftdi_;
    std::unique_ptr<VirtualPedal> pedal_;
    std::unique_ptr<VirtualPedalDriver> pedalDriver_;
    DeviceHub hub_;
    D2XXUnit* installedInto_ = nullptr;
};

}  // namespace zendal
