#include "firmware/ui/TformFirmwareUpgrade.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "core/Clock.h"
#include "core/Errors.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "firmware/LastImage.h"
#include "firmware/SettingsRestore.h"
#include "link/D2XXUnit.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "shell/Prompt.h"
#include "shell/SettingsFiles.h"
#include "shell/ui/Accessibility.h"
#include "shell/ui/FittedCaptions.h"

namespace zendal {

const QString TformFirmwareUpgrade::kSavePresetQuestion =
    QStringLiteral("Save the current effect's settings to a preset file before upgrading?");
const QString TformFirmwareUpgrade::kCompleteText =
    QStringLiteral("Firmware Upgrade Complete, device will now restart");
const QString TformFirmwareUpgrade::kUnverifiedCompleteText = QStringLiteral(
    "Firmware written and every step acknowledged, but the pedal's bootloader does not allow "
    "reading the flash back, so the new firmware could not be verified. The device will now "
    "restart.");
const QString TformFirmwareUpgrade::kNotStartedText = QStringLiteral(
    "The pedal was not started: %1.\nThe pedal waits in its bootloader and needs a complete "
    "firmware image: click Upgrade Firmware to write one (or choose Start Firmware Upgrade in the "
    "Firmware Upgrade menu).");
const QString TformFirmwareUpgrade::kResultText = QStringLiteral(
    "Firmware %1 \u2192 %2, %3.\nThe pedal's settings from before the upgrade are saved in %4");
const QString TformFirmwareUpgrade::kNotBackText = QStringLiteral(
    "The pedal did not answer after the upgrade. Switch it off and on again. If it still does "
    "not answer, it waits in its bootloader: link it with Upgrade Mode checked (or run "
    "'zendalctl firmware recover') to write the image again.");
const QString TformFirmwareUpgrade::kRestoreQuestion = QStringLiteral(
    "The pedal still holds %1. Restore the effect's settings from the backup made before the "
    "upgrade?");
const QString TformFirmwareUpgrade::kRestoredText = QStringLiteral(
    "The effect's settings were put back from %1.\nChoose Store Settings On Pedal to keep them "
    "after the pedal is switched off.");
const QString TformFirmwareUpgrade::kVersionChangedText = QStringLiteral(
    "The upgrade changed %1 from version %2 to version %3, so its settings from before the upgrade "
    "were not put back. They stay in %4");
const QString TformFirmwareUpgrade::kIncompleteKeptText = QStringLiteral(
    "The firmware in the pedal is incomplete, so it was not started. The pedal stays in its "
    "bootloader: choose Start Firmware Upgrade in the Firmware Upgrade menu to write it again.");

namespace {
// Only the last two images are offered; the older ones stay in the list, hidden.
constexpr int kHiddenImages = 3;
constexpr int kImageCount = 5;
}  // namespace

TformFirmwareUpgrade::TformFirmwareUpgrade(PedalConnection& connection, QWidget* parent)
    : QWidget(parent, Qt::Window), connection_(connection), sequence_(connection) {
    setObjectName(QStringLiteral("formFirmwareUpgrade"));
    setWindowTitle(QStringLiteral("Firmware Upgrade"));
    setFixedSize(160, 144);

    cmbFirmwareChoose = a11y::namedList(this, QStringLiteral("Firmware image"));
    cmbFirmwareChoose->setObjectName(QStringLiteral("cmbFirmwareChoose"));
    for (int i = 1; i <= kImageCount; ++i)
        cmbFirmwareChoose->addItem(QStringLiteral("Firmware_%1").arg(i));
    auto* view = qobject_cast<QListView*>(cmbFirmwareChoose->view());
    auto* model = qobject_cast<QStandardItemModel*>(cmbFirmwareChoose->model());
    for (int i = 0; i < kHiddenImages; ++i) {
        if (view) view->setRowHidden(i, true);
        // Disabled as well, so the keyboard and the wheel skip them.
        if (model) model->item(i)->setEnabled(false);
    }

    btnUpgradeFirmware = new QPushButton(QStringLiteral("Upgrade Firmware"), this);
    btnUpgradeFirmware->setObjectName(QStringLiteral("btnUpgradeFirmware"));
    a11y::fitCaption(btnUpgradeFirmware);  // the stage style's larger font

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setOrientation(Qt::Horizontal);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    lblBackup = new QLabel(this);
    lblBackup->setObjectName(QStringLiteral("lblBackup"));
    lblBackup->setTextFormat(Qt::PlainText);
    lblBackup->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cmbFirmwareChoose);
    layout->addWidget(btnUpgradeFirmware);
    layout->addWidget(ProgressBar1);
    layout->addWidget(lblBackup);

