#include "effects/IrResampler.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace zendal {

bool canResample(int fromRate, int toRate) {
    return fromRate > 0 && toRate > 0 && src_is_valid_ratio(double(toRate) / fromRate) != 0;
}

qint64 resamplerLookahead(int fromRate, int toRate) {
    // The best sinc filter reaches about 150 zero crossings to each side; going
    // down in rate it widens by the ratio. Twenty times that is ample.
    const double widening = std::max(1.0, double(fromRate) / double(toRate));
    return qint64(std::ceil(4096 * widening));
}

std::vector<double> resample(const std::vector<double>& input, int fromRate, int toRate,
                             size_t wanted, QString* error) {
    if (!canResample(fromRate, toRate)) {
        *error = QStringLiteral("A sample rate of %1 Hz cannot be converted to %2 Hz.")
                     .arg(fromRate)
                     .arg(toRate);
        return {};
    }
    if (input.empty() || wanted == 0) return {};
    const double ratio = double(toRate) / fromRate;
    std::vector<float> in(input.begin(), input.end());
    // The whole conversion of the input, or `wanted` samples, whichever is less.
    const size_t whole = size_t(std::ceil(double(input.size()) * ratio)) + 1;
    std::vector<float> out(std::min(wanted, whole));

    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = long(in.size());
    data.data_out = out.data();
    data.output_frames = long(out.size());
    data.src_ratio = ratio;
    const int failure = src_simple(&data, SRC_SINC_BEST_QUALITY, 1);
    if (failure != 0) {
        *error = QStringLiteral("The sample rate conversion failed: %1.")
                     .arg(QString::fromLatin1(src_strerror(failure)));
        return {};
    }
    return std::vector<double>(out.begin(), out.begin() + data.output_frames_gen);
}

}  // namespace zendal
