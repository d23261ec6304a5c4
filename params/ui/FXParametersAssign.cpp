// Assignments: the parameter, LED and function lists, the reverse boxes'
// availability, the bank-mode rule and the Assign message.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "core/Clock.h"
#include "core/Hex.h"
#include "core/Log.h"
#include "link/FrameCodec.h"
#include "params/Assignments.h"
#include "params/SettingsRecord.h"
#include "params/ui/FXParametersImpl.h"
#include "protocol/DeviceController.h"
#include "protocol/Messages.h"
#include "shell/Prompt.h"

namespace zendal {

namespace {}  // namespace

void TformFXParameters::Impl::boxAssignOnChange(int index) {
    QComboBox* combo = assignLists[index];
    if (!combo) return;
    const int k = combo->currentIndex();
    if (k < 0) return;
    QCheckBox* box = reverseBoxes[index];
    if (k != assign::kAssignNoneIndex) {
        parameterSettings().assignments[index] = k;
        if (box) box->setEnabled(true);
        userChanged(tone::assignmentOf(index), assign::assignByteForIndex(k));
        return;
    }
    parameterSettings().assignments[index] = 255;
    if (box) {
        box->setEnabled(false);
        // Sends 08 FF i unless a request runs; one step with the list's change.
        const ProgramChange untick(*this);
        if (box->isChecked()) box->setChecked(false);
    }
    userChanged(tone::assignmentOf(index), assign::kNotAssigned);
}

void TformFXParameters::Impl::boxAssignRdbcksOnChange(int readback) {
    QComboBox* combo = ledLists[readback];
    if (!combo) return;
    // "--" is stored as "none" (255) like a pedal report, so a preset file never
    // holds a byte outside the LED table.
    const int byte = assign::ledByteForIndex(combo->currentIndex());
    parameterSettings().led_assignments[readback] = byte;
    DebugPrint(hex2(byte));
    userChanged(tone::ledOf(readback), byte);
}

void TformFXParameters::Impl::boxAssignBypassOnChange() {
    if (!bypassList) return;
    const std::uint8_t byte = assign::functionByteForIndex(bypassList->currentIndex());
    parameterSettings().bypass_assignment = byte;
    DebugPrint(QStringLiteral("BypassAssignment: ") + hex2(byte));
    userChanged({tone::ControlRef::Field::BypassFunction, 0}, byte);
}

void TformFXParameters::Impl::boxAssignPresetOnChange() {
    if (!presetList) return;
    const std::uint8_t byte = assign::functionByteForIndex(presetList->currentIndex());
    parameterSettings().preset_assignment = byte;
    DebugPrint(QStringLiteral("PresetAssignment: ") + hex2(byte));
    userChanged({tone::ControlRef::Field::PresetFunction, 0}, byte);
}

void TformFXParameters::Impl::EnableRevCheckBoxes() {
    for (int i = 0; i < n(); ++i) {
        if (!reverseBoxes[i] || !assignLists[i]) continue;
        const bool usable = assignLists[i]->currentIndex() != assign::kAssignNoneIndex;
        reverseBoxes[i]->setEnabled(usable);
        DebugPrint(usable ? QStringLiteral("True") : QStringLiteral("False"));
    }
}

void TformFXParameters::Impl::setParameterAssignments() {
    const int gen = generation;
    for (int i = 0; i < n() && generation == gen; ++i) {
        if (!assignLists[i]) continue;
        assignLists[i]->setCurrentIndex(
            assign::assignIndexForByte(parameterSettings().assignments[i]));
    }
}

void TformFXParameters::Impl::setReadbackLEDs() {
    // A readback without LED shows "--", so the list (which Assign sends) agrees
    // with the model.
    const int gen = generation;
    for (int j = 0; j < r() && generation == gen; ++j) {
        if (!ledLists[j]) continue;
        ledLists[j]->setCurrentIndex(
            assign::ledIndexForByte(parameterSettings().led_assignments[j]));
    }
}

void TformFXParameters::Impl::DisableBypassAndPresetAssignInBankMode() {
    const bool bank = device->bankMode();
    // The caption follows a mode change the pedal reported while the window stayed open.
    if (presetCaption)
        presetCaption->setText(bank ? QStringLiteral("Bank Select")
                                    : QStringLiteral("Preset Change"));
    if (!bank) return;
    const int gen = generation;
    if (bypassList) bypassList->setCurrentIndex(0);  // "FS"
    if (generation == gen && bypassList) bypassList->setEnabled(false);
    if (generation == gen && presetList) presetList->setCurrentIndex(1);  // "FL"
    if (generation == gen && presetList) presetList->setEnabled(false);
}

void TformFXParameters::Impl::assignClick() {
    if (!built) {
        DebugPrint(QStringLiteral("Assign skipped: no effect parameters are shown"));
        return;
    }
    TParameterSettings& s = parameterSettings();
    QVector<int> parameters;
    for (int i = 0; i < n(); ++i) {
        const int k = assignLists[i] ? assignLists[i]->currentIndex() : -1;
        s.assignments[i] = assign::assignByteForIndex(k);
        parameters << k;
    }
    QVector<int> leds;
    for (int j = 0; j < r(); ++j) {
        const int k = ledLists[j] ? ledLists[j]->currentIndex() : -1;
        s.led_assignments[j] = assign::ledByteForIndex(k);
        leds << k;
    }
    const QString text =
        assign::assignMessage(parameters, leds, s.bypass_assignment, s.preset_assignment);
    DebugPrint(text);
    if (!prompt().confirm(QStringLiteral("Assign parameters?"))) return;
    SendHexMessage(text, assign::kAssignMessageBytes);
    emit q->assigning(true);
    clock().pause(messages::kAssignPauseMs);
    emit q->assigning(false);
}

}  // namespace zendal
