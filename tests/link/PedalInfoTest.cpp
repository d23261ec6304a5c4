// The device-information reply: its four fields and the exchange behind it.
#include <gtest/gtest.h>

#include "core/Errors.h"
#include "link/D2XXUnit.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "support/FakeClock.h"
#include "support/ScriptedDriver.h"

using namespace zendal;
using zendal::test::FakeClock;
using zendal::test::ScriptedDriver;

namespace {

TEST(PedalInfo, ParsesTheFourFields) {
    struct Case {
        const char* reply;
        bool empty;
        int effect, version, firmware;
    };
    const Case cases[] = {
        {"3\r\n17\r\n2\r\n5\r\n", false, 17, 2, 5},
        {"255\r\n255\r\n1\r\n5\r\n", true, 255, 1, 5},
        {"0\r\n0\r\n0\r\n7\r\n", true, 0, 0, 7},
        {"255\r\n3\r\n1\r\n5\r\n", false, 3, 1, 5},      // only both together mean empty
        {"1\r\n38\r\n1\r\n255\r\n", false, 38, 1, 255},  // erased firmware version
        {"1\r\n38\r\n1\r\n5", false, 38, 1, 5},          // last field without CR LF
        {"x\r\n38\r\n1\r\n5\r\n", false, 38, 1, 5},  // the first field is never read as a number
    };
    for (const Case& c : cases) {
        const PedalInfo info = parsePedalInfo(QString::fromLatin1(c.reply));
        EXPECT_EQ(info.empty, c.empty) << c.reply;
        EXPECT_EQ(info.effect, c.effect) << c.reply;
        EXPECT_EQ(info.version, c.version) << c.reply;
        EXPECT_EQ(info.firmware, c.firmware) << c.reply;
    }
}

TEST(PedalInfo, KeepsTheFieldsAsReceived) {
    const PedalInfo info = parsePedalInfo(QStringLiteral("1\r\n38\r\n2\r\n5\r\n"));
    EXPECT_EQ(info.f1, QStringLiteral("1"));
    EXPECT_EQ(info.f2, QStringLiteral("38"));
    EXPECT_EQ(info.f3, QStringLiteral("2"));
    EXPECT_EQ(info.f4, QStringLiteral("5"));
}

TEST(PedalInfo, FieldThatIsNotADecimalIntegerIsNamedInTheError) {
    struct Case {
        const char* reply;
        const char* message;
    };
    const Case cases[] = {
        {"", "'' is not a valid integer value"},
        {"1\r\n1A\r\n1\r\n5\r\n", "'1A' is not a valid integer value"},
        {"1\r\n38\r\n\r\n5\r\n", "'' is not a valid integer value"},
        {"1\r\n38\r\n1\r\nfive\r\n", "'five' is not a valid integer value"},
        {"Upload complete", "'' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        try {
            parsePedalInfo(QString::fromLatin1(c.reply));
            ADD_FAILURE() << "no error for " << c.reply;
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.message(), QString::fromLatin1(c.message)) << c.reply;
        }
    }
}

TEST(PedalInfo, ValuesThePedalCannotMeanAreNamed) {
    struct Case {
        const char* reply;
        const char* problem;  // nullptr: plausible
    };
    const Case cases[] = {
        {"3\r\n17\r\n2\r\n5\r\n", nullptr},
        {"3\r\n63\r\n255\r\n255\r\n", nullptr},  // the highest id, an erased firmware number
        {"255\r\n255\r\n1\r\n5\r\n", nullptr},   // empty pedal
        {"0\r\n0\r\n0\r\n0\r\n", nullptr},       // empty pedal
        {"3\r\n0\r\n1\r\n5\r\n", nullptr},       // the empty slot's id
        {"3\r\n64\r\n1\r\n5\r\n", "effect number 64 is outside the catalogue's ids 0 to 63"},
        {"3\r\n-1\r\n1\r\n5\r\n", "effect number -1 is outside the catalogue's ids 0 to 63"},
        {"1\r\n255\r\n1\r\n5\r\n", "effect number 255 is outside the catalogue's ids 0 to 63"},
        {"3\r\n17\r\n-1\r\n5\r\n", "effect version -1 is not a byte (0 to 255)"},
        {"3\r\n17\r\n256\r\n5\r\n", "effect version 256 is not a byte (0 to 255)"},
        {"3\r\n17\r\n2\r\n256\r\n", "firmware version 256 is not a byte (0 to 255)"},
        {"3\r\n17\r\n2\r\n-5\r\n", "firmware version -5 is not a byte (0 to 255)"},
    };
    for (const Case& c : cases) {
        const auto problem = implausiblePedalInfo(parsePedalInfo(QString::fromLatin1(c.reply)));
        EXPECT_EQ(problem.value_or(QString()),
                  c.problem ? QString::fromLatin1(c.problem) : QString())
            << c.reply;
    }
}

