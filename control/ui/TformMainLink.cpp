// Device discovery, linking and unlinking.
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "control/ui/TformMain.h"
#include "core/EditorState.h"
#include "core/Log.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalSequences.h"
#include "shell/Prompt.h"

#ifdef ZENDAL_HAVE_FIRMWARE_UI
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
    D2XXUnit& port = d2xx();
    lblDeviceName->setText(QStringLiteral("Device Name"));
    const std::uint32_t count = port.GetFTDeviceCount() == FT_OK ? port.FTDeviceCount : 0;
    DebugPrint(QStringLiteral("FT device count: %1").arg(count));
    if (count == 0) {
        prompt().information(QStringLiteral("No device found"));
        lblDeviceName->setText(QStringLiteral("No device found"));
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        port.GetFTDeviceSerialNo(i);
        DeviceSerialNumber_ = QString::fromLocal8Bit(port.FT_Device_String);
        DebugPrint(QStringLiteral("FT_Device_String: ") + DeviceSerialNumber_);
        port.GetFTDeviceDescription(i);
        DeviceDescription_ = QString::fromLocal8Bit(port.FT_Device_String);
        lblDeviceName->setText(DeviceDescription_);
        Link();
        // One pedal at a time: the first device that opens is the one linked,
        // so no earlier handle is left open behind a later one.
        if (port.isOpen()) break;
    }
}

bool TformMain::LinkBySerialNumber() {
    EditorState& state = editorState();
    const bool opened = communication::OpenAndConfigure(DeviceSerialNumber_);
    // Silenced or not, a port held by another program (or refused) is named.
    if (!opened && !d2xx().ShowFTErrors && !d2xx().driver().lastError().isEmpty())
        prompt().information(d2xx().driver().lastError());
    if (opened) {
        lblDeviceName->setText(lblDeviceName->text() + kLinked);
        btnUpload->setEnabled(true);
        btnRequest->setEnabled(true);
        chkFirmwareUpgradeMode->setEnabled(false);
        action(QStringLiteral("menuScan"))->setEnabled(false);
        action(QStringLiteral("menuConnect"))->setEnabled(false);
        action(QStringLiteral("menuDisconnect"))->setEnabled(true);
    }
    if (state.UpgradeMode) {
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
    EditorState& state = editorState();
    if (state.UpgradeMode) {
        action(QStringLiteral("menuFirmwareUpgradeMode"))->setEnabled(true);
        return;
    }
    state.Linked = true;
    action(QStringLiteral("menuFirmwareUpgradeMode"))->setEnabled(true);
    btnOpenEffect->setEnabled(true);
    const InfoOutcome outcome = getEffectFromPedal();
    // Unlinked while waiting, or the answer was unusable: the link stops here
    // and the user can ask again with "Get FX Stored on Pedal".
    if (outcome == InfoOutcome::Aborted || !d2xx().isOpen()) return;
    menus_.value(QStringLiteral("menuMIDI"))->menuAction()->setEnabled(true);
    menus_.value(QStringLiteral("menuMode"))->menuAction()->setEnabled(true);
    DebugPrint(QStringLiteral("firmware upgrade mode: ") +
               (state.UpgradeMode ? QStringLiteral("True") : QStringLiteral("False")));
    if (state.UpgradeMode) {
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
    if (d2xx().CloseFTDevice() != FT_OK) return;
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
    framer_.reset();
    if (params_ && params_->isVisible()) params_->EnableDisableControls(false);
}

}  // namespace zendal
