// Importing WAV files into the impulse-response effects: files written by sox
// and hand-made layouts, the words the pedal gets, the log and the refusals.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "IrSupport.h"
#include "WavFixture.h"
#include "effects/ImpulseResponse.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"

using namespace zendal;
using namespace zendal::test;

namespace {

const IrLayout& basicCab() {
    static const IrLayout l = *irLayoutFor(QStringLiteral("Basic Cabinet Sim"));
    return l;
}

QString irArea(const QString& image, const IrLayout& l) {
    return image.mid(2 * l.offset, 8 * l.samples);
}

std::vector<qint64> firstN(const std::vector<qint64>& v, int n) {
    return std::vector<qint64>(v.begin(), v.begin() + n);
}

// ---- Files written by sox: known samples in, words out --------------------

struct SoxCase {
    const char* name;
    const char* encoding;  // sox -e
    int bits;
    int channels;
    int rate;
};

class SoxFiles : public ::testing::TestWithParam<SoxCase> {};

TEST_P(SoxFiles, FirstChannelBecomesTheWords) {
    if (soxProgram().isEmpty()) GTEST_SKIP() << "sox is not installed";
    const SoxCase& c = GetParam();
    const bool isFloat = QByteArray(c.encoding) == "floating-point";
    // The slot's length: no fade-out, no padding.
    const int frames = basicCab().samples;

    // Channel k gets its own known values; floats are 24-bit values / 2^23,
    // which a float holds exactly.
    const int valueBits = isFloat ? 24 : c.bits;
    std::vector<std::vector<qint64>> channels;
    for (int k = 0; k < c.channels; ++k) channels.push_back(knownSamples(frames, valueBits, k + 1));
    std::vector<qint64> interleaved;
    for (int f = 0; f < frames; ++f)
        for (int k = 0; k < c.channels; ++k) interleaved.push_back(channels[size_t(k)][size_t(f)]);
    QByteArray raw;
    if (isFloat) {
        std::vector<float> floats;
        for (qint64 v : interleaved) floats.push_back(float(double(v) / 8388608.0));
        raw = floatBytes(floats);
    } else {
        raw = pcmBytes(interleaved, c.bits);
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ir.wav"));
    QString error;
    ASSERT_TRUE(
        soxWrite(raw,
                 {QStringLiteral("-r"), QString::number(c.rate), QStringLiteral("-e"),
                  QString::fromLatin1(c.encoding), QStringLiteral("-b"), QString::number(c.bits),
                  QStringLiteral("-c"), QString::number(c.channels)},
                 path, &error))
        << error.toStdString();

    const IrLayout& l = basicCab();
    const IrImport r = prepareImpulseResponse(path, l.displayName, imageFor(l));
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    const auto left = firstN(channels[0], l.samples);
    const auto expected = isFloat ? left : expectedWords(left, c.bits);
    // At 48 kHz the words are the samples; other rates are converted first.
    if (c.rate == 48000) {
        EXPECT_EQ(irArea(r.image, l), wordsHex(expected));
    } else {
        EXPECT_NE(irArea(r.image, l), wordsHex(expected));
        EXPECT_EQ(r.steps.value(0), QStringLiteral("Resampled from %1 Hz to 48000 Hz").arg(c.rate));
    }

    EXPECT_EQ(r.info.channels, c.channels);
    EXPECT_EQ(r.info.bitsPerSample, c.bits);
    EXPECT_EQ(r.info.isFloat, isFloat);
    const QStringList summary = r.summary.split(QStringLiteral("\r\n"));
    EXPECT_EQ(summary.value(3), QStringLiteral("Sample rate: %1").arg(c.rate));
    EXPECT_EQ(summary.value(4),
              QStringLiteral("Bits per sample: %1%2")
                  .arg(c.bits)
                  .arg(isFloat ? QStringLiteral(" (floating point)") : QString()));
    EXPECT_EQ(summary.value(5), QStringLiteral("Channels: %1").arg(c.channels));
    EXPECT_EQ(summary.value(6), QStringLiteral("Length: %1 samples (%2 ms)")
                                    .arg(frames)
                                    .arg(QString::number(frames * 1000.0 / c.rate, 'f', 1)));
    EXPECT_EQ(summary.size(), 7);

    // 24- and 32-bit PCM: the decoder's words are exactly the converter's
    // words for the same stored bytes.
    if (!isFloat && c.bits != 16) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const WavDecodeResult d = decodeWavForIr(f.readAll(), l.samples);
        ASSERT_TRUE(d.ok());
        const QString fromBytes = convert_ir_samples(
            QString::fromLatin1(pcmBytes(left, c.bits).toHex()), c.bits, l.samples);
        std::vector<qint64> decoded(d.words.begin(), d.words.end());
        EXPECT_EQ(wordsHex(decoded), fromBytes);
        EXPECT_EQ(d.rawSamples, pcmBytes(left, c.bits));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SoxFiles,
    ::testing::Values(SoxCase{"Pcm24Mono48k", "signed-integer", 24, 1, 48000},
                      SoxCase{"Pcm24Stereo48k", "signed-integer", 24, 2, 48000},
                      SoxCase{"Pcm24Mono44k", "signed-integer", 24, 1, 44100},
                      SoxCase{"Pcm32Mono48k", "signed-integer", 32, 1, 48000},
                      SoxCase{"Pcm32Stereo44k", "signed-integer", 32, 2, 44100},
                      SoxCase{"Pcm16Mono48k", "signed-integer", 16, 1, 48000},
                      SoxCase{"Pcm16Stereo48k", "signed-integer", 16, 2, 48000},
                      SoxCase{"FloatMono48k", "floating-point", 32, 1, 48000},
                      SoxCase{"FloatStereo44k", "floating-point", 32, 2, 44100},
                      SoxCase{"Pcm24FourChannels", "signed-integer", 24, 4, 48000}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Layouts sox does not write, built byte by byte ------------------------

struct LayoutCase {
    const char* name;
    QByteArray file;
    std::vector<qint64> expectedWords;  // for Basic Cabinet Sim
    const char* subchunkLog;            // the "Subchunk ID: " line
};

std::vector<LayoutCase> layoutCases() {
    // The slot's length, so that the words are the samples themselves.
    const auto s24 = knownSamples(912, 24, 7);
    const auto s32 = knownSamples(912, 32, 8);
    const QByteArray data24 = chunk("data", pcmBytes(s24, 24));
    const QByteArray fmt24 = chunk("fmt ", fmtBody(1, 1, 48000, 24));
    std::vector<float> floats;
    for (qint64 v : s24) floats.push_back(float(double(v) / 8388608.0));
    const QByteArray list = chunk("LIST", QByteArray("INFOISFT\x03\0\0\0ab", 15));  // odd size

    std::vector<LayoutCase> cases;
    cases.push_back({"JunkBeforeFmt",
                     riffWave({chunk("JUNK", QByteArray(28, '\0')), fmt24, data24}),
                     firstN(s24, 912), "Subchunk ID: JUNK"});
    cases.push_back({"Fmt18Bytes", riffWave({chunk("fmt ", fmtBody18(1, 1, 48000, 24)), data24}),
                     firstN(s24, 912), "Subchunk ID: fmt "});
    cases.push_back({"Fmt40ExtensiblePcm24",
                     riffWave({chunk("fmt ", fmtBodyExtensible(1, 1, 48000, 24)), data24}),
                     firstN(s24, 912), "Subchunk ID: fmt "});
    cases.push_back({"Fmt40ExtensiblePcm32",
                     riffWave({chunk("fmt ", fmtBodyExtensible(1, 1, 48000, 32)),
                               chunk("data", pcmBytes(s32, 32))}),
                     expectedWords(firstN(s32, 912), 32), "Subchunk ID: fmt "});
    cases.push_back({"Fmt40ExtensibleFloat",
                     riffWave({chunk("fmt ", fmtBodyExtensible(3, 1, 48000, 32)),
                               chunk("fact", le32(912)), chunk("data", floatBytes(floats))}),
                     firstN(s24, 912), "Subchunk ID: fmt "});
    cases.push_back({"OddListChunkBeforeData", riffWave({fmt24, list, data24}), firstN(s24, 912),
                     "Subchunk ID: fmt "});
    cases.push_back({"ChunksAfterData", riffWave({fmt24, data24, list}), firstN(s24, 912),
                     "Subchunk ID: fmt "});
    // Cut inside the audio, after the samples the effect needs.
    cases.push_back({"TruncatedAfterEnoughSamples",
                     riffWave({fmt24, chunk("data", pcmBytes(knownSamples(1000, 24, 7), 24))})
                         .left(12 + 24 + 8 + 912 * 3 + 2),
                     firstN(s24, 912), "Subchunk ID: fmt "});
    return cases;
}

TEST(HandMadeLayouts, AudioIsFoundWhereverItIs) {
    const IrLayout& l = basicCab();
    for (const LayoutCase& c : layoutCases()) {
        SCOPED_TRACE(c.name);
        const IrImport r = prepareImpulseResponseFromData(c.file, QStringLiteral("ir.wav"),
                                                          l.displayName, imageFor(l));
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_EQ(irArea(r.image, l), wordsHex(c.expectedWords));
        EXPECT_TRUE(r.log.contains(QString::fromLatin1(c.subchunkLog)));
    }
}

// ---- Refusals --------------------------------------------------------------

struct RefusalCase {
    const char* name;
    QByteArray file;
    QString effect;
    QString phrase;  // part of the message
};

std::vector<RefusalCase> refusalCases() {
    const QString basic = QStringLiteral("Basic Cabinet Sim");
    const auto s24 = knownSamples(1000, 24, 3);
    const QByteArray fmt24 = chunk("fmt ", fmtBody(1, 1, 48000, 24));
    const QByteArray full = riffWave({fmt24, chunk("data", pcmBytes(s24, 24))});
    const QByteArray eightBit(1000, '\x80');
    std::vector<RefusalCase> cases;
    cases.push_back(
        {"NotRiff", QByteArray("This is a text file, not audio at all."), basic, "not a WAV file"});
    cases.push_back({"Empty", QByteArray(), basic, "The file is empty."});
    cases.push_back({"AiffHeader",
                     QByteArray("FORM\0\0\0\x20"
                                "AIFFCOMM",
                                16) +
                         QByteArray(40, '\0'),
                     basic, "not a WAV file"});
    cases.push_back({"RiffButNotWave",
                     QByteArray("RIFF\x20\0\0\0"
                                "AVI LIST",
                                16) +
                         QByteArray(40, '\0'),
                     basic, "not a WAV file"});
    cases.push_back(
        {"NoFmtChunk", riffWave({chunk("data", pcmBytes(s24, 24))}), basic, "\"fmt \""});
    cases.push_back({"NoDataChunk", riffWave({fmt24}), basic, "no audio"});
    cases.push_back({"EmptyDataChunk", riffWave({fmt24, chunk("data", {})}), basic, "no audio"});
    cases.push_back({"Unsigned8Bit",
                     riffWave({chunk("fmt ", fmtBody(1, 1, 48000, 8)), chunk("data", eightBit)}),
                     basic, "Only 16-, 24- and 32-bit PCM"});
    cases.push_back({"Double64Bit",
                     riffWave({chunk("fmt ", fmtBody(3, 1, 48000, 64)),
                               chunk("data", QByteArray(8 * 1000, '\0'))}),
                     basic, "Only 16-, 24- and 32-bit PCM"});
    cases.push_back({"ALaw",
                     riffWave({chunk("fmt ", fmtBody18(6, 1, 48000, 8)), chunk("data", eightBit)}),
                     basic, "Only 16-, 24- and 32-bit PCM"});
    cases.push_back(
        {"Silent", riffWave({fmt24, chunk("data", QByteArray(3 * 1000, '\0'))}), basic, "silent"});
    cases.push_back(
        {"TruncatedInsideTheFirstSample", full.left(12 + 24 + 8 + 2), basic, "no audio"});
    cases.push_back({"NotAnIrEffect", full, QStringLiteral("Tape Echo + Wah-Wah"),
                     "\"Tape Echo + Wah-Wah\" does not use an impulse response"});
    cases.push_back(
        {"NoEffectChosen", full, QString(), "Choose an effect of the \"Impulse Response\""});
    return cases;
}

TEST(ImportRefusals, SayWhyAndPrepareNothing) {
    for (const RefusalCase& c : refusalCases()) {
        SCOPED_TRACE(c.name);
        const IrImport r = prepareImpulseResponseFromData(c.file, QStringLiteral("x.wav"), c.effect,
                                                          QString(20000, QLatin1Char('0')));
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error.contains(c.phrase)) << r.error.toStdString();
        EXPECT_TRUE(r.image.isEmpty());
        EXPECT_TRUE(r.summary.isEmpty());
    }
}

TEST(ImportRefusals, ImageTooShortForTheArea) {
    const IrLayout& l = basicCab();
    const QByteArray wav = pcmWav(knownSamples(912, 24, 1), 1, 48000, 24);
    const IrImport r =
        prepareImpulseResponseFromData(wav, QStringLiteral("x.wav"), l.displayName,
                                       imageFor(l).left(2 * (l.offset + l.byteLength()) - 2));
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.image.isEmpty());
}

TEST(ImportRefusals, UnreadableFile) {
    QTemporaryDir dir;
    const IrImport r = prepareImpulseResponse(dir.filePath(QStringLiteral("missing.wav")),
                                              QStringLiteral("Basic Cabinet Sim"));
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error.contains(QStringLiteral("missing.wav")));
}

// ---- The image: only the IR area changes ----------------------------------

TEST(PreparedImage, OnlyTheIrAreaChanges) {
    for (const IrLayout& l : irLayouts()) {
        SCOPED_TRACE(l.displayName.toStdString());
        const auto samples = knownSamples(l.samples, 24, l.effectId);
        const QString image = imageFor(l);
        const IrImport r = prepareImpulseResponseFromData(pcmWav(samples, 1, 48000, 24),
                                                          QStringLiteral("ir.wav"), l.displayName);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        ASSERT_EQ(r.image.size(), image.size());
        const qsizetype start = 2 * l.offset, end = start + 8 * l.samples;
        EXPECT_EQ(r.image.left(start), image.left(start));
        EXPECT_EQ(r.image.mid(end), image.mid(end));
        EXPECT_EQ(r.image.mid(start, end - start), wordsHex(firstN(samples, l.samples)));
        EXPECT_EQ(r.effect, l.displayName);
    }
    // "Basic Cabinet Sim": bytes 230 to 3877.
    EXPECT_EQ(basicCab().offset, 230);
    EXPECT_EQ(basicCab().offset + basicCab().byteLength() - 1, 3877);
}

// A file shorter than the slot (or cut short) fills the rest of it with zeros.
TEST(PreparedImage, ShortFilesArePaddedWithZeros) {
    const QByteArray fmt24 = chunk("fmt ", fmtBody(1, 1, 48000, 24));
    const auto s24 = knownSamples(1000, 24, 1);
    struct Case {
        const char* name;
        QString effect;
        QByteArray wav;
        int present;  // samples taken from the file
    } cases[] = {
        {"OneShortForBasicCab", QStringLiteral("Basic Cabinet Sim"),
         pcmWav(firstN(s24, 911), 1, 48000, 24), 911},
        {"OneShortForMossDrive", QStringLiteral("Moss Drive + Cabinet Sim"),
         pcmWav(firstN(s24, 702), 1, 48000, 24), 702},
        {"CutShortInsideTheAudio", QStringLiteral("Basic Cabinet Sim"),
         riffWave({fmt24, chunk("data", pcmBytes(s24, 24))}).left(12 + 24 + 8 + 500 * 3 + 1), 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IrLayout l = *irLayoutFor(c.effect);
        const IrImport r = prepareImpulseResponseFromData(c.wav, QStringLiteral("x.wav"),
                                                          l.displayName, imageFor(l));
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        std::vector<qint64> expected = firstN(s24, c.present);
        expected.resize(size_t(l.samples), 0);
        EXPECT_EQ(irArea(r.image, l), wordsHex(expected));
        EXPECT_TRUE(r.steps.value(2).startsWith(QStringLiteral("Padded with")));
    }
}

// ---- The log and the summary ------------------------------------------------

TEST(ImportLog, StepsInOrder) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("room.wav"));
    const auto samples = knownSamples(912, 24, 5);
    const QByteArray wav = pcmWav(samples, 1, 48000, 24);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(wav);
    }
    const IrLayout& l = basicCab();
    const QString image = imageFor(l);
    const IrImport r = prepareImpulseResponse(path, l.displayName, image);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();

    const QString hex = QString::fromLatin1(wav.toHex().toUpper());
    const QString words = wordsHex(firstN(samples, 912));
    QStringList expected = {
        QFileInfo(path).absoluteFilePath(),
        QStringLiteral("room.wav"),
        QString::number(wav.size()),
        hex,
        QStringLiteral("ID: RIFF"),
        QStringLiteral("chunk size: %1").arg(wav.size() - 8),
        QStringLiteral("Subchunk ID: fmt "),
        QStringLiteral("Subchink size: 16"),
        QStringLiteral("Audio format: 1"),
        QStringLiteral("Num_of_channels: 1"),
        QStringLiteral("Sample_Rate: 48000"),
        QStringLiteral("Byte_Rate: 144000"),
        QStringLiteral("Block align: 3"),
        QStringLiteral("Bits_per_sample: 24"),
        QStringLiteral("subchunk2size: 2736"),
        QStringLiteral("Audio data: ") + hex.mid(88),
        QStringLiteral("WAV audio: PCM 24 bit, 1 channel(s), 48000 Hz, 912 samples per channel; "
                       "channel 1 is used"),
        QStringLiteral("Preparation: Sample rate: 48000 Hz, kept"),
        QStringLiteral("Preparation: Channel: the only one (mono)"),
        QStringLiteral("Preparation: Length: the effect's 19.0 ms (912 samples), kept"),
        QStringLiteral("Preparation: Level: kept (peak 0.0 dBFS)"),
        QStringLiteral("irdata: ") + hex.mid(88, 912 * 6),
        QStringLiteral("irdata swapped endianess: ") + words,
    };
    for (int s = 0; s < 912; ++s) expected << words.mid(8 * s, 8);
    expected << r.image;
    EXPECT_EQ(r.log, expected);

    EXPECT_EQ(r.summary, QStringLiteral("Selected file data:\r\nName: room.wav\r\nSize: %1\r\n"
                                        "Sample rate: 48000\r\nBits per sample: 24\r\n"
                                        "Channels: 1\r\nLength: 912 samples (19.0 ms)")
                             .arg(wav.size()));
}

