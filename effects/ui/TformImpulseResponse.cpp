#include "effects/ui/TformImpulseResponse.h"

#include <QFileInfo>

#include "core/EditorState.h"
#include "core/Log.h"
#include "effects/ImpulseResponse.h"
#include "shell/Prompt.h"

namespace zendal {

TformImpulseResponse::TformImpulseResponse(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("formImpulseResponse"));
    setWindowTitle(QStringLiteral("IR"));
}

void TformImpulseResponse::menuLoadIRClick() {
    load_impulse_response();
}

bool TformImpulseResponse::load_impulse_response() {
    const QString effect = editorState().selected_effect_name;
    // Nothing to fill without an impulse-response effect: say so before the
    // user goes looking for a file.
    if (!irLayoutFor(effect)) {
        prompt().information(prepareImpulseResponseFromData({}, {}, effect).error);
        return false;
    }

    const QString path = prompt().openFileName(QStringLiteral("Open"),
                                               QStringLiteral("Wave Files (*.wav)"), lastFolder_);
    if (path.isEmpty()) return false;
    lastFolder_ = QFileInfo(path).absolutePath();

    const IrImport import = prepareImpulseResponse(path, effect);
    for (const QString& line : import.log) DebugPrint(line);
    if (!import.ok()) {
        prompt().information(import.error);
        return false;
    }
    adoptPreparedImpulseResponse(import);
    prompt().information(import.summary);
    emit impulseResponsePrepared(effect);
    return true;
}

}  // namespace zendal
