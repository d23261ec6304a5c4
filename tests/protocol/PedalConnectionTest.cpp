#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

#include "link/FrameCodec.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "protocol/PedalSequences.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"
#include "support/FakeClock.h"
#include "support/RecordingDriver.h"

namespace zendal {
namespace {

using Outcome = ExchangeResult::Outcome;

// The virtual pedal with a hand on the line: a test can turn a knob or pull
// the cable at the moment the editor writes or reads, and sees every parity
// the editor sets.
using HandOnTheLine = test::RecordingDriver;

QByteArray report(int kind, int index, int value) {
    QByteArray r(1, char(0xAA));
    r.append(char(kind)).append(char(index)).append(char(value >> 8)).append(char(value & 0xFF));
    return r;
}

// Runs the event loop until `done` holds; generous, never a measure of speed.
bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer wake;
    wake.start(10);
    while (!done() && elapsed.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

class Connection : public ::testing::Test {
  protected:
    void SetUp() override {
        // Bytes travel at wire speed on the test's own time.
        pedal.setWireTime(true);
        pedalDriver.setNowUs([this] { return clock.nowMs() * 1000; });
        connection.unit().setDriver(&line);
        connection.setLineSettings(FT_PARITY_NONE);
        ASSERT_EQ(connection.unit().Open_USB_Device_By_Serial_Number(QStringLiteral("ZVP00001")),
                  FT_OK);
        connection.unit().SetFTBaudRate();
        connection.unit().SetFTDataCharacteristics();
        line.parities.clear();
        QObject::connect(&connection, &PedalConnection::message,
                         [this](const QByteArray& m) { messages.append(m); });
        QObject::connect(&connection, &PedalConnection::busyChanged,
                         [this](bool busy) { busyChanges.append(busy); });
    }
    void TearDown() override {
        connection.stopTick();
        connection.unit().CloseFTDevice();
    }
    // Lets the line deliver what it still carries to the tick.
    void drainToTheTick() {
        clock.advance(1000);
        connection.tick();
        clock.advance(1000);
        connection.tick();
    }

    test::FakeClock clock;
    VirtualPedal pedal;
    VirtualPedalDriver pedalDriver{pedal};
    HandOnTheLine line{pedalDriver};
    PedalConnection connection;
    QList<QByteArray> messages;
    QList<bool> busyChanges;
};

TEST_F(Connection, KnobReportsAroundADeviceInformationReplyAreKeptForTheTick) {
    const QByteArray before = report(0, 1, 512);
    const QByteArray during = report(6, 3, 1);
    line.beforeWrite = [&](const QByteArray& bytes) {
        if (bytes == QByteArray::fromHex("0600")) pedal.turnKnob(0, 1, 512);
    };
    bool turned = false;
    line.beforeRead = [&] {
        if (!turned && pedal.bytesAvailable() > 0) {
            turned = true;
            pedal.turnKnob(6, 3, 1);
        }
    };
    const PedalInfoReply reply = queryPedalInfo(connection);
    ASSERT_TRUE(reply.ok());
    const PedalInfo info = parsePedalInfo(reply.reply);
    EXPECT_EQ(info.effect, pedal.effectId());
    EXPECT_EQ(info.firmware, pedal.firmwareVersion());
    drainToTheTick();
    EXPECT_EQ(messages, (QList<QByteArray>{before, during}));
}

TEST_F(Connection, KnobReportsInsideASettingsReplyLeaveTheRecordIntact) {
    const int n = 4;
    QByteArray record;  // as the pedal holds it when asked
    line.beforeWrite = [&](const QByteArray& bytes) {
        if (bytes.startsWith(char(0x02))) record = pedal.settingsRecord(n);
    };
    // Knobs turn once the pedal has started its reply (the record it sends
    // is the one it held when the request arrived).
    line.afterWrite = [&](const QByteArray& bytes) {
        if (bytes.startsWith(char(0x02)))
            pedal.duringNextReply(10, [](VirtualPedal& p) { p.turnKnob(1, 2, 700); });
    };
    line.beforeRead = [&] {
        if (pedal.bytesAvailable(clock.nowMs() * 1000) > 0) pedal.turnKnob(1, 2, 701);
    };
    const ExchangeResult result = sequences::requestSettings(connection, n);
    line.beforeRead = nullptr;
    ASSERT_TRUE(result.ok());
    // Every number of the record, each closed by CR LF, and nothing else.
    ASSERT_EQ(DecodeReply(result.bytes), 4 * n + 41);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(ReceiveArray().constData()),
                         int(ReceiveArray().size())),
              record);
    EXPECT_EQ(result.bytes.count("\r\n"), record.size());
    drainToTheTick();
    ASSERT_FALSE(messages.isEmpty());
    for (const QByteArray& m : messages) EXPECT_EQ(m.size(), 5) << m.toHex().toStdString();
    EXPECT_EQ(messages.first(), report(1, 2, 700));
}

TEST_F(Connection, OneThingAtATime) {
    pedal.setSilentOn(0x06);  // the first exchange waits its whole limit
    ExchangeResult inner;
    ExchangeResult store;
    bool busyInside = false;
    QList<QByteArray> messagesInside{"none yet"};
    QTimer::singleShot(0, [&] {
        busyInside = connection.busy();
        inner = connection.exchange({});
        store = sequences::storeSettings(connection, 4);
        pedal.turnKnob(0, 0, 1);
        connection.tick();  // the tick stays out of a wait
        messagesInside = messages;
    });
    connection.startTick();
    const PedalInfoReply outer = queryPedalInfo(connection);
    EXPECT_EQ(outer.outcome, Outcome::TimedOut);
    EXPECT_TRUE(busyInside);
    EXPECT_EQ(inner.outcome, Outcome::Busy);
    EXPECT_EQ(store.outcome, Outcome::Busy);
    EXPECT_TRUE(messagesInside.isEmpty());
    EXPECT_EQ(busyChanges, (QList<bool>{true, false}));
    // Afterwards the report is handed on, the tick runs again, and the next
    // exchange goes through.
    EXPECT_EQ(messages, QList<QByteArray>{report(0, 0, 1)});
    EXPECT_TRUE(connection.tickRunning());
    pedal.clearFaults();
    EXPECT_TRUE(queryPedalInfo(connection).ok());
    EXPECT_FALSE(connection.busy());
}

TEST_F(Connection, APedalThatKeepsTalkingCannotHoldAWaitOpen) {
    struct Case {
        const char* name;
        std::function<void()> talk;  // runs before every read
        std::function<ExchangeResult()> ask;
    };
    const Case cases[] = {
        {"knob reports while the device information never comes", [&] { pedal.turnKnob(0, 1, 2); },
         [&] {
             pedal.setSilentOn(0x06);
             ExchangeRequest r;
             r.bytes = QByteArray::fromHex("0600");
             r.reply = ReplyKind::Lines;
             r.lines = 4;
             r.limitMs = 3000;
             return connection.exchange(r);
         }},
        {"text that never goes quiet", [&] { pedal.switchBank(1); },
         [&] {
             pedal.setSilentOn(0x02);
             return sequences::requestSettings(connection, 4);
         }},
    };
    for (const Case& c : cases) {
        pedal.clearFaults();
        line.beforeRead = [&] {
            clock.advance(1);
            c.talk();
        };
        const qint64 start = clock.nowMs();
        const ExchangeResult result = c.ask();
        line.beforeRead = nullptr;
        EXPECT_EQ(result.outcome, Outcome::TimedOut) << c.name;
        EXPECT_LT(clock.nowMs() - start, 60000) << c.name << ": bounded by its limit";
        EXPECT_FALSE(connection.busy()) << c.name;
        drainToTheTick();
        pedal.purgeOutput();
        connection.unit().PurgeFTReceive();
    }
}

TEST_F(Connection, ParityIsBackOnEveryPath) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        QString reply;
    };
    const Case cases[] = {
        {"a pedal in its firmware does not answer the probe", [] {}, QString()},
        {"a pedal in its bootloader acknowledges", [&] { pedal.enterBootloader(); },
         QStringLiteral("79")},
        {"the cable is pulled during the probe",
         [&] { line.afterWrite = [&](const QByteArray&) { pedal.unplug(); }; }, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        line.afterWrite = nullptr;
        c.arrange();
        line.parities.clear();
        EXPECT_EQ(sequences::probeBootloader(connection), c.reply);
        EXPECT_EQ(connection.unit().FTParity, FT_PARITY_NONE);
        ASSERT_EQ(line.parities.size(), 2);
        EXPECT_EQ(line.parities.first(), FT_PARITY_EVEN);
        EXPECT_EQ(line.parities.last(), FT_PARITY_NONE);
        EXPECT_FALSE(connection.busy());
        if (!pedal.plugged()) {
            pedal.replug();
            connection.unit().CloseFTDevice();
            ASSERT_EQ(
                connection.unit().Open_USB_Device_By_Serial_Number(QStringLiteral("ZVP00001")),
                FT_OK);
        }
    }
}

