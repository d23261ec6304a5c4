#include "IrSupport.h"

#include "effects/EffectCatalogue.h"

namespace zendal::test {

QString imageFor(const IrLayout& layout) {
    const QString image = effect_image_text(layout.displayName);
    if (!image.isEmpty()) return image;
    const int size = layout.offset + layout.byteLength() + 300;
    QString text = QStringLiteral("00%1").arg(size, 4, 16, QLatin1Char('0')).toUpper();
    for (int i = 3; i < size; ++i)
        text += QStringLiteral("%1").arg((i * 37 + 11) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

QString wordsHex(const std::vector<qint64>& words) {
    QString s;
    for (qint64 w : words)
        s += QStringLiteral("%1").arg(quint32(qint32(w)), 8, 16, QLatin1Char('0')).toUpper();
    return s;
}

std::vector<qint64> expectedWords(const std::vector<qint64>& samples, int bits) {
    std::vector<qint64> out;
    for (qint64 s : samples) {
        if (bits == 16) out.push_back(s * 256);
        if (bits == 24) out.push_back(s);
        if (bits == 32) out.push_back((s - (((s % 256) + 256) % 256)) / 256);  // floor(s / 256)
    }
    return out;
}

std::vector<qint64> channelOf(const std::vector<qint64>& interleaved, int channels, int first) {
    std::vector<qint64> out;
    for (size_t i = size_t(first); i < interleaved.size(); i += size_t(channels))
        out.push_back(interleaved[i]);
    return out;
}

}  // namespace zendal::test
