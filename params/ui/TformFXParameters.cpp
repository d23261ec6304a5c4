// Placeholder until the parameter window lands; replaced wholesale.
#include "params/ui/TformFXParameters.h"

#include <QCloseEvent>

namespace zendal {

struct TformFXParameters::Impl {
    MainWindowHooks* hooks = nullptr;
    TControlDescriptor descriptor;
    bool built = false;
};

TformFXParameters::TformFXParameters(MainWindowHooks* hooks, QWidget* parent)
    : QWidget(parent, Qt::Window), d_(new Impl) {
    d_->hooks = hooks;
    setWindowTitle(QStringLiteral("FX Parameters"));
}

TformFXParameters::~TformFXParameters() { delete d_; }

bool TformFXParameters::openFor(const QString& caption, QPoint topLeft, int width, QString*) {
    move(topLeft);
    setWindowTitle(caption);
    if (width > 0) resize(width, height());
    show();
    d_->built = true;
    return true;
}

void TformFXParameters::closeWindow() { close(); }
void TformFXParameters::EnableDisableControls(bool) {}
void TformFXParameters::bypass(bool) {}
const TControlDescriptor& TformFXParameters::descriptor() const { return d_->descriptor; }
bool TformFXParameters::isBuilt() const { return d_->built; }
void TformFXParameters::request_settings() {}
void TformFXParameters::ApplyControlReport(const QByteArray&) {}
void TformFXParameters::btnAssignClick() {}
void TformFXParameters::menuSaveConfigurationClick() {}
void TformFXParameters::menuLoadConfigurationClick() {}

void TformFXParameters::closeEvent(QCloseEvent* event) {
    d_->built = false;
    emit windowClosed();
    event->accept();
}

}  // namespace zendal
