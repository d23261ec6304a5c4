// Preparing impulse responses for the pedal: rate conversion, channel choice,
// length (fade-out, zero padding), level (normalisation, saturation) and the
// refusals, on files written by sox.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "IrSupport.h"
#include "WavFixture.h"
#include "effects/ImpulseResponse.h"
#include "effects/IrPreparation.h"
#include "effects/IrResampler.h"

using namespace zendal;
using namespace zendal::test;

namespace {

constexpr int kSlot = 912;  // "Basic Cabinet Sim"
constexpr double kFullScale = 8388608.0;

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::vector<double> asDoubles(const std::vector<qint32>& words) {
    std::vector<double> v;
    for (qint32 w : words) v.push_back(double(w) / kFullScale);
    return v;
}

// A file written by sox for each test, in a folder of its own.
class SoxMade : public ::testing::Test {
  protected:
    void SetUp() override {
        if (soxProgram().isEmpty()) GTEST_SKIP() << "sox is not installed";
    }
    QByteArray make(const std::vector<float>& interleaved, int channels, int rate,
                    const char* encoding = "signed-integer", int bits = 24,
                    const QStringList& outputArgs = {}) {
        const QString path = dir.filePath(QStringLiteral("f%1.wav").arg(++count));
        QString error;
        EXPECT_TRUE(soxWav(interleaved, channels, rate, encoding, bits, path, &error, outputArgs))
            << error.toStdString();
        return readFile(path);
    }
    QTemporaryDir dir;
    int count = 0;
};

std::vector<float> impulseAt(int length, int at, float value) {
    std::vector<float> v(size_t(length), 0.0f);
    v[size_t(at)] = value;
    return v;
}

std::vector<float> sine(int length, int rate, double hz, double amplitude) {
    std::vector<float> v;
    for (int i = 0; i < length; ++i)
        v.push_back(float(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
    return v;
}

// Frequency from the zero crossings (interpolated) of the samples before `end`.
double measuredFrequency(const std::vector<double>& x, int end, int rate) {
    std::vector<double> crossings;
    for (int i = 1; i < end; ++i) {
        if ((x[size_t(i - 1)] < 0) != (x[size_t(i)] < 0)) {
            const double a = x[size_t(i - 1)], b = x[size_t(i)];
            crossings.push_back(i - 1 + a / (a - b));
        }
    }
    if (crossings.size() < 3) return 0;
    const double periods = double(crossings.size() - 1) / 2;
    return periods * rate / (crossings.back() - crossings.front());
}

// ---- Rate ----------------------------------------------------------------------

class Rates : public SoxMade, public ::testing::WithParamInterface<int> {};

TEST_P(Rates, AnImpulseLandsOnTheSampleOfTheSameTime) {
    const int rate = GetParam();
    // 10 ms in: sample 480 at 48 kHz.
    const int at = rate / 100;
    const QByteArray wav = make(impulseAt(rate / 10, at, 0.5f), 1, rate);
    const IrPrepared p = prepareIrSamples(wav, kSlot, {});
    ASSERT_TRUE(p.ok()) << p.error.toStdString();
    EXPECT_TRUE(p.resampled);
    const auto peak = std::max_element(p.words.begin(), p.words.end(), [](qint32 a, qint32 b) {
        return std::abs(a) < std::abs(b);
    });
    EXPECT_EQ(peak - p.words.begin(), 480);
    EXPECT_EQ(irPreparationSteps(p).value(0),
              QStringLiteral("Resampled from %1 Hz to 48000 Hz").arg(rate));
}

TEST_P(Rates, ASineKeepsItsFrequency) {
    const int rate = GetParam();
    const double hz = 997;
    const QByteArray wav = make(sine(rate / 4, rate, hz, 0.8), 1, rate);
    const IrPrepared p = prepareIrSamples(wav, kSlot, {});
    ASSERT_TRUE(p.ok()) << p.error.toStdString();
    ASSERT_GT(p.fadeStart, 0);
    const double measured = measuredFrequency(asDoubles(p.words), p.fadeStart, kPedalSampleRate);
    EXPECT_NEAR(measured, hz, hz * 0.001);
}

TEST_P(Rates, AgreesWithSoxOwnConverter) {
    const int rate = GetParam();
    // Three tones under a Hann window, shorter than the slot: no fade, and
    // smooth ends so that both converters see the same band-limited signal.
    const int length = int(std::lround(0.017 * rate));
    std::vector<float> signal;
    for (int i = 0; i < length; ++i) {
        const double t = double(i) / rate;
        const double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (length - 1));
        signal.push_back(float(window * (0.4 * std::sin(2 * std::numbers::pi * 440 * t) +
                                         0.3 * std::sin(2 * std::numbers::pi * 3000 * t) +
                                         0.2 * std::sin(2 * std::numbers::pi * 9000 * t))));
    }
    const QByteArray wav = make(signal, 1, rate);
    const IrPrepared p = prepareIrSamples(wav, kSlot, {});
    ASSERT_TRUE(p.ok()) << p.error.toStdString();
    ASSERT_GE(p.paddedFrom, 0);

    const QString in = dir.filePath(QStringLiteral("f%1.wav").arg(count));
    const QString out = dir.filePath(QStringLiteral("sox.raw"));
    QString error;
    ASSERT_TRUE(runSox({QStringLiteral("-D"), in, QStringLiteral("-t"), QStringLiteral("raw"),
                        QStringLiteral("-e"), QStringLiteral("floating-point"),
                        QStringLiteral("-b"), QStringLiteral("32"), out, QStringLiteral("rate"),
                        QStringLiteral("-v"), QStringLiteral("48000")},
                       &error))
        << error.toStdString();
    const QByteArray raw = readFile(out);
    std::vector<float> reference(size_t(raw.size()) / 4);
    std::memcpy(reference.data(), raw.constData(), reference.size() * 4);
    ASSERT_GT(reference.size(), size_t(p.paddedFrom) - 2);

    const std::vector<double> ours = asDoubles(p.words);
    double worst = 0;
    for (size_t i = 0; i < std::min(reference.size(), ours.size()); ++i)
        worst = std::max(worst, std::abs(ours[i] - double(reference[i])));
    const double worstDb = 20 * std::log10(worst);
    RecordProperty("largest_difference_dBFS", QString::number(worstDb, 'f', 1).toStdString());
    EXPECT_LT(worstDb, -60.0) << "largest difference " << worst;
}

// Only the start of a long file is read and converted; what reaches the slot
// is what converting the whole file gives.
TEST_P(Rates, ReadingOnlyTheStartChangesNothing) {
    const int rate = GetParam();
    std::vector<float> noise;
    quint32 state = 12345;
    for (int i = 0; i < 2 * rate; ++i) {
        state = state * 1664525u + 1013904223u;
        noise.push_back(float((double(state) / 4294967296.0 - 0.5) * std::exp(-i / (0.2 * rate))));
    }
    const QByteArray wav = make(noise, 1, rate);
    const IrPrepared p = prepareIrSamples(wav, kSlot, {});
    ASSERT_TRUE(p.ok()) << p.error.toStdString();
    ASSERT_GT(p.fadeStart, 0);

    const WavChannelAudio all = readWavChannel(wav, IrChannel::Left, 2 * rate, 0);
    ASSERT_EQ(all.samples.size(), size_t(2 * rate));
    QString error;
    const std::vector<double> whole = resample(all.samples, rate, 48000, kSlot, &error);
    ASSERT_EQ(whole.size(), size_t(kSlot)) << error.toStdString();
    for (int i = 0; i < p.fadeStart; ++i)
        ASSERT_EQ(p.words[size_t(i)], toIrWord(whole[size_t(i)], true)) << i;
}

INSTANTIATE_TEST_SUITE_P(Table, Rates, ::testing::Values(44100, 96000));

// ---- Channel and sample format ---------------------------------------------

struct FormatCase {
    const char* name;
    const char* encoding;
    int bits;
};

class Formats : public SoxMade, public ::testing::WithParamInterface<FormatCase> {};

// Left: 0.5 at sample 100; right: 0.25 at sample 200. Values every format
// holds exactly, so the words are known for every choice.
TEST_P(Formats, EachChannelChoiceGivesItsWords) {
    const FormatCase& c = GetParam();
    std::vector<float> stereo(2 * kSlot, 0.0f);
    stereo[2 * 100] = 0.5f;
    stereo[2 * 200 + 1] = 0.25f;
    const QByteArray wav = make(stereo, 2, 48000, c.encoding, c.bits);
    const struct {
        IrChannel channel;
        qint32 at100, at200;
    } choices[] = {{IrChannel::Left, 0x400000, 0},
                   {IrChannel::Right, 0, 0x200000},
                   {IrChannel::Mid, 0x200000, 0x100000}};
    for (const auto& choice : choices) {
        SCOPED_TRACE(irChannelName(choice.channel).toStdString());
        const IrPrepared p = prepareIrSamples(wav, kSlot, {choice.channel, false});
        ASSERT_TRUE(p.ok()) << p.error.toStdString();
        ASSERT_EQ(p.words.size(), size_t(kSlot));
        EXPECT_EQ(p.words[100], choice.at100);
        EXPECT_EQ(p.words[200], choice.at200);
        EXPECT_EQ(std::count(p.words.begin(), p.words.end(), 0),
                  kSlot - (choice.at100 != 0) - (choice.at200 != 0));
        EXPECT_FALSE(p.resampled);
        EXPECT_EQ(p.fadeStart, -1);
        EXPECT_EQ(p.paddedFrom, -1);
    }
    // A mono file has one channel, whatever is chosen.
    const QByteArray mono = make(impulseAt(kSlot, 100, 0.5f), 1, 48000, c.encoding, c.bits);
    for (IrChannel channel : {IrChannel::Left, IrChannel::Right, IrChannel::Mid}) {
        const IrPrepared p = prepareIrSamples(mono, kSlot, {channel, false});
        ASSERT_TRUE(p.ok()) << p.error.toStdString();
        EXPECT_EQ(p.words[100], 0x400000);
        EXPECT_EQ(irPreparationSteps(p).value(1), QStringLiteral("Channel: the only one (mono)"));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Formats,
                         ::testing::Values(FormatCase{"Pcm16", "signed-integer", 16},
                                           FormatCase{"Pcm24", "signed-integer", 24},
                                           FormatCase{"Pcm32", "signed-integer", 32},
                                           FormatCase{"Float32", "floating-point", 32}),
                         [](const auto& info) { return std::string(info.param.name); });

// The chunks of a RIFF file, in order (whole, header included).
QList<QByteArray> chunksOf(const QByteArray& wav) {
    QList<QByteArray> chunks;
    qsizetype pos = 12;
    while (pos + 8 <= wav.size()) {
        const quint32 size = quint32(quint8(wav[pos + 4])) | quint32(quint8(wav[pos + 5])) << 8 |
                             quint32(quint8(wav[pos + 6])) << 16 |
                             quint32(quint8(wav[pos + 7])) << 24;
        const qsizetype whole = 8 + qsizetype(size) + (size & 1);
        chunks << wav.mid(pos, whole);
        pos += whole;
    }
    return chunks;
}

TEST_F(SoxMade, ExtraChunksChangeNothing) {
    const QByteArray plain = make(sine(kSlot, 48000, 1000, 0.5), 1, 48000);
    // sox writes "fmt " (extensible), "fact" and "data"; a JUNK chunk goes in
    // front and an odd-sized LIST chunk before the audio, as editors leave them.
    QList<QByteArray> chunks = chunksOf(plain);
    ASSERT_EQ(chunks.size(), 3);
    ASSERT_TRUE(chunks[1].startsWith("fact"));
    chunks.insert(2, chunk("LIST", QByteArray("INFOICMT\x05\0\0\0SM57", 17)));
    chunks.prepend(chunk("JUNK", QByteArray(28, '\0')));
    const QByteArray extra = riffWave(chunks);
    const IrPrepared a = prepareIrSamples(plain, kSlot, {});
    const IrPrepared b = prepareIrSamples(extra, kSlot, {});
    ASSERT_TRUE(a.ok() && b.ok()) << b.error.toStdString();
    EXPECT_EQ(a.words, b.words);
}

// ---- Length ------------------------------------------------------------------

TEST_F(SoxMade, ALongResponseEndsInAFadeWithoutAStep) {
    // Half-scale DC: a plain cut would end in a step of half full scale.
    const QByteArray wav = make(std::vector<float>(2000, 0.5f), 1, 48000);
    const IrPrepared p = prepareIrSamples(wav, kSlot, {});
    ASSERT_TRUE(p.ok()) << p.error.toStdString();
    EXPECT_EQ(p.fadeStart, kSlot - kIrFadeSamples);
    EXPECT_EQ(p.words[size_t(p.fadeStart - 1)], 0x400000);  // untouched before the fade
    EXPECT_EQ(p.words.back(), 0);
    double largestStep = 0;
    for (size_t i = 1; i < p.words.size(); ++i)
        largestStep = std::max(largestStep, std::abs(double(p.words[i] - p.words[i - 1])));
    // The raised cosine's steepest step: 0.5 * pi / (2 * 96) of full scale.
    EXPECT_LT(largestStep / kFullScale, 0.5 * std::numbers::pi / (2 * kIrFadeSamples) * 1.01);
    for (size_t i = size_t(p.fadeStart) + 1; i < p.words.size(); ++i)
        EXPECT_LE(p.words[i], p.words[i - 1]);
    EXPECT_EQ(irPreparationSteps(p).value(2),
              QStringLiteral("Shortened by 22.7 ms (from 41.7 ms to the effect's 19.0 ms) with a "
                             "2.0 ms fade-out"));
}

TEST_F(SoxMade, AShortResponseIsPaddedWithZeros) {
    std::vector<float> signal = sine(500, 48000, 1000, 0.5);
    const QByteArray wav = make(signal, 1, 48000);
    const IrPrepared p = prepareIrSamples(wav, kSlot, {});
    ASSERT_TRUE(p.ok()) << p.error.toStdString();
    EXPECT_EQ(p.paddedFrom, 500);
    EXPECT_EQ(p.fadeStart, -1);
    for (int i = 0; i < 500; ++i)
        ASSERT_NEAR(p.words[size_t(i)], std::lround(double(signal[size_t(i)]) * kFullScale), 1)
            << i;
    EXPECT_TRUE(std::all_of(p.words.begin() + 500, p.words.end(), [](qint32 w) { return w == 0; }));
    EXPECT_EQ(
        irPreparationSteps(p).value(2),
        QStringLiteral("Padded with 8.6 ms of silence (from 10.4 ms to the effect's 19.0 ms)"));
}

// ---- Level -------------------------------------------------------------------

TEST_F(SoxMade, NormalisationBringsThePeakToMinusOneDbfs) {
    const qint32 target = qint32(std::floor(std::pow(10.0, -1.0 / 20) * kFullScale));
    const QByteArray quiet = make(sine(kSlot, 48000, 1000, 0.1), 1, 48000);
    const IrPrepared kept = prepareIrSamples(quiet, kSlot, {});
    const IrPrepared loud = prepareIrSamples(quiet, kSlot, {IrChannel::Left, true});
    ASSERT_TRUE(kept.ok() && loud.ok());
    const auto peak = [](const std::vector<qint32>& w) {
        qint32 m = 0;
        for (qint32 v : w) m = std::max(m, qint32(std::abs(v)));
        return m;
    };
    EXPECT_NEAR(peak(loud.words), target, 1);
    EXPECT_NEAR(loud.gainDb, 19.0, 0.05);
    EXPECT_EQ(irPreparationSteps(loud).value(3),
              QStringLiteral("Normalised by +19.0 dB to a peak of -1 dBFS"));
    EXPECT_EQ(irPreparationSteps(kept).value(3), QStringLiteral("Level: kept (peak -20.0 dBFS)"));
    EXPECT_EQ(kept.gainDb, 0);
}

TEST_F(SoxMade, ValuesBeyondFullScaleSaturateAndNeverWrap) {
    // A float file peaking at +6 dBFS, and a full-scale square wave whose
    // conversion from 44.1 kHz rings beyond full scale.
    std::vector<float> hot = sine(kSlot, 48000, 1000, 2.0);
    std::vector<float> square;
    for (int i = 0; i < 44100 / 20; ++i) square.push_back((i / 50) % 2 ? -1.0f : 0.99999f);
    struct Case {
        const char* name;
        QByteArray wav;
    } cases[] = {{"FloatAbove0dBFS", make(hot, 1, 48000, "floating-point", 32)},
                 {"SquareAt44k", make(square, 1, 44100)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IrPrepared p = prepareIrSamples(c.wav, kSlot, {});
        ASSERT_TRUE(p.ok()) << p.error.toStdString();
        EXPECT_GT(p.saturated, 0);
        EXPECT_EQ(*std::max_element(p.words.begin(), p.words.end()), 0x7FFFFF);
        EXPECT_EQ(*std::min_element(p.words.begin(), p.words.end()), -0x800000);
        // No sign flips where the source is far from a zero crossing.
        const std::vector<double> x = asDoubles(p.words);
        for (size_t i = 1; i + 1 < x.size(); ++i) {
            const bool steady = std::abs(x[i - 1]) > 0.9 && std::abs(x[i + 1]) > 0.9 &&
                                (x[i - 1] > 0) == (x[i + 1] > 0);
            if (steady) {
                ASSERT_EQ(x[i] > 0, x[i - 1] > 0) << "wrapped at " << i;
            }
        }
        EXPECT_TRUE(irPreparationSteps(p).last().contains(QStringLiteral("held at full scale")));

        const IrPrepared normalised = prepareIrSamples(c.wav, kSlot, {IrChannel::Left, true});
        ASSERT_TRUE(normalised.ok());
        EXPECT_EQ(normalised.saturated, 0);
        EXPECT_LT(normalised.gainDb, 0);
    }
}

// ---- The default path: the pedal's converter, word for word --------------------

TEST(DefaultPath, A48kHzFileOfTheSlotsLengthGivesThePedalConverterWords) {
    for (const IrLayout& l : irLayouts()) {
        for (int bits : {24, 32}) {
            SCOPED_TRACE(l.displayName.toStdString() + " " + std::to_string(bits));
            const auto samples = knownSamples(l.samples, bits, l.effectId + bits);
            const QByteArray stored = pcmBytes(samples, bits);
            const QString image = imageFor(l);
            const QString words =
                convert_ir_samples(QString::fromLatin1(stored.toHex()), bits, l.samples);
            const QString expected =
                image.left(2 * l.offset) + words + image.mid(2 * l.offset + words.size());
            const IrImport r = prepareImpulseResponseFromData(
                pcmWav(samples, 1, 48000, bits), QStringLiteral("ir.wav"), l.displayName, image);
            ASSERT_TRUE(r.ok()) << r.error.toStdString();
            EXPECT_EQ(r.image, expected);
        }
    }
}

// ---- Refusals ------------------------------------------------------------------

TEST(PreparationRefusals, SayWhy) {
    const QByteArray fmt = chunk("fmt ", fmtBody(1, 2, 48000, 24));
    std::vector<qint64> leftOnly;
    for (int i = 0; i < kSlot; ++i) leftOnly.insert(leftOnly.end(), {i == 10 ? 4000 : 0, 0});
    struct Case {
        const char* name;
        QByteArray wav;
        IrOptions options;
        const char* phrase;
    } cases[] = {
        {"Empty", QByteArray(), {}, "The file is empty."},
        {"Silent", pcmWav(std::vector<qint64>(2 * kSlot, 0), 2, 48000, 24), {}, "silent"},
        {"SilentRightChannel",
         pcmWav(leftOnly, 2, 48000, 24),
         {IrChannel::Right, false},
         "silent: every sample the effect would get is zero (channel used: right)"},
        {"BelowTheSmallestWord",
         riffWave({chunk("fmt ", fmtBody(1, 1, 48000, 32)),
                   chunk("data", pcmBytes(std::vector<qint64>(kSlot, 200), 32))}),
         {},
         "silent"},
        {"TooLarge", QByteArray(kMaxIrFileBytes + 1, '\0'), {}, "too large"},
        {"RateBeyondTheConverter",
         riffWave({chunk("fmt ", fmtBody(1, 1, 100, 24)),
                   chunk("data", pcmBytes(knownSamples(100, 24, 1), 24))}),
         {},
         "100 Hz"},
        {"NotWav", QByteArray("just some text that is no audio"), {}, "not a WAV file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IrPrepared p = prepareIrSamples(c.wav, kSlot, c.options);
        EXPECT_FALSE(p.ok());
        EXPECT_TRUE(p.error.contains(QString::fromLatin1(c.phrase))) << p.error.toStdString();
        EXPECT_TRUE(p.words.empty());
    }
    // The left channel of the same file is fine.
    EXPECT_TRUE(prepareIrSamples(pcmWav(leftOnly, 2, 48000, 24), kSlot, {}).ok());
}

TEST(PreparationRefusals, AFileOverTheLimitIsNotReadWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.wav"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(kMaxIrFileBytes + 4096));  // sparse: costs no disk
    }
    const IrSource s = readIrSource(path);
    EXPECT_FALSE(s.ok());
    EXPECT_TRUE(s.error.contains(QStringLiteral("too large")));
    EXPECT_TRUE(s.bytes.isEmpty());
    const IrImport r = prepareImpulseResponse(path, QStringLiteral("Basic Cabinet Sim"));
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.image.isEmpty());
}

TEST(ChannelNames, RoundTrip) {
    for (IrChannel c : {IrChannel::Left, IrChannel::Right, IrChannel::Mid})
        EXPECT_EQ(irChannelFromName(irChannelName(c).toUpper()), c);
    EXPECT_FALSE(irChannelFromName(QStringLiteral("centre")));
}

}  // namespace
