#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "firmware/UpgradeBackup.h"
#include "firmware/UpgradeSequence.h"
#include "protocol/PedalInfo.h"

class QComboBox;
class QLabel;
class QPushButton;
class QProgressBar;

namespace zendal {

// The upgrade window: choose one of the firmware images carried by the editor
// and write it into the pedal's microcontroller through its bootloader. The
// main window's side (menus, receive tick, editor controls) listens to the
// signals; FirmwareUpgradeController does that.
class PedalConnection;

class TformFirmwareUpgrade : public QWidget {
    Q_OBJECT
  public:
    // The connection is asked, after Go, whether the pedal runs its firmware again.
    explicit TformFirmwareUpgrade(PedalConnection& connection, QWidget* parent = nullptr);

    QComboBox* cmbFirmwareChoose = nullptr;
    QPushButton* btnUpgradeFirmware = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    // Names the folder of the settings backup made before the upgrade.
    QLabel* lblBackup = nullptr;

    // The backup made before the pedal was sent to its bootloader: named in
    // the window, and in the result after a successful upgrade.
    void setBackup(const firmware::UpgradeBackup& backup);
    const firmware::UpgradeBackup& backup() const { return backup_; }

    // Set by the main window: saves the current effect's settings as a preset
    // file. When set, the user is offered it before the upgrade starts.
    std::function<void()> savePresetOffer;

    // The chosen image ("Firmware_5") and its variant number (5).
    QString imageName() const { return imageName_; }
    int variant() const { return variant_; }

    firmware::UpgradeSequence& sequence() { return sequence_; }

    // Change of cmbFirmwareChoose.
    void FirmwareSelect();
    // Chooses an image by name ("Firmware_4") as if the user had; false when
    // the list does not offer it.
    bool chooseImage(const QString& name);
    // The upgrade sequence.
    void btnUpgradeFirmwareClick();
    // The window is closed: the pedal leaves its bootloader, unless its flash
    // does not prove whole (then it stays there, ready for another try).
    void RestoreAfterUpgrade();

    static const QString kSavePresetQuestion;
    static const QString kCompleteText;
    static const QString kUnverifiedCompleteText;
    static const QString kIncompleteKeptText;
    static const QString kNotStartedText;
    static const QString kResultText;
    static const QString kNotBackText;
    static const QString kRestoreQuestion;
    static const QString kRestoredText;
    static const QString kVersionChangedText;
    // How long a restarted pedal has to answer as firmware again.
    static constexpr int kComeBackMs = 15000;

  signals:
    // Every step acknowledged, Go sent: the main window returns to normal operation.
    void upgradeCompleted();
    // Closed with the firmware started again: the main window returns to normal.
    void restored();
    // Closed while the flash holds an incomplete image: the pedal stays in its
    // bootloader and the editor in upgrade mode.
    void leftInBootloader();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void onProgress(firmware::UpgradePhase phase, int index, int count);
    void resetControls();
    void afterClose();
    void finishWritten(const firmware::UpgradeResult& result);
    void keepInBootloader(const firmware::StepResult& check);
    // After Go: the device information the restarted pedal reports, or
    // nullopt when it does not answer as firmware within kComeBackMs.
    std::optional<PedalInfo> waitForPedal();
    // The same effect as before the upgrade: offers its settings from the backup.
    void offerSettingsRestore(const PedalInfo& now);

    PedalConnection& connection_;
    firmware::UpgradeSequence sequence_;
    firmware::UpgradeBackup backup_;
    QString imageName_;
    int variant_ = 0;
    bool closeRequested_ = false;
    // Shown before, or opened for recovery with an image chosen: showing the
    // window (again) keeps the choice.
    bool keepChoice_ = false;
};

}  // namespace zendal