class PedalInfoQuery : public ::testing::Test {
  protected:
    void SetUp() override {
        connection.makeProcessPort();
        driver.devices = {{"ZP1", "FT230X Basic UART", {}}};
        d2xx().setDriver(&driver);
        d2xx().setErrorSink([](const QString&) {});
        ASSERT_EQ(d2xx().Open_USB_Device_By_Serial_Number(QStringLiteral("ZP1")), FT_OK);
    }
    void TearDown() override {
        d2xx().setDriver(nullptr);
        d2xx().setErrorSink({});
    }
    FakeClock clock;
    ScriptedDriver driver;
    PedalConnection connection;
};

TEST_F(PedalInfoQuery, SendsTheRequestAfterAPurgeAndReadsTheReply) {
    driver.onWrite = [&](const QByteArray& bytes) {
        EXPECT_EQ(driver.purges, QVector<PurgeQueue>{PurgeQueue::Transmit})
            << "purged before the write";
        if (bytes == QByteArray::fromHex("0600")) driver.arriveNow("1\r\n38\r\n1\r\n5\r\n");
    };
    const PedalInfoReply reply = queryPedalInfo(connection);
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(reply.reply, QStringLiteral("1\r\n38\r\n1\r\n5\r\n"));
    EXPECT_EQ(driver.written, QByteArray::fromHex("0600"));
    EXPECT_EQ(clock.totalPausedMs(), 100);  // the pedal's fixed pause after 06 00
}

TEST_F(PedalInfoQuery, SilentPedalTimesOut) {
    const PedalInfoReply reply = queryPedalInfo(connection);
    EXPECT_EQ(reply.outcome, ExchangeResult::Outcome::TimedOut);
    EXPECT_TRUE(reply.reply.isEmpty());
}

TEST_F(PedalInfoQuery, FailedWriteEndsTheExchangeAtOnce) {
    driver.fail[ScriptedDriver::Call::Write] = FT_IO_ERROR;
    const qint64 before = clock.nowMs();
    EXPECT_EQ(queryPedalInfo(connection).outcome, ExchangeResult::Outcome::Unplugged);
    EXPECT_EQ(clock.nowMs(), before);
}

// The same query against a pedal that answers as the script says: in pieces,
// not at all, with its cable pulled once the request is out, or with noise.
TEST_F(PedalInfoQuery, ScriptedAnswersAndFailures) {
    using Failure = ScriptedDriver::Failure;
    using Outcome = ExchangeResult::Outcome;
    const QByteArray request = QByteArray::fromHex("0600");
    const QList<QByteArray> pieces = {"1\r\n3", "8\r\n1\r", "\n5\r\n"};
    struct Case {
        const char* name;
        Failure failure;
        Outcome outcome;
        bool parses;
    };
    const Case cases[] = {
        {"reply in three pieces", Failure::None, Outcome::Reply, true},
        {"no reply", Failure::Timeout, Outcome::TimedOut, false},
        {"cable pulled", Failure::Unplug, Outcome::Unplugged, false},
        // Noise never completes the four fields: the wait ends at its limit.
        {"garbled reply", Failure::Garbled, Outcome::TimedOut, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.replug();
        if (d2xx().isOpen()) d2xx().CloseFTDevice();
        ASSERT_EQ(d2xx().Open_USB_Device_By_Serial_Number(QStringLiteral("ZP1")), FT_OK);
        driver.expect(request, pieces, c.failure);
        const PedalInfoReply reply = queryPedalInfo(connection);
        EXPECT_TRUE(driver.allAnswered());
        EXPECT_TRUE(driver.unexpected.isEmpty());
        EXPECT_EQ(reply.outcome, c.outcome);
        if (c.parses) {
            EXPECT_EQ(parsePedalInfo(reply.reply).effect, 38);
        }
        EXPECT_EQ(d2xx().deviceGone(), c.failure == Failure::Unplug);
    }
}

}  // namespace
