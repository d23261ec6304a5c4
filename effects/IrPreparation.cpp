#include "effects/IrPreparation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "effects/IrResampler.h"

namespace zendal {

QString irChannelName(IrChannel channel) {
    switch (channel) {
        case IrChannel::Right:
            return QStringLiteral("right");
        case IrChannel::Mid:
            return QStringLiteral("mid");
        case IrChannel::Left:
            break;
    }
    return QStringLiteral("left");
}

std::optional<IrChannel> irChannelFromName(const QString& name) {
    for (IrChannel c : {IrChannel::Left, IrChannel::Right, IrChannel::Mid})
        if (irChannelName(c).compare(name, Qt::CaseInsensitive) == 0) return c;
    return std::nullopt;
}

QString irMilliseconds(qint64 samples) {
    return QString::number(double(samples) * 1000.0 / kPedalSampleRate, 'f', 1);
}

IrPrepared prepareIrSamples(const QByteArray& wav, int slotSamples, const IrOptions& options) {
    IrPrepared p;
    p.options = options;
    p.slotSamples = slotSamples;
    const size_t n = size_t(std::max(slotSamples, 0));

    // The rate is only known once the header is read; a first pass that reads
    // no audio finds it (it costs a header parse, not a decode).
    const WavChannelAudio head = readWavChannel(wav, options.channel, 0, 0);
    if (!head.ok()) {
        p.error = head.error;
        return p;
    }
    const int rate = head.info.sampleRate;
    p.resampled = rate != kPedalSampleRate;
    if (p.resampled && !canResample(rate, kPedalSampleRate)) {
        p.error = QStringLiteral(
                      "The file's sample rate, %1 Hz, is too far from the pedal's 48000 Hz to be "
                      "converted.")
                      .arg(rate);
        return p;
    }
    // Only the frames that reach the slot are read (plus what the converter
    // looks ahead), however long the file is.
    const qint64 needed = p.resampled ? qint64(std::ceil(double(n) * rate / kPedalSampleRate)) +
                                            resamplerLookahead(rate, kPedalSampleRate)
                                      : qint64(n);
    const WavChannelAudio audio = readWavChannel(wav, options.channel, needed, qint64(n));
    if (!audio.ok()) {
        p.error = audio.error;
        return p;
    }
    p.info = audio.info;
    p.rawSamples = audio.rawSamples;
    p.pedalRateLength = p.resampled
                            ? qint64(std::llround(double(p.info.frames) * kPedalSampleRate / rate))
                            : p.info.frames;

    std::vector<double> x;
    if (p.resampled) {
        x = resample(audio.samples, rate, kPedalSampleRate, n, &p.error);
        if (!p.error.isEmpty()) return p;
        if (qint64(x.size()) > p.pedalRateLength) x.resize(size_t(p.pedalRateLength));
    } else {
        x.assign(audio.samples.begin(),
                 audio.samples.begin() + qsizetype(std::min(n, audio.samples.size())));
    }
    if (p.pedalRateLength < qint64(n)) p.paddedFrom = int(p.pedalRateLength);
    x.resize(n, 0.0);

    if (p.pedalRateLength > qint64(n) && n > 0) {
        const int fade = std::min<int>(kIrFadeSamples, int(n));
        p.fadeStart = int(n) - fade;
        for (int k = 0; k < fade; ++k)
            x[size_t(p.fadeStart + k)] *= 0.5 * (1.0 + std::cos(std::numbers::pi * (k + 1) / fade));
    }

    double peak = 0;
    for (double v : x) peak = std::max(peak, std::abs(v));
    const QString silent = QStringLiteral(
        "The impulse response is silent: every sample the effect would get is zero%1. Nothing "
        "was imported.");
    const QString which =
        p.info.channels > 1
            ? QStringLiteral(" (channel used: %1)").arg(irChannelName(options.channel))
            : QString();
    if (peak == 0) {
        p.error = silent.arg(which);
        return p;
    }
    p.peakDb = 20 * std::log10(peak);
    if (options.normalize) {
        const double gain = std::pow(10.0, kIrNormalizedPeakDb / 20) / peak;
        for (double& v : x) v *= gain;
        p.gainDb = 20 * std::log10(gain);
    }

    // Integer files keep the pedal's own rule (the low byte of a 32-bit sample
    // is dropped); float files round. Either way values saturate, never wrap.
    const bool dropLowBits = !p.info.isFloat;
    p.words.reserve(n);
    bool anyNonZero = false;
    for (double v : x) {
        bool held = false;
        p.words.push_back(toIrWord(v, dropLowBits, &held));
        if (held) ++p.saturated;
        anyNonZero = anyNonZero || p.words.back() != 0;
    }
    if (!anyNonZero) {
        p.words.clear();
        p.error = silent.arg(which);
    }
    return p;
}

QStringList irPreparationSteps(const IrPrepared& p) {
    QStringList steps;
    steps << (p.resampled ? QStringLiteral("Resampled from %1 Hz to %2 Hz")
                                .arg(p.info.sampleRate)
                                .arg(kPedalSampleRate)
                          : QStringLiteral("Sample rate: %1 Hz, kept").arg(kPedalSampleRate));
    if (p.info.channels <= 1)
        steps << QStringLiteral("Channel: the only one (mono)");
    else if (p.options.channel == IrChannel::Mid)
        steps << QStringLiteral("Channel: mid, left and right averaged (of %1 channels)")
                     .arg(p.info.channels);
    else
        steps << QStringLiteral("Channel: %1 (of %2 channels)")
                     .arg(irChannelName(p.options.channel))
                     .arg(p.info.channels);
    const QString slot = irMilliseconds(p.slotSamples);
    if (p.fadeStart >= 0)
        steps << QStringLiteral(
                     "Shortened by %1 ms (from %2 ms to the effect's %3 ms) with a %4 ms "
                     "fade-out")
                     .arg(irMilliseconds(p.pedalRateLength - p.slotSamples),
                          irMilliseconds(p.pedalRateLength), slot,
                          irMilliseconds(p.slotSamples - p.fadeStart));
    else if (p.paddedFrom >= 0)
        steps << QStringLiteral("Padded with %1 ms of silence (from %2 ms to the effect's %3 ms)")
                     .arg(irMilliseconds(p.slotSamples - p.paddedFrom),
                          irMilliseconds(p.pedalRateLength), slot);
    else
        steps << QStringLiteral("Length: the effect's %1 ms (%2 samples), kept")
                     .arg(slot)
                     .arg(p.slotSamples);
    if (p.options.normalize)
        steps << QStringLiteral("Normalised by %1 dB to a peak of %2 dBFS")
                     .arg(QString::asprintf("%+.1f", p.gainDb))
                     .arg(kIrNormalizedPeakDb, 0, 'f', 0);
    else
        steps << QStringLiteral("Level: kept (peak %1 dBFS)").arg(p.peakDb, 0, 'f', 1);
    if (p.saturated > 0)
        steps
            << QStringLiteral("%1 sample(s) beyond full scale held at full scale").arg(p.saturated);
    return steps;
}

}  // namespace zendal
