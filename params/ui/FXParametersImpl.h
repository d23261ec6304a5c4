#pragma once

// The parameter window's private state and operations, shared by the files
// that build it, handle its controls, request settings, assign and keep presets.

#include <QPointer>
#include <array>
#include <optional>

#include "params/AbCompare.h"
#include "params/AssignmentMatrix.h"
#include "params/ControlDescriptor.h"
#include "params/ParameterHistory.h"
#include "params/StoredValues.h"
#include "params/ui/TformFXParameters.h"

class QAction;
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

    // Tone editing: the values the controls show, the user's steps, the
    // stored values and the A/B slots.
    tone::ParameterValues values;
    tone::ParameterHistory history{values};
    tone::StoredValues stored;
    tone::AbCompare ab;
    int quiet = 0;        // above 0 while the program, not the user, changes controls
    bool usable = true;   // the last EnableDisableControls
    QString baseCaption;  // the opener's caption, without the unstored note
    QAction* undoAction = nullptr;
    QAction* redoAction = nullptr;
    QAction* revertAction = nullptr;
    QPushButton* editButton = nullptr;
    QPushButton* slotA = nullptr;
    QPushButton* slotB = nullptr;
    QPushButton* copyButton = nullptr;
    QPushButton* matrixButton = nullptr;
    QLabel* notesLabel = nullptr;
    QWidget* matrix = nullptr;
    std::optional<tone::AssignmentMatrix> matrixShown;  // what the matrix's cells show
    std::array<QLabel*, kSlots> valueMarks{};
    std::array<QLabel*, kSlots> listMarks{};
    std::array<QLabel*, kReadbackSlots> ledMarks{};
    QLabel* bypassMark = nullptr;
    QLabel* presetMark = nullptr;

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

    // Tone editing (FXParametersTone.cpp).
    // The program changes controls meanwhile: their change handlers record no step.
    struct ProgramChange {
        Impl& d;
        explicit ProgramChange(Impl& impl) : d(impl) { ++d.quiet; }
        ~ProgramChange() { --d.quiet; }
    };
    void createToneActions();
    void buildToneTools();
    void resetTone();
    tone::PanelSnapshot shownSnapshot() const;
    void userChanged(tone::ControlRef ref, qint64 value, bool dragging = false);
    void syncFromControls();
    void showSnapshot(const tone::PanelSnapshot& s);
    void sendPlanned(const QVector<tone::PlannedMessage>& planned);
    void refreshTone();
    void refreshMatrix();
    bool canSendNow() const;
    void undo();
    void redo();
    void revertToStored();
    void selectSlot(tone::AbSlot slot);
    void copyToOtherSlot();
    void showMatrix(bool on);
    void settingsStored();
    bool storeOnPedal();
    bool confirmLeavingUnstored();

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
