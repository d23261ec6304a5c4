#include "app/devices/Devices.h"

#include <QFileInfo>

#include "effects/EffectCatalogue.h"
#include "link/FrameCodec.h"

namespace zendal {

TermiosDriver::Options Devices::termiosOptionsFromEnvironment() {
    TermiosDriver::Options options;
    const QString sysfs = qEnvironmentVariable("ZENDAL_SYSFS_TTY");
    if (!sysfs.isEmpty()) options.sysfsTtyRoot = sysfs;
    options.extraPorts = TermiosDriver::extraPortsFromEnvironment();
    return options;
}

Devices::Devices() : Devices(termiosOptionsFromEnvironment()) {}

Devices::Devices(TermiosDriver::Options termiosOptions)
    : termiosOptions_(termiosOptions),
      termios_(std::make_unique<TermiosDriver>(std::move(termiosOptions))),
      pedal_(std::make_unique<VirtualPedal>()),
      pedalDriver_(std::make_unique<VirtualPedalDriver>(*pedal_)) {
    // Parameter messages carry addresses; the catalogue's images say which
    // parameter each address is.
    pedal_->setImageLookup([](int id) -> QByteArray {
        const auto name = effect_name_by_id(id);
        if (!name) return {};
        return Hex2String(effect_image_text(*name));
    });

    // The virtual pedal is as strict as the hardware: entering its bootloader
    // needs B2 (SAVE) held, which a user can only ask for here.
    if (qEnvironmentVariable("ZENDAL_VIRTUAL_PEDAL_SAVE_HELD") == QLatin1String("1"))
        pedal_->pressAndHoldSave(true);
    // Its time is the real clock: waits sleep until its next byte is due.
    pedalDriver_->setReadyTimer(true);

    hub_.addBackend(termios_.get(), QStringLiteral("serial"));
    auto ftdi = std::make_unique<D2xxLibraryDriver>();
    if (ftdi->available()) {
        ftdi_ = std::move(ftdi);
        hub_.addBackend(ftdi_.get(), QStringLiteral("ftd2xx"));
    }
    hub_.addBackend(pedalDriver_.get(), QStringLiteral("virtual"));
    hub_.setBackendEnabled(pedalDriver_.get(),
                           qEnvironmentVariable("ZENDAL_VIRTUAL_PEDAL") == QLatin1String("1"));
    // Pulling the virtual pedal's cable changes the list like a real one.
    pedalDriver_->setPlugHandler([this] { hub_.notifyDevicesChanged(); });
}

QStringList Devices::watchedFolders() const {
    QStringList folders = DeviceListWatcher::kernelFolders();
    // A pseudo-terminal's link (zendal-pedal-sim --link) is made again beside
    // the old one when the virtual pedal is plugged back in.
    for (const QString& port : termiosOptions_.extraPorts) {
        const QString folder = QFileInfo(port).absolutePath();
        if (!folders.contains(folder)) folders.append(folder);
    }
    return folders;
}

bool Devices::watchForChanges() {
    return hub_.watchKernelDevices(watchedFolders());
}

Devices::~Devices() {
    pedalDriver_->setPlugHandler({});
    if (installedInto_ && &installedInto_->driver() == &hub_) installedInto_->setDriver(nullptr);
    // Close whatever is still open before the backends go away.
    for (PortDriver* backend :
         {static_cast<PortDriver*>(pedalDriver_.get()), static_cast<PortDriver*>(termios_.get()),
          static_cast<PortDriver*>(ftdi_.get())}) {
        if (backend) hub_.setBackendEnabled(backend, false);
    }
}

void Devices::installInto(D2XXUnit& unit) {
    unit.setDriver(&hub_);
    installedInto_ = &unit;
}

void Devices::setVirtualPedalEnabled(bool enabled) {
    hub_.setBackendEnabled(pedalDriver_.get(), enabled);
}

bool Devices::virtualPedalEnabled() const {
    return hub_.backendEnabled(pedalDriver_.get());
}

}  // namespace zendal
