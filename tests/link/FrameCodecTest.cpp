#include <gtest/gtest.h>

#include "core/Errors.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"

using namespace zendal;

namespace {

QByteArray transmitted(int n) {
    return QByteArray(reinterpret_cast<const char*>(d2xx().FTTransmitBuffer.data()), n);
}

}  // namespace

TEST(HexToBytes, ConvertsPairsInEitherCase) {
    EXPECT_EQ(HexToBytes(QStringLiteral("0A0100"), 3), 3);
    EXPECT_EQ(transmitted(3), QByteArray::fromHex("0a0100"));
    EXPECT_EQ(HexToBytes(QStringLiteral("0a0100"), 3), 3);
    EXPECT_EQ(transmitted(3), QByteArray::fromHex("0a0100"));
}

TEST(HexToBytes, StopsAtFirstBadPairLeavingEarlierBufferBytes) {
    HexToBytes(QStringLiteral("FFEEDD"), 3);
    EXPECT_EQ(HexToBytes(QStringLiteral("0A0G00"), 3), 1);
    EXPECT_EQ(transmitted(3), QByteArray::fromHex("0aeedd"));
}

TEST(HexToBytes, OddTextWithHalfLengthSendsWholePairsOnly) {
    const QString text = QStringLiteral("0A010");
    EXPECT_EQ(HexToBytes(text, static_cast<int>(text.size() / 2)), 2);
}

TEST(HexToInt, Table) {
    struct Case {
        const char* text;
        qint64 value;
    };
    for (const Case& c : {Case{" 1F ", 31}, Case{"$1F", 31}, Case{"0x1F", 31}, Case{"12", 18}}) {
        EXPECT_EQ(HexToInt(QString::fromLatin1(c.text)), c.value) << c.text;
    }
    for (const char* bad : {"0X1F", "", "G1", "$", "1 2"}) {
        EXPECT_THROW(HexToInt(QString::fromLatin1(bad)), ConversionError) << bad;
    }
}

TEST(HexToInt, ErrorNamesTheText) {
    try {
        HexToInt(QStringLiteral("0X1F"));
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'0X1F' is not a valid integer value"));
    }
}

TEST(DecodeReply, Table) {
    struct Case {
        QByteArray reply;
        QVector<std::uint8_t> expected;
    };
    const Case cases[] = {
        {"12\r\n5\r\n", {12, 5}}, {"300\r\n", {44}},          {"1234\r\n7\r\n", {0, 7}},
        {"12\r\n\r\n", {12, 12}}, {"\n3\r\n17\r\n", {3, 17}},
    };
    for (const Case& c : cases) {
        DecodeReply(c.reply);
        EXPECT_EQ(ReceiveArray(), c.expected) << c.reply.toStdString();
    }
}

TEST(DecodeReply, NoCarriageReturnKeepsPreviousContent) {
    DecodeReply("9\r\n");
    EXPECT_EQ(DecodeReply("123"), 0);
    EXPECT_EQ(ReceiveArray(), (QVector<std::uint8_t>{9}));
}

TEST(DecodeReply, NonDecimalDigitFailsKeepingEarlierFields) {
    DecodeReply("9\r\n");
    EXPECT_THROW(DecodeReply(QByteArray("4\r\n\x3B\r\n")), ConversionError);
    EXPECT_EQ(ReceiveArray(), (QVector<std::uint8_t>{4}));
    EXPECT_THROW(DecodeReply(QByteArray("\x3C\r\n")), ConversionError);
    EXPECT_EQ(ReceiveArray(), (QVector<std::uint8_t>{4}));
}
