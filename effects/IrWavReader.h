#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// Reading the audio of a WAV file for the impulse-response import, through
// libsndfile, from memory. Window-free.
namespace zendal {

// Largest WAV file the import reads: cabinet responses are a few hundred
// kilobytes; anything far beyond is not one, and is refused before libsndfile
// or the memory of the editor sees it.
constexpr qint64 kMaxIrFileBytes = 50LL * 1024 * 1024;

// What the audio decoder found in a WAV file.
struct WavAudioInfo {
    int sampleRate = 0;
    int bitsPerSample = 0;  // 16, 24 or 32
    bool isFloat = false;
    int channels = 0;
    qint64 frames = 0;        // samples per channel
    bool extensible = false;  // WAVE_FORMAT_EXTENSIBLE
};

// Which channel of a file becomes the impulse response. Mono files have one;
// "mid" is the average of the first two.
enum class IrChannel { Left, Right, Mid };

// One channel of a WAV file, as far as it was read.
struct WavChannelAudio {
    QString error;  // empty on success: a message for the user
    WavAudioInfo info;
    // Full scale is 1.0; integer samples are exact (value / 2^31 of the
    // sample left-justified in 32 bits).
    std::vector<double> samples;
    // The stored little-endian bytes of the first frames of the channel used
    // (for "mid", the first two channels interleaved): what the log shows.
    QByteArray rawSamples;
    bool ok() const { return error.isEmpty(); }
};

// Reads up to `maxFrames` frames of `channel` (the only channel of a mono
// file, whatever is asked) and the stored bytes of the first `rawFrames`.
// Accepts PCM 16, 24 or 32 bits and 32-bit float, any "fmt " length, the
// extensible format and other chunks anywhere. Refuses, with a message for the
// user, a file over kMaxIrFileBytes, what is not a WAV file, one without audio
// and other sample formats.
WavChannelAudio readWavChannel(const QByteArray& wav, IrChannel channel, qint64 maxFrames,
                               qint64 rawFrames);

// The first channel's first `wanted` frames as the pedal's words, and their
// stored bytes; refuses a file with fewer frames than `wanted`.
struct WavDecodeResult {
    QString error;  // empty on success
    WavAudioInfo info;
    std::vector<qint32> words;
    QByteArray rawSamples;
    bool ok() const { return error.isEmpty(); }
};
WavDecodeResult decodeWavForIr(const QByteArray& wav, int wanted);

// A sample (full scale 1.0) as the pedal's 24-bit word, saturated to the
// word's range (never wrapped). `dropLowBits`: take the floor, as the pedal's
// converter does when it drops the low byte of a 32-bit sample; otherwise
// round half to even. `saturated` (when given) is set when the value was
// outside the range.
qint32 toIrWord(double sample, bool dropLowBits, bool* saturated = nullptr);

// Float sample to the pedal's 24-bit word: clamp to [-1, 1), scale by 2^23,
// round half to even.
qint32 floatToIrWord(double sample);

}  // namespace zendal
