#pragma once

// The parameter window's private state and operations, shared by the files
// that build it, handle its controls, request settings, assign and keep presets.

#include <QPointer>
#include <array>

#include "params/ControlDescriptor.h"
#include "params/ui/TformFXParameters.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;

namespace zendal {

class DeviceController;
class PedalConnection;

struct SettingsRecord;

struct TformFXParameters::Impl {
    static constexpr int kSlots = TControlDescriptor::kMaxParams;
    static constexpr int kReadbackSlots = TControlDescriptor::kMaxReadbacks;

    TformFXParameters* q = nullptr;
    DeviceController* device = nullptr;
    PedalConnection* connection = nullptr;  // the pedal link, once the editor hands it over
    TControlDescriptor descriptor;
    bool built = false;
    // Changes whenever the controls are built or destroyed, so an exchange that
    // processed events while waiting notices the window went away.
    int generation = 0;
    bool lastRequestApplied = false;

    // Every run-time control lives in this container; destroying it destroys them.
    QPointer<QWidget> panel;
    std::array<QSlider*, kSlots> sliders{};
    std::array<QCheckBox*, kSlots> switches{};
    std::array<QPushButton*, kSlots> buttons{};
    std::array<QComboBox*, kSlots> multis{};
    std::array<QLabel*, kSlots> captions{};
    std::array<QLabel*, kSlots> stateCaptions{};
    std::array<QComboBox*, kSlots> assignLists{};
    std::array<QCheckBox*, kSlots> reverseBoxes{};
    std::array<QLabel*, kReadbackSlots> readbackCaptions{};
    std::array<QComboBox*, kReadbackSlots> ledLists{};
    QComboBox* bypassList = nullptr;
    QComboBox* presetList = nullptr;
    QLabel* bypassCaption = nullptr;
    QLabel* presetCaption = nullptr;
    QFrame* separator = nullptr;
    std::array<bool, kSlots> button_toggle{};

    int n() const { return descriptor.param_count; }
    int r() const { return descriptor.readback_count; }

    // Building (FXParametersBuild.cpp).
    void build();
    void destroyControls();

    // Value controls (FXParametersHandlers.cpp).
    void PotParameterChange(int index);
    void SwitchParameterOnSwitch(int index);
    void ButtonParameterClick(int index);
    void MultiSwitchOnChange(int index);
    void ReverseCheckBoxOnClick(int index);
    void send_pot(int index);
    void send_switch(int index);
    void send_button(int index);
    void send_multiswitch(int index);
    void update_state_caption(int index);
    void setItems();
    void setReverseParameters();
    void applyControlReport(const QByteArray& m);

    // Settings request (FXParametersRequest.cpp).
    bool requestSettings();
    void update_FXParameters(const SettingsRecord& rec, int received);
    void receive_assignments_from_device(const SettingsRecord& rec);
    void receive_reverse_data_from_device(const SettingsRecord& rec);

    // Assignments (FXParametersAssign.cpp).
    void boxAssignOnChange(int index);
    void boxAssignRdbcksOnChange(int readback);
    void boxAssignBypassOnChange();
    void boxAssignPresetOnChange();
    void EnableRevCheckBoxes();
    void setParameterAssignments();
    void setReadbackLEDs();
    void DisableBypassAndPresetAssignInBankMode();
    void assignClick();

    // Preset files (FXParametersPresets.cpp).
    bool worksOnPedalEffect();
    void saveConfiguration();
    // From the open dialog, or from `chosen` (the preset library) without it.
    void loadConfiguration(const QString& chosen = {});
    void SaveTextWithDialog(const QString& text, QString* nameOfFile);
    QString open_preset_file();
    QString readChosenPresetFile(const QString& path);
};

}  // namespace zendal
