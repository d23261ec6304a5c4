#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <vector>

#include "effects/IrPreparation.h"
#include "effects/IrSpectrum.h"

class QPainter;

// The two plots of a prepared impulse response: its waveform over the slot
// (fade-out and zero padding marked) and its magnitude response in dB over a
// log frequency axis, 20 Hz to 20 kHz. Plain QPainter drawing, so that the
// window and zendalctl (offscreen, into a PNG) draw the same picture.
namespace zendal {

struct IrPlotData {
    std::vector<double> samples;  // full scale 1.0, at the pedal's rate
    int fadeStart = -1;           // marked from here to the end
    int paddedFrom = -1;          // marked from here to the end
    std::vector<IrSpectrumPoint> spectrum;
};

// The plots' data from a successful preparation (empty from a failed one).
IrPlotData irPlotData(const IrPrepared& prepared);

// Waveform in the upper half of `area`, magnitude response in the lower.
void paintIrPlots(QPainter& painter, const QRect& area, const IrPlotData& data);

// The same into an image (white background).
QImage renderIrPlots(const IrPlotData& data, const QSize& size = QSize(800, 560));

}  // namespace zendal
