#pragma once

#include <QObject>
#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace zendal {

class MainWindowHooks;
class TformFirmwareUpgrade;

// The main window's side of the firmware upgrade: entering upgrade mode (the
// pedal restarts into its bootloader), opening the upgrade window, and the
// return to normal operation afterwards. The main window owns the menu items
// and calls these handlers; the controller owns the upgrade window.
//
// The check mark of "Upgrade Mode" is kept by the controller: Qt toggles a
// checkable action by itself before the click handler runs, so the handler
// sets the mark from its own state instead of reading it back.
class FirmwareUpgradeController : public QObject {
    Q_OBJECT
  public:
    FirmwareUpgradeController(MainWindowHooks* hooks, QAction* menuFirmwareUpgradeMode,
                              QAction* menuStartFirmwareUpgrade, QMenu* menuFirmwareUpgrade,
                              std::function<void(bool)> bypass, QWidget* parent);

    TformFirmwareUpgrade* window() const { return window_; }
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
    // its message); on success the upgrade window opens.
    void bootloaderProbed(bool ok);

    static const QString kEnterQuestion;
    static const QString kConnectedText;
    static const QString kConnectFailedText;

  private:
    void setModeChecked(bool checked);
    void leaveUpgradeMode();
    void showWindow();
    void returnToNormal(bool hideStartItem);
    void keepUpgradeMode();

    MainWindowHooks* hooks_;
    QAction* modeItem_;
    QAction* startItem_;
    QMenu* upgradeMenu_;
    std::function<void(bool)> bypass_;
    TformFirmwareUpgrade* window_;
    bool modeChecked_ = false;
    bool busy_ = false;
    bool errorsShownBefore_ = true;
};

}  // namespace zendal
