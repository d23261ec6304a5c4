// The settings request: ask the pedal for its record and spread it over the
// model, the controls and the main window's mode and MIDI state.

#include <QCheckBox>
#include <QComboBox>

#include "core/Log.h"
#include "params/Assignments.h"
#include "params/SettingsRecord.h"
#include "params/ui/FXParametersImpl.h"
#include "protocol/DeviceController.h"
#include "shell/Prompt.h"

namespace zendal {

void TformFXParameters::Impl::update_FXParameters(const SettingsRecord& rec, int received) {
    parameterSettings().param_values = rec.values;
    DebugPrint(QString::number(received));
    setItems();
}

void TformFXParameters::Impl::receive_assignments_from_device(const SettingsRecord& rec) {
    auto& w = *this;
    const int gen = generation;
    TParameterSettings& s = parameterSettings();
    s.assignments.fill(255);
    for (int i = 0; i < w.n() && w.generation == gen; ++i) {
        const int index = assign::assignIndexForByte(rec.assignmentBytes[i]);
        if (w.assignLists[i]) w.assignLists[i]->setCurrentIndex(index);
        s.assignments[i] = assign::assignByteForIndex(index);
    }
    if (w.generation != gen) return;
    if (w.bypassList) w.bypassList->setCurrentIndex(assign::functionIndexForByte(rec.bypassByte));
    if (w.generation != gen) return;
    if (w.presetList) w.presetList->setCurrentIndex(assign::functionIndexForByte(rec.presetByte));
    s.led_assignments.fill(255);
    for (int j = 0; j < w.r() && w.generation == gen; ++j) {
        const int index = assign::ledIndexForByte(rec.ledBytes[j]);
        if (w.ledLists[j]) w.ledLists[j]->setCurrentIndex(index);
        s.led_assignments[j] = assign::ledByteForIndex(index);
    }
}

void TformFXParameters::Impl::receive_reverse_data_from_device(const SettingsRecord& rec) {
    auto& w = *this;
    const int gen = generation;
    for (int i = 0; i < w.n() && w.generation == gen; ++i) {
        const ReverseByte meaning = reverseByteMeaning(rec.reverseBytes[i]);
        if (meaning == ReverseByte::Unchanged) continue;
        const bool on = meaning == ReverseByte::On;
        if (w.reverseBoxes[i]) w.reverseBoxes[i]->setChecked(on);
        parameterSettings().reverse_flags[i] = on;
    }
}

namespace {

void receive_mode(DeviceController& device, const SettingsRecord& rec) {
    switch (recordMode(rec.mode)) {
        case RecordMode::Bank:
            DebugPrint(QStringLiteral("Mode: Bank"));
            device.reportMode(true, rec.number <= 2 ? rec.number : -1);
            DebugPrint(QStringLiteral("Bank Num: %1").arg(rec.number));
            break;
        case RecordMode::Preset:
            DebugPrint(QStringLiteral("Mode: Preset"));
            device.reportMode(false, -1);
            DebugPrint(QStringLiteral("Preset Num: %1").arg(rec.number));
            break;
        case RecordMode::Other:
            break;
    }
}

void receive_midi_channel(DeviceController& device, const SettingsRecord& rec) {
    device.reportMidiChannel(midiMenuIndex(rec.midi));
    DebugPrint(QStringLiteral("MIDI channel: %1").arg(rec.midi));
}

}  // namespace

bool TformFXParameters::Impl::requestSettings() {
    lastRequestApplied = false;
    if (!built) {
        DebugPrint(QStringLiteral("settings request skipped: no effect parameters are shown"));
        return false;
    }
    const int gen = generation;
    const int count = n();
    // What the request shows is the pedal's, not a user step.
    const ProgramChange program(*this);
    emit q->settingsRequestStarted();
    SettingsReplyResult reply;
    if (connection) {
        // Knob reports inside the reply are handed on, not lost.
        reply = requestSettingsRecord(*connection, count);
    } else {
        sendSettingsRequest(count);
        reply = receiveSettingsRecord(count);
    }

    if (generation != gen) {
        // The window was closed while waiting: its controls are gone, and so
        // is the Request button's reason to be enabled.
        DebugPrint(QStringLiteral("settings request ended: the parameter window was closed"));
        emit q->settingsRequestEnded(false, false);
        return false;
    }
    if (!reply.record) {
        // Nothing of an old or cut reply may reach the controls (they would send it back).
        DebugPrint(reply.error);
        emit q->settingsRequestEnded(false, true);
        prompt().information(reply.error);
        return false;
    }

    const SettingsRecord& rec = *reply.record;
    update_FXParameters(rec, reply.received);
    if (generation == gen) receive_assignments_from_device(rec);
    if (generation == gen) receive_reverse_data_from_device(rec);
    // Switching to bank mode may close this window (outside a request).
    receive_mode(*device, rec);
    receive_midi_channel(*device, rec);
    if (generation == gen) {
        q->EnableDisableControls(true);
        EnableRevCheckBoxes();
    }
    emit q->settingsRequestEnded(true, generation == gen);
    if (generation == gen) DisableBypassAndPresetAssignInBankMode();
    if (generation == gen) {
        // The pedal's settings are what it keeps: the marks start from them.
        values.applyRecord(rec);
        syncFromControls();
        stored.remember(values.current());
        refreshTone();
    }
    lastRequestApplied = generation == gen;
    return lastRequestApplied;
}

}  // namespace zendal
