#pragma once

#include <QString>
#include <QWidget>

namespace zendal {

// The "IR" window: never shown, it only holds the file dialog of "Load IR".
// The import itself is prepareImpulseResponse() (effects/ImpulseResponse.h).
class TformImpulseResponse : public QWidget {
    Q_OBJECT
  public:
    explicit TformImpulseResponse(QWidget* parent = nullptr);

    // "Load IR" in the File menu.
    void menuLoadIRClick();
    // Asks for a WAV file and imports it for editorState().selected_effect_name.
    // True when prepared_ir_image (and prepared_ir_effect) were replaced.
    bool load_impulse_response();

  signals:
    // A new image was prepared for this effect.
    void impulseResponsePrepared(const QString& effect);

  private:
    QString lastFolder_;
};

}  // namespace zendal
