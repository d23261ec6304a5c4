#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

#include "params/ui/TformFXParameters.h"
#include "protocol/IncomingMessage.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QFileSystemWatcher;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

namespace zendal {

class DeviceController;
class PedalConnection;
class TformFXParameters;
class UpdateCheck;
class FirmwareUpgradeController;

// The main window: linking, the receive tick and the other timers, the
// effect lists and the upload. What the editor knows about the pedal is kept
// by the device controller; the window enables its controls from its signals
// and from the parameter window's. Controls carry their names as objectName
// ("btnUpload", "menuScan", "lstEffects", ...), so other code and tests can
// find them. The firmware upgrade's signals say when it takes the pedal and
// gives it back; the window switches its own controls and tick.
class TformMain : public QMainWindow {
    Q_OBJECT
  public:
    // Talks to the pedal only through `connection`, and keeps what it learns
    // in `device`; both outlive the window.
    TformMain(PedalConnection& connection, DeviceController& device, QWidget* parent = nullptr);
    ~TformMain() override;

    DeviceController& device() const { return device_; }

    // --- the windows created after this one ---
    void attachParameterWindow(TformFXParameters* window);
    TformFXParameters* parameterWindow() const { return params_; }
    void attachConsole(QWidget* console);

    // --- what other features plug in ---
    void setLoadIrHandler(std::function<void()> handler) { loadIr_ = std::move(handler); }
    void setFxInfoHandler(std::function<void()> handler) { fxInfo_ = std::move(handler); }
    // "Virtual Pedal" in the Connection menu switches the in-process virtual
    // pedal on or off in the device list.
    void setVirtualPedalToggle(std::function<void(bool)> toggle, bool on);
    // The firmware upgrade's side of the main window, when it is built in.
    FirmwareUpgradeController* upgradeController() const { return upgrade_; }
    // Empty when a tool may write to the pedal now, else the reason it may not.
    QString whyNotWrite() const;

    // A menu item by its name ("menuScan", "menuLoadIR", ...), or nullptr.
    QAction* action(const QString& name) const { return actions_.value(name); }
    // The "Channel" items: 0 is "OMNI", 1..16 the channels.
    QList<QAction*> midiChannelItems() const { return MIDIChannelItems_; }

    // --- device discovery and linking ---
    void DiscoverDevices();
    void ScanAndLink();
    void Link();
    bool LinkBySerialNumber();
    void Unlink();
    QString deviceSerialNumber() const { return DeviceSerialNumber_; }
    // The port failed under the receive tick: the cable was pulled.
    void pedalUnplugged();
    // The kernel's device list changed; after an unplug, offers to link again
    // once a device is back.
    void devicesChanged();

    // --- device controller ---
    enum class InfoOutcome { Identified, Rejected, Aborted };
    InfoOutcome getEffectFromPedal();
    // Applies the device-information reply; false when no effect is found or
    // the firmware is too old. *aborted is set when the reply is unusable.
    bool CheckPedalInfo(const QString& reply, bool* aborted = nullptr);
    void SetLive(bool on);
    void btnRequestClick();
    void doAutomaticRequest();
    void btnStoreSettingsOnPedalClick();
    void menuEraseSettingsClick();
    // File ▸ Back Up Pedal… and Restore Pedal… (PedalBackupMenu.cpp).
    void menuBackUpPedalClick();
    void menuRestorePedalClick();
    // File ▸ Preset Library (PresetLibraryMenu.cpp).
    void menuPresetLibraryClick();
    void menuSupportClick();
    void StartFirmwareUpgrade();

    // --- effect lists ---
    void create_categories();
    void showCategory(int index);
    void effetto_cliccato(QListWidgetItem* item);
    bool effect_from_list();

    // --- receive tick and upload ---
    void PollPedal();
    void btnUploadClick();
    void btnUploadFileClick();

    // --- the receive tick and the controls the firmware upgrade switches ---
    void stopReceiveTick();
    void startReceiveTick();
    bool receiveTickRunning() const;
    void setRequestEnabled(bool enabled);
    void setUploadEnabled(bool enabled);
    void EnableEditorObjects(bool enabled);

    // --- the main window's own controls ---
    void setAssignEnabled(bool enabled);
    void setStoreSettingsEnabled(bool enabled);
    void setLiveLabelEnabled(bool enabled);
    void setConfigurationMenusEnabled(bool enabled);
    void SetBankMode();
    void SetPresetMode();
    void selectBank(int bank);             // 0..2 selects Bank I..III; else none
    void checkMidiChannelItem(int index);  // 0 OMNI, 1..16; -1 unticks all

  signals:
    // An effect was chosen in the effects list (after the parameter window opened).
    void effectChosen(const QString& displayName);
    // The main window was closed: the editor ends.
    void mainClosed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // An upgrade runs or the pedal waits in its bootloader.
    bool firmwareOwnsTheLine() const;

