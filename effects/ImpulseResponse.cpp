#include "effects/ImpulseResponse.h"

#include <sndfile.h>

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/EditorState.h"
#include "core/FileIo.h"
#include "effects/EffectCatalogue.h"

namespace zendal {

namespace {

// The log shows the file and its audio as hex text; a long recording would make
// lines of megabytes that the console cannot lay out, so they stop here.
constexpr qsizetype kLogBytesLimit = 65536;

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

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

// libsndfile reads the file from memory.
struct MemoryFile {
    const QByteArray* data;
    sf_count_t pos = 0;
};

sf_count_t memLength(void* user) {
    return static_cast<MemoryFile*>(user)->data->size();
}

sf_count_t memSeek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = f->pos;
    if (whence == SEEK_END) base = f->data->size();
    const sf_count_t target = base + offset;
    if (target < 0) return -1;
    f->pos = target;
    return f->pos;
}

sf_count_t memRead(void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t size = f->data->size();
    if (count <= 0 || f->pos >= size) return 0;
    const sf_count_t n = std::min(count, size - f->pos);
    std::memcpy(ptr, f->data->constData() + f->pos, static_cast<size_t>(n));
    f->pos += n;
    return n;
}

sf_count_t memWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t memTell(void* user) {
    return static_cast<MemoryFile*>(user)->pos;
}

struct SndFileCloser {
    void operator()(SNDFILE* f) const {
        if (f) sf_close(f);
    }
};

QString subtypeName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
        return QString::fromLatin1(info.name);
    return QStringLiteral("format 0x%1").arg(format & SF_FORMAT_SUBMASK, 4, 16, QLatin1Char('0'));
}

bool hasRiffWaveHeader(const QByteArray& wav) {
    return wav.size() >= 12 && wav.startsWith("RIFF") && wav.mid(8, 4) == "WAVE";
}

// Walks the RIFF chunks; true when a chunk with this id is present.
bool hasChunk(const QByteArray& wav, const char* id) {
    qsizetype pos = 12;
    while (pos + 8 <= wav.size()) {
        const quint32 size = *le32(wav, pos + 4);
        if (wav.mid(pos, 4) == id) return true;
        pos += 8 + qsizetype(size) + (size & 1);
    }
    return false;
}