    connect(cmbFirmwareChoose, &QComboBox::currentIndexChanged, this,
            [this](int) { FirmwareSelect(); });
    connect(btnUpgradeFirmware, &QPushButton::clicked, this, [this] { btnUpgradeFirmwareClick(); });
}

void TformFirmwareUpgrade::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    closeRequested_ = false;
    // The newest image the first time; afterwards what was chosen stays
    // (minimising and restoring must not change it).
    if (!keepChoice_) {
        QSignalBlocker block(cmbFirmwareChoose);
        cmbFirmwareChoose->setCurrentIndex(cmbFirmwareChoose->count() - 1);
    }
    keepChoice_ = true;
    FirmwareSelect();
}

void TformFirmwareUpgrade::setBackup(const firmware::UpgradeBackup& backup) {
    backup_ = backup;
    if (backup.folder.isEmpty()) {
        lblBackup->setText(QStringLiteral("No backup"));
        lblBackup->setToolTip(backup.problems.join(QLatin1Char('\n')));
    } else {
        lblBackup->setText(backup.complete() ? QStringLiteral("Settings backed up")
                                             : QStringLiteral("Backup incomplete"));
        QString tip = QStringLiteral("Saved in ") + backup.folder;
        if (!backup.problems.isEmpty())
            tip += QStringLiteral("\nNot saved: ") + backup.problems.join(QStringLiteral("; "));
        lblBackup->setToolTip(tip);
    }
    lblBackup->setAccessibleName(lblBackup->text());
    lblBackup->setAccessibleDescription(lblBackup->toolTip());
    lblBackup->setVisible(true);
}

bool TformFirmwareUpgrade::chooseImage(const QString& name) {
    const int index = cmbFirmwareChoose->findText(name, Qt::MatchFixedString);
    if (index < 0) return false;
    {
        QSignalBlocker block(cmbFirmwareChoose);
        cmbFirmwareChoose->setCurrentIndex(index);
    }
    keepChoice_ = true;
    FirmwareSelect();
    return true;
}

void TformFirmwareUpgrade::FirmwareSelect() {
    imageName_ = cmbFirmwareChoose->currentText();
    variant_ = imageName_.right(1).toInt();
    DebugPrint(QStringLiteral("Firmware Version: %1").arg(variant_));
    DebugPrint(imageName_);
}

void TformFirmwareUpgrade::onProgress(firmware::UpgradePhase /*phase*/, int index, int count) {
    if (ProgressBar1->maximum() != count) ProgressBar1->setMaximum(count);
    ProgressBar1->setValue(index);
}

void TformFirmwareUpgrade::resetControls() {
    btnUpgradeFirmware->setEnabled(true);
    ProgressBar1->setValue(0);
}

void TformFirmwareUpgrade::btnUpgradeFirmwareClick() {
    using Status = firmware::UpgradeResult::Status;
    // The button is disabled while a sequence runs; a queued click must not
    // start a second one either.
    if (sequence_.isRunning()) return;
    if (auto why = firmware::UpgradeSequence::refusal(connection_)) {
        prompt().information(*why);
        return;
    }
    if (savePresetOffer && prompt().confirm(kSavePresetQuestion)) savePresetOffer();

    btnUpgradeFirmware->setEnabled(false);
    ProgressBar1->setValue(0);
    closeRequested_ = false;
    const firmware::UpgradeResult result =
        sequence_.runNamed(imageName_, variant_, firmware::UpgradeOptions{},
                           [this](firmware::UpgradePhase phase, int index, int count) {
                               onProgress(phase, index, count);
                           });

    if (result.status == Status::Busy) return;
    if (closeRequested_) {
        // The window was closed while the sequence ran; it stopped at a step
        // boundary (or finished). Close now.
        closeRequested_ = false;
        afterClose();
        return;
    }
    switch (result.status) {
        case Status::Done:
            finishWritten(result);
            return;
        case Status::Failed:
            resetControls();
            prompt().information(
                QStringLiteral("Firmware upgrade failed: %1.\nThe pedal stays in its bootloader. "
                               "Click Upgrade Firmware to try again.")
                    .arg(result.message));
            return;
        case Status::Refused:
            resetControls();
            prompt().information(result.message);
            return;
        case Status::Cancelled:
        case Status::Busy:
            resetControls();
            return;
    }
}