TEST_F(Connection, AProbeRefusedAsBusyLeavesTheLineAlone) {
    QString probed = QStringLiteral("not run");
    pedal.setSilentOn(0x06);
    QTimer::singleShot(0, [&] {
        line.parities.clear();
        probed = sequences::probeBootloader(connection);
    });
    queryPedalInfo(connection);
    EXPECT_TRUE(probed.isEmpty());
    EXPECT_TRUE(line.parities.isEmpty());
    EXPECT_EQ(connection.unit().FTParity, FT_PARITY_NONE);
}

TEST_F(Connection, RestartIntoTheBootloaderAfterAFailedAttemptAtEvenParity) {
    connection.applyParity(FT_PARITY_EVEN);  // what a failed connection leaves
    pedal.pressAndHoldSave(true);            // as the question asks
    QList<QByteArray> written;
    line.afterWrite = [&](const QByteArray& bytes) { written << bytes; };
    const ExchangeResult restarted = sequences::restartIntoBootloader(connection);
    ASSERT_TRUE(restarted.ok());
    pedal.settle(clock.nowMs() * 1000);  // what was written has reached the pedal
    // The restart clears the firmware's own state; the order shows on the line.
    ASSERT_FALSE(written.isEmpty());
    EXPECT_EQ(written.first(), Hex2String(messages::bypass(true))) << "the bypass goes first";
    EXPECT_TRUE(pedal.inBootloader());
    EXPECT_EQ(sequences::probeBootloader(connection), QStringLiteral("79"));
}

