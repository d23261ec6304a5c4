#include "WavFixture.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <cstring>

namespace zendal::test {

QByteArray le16(quint32 v) {
    QByteArray b;
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
    return b;
}

QByteArray le32(quint32 v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}

QByteArray chunk(const char* id, const QByteArray& body) {
    QByteArray c = QByteArray(id, 4) + le32(quint32(body.size())) + body;
    if (body.size() % 2) c.append('\0');
    return c;
}

QByteArray riffWave(const QList<QByteArray>& chunks) {
    QByteArray body = "WAVE";
    for (const QByteArray& c : chunks) body += c;
    return "RIFF" + le32(quint32(body.size())) + body;
}

QByteArray fmtBody(int formatTag, int channels, int rate, int bits) {
    const int align = channels * bits / 8;
    return le16(quint32(formatTag)) + le16(quint32(channels)) + le32(quint32(rate)) +
           le32(quint32(rate * align)) + le16(quint32(align)) + le16(quint32(bits));
}

QByteArray fmtBody18(int formatTag, int channels, int rate, int bits) {
    return fmtBody(formatTag, channels, rate, bits) + le16(0);
}

QByteArray fmtBodyExtensible(int subFormatTag, int channels, int rate, int bits) {
    // KSDATAFORMAT_SUBTYPE_xxx: the tag followed by the fixed GUID tail.
    static const unsigned char tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const quint32 mask = channels == 1 ? 0x4 : 0x3;
    return fmtBody(0xFFFE, channels, rate, bits) + le16(22) + le16(quint32(bits)) + le32(mask) +
           le16(quint32(subFormatTag)) + QByteArray(reinterpret_cast<const char*>(tail), 14);
}

QByteArray pcmBytes(const std::vector<qint64>& samples, int bits) {
    QByteArray b;
    for (qint64 s : samples) {
        const quint64 u = quint64(s);
        for (int k = 0; k < bits / 8; ++k) b.append(char((u >> (8 * k)) & 0xFF));
    }
    return b;
}

QByteArray floatBytes(const std::vector<float>& samples) {
    QByteArray b;
    for (float f : samples) {
        quint32 u;
        std::memcpy(&u, &f, 4);
        b += le32(u);
    }
    return b;
}

QByteArray pcmWav(const std::vector<qint64>& interleaved, int channels, int rate, int bits) {
    return riffWave({chunk("fmt ", fmtBody(1, channels, rate, bits)),
                     chunk("data", pcmBytes(interleaved, bits))});
}

std::vector<qint64> knownSamples(int count, int bits, int seed) {
    const qint64 max = (qint64(1) << (bits - 1)) - 1;
    const qint64 min = -max - 1;
    std::vector<qint64> v = {min, max, 0, -1, 1, min + 1, max - 1, qint64(1) << (bits - 2)};
    quint32 state = 0x9E3779B9u ^ quint32(seed);
    while (int(v.size()) < count) {
        state = state * 1664525u + 1013904223u;
        const qint64 span = max >> (int(v.size()) % 12);  // a decaying envelope
        v.push_back(qint64(state % quint32(std::min<qint64>(span, 0x7FFFFFFF))) *
                    ((state >> 31) ? -1 : 1));
    }
    v.resize(size_t(count));
    return v;
}

QString soxProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("sox"));
}

bool runSox(const QStringList& args, QString* error) {
    QProcess sox;
    sox.start(soxProgram(), args);
    if (!sox.waitForFinished(60000) || sox.exitStatus() != QProcess::NormalExit ||
        sox.exitCode() != 0) {
        *error = QString::fromLocal8Bit(sox.readAllStandardError());
        return false;
    }
    return true;
}

bool soxWrite(const QByteArray& raw, const QStringList& rawFormatArgs, const QString& outPath,
              QString* error, const QStringList& outputArgs) {
    QTemporaryFile in;
    if (!in.open() || in.write(raw) != raw.size() || !in.flush()) {
        *error = QStringLiteral("cannot write the raw input");
        return false;
    }
    QStringList args = {QStringLiteral("-D"), QStringLiteral("-t"), QStringLiteral("raw")};
    args << rawFormatArgs << in.fileName() << outputArgs << outPath;
    return runSox(args, error);
}

bool soxWav(const std::vector<float>& interleaved, int channels, int rate, const char* encoding,
            int bits, const QString& outPath, QString* error, const QStringList& outputArgs) {
    // The raw input is always 32-bit float; sox converts it to the file's encoding.
    QStringList out = {QStringLiteral("-e"), QString::fromLatin1(encoding), QStringLiteral("-b"),
                       QString::number(bits)};
    out << outputArgs;
    return soxWrite(floatBytes(interleaved),
                    {QStringLiteral("-r"), QString::number(rate), QStringLiteral("-e"),
                     QStringLiteral("floating-point"), QStringLiteral("-b"), QStringLiteral("32"),
                     QStringLiteral("-c"), QString::number(channels)},
                    outPath, error, out);
}

}  // namespace zendal::test
