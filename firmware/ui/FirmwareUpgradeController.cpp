#include "firmware/ui/FirmwareUpgradeController.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "core/Clock.h"
#include "core/Log.h"
#include "firmware/BootloaderClient.h"
#include "firmware/LastImage.h"
#include "firmware/UpgradeBackup.h"
#include "firmware/ui/TformFirmwareUpgrade.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "shell/Prompt.h"
#include "shell/SettingsFiles.h"

namespace zendal {

const QString FirmwareUpgradeController::kEnterQuestion = QStringLiteral(
    "To enter Firmware Upgrade Mode keep B2(SAVE) button on the pedal pressed while clicking YES.");
const QString FirmwareUpgradeController::kConnectedText =
    QStringLiteral("Connection to bootloader succeeded. Release B2(SAVE) button and click OK.");
const QString FirmwareUpgradeController::kConnectFailedText =
    QStringLiteral("Connection to bootloader failed");
const QString FirmwareUpgradeController::kInBootloaderQuestion = QStringLiteral(
    "The pedal waits in its bootloader. Connect to it and open the Firmware Upgrade window?");
const QString FirmwareUpgradeController::kQuitQuestion = QStringLiteral(
    "A firmware upgrade is running. Quitting now leaves the pedal in its bootloader with an "
    "incomplete image, and it will not start until a complete image is written. Quit anyway?");

namespace {
// Restores a flag when the scope ends.
class Busy {
  public:
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }

  private:
    bool& flag_;
};
}  // namespace

FirmwareUpgradeController::FirmwareUpgradeController(PedalConnection& connection,
                                                     QAction* menuFirmwareUpgradeMode,
                                                     QAction* menuStartFirmwareUpgrade,
                                                     QMenu* menuFirmwareUpgrade,
                                                     std::function<void(bool)> bypass,
                                                     QWidget* parent)
    : QObject(parent),
      connection_(connection),
      anchor_(parent),
      modeItem_(menuFirmwareUpgradeMode),
      startItem_(menuStartFirmwareUpgrade),
      upgradeMenu_(menuFirmwareUpgrade),
      bypass_(std::move(bypass)),
      window_(new TformFirmwareUpgrade(connection, parent)),
      linked_([this] { return connection_.unit().isOpen(); }) {
    modeChecked_ = modeItem_ && modeItem_->isChecked();
    connect(window_, &TformFirmwareUpgrade::upgradeCompleted, this, [this] {
        inBootloader_ = false;
        returnToNormal(true);
    });
    connect(window_, &TformFirmwareUpgrade::restored, this, [this] {
        inBootloader_ = false;
        returnToNormal(false);
    });
    connect(window_, &TformFirmwareUpgrade::leftInBootloader, this, [this] { keepUpgradeMode(); });
}

void FirmwareUpgradeController::setSavePresetOffer(std::function<void()> offer) {
    window_->savePresetOffer = std::move(offer);
}

void FirmwareUpgradeController::setLinkedCheck(std::function<bool()> linked) {
    linked_ = std::move(linked);
}

void FirmwareUpgradeController::setModeChecked(bool checked) {
    modeChecked_ = checked;
    if (modeItem_) modeItem_->setChecked(checked);
}

void FirmwareUpgradeController::menuFirmwareUpgradeModeClick() {
    if (busy_ || window_->sequence().isRunning()) {
        // Restarting the pedal in the middle of a connection or an upgrade would
        // break it; the item only acts between them.
        setModeChecked(modeChecked_);
        DebugPrint(QStringLiteral("Upgrade Mode ignored: the bootloader is busy"));
        return;
    }
    Busy busy(busy_);
    D2XXUnit& port = connection_.unit();

    // 1.
    emit lineTaken();
    // Remember whether failures were shown before this episode of upgrade mode.
    if (!connection_.bootloaderOwnsLine()) errorsShownBefore_ = port.ShowFTErrors;
    port.ShowFTErrors = false;
    // 2.
    setModeChecked(!modeChecked_);
    connection_.setLineOwner(modeChecked_ ? LineOwner::Bootloader : LineOwner::Firmware);
    // 3. Unlinked: only the flag; the next link probes the bootloader.
    if (!linked_ || !linked_()) return;
    // The pedal already sits in its bootloader: no bypass and no restart
    // message (firmware bytes would throw the bootloader off).
    if (inBootloader_) {
        connectToWaitingBootloader();
        return;
    }

    // Demonstration firmware can never be written to a real pedal, so do not
    // restart one into its bootloader for nothing.
    if (auto why = firmware::UpgradeSequence::refusal(connection_)) {
        prompt().information(*why);
        leaveUpgradeMode();
        return;
    }
    // Everything the pedal holds is saved before anything can be erased.
    window_->setBackup(
        firmware::backUpPedal(connection_, settings::zendalFolder(), QDateTime::currentDateTime()));
    // 4.
    if (bypass_) bypass_(true);
    // 5.-6.
    if (!prompt().confirm(kEnterQuestion)) {
        leaveUpgradeMode();
        return;
    }
    // 7.
    emit editingSuspended();
    // 8.-9. The restart-into-bootloader message and the pedal's pause; the
    // pedal does not answer it. Its firmware reads no parity: after a failed
    // connection the line is still at even parity, and a retry would garble
    // the message.
    if (port.FTParity != FT_PARITY_NONE) connection_.applyParity(FT_PARITY_NONE);
    ExchangeRequest restart;
    restart.bytes = Hex2String(messages::enterBootloader());
    restart.reply = ReplyKind::None;
    restart.pauseAfterWriteMs = messages::kEnterBootloaderPauseMs;
    restart.purgeTransmitFirst = false;
    connection_.exchange(restart);
    connection_.setLineOwner(LineOwner::Bootloader);
    setModeChecked(true);
    // 10.
    firmware::BootloaderClient client(connection_);
    const firmware::StepResult connected = client.connect();
    if (connected) {
        // 11. The pedal's firmware ran and restarted: its flash is good.
        inBootloader_ = true;
        window_->sequence().resetFlashState();
        prompt().information(kConnectedText);
        if (startItem_) {
            startItem_->setVisible(true);
            startItem_->setEnabled(true);
        }
        emit bootloaderConnected();
        if (upgradeMenu_) upgradeMenu_->setEnabled(true);
        StartFirmwareUpgrade();
    } else {
        // 12. Stays in upgrade mode: even parity, tick stopped, controls disabled.
        DebugPrint(connected.error().message());
        prompt().information(kConnectFailedText);
    }
}

