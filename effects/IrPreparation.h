#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "effects/IrWavReader.h"

// Preparing a WAV file's audio for an impulse-response slot of the pedal:
// channel, rate, length and level. Window-free.
namespace zendal {

constexpr int kPedalSampleRate = 48000;

// A response longer than its slot ends in a raised-cosine fade over the slot's
// last 2 ms: enough to remove the step a plain cut would leave (and the ripple
// it puts into the frequency response), little against the 14.6 to 19 ms the
// slots hold.
constexpr int kIrFadeSamples = 96;

// Normalisation brings the peak to -1 dBFS.
constexpr double kIrNormalizedPeakDb = -1.0;

// The user's choices. The defaults leave a 48 kHz file of the slot's length
// exactly as the pedal's own converter would take it.
struct IrOptions {
    IrChannel channel = IrChannel::Left;
    bool normalize = false;
};

// "left", "right", "mid" and back (any case).
QString irChannelName(IrChannel channel);
std::optional<IrChannel> irChannelFromName(const QString& name);

// A file's audio prepared for a slot.
struct IrPrepared {
    QString error;  // empty on success: a message for the user
    WavAudioInfo info;
    IrOptions options;
    int slotSamples = 0;
    qint64 pedalRateLength = 0;  // the whole response's length at 48 kHz
    bool resampled = false;
    int fadeStart = -1;         // shortened: the fade runs from here to the slot's end
    int paddedFrom = -1;        // lengthened: zeros from here on
    double peakDb = 0;          // the peak before normalisation, dBFS
    double gainDb = 0;          // the normalisation's gain (0 when off)
    int saturated = 0;          // samples held at full scale
    std::vector<qint32> words;  // slotSamples of the pedal's 24-bit words
    QByteArray rawSamples;      // stored bytes of the first frames used (for the log)
    bool ok() const { return error.isEmpty(); }
};

// Prepares `wav` for a slot of `slotSamples`: the chosen channel, converted to
// 48 kHz, shortened with the fade or padded with zeros, normalised if asked,
// saturated to the word range. Refuses unreadable, empty and silent files.
IrPrepared prepareIrSamples(const QByteArray& wav, int slotSamples, const IrOptions& options);

// What the preparation does, one line each: rate, channel, length, level.
QStringList irPreparationSteps(const IrPrepared& prepared);

// Milliseconds of `samples` at the pedal's rate, one decimal ("19.0").
QString irMilliseconds(qint64 samples);

}  // namespace zendal
