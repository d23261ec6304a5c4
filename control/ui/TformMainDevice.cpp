// The main window's side of the pedal: the device information, the editor's
// controls, live mode, bank or preset mode, MIDI channel, storing and erasing
// settings, and the settings-request trigger.
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "control/ui/TformMain.h"
#include "core/Clock.h"
#include "core/Errors.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "link/Timeouts.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "protocol/PedalSequences.h"
#include "shell/EepromTools.h"
#include "shell/Prompt.h"
#include "shell/SettingsFiles.h"

#include "firmware/ui/FirmwareUpgradeController.h"

namespace zendal {

TformMain::InfoOutcome TformMain::getEffectFromPedal() {
    const bool tickWasRunning = receiveTickRunning();
    btnOpenEffect->setEnabled(false);
    // The connection keeps the tick out of its wait and hands on the knob
    // reports that arrive inside the reply.
    const PedalInfoReply reply = queryPedalInfo(connection_);
    infoTimedOut_ = false;
    btnOpenEffect->setEnabled(true);
    if (!reply.ok()) {
        // Nothing changes: the editor keeps what it knew, and the tick runs
        // again if it ran before.
        infoTimedOut_ = reply.outcome == ExchangeResult::Outcome::TimedOut;
        if (infoTimedOut_) {
            DebugPrint(QStringLiteral("no answer to the device information request"));
            const QString text =
                QStringLiteral("The pedal did not answer the device information request.");
            // A scan names every device that failed in one box at its end.
            if (scanReasons_)
                scanReasons_->append(text);
            else
                prompt().information(text);
        } else if (reply.outcome == ExchangeResult::Outcome::Busy) {
            DebugPrint(
                QStringLiteral("device information not asked: another exchange is in flight"));
        } else if (connection_.unit().isOpen()) {
            DebugPrint(QStringLiteral("the port failed during the device information request"));
            prompt().information(QStringLiteral(
                "The link to the pedal failed while waiting for its device information."));
        }
        return InfoOutcome::Aborted;
    }
    stopReceiveTick();

    bool aborted = false;
    if (!CheckPedalInfo(reply.reply, &aborted)) {
        if (aborted) {
            if (tickWasRunning) startReceiveTick();
            return InfoOutcome::Aborted;
        }
        btnRequest->setEnabled(false);
        btnOpenEffect->setEnabled(false);
        return InfoOutcome::Rejected;
    }
    if (!effect_from_list()) return InfoOutcome::Rejected;

    openParameterWindow(device_.pedalEffectName() + QStringLiteral(" v") +
                            QString::number(device_.pedalEffectVersion()),
                        420, true);
    btnRequest->setEnabled(true);
    findPedalEffectInCategories(true);
    return InfoOutcome::Identified;
}

bool TformMain::CheckPedalInfo(const QString& reply, bool* aborted) {
    PedalInfo info;
    try {
        info = parsePedalInfo(reply);
    } catch (const ConversionError& e) {
        // A field that is not a number: the user sees why, nothing else happens.
        prompt().information(e.message());
        if (aborted) *aborted = true;
        return false;
    }
    // Versions no pedal can send are refused the same way, naming the field.
    if (const auto problem = implausibleVersions(info)) {
        prompt().information(QStringLiteral("Unexpected device information: ") + *problem);
        if (aborted) *aborted = true;
        return false;
    }
    const bool result = !info.empty;
    if (!result) prompt().information(QStringLiteral("No effect found on pedal"));

    device_.setPedalEffectNumber(info.effect);
    device_.setPedalEffectVersion(info.version);
    device_.setPedalFirmwareVersion(info.firmware);
    DebugPrint(QStringLiteral("effect number DEC: %1").arg(info.effect));
    DebugPrint(QStringLiteral("effect number HEX: %1")
                   .arg(QString::number(static_cast<quint32>(info.effect), 16)
                            .toUpper()
                            .rightJustified(8, QLatin1Char('0'))));
    DebugPrint(QStringLiteral("effect version: %1").arg(info.version));
    DebugPrint(QStringLiteral("firmware version: %1").arg(info.firmware));

    const QString firmware = QStringLiteral("Firmware Version: %1").arg(info.firmware);
    lblFirmwareVersion->setText(firmware);
    action(QStringLiteral("menuFirmwareVersion"))->setText(firmware);

    if (info.firmware == 255) {
        rejectFirmware();
        return false;
    }
    EnableEditorObjects(true);
    if (info.firmware < device_.requiredFirmwareVersion()) {
        rejectFirmware();
        return false;
    }
    EnableEditorObjects(true);
    return result;
}

void TformMain::rejectFirmware() {
    if (params_ && params_->isVisible()) params_->closeWindow();
    prompt().information(QStringLiteral("A firmware upgrade is required. Upgrade to Firmware %1")
                             .arg(device_.requiredFirmwareVersion()));
    prompt().information(
        QStringLiteral("Go to Firmware Upgrade menu and select Firmware Upgrade Mode"));
    EnableEditorObjects(false);
}

void TformMain::openParameterWindow(const QString& caption, int width, bool disableControls) {
    if (!params_) return;
    const QRect main = frameGeometry();
    QString error;
    if (!params_->openFor(caption, QPoint(main.x() + main.width(), main.y()), width, &error)) {
        DebugPrint(QStringLiteral("parameter window not opened: ") + error);
        prompt().information(error);
        return;
    }
    if (disableControls) params_->EnableDisableControls(false);
}

void TformMain::findPedalEffectInCategories(bool requestNow) {
    for (int i = 0; i < lstCategory->count(); ++i) {
        lstEffects->clear();
        QStringList lines;
        readCategory(i, &lines);
        if (!search_effect_name(lines, i)) continue;
        get_effects_name(lines);
        // Shown selected once the list is filled again.
        const int row = int(lines.indexOf(device_.pedalEffectName()));
        if (row >= 0) lstEffects->setCurrentRow(row);
        if (requestNow) {
            startReceiveTick();
            doAutomaticRequest();
        } else if (!TimerAutoRequest->isActive()) {
            TimerAutoRequest->start();
        }
        return;
    }
}

void TformMain::EnableEditorObjects(bool enabled) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{btnUpload, btnStoreSettingsOnPedal, btnAssign, btnRequest})
        w->setEnabled(enabled);
    for (const char* name : {"menuLoadConfiguration", "menuSaveConfiguration", "menuLoadIR",
                             "menuBackUpPedal", "menuRestorePedal"})
        action(QLatin1String(name))->setEnabled(enabled);
    lstEffects->setEnabled(enabled);
    menus_.value(QStringLiteral("menuMIDI"))->menuAction()->setEnabled(enabled);
    btnOpenEffect->setEnabled(enabled);
    swLive->setEnabled(enabled);
    lblBankNum->setEnabled(enabled);
    lstCategory->setEnabled(enabled);
    menus_.value(QStringLiteral("menuMode"))->menuAction()->setEnabled(enabled);
    // Only the effect on the pedal is live: a window of another effect stays
    // disabled whatever the pedal sends.
    if (params_) params_->EnableDisableControls(enabled && device_.selectedIsOnPedal());
}

