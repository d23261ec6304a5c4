// Impulse-response import: any file the user picks in the "Load IR" dialog.
//
// Input: a selector byte (bits 0-1: which of the four impulse-response effects;
// bits 2-6: how many samples the plain decoder is asked for, so that small
// files reach its success path too, and, modulo 3, the channel chosen; bit 7:
// normalisation), then the file's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/Log.h"
#include "effects/ImpulseResponse.h"
#include "fuzz/support/Verbose.h"

namespace {

QString wordHex(qint32 w) {
    return QStringLiteral("%1").arg(static_cast<quint32>(w), 8, 16, QLatin1Char('0')).toUpper();
}

// Integer samples: the converter of the stored bytes and the decoder's words agree.
void checkDecoded(const zendal::WavDecodeResult& r, int wanted) {
    if (!r.ok()) {
        if (!r.words.empty() && wanted > 0) std::abort();
        return;
    }
    if (wanted <= 0) return;
    if (static_cast<int>(r.words.size()) != wanted) std::abort();
    for (qint32 w : r.words) {
        if (w < -8388608 || w > 8388607) std::abort();  // a 24-bit sample
    }
    const int bits = r.info.bitsPerSample;
    if (r.info.isFloat || bits == 16) return;
    const QString converted =
        zendal::convert_ir_samples(QString::fromLatin1(r.rawSamples.toHex()), bits, wanted);
    QString expected;
    for (qint32 w : r.words) expected += wordHex(w);
    if (converted != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zendal::Log::instance().clear();  // the log keeps every line; keep memory flat
    zendal::fuzz::mirrorLogWhenAsked();
    if (size < 1) return 0;
    const std::uint8_t selector = data[0];
    const QByteArray wav(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    (void)zendal::wavHeaderLogLines(wav);
    const int wanted = (selector >> 2) & 0x1F;
    checkDecoded(zendal::decodeWavForIr(wav, wanted), wanted);

    // The whole import, on an image of the catalogue's shape.
    const zendal::IrLayout& layout = zendal::irLayouts().at(selector & 0x03);
    const QString image =
        QStringLiteral("27") + QStringLiteral("5A").repeated(layout.offset + layout.byteLength());
    zendal::IrOptions options;
    options.channel = static_cast<zendal::IrChannel>(((selector >> 2) & 0x1F) % 3);
    options.normalize = (selector & 0x80) != 0;
    const zendal::IrImport import = zendal::prepareImpulseResponseFromData(
        wav, QStringLiteral("fuzz.wav"), layout.displayName, image, options);
    zendal::DebugPrint(import.ok() ? QStringLiteral("imported") : import.error);
    if (import.ok()) {
        // Same length as the catalogue image, changed only inside the IR area.
        const qsizetype start = 2 * qsizetype(layout.offset);
        const qsizetype length = 8 * qsizetype(layout.samples);
        if (import.image.size() != image.size() || import.image.left(start) != image.left(start) ||
            import.image.mid(start + length) != image.mid(start + length) ||
            import.summary.isEmpty() || import.steps.isEmpty())
            std::abort();
        // Exactly the slot, every word a saturated 24-bit value, never all zero.
        const auto& words = import.prepared.words;
        if (static_cast<int>(words.size()) != layout.samples) std::abort();
        bool sound = false;
        for (qint32 w : words) {
            if (w < -8388608 || w > 8388607) std::abort();
            sound = sound || w != 0;
        }
        if (!sound) std::abort();
    } else if (import.error.isEmpty() || !import.image.isEmpty()) {
        std::abort();
    }
    return 0;
}
