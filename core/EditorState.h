#pragma once

#include <QString>

namespace zendal {

// What the editor knows about the pedal and the user's choice of effect. The
// main window owns it; the parameter window, the upload, the impulse-response
// import and the firmware upgrade read it. One instance for the process.
struct EditorState {
    // Device state (written by the device-information query).
    int pedal_effect_number = 0;
    int pedal_effect_version = 0;
    int pedal_firmware_version = 0;
    int RequiredFirmwareVersion = 0;

    // Choice of effect.
    QString selected_effect_name;
    QString pedal_effect_name;
    QString current_category;
    bool selected_is_on_pedal = false;

    // Prepared impulse-response image and the effect it was prepared for.
    QString prepared_ir_image;
    QString prepared_ir_effect;

    // Modes and guards.
    bool bank_mode = false;
    bool request_in_progress = false;
    bool pedal_move_in_progress = false;
    bool UpgradeMode = false;
    bool Linked = false;

    void reset() { *this = EditorState(); }
};

EditorState& editorState();

}  // namespace zendal
