#pragma once

#include <QString>
#include <vector>

// Sample-rate conversion of an impulse response to the pedal's rate, with
// libsamplerate's best converter. Window-free.
namespace zendal {

// True when libsamplerate can convert from `fromRate` to `toRate`.
bool canResample(int fromRate, int toRate);

// Input frames to read beyond the ones that map onto the first output samples,
// so that those outputs see the converter's whole filter: the result is then
// the same as for the whole file.
qint64 resamplerLookahead(int fromRate, int toRate);

// The first `wanted` output samples (fewer when the input ends first) of
// `input` converted from `fromRate` to `toRate`. `input` is taken to end where
// it ends. Empty with *error set when the converter refuses.
std::vector<double> resample(const std::vector<double>& input, int fromRate, int toRate,
                             size_t wanted, QString* error);

}  // namespace zendal
