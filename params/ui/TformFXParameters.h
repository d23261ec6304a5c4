#pragma once

#include <QByteArray>
#include <QWidget>

#include "params/ControlDescriptor.h"

namespace zendal {

class DeviceController;
class PedalConnection;

// The parameter window: built at run time from the chosen effect's control
// descriptor each time it is shown, destroyed when closed. It follows the
// device controller (the effect on the pedal, the mode, knob reports, busy)
// and tells what it did through its signals; the main window enables its own
// controls from them.
class TformFXParameters : public QWidget {
    Q_OBJECT
  public:
    explicit TformFXParameters(DeviceController& device, QWidget* parent = nullptr);
    // The settings request goes through the editor's pedal connection.
    void setConnection(PedalConnection* connection);
    ~TformFXParameters() override;

    // Closes the window if showing, places it at topLeft, builds it for
    // the controller's selected effect, shows it, sets caption and size
    // (height (N + R + 4) * 25 + 10; width 420 unless width < 0, which keeps
    // the current width). Returns false, and shows nothing, when the effect's
    // descriptor or image is refused; *error then says why.
    bool openFor(const QString& caption, QPoint topLeft, int width, QString* error);
    // Closes the window (destroys its controls; disables Request and Assign).
    void closeWindow();

    void EnableDisableControls(bool enabled);
    void bypass(bool on);  // 0D 01 / 0D 00, nothing logged

    const TControlDescriptor& descriptor() const;
    bool isBuilt() const;

    // The settings request with its five appliers. A reply that does not come,
    // or is shorter than the record, applies nothing: the user is told, and the
    // receive tick and the Request button come back.
    void request_settings();
    // Whether the last request_settings applied a record.
    bool lastRequestApplied() const;
    // A control report of the pedal (AA kind index hi lo).
    void ApplyControlReport(const QByteArray& message);

    // Main-window actions that work on this window.
    void btnAssignClick();              // "Assign"
    void menuSaveConfigurationClick();  // "Save Configuration"
    void menuLoadConfigurationClick();  // "Load Configuration"
    // The same load for a file chosen elsewhere (the preset library).
    void loadConfigurationFile(const QString& path);

    // Show the model (TParameterSettings) in the controls; a control whose
    // state changes raises its change handling like a user change.
    void setItems();
    void setReverseParameters();
    void setParameterAssignments();
    void setReadbackLEDs();
    void EnableRevCheckBoxes();
    void DisableBypassAndPresetAssignInBankMode();

    // Tone editing. Undo and redo send what the controls would have sent.
    void undo();  // Ctrl+Z
    void redo();  // Ctrl+Shift+Z
    void revertToStored();
    // "Store Settings On Pedal" succeeded: what the window shows is stored now.
    void settingsStored();
    bool hasUnstoredChanges() const;
    // Before another effect replaces this one: with unstored changes, asks
    // Store / Discard / Cancel. False when the user cancels (or the store fails).
    bool confirmLeavingUnstored();

  signals:
    void windowClosed();
    // The controls are gone (closed, or closed to be built again): Request
    // and Assign have nothing to work on.
    void controlsDestroyed();
    // A settings request begins; it ends with settingsRequestEnded: `applied`
    // when the record reached the model, `stillShown` when the controls it was
    // for are still there.
    void settingsRequestStarted();
    void settingsRequestEnded(bool applied, bool stillShown);
    // The pedal takes in an assignment message (true), and is done (false).
    void assigning(bool busy);
    // The controls show the model's values again.
    void valuesShown();
    // The settings were read and offered to be saved as a preset file.
    void configurationSaved();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Impl;
    Impl* d_;
};

}  // namespace zendal