TEST_F(Connection, UnpluggedIsAnOutcome) {
    line.afterWrite = [&](const QByteArray&) { pedal.unplug(); };
    EXPECT_EQ(queryPedalInfo(connection).outcome, Outcome::Unplugged);
    EXPECT_FALSE(connection.busy());
    connection.unit().CloseFTDevice();
    EXPECT_EQ(queryPedalInfo(connection).outcome, Outcome::Unplugged);
}

class ConnectionTick : public Connection {
  protected:
    void SetUp() override {
        Connection::SetUp();
        pedal.setWireTime(false);  // the pedal's bytes are there at once
    }
};

TEST_F(ConnectionTick, EveryMessageIsHandedOnInOrder) {
    QList<QByteArray> expected;
    for (int i = 0; i < 200; ++i) {
        pedal.turnKnob(i % 5, i % 16, (i * 37) % 1024);
        expected.append(report(i % 5, i % 16, (i * 37) % 1024));
    }
    pedal.switchBank(2);
    pedal.switchEffect(0x26);
    expected.append("02");
    expected.append("126");
    connection.startTick();
    EXPECT_TRUE(waitUntil([&] { return messages.size() >= expected.size(); }));
    EXPECT_EQ(messages, expected);
}

TEST_F(ConnectionTick, APulledCableIsNoticed) {
    bool failed = false;
    QObject::connect(&connection, &PedalConnection::portFailed, [&] { failed = true; });
    connection.startTick();
    pedal.unplug();
    EXPECT_TRUE(waitUntil([&] { return failed; }));
    EXPECT_FALSE(connection.tickRunning());
}

}  // namespace
}  // namespace zendal
