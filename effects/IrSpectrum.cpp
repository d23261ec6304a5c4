#include "effects/IrSpectrum.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace zendal {

std::vector<IrSpectrumPoint> irMagnitudeResponse(const std::vector<qint32>& words, int sampleRate,
                                                 int points, double fromHz, double toHz) {
    std::vector<IrSpectrumPoint> out;
    if (points < 2 || sampleRate <= 0 || fromHz <= 0 || toHz <= fromHz) return out;
    std::vector<double> x(words.size());
    for (size_t i = 0; i < words.size(); ++i) x[i] = double(words[i]) / 8388608.0;
    constexpr double kFloorDb = -150;
    const double step = std::log(toHz / fromHz) / (points - 1);
    out.reserve(size_t(points));
    for (int k = 0; k < points; ++k) {
        const double hz = fromHz * std::exp(step * k);
        // e^(-i w n) by repeated rotation: a few hundred steps in double
        // precision drift far below what the plot can show.
        const double w = 2 * std::numbers::pi * hz / sampleRate;
        const std::complex<double> rotation(std::cos(w), -std::sin(w));
        std::complex<double> phase(1, 0), sum(0, 0);
        for (double v : x) {
            sum += v * phase;
            phase *= rotation;
        }
        const double magnitude = std::abs(sum);
        out.push_back(
            {hz, magnitude > 0 ? std::max(kFloorDb, 20 * std::log10(magnitude)) : kFloorDb});
    }
    return out;
}

}  // namespace zendal
