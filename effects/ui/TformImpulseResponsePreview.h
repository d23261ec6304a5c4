#pragma once

#include <QDialog>
#include <functional>

#include "effects/ImpulseResponse.h"
#include "effects/IrPlots.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace zendal {

// The plots of a prepared impulse response, painted to the widget's size.
class IrPlotsView : public QWidget {
    Q_OBJECT
  public:
    explicit IrPlotsView(QWidget* parent = nullptr);
    void setData(IrPlotData data);
    const IrPlotData& data() const { return data_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    IrPlotData data_;
};

// "Load IR" before anything is loaded: the file's facts, what the preparation
// will do, the waveform and magnitude response of what the pedal would get,
// and the channel and normalisation choices (changing one prepares again).
// Load (Enter) accepts, Cancel (Escape) rejects; the window itself changes
// nothing in the editor.
class TformImpulseResponsePreview : public QDialog {
    Q_OBJECT
  public:
    using Preparer = std::function<IrImport(const IrOptions&)>;
    TformImpulseResponsePreview(const QString& fileName, Preparer preparer,
                                const IrOptions& initial, QWidget* parent = nullptr);

    // The preparation shown (what Load would adopt) and the choices it used.
    const IrImport& current() const { return current_; }
    IrOptions options() const { return options_; }

    QComboBox* channelBox() const { return channel_; }
    QCheckBox* normalizeBox() const { return normalize_; }
    QPushButton* loadButton() const { return load_; }
    QString factsText() const;
    QString stepsText() const;
    const IrPlotsView* plots() const { return plots_; }

  signals:
    // The user changed a choice.
    void optionsChanged(const IrOptions& options);

  private:
    void prepare();
    void choiceChanged();

    Preparer prepare_;
    IrOptions options_;
    IrImport current_;
    QLabel* facts_ = nullptr;
    QLabel* steps_ = nullptr;
    QComboBox* channel_ = nullptr;
    QCheckBox* normalize_ = nullptr;
    IrPlotsView* plots_ = nullptr;
    QPushButton* load_ = nullptr;
};

}  // namespace zendal