  private:
    // TformMainLink.cpp
    // Controls and timers back to the not-linked state; the port is closed.
    void showUnlinked();
    // The linked device's serial number is in the kernel's device list.
    bool linkedDeviceListed();
    // No answer as firmware: true when the device answers as the pedal's
    // bootloader (recovery offered; the scan stops there).
    bool foundInBootloader();

    // TformMainLayout.cpp
    void buildWidgets();
    void buildMenus();
    QAction* addAction(QMenu* menu, const QString& name, const QString& caption);
    QMenu* addMenu(QMenu* parent, const QString& name, const QString& caption);
    void startUp();
    void applyStartupSettings();
    void BuildLookMenu();
    void CreateMIDIChannelItems();
    void menuLookClickItem(int style);
    // A preference file could not be written: the previous file is intact; say so.
    void reportPreferenceNotSaved(const QString& file, const QString& error);
    void menuShowUpdateMsgClick(bool checked);
    void showConsole();

    // DeviceController.cpp
    void SetBankModeFrom(bool fromMenu);
    void midiChannelClick(QAction* item);
    void rejectFirmware();
    void openParameterWindow(const QString& caption, int width, bool disableControls);
    void findPedalEffectInCategories(bool requestNow);
    void upgradeModeClick();

    // EffectLists.cpp
    bool readCategory(int index, QStringList* lines);
    void get_effects_name(const QStringList& lines);
    bool search_effect_name(const QStringList& lines, int categoryIndex);
    void move_up_or_down(int key);

    // PollPedal.cpp
    void ShowBankFromPedal(int bank);
    void ShowEffectFromPedal(int number);
    void refreshPedalEffectVersion(int number);
    // One message; false when a number in it is not one (a box said so).
    bool handleMessage(const QByteArray& bytes);
    void DumpCheck(const QByteArray& message);
    void uploadAnswerTimedOut();

    // Upload.cpp
    bool refuseUpload(const QString& text);

    // An exchange began or ended on the connection: the tick stays out of it.
    void connectionBusy(bool busy);
    // True (and logged) while an exchange is in flight: menu commands that
    // write to the pedal wait their turn.
    bool refusedWhileBusy();

    // The parameter window's settings request, assignment and closing.
    void followParameterWindow();
    // The firmware upgrade taking the pedal and giving it back.
    void followFirmwareUpgrade();

    PedalConnection& connection_;
    DeviceController& device_;
    bool tickBeforeExchange_ = false;

    // The windows that work with this one.
    QPointer<TformFXParameters> params_;
    QPointer<QWidget> console_;
    QPointer<QWidget> presetLibrary_;
    UpdateCheck* updateCheck_ = nullptr;
    FirmwareUpgradeController* upgrade_ = nullptr;
    std::function<void()> loadIr_;
    std::function<void()> fxInfo_;
    std::function<void(bool)> virtualPedalToggle_;

    // Controls.
    QHash<QString, QAction*> actions_;
    QHash<QString, QMenu*> menus_;
    QLabel* lblDeviceName = nullptr;
    QLabel* lblFirmwareVersion = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* btnOpenEffect = nullptr;
    QPushButton* btnRequest = nullptr;
    QPushButton* btnAssign = nullptr;
    QPushButton* btnStoreSettingsOnPedal = nullptr;
    QPushButton* btnUpload = nullptr;
    QPushButton* btnUploadFile = nullptr;
    QPushButton* btnGetFXInfo = nullptr;
    QGroupBox* lblBankNum = nullptr;
    QRadioButton* rdbtnBank[3] = {nullptr, nullptr, nullptr};
    QButtonGroup* bankGroup_ = nullptr;
    QGroupBox* lblLive = nullptr;
    QCheckBox* swLive = nullptr;
    QCheckBox* chkFirmwareUpgradeMode = nullptr;
    QListWidget* lstCategory = nullptr;
    QListWidget* lstEffects = nullptr;
    QList<QAction*> MIDIChannelItems_;
    QList<QAction*> lookItems_;

    // Timers.
    QTimer* Timer_USB_read = nullptr;
    QTimer* TimerAutoRequest = nullptr;
    QTimer* TimerUploadAnswer = nullptr;

    // Discovery.
    QString DeviceSerialNumber_;
    QString DeviceDescription_;

    // Receive tick state.
    bool uploadPending_ = false;
    // Set by an unplug until the user has been offered to link again.
    bool unplugged_ = false;
    // While Scan and Link tries devices: why each one did not link, the texts
    // not yet shown. Null outside a scan.
    QStringList* scanReasons_ = nullptr;
    // The last device-information request got no answer within its limit.
    bool infoTimedOut_ = false;
};

}  // namespace zendal
