#include "effects/ui/TformImpulseResponse.h"

#include <QFileInfo>
#include <memory>

#include "core/Log.h"
#include "effects/ui/TformImpulseResponsePreview.h"
#include "protocol/DeviceController.h"
#include "shell/Prompt.h"

namespace zendal {

TformImpulseResponse::TformImpulseResponse(DeviceController& device, QWidget* parent)
    : QWidget(parent, Qt::Window), device_(device) {
    setObjectName(QStringLiteral("formImpulseResponse"));
    setWindowTitle(QStringLiteral("IR"));
}

void TformImpulseResponse::menuLoadIRClick() {
    load_impulse_response();
}

bool TformImpulseResponse::load_impulse_response() {
    const QString effect = device_.selectedEffectName();
    // Nothing to fill without an impulse-response effect: say so before the
    // user goes looking for a file.
    if (!irLayoutFor(effect)) {
        prompt().information(prepareImpulseResponseFromData({}, {}, effect).error);
        return false;
    }
    if (preview_) {
        preview_->raise();
        return false;
    }

    const QString path = prompt().openFileName(QStringLiteral("Open"),
                                               QStringLiteral("Wave Files (*.wav)"), lastFolder_);
    if (path.isEmpty()) return false;
    lastFolder_ = QFileInfo(path).absolutePath();

    // The file is read once; every change of choice in the preview prepares
    // it again from memory.
    auto source = std::make_shared<const IrSource>(readIrSource(path));
    const IrImport first = prepareImpulseResponse(*source, effect, std::nullopt, options_);
    if (!first.ok()) {
        for (const QString& line : first.log) DebugPrint(line);
        prompt().information(first.error);
        return false;
    }

    auto prepare = [source, effect](const IrOptions& options) {
        return prepareImpulseResponse(*source, effect, std::nullopt, options);
    };
    preview_ = new TformImpulseResponsePreview(source->fileName, prepare, options_, this);
    preview_->setAttribute(Qt::WA_DeleteOnClose);
    preview_->setWindowModality(Qt::ApplicationModal);
    connect(preview_, &TformImpulseResponsePreview::optionsChanged, this,
            [this](const IrOptions& options) { options_ = options; });
    connect(preview_, &QDialog::accepted, this, [this] {
        if (preview_ && preview_->current().ok()) adopt(preview_->current());
    });
    preview_->show();
    return true;
}

void TformImpulseResponse::adopt(const IrImport& import) {
    for (const QString& line : import.log) DebugPrint(line);
    adoptPreparedImpulseResponse(import, device_);
    emit impulseResponsePrepared(import.effect);
}

}  // namespace zendal