TEST(ImportLog, HeaderViewAroundAJunkChunk) {
    const QByteArray wav =
        riffWave({chunk("JUNK", QByteArray(4, 'j')), chunk("fmt ", fmtBody(1, 2, 44100, 32)),
                  chunk("data", pcmBytes(knownSamples(4, 32, 1), 32))});
    const QStringList lines = wavHeaderLogLines(wav);
    const QStringList expected = {
        QStringLiteral("ID: RIFF"),
        QStringLiteral("chunk size: %1").arg(wav.size() - 8),
        QStringLiteral("Subchunk ID: JUNK"),
        QStringLiteral("Subchink size: 16"),
        QStringLiteral("Audio format: 1"),
        QStringLiteral("Num_of_channels: 2"),
        QStringLiteral("Sample_Rate: 44100"),
        QStringLiteral("Byte_Rate: 352800"),
        QStringLiteral("Block align: 8"),
        QStringLiteral("Bits_per_sample: 32"),
        QStringLiteral("subchunk2size: 16"),
        QStringLiteral("Audio data: ") +
            QString::fromLatin1(pcmBytes(knownSamples(4, 32, 1), 32).toHex().toUpper()),
    };
    EXPECT_EQ(lines, expected);
    // A file that ends inside the "fmt " chunk logs what it has and stops.
    EXPECT_EQ(wavHeaderLogLines(wav.left(42)), expected.mid(0, 7));
    EXPECT_TRUE(wavHeaderLogLines(QByteArray("RI")).isEmpty());
}

