// File ▸ Preset Library: the preset folder in a window of its own, loading
// through the parameter window's Load Configuration.
#include "control/ui/TformMain.h"
#include "core/Log.h"
#include "params/PresetFile.h"
#include "params/ui/PresetLibraryWindow.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "shell/Prompt.h"

namespace zendal {

void TformMain::menuPresetLibraryClick() {
    if (!presetLibrary_) {
        QString error;
        if (!preset::ensurePresetFolder(&error)) DebugPrint(error);
        auto* window = new PresetLibraryWindow(preset::presetFolder(), this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setPedalEffect([this] {
            return device_.pedalEffectName().isEmpty() ? -1 : device_.pedalEffectNumber();
        });
        window->setLoader([this](const QString& path) {
            if (!params_) {
                prompt().information(QStringLiteral(
                    "The parameter window does not show the effect stored on the pedal. Choose "
                    "\"Get FX Stored on Pedal\" first."));
                return;
            }
            if (!refusedWhileBusy()) params_->loadConfigurationFile(path);
        });
        presetLibrary_ = window;
    }
    presetLibrary_->show();
    presetLibrary_->raise();
    presetLibrary_->activateWindow();
}

}  // namespace zendal
