#pragma once

#include <vector>

#include <QtGlobal>

// The magnitude response of a prepared impulse response, for its plot.
// Window-free.
namespace zendal {

struct IrSpectrumPoint {
    double hz = 0;
    double db = 0;  // 20 log10 |H(f)|, full-scale words taken as 1.0
};

// |H(f)| at `points` frequencies spaced evenly on a log axis from `fromHz` to
// `toHz`. The slots hold under a thousand samples, so the DFT is evaluated
// directly at each plotted frequency (exact there, no bins to interpolate);
// levels below -150 dB are shown as -150 dB.
std::vector<IrSpectrumPoint> irMagnitudeResponse(const std::vector<qint32>& words, int sampleRate,
                                                 int points = 400, double fromHz = 20,
                                                 double toHz = 20000);

}  // namespace zendal
