#include <gtest/gtest.h>

#include <QTimer>

#include "core/Errors.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "support/FakeClock.h"
#include "support/ScriptedDriver.h"

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

// --- the receive operations, over a scripted driver and a fake clock ---

namespace {

using zendal::test::FakeClock;
using zendal::test::ScriptedDriver;

class Reception : public ::testing::Test {
  protected:
    void SetUp() override {
        driver.devices = {{"ZP1", "FT230X Basic UART", {}}};
        d2xx().setDriver(&driver);
        d2xx().setErrorSink([this](const QString& text) { shown.append(text); });
        d2xx().ShowFTErrors = true;
        ASSERT_EQ(d2xx().Open_USB_Device_By_Serial_Number(QStringLiteral("ZP1")), FT_OK);
        Log::instance().clear();
    }
    void TearDown() override {
        d2xx().setDriver(nullptr);
        d2xx().setErrorSink({});
    }
    qint64 now() const { return clock.nowMs(); }

    FakeClock clock;
    ScriptedDriver driver;
    QStringList shown;
};

TEST_F(Reception, TextReplyInTwoPartsWithinThePauseIsReadWhole) {
    driver.arriveAt(now() + 20, "3\r\n17\r\n");
    driver.arriveAt(now() + 70, "2\r\n5\r\n");  // less than one 100 ms pause later
    const TextReply reply = ReceiveText(1000);
    EXPECT_TRUE(reply.ok());
    EXPECT_EQ(reply.text, QStringLiteral("3\r\n17\r\n2\r\n5\r\n"));
    const QStringList& log = Log::instance().lines();
    EXPECT_TRUE(log.contains(QStringLiteral("num of bytes received: 13")));
    EXPECT_TRUE(log.contains(QStringLiteral("stringa_totale: 3\r\n17\r\n2\r\n5\r\n")));
}

TEST_F(Reception, TextReplyEndsAfterOneSilentPause) {
    driver.arriveAt(now(), "first");
    driver.arriveAt(now() + 1000, "later");
    EXPECT_EQ(ReceiveText(5000).text, QStringLiteral("first"));
    clock.advance(1000);
    EXPECT_EQ(driver.queued(), QByteArray("later"));
}

TEST_F(Reception, ReplyIsPurgedFromTheReceiveQueueAfterReading) {
    driver.arriveNow("abc");
    ReceiveText(1000);
    EXPECT_EQ(driver.purges.last(), PurgeQueue::Receive);
}

TEST_F(Reception, BootloaderFormGivesTheFirstByteAsTwoHexDigits) {
    driver.arriveNow(QByteArray::fromHex("7900"));
    const TextReply reply = ReceiveText(1000, TextForm::BootloaderByte);
    EXPECT_EQ(reply.text, QStringLiteral("79"));
    EXPECT_TRUE(Log::instance().lines().contains(QStringLiteral("stringa_totale: 7900")));
}

TEST_F(Reception, SilencePastTheLimitTimesOutWithEmptyText) {
    const TextReply reply = ReceiveText(3000);
    EXPECT_EQ(reply.outcome, WaitOutcome::TimedOut);
    EXPECT_TRUE(reply.text.isEmpty());
}

TEST_F(Reception, ReplyJustBeforeTheLimitStillCounts) {
    driver.arriveAt(now() + 2990, "late but in time");
    EXPECT_EQ(ReceiveText(3000).text, QStringLiteral("late but in time"));
}

TEST_F(Reception, APedalThatKeepsTalkingCannotHoldAWaitOpen) {
    int reads = 0;
    driver.onRead = [&] {
        if (++reads < 100000) driver.arriveNow("5\r\n");  // the safety net of the test only
    };
    driver.arriveNow("5\r\n");
    const TextReply text = ReceiveText(1000);
    EXPECT_EQ(text.outcome, WaitOutcome::TimedOut);
    EXPECT_TRUE(text.text.startsWith(QLatin1String("5\r\n")));
    EXPECT_LT(reads, 1000);

    DecodeReply("9\r\n");
    reads = 0;
    driver.arriveNow("5\r\n");
    EXPECT_EQ(ReceiveSettingsReply(1000).outcome, WaitOutcome::TimedOut);
    EXPECT_LT(reads, 1000);
    EXPECT_EQ(ReceiveArray(), (QVector<std::uint8_t>{9}));
}

TEST_F(Reception, UnlinkDuringAWaitEndsItWithAPortError) {
    QTimer::singleShot(0, [] { d2xx().CloseFTDevice(); });
    const TextReply reply = ReceiveText(60000);
    EXPECT_EQ(reply.outcome, WaitOutcome::PortError);
    EXPECT_TRUE(reply.text.isEmpty());
}

TEST_F(Reception, QueueStatusFailureGivesUpAtOnce) {
    driver.fail[ScriptedDriver::Call::Queued] = FT_IO_ERROR;
    const qint64 before = now();
    EXPECT_EQ(ReceiveText(60000).outcome, WaitOutcome::PortError);
    EXPECT_EQ(now(), before);  // no waiting at all
    EXPECT_EQ(shown, QStringList{"FT_GetQueueStatus - General IO error..."});
}

TEST_F(Reception, SettingsReplyIsDecodedIntoReceiveArray) {
    driver.arriveAt(now() + 5, "12\r\n5\r\n");
    driver.arriveAt(now() + 12, "300\r\n");  // within the 10 ms pause of the previous read
    const SettingsReply reply = ReceiveSettingsReply(1000);
    EXPECT_TRUE(reply.ok());
    EXPECT_EQ(reply.fields, 3);
    EXPECT_EQ(ReceiveArray(), (QVector<std::uint8_t>{12, 5, 44}));
    // The transmit queue is purged once the reply starts, the receive queue at the end.
    EXPECT_EQ(driver.purges, (QVector<PurgeQueue>{PurgeQueue::Transmit, PurgeQueue::Receive}));
}

TEST_F(Reception, SettingsReplyPiecesALatencyTimerApartAreJoined) {
    // A USB adapter at its default latency timer sends the last piece 16 ms
    // after the one before.
    driver.arriveAt(now() + 5, "12\r\n5\r\n");
    driver.arriveAt(now() + 5 + 16, "30");
    driver.arriveAt(now() + 5 + 32, "0\r\n");
    const SettingsReply reply = ReceiveSettingsReply(1000);
    EXPECT_TRUE(reply.ok());
    EXPECT_EQ(reply.fields, 3);
    EXPECT_EQ(ReceiveArray(), (QVector<std::uint8_t>{12, 5, 44}));
}

// Still streaming at the limit: what came is no settings reply to spread.
TEST_F(Reception, SettingsReplyThatKeepsStreamingEndsAtItsLimit) {
    DecodeReply("9\r\n");
    for (int ms = 5; ms < 3000; ms += 5) driver.arriveAt(now() + ms, "1\r\n");
    const qint64 start = now();
    const SettingsReply reply = ReceiveSettingsReply(1000);
    EXPECT_EQ(reply.outcome, WaitOutcome::TimedOut);
    EXPECT_LE(now() - start, 1000 + 200);
    EXPECT_EQ(ReceiveArray(), (QVector<std::uint8_t>{9}));
}

TEST_F(Reception, SettingsReplyThatNeverComesKeepsReceiveArray) {
    DecodeReply("9\r\n");
    EXPECT_EQ(ReceiveSettingsReply(3000).outcome, WaitOutcome::TimedOut);
    EXPECT_EQ(ReceiveArray(), (QVector<std::uint8_t>{9}));
}

TEST_F(Reception, BadSettingsReplyThrowsAndStillEmptiesTheQueue) {
    driver.arriveNow("4\r\n\x3B\r\n");
    EXPECT_THROW(ReceiveSettingsReply(1000), ConversionError);
    EXPECT_EQ(driver.purges.last(), PurgeQueue::Receive);
}

TEST_F(Reception, SendHexMessageWritesWholePairsAndRefusesBadText) {
    struct Case {
        const char* text;
        int n;
        bool purge;
        bool sent;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"0A0100", -1, false, true, QByteArray::fromHex("0a0100")},
        {"0a010", -1, false, true, QByteArray::fromHex("0a01")},  // lone last digit dropped
        {"0600", -1, true, true, QByteArray::fromHex("0600")},
        {"0A0G00", 3, false, false, {}},
    };
    for (const Case& c : cases) {
        driver.written.clear();
        driver.purges.clear();
        EXPECT_EQ(SendHexMessage(QString::fromLatin1(c.text), c.n, c.purge), c.sent) << c.text;
        EXPECT_EQ(driver.written, c.bytes) << c.text;
        EXPECT_EQ(driver.purges.contains(PurgeQueue::Transmit), c.purge && c.sent) << c.text;
    }
}

}  // namespace
