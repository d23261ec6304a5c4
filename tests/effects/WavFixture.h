#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// Small WAV files for the import tests: chunks assembled by hand for layouts
// that sox does not write, sox for the files real tools make.
namespace zendal::test {

QByteArray le16(quint32 v);
QByteArray le32(quint32 v);

// One RIFF chunk, padded to an even length as RIFF wants.
QByteArray chunk(const char* id, const QByteArray& body);
// "RIFF" size "WAVE" followed by the chunks.
QByteArray riffWave(const QList<QByteArray>& chunks);

// "fmt " bodies: the canonical 16 bytes, the 18-byte form (cbSize 0), and the
// 40-byte WAVE_FORMAT_EXTENSIBLE form whose sub-format is PCM (tag 1) or float (3).
QByteArray fmtBody(int formatTag, int channels, int rate, int bits);
QByteArray fmtBody18(int formatTag, int channels, int rate, int bits);
QByteArray fmtBodyExtensible(int subFormatTag, int channels, int rate, int bits);

// Little-endian sample bytes of integer samples `bits` wide, interleaved as given.
QByteArray pcmBytes(const std::vector<qint64>& samples, int bits);
QByteArray floatBytes(const std::vector<float>& samples);

// A canonical mono or multi-channel PCM file.
QByteArray pcmWav(const std::vector<qint64>& interleaved, int channels, int rate, int bits);

// Known sample values of a full-scale `bits`-wide channel: the extremes and
// sign boundaries first, then a deterministic decaying pattern.
std::vector<qint64> knownSamples(int count, int bits, int seed);

// Path of sox, or empty when it is not installed.
QString soxProgram();
// Runs sox on raw input to write a WAV file; false (and *error) when it fails.
// `outputArgs` go just before the output file (e.g. "-b", "24" or "--comment").
bool soxWrite(const QByteArray& raw, const QStringList& rawFormatArgs, const QString& outPath,
              QString* error, const QStringList& outputArgs = {});
// Runs sox with these arguments; false (and *error) when it fails.
bool runSox(const QStringList& args, QString* error);

// A mono or multi-channel WAV file written by sox from float samples
// (interleaved, full scale 1.0): `encoding` "signed-integer" or
// "floating-point", `bits` 16, 24 or 32.
bool soxWav(const std::vector<float>& interleaved, int channels, int rate, const char* encoding,
            int bits, const QString& outPath, QString* error, const QStringList& outputArgs = {});

}  // namespace zendal::test
