#include <gtest/gtest.h>

#include "QtPrinters.h"

#include "core/Log.h"
#include "firmware/BootloaderFrames.h"

using namespace zendal;
using namespace zendal::firmware;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

}  // namespace

TEST(BootloaderFrames, AddressFramesAreMsbFirstWithXorChecksum) {
    struct Case {
        std::uint32_t address;
        const char* frame;
    };
    const Case cases[] = {
        {0x08000000u, "0800000008"}, {0x08000100u, "0800010009"}, {0x0801FC00u, "0801FC00F5"},
        {0x08000A00u, "08000A0002"}, {0xFFFFFFFFu, "FFFFFFFF00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        EXPECT_EQ(addressFrame(c.address), hex(c.frame));
    }
}

TEST(BootloaderFrames, DataBlocksCarryCountMinusOneAndChecksum) {
    struct Case {
        QByteArray data;
        QByteArray frame;
    };
    QByteArray full(256, '\0');
    for (int i = 0; i < 256; ++i) full[i] = static_cast<char>(i);
    // N = FF; XOR of 0..255 is 0, so the checksum is FF.
    QByteArray fullFrame = hex("FF") + full + hex("FF");
    const Case cases[] = {
        {hex("0102"), hex("01010202")},
        {hex("AA"), hex("00AAAA")},
        {full, fullFrame},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data.toHex().toStdString());
        EXPECT_EQ(dataBlockFrame(c.data), c.frame);
    }
}

TEST(BootloaderFrames, VariantRecordFramesCheckTheNumber) {
    const char* expected[] = {"",
                              "07000000000000000106",
                              "07000000000000000205",
                              "07000000000000000304",
                              "07000000000000000403",
                              "07000000000000000502"};
    for (int v = 1; v <= 5; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ(dataBlockFrame(variantRecord(v)), hex(expected[v]));
    }
}

TEST(BootloaderFrames, CommandFramesCarryTheComplement) {
    EXPECT_EQ(commandFrame(kWriteMemoryCommand), hex("31CE"));
    EXPECT_EQ(commandFrame(kEraseCommand), hex("43BC"));
    EXPECT_EQ(commandFrame(kGoCommand), hex("21DE"));
    EXPECT_EQ(commandFrame(kGetCommand), hex("00FF"));
    EXPECT_EQ(commandFrame(kReadMemoryCommand), hex("11EE"));
    EXPECT_EQ(globalEraseFrame(), hex("FF00"));
    EXPECT_EQ(readLengthFrame(256), hex("FF00"));
    EXPECT_EQ(readLengthFrame(8), hex("07F8"));
}

class SplitImageTest : public ::testing::Test {
  protected:
    void SetUp() override { Log::instance().clear(); }
    static QStringList log() { return Log::instance().lines(); }
};

TEST_F(SplitImageTest, ChunkCountsAndLastChunkOfEveryCarriedImageSize) {
    struct Case {
        int size;
        int chunks;
        int last;
    };
    const Case cases[] = {
        {41252, 162, 36},  {41396, 162, 180}, {41420, 162, 204}, {41356, 162, 140},
        {41712, 163, 240}, {512, 2, 256},     {1, 1, 1},         {131072, 512, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        QByteArray image(c.size, '\x5A');
        const SplitResult r = SplitImage(image);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        ASSERT_EQ(r.table.chunks.size(), c.chunks);
        EXPECT_EQ(r.table.chunks.last().bytes.size(), c.last);
        for (int i = 0; i + 1 < c.chunks; ++i) ASSERT_EQ(r.table.chunks[i].bytes.size(), 256);
        // The pieces put together give the image back, bytes and text alike.
        QByteArray joined;
        QString joinedHex;
        for (const Chunk& chunk : r.table.chunks) {
            joined += chunk.bytes;
            joinedHex += chunk.hex;
        }
        EXPECT_EQ(joined, image);
        EXPECT_EQ(joinedHex, QString::fromLatin1(image.toHex().toUpper()));
    }
}

TEST_F(SplitImageTest, LogsTheTableAsTheConsoleShowsIt) {
    QByteArray image(41252, '\0');
    image[41251] = '\xAB';
    const SplitResult r = SplitImage(image);
    ASSERT_TRUE(r.ok);
    const QStringList lines = log();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], "num of chunks: 161");
    EXPECT_EQ(lines[1], "num of bytes last chunk: 36");
    // Chunk 0: header line, its hex text, its size, two empty lines.
    EXPECT_EQ(lines[2], "chunk from string 0: ");
    EXPECT_EQ(lines[3], QString(512, '0'));
    EXPECT_EQ(lines[4], "chunk 0 size: 256");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "");
    // The last chunk repeats its byte count first.
    const int last = lines.indexOf("num of bytes last chunk: 36", 2);
    ASSERT_GT(last, 0);
    EXPECT_EQ(lines[last + 1], "chunk from string 161: ");
    EXPECT_EQ(lines[last + 2], QString(70, '0') + "AB");
    EXPECT_EQ(lines[last + 3], "chunk 161 size: 36");
    EXPECT_EQ(lines.size(), last + 6);
}

TEST_F(SplitImageTest, WholeMultipleEndsWithAFullChunkAndTheNByteFF) {
    const SplitResult r = SplitImage(QByteArray(512, '\x11'));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(log()[0], "num of chunks: 2");
    EXPECT_EQ(log()[1], "num of bytes last chunk: 0");
    EXPECT_TRUE(log().contains("num of bytes last chunk: 256"));
    EXPECT_EQ(ChunkTable::addressOf(0), 0x08000000u);
    EXPECT_EQ(ChunkTable::addressOf(1), 0x08000100u);
    EXPECT_EQ(static_cast<std::uint8_t>(dataBlockFrame(r.table.chunks[1].bytes)[0]), 0xFF);
}

TEST_F(SplitImageTest, LastChunkOf41252BytesHasNByte23) {
    const SplitResult r = SplitImage(QByteArray(41252, '\0'));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(static_cast<std::uint8_t>(dataBlockFrame(r.table.chunks.last().bytes)[0]), 0x23);
}

TEST_F(SplitImageTest, RefusesImagesTheTableCannotHold) {
    struct Case {
        int size;
        const char* error;
    };
    const Case cases[] = {
        {131073, "The firmware image is 131073 bytes; at most 131072 bytes fit the chunk table."},
        {0, "The firmware image is empty."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        Log::instance().clear();
        const SplitResult r = SplitImage(QByteArray(c.size, '\0'));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.error);
        EXPECT_TRUE(r.table.chunks.isEmpty());
        EXPECT_TRUE(log().isEmpty());
    }
}
