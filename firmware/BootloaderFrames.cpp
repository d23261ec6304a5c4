#include "firmware/BootloaderFrames.h"

#include "core/Log.h"

namespace zendal::firmware {

QByteArray commandFrame(std::uint8_t command) {
    QByteArray frame(2, '\0');
    frame[0] = static_cast<char>(command);
    frame[1] = static_cast<char>(command ^ 0xFF);
    return frame;
}

std::uint8_t addressChecksum(std::uint32_t address) {
    return static_cast<std::uint8_t>((address >> 24) ^ (address >> 16) ^ (address >> 8) ^ address);
}

QByteArray addressFrame(std::uint32_t address) {
    QByteArray frame(5, '\0');
    frame[0] = static_cast<char>(address >> 24);
    frame[1] = static_cast<char>(address >> 16);
    frame[2] = static_cast<char>(address >> 8);
    frame[3] = static_cast<char>(address);
    frame[4] = static_cast<char>(addressChecksum(address));
    return frame;
}

std::uint8_t dataChecksum(const QByteArray& data) {
    auto sum = static_cast<std::uint8_t>(data.size() - 1);
    for (char c : data) sum ^= static_cast<std::uint8_t>(c);
    return sum;
}

QByteArray dataBlockFrame(const QByteArray& data) {
    Q_ASSERT(!data.isEmpty() && data.size() <= kChunkSize);
    QByteArray frame;
    frame.reserve(data.size() + 2);
    frame.append(static_cast<char>(data.size() - 1));
    frame.append(data);
    frame.append(static_cast<char>(dataChecksum(data)));
    return frame;
}

QByteArray globalEraseFrame() {
    return QByteArray::fromHex("FF00");
}

QByteArray variantRecord(int variant) {
    QByteArray record(8, '\0');
    record[7] = static_cast<char>(variant);
    return record;
}

QByteArray readLengthFrame(int count) {
    Q_ASSERT(count >= 1 && count <= kChunkSize);
    const auto n = static_cast<std::uint8_t>(count - 1);
    QByteArray frame(2, '\0');
    frame[0] = static_cast<char>(n);
    frame[1] = static_cast<char>(n ^ 0xFF);
    return frame;
}

SplitResult SplitImage(const QByteArray& image) {
    SplitResult result;
    const int size = static_cast<int>(image.size());
    if (size == 0) {
        result.error = QStringLiteral("The firmware image is empty.");
        return result;
    }
    if (size > kMaxImageSize) {
        result.error =
            QStringLiteral("The firmware image is %1 bytes; at most %2 bytes fit the chunk table.")
                .arg(size)
                .arg(kMaxImageSize);
        return result;
    }
    int count = size / kChunkSize;
    const int rest = size % kChunkSize;
    DebugPrint(QStringLiteral("num of chunks: %1").arg(count));
    DebugPrint(QStringLiteral("num of bytes last chunk: %1").arg(rest));
    if (rest > 0) ++count;

    const QString hex = QString::fromLatin1(image.toHex().toUpper());
    result.table.imageSize = size;
    result.table.chunks.reserve(count);
    for (int i = 0; i < count; ++i) {
        Chunk chunk;
        chunk.bytes = image.mid(i * kChunkSize, kChunkSize);
        chunk.hex = hex.mid(2 * i * kChunkSize, 2 * static_cast<int>(chunk.bytes.size()));
        const int n = static_cast<int>(chunk.bytes.size());
        if (i == count - 1) DebugPrint(QStringLiteral("num of bytes last chunk: %1").arg(n));
        DebugAppend(QStringLiteral("chunk from string %1: ").arg(i));
        DebugAppend(chunk.hex);
        DebugPrint(QStringLiteral("chunk %1 size: %2").arg(i).arg(n));
        DebugAppend(QString());
        DebugAppend(QString());
        result.table.chunks.append(std::move(chunk));
    }
    result.ok = true;
    return result;
}

}  // namespace zendal::firmware