QString describeFormat(const WavAudioInfo& i) {
    return QStringLiteral("%1 %2 bit, %3 channel(s), %4 Hz, %5 samples per channel")
        .arg(i.isFloat ? QStringLiteral("floating point") : QStringLiteral("PCM"))
        .arg(i.bitsPerSample)
        .arg(i.channels)
        .arg(i.sampleRate)
        .arg(i.frames);
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
            const int hi = hexDigit(sampleHex[at]), lo = hexDigit(sampleHex[at + 1]);
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

qint32 floatToIrWord(double sample) {
    if (std::isnan(sample)) return 0;
    constexpr double kScale = 8388608.0;  // 2^23
    const double clamped = std::clamp(sample, -1.0, 1.0);
    const double scaled = std::nearbyint(clamped * kScale);
    return static_cast<qint32>(std::clamp(scaled, -kScale, kScale - 1.0));
}

WavDecodeResult decodeWavForIr(const QByteArray& wav, int wanted) {
    WavDecodeResult r;
    if (!hasRiffWaveHeader(wav)) {
        r.error = QStringLiteral(
            "The file is not a WAV file: it does not begin with a RIFF/WAVE header.");
        return r;
    }
    MemoryFile mem{&wav, 0};
    SF_VIRTUAL_IO io{memLength, memSeek, memRead, memWrite, memTell};
    SF_INFO sfInfo{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open_virtual(&io, SFM_READ, &sfInfo, &mem));
    if (!file) {
        // Name the missing part when the chunk walk finds it missing.
        if (!hasChunk(wav, "fmt "))
            r.error = QStringLiteral(
                "The WAV file has no \"fmt \" chunk, so its audio format is unknown.");
        else if (!hasChunk(wav, "data"))
            r.error = QStringLiteral("The WAV file holds no audio: it has no \"data\" chunk.");
        else
            r.error = QStringLiteral("The WAV file cannot be read: %1.")
                          .arg(QString::fromLocal8Bit(sf_strerror(nullptr)));
        return r;
    }
    const int major = sfInfo.format & SF_FORMAT_TYPEMASK;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) {
        r.error = QStringLiteral("The file is not a WAV file.");
        return r;
    }

    WavAudioInfo& info = r.info;
    info.sampleRate = sfInfo.samplerate;
    info.channels = sfInfo.channels;
    info.frames = sfInfo.frames;
    info.extensible = major == SF_FORMAT_WAVEX;
    switch (sfInfo.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_16:
            info.bitsPerSample = 16;
            break;
        case SF_FORMAT_PCM_24:
            info.bitsPerSample = 24;
            break;
        case SF_FORMAT_PCM_32:
            info.bitsPerSample = 32;
            break;
        case SF_FORMAT_FLOAT:
            info.bitsPerSample = 32;
            info.isFloat = true;
            break;
        default:
            r.error = QStringLiteral(
                          "The WAV file holds %1 samples. Only 16-, 24- and 32-bit PCM and 32-bit "
                          "floating-point files can be imported.")
                          .arg(subtypeName(sfInfo.format));
            return r;
    }
    if (info.channels < 1 || info.frames <= 0) {
        r.error = QStringLiteral("The WAV file holds no audio.");
        return r;
    }
    if (info.frames < wanted) {
        r.error = QStringLiteral(
                      "The WAV file holds %1 samples per channel; the effect needs %2. Nothing "
                      "was imported: choose a longer impulse response.")
                      .arg(info.frames)
                      .arg(wanted);
        return r;
    }
    if (wanted <= 0) return r;

    const size_t count = size_t(wanted) * size_t(info.channels);
    r.words.reserve(size_t(wanted));
    sf_count_t got = 0;
    if (info.isFloat) {
        std::vector<double> buffer(count);
        got = sf_readf_double(file.get(), buffer.data(), wanted);
        for (sf_count_t f = 0; f < got; ++f) {
            const double v = buffer[size_t(f) * size_t(info.channels)];
            const float asStored = static_cast<float>(v);
            quint32 bits = 0;
            std::memcpy(&bits, &asStored, 4);
            for (int k = 0; k < 4; ++k) r.rawSamples.append(char((bits >> (8 * k)) & 0xFF));
            r.words.push_back(floatToIrWord(v));
        }
    } else {
        // Integers come left-justified in 32 bits: the top 24 bits are the word.
        std::vector<int> buffer(count);
        got = sf_readf_int(file.get(), buffer.data(), wanted);
        const int bytes = info.bitsPerSample / 8;
        for (sf_count_t f = 0; f < got; ++f) {
            const qint32 v = buffer[size_t(f) * size_t(info.channels)];
            const quint32 stored = static_cast<quint32>(v) >> (32 - info.bitsPerSample);
            for (int k = 0; k < bytes; ++k) r.rawSamples.append(char((stored >> (8 * k)) & 0xFF));
            r.words.push_back(v >> 8);
        }
    }
    if (got < wanted) {
        r.words.clear();
        r.rawSamples.clear();
        r.error = QStringLiteral(
                      "The WAV file is cut short: only %1 of the %2 samples the effect needs could "
                      "be read.")
                      .arg(got)
                      .arg(wanted);
    }
    return r;
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
    for (qsizetype pos = 12; pos + 4 <= wav.size(); ++pos) {
        if (wav.mid(pos, 4) == "fmt ") {
            rebuilt = wav.left(12) + wav.mid(pos);
            break;
        }
    }
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
                                        const std::optional<QString>& imageText) {
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

    WavDecodeResult audio = decodeWavForIr(wav, layout->samples);
    if (!audio.ok()) {
        r.error = audio.error;
        r.log << audio.error;
        return r;
    }
    r.info = audio.info;
    r.log << QStringLiteral("WAV audio: %1%2; channel 1 is used")
                 .arg(describeFormat(audio.info),
                      audio.info.extensible ? QStringLiteral(" (extensible format)") : QString());
    r.log << QStringLiteral("irdata: ") + hexOf(audio.rawSamples);

    // 24- and 32-bit PCM samples go through the pedal's converter as they are
    // stored; 16-bit and float samples were scaled to the same 24-bit words.
    QString words;
    if (!audio.info.isFloat && audio.info.bitsPerSample != 16) {
        words =
            convert_ir_samples(hexOf(audio.rawSamples), audio.info.bitsPerSample, layout->samples);
    } else {
        for (qint32 w : audio.words) words += word8(w);
    }
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
            << QStringLiteral("Sample rate: %1").arg(audio.info.sampleRate)
            << QStringLiteral("Bits per sample: %1%2")
                   .arg(audio.info.bitsPerSample)
                   .arg(audio.info.isFloat ? QStringLiteral(" (floating point)") : QString())
            << QStringLiteral("Channel used: 1 of %1").arg(audio.info.channels);
    if (audio.info.sampleRate != 48000)
        summary << QStringLiteral(
            "Warning: the file's sample rate is not 48 kHz. The pedal plays the impulse "
            "response at 48 kHz without resampling, so it will sound different.");
    r.summary = summary.join(QStringLiteral("\r\n"));
    return r;
}

IrImport prepareImpulseResponse(const QString& wavPath, const QString& effectDisplayName,
                                const std::optional<QString>& imageText) {
    if (!irLayoutFor(effectDisplayName)) {
        return prepareImpulseResponseFromData({}, {}, effectDisplayName, imageText);
    }
    const QFileInfo fileInfo(wavPath);
    QStringList head;
    head << fileInfo.absoluteFilePath() << fileInfo.fileName();
    // An impulse response needs at most 912 samples; 50 MB still takes a minute
    // of 24-bit stereo at 96 kHz, and reading stops there (/dev/zero included).
    constexpr qint64 kMaxWavFileBytes = 50 * 1000 * 1000;
    const fileio::ReadResult read = fileio::readAtMost(wavPath, kMaxWavFileBytes);
    if (!read.ok()) {
        IrImport r;
        r.effect = effectDisplayName;
        r.error = read.tooLarge ? QStringLiteral(
                                      "The file \"%1\" is larger than %2 bytes, too "
                                      "large for an impulse response.")
                                      .arg(fileInfo.fileName())
                                      .arg(kMaxWavFileBytes)
                                : QStringLiteral("The file \"%1\" cannot be read: %2")
                                      .arg(fileInfo.fileName(), read.error);
        r.log = head;
        r.log << r.error;
        return r;
    }
    IrImport r = prepareImpulseResponseFromData(read.bytes, fileInfo.fileName(), effectDisplayName,
                                                imageText);
    r.log = head + r.log;
    return r;
}

void adoptPreparedImpulseResponse(const IrImport& import) {
    if (!import.ok()) return;
    editorState().prepared_ir_image = import.image;
    editorState().prepared_ir_effect = import.effect;
}

}  // namespace zendal
