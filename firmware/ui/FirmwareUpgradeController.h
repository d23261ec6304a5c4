#pragma once

#include <QObject>
#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace zendal {

class TformFirmwareUpgrade;

// The main window's side of the firmware upgrade: entering upgrade mode (the
// pedal restarts into its bootloader), opening the upgrade window, and the
// return to normal operation afterwards. The main window owns the menu items
// and calls these handlers; the controller owns the upgrade window and says
// through its signals what happened, so the main window switches its own
// controls and receive tick. The upgrade window is placed below `parent`.
//
// The check mark of "Upgrade Mode" is kept by the controller: Qt toggles a
// checkable action by itself before the click handler runs, so the handler
// sets the mark from its own state instead of reading it back.
class PedalConnection;

class FirmwareUpgradeController : public QObject {
    Q_OBJECT
  public:
    FirmwareUpgradeController(PedalConnection& connection, QAction* menuFirmwareUpgradeMode,
                              QAction* menuStartFirmwareUpgrade, QMenu* menuFirmwareUpgrade,
                              std::function<void(bool)> bypass, QWidget* parent);

    TformFirmwareUpgrade* window() const { return window_; }
    // Asked whether the editor is linked to a pedal that runs its firmware;
    // unlinked, "Upgrade Mode" only hands the next link to the bootloader.
    // By default: the connection's port is open.
    void setLinkedCheck(std::function<bool()> linked);
    // Offered before an upgrade (the parameter window's Save Configuration).
    void setSavePresetOffer(std::function<void()> offer);

    // "Upgrade Mode": toggles upgrade mode and, when linked, restarts the pedal
    // into its bootloader and connects to it.
    void menuFirmwareUpgradeModeClick();
    // Stops the receive tick, silences port failures, shows the upgrade window
    // below the main window.
    void StartFirmwareUpgrade();
    // "Start Firmware Upgrade": shows the upgrade window again.
    void menuStartFirmwareUpgradeClick();
    // Linking in upgrade mode probed the bootloader (the main window has shown
    // its message); on success the upgrade window opens for recovery: nothing
    // is known of the flash, and the image last written (else the newest) is chosen.
    void bootloaderProbed(bool ok);

    // The pedal is known to wait in its bootloader (connected, found there by
    // linking, or left there by a failed upgrade).
    bool pedalInBootloader() const { return inBootloader_; }
    // An upgrade is running: nothing else may write to the pedal.
    bool upgradeRunning() const;
    // Asked before the editor quits: true when it may quit (no upgrade runs,
    // or the user accepts leaving the pedal in its bootloader).
    bool confirmQuit();

    static const QString kEnterQuestion;
    static const QString kConnectedText;
    static const QString kConnectFailedText;
    static const QString kInBootloaderQuestion;
    static const QString kQuitQuestion;

  signals:
    // The upgrade takes the line: the receive tick must stay out of it.
    void lineTaken();
    // The pedal is about to restart into its bootloader: the editor's
    // controls that talk to the firmware go off.
    void editingSuspended();
    // The pedal waits in its bootloader, connected: nothing may be requested
    // from or uploaded to its firmware.
    void bootloaderConnected();
    // Upgrade mode was left before the pedal restarted: the editor works as
    // before (controls on, receive tick back).
    void upgradeModeLeft();
    // The pedal runs its firmware again after an upgrade or a restore: every
    // control and the receive tick come back.
    void pedalGivenBack();

  private:
    PedalConnection& connection_;
    void setModeChecked(bool checked);
    void leaveUpgradeMode();
    void showWindow();
    void returnToNormal(bool hideStartItem);
    void keepUpgradeMode();
    void connectToWaitingBootloader();
    void chooseRecoveryImage();

    QWidget* anchor_;
    QAction* modeItem_;
    QAction* startItem_;
    QMenu* upgradeMenu_;
    std::function<void(bool)> bypass_;
    TformFirmwareUpgrade* window_;
    std::function<bool()> linked_;
    bool modeChecked_ = false;
    bool busy_ = false;
    bool errorsShownBefore_ = true;
    bool inBootloader_ = false;
};

}  // namespace zendal