void FirmwareUpgradeController::connectToWaitingBootloader() {
    if (!prompt().confirm(kInBootloaderQuestion)) {
        // The pedal is still in its bootloader: the line stays its own (even
        // parity, no receive tick), and the way back to the upgrade window
        // stays open.
        connection_.setLineOwner(LineOwner::Bootloader);
        setModeChecked(false);
        if (startItem_) {
            startItem_->setVisible(true);
            startItem_->setEnabled(true);
        }
        return;
    }
    emit editingSuspended();
    connection_.setLineOwner(LineOwner::Bootloader);
    setModeChecked(true);
    firmware::BootloaderClient client(connection_);
    const firmware::StepResult connected =
        client.connect(firmware::BootloaderClient::ConnectMode::AcceptAlreadyConnected);
    if (!connected) {
        DebugPrint(connected.error().message());
        prompt().information(kConnectFailedText);
        return;
    }
    bootloaderProbed(true);
}

void FirmwareUpgradeController::chooseRecoveryImage() {
    const auto last = firmware::lastImage(settings::zendalFolder());
    if (last && !last->catalogueName.isEmpty() && window_->chooseImage(last->catalogueName)) return;
    window_->chooseImage(QStringLiteral("Firmware_5"));
}

bool FirmwareUpgradeController::upgradeRunning() const {
    return window_->sequence().isRunning() || firmware::UpgradeSequence::anyRunning();
}

bool FirmwareUpgradeController::confirmQuit() {
    if (!upgradeRunning()) return true;
    if (!prompt().confirm(kQuitQuestion)) return false;
    window_->sequence().cancel();
    return true;
}

void FirmwareUpgradeController::leaveUpgradeMode() {
    connection_.setLineOwner(LineOwner::Firmware);
    setModeChecked(false);
    connection_.applyParity(FT_PARITY_NONE);
    // Port failures were silenced for the bootloader only.
    connection_.unit().ShowFTErrors = errorsShownBefore_;
    emit upgradeModeLeft();
}

void FirmwareUpgradeController::showWindow() {
    if (anchor_) {
        const QRect main = anchor_->frameGeometry();
        window_->move(main.left(), main.top() + main.height());
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void FirmwareUpgradeController::StartFirmwareUpgrade() {
    emit lineTaken();
    connection_.unit().ShowFTErrors = false;
    showWindow();
}

void FirmwareUpgradeController::menuStartFirmwareUpgradeClick() {
    showWindow();
}

void FirmwareUpgradeController::bootloaderProbed(bool ok) {
    if (!ok) return;
    // Found waiting in its bootloader: whatever the flash holds must prove
    // itself before Go, and the image most likely wanted is offered.
    const bool known =
        inBootloader_ && window_->sequence().flashState() != firmware::FlashState::Unknown;
    inBootloader_ = true;
    connection_.setLineOwner(LineOwner::Bootloader);
    if (!known) window_->sequence().flashUnknown();
    if (!window_->sequence().isRunning()) chooseRecoveryImage();
    if (startItem_) {
        startItem_->setVisible(true);
        startItem_->setEnabled(true);
    }
    emit bootloaderConnected();
    StartFirmwareUpgrade();
}

void FirmwareUpgradeController::returnToNormal(bool hideStartItem) {
    setModeChecked(false);
    if (startItem_) {
        startItem_->setEnabled(false);
        if (hideStartItem) startItem_->setVisible(false);
    }
    connection_.setLineOwner(LineOwner::Firmware);
    emit pedalGivenBack();
}

void FirmwareUpgradeController::keepUpgradeMode() {
    // The pedal waits in its bootloader with an incomplete image: keep every
    // way back to the upgrade window open.
    inBootloader_ = true;
    connection_.setLineOwner(LineOwner::Bootloader);
    setModeChecked(true);
    if (startItem_) {
        startItem_->setVisible(true);
        startItem_->setEnabled(true);
    }
}

}  // namespace zendal