TEST(ImportLog, LongFilesAreShortenedInTheLog) {
    const QByteArray wav = pcmWav(knownSamples(48000, 24, 2), 1, 48000, 24);
    const IrImport r = prepareImpulseResponseFromData(wav, QStringLiteral("long.wav"),
                                                      basicCab().displayName, imageFor(basicCab()));
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.log.at(1).endsWith(QStringLiteral(" ... (%1 bytes in all)").arg(wav.size())));
    EXPECT_TRUE(r.log.at(1).startsWith(QString::fromLatin1(wav.left(64).toHex().toUpper())));
}

// ---- The editor's prepared image ----------------------------------------------

TEST(PreparedImage, AdoptedOnlyWhenTheImportSucceeded) {
    PedalConnection connection;
    DeviceController device(connection);
    device.setPreparedIr(QStringLiteral("OLD"), QStringLiteral("Cabinet Sim + EQ"));
    const IrLayout& l = basicCab();

    const IrImport bad = prepareImpulseResponseFromData(QByteArray("nope"), QStringLiteral("x.wav"),
                                                        l.displayName, imageFor(l));
    adoptPreparedImpulseResponse(bad, device);
    EXPECT_EQ(device.preparedIrImage(), QStringLiteral("OLD"));
    EXPECT_EQ(device.preparedIrEffect(), QStringLiteral("Cabinet Sim + EQ"));

    const IrImport good =
        prepareImpulseResponseFromData(pcmWav(knownSamples(912, 24, 1), 1, 48000, 24),
                                       QStringLiteral("x.wav"), l.displayName, imageFor(l));
    adoptPreparedImpulseResponse(good, device);
    EXPECT_EQ(device.preparedIrImage(), good.image);
    EXPECT_EQ(device.preparedIrEffect(), l.displayName);
}

}  // namespace
