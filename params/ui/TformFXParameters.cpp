#include "params/ui/TformFXParameters.h"

#include <QCloseEvent>

#include "core/Log.h"
#include "link/FrameCodec.h"
#include "params/EffectDescriptor.h"
#include "params/PanelGeometry.h"
#include "params/ui/FXParametersImpl.h"
#include "protocol/DeviceController.h"
#include "protocol/Messages.h"

namespace zendal {

TformFXParameters::TformFXParameters(DeviceController& device, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint),
      d_(new Impl) {
    d_->q = this;
    d_->device = &device;
    setObjectName(QStringLiteral("formFXParameters"));
    setWindowTitle(QStringLiteral("FX Parameters"));
    // Only the effect on the pedal is live: a knob report moves nothing in the
    // window of another effect.
    connect(&device, &DeviceController::controlMoved, this, [this](const QByteArray& report) {
        if (d_->built && d_->device->selectedIsOnPedal()) ApplyControlReport(report);
    });
    // One thing at a time: nothing here writes while the pedal answers.
    connect(&device, &DeviceController::busyChanged, this,
            [this](bool busy) { setEnabled(!busy); });
}

TformFXParameters::~TformFXParameters() {
    d_->destroyControls();
    delete d_;
}

bool TformFXParameters::openFor(const QString& caption, QPoint topLeft, int width, QString* error) {
    if (isVisible() || d_->built) closeWindow();
    TControlDescriptor descriptor;
    QString why;
    if (!loadEffectDescriptor(d_->device->selectedEffectName(), &descriptor, &why)) {
        DebugPrint(why);
        if (error) *error = why;
        return false;
    }
    d_->descriptor = descriptor;
    {
        const Impl::ProgramChange building(*d_);
        d_->build();
    }
    move(topLeft);
    if (!caption.isEmpty()) setWindowTitle(caption);
    d_->resetTone();
    const int w = width < 0 ? this->width() : (width > 0 ? width : geometry::kWindowWidth);
    setFixedSize(w, geometry::windowHeight(d_->n(), d_->r()));
    d_->panel->setGeometry(rect());
    show();
    return true;
}

void TformFXParameters::closeWindow() {
    if (isVisible()) {
        close();
    } else if (d_->built) {
        d_->destroyControls();
        emit controlsDestroyed();
    }
}

void TformFXParameters::closeEvent(QCloseEvent* event) {
    // The user closing the window is asked about unstored changes; the
    // program closing it (another effect, bank mode) asked before, if at all.
    if (event->spontaneous() && !d_->confirmLeavingUnstored()) {
        event->ignore();
        return;
    }
    d_->destroyControls();
    emit controlsDestroyed();
    emit windowClosed();
    event->accept();
}

void TformFXParameters::setConnection(PedalConnection* connection) {
    d_->connection = connection;
}

void TformFXParameters::EnableDisableControls(bool enabled) {
    if (!d_->panel) return;
    for (QWidget* w : d_->panel->findChildren<QWidget*>()) w->setEnabled(enabled);
    d_->usable = enabled;
    d_->refreshTone();
}

void TformFXParameters::bypass(bool on) {
    SendHexMessage(messages::bypass(on), 2);
}

const TControlDescriptor& TformFXParameters::descriptor() const {
    return d_->descriptor;
}

bool TformFXParameters::isBuilt() const {
    return d_->built;
}

void TformFXParameters::request_settings() {
    d_->requestSettings();
}

bool TformFXParameters::lastRequestApplied() const {
    return d_->lastRequestApplied;
}

void TformFXParameters::ApplyControlReport(const QByteArray& message) {
    d_->applyControlReport(message);
}

void TformFXParameters::btnAssignClick() {
    d_->assignClick();
}

void TformFXParameters::menuSaveConfigurationClick() {
    d_->saveConfiguration();
}

void TformFXParameters::menuLoadConfigurationClick() {
    d_->loadConfiguration();
}

void TformFXParameters::loadConfigurationFile(const QString& path) {
    if (!path.isEmpty()) d_->loadConfiguration(path);
}

// The program showing the model is no user step; the values follow the controls.
void TformFXParameters::setItems() {
    const Impl::ProgramChange program(*d_);
    d_->setItems();
    d_->syncFromControls();
}

void TformFXParameters::setReverseParameters() {
    const Impl::ProgramChange program(*d_);
    d_->setReverseParameters();
    d_->syncFromControls();
}

void TformFXParameters::setParameterAssignments() {
    const Impl::ProgramChange program(*d_);
    d_->setParameterAssignments();
    d_->syncFromControls();
}

void TformFXParameters::setReadbackLEDs() {
    const Impl::ProgramChange program(*d_);
    d_->setReadbackLEDs();
    d_->syncFromControls();
}

void TformFXParameters::EnableRevCheckBoxes() {
    d_->EnableRevCheckBoxes();
}

void TformFXParameters::DisableBypassAndPresetAssignInBankMode() {
    const Impl::ProgramChange program(*d_);
    d_->DisableBypassAndPresetAssignInBankMode();
    d_->syncFromControls();
    d_->refreshTone();
}

void TformFXParameters::undo() {
    d_->undo();
}

void TformFXParameters::redo() {
    d_->redo();
}

void TformFXParameters::revertToStored() {
    d_->revertToStored();
}

void TformFXParameters::settingsStored() {
    d_->settingsStored();
}

bool TformFXParameters::confirmLeavingUnstored() {
    return d_->confirmLeavingUnstored();
}

bool TformFXParameters::hasUnstoredChanges() const {
    return d_->built && d_->stored.hasUnstoredChanges(d_->descriptor, d_->values.current());
}

}  // namespace zendal
