#include "firmware/ui/TformFirmwareUpgrade.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "shell/Prompt.h"
#include "shell/ui/Accessibility.h"
#include "shell/ui/FittedCaptions.h"

namespace zendal {

const QString TformFirmwareUpgrade::kSavePresetQuestion =
    QStringLiteral("Save the current effect's settings to a preset file before upgrading?");
const QString TformFirmwareUpgrade::kCompleteText =
    QStringLiteral("Firmware Upgrade Complete, device will now restart");
const QString TformFirmwareUpgrade::kIncompleteKeptText = QStringLiteral(
    "The firmware in the pedal is incomplete, so it was not started. The pedal stays in its "
    "bootloader: choose Start Firmware Upgrade in the Firmware Upgrade menu to write it again.");

namespace {
// Only the last two images are offered; the older ones stay in the list, hidden.
constexpr int kHiddenImages = 3;
constexpr int kImageCount = 5;
}  // namespace

TformFirmwareUpgrade::TformFirmwareUpgrade(QWidget* parent) : QWidget(parent, Qt::Window) {
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

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cmbFirmwareChoose);
    layout->addWidget(btnUpgradeFirmware);
    layout->addWidget(ProgressBar1);

    connect(cmbFirmwareChoose, &QComboBox::currentIndexChanged, this,
            [this](int) { FirmwareSelect(); });
    connect(btnUpgradeFirmware, &QPushButton::clicked, this, [this] { btnUpgradeFirmwareClick(); });
}

void TformFirmwareUpgrade::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    closeRequested_ = false;
    {
        QSignalBlocker block(cmbFirmwareChoose);
        cmbFirmwareChoose->setCurrentIndex(cmbFirmwareChoose->count() - 1);
    }
    FirmwareSelect();
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
    if (auto why = firmware::UpgradeSequence::refusal()) {
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
        case Status::Done: {
            prompt().information(kCompleteText);
            const firmware::StepResult go = sequence_.leaveBootloader();
            d2xx().ShowFTErrors = true;
            resetControls();
            hide();
            if (!go) {
                prompt().information(
                    QStringLiteral("The pedal did not acknowledge the Go command (%1). Switch "
                                   "the pedal off and on again to start the new firmware.")
                        .arg(go.error().message()));
            }
            emit upgradeCompleted();
            return;
        }
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
    const firmware::StepResult go = sequence_.leaveBootloader();
    d2xx().ShowFTErrors = true;
    if (!go) {
        prompt().information(QStringLiteral("The pedal did not acknowledge the Go command (%1). "
                                            "Switch the pedal off and on again.")
                                 .arg(go.error().message()));
    }
    emit restored();
}

}  // namespace zendal
