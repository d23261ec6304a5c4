#pragma once

namespace zendal {

// The two flags the link layer and the firmware workflow still read
// process-wide. Everything else the editor knows about the pedal is kept by
// the device controller (protocol/DeviceController.h), which keeps these two
// in step when the windows change them.
struct EditorState {
    // The firmware workflow owns the line (the pedal is, or is to be, in its
    // bootloader): replies are read in the bootloader's form.
    bool UpgradeMode = false;
    // A pedal was linked in this run.
    bool Linked = false;

    void reset() { *this = EditorState(); }
};

EditorState& editorState();

}  // namespace zendal
