#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

// Byte frames of the microcontroller's serial bootloader and the chunk table a
// firmware image is cut into. Pure functions: nothing here touches the port.
namespace zendal::firmware {

constexpr std::uint8_t kAck = 0x79;
constexpr std::uint8_t kNack = 0x1F;
constexpr std::uint8_t kConnectByte = 0x7F;

constexpr std::uint32_t kFlashStart = 0x08000000u;
constexpr std::uint32_t kVariantRecordAddress = 0x0801FC00u;

constexpr int kChunkSize = 256;
constexpr int kChunkTableRoom = 512;
constexpr int kMaxImageSize = kChunkSize * kChunkTableRoom;  // 131,072 bytes

// Command byte followed by its complement (31 CE, 43 BC, 21 DE, 00 FF, 11 EE).
QByteArray commandFrame(std::uint8_t command);
constexpr std::uint8_t kGetCommand = 0x00;
constexpr std::uint8_t kReadMemoryCommand = 0x11;
constexpr std::uint8_t kGoCommand = 0x21;
constexpr std::uint8_t kWriteMemoryCommand = 0x31;
constexpr std::uint8_t kEraseCommand = 0x43;

// XOR of the four address bytes.
std::uint8_t addressChecksum(std::uint32_t address);
// The address most significant byte first, then addressChecksum: five bytes.
QByteArray addressFrame(std::uint32_t address);
// N (= count - 1), the data, then N XOR every data byte. Data of 1 to 256 bytes.
QByteArray dataBlockFrame(const QByteArray& data);
std::uint8_t dataChecksum(const QByteArray& data);
// FF 00: erase every page.
QByteArray globalEraseFrame();
// Eight bytes: seven 00 and the variant number.
QByteArray variantRecord(int variant);
// N and its complement for Read Memory (count 1 to 256).
QByteArray readLengthFrame(int count);

struct Chunk {
    QString hex;       // two upper-case digits per byte
    QByteArray bytes;  // 1 to 256 bytes
};

struct ChunkTable {
    QVector<Chunk> chunks;
    int imageSize = 0;
    // Address of chunk i: the flash start plus 256 * i.
    static std::uint32_t addressOf(int index) {
        return kFlashStart + static_cast<std::uint32_t>(kChunkSize * index);
    }
};

struct SplitResult {
    bool ok = false;
    ChunkTable table;
    QString error;  // set when !ok
};

// Cuts an image into chunks of 256 bytes (the last holds the rest) and logs
// the table. Refuses an empty image and one larger than the table's room,
// without logging the chunk lines.
SplitResult SplitImage(const QByteArray& image);

}  // namespace zendal::firmware