void TformFirmwareUpgrade::finishWritten(const firmware::UpgradeResult& result) {
    QString error;
    if (!firmware::rememberLastImage(settings::zendalFolder(),
                                     firmware::RememberedImage{imageName_, {}, variant_}, &error))
        DebugPrint(QStringLiteral("the image written is not remembered: ") + error);
    // The completion text promises a restart: the flash is checked first.
    const firmware::StepResult check = sequence_.checkBeforeGo();
    if (!check) {
        resetControls();
        keepInBootloader(check);
        return;
    }
    prompt().information(result.verified ? kCompleteText : kUnverifiedCompleteText);
    const firmware::StepResult go = sequence_.leaveBootloader();
    connection_.unit().ShowFTErrors = true;
    resetControls();
    hide();
    if (!go) {
        prompt().information(QStringLiteral("The pedal did not acknowledge the Go command (%1). "
                                            "Switch the pedal off and on again to start the new "
                                            "firmware.")
                                 .arg(go.error().message()));
    } else if (const std::optional<PedalInfo> now = waitForPedal(); !now) {
        prompt().information(kNotBackText);
    } else if (!backup_.folder.isEmpty()) {
        const QString before =
            backup_.firmware >= 0 ? QString::number(backup_.firmware) : QStringLiteral("?");
        prompt().information(kResultText.arg(before)
                                 .arg(now->firmware)
                                 .arg(result.verified ? QStringLiteral("read back and verified")
                                                      : QStringLiteral("not verified"))
                                 .arg(backup_.folder));
        offerSettingsRestore(*now);
    }
    backup_ = {};
    lblBackup->setVisible(false);
    emit upgradeCompleted();
}

void TformFirmwareUpgrade::offerSettingsRestore(const PedalInfo& now) {
    const QString effect =
        effect_name_by_id(now.effect).value_or(QStringLiteral("effect %1").arg(now.effect));
    switch (firmware::restoreOffer(backup_, now)) {
        case firmware::RestoreOffer::None:
            return;
        case firmware::RestoreOffer::VersionChanged:
            prompt().information(kVersionChangedText.arg(effect)
                                     .arg(backup_.effectVersion)
                                     .arg(now.version)
                                     .arg(backup_.presetFile));
            return;
        case firmware::RestoreOffer::Offer:
            break;
    }
    if (!prompt().confirm(kRestoreQuestion.arg(effect))) return;
    const firmware::RestoreResult restored =
        firmware::restoreEffectSettings(connection_, backup_.presetFile, now);
    if (restored.ok) {
        prompt().information(kRestoredText.arg(backup_.presetFile));
        return;
    }
    for (const QString& message : restored.messages) prompt().information(message);
}

std::optional<PedalInfo> TformFirmwareUpgrade::waitForPedal() {
    // The connection reads the firmware's replies whole, whatever the mode.
    const qint64 deadline = clock().nowMs() + kComeBackMs;
    do {
        const PedalInfoReply reply = queryPedalInfo(connection_);
        if (reply.outcome == ExchangeResult::Outcome::Unplugged) break;
        if (reply.ok()) {
            try {
                const PedalInfo info = parsePedalInfo(reply.reply);
                DebugPrint(QStringLiteral("the pedal runs firmware %1 again").arg(info.firmware));
                return info;
            } catch (const ConversionError&) {
                // Still starting: its first bytes are not a reply yet.
            }
        }
    } while (clock().nowMs() < deadline);
    DebugPrint(QStringLiteral("the pedal did not answer after the upgrade"));
    return std::nullopt;
}

void TformFirmwareUpgrade::keepInBootloader(const firmware::StepResult& check) {
    prompt().information(kNotStartedText.arg(check.error().message()));
    emit leftInBootloader();
}

void TformFirmwareUpgrade::closeEvent(QCloseEvent* event) {
    event->accept();
    RestoreAfterUpgrade();
}

void TformFirmwareUpgrade::RestoreAfterUpgrade() {
    if (sequence_.isRunning()) {
        // Stop at the next step boundary; the click handler finishes the close.
        closeRequested_ = true;
        sequence_.cancel();
        hide();
        DebugPrint(QStringLiteral("firmware upgrade window closed: stopping the upgrade"));
        return;
    }
    afterClose();
}

void TformFirmwareUpgrade::afterClose() {
    resetControls();
    hide();
    if (!sequence_.goIsSafe()) {
        prompt().information(kIncompleteKeptText);
        emit leftInBootloader();
        return;
    }
    if (const firmware::StepResult check = sequence_.checkBeforeGo(); !check) {
        if (check.error().failure == firmware::Failure::Refused) {
            prompt().information(kIncompleteKeptText);
            emit leftInBootloader();
            return;
        }
        keepInBootloader(check);
        return;
    }
    const firmware::StepResult go = sequence_.leaveBootloader();
    connection_.unit().ShowFTErrors = true;
    if (!go) {
        prompt().information(QStringLiteral("The pedal did not acknowledge the Go command (%1). "
                                            "Switch the pedal off and on again.")
                                 .arg(go.error().message()));
    }
    emit restored();
}

}  // namespace zendal