void TformMain::SetLive(bool on) {
    lblLive->setTitle(on ? QStringLiteral("Live ON") : QStringLiteral("Live OFF"));
    SendHexMessage(messages::liveMode(on), 3, false);
}

void TformMain::SetBankMode() {
    // The pedal reported bank mode in its settings reply: the window that is
    // applying that reply stays open.
    SetBankModeFrom(false);
}

void TformMain::SetBankModeFrom(bool fromMenu) {
    device_.setBankMode(true);
    action(QStringLiteral("menuModePreset"))->setChecked(false);
    action(QStringLiteral("menuModeBank"))->setChecked(true);
    lblBankNum->setEnabled(true);
    rdbtnBank[0]->setChecked(true);
    QString error;
    if (!settings::writeMode(true, &error))
        reportPreferenceNotSaved(QStringLiteral("Mode.txt"), error);
    if (!fromMenu || device_.requestInProgress()) return;
    if (params_ && params_->isVisible()) params_->closeWindow();
    lstCategory->clearSelection();
    lstCategory->setCurrentRow(-1);
    lstEffects->clear();
    device_.setSelectedEffectName(QString());
}

void TformMain::SetPresetMode() {
    device_.setBankMode(false);
    action(QStringLiteral("menuModePreset"))->setChecked(true);
    action(QStringLiteral("menuModeBank"))->setChecked(false);
    lblBankNum->setEnabled(false);
    QString error;
    if (!settings::writeMode(false, &error))
        reportPreferenceNotSaved(QStringLiteral("Mode.txt"), error);
}

