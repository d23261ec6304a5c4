#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "effects/ImpulseResponse.h"
#include "effects/ui/TformImpulseResponsePreview.h"

namespace zendal {

class DeviceController;

// The "IR" window: never shown, it holds the file dialog of "Load IR" and
// opens the preview of the prepared response. The import itself is
// prepareImpulseResponse() (effects/ImpulseResponse.h).
class TformImpulseResponse : public QWidget {
    Q_OBJECT
  public:
    // Prepares for the controller's selected effect and keeps the result there.
    explicit TformImpulseResponse(DeviceController& device, QWidget* parent = nullptr);

    // "Load IR" in the File menu.
    void menuLoadIRClick();
    // Asks for a WAV file, prepares it for the selected effect and opens the
    // preview. True when the preview opened; the controller's prepared image
    // (and its effect) are replaced only when the user loads it there.
    bool load_impulse_response();

    // The open preview, or null.
    TformImpulseResponsePreview* preview() const { return preview_; }
    // The channel and normalisation choices, kept from one import to the next.
    IrOptions options() const { return options_; }

  signals:
    // A new image was prepared for this effect.
    void impulseResponsePrepared(const QString& effect);

  private:
    void adopt(const IrImport& import);

    DeviceController& device_;
    QString lastFolder_;
    IrOptions options_;
    QPointer<TformImpulseResponsePreview> preview_;
};

}  // namespace zendal
