#include "firmware/FirmwareImage.h"

#include <QFile>

#include "core/Hex.h"

namespace zendal::firmware {

namespace {

// "0x08000000"
QString address(std::uint32_t value) {
    return QStringLiteral("0x") + hex8(value);
}

std::uint32_t le32(const QByteArray& bytes, int at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 2])) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24);
}

constexpr std::uint32_t kFlashEnd = kFlashStart + static_cast<std::uint32_t>(kMaxImageSize);

}  // namespace

std::optional<QString> vectorTableProblem(const QByteArray& first8) {
    if (first8.size() < kVectorBytes) return QStringLiteral("shorter than a vector table");
    const std::uint32_t stack = le32(first8, 0);
    const std::uint32_t reset = le32(first8, 4);
    if (stack <= kSramStart || stack > kSramEnd || (stack & 3u) != 0) {
        return QStringLiteral("the initial stack pointer %1 is not in SRAM").arg(address(stack));
    }
    const std::uint32_t code = reset & ~1u;
    if ((reset & 1u) == 0 || code < kFlashStart + kVectorBytes || code >= kFlashEnd) {
        return QStringLiteral("the reset address %1 is not Thumb code in flash")
            .arg(address(reset));
    }
    return std::nullopt;
}

std::optional<QString> variantRecordProblem(const QByteArray& record) {
    const QByteArray expected(7, '\0');
    if (record.size() < 8 || record.left(7) != expected) {
        return QStringLiteral("no variant record at 0x0801FC00 (the last write did not finish)");
    }
    const auto v = static_cast<std::uint8_t>(record[7]);
    if (v == 0x00 || v == 0xFF) {
        return QStringLiteral("no variant record at 0x0801FC00 (the last write did not finish)");
    }
    return std::nullopt;
}

std::optional<QString> imageProblem(const QByteArray& image) {
    if (image.isEmpty()) return QStringLiteral("the image is empty");
    if (image.size() > kMaxFirmwareSize) {
        return QStringLiteral(
                   "the image is larger than the %1 bytes that fit below the variant record at "
                   "0x0801FC00")
            .arg(kMaxFirmwareSize);
    }
    if (auto why = vectorTableProblem(image)) {
        return QStringLiteral("not a firmware image for this pedal: ") + *why;
    }
    const std::uint32_t code = le32(image, 4) & ~1u;
    if (code - kFlashStart >= static_cast<std::uint32_t>(image.size())) {
        return QStringLiteral(
                   "not a firmware image for this pedal: the reset address %1 lies beyond its end")
            .arg(address(le32(image, 4)));
    }
    return std::nullopt;
}

std::optional<QByteArray> readFirmwareFile(const QString& path, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error) *error = path + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
    // One byte more than the limit tells a file that is too large, whatever it is.
    const qint64 limit = kMaxFirmwareSize + 1;
    QByteArray bytes;
    char buffer[16384];
    while (bytes.size() < limit) {
        const qint64 n = file.read(buffer, qMin<qint64>(sizeof buffer, limit - bytes.size()));
        if (n < 0) return fail(QStringLiteral("cannot be read to its end: ") + file.errorString());
        if (n == 0) break;
        bytes.append(buffer, static_cast<qsizetype>(n));
    }
    if (auto why = imageProblem(bytes)) return fail(*why);
    return bytes;
}

}  // namespace zendal::firmware
