#include "effects/IrWavReader.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace zendal {

namespace {

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

quint32 le32At(const QByteArray& b, qsizetype off) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + off;
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

// Walks the RIFF chunks; true when a chunk with this id is present.
bool hasChunk(const QByteArray& wav, const char* id) {
    qsizetype pos = 12;
    while (pos + 8 <= wav.size()) {
        const quint32 size = le32At(wav, pos + 4);
        if (wav.mid(pos, 4) == id) return true;
        pos += 8 + qsizetype(size) + (size & 1);
    }
    return false;
}

// Frames are read in blocks of about this many samples, so that a long file
// of many channels never needs a buffer of all of it at once.
constexpr sf_count_t kBlockSamples = 65536;

}  // namespace

qint32 toIrWord(double sample, bool dropLowBits, bool* saturated) {
    constexpr double kScale = 8388608.0;  // 2^23
    if (std::isnan(sample)) return 0;
    const double scaled = sample * kScale;
    const double rounded = dropLowBits ? std::floor(scaled) : std::nearbyint(scaled);
    const double held = std::clamp(rounded, -kScale, kScale - 1.0);
    if (saturated) *saturated = held != rounded;
    return static_cast<qint32>(held);
}

qint32 floatToIrWord(double sample) {
    if (std::isnan(sample)) return 0;
    return toIrWord(std::clamp(sample, -1.0, 1.0), false);
}

WavChannelAudio readWavChannel(const QByteArray& wav, IrChannel channel, qint64 maxFrames,
                               qint64 rawFrames) {
    WavChannelAudio r;
    if (wav.size() > kMaxIrFileBytes) {
        r.error = QStringLiteral(
                      "The file is too large for an impulse response (%1 MB; at most %2 MB are "
                      "read).")
                      .arg(double(wav.size()) / (1024 * 1024), 0, 'f', 1)
                      .arg(kMaxIrFileBytes / (1024 * 1024));
        return r;
    }
    if (wav.isEmpty()) {
        r.error = QStringLiteral("The file is empty.");
        return r;
    }
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

    // Which channels are read: one, or the first two for "mid".
    const bool mid = channel == IrChannel::Mid && info.channels > 1;
    const int first = (channel == IrChannel::Right && info.channels > 1) ? 1 : 0;
    const int taken = mid ? 2 : 1;
    const size_t width = size_t(info.channels);
    const sf_count_t wanted = std::clamp<qint64>(maxFrames, 0, info.frames);
    const int bytes = info.bitsPerSample / 8;
    r.samples.reserve(size_t(wanted));

    std::vector<double> floats;
    std::vector<int> ints;
    sf_count_t done = 0;
    while (done < wanted) {
        const sf_count_t block =
            std::min(std::max<sf_count_t>(1, kBlockSamples / sf_count_t(width)), wanted - done);
        sf_count_t got = 0;
        if (info.isFloat) {
            floats.resize(size_t(block) * width);
            got = sf_readf_double(file.get(), floats.data(), block);
        } else {
            ints.resize(size_t(block) * width);
            got = sf_readf_int(file.get(), ints.data(), block);
        }
        if (got <= 0) break;
        for (sf_count_t f = 0; f < got; ++f) {
            double sum = 0;
            for (int k = 0; k < taken; ++k) {
                const size_t at = size_t(f) * width + size_t(first + k);
                double v = 0;
                quint32 stored = 0;
                if (info.isFloat) {
                    v = floats[at];
                    const float asStored = static_cast<float>(v);
                    std::memcpy(&stored, &asStored, 4);
                } else {
                    // Integers come left-justified in 32 bits.
                    v = double(ints[at]) / 2147483648.0;
                    stored = static_cast<quint32>(ints[at]) >> (32 - info.bitsPerSample);
                }
                sum += v;
                if (done + f < rawFrames)
                    for (int b = 0; b < bytes; ++b)
                        r.rawSamples.append(char((stored >> (8 * b)) & 0xFF));
            }
            r.samples.push_back(mid ? sum / 2 : sum);
        }
        done += got;
    }
    // A file cut inside its audio: what could be read is all there is.
    if (done < wanted) r.info.frames = done;
    if (r.info.frames <= 0) r.error = QStringLiteral("The WAV file holds no audio.");
    return r;
}

WavDecodeResult decodeWavForIr(const QByteArray& wav, int wanted) {
    WavDecodeResult r;
    const WavChannelAudio audio = readWavChannel(wav, IrChannel::Left, wanted, wanted);
    r.info = audio.info;
    if (!audio.ok()) {
        r.error = audio.error;
        return r;
    }
    if (qint64(audio.samples.size()) < wanted) {
        r.error = QStringLiteral(
                      "The WAV file holds %1 samples per channel; the effect needs %2. Nothing "
                      "was imported: choose a longer impulse response.")
                      .arg(audio.info.frames)
                      .arg(wanted);
        return r;
    }
    const bool dropLowBits = !audio.info.isFloat;
    for (double v : audio.samples)
        r.words.push_back(audio.info.isFloat ? floatToIrWord(v) : toIrWord(v, dropLowBits));
    r.rawSamples = audio.rawSamples;
    return r;
}

}  // namespace zendal
