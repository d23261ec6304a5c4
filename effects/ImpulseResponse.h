#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "effects/IrPreparation.h"
#include "effects/IrWavReader.h"

// Impulse-response import: a WAV file's audio, prepared for the pedal
// (effects/IrPreparation.h), becomes the IR area of one of the four
// impulse-response effect images. Window-free; the "Load IR" window and
// zendalctl both go through prepareImpulseResponse().
namespace zendal {

class DeviceController;

// Where an impulse-response effect keeps its IR inside its image: `samples`
// words of 4 bytes starting at byte `offset` (byte 0 = destination code).
struct IrLayout {
    QString displayName;
    int effectId = 0;
    int samples = 0;
    int offset = 0;
    int byteLength() const { return 4 * samples; }
};

// The four impulse-response effects.
const std::vector<IrLayout>& irLayouts();
// The layout of an effect by display name (exact), or nullopt.
std::optional<IrLayout> irLayoutFor(const QString& displayName);

// The pedal's sample words from little-endian sample bytes given as hex text:
// for each of the first n samples, 24 bits b0 b1 b2 -> S b2 b1 b0, 32 bits
// b0 b1 b2 b3 -> S b3 b2 b1 (S = FF when the top byte is 80 or more, else 00).
// Returns 8 * n upper-case hex digits; empty when the width is not 24 or 32,
// when the text holds fewer than n samples or a pair that is not hexadecimal.
QString convert_ir_samples(const QString& sampleHex, int bitsPerSample, int n);

// The log of the file's header as the import always logged it: fields read at
// fixed offsets of the file rebuilt around its first "fmt " chunk ("ID: ",
// "chunk size: ", "Subchunk ID: ", ... "Audio data: "). Stops at the first
// field the file is too short for.
QStringList wavHeaderLogLines(const QByteArray& wav);

// The outcome of an import.
struct IrImport {
    QString error;      // empty on success: a message for the user
    QString effect;     // display name the image was prepared for
    QString image;      // prepared image text (same length as the catalogue image)
    QString summary;    // the file's facts, lines joined by CR LF
    QStringList steps;  // what the preparation does (irPreparationSteps)
    QStringList log;    // the import's log lines, in order
    WavAudioInfo info;
    IrPrepared prepared;  // the samples, for the plots
    bool ok() const { return error.isEmpty(); }
};

// A WAV file read whole for the import: at most kMaxIrFileBytes are read, a
// larger file is refused before its content is looked at.
struct IrSource {
    QString error;  // empty when read
    QString path;   // absolute
    QString fileName;
    QByteArray bytes;
    bool ok() const { return error.isEmpty(); }
};
IrSource readIrSource(const QString& wavPath);

// The whole import of a WAV file for an impulse-response effect. `imageText` is
// the effect's catalogue image; when absent it is read from the catalogue.
// Nothing is logged or shown here: the caller logs `log` and shows the result.
IrImport prepareImpulseResponseFromData(const QByteArray& wav, const QString& fileName,
                                        const QString& effectDisplayName,
                                        const std::optional<QString>& imageText = std::nullopt,
                                        const IrOptions& options = {});
// The same for a file read by readIrSource (logs its full path and name first).
IrImport prepareImpulseResponse(const IrSource& source, const QString& effectDisplayName,
                                const std::optional<QString>& imageText = std::nullopt,
                                const IrOptions& options = {});
// The same for a file on disk.
IrImport prepareImpulseResponse(const QString& wavPath, const QString& effectDisplayName,
                                const std::optional<QString>& imageText = std::nullopt,
                                const IrOptions& options = {});

// Makes a successful import the prepared image of the editor, tied to the
// effect it was made for (kept by the device controller until uploaded).
void adoptPreparedImpulseResponse(const IrImport& import, DeviceController& device);

// The image text with its IR area replaced by `words` (8 hex digits each);
// empty when the image is too short for the area.
QString spliceIrWords(const QString& imageText, const IrLayout& layout, const QString& words);

}  // namespace zendal
