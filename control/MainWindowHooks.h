#pragma once

#include <QRect>

namespace zendal {

// What the parameter window, the settings request, the preset files and the
// firmware upgrade may do to the main window. The main window implements it;
// tests may implement it with a recorder.
class MainWindowHooks {
  public:
    virtual ~MainWindowHooks() = default;

    // The 1 ms receive tick (PollPedal).
    virtual void stopReceiveTick() = 0;
    virtual void startReceiveTick() = 0;

    // Main-window controls.
    virtual void setRequestEnabled(bool enabled) = 0;             // btnRequest
    virtual void setAssignEnabled(bool enabled) = 0;              // btnAssign
    virtual void setStoreSettingsEnabled(bool enabled) = 0;       // btnStoreSettingsOnPedal
    virtual void setUploadEnabled(bool enabled) = 0;              // btnUpload
    virtual void setLiveLabelEnabled(bool enabled) = 0;           // lblLive
    virtual void setConfigurationMenusEnabled(bool enabled) = 0;  // Load/Save Configuration
    virtual void EnableEditorObjects(bool enabled) = 0;

    // Mode and MIDI state reported by the pedal.
    virtual void SetBankMode() = 0;
    virtual void SetPresetMode() = 0;
    virtual void selectBank(int bank) = 0;             // 0..2 selects Bank I..III; else none
    virtual void checkMidiChannelItem(int index) = 0;  // 0 OMNI, 1..16; -1 unticks all

    // Where the main window is (frame geometry), for placing the other windows.
    virtual QRect mainGeometry() const = 0;
};

}  // namespace zendal
