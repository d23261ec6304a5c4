#include "control/ui/TformMain.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QUrl>

#include "core/Log.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "link/Timeouts.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "shell/Prompt.h"
#include "shell/SettingsFiles.h"
#include "shell/Styles.h"
#include "shell/VersionCheck.h"
#include "shell/ui/OpenUrl.h"
#include "shell/ui/TformNewVersionMsg.h"  // UpdateCheck.h needs the complete type
#include "shell/ui/UpdateCheck.h"

#include "firmware/ui/FirmwareUpgradeController.h"

namespace zendal {

namespace {
// The tick's fallback while a readiness descriptor wakes it: slow enough to
// cost nothing, quick enough to notice a port that failed.
constexpr int kReceiveFallbackMs = 250;
}  // namespace

TformMain::TformMain(PedalConnection& connection, DeviceController& device, QWidget* parent)
    : QMainWindow(parent), connection_(connection), device_(device) {
    setObjectName(QStringLiteral("formMain"));
    setWindowTitle(QStringLiteral("Zendal Editor"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    device_.reset();

    buildWidgets();
    buildMenus();

    Timer_USB_read = new QTimer(this);
    Timer_USB_read->setObjectName(QStringLiteral("Timer_USB_read"));
    Timer_USB_read->setInterval(1);
    connect(Timer_USB_read, &QTimer::timeout, &connection_, &PedalConnection::tick);

    // The connection's receive tick hands on every message the pedal sends
    // on its own, those that arrived during an exchange included.
    connect(&device_, &DeviceController::busyChanged, this, &TformMain::connectionBusy);
    connect(&connection_, &PedalConnection::message, this,
            [this](const QByteArray& bytes) { handleMessage(bytes); });
    // The pedal's settings name its mode and MIDI channel: shown here.
    connect(&device_, &DeviceController::modeReported, this, [this](bool bank, int number) {
        if (bank) {
            SetBankMode();
            selectBank(number);
        } else {
            SetPresetMode();
        }
    });
    connect(&device_, &DeviceController::midiChannelReported, this, [this](int index) {
        checkMidiChannelItem(-1);
        if (index >= 0) checkMidiChannelItem(index);
    });

    TimerAutoRequest = new QTimer(this);
    TimerAutoRequest->setObjectName(QStringLiteral("TimerAutoRequest"));
    TimerAutoRequest->setInterval(2000);
    TimerAutoRequest->setSingleShot(true);
    connect(TimerAutoRequest, &QTimer::timeout, this, &TformMain::doAutomaticRequest);

    TimerUploadAnswer = new QTimer(this);
    TimerUploadAnswer->setObjectName(QStringLiteral("TimerUploadAnswer"));
    TimerUploadAnswer->setInterval(timeouts::kUploadAnswerMs);
    TimerUploadAnswer->setSingleShot(true);
    connect(TimerUploadAnswer, &QTimer::timeout, this, &TformMain::uploadAnswerTimedOut);

    // Handlers.
    connect(action(QStringLiteral("menuScan")), &QAction::triggered, this, &TformMain::ScanAndLink);
    connect(action(QStringLiteral("menuConnect")), &QAction::triggered, this, &TformMain::Link);
    connect(action(QStringLiteral("menuDisconnect")), &QAction::triggered, this,
            &TformMain::Unlink);
    connect(action(QStringLiteral("menuVirtualPedal")), &QAction::toggled, this, [this](bool on) {
        if (virtualPedalToggle_) virtualPedalToggle_(on);
    });
    connect(action(QStringLiteral("menuModeBank")), &QAction::triggered, this, [this] {
        if (!refusedWhileBusy()) SetBankModeFrom(true);
    });
    connect(action(QStringLiteral("menuModePreset")), &QAction::triggered, this, [this] {
        if (!refusedWhileBusy()) SetPresetMode();
    });
    connect(action(QStringLiteral("menuFirmwareUpgradeMode")), &QAction::triggered, this, [this] {
        if (!refusedWhileBusy()) upgradeModeClick();
    });
    connect(action(QStringLiteral("menuStartFirmwareUpgrade")), &QAction::triggered, this, [this] {
        if (refusedWhileBusy()) return;
        if (upgrade_) upgrade_->menuStartFirmwareUpgradeClick();
    });
    connect(action(QStringLiteral("menuEraseSettings")), &QAction::triggered, this, [this] {
        if (!refusedWhileBusy()) menuEraseSettingsClick();
    });
    connect(action(QStringLiteral("menuSupport")), &QAction::triggered, this,
            &TformMain::menuSupportClick);
    connect(action(QStringLiteral("menuShowUpdateMsg")), &QAction::triggered, this,
            &TformMain::menuShowUpdateMsgClick);
    connect(action(QStringLiteral("menuLoadIR")), &QAction::triggered, this, [this] {
        if (loadIr_) loadIr_();
    });
    connect(action(QStringLiteral("menuLoadConfiguration")), &QAction::triggered, this, [this] {
        if (params_ && !refusedWhileBusy()) params_->menuLoadConfigurationClick();
    });
    connect(action(QStringLiteral("menuSaveConfiguration")), &QAction::triggered, this, [this] {
        if (params_) params_->menuSaveConfigurationClick();
    });
    connect(action(QStringLiteral("menuPresetLibrary")), &QAction::triggered, this,
            &TformMain::menuPresetLibraryClick);
    connect(action(QStringLiteral("menuBackUpPedal")), &QAction::triggered, this, [this] {
        if (!refusedWhileBusy()) menuBackUpPedalClick();
    });
    connect(action(QStringLiteral("menuRestorePedal")), &QAction::triggered, this, [this] {
        if (!refusedWhileBusy()) menuRestorePedalClick();
    });
    connect(btnOpenEffect, &QPushButton::clicked, this, [this] {
        getEffectFromPedal();
        btnOpenEffect->setEnabled(true);
    });
    connect(btnRequest, &QPushButton::clicked, this, &TformMain::btnRequestClick);
    connect(btnAssign, &QPushButton::clicked, this, [this] {
        if (params_) params_->btnAssignClick();
    });
    connect(btnStoreSettingsOnPedal, &QPushButton::clicked, this,
            &TformMain::btnStoreSettingsOnPedalClick);
    connect(btnUpload, &QPushButton::clicked, this, &TformMain::btnUploadClick);
    connect(btnUploadFile, &QPushButton::clicked, this, &TformMain::btnUploadFileClick);
    connect(btnGetFXInfo, &QPushButton::clicked, this, [this] {
        if (fxInfo_) fxInfo_();
    });
    connect(swLive, &QCheckBox::toggled, this, &TformMain::SetLive);
    // The bank shown is the bank the editor knows, chosen here or reported by the pedal.
    connect(bankGroup_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) device_.setBank(id);
    });
    connect(chkFirmwareUpgradeMode, &QCheckBox::toggled, this,
            [this](bool on) { device_.setUpgradeMode(on); });
    connect(lstCategory, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { showCategory(lstCategory->row(item)); });
    connect(lstEffects, &QListWidget::itemClicked, this, &TformMain::effetto_cliccato);
    lstEffects->installEventFilter(this);

    // Ctrl+Shift+P opens the console from anywhere in this window.
    qApp->installEventFilter(this);

    upgrade_ = new FirmwareUpgradeController(
        connection_, action(QStringLiteral("menuFirmwareUpgradeMode")),
        action(QStringLiteral("menuStartFirmwareUpgrade")),
        menus_.value(QStringLiteral("menuFirmwareUpgrade")),
        [this](bool on) {
            if (params_) params_->bypass(on);
        },
        this);
    upgrade_->setLinkedCheck([this] { return device_.linked(); });
    followFirmwareUpgrade();

    connect(&connection_, &PedalConnection::portFailed, this, &TformMain::pedalUnplugged);

    startUp();
}

TformMain::~TformMain() {
    if (qApp) qApp->removeEventFilter(this);
}

void TformMain::startUp() {
    connection_.unit().ShowFTErrors = false;
    DiscoverDevices();
    communication::SetPortParameters(FT_PARITY_NONE);

    device_.setUpgradeMode(false);
    device_.setSelectedIsOnPedal(false);

    for (QPushButton* b :
         {btnRequest, btnAssign, btnStoreSettingsOnPedal, btnUpload, btnOpenEffect})
        b->setEnabled(false);
    btnUploadFile->hide();

    create_categories();

    // The version check: prepares the request, starts its one-shot timer and
    // shows the editor's version.
    updateCheck_ = new UpdateCheck(action(QStringLiteral("menuAppVersion")),
                                   action(QStringLiteral("menuNewAppVersion")),
                                   action(QStringLiteral("menuUpdateNow")), this);
    updateCheck_->start();

    applyStartupSettings();
    CreateMIDIChannelItems();
    device_.setRequiredFirmwareVersion(5);
}

void TformMain::applyStartupSettings() {
    for (const QString& text : settings::EnsureSettingsFolders()) prompt().information(text);

    const settings::StartupSettings stored = settings::ReadStartupSettings();
    QAction* preset = action(QStringLiteral("menuModePreset"));
    QAction* bank = action(QStringLiteral("menuModeBank"));
    switch (stored.mode) {
        case settings::StartupSettings::Mode::Preset:
            device_.setBankMode(false);
            preset->setChecked(true);
            bank->setChecked(false);
            lblBankNum->setEnabled(false);
            break;
        case settings::StartupSettings::Mode::Bank:
            device_.setBankMode(true);
            preset->setChecked(false);
            bank->setChecked(true);
            lblBankNum->setEnabled(true);
            rdbtnBank[0]->setChecked(true);
            break;
        case settings::StartupSettings::Mode::Unknown:
            device_.setBankMode(false);
            preset->setChecked(false);
            bank->setChecked(false);
            break;
    }
    action(QStringLiteral("menuShowUpdateMsg"))->setChecked(stored.showUpdate);
    if (updateCheck_) updateCheck_->setShowUpdatePreference(stored.showUpdate);

    BuildLookMenu();
    applyStyle(settings::storedStyleNumber());
}

void TformMain::menuLookClickItem(int style) {
    applyStyle(style);
    QString error;
    if (!settings::writeStyleNumber(style, &error))
        reportPreferenceNotSaved(QStringLiteral("style.txt"), error);
}

// The status label rather than a box: the mode is also written while a settings
// reply is being applied, where a modal box would let other handlers run.
void TformMain::reportPreferenceNotSaved(const QString& file, const QString& error) {
    DebugPrint(file + QStringLiteral(" not saved: ") + error);
    lblStatus->setText(QStringLiteral("Could not save ") + file + QStringLiteral(": ") + error);
}

void TformMain::menuShowUpdateMsgClick(bool checked) {
    settings::writeShowUpdate(checked);
}

void TformMain::menuSupportClick() {
    OpenURL(update::webUrl(update::kContactPath).toString());
}

void TformMain::attachParameterWindow(TformFXParameters* window) {
    params_ = window;
    if (params_) {
        params_->setConnection(&connection_);
        followParameterWindow();
    }
    // Before an upgrade the user may keep the effect's settings in a preset file.
    if (upgrade_)
        upgrade_->setSavePresetOffer([this] {
            if (params_ && params_->isBuilt()) params_->menuSaveConfigurationClick();
        });
}

void TformMain::followParameterWindow() {
    connect(params_, &TformFXParameters::controlsDestroyed, this, [this] {
        setRequestEnabled(false);
        setAssignEnabled(false);
    });
    connect(params_, &TformFXParameters::settingsRequestStarted, this, [this] {
        stopReceiveTick();
        setRequestEnabled(false);
    });
    connect(params_, &TformFXParameters::settingsRequestEnded, this,
            [this](bool applied, bool stillShown) {
                if (applied) {
                    if (stillShown) setAssignEnabled(true);
                    setStoreSettingsEnabled(true);
                }
                startReceiveTick();
                if (applied) setLiveLabelEnabled(true);
                // Nothing reached the controls: the user may ask again.
                if (!applied && stillShown) setRequestEnabled(true);
            });
    connect(params_, &TformFXParameters::assigning, this,
            [this](bool busy) { setAssignEnabled(!busy); });
    connect(params_, &TformFXParameters::valuesShown, this, [this] { setRequestEnabled(true); });
    connect(params_, &TformFXParameters::configurationSaved, this,
            [this] { setUploadEnabled(false); });
}

void TformMain::attachConsole(QWidget* console) {
    console_ = console;
}

void TformMain::showConsole() {
    if (!console_) return;
    console_->show();
    console_->raise();
}

void TformMain::setVirtualPedalToggle(std::function<void(bool)> toggle, bool on) {
    virtualPedalToggle_ = std::move(toggle);
    QAction* item = action(QStringLiteral("menuVirtualPedal"));
    item->setEnabled(static_cast<bool>(virtualPedalToggle_));
    const QSignalBlocker quiet(item);
    item->setChecked(on);
}

bool TformMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && lstEffects &&
        watched == lstEffects->viewport()) {
        // A barred effect takes no clicks; choosing it still says why.
        auto* mouse = static_cast<QMouseEvent*>(event);
        QListWidgetItem* item = lstEffects->itemAt(mouse->position().toPoint());
        if (item && !(item->flags() & Qt::ItemIsEnabled)) {
            effetto_cliccato(item);
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        const Qt::KeyboardModifiers mods = key->modifiers();
        if (widget && widget->window() == this && key->key() == Qt::Key_P &&
            (mods & Qt::ControlModifier) && (mods & Qt::ShiftModifier)) {
            showConsole();
            return true;
        }
        if (watched == lstEffects && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            move_up_or_down(key->key());
            return true;
        }
        // Enter chooses the current category or effect, as a click does.
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))) {
            if (watched == lstCategory && lstCategory->currentItem()) {
                showCategory(lstCategory->currentRow());
                return true;
            }
            if (watched == lstEffects && lstEffects->currentItem()) {
                effetto_cliccato(lstEffects->currentItem());
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TformMain::closeEvent(QCloseEvent* event) {
    // Quitting in the middle of an upgrade leaves the pedal in its bootloader:
    // the user says so first.
    if (upgrade_ && !upgrade_->confirmQuit()) {
        event->ignore();
        return;
    }
    // Unstored changes in the parameter window: Store / Discard / Cancel. Not
    // while the bootloader has the pedal: it cannot store, and the parameter
    // window's controls are off then anyway.
    if (params_ && !firmwareOwnsTheLine() && !params_->confirmLeavingUnstored()) {
        event->ignore();
        return;
    }
    // The pedal leaves live mode when the editor ends; a bootloader would take
    // the message for garbage.
    if (connection_.unit().isOpen() && !firmwareOwnsTheLine()) SetLive(false);
    stopReceiveTick();
    TimerAutoRequest->stop();
    TimerUploadAnswer->stop();
    QMainWindow::closeEvent(event);
    emit mainClosed();
}

void TformMain::followFirmwareUpgrade() {
    connect(upgrade_, &FirmwareUpgradeController::lineTaken, this, &TformMain::stopReceiveTick);
    connect(upgrade_, &FirmwareUpgradeController::editingSuspended, this,
            [this] { EnableEditorObjects(false); });
    connect(upgrade_, &FirmwareUpgradeController::bootloaderConnected, this, [this] {
        setRequestEnabled(false);
        setUploadEnabled(false);
    });
    connect(upgrade_, &FirmwareUpgradeController::upgradeModeLeft, this, [this] {
        EnableEditorObjects(true);
        startReceiveTick();
    });
    connect(upgrade_, &FirmwareUpgradeController::pedalGivenBack, this, [this] {
        setRequestEnabled(true);
        setUploadEnabled(true);
        startReceiveTick();
        EnableEditorObjects(true);
    });
}

bool TformMain::firmwareOwnsTheLine() const {
    return upgrade_ && (upgrade_->upgradeRunning() || upgrade_->pedalInBootloader());
}

QString TformMain::whyNotWrite() const {
    if (firmwareOwnsTheLine())
        return QStringLiteral(
            "The firmware upgrade has the pedal (it waits in its bootloader): nothing else is "
            "sent until the upgrade is finished.");
    if (connection_.busy())
        return QStringLiteral("The editor is waiting for the pedal: try again in a moment.");
    return {};
}

// --- the simple ones ---

void TformMain::setRequestEnabled(bool enabled) {
    btnRequest->setEnabled(enabled);
}
void TformMain::setAssignEnabled(bool enabled) {
    btnAssign->setEnabled(enabled);
}
void TformMain::setStoreSettingsEnabled(bool enabled) {
    btnStoreSettingsOnPedal->setEnabled(enabled);
}
void TformMain::setUploadEnabled(bool enabled) {
    btnUpload->setEnabled(enabled);
}
void TformMain::setLiveLabelEnabled(bool enabled) {
    lblLive->setEnabled(enabled);
}
void TformMain::setConfigurationMenusEnabled(bool enabled) {
    action(QStringLiteral("menuLoadConfiguration"))->setEnabled(enabled);
    action(QStringLiteral("menuSaveConfiguration"))->setEnabled(enabled);
}

void TformMain::selectBank(int bank) {
    if (bank >= 0 && bank <= 2) {
        rdbtnBank[bank]->setChecked(true);
        return;
    }
    bankGroup_->setExclusive(false);
    for (QRadioButton* b : rdbtnBank) b->setChecked(false);
    bankGroup_->setExclusive(true);
    device_.setBank(-1);
}

void TformMain::checkMidiChannelItem(int index) {
    for (int i = 0; i < MIDIChannelItems_.size(); ++i) MIDIChannelItems_[i]->setChecked(i == index);
}

// --- the receive tick: the connection's, woken by the port when it can be ---

void TformMain::startReceiveTick() {
    // The bootloader's acknowledges are the firmware workflow's to read.
    if (connection_.bootloaderOwnsLine()) return;
    connection_.startTick();
    // Timer_USB_read looks as well: every millisecond when the port has no
    // readiness descriptor, else slowly, in case a wake-up was missed.
    Timer_USB_read->setInterval(connection_.unit().readyFd() >= 0 ? kReceiveFallbackMs : 1);
    if (!Timer_USB_read->isActive()) Timer_USB_read->start();
}

bool TformMain::refusedWhileBusy() {
    if (!connection_.busy()) return false;
    DebugPrint(QStringLiteral("refused: the pedal is answering another request"));
    return true;
}

void TformMain::connectionBusy(bool busy) {
    // One thing at a time: nothing that writes to the pedal can start while
    // it answers; the controls keep their own states and come back after.
    centralWidget()->setEnabled(!busy);
    if (busy) {
        tickBeforeExchange_ = receiveTickRunning();
        stopReceiveTick();
    } else if (tickBeforeExchange_) {
        tickBeforeExchange_ = false;
        if (connection_.unit().isOpen()) startReceiveTick();
    }
}

void TformMain::stopReceiveTick() {
    Timer_USB_read->stop();
    connection_.stopTick();
}

bool TformMain::receiveTickRunning() const {
    return Timer_USB_read->isActive();
}

}  // namespace zendal