void TformMain::midiChannelClick(QAction* item) {
    if (refusedWhileBusy()) return;
    const QString caption = item->text();
    DebugPrint(QStringLiteral("Midi channel: ") + caption);
    const int channel = caption == QLatin1String("OMNI") ? 0 : caption.toInt();
    SendHexMessage(messages::midiChannel(channel), 2, false);
}

void TformMain::btnStoreSettingsOnPedalClick() {
    const int count = params_ ? params_->descriptor().param_count : 0;
    const QString text = messages::storeSettings(count);
    DebugPrint(QStringLiteral("Store settings message (HEX): ") + text);
    if (!sequences::storeSettings(connection_, count).ok())
        DebugPrint(QStringLiteral("settings not stored: the pedal is busy or gone"));
    else if (params_)
        params_->settingsStored();
}

void TformMain::menuEraseSettingsClick() {
    const QString crlf = QStringLiteral("\r\n");
    const QString question =
        QStringLiteral("Are you sure you want to delete all settings?") + crlf +
        QStringLiteral(
            "This action will delete the current stored algorithm and any other "
            "settings like presets and assignments") +
        crlf + QStringLiteral("Erase settings is suggested in the following cases:") + crlf +
        QStringLiteral("- the pedal is unresponsive/freezed after updates") + crlf +
        QStringLiteral("- unexpected behaviour or bugs which afflicts the pedal functionalities") +
        crlf + QStringLiteral("- you want to switch to the Tallow pedal");
    if (!prompt().confirm(question)) return;
    for (const char* address : {"50", "51"}) {
        EraseEEPROM(QLatin1String(address));
        ReadEEPROM(QLatin1String(address));
    }
}

void TformMain::btnRequestClick() {
    // One request at a time: a second one would read the first one's reply.
    if (device_.requestInProgress() || !params_ || !params_->isBuilt()) {
        DebugPrint(QStringLiteral("settings request skipped"));
        return;
    }
    {
        RequestInProgress request(device_);
        params_->request_settings();
    }
    setConfigurationMenusEnabled(true);
}

void TformMain::doAutomaticRequest() {
    if (connection_.busy()) {
        TimerAutoRequest->start();  // after the exchange in flight
        return;
    }
    btnRequestClick();
}

void TformMain::upgradeModeClick() {
    if (upgrade_) {
        upgrade_->menuFirmwareUpgradeModeClick();
        return;
    }
    // Without the upgrade workflow only the flag follows the item.
    stopReceiveTick();
    connection_.unit().ShowFTErrors = false;
    device_.setUpgradeMode(action(QStringLiteral("menuFirmwareUpgradeMode"))->isChecked());
}

void TformMain::StartFirmwareUpgrade() {
    if (upgrade_) {
        upgrade_->StartFirmwareUpgrade();
        return;
    }
    stopReceiveTick();
    connection_.unit().ShowFTErrors = false;
}

}  // namespace zendal
