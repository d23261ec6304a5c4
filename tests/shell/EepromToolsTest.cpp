#include <gtest/gtest.h>

#include "Printers.h"

#include "ServicePedal.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "protocol/PedalConnection.h"
#include "shell/EepromTools.h"
#include "support/FakeClock.h"

using namespace zendal;

namespace {

// The connection lends its port to the process before the stand-in opens it.
struct ProcessConnection : PedalConnection {
    ProcessConnection() { makeProcessPort(); }
};

class ShellEeprom : public ::testing::Test {
  protected:
    test::FakeClock clock;
    ProcessConnection connection;
    test::ServicePedal pedal;
};

QByteArray dumpOf(char fill) {
    return QByteArray(1, static_cast<char>(0xAB)) + QByteArray(kEepromBytes, fill);
}

}  // namespace

TEST_F(ShellEeprom, EraseMessageTable) {
    struct Case {
        const char* address;
        const char* logged;
        const char* bytes;
    };
    const Case cases[] = {
        {"50", "erase message: 0B50000000", "0B50000000"},
        {"51", "erase message: 0B51000000", "0B51000000"},
        {"", "erase message: 0B000000", "0B000000"},  // nothing chosen: four bytes
    };
    for (const Case& c : cases) {
        pedal.events.clear();
        const qint64 start = clock.nowMs();
        EXPECT_TRUE(EraseEEPROM(QString::fromLatin1(c.address)));
        EXPECT_EQ(Log::instance().lines().last(), QString::fromLatin1(c.logged));
        ASSERT_EQ(pedal.events.size(), 2u) << c.address;
        EXPECT_EQ(pedal.events[0].what, QStringLiteral("purge TX"));
        EXPECT_EQ(pedal.events[1].what, QStringLiteral("write"));
        EXPECT_EQ(pedal.events[1].bytes, QByteArray::fromHex(c.bytes));
        // The pause follows the write.
        EXPECT_EQ(pedal.events[1].atMs, start);
        EXPECT_EQ(clock.nowMs(), start + 100);
    }
}

TEST_F(ShellEeprom, ReadMessageWaitsFourSecondsWithoutPurge) {
    const qint64 start = clock.nowMs();
    EXPECT_TRUE(ReadEEPROM(QStringLiteral("50")));
    EXPECT_EQ(Log::instance().lines().last(), QStringLiteral("0C5000000000"));
    ASSERT_EQ(pedal.events.size(), 1u);
    EXPECT_EQ(pedal.events[0].what, QStringLiteral("write"));
    EXPECT_EQ(pedal.events[0].bytes, QByteArray::fromHex("0C5000000000"));
    EXPECT_EQ(clock.nowMs(), start + 4000);
    EXPECT_EQ(clock.totalPausedMs(), 4000);
}

TEST_F(ShellEeprom, NonHexadecimalAddressSendsNothing) {
    // A stale buffer must never go out behind a bad address.
    const qint64 start = clock.nowMs();
    EXPECT_FALSE(EraseEEPROM(QStringLiteral("5Z")));
    EXPECT_FALSE(ReadEEPROM(QStringLiteral("zz")));
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_EQ(clock.nowMs(), start);
}

TEST_F(ShellEeprom, DumpCollectionTable) {
    struct Case {
        const char* name;
        QByteArray answer;  // queued in response to the read message
        EepromDump::Outcome outcome;
    };
    const Case cases[] = {
        {"complete", dumpOf('\xFF'), EepromDump::Outcome::Ok},
        {"with trailing bytes", dumpOf('\x11') + "x", EepromDump::Outcome::Ok},
        {"short", dumpOf('\xFF').left(100), EepromDump::Outcome::Short},
        {"silent", QByteArray(), EepromDump::Outcome::NoAnswer},
        // What the pedal says before the dump is not the dump: a knob turned
        // while it is read, or a late text.
        {"knob report first", QByteArray::fromHex("AA00010203") + dumpOf('\x22'),
         EepromDump::Outcome::Ok},
        {"text and no dump", QByteArray("Upload complete"), EepromDump::Outcome::NoAnswer},
    };
    for (const Case& c : cases) {
        pedal.pending.clear();
        pedal.events.clear();
        pedal.onWrite = [&](const QByteArray&) { pedal.pending += c.answer; };
        const EepromDump dump = ReadEepromDump(connection, QStringLiteral("51"), 10000);
        EXPECT_EQ(dump.outcome, c.outcome) << c.name;
        ASSERT_EQ(pedal.writes().size(), 1) << c.name;
        EXPECT_EQ(pedal.writes()[0], QByteArray::fromHex("0C5100000000"));
        if (c.outcome == EepromDump::Outcome::Ok) {
            EXPECT_EQ(dump.bytes, c.answer.mid(c.answer.indexOf(char(0xAB)) + 1, kEepromBytes))
                << c.name;
        } else {
            EXPECT_FALSE(dump.describe().isEmpty());
        }
    }
}

TEST_F(ShellEeprom, DumpArrivingInPiecesIsCollected) {
    // The answer trickles in: one piece per look at the queue.
    QByteArray rest = dumpOf('\x42');
    pedal.onWrite = [&](const QByteArray&) {
        pedal.pending = rest.left(1000);
        rest.remove(0, 1000);
    };
    struct Trickle : test::FakeClock {
        QByteArray* rest;
        QByteArray* incoming;
        void waitForActivity(int maxMs, int fd) override {
            if (!rest->isEmpty()) {
                *incoming += rest->left(1000);
                rest->remove(0, 1000);
            }
            FakeClock::waitForActivity(std::min(maxMs, 5), fd);
        }
    };
    Trickle trickle;
    trickle.rest = &rest;
    trickle.incoming = &pedal.pending;
    const EepromDump dump = ReadEepromDump(connection, QStringLiteral("50"), 10000);
    EXPECT_EQ(dump.outcome, EepromDump::Outcome::Ok);
    EXPECT_EQ(dump.bytes, QByteArray(kEepromBytes, '\x42'));
}

TEST(ShellHexDump, SixteenBytesPerLine) {
    QByteArray bytes;
    for (int i = 0; i < 18; ++i) bytes.append(static_cast<char>(i == 0 ? 0xAB : i));
    EXPECT_EQ(HexDump(bytes),
              QStringLiteral("0000: AB 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"
                             "0010: 10 11\n"));
}
