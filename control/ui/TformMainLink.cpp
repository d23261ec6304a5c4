// Device discovery, linking and unlinking.
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "control/ui/TformMain.h"
#include "core/Log.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalSequences.h"
#include "shell/Prompt.h"

#ifdef ZENDAL_HAVE_FIRMWARE_UI
#include "firmware/BootloaderClient.h"
#include "firmware/ui/FirmwareUpgradeController.h"
#endif

namespace zendal {

namespace {
const QString kChipDescription = QStringLiteral("FT230X Basic UART");
const QString kLinked = QStringLiteral(" linked");
}  // namespace

void TformMain::DiscoverDevices() {
    // Silent: shows what is attached, links nothing.
    QAction* serial = action(QStringLiteral("menuSerialNumber"));
    for (const auto& device : communication::ListAttachedDevices()) {
        const QString number = QString::fromLocal8Bit(device.serial);
        serial->setText(serial->text() + number);
        DeviceSerialNumber_ = number;
        const QString description = QString::fromLocal8Bit(device.description);
        lblDeviceName->setText(description == kChipDescription ? QStringLiteral("Zendal")
                                                               : description);
        DeviceDescription_ = description;
    }
}

void TformMain::ScanAndLink() {
    D2XXUnit& port = connection_.unit();
    unplugged_ = false;
    lblDeviceName->setText(QStringLiteral("Device Name"));
    const std::uint32_t count = port.GetFTDeviceCount() == FT_OK ? port.FTDeviceCount : 0;
    DebugPrint(QStringLiteral("FT device count: %1").arg(count));
    if (count == 0) {
        prompt().information(QStringLiteral("No device found"));
        lblDeviceName->setText(QStringLiteral("No device found"));
        return;
    }
    struct Found {
        QString serial;
        QString description;
    };
    QList<Found> found;
    for (std::uint32_t i = 0; i < count; ++i) {
        port.GetFTDeviceSerialNo(i);
        const QString serial = QString::fromLocal8Bit(port.FT_Device_String);
        DebugPrint(QStringLiteral("FT_Device_String: ") + serial);
        port.GetFTDeviceDescription(i);
        found.append({serial, QString::fromLocal8Bit(port.FT_Device_String)});
    }
    // The pedal's own chip first: another serial adapter is tried only when no
    // pedal links, so nothing is sent to it while a pedal is there.
    const auto others = std::stable_partition(found.begin(), found.end(), [](const Found& f) {
        return f.description == kChipDescription;
    });
    DebugPrint(QStringLiteral("devices with the pedal's description: %1 of %2")
                   .arg(others - found.begin())
                   .arg(found.size()));

    QStringList why;  // one line per device that did not link
    for (qsizetype k = 0; k < found.size(); ++k) {
        const Found& device = found.at(k);
        DeviceSerialNumber_ = device.serial;
        DeviceDescription_ = device.description;
        lblDeviceName->setText(device.description);
        QStringList reasons;
        scanReasons_ = &reasons;
        infoTimedOut_ = false;
        Link();
        scanReasons_ = nullptr;
        const QString name = QStringLiteral("%1 (%2)").arg(device.serial, device.description);
        for (const QString& reason : reasons) DebugPrint(name + QStringLiteral(": ") + reason);
        if (port.isOpen() && infoTimedOut_ && foundInBootloader()) return;
        const bool last = k + 1 == found.size();
        if (port.isOpen() && infoTimedOut_ && !last) {
            // Not the pedal, or not answering: the next device may be.
            port.CloseFTDevice();
            showUnlinked();
        }
        if (!reasons.isEmpty())
            why.append(found.size() == 1
                           ? reasons.join(QLatin1Char('\n'))
                           : name + QStringLiteral(": ") + reasons.join(QLatin1Char(' ')));
        if (port.isOpen()) {
            if (!infoTimedOut_) DebugPrint(QStringLiteral("linked: ") + name);
            break;
        }
    }
    // A device that linked ends the scan quietly; what the others said is in
    // the debug console.
    const bool linked = port.isOpen() && !infoTimedOut_;
    if (why.isEmpty() || linked) return;
    if (found.size() == 1) {
        prompt().information(why.first());
    } else {
        prompt().information(QStringLiteral("No pedal linked.\n") + why.join(QLatin1Char('\n')));
    }
}

bool TformMain::foundInBootloader() {
    if (device_.upgradeMode()) return false;
        // No answer as firmware: a pedal left in its bootloader by an upgrade that
        // did not finish answers the bootloader instead, perhaps one still
        // connected to an editor that ended (it no longer answers 7F).
#ifdef ZENDAL_HAVE_FIRMWARE_UI
    firmware::BootloaderClient client(connection_);
    const bool answered =
        bool(client.connect(firmware::BootloaderClient::ConnectMode::AcceptAlreadyConnected));
    // No parity again until recovery is chosen.
    client.release();
#else
    const QString reply = sequences::probeBootloader(connection_);
    DebugPrint(QStringLiteral("received Byte: ") + reply);
    const bool answered = reply == QLatin1String("79");
    connection_.applyParity(FT_PARITY_NONE);
#endif
    if (!answered) return false;
    DebugPrint(QStringLiteral("the pedal answers as its bootloader"));
    lblDeviceName->setText(QStringLiteral("Zendal in its bootloader"));
#ifdef ZENDAL_HAVE_FIRMWARE_UI
    if (upgrade_ &&
        prompt().confirm(QStringLiteral(
            "The pedal is waiting in its bootloader: its last firmware upgrade did not finish.\n"
            "Write the firmware again now to recover it?"))) {
        connection_.applyParity(FT_PARITY_EVEN);
        upgrade_->bootloaderProbed(true);
        return true;
    }
#endif
    // Firmware messages mean nothing to the bootloader: the port is let go.
    connection_.unit().CloseFTDevice();
    showUnlinked();
    return true;
}

bool TformMain::LinkBySerialNumber() {
    const bool opened = communication::OpenAndConfigure(DeviceSerialNumber_);
    // Silenced or not, a port held by another program (or refused) is named.
    if (!opened) {
        const QString error = connection_.unit().driver().lastError();
        if (scanReasons_) {
            // Shown already when failures are shown.
            if (connection_.unit().ShowFTErrors)
                DebugPrint(error);
            else
                scanReasons_->append(error.isEmpty() ? QStringLiteral("It could not be opened.")
                                                     : error);
        } else if (!connection_.unit().ShowFTErrors && !error.isEmpty()) {
            prompt().information(error);
        }
    }
    if (opened) {
        lblDeviceName->setText(lblDeviceName->text() + kLinked);
        btnUpload->setEnabled(true);
        btnRequest->setEnabled(true);
        chkFirmwareUpgradeMode->setEnabled(false);
        action(QStringLiteral("menuScan"))->setEnabled(false);
        action(QStringLiteral("menuConnect"))->setEnabled(false);
        action(QStringLiteral("menuDisconnect"))->setEnabled(true);
    }
    if (device_.upgradeMode()) {
        // The pedal restarted into its bootloader: probe it instead of asking
        // for the effect.
        // The probe puts the line back at no parity unless the bootloader
        // answers; then the line stays at its even parity for the upgrade.
        const QString reply = sequences::probeBootloader(connection_);
        DebugPrint(QStringLiteral("received Byte: ") + reply);
        const bool ok = reply == QLatin1String("79");
        if (ok) connection_.applyParity(FT_PARITY_EVEN);
        if (ok) {
            prompt().information(
                QStringLiteral("Connection to bootloader succeeded, ready for firmware upgrade"));
            QAction* start = action(QStringLiteral("menuStartFirmwareUpgrade"));
            start->setVisible(true);
            start->setEnabled(true);
            btnRequest->setEnabled(false);
            btnUpload->setEnabled(false);
        } else {
            prompt().information(QStringLiteral("Connection to bootloader failed"));
        }
#ifdef ZENDAL_HAVE_FIRMWARE_UI
        if (upgrade_) upgrade_->bootloaderProbed(ok);
#else
        if (ok) StartFirmwareUpgrade();
#endif
    }
    return opened;
}

void TformMain::Link() {
    if (!LinkBySerialNumber()) return;
    if (device_.upgradeMode()) {
        action(QStringLiteral("menuFirmwareUpgradeMode"))->setEnabled(true);
        return;
    }
    device_.setLinked(true);
    action(QStringLiteral("menuFirmwareUpgradeMode"))->setEnabled(true);
    btnOpenEffect->setEnabled(true);
    const InfoOutcome outcome = getEffectFromPedal();
    // Unlinked while waiting, or the answer was unusable: the link stops here
    // and the user can ask again with "Get FX Stored on Pedal".
    if (outcome == InfoOutcome::Aborted || !connection_.unit().isOpen()) return;
    menus_.value(QStringLiteral("menuMIDI"))->menuAction()->setEnabled(true);
    menus_.value(QStringLiteral("menuMode"))->menuAction()->setEnabled(true);
    DebugPrint(QStringLiteral("firmware upgrade mode: ") +
               (device_.upgradeMode() ? QStringLiteral("True") : QStringLiteral("False")));
    if (device_.upgradeMode()) {
        stopReceiveTick();
    } else {
        startReceiveTick();
    }
}

void TformMain::Unlink() {
    SetLive(false);
    {
        const QSignalBlocker quiet(swLive);
        swLive->setChecked(false);
    }
    if (connection_.unit().CloseFTDevice() != FT_OK) return;
    showUnlinked();
}

void TformMain::showUnlinked() {
    lblDeviceName->setText(lblDeviceName->text().remove(kLinked));
    action(QStringLiteral("menuScan"))->setEnabled(true);
    action(QStringLiteral("menuConnect"))->setEnabled(true);
    action(QStringLiteral("menuDisconnect"))->setEnabled(false);
    for (QPushButton* b :
         {btnUpload, btnOpenEffect, btnRequest, btnAssign, btnStoreSettingsOnPedal})
        b->setEnabled(false);
    menus_.value(QStringLiteral("menuMIDI"))->menuAction()->setEnabled(false);
    menus_.value(QStringLiteral("menuMode"))->menuAction()->setEnabled(false);
    lblLive->setEnabled(false);
    stopReceiveTick();
    // Nothing may still act on a port that is gone.
    TimerAutoRequest->stop();
    TimerUploadAnswer->stop();
    uploadPending_ = false;
    connection_.forgetPiece();
    if (params_ && params_->isVisible()) params_->EnableDisableControls(false);
}

bool TformMain::linkedDeviceListed() {
    D2XXUnit& port = connection_.unit();
    const std::uint32_t count = port.GetFTDeviceCount() == FT_OK ? port.FTDeviceCount : 0;
    for (std::uint32_t i = 0; i < count; ++i)
        if (port.GetFTDeviceSerialNo(i) == FT_OK &&
            QString::fromLocal8Bit(port.FT_Device_String) == DeviceSerialNumber_)
            return true;
    return false;
}

void TformMain::pedalUnplugged() {
    // A failure while the device is still attached is not an unplug: the next
    // tick tries again.
    if (!connection_.unit().isOpen() || linkedDeviceListed()) return;
    DebugPrint(QStringLiteral("the pedal was unplugged"));
    // An upload waiting for its answer will not get one.
    if (uploadPending_) {
        TimerUploadAnswer->stop();
        uploadAnswerTimedOut();
    }
    // The handle is dead: closing it only lets it go, nothing is sent.
    connection_.unit().CloseFTDevice();
    showUnlinked();
    lblDeviceName->setText(QStringLiteral("Pedal unplugged"));
    unplugged_ = true;
}

void TformMain::watchDeviceList() {
    // The kernel adds and removes nodes here as devices come and go; inotify
    // costs nothing while nothing changes.
    deviceListWatch_ = new QFileSystemWatcher(this);
    for (const QString& dir : {QStringLiteral("/dev/serial/by-id"), QStringLiteral("/dev")})
        if (QFileInfo(dir).isDir()) deviceListWatch_->addPath(dir);
    connect(deviceListWatch_, &QFileSystemWatcher::directoryChanged, this, [this] {
        // udev sets the node's permissions just after it appears.
        if (unplugged_) QTimer::singleShot(500, this, &TformMain::devicesChanged);
    });
}

void TformMain::devicesChanged() {
    if (!unplugged_ || connection_.unit().isOpen()) return;
    D2XXUnit& port = connection_.unit();
    if (port.GetFTDeviceCount() != FT_OK || port.FTDeviceCount == 0) return;
    unplugged_ = false;
    lblDeviceName->setText(QStringLiteral("Pedal plugged in again"));
    if (prompt().confirm(QStringLiteral("The pedal is plugged in again. Link to it now?")))
        ScanAndLink();
}

}  // namespace zendal
