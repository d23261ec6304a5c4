// Preset files: Save Configuration and Load Configuration.

#include <QDir>

#include "core/Log.h"
#include "params/Assignments.h"
#include "params/PresetFile.h"
#include "params/SettingsRecord.h"
#include "params/ui/FXParametersImpl.h"
#include "protocol/DeviceController.h"
#include "shell/Prompt.h"

namespace zendal {

namespace {

const QString kTitleSave = QStringLiteral("Save Preset File");
const QString kTitleOpen = QStringLiteral("Open Preset File");
const QString kFilter = QStringLiteral("Preset files (*.txt)");
const QString kSuffix = QStringLiteral("txt");

QString folderForDialog() {
    QString error;
    if (!preset::ensurePresetFolder(&error)) DebugPrint(error);
    return preset::presetFolder();
}

}  // namespace

// Both work on the effect the pedal holds: its descriptor decides the layout of
// the record and of the file, and loaded values go out with its addresses.
bool TformFXParameters::Impl::worksOnPedalEffect() {
    if (built && device->selectedIsOnPedal()) return true;
    prompt().information(QStringLiteral(
        "The parameter window does not show the effect stored on the pedal. Choose \"Get FX "
        "Stored on Pedal\" first."));
    return false;
}

void TformFXParameters::Impl::saveConfiguration() {
    if (!worksOnPedalEffect()) return;
    // Reads the pedal first; a failed request was shown and leaves nothing to save.
    if (!requestSettings()) return;
    const QString text = preset::composePresetText(
        device->pedalEffectNumber(), device->pedalEffectVersion(), parameterSettings(), n(), r());
    // A copy: the chosen effect keeps its name whatever the file is called.
    QString nameOfFile = device->selectedEffectName();
    SaveTextWithDialog(text, &nameOfFile);
    emit q->configurationSaved();
}

void TformFXParameters::Impl::SaveTextWithDialog(const QString& text, QString* nameOfFile) {
    const QString folder = folderForDialog();
    const QString chosen = prompt().saveFileName(kTitleSave, kFilter, folder, *nameOfFile, kSuffix);
    if (chosen.isEmpty()) return;
    *nameOfFile = preset::savePathFor(chosen);
    QString error;
    if (preset::writePresetFile(*nameOfFile, text, &error)) {
        prompt().information(QStringLiteral("File saved successfully: ") + *nameOfFile);
    } else {
        prompt().information(QStringLiteral("Error saving file: ") + error);
    }
}

QString TformFXParameters::Impl::open_preset_file() {
    const QString folder = folderForDialog();
    const QString path = prompt().openFileName(kTitleOpen, kFilter, folder);
    if (path.isEmpty()) return {};
    return readChosenPresetFile(path);
}

QString TformFXParameters::Impl::readChosenPresetFile(const QString& path) {
    QString text;
    QString error;
    if (!preset::readPresetFile(path, &text, &error)) {
        prompt().information(QStringLiteral("Error loading file: ") + error);
        return {};
    }
    prompt().information(QStringLiteral("File loaded successfully: ") + path);
    return text;
}

void TformFXParameters::Impl::loadConfiguration(const QString& chosen) {
    if (!worksOnPedalEffect()) return;
    const QString text = chosen.isEmpty() ? open_preset_file() : readChosenPresetFile(chosen);
    DebugPrint(text);
    if (text.isEmpty()) return;

    const preset::HeaderCheck header = preset::checkHeader(
        text, {device->pedalEffectNumber(), device->pedalEffectVersion(), n(), r()});
    if (!header.ok) {
        for (const QString& message : header.messages) prompt().information(message);
        return;
    }
    // Every field is checked before anything reaches the controls (and the pedal).
    QString error;
    const auto contents = preset::readBody(text, descriptor, &error);
    if (!contents) {
        DebugPrint(error);
        prompt().information(error);
        return;
    }

    const int gen = generation;
    // The whole load is one step, whichever way it ends.
    struct OneStep {
        Impl& d;
        int gen;
        tone::PanelSnapshot before;
        ProgramChange program;
        ~OneStep() {
            if (d.generation != gen) return;
            d.syncFromControls();
            d.history.recordSince(before, QStringLiteral("Load Configuration"));
            d.refreshTone();
        }
    } step{*this, gen, values.current(), ProgramChange(*this)};
    TParameterSettings& s = parameterSettings();
    preset::logValues(*contents);
    s.param_values = contents->values;
    setItems();
    if (generation != gen) return;

    preset::logAssignments(*contents);
    for (int i = 0; i < n(); ++i)
        s.assignments[i] =
            assign::assignByteForIndex(assign::assignIndexForByte(contents->assignments[i]));
    setParameterAssignments();
    if (generation != gen) return;

    preset::logReverse(*contents);
    for (int i = 0; i < n(); ++i) {
        if (contents->reverse[i] == u'0') s.reverse_flags[i] = false;
        if (contents->reverse[i] == u'1') s.reverse_flags[i] = true;
    }
    setReverseParameters();
    if (generation != gen || r() == 0) return;

    preset::logLeds(*contents);
    for (int j = 0; j < r(); ++j)
        s.led_assignments[j] = assign::ledByteForIndex(assign::ledIndexForByte(contents->leds[j]));
    setReadbackLEDs();
}

}  // namespace zendal
