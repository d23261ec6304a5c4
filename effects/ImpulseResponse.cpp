#include "effects/ImpulseResponse.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

#include "core/FileIo.h"
#include "core/Hex.h"
#include "effects/EffectCatalogue.h"
#include "protocol/DeviceController.h"

namespace zendal {

namespace {

// The log shows the file and its audio as hex text; a long recording would make
// lines of megabytes that the console cannot lay out, so they stop here.
constexpr qsizetype kLogBytesLimit = 65536;

QString hexOf(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString hexForLog(const QByteArray& bytes) {
    if (bytes.size() <= kLogBytesLimit) return hexOf(bytes);
    return hexOf(bytes.left(kLogBytesLimit)) +
           QStringLiteral(" ... (%1 bytes in all)").arg(bytes.size());
}

QString word8(qint32 w) {
    return QStringLiteral("%1").arg(static_cast<quint32>(w), 8, 16, QLatin1Char('0')).toUpper();
}

std::optional<quint32> le32(const QByteArray& b, qsizetype off) {
    if (off < 0 || off + 4 > b.size()) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + off;
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

std::optional<quint32> le16(const QByteArray& b, qsizetype off) {
    if (off < 0 || off + 2 > b.size()) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + off;
    return quint32(p[0]) | (quint32(p[1]) << 8);
}

std::optional<QString> ascii4(const QByteArray& b, qsizetype off) {
    if (off < 0 || off + 4 > b.size()) return std::nullopt;
    QString s;
    for (qsizetype i = off; i < off + 4; ++i) {
        const unsigned char c = static_cast<unsigned char>(b[i]);
        s += (c >= 0x20 && c < 0x7F) ? QChar(c) : QChar('.');
    }
    return s;
}

QString describeFormat(const WavAudioInfo& i) {
    return QStringLiteral("%1 %2 bit, %3 channel(s), %4 Hz, %5 samples per channel")
        .arg(i.isFloat ? QStringLiteral("floating point") : QStringLiteral("PCM"))
        .arg(i.bitsPerSample)
        .arg(i.channels)
        .arg(i.sampleRate)
        .arg(i.frames);
}

QString channelUsed(const IrPrepared& p) {
    if (p.info.channels <= 1 || p.options.channel == IrChannel::Left)
        return QStringLiteral("channel 1 is used");
    if (p.options.channel == IrChannel::Right) return QStringLiteral("channel 2 is used");
    return QStringLiteral("channels 1 and 2 are averaged");
}

}  // namespace

const std::vector<IrLayout>& irLayouts() {
    static const std::vector<IrLayout> layouts = {
        {QStringLiteral("Cabinet Sim + EQ"), 0x27, 882, 230},
        {QStringLiteral("Moss Drive + Cabinet Sim"), 0x29, 703, 362},
        {QStringLiteral("Woolly + Cabinet Sim"), 0x2A, 703, 370},
        {QStringLiteral("Basic Cabinet Sim"), 0x2B, 912, 230},
    };
    return layouts;
}

std::optional<IrLayout> irLayoutFor(const QString& displayName) {
    for (const IrLayout& l : irLayouts())
        if (l.displayName == displayName) return l;
    return std::nullopt;
}

QString convert_ir_samples(const QString& sampleHex, int bitsPerSample, int n) {
    if ((bitsPerSample != 24 && bitsPerSample != 32) || n < 0) return {};
    const int bytesPer = bitsPerSample / 8;
    if (sampleHex.size() < qsizetype(2) * bytesPer * n) return {};
    QString out;
    out.reserve(8 * n);
    for (int s = 0; s < n; ++s) {
        unsigned b[4] = {};
        for (int k = 0; k < bytesPer; ++k) {
            const qsizetype at = 2 * (qsizetype(s) * bytesPer + k);
            const int hi = hexValue(sampleHex[at]), lo = hexValue(sampleHex[at + 1]);
            if (hi < 0 || lo < 0) return {};
            b[k] = unsigned(hi * 16 + lo);
        }
        // The top three bytes, most significant first; a 32-bit sample drops b0.
        const unsigned msb = b[bytesPer - 1], mid = b[bytesPer - 2], lsb = b[bytesPer - 3];
        out += QStringLiteral("%1%2%3%4")
                   .arg(msb >= 0x80 ? 0xFFu : 0x00u, 2, 16, QLatin1Char('0'))
                   .arg(msb, 2, 16, QLatin1Char('0'))
                   .arg(mid, 2, 16, QLatin1Char('0'))
                   .arg(lsb, 2, 16, QLatin1Char('0'));
    }
    return out.toUpper();
}

QStringList wavHeaderLogLines(const QByteArray& wav) {
    QStringList lines;
    const auto id = ascii4(wav, 0);
    if (!id) return lines;
    lines << QStringLiteral("ID: ") + *id;
    const auto chunkSize = le32(wav, 4);
    if (!chunkSize) return lines;
    lines << QStringLiteral("chunk size: %1").arg(*chunkSize);

    // The file rebuilt around its first "fmt " chunk: the RIFF header, then
    // everything from "fmt " on; the fields below sit at the offsets of a
    // canonical file in that view.
    QByteArray rebuilt = wav;
    if (const qsizetype pos = wav.indexOf("fmt ", 12); pos >= 0)
        rebuilt = wav.left(12) + wav.mid(pos);
    const auto subchunk = ascii4(wav, 12);
    if (!subchunk) return lines;
    lines << QStringLiteral("Subchunk ID: ") + *subchunk;

    struct Field {
        const char* label;
        int offset;
        int size;
    };
    static const Field fields[] = {
        {"Subchink size: ", 16, 4},   {"Audio format: ", 20, 2},  {"Num_of_channels: ", 22, 2},
        {"Sample_Rate: ", 24, 4},     {"Byte_Rate: ", 28, 4},     {"Block align: ", 32, 2},
        {"Bits_per_sample: ", 34, 2}, {"subchunk2size: ", 40, 4},
    };
    for (const Field& f : fields) {
        const auto v = f.size == 4 ? le32(rebuilt, f.offset) : le16(rebuilt, f.offset);
        if (!v) return lines;
        lines << QString::fromLatin1(f.label) + QString::number(*v);
    }
    lines << QStringLiteral("Audio data: ") + hexForLog(rebuilt.mid(44));
    return lines;
}

QString spliceIrWords(const QString& imageText, const IrLayout& layout, const QString& words) {
    const qsizetype start = qsizetype(2) * layout.offset;
    const qsizetype length = qsizetype(8) * layout.samples;
    if (words.size() != length || imageText.size() < start + length) return {};
    return imageText.left(start) + words + imageText.mid(start + length);
}

IrImport prepareImpulseResponseFromData(const QByteArray& wav, const QString& fileName,
                                        const QString& effectDisplayName,
                                        const std::optional<QString>& imageText,
                                        const IrOptions& options) {
    IrImport r;
    r.effect = effectDisplayName;
    const auto layout = irLayoutFor(effectDisplayName);
    if (!layout) {
        r.error = effectDisplayName.isEmpty()
                      ? QStringLiteral(
                            "Choose an effect of the \"Impulse Response\" category before "
                            "loading an impulse response.")
                      : QStringLiteral(
                            "\"%1\" does not use an impulse response. Choose an effect of "
                            "the \"Impulse Response\" category first.")
                            .arg(effectDisplayName);
        return r;
    }

    r.log << QString::number(wav.size());
    r.log << hexForLog(wav);
    r.log << wavHeaderLogLines(wav);

    r.prepared = prepareIrSamples(wav, layout->samples, options);
    const IrPrepared& p = r.prepared;
    if (!p.ok()) {
        r.error = p.error;
        r.log << p.error;
        return r;
    }
    r.info = p.info;
    r.steps = irPreparationSteps(p);
    r.log << QStringLiteral("WAV audio: %1%2; %3")
                 .arg(describeFormat(p.info),
                      p.info.extensible ? QStringLiteral(" (extensible format)") : QString(),
                      channelUsed(p));
    for (const QString& step : r.steps) r.log << QStringLiteral("Preparation: ") + step;
    r.log << QStringLiteral("irdata: ") + hexOf(p.rawSamples);

    QString words;
    words.reserve(8 * qsizetype(p.words.size()));
    for (qint32 w : p.words) words += word8(w);
    r.log << QStringLiteral("irdata swapped endianess: ") + words;
    for (int s = 0; s < layout->samples; ++s) r.log << words.mid(8 * s, 8);

    QString image;
    if (imageText) {
        image = *imageText;
    } else {
        QString error;
        image = effect_image_text(effectDisplayName, &error);
        if (image.isEmpty()) {
            r.error =
                error.isEmpty()
                    ? QStringLiteral("The image of \"%1\" cannot be read.").arg(effectDisplayName)
                    : error;
            r.log << r.error;
            return r;
        }
    }
    r.image = spliceIrWords(image, *layout, words);
    if (r.image.isEmpty()) {
        r.error = QStringLiteral("The image of \"%1\" is too short for its impulse-response area.")
                      .arg(effectDisplayName);
        r.log << r.error;
        return r;
    }
    r.log << r.image;

    QStringList summary;
    summary << QStringLiteral("Selected file data:") << QStringLiteral("Name: ") + fileName
            << QStringLiteral("Size: %1").arg(wav.size())
            << QStringLiteral("Sample rate: %1").arg(p.info.sampleRate)
            << QStringLiteral("Bits per sample: %1%2")
                   .arg(p.info.bitsPerSample)
                   .arg(p.info.isFloat ? QStringLiteral(" (floating point)") : QString())
            << QStringLiteral("Channels: %1").arg(p.info.channels)
            << QStringLiteral("Length: %1 samples (%2 ms)")
                   .arg(p.info.frames)
                   .arg(
                       QString::number(double(p.info.frames) * 1000.0 / p.info.sampleRate, 'f', 1));
    r.summary = summary.join(QStringLiteral("\r\n"));
    return r;
}

IrSource readIrSource(const QString& wavPath) {
    IrSource s;
    const QFileInfo fileInfo(wavPath);
    s.path = fileInfo.absoluteFilePath();
    s.fileName = fileInfo.fileName();
    // Reading stops one byte past the limit, so /dev/zero or a FIFO cannot fill
    // memory and a file at the limit is told from a larger one.
    fileio::ReadResult read = fileio::readAtMost(wavPath, kMaxIrFileBytes);
    if (read.tooLarge) {
        s.error = QStringLiteral(
                      "The file \"%1\" is too large for an impulse response: at most %2 MB are "
                      "read.")
                      .arg(s.fileName)
                      .arg(kMaxIrFileBytes / (1024 * 1024));
    } else if (!read.ok()) {
        s.error = QStringLiteral("The file \"%1\" cannot be read: %2").arg(s.fileName, read.error);
    } else {
        s.bytes = std::move(read.bytes);
    }
    return s;
}

IrImport prepareImpulseResponse(const IrSource& source, const QString& effectDisplayName,
                                const std::optional<QString>& imageText, const IrOptions& options) {
    if (!irLayoutFor(effectDisplayName))
        return prepareImpulseResponseFromData({}, {}, effectDisplayName, imageText, options);
    const QStringList head = {source.path, source.fileName};
    if (!source.ok()) {
        IrImport r;
        r.effect = effectDisplayName;
        r.error = source.error;
        r.log = head;
        r.log << r.error;
        return r;
    }
    IrImport r = prepareImpulseResponseFromData(source.bytes, source.fileName, effectDisplayName,
                                                imageText, options);
    r.log = head + r.log;
    return r;
}

IrImport prepareImpulseResponse(const QString& wavPath, const QString& effectDisplayName,
                                const std::optional<QString>& imageText, const IrOptions& options) {
    if (!irLayoutFor(effectDisplayName))
        return prepareImpulseResponseFromData({}, {}, effectDisplayName, imageText, options);
    return prepareImpulseResponse(readIrSource(wavPath), effectDisplayName, imageText, options);
}

void adoptPreparedImpulseResponse(const IrImport& import, DeviceController& device) {
    if (!import.ok()) return;
    device.setPreparedIr(import.image, import.effect);
}

}  // namespace zendal
