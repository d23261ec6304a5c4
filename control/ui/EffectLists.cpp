// The category list and the effects list: choosing an effect and everything
// that sets off, and finding the pedal's effect in the lists.
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

#include "control/ui/TformMain.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "shell/Prompt.h"

namespace zendal {

namespace {
const QString kImpulseResponse = QStringLiteral("Impulse Response");

QString irHowTo() {
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("How to load an impulse response:") + crlf +
           QStringLiteral("1) Select an IR load algorithm in Impulse Response category") + crlf +
           QStringLiteral("2) Go to File and click Load IR, choose the desired WAV file") + crlf +
           QStringLiteral("3) Click UPLOAD SELECTED EFFECT button") + crlf +
           QStringLiteral("Works best with 48kHz sampling rate at a bitrate of 24 or 32 bit");
}

bool barred(const QListWidgetItem* item) {
    return !(item->flags() & Qt::ItemIsEnabled);
}
}  // namespace

void TformMain::create_categories() {
    lstCategory->clear();
    for (const EffectCategory& category : effect_categories())
        lstCategory->addItem(category.displayName);
    // A click on a barred effect still explains why it cannot be chosen.
    lstEffects->viewport()->installEventFilter(this);
}

bool TformMain::readCategory(int index, QStringList* lines) {
    const auto& categories = effect_categories();
    lines->clear();
    if (index < 0 || index >= categories.size()) return false;
    QString error;
    *lines = read_file_from_stream(categories[index].resourceName.toLower(), &error);
    if (lines->isEmpty() && !error.isEmpty()) {
        // The list stays empty rather than showing another category's effects.
        prompt().information(error);
        return false;
    }
    return true;
}

void TformMain::showCategory(int index) {
    const auto& categories = effect_categories();
    if (index < 0 || index >= categories.size()) return;
    lstEffects->clear();
    QStringList lines;
    readCategory(index, &lines);
    get_effects_name(lines);
    const QString name = categories[index].displayName;
    device_.setCurrentCategory(name);
    if (name == kImpulseResponse) {
        prompt().information(irHowTo());
    } else {
        btnOpenEffect->setEnabled(true);
    }
}

void TformMain::get_effects_name(const QStringList& lines) {
    const bool bank = device_.bankMode();
    for (const QString& line : lines) {
        auto* item = new QListWidgetItem(line, lstEffects);
        if (!bank) continue;
        const int size = get_effect_size(line);
        if (size > kBankModeSizeLimit) {
            DebugPrint(QStringLiteral("size of ") + line +
                       QStringLiteral(" exceeds %1 bytes").arg(kBankModeSizeLimit));
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
        }
    }
}

bool TformMain::search_effect_name(const QStringList& lines, int categoryIndex) {
    const QString& wanted = device_.pedalEffectName();
    const int row = int(lines.indexOf(wanted));
    if (row < 0) return false;
    lstCategory->setCurrentRow(categoryIndex);
    if (row < lstEffects->count()) lstEffects->setCurrentRow(row);
    return true;
}

bool TformMain::effect_from_list() {
    const int id = device_.pedalEffectNumber();
    QString error;
    const auto entry = effect_list_entry(id, &error);
    if (!entry) {
        DebugPrint(error);
        prompt().information(
            id >= 0 && id < kEffectIdCount
                ? error
                : QStringLiteral("The pedal holds effect number %1, which is not in the "
                                 "editor's effect list.")
                      .arg(id));
        return false;
    }
    DebugPrint(entry->line);
    device_.setPedalEffectName(entry->displayName);
    DebugPrint(QStringLiteral("effetto ottenuto dalla lista: ") + device_.pedalEffectName());
    device_.setSelectedEffect(device_.pedalEffectName(), true);
    btnRequest->setEnabled(true);
    btnRequest->setFocus();
    return true;
}

void TformMain::effetto_cliccato(QListWidgetItem* item) {
    if (!item) return;
    // Unstored changes of the shown effect: Store, Discard or Cancel first.
    if (params_ && params_->isVisible() && !params_->confirmLeavingUnstored()) {
        // The list keeps showing the effect that stays.
        const auto kept = lstEffects->findItems(device_.selectedEffectName(), Qt::MatchExactly);
        if (kept.isEmpty())
            lstEffects->clearSelection();
        else
            lstEffects->setCurrentItem(kept.first());
        return;
    }
    if (swLive->isChecked() && device_.linked()) {
        SetLive(false);
        const QSignalBlocker quiet(swLive);
        swLive->setChecked(false);
    }
    lblLive->setEnabled(false);

    if (device_.bankMode() && barred(item)) {
        if (params_ && params_->isVisible()) params_->closeWindow();
        prompt().information(QStringLiteral("This effect is not available in Bank Mode"));
        btnUpload->setEnabled(false);
        btnStoreSettingsOnPedal->setEnabled(false);
        return;
    }

    DebugPrint(QStringLiteral("efx index :%1").arg(lstEffects->row(item)));
    const QString chosen = item->text();
    DebugPrint(QStringLiteral("selected effect name: ") + chosen);
    if (!chosen.isEmpty()) btnGetFXInfo->setEnabled(true);

    const bool onPedal = chosen == device_.pedalEffectName();
    device_.setSelectedEffect(chosen, onPedal);
    if (onPedal) {
        btnRequest->setEnabled(true);
    } else {
        btnRequest->setEnabled(false);
        btnAssign->setEnabled(false);
        btnStoreSettingsOnPedal->setEnabled(false);
    }

    openParameterWindow(chosen, 420, false);
    // Closing the previous window disabled Request; the pedal's effect keeps it.
    if (device_.selectedIsOnPedal()) btnRequest->setEnabled(true);

    action(QStringLiteral("menuLoadIR"))->setEnabled(device_.currentCategory() == kImpulseResponse);
    btnOpenEffect->setEnabled(true);
    btnUpload->setEnabled(true);
    emit effectChosen(device_.selectedEffectName());
}

void TformMain::move_up_or_down(int key) {
    const int row = lstEffects->currentRow();
    if (key == Qt::Key_Up) {
        DebugPrint(QStringLiteral("arrow up pressed"));
        if (row > 0) lstEffects->setCurrentRow(row - 1);
    } else if (key == Qt::Key_Down) {
        DebugPrint(QStringLiteral("arrow down pressed"));
        if (row < lstEffects->count() - 1) lstEffects->setCurrentRow(row + 1);
    }
}

}  // namespace zendal
