#include <gtest/gtest.h>

#include <cstring>

#include "FirmwareRig.h"
#include "QtPrinters.h"
#include "firmware/BootloaderClient.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"

using namespace zendal;
using namespace zendal::firmware;
using zendal::test::FirmwareRig;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

ChunkTable tableOf(const QByteArray& image) {
    return SplitImage(image).table;
}

}  // namespace

TEST(BootloaderClient, ConnectSwitchesToEvenParityAndWantsTheAcknowledge) {
    FirmwareRig rig;
    BootloaderClient client(rig.connection);
    EXPECT_TRUE(client.ConnectBootloader());
    EXPECT_EQ(rig.driver.parities, QList<std::uint8_t>{FT_PARITY_EVEN});
    EXPECT_EQ(rig.driver.writes, QList<QByteArray>{hex("7F")});
    EXPECT_TRUE(rig.log().contains("received Byte: 79"));
    EXPECT_TRUE(rig.connection.bootloaderOwnsLine());
}

TEST(BootloaderClient, TheBootloaderOwnsTheLineFromConnectUntilRelease) {
    FirmwareRig rig;
    QList<LineOwner> changes;
    QObject::connect(&rig.connection, &PedalConnection::lineOwnerChanged,
                     [&changes](LineOwner owner) { changes << owner; });
    rig.connection.startTick();
    ASSERT_TRUE(rig.connection.tickRunning());

    BootloaderClient client(rig.connection);
    ASSERT_TRUE(client.connect());
    EXPECT_TRUE(rig.connection.bootloaderOwnsLine());
    EXPECT_FALSE(rig.connection.tickRunning()) << "the tick would eat the acknowledges";
    rig.connection.startTick();
    EXPECT_FALSE(rig.connection.tickRunning()) << "nothing restarts it behind the bootloader";

    client.release();
    EXPECT_FALSE(rig.connection.bootloaderOwnsLine());
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_NONE);
    rig.connection.startTick();
    EXPECT_TRUE(rig.connection.tickRunning());
    EXPECT_EQ(changes, (QList<LineOwner>{LineOwner::Bootloader, LineOwner::Firmware}));

    // A scope lends the line and gives it back to whoever had it.
    ASSERT_TRUE(client.connect(BootloaderClient::ConnectMode::AcceptAlreadyConnected));
    {
        const LineOwnerScope firmware(rig.connection, LineOwner::Firmware);
        EXPECT_FALSE(rig.connection.bootloaderOwnsLine());
    }
    EXPECT_TRUE(rig.connection.bootloaderOwnsLine());
}

TEST(BootloaderClient, ConnectFailuresNameTheReply) {
    struct Case {
        const char* name;
        bool inBootloader;
        std::optional<VirtualBootloader::Fault> fault;
        const char* message;
    };
    const Case cases[] = {
        {"nack", true, VirtualBootloader::Fault::Nack, "Connect: not acknowledged (1F)"},
        {"silence", true, VirtualBootloader::Fault::Silence, "Connect: no reply within 1000 ms"},
        {"pedal not in its bootloader", false, std::nullopt, "Connect: no reply within 1000 ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareRig rig(c.inBootloader);
        if (c.fault) rig.bootloader().injectFault(VirtualBootloader::Step::Connect, *c.fault);
        BootloaderClient client(rig.connection);
        const StepResult r = client.connect();
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().message(), c.message);
    }
}

TEST(BootloaderClient, AlreadyConnectedBootloaderIsAcceptedOnlyWhenAsked) {
    FirmwareRig rig;
    BootloaderClient client(rig.connection);
    ASSERT_TRUE(client.connect());
    // A real part takes a second 7F as a command byte and NACKs the next one.
    EXPECT_FALSE(client.connect(BootloaderClient::ConnectMode::Strict));
    rig.driver.writes.clear();
    EXPECT_TRUE(client.connect(BootloaderClient::ConnectMode::AcceptAlreadyConnected));
    BootloaderInfo info;
    EXPECT_TRUE(client.Get(&info)) << "the bootloader is in step with the client again";
}

TEST(BootloaderClient, FindsABootloaderLeftAnywhereBetweenOrInsideCommands) {
    struct Case {
        const char* name;
        bool connectedBefore;
        QByteArray leftOver;  // what an editor that ended had sent last
        bool found;
    };
    const Case cases[] = {
        {"freshly started", false, {}, true},
        {"connected, between commands", true, {}, true},
        {"a command byte without its complement", true, hex("31"), true},
        {"inside an address frame", true, hex("31CE0800"), true},
        {"inside a read length", true, hex("11EE0800000008"), true},
        {"not in its bootloader at all", false, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareRig rig(c.found);
        if (c.connectedBefore) {
            ASSERT_TRUE(BootloaderClient(rig.connection).connect());
            if (!c.leftOver.isEmpty()) {
                std::memcpy(rig.connection.unit().FTTransmitBuffer.data(), c.leftOver.constData(),
                            static_cast<std::size_t>(c.leftOver.size()));
                rig.connection.unit().WriteFTDevice(static_cast<std::uint32_t>(c.leftOver.size()));
            }
        }
        rig.connection.unit().PurgeFTReceive();
        BootloaderClient client(rig.connection);
        const StepResult r = client.connect(BootloaderClient::ConnectMode::AcceptAlreadyConnected);
        EXPECT_EQ(r.ok(), c.found) << (r.ok() ? "" : r.error().message().toStdString());
        if (!c.found) {
            EXPECT_EQ(r.error().message(), "Connect: no reply within 100 ms");
            continue;
        }
        BootloaderInfo info;
        EXPECT_TRUE(client.Get(&info));
        EXPECT_TRUE(info.supports(kWriteMemoryCommand));
    }
}

TEST(BootloaderClient, WritesEachChunkAtItsAddressThenTheVariantRecord) {
    FirmwareRig rig;
    BootloaderClient client(rig.connection);
    ASSERT_TRUE(client.connect());
    ASSERT_TRUE(client.EraseFlash());
    const QByteArray image = FirmwareRig::pattern(512);
    rig.driver.writes.clear();
    QList<std::pair<int, int>> progress;
    ASSERT_TRUE(client.WriteImage(tableOf(image), [&](int i, int n) { progress.append({i, n}); }));
    ASSERT_TRUE(client.WriteFirmwareVariant(5));

    const QList<QByteArray> expected = {
        hex("31CE"), hex("0800000008"), dataBlockFrame(image.left(256)),
        hex("31CE"), hex("0800010009"), dataBlockFrame(image.mid(256)),
        hex("31CE"), hex("0801FC00F5"), hex("07000000000000000502"),
    };
    EXPECT_EQ(rig.driver.writes, expected);
    EXPECT_EQ(static_cast<std::uint8_t>(expected[2][0]), 0xFF);
    EXPECT_EQ(progress, (QList<std::pair<int, int>>{{0, 2}, {1, 2}}));
    EXPECT_EQ(rig.bootloader().flash().left(512), image);
    EXPECT_EQ(rig.bootloader().flash().mid(0x1FC00, 8), hex("0000000000000005"));
}

TEST(BootloaderClient, LogsEveryStepOfAWrite) {
    FirmwareRig rig;
    BootloaderClient client(rig.connection);
    ASSERT_TRUE(client.connect());
    ASSERT_TRUE(client.EraseFlash());
    const ChunkTable table = tableOf(hex("0102"));
    rig.clearLog();
    ASSERT_TRUE(client.WriteImage(table));
    const QStringList expected = {
        "Start Write Command",
        "",
        "SEND WRITE COMMAND",
        "num of bytes received: 1",
        "stringa_totale: 79",
        "received: 79",
        "ACK",
        "SEND ADDRESS + CHECKSUM",
        "Address: 08000000",
        "address checksum: 08",
        "num of bytes received: 1",
        "stringa_totale: 79",
        "received: 79",
        "ACK",
        "SEND N BYTE + DATA + CHECKSUM",
        "N_byte: 01",
        "chunk size: 2",
        "data checksum: 02",
        "num of bytes received: 1",
        "stringa_totale: 79",
        "received: 79",
        "ACK",
        "",
    };
    EXPECT_EQ(rig.log(), expected);
    EXPECT_EQ(rig.driver.writes.last(), hex("01010202"));
}

TEST(BootloaderClient, EraseAndGoSendTheirFrames) {
    FirmwareRig rig;
    BootloaderClient client(rig.connection);
    ASSERT_TRUE(client.connect());
    rig.driver.writes.clear();
    rig.clearLog();
    ASSERT_TRUE(client.EraseFlash());
    EXPECT_EQ(rig.driver.writes, (QList<QByteArray>{hex("43BC"), hex("FF00")}));
    EXPECT_EQ(rig.log().first(), "Start Erase Command");

    rig.driver.writes.clear();
    rig.clearLog();
    client.targetAddress = 0x08001234;
    ASSERT_TRUE(client.SendGoCommand());
    EXPECT_EQ(rig.driver.writes, (QList<QByteArray>{hex("21DE"), hex("0800000008")}));
    const QStringList log = rig.log();
    EXPECT_EQ(log.mid(0, 2), (QStringList{"", "SEND GO COMMAND"}));
    EXPECT_TRUE(log.contains("Address: 08000000"));
    EXPECT_TRUE(log.contains("address checksum: 08"));
    // The client sends Go as told; into an erased flash it leaves a part that
    // answers nothing (UpgradeSequence is what refuses that).
    EXPECT_TRUE(rig.bootloader().crashed());
}

TEST(BootloaderClient, ARepliedByteOtherThanAckOrNackIsOnlyShown) {
    FirmwareRig rig(/*inBootloader=*/false);
    BootloaderClient client(rig.connection);
    SendHexMessage(QStringLiteral("0600"), 2);  // the pedal's firmware answers "1\r\n..."
    rig.clearLog();
    const BootReply other = client.WaitBootloaderReply(1000);
    EXPECT_EQ(other.text, "31");
    EXPECT_EQ(rig.log().last(), "received: 31");
}

TEST(BootloaderClient, ANackIsNamedAndNothingFollowsTheRefusedCommand) {
    FirmwareRig rig;
    rig.bootloader().injectFault(VirtualBootloader::Step::EraseCommand,
                                 VirtualBootloader::Fault::Nack);
    BootloaderClient client(rig.connection);
    ASSERT_TRUE(client.connect());
    rig.clearLog();
    const StepResult erase = client.EraseFlash();
    ASSERT_FALSE(erase.ok());
    EXPECT_EQ(rig.log().mid(rig.log().size() - 2), (QStringList{"received: 1F", "NOT ACK"}));
    EXPECT_EQ(erase.error().message(), "Erase Memory: not acknowledged (1F)");
    EXPECT_EQ(rig.driver.writes.last(), hex("43BC"));
}

TEST(BootloaderClient, GetListsTheCommandsAndReadMemoryReadsBack) {
    FirmwareRig rig;
    BootloaderClient client(rig.connection);
    ASSERT_TRUE(client.connect());
    BootloaderInfo info;
    ASSERT_TRUE(client.Get(&info));
    EXPECT_EQ(info.version, 0x22);
    EXPECT_TRUE(info.supports(kReadMemoryCommand));
    EXPECT_TRUE(info.supports(kWriteMemoryCommand));
    EXPECT_FALSE(info.supports(0x44));
    EXPECT_TRUE(rig.log().contains("bootloader version: 2.2"));

    ASSERT_TRUE(client.EraseFlash());
    const QByteArray image = FirmwareRig::pattern(300);
    ASSERT_TRUE(client.WriteImage(tableOf(image)));
    QByteArray back;
    ASSERT_TRUE(client.ReadMemory(0x08000100, 44, &back));
    EXPECT_EQ(back, image.mid(256));
    ASSERT_TRUE(client.ReadMemory(0x08000000, 256, &back));
    EXPECT_EQ(back, image.left(256));
    // The bootloader is still in step: a plain command works afterwards.
    EXPECT_TRUE(client.Get(&info));
}

TEST(BootloaderClient, AReplyThatNeverComesEndsTheStepAtItsLimit) {
    struct Case {
        VirtualBootloader::Step step;
        const char* message;
    };
    const Case cases[] = {
        {VirtualBootloader::Step::Get, "Get: no reply within 1000 ms"},
        {VirtualBootloader::Step::EraseSelector, "Global erase: no reply within 40000 ms"},
        {VirtualBootloader::Step::Read, "Read Memory at 0x08000000: no reply within 1000 ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FirmwareRig rig;
        BootloaderClient client(rig.connection);
        ASSERT_TRUE(client.connect());
        rig.bootloader().injectFault(c.step, VirtualBootloader::Fault::Silence);
        StepResult r;
        BootloaderInfo info;
        QByteArray data;
        switch (c.step) {
            case VirtualBootloader::Step::Get:
                r = client.Get(&info);
                break;
            case VirtualBootloader::Step::EraseSelector:
                r = client.EraseFlash();
                break;
            default:
                r = client.ReadMemory(0x08000000, 16, &data);
                break;
        }
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().failure, Failure::NoReply);
        EXPECT_EQ(r.error().message(), c.message);
    }
}

TEST(BootloaderClient, APortThatTakesNothingStopsTheStep) {
    FirmwareRig rig;
    BootloaderClient client(rig.connection);
    ASSERT_TRUE(client.connect());
    rig.pedal.unplug();
    const StepResult r = client.EraseFlash();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().failure, Failure::WriteFailed);
    EXPECT_EQ(r.error().message(), "Erase Memory: the port did not take the bytes");
}

TEST(BootloaderClient, LowLatencyOnlyForTheSessionAndOnlyWhereSupported) {
    {
        FirmwareRig rig;
        { LowLatencySession session(rig.connection.unit()); }
        EXPECT_EQ(rig.driver.latencyWrites, (QList<std::uint8_t>{1, 16}));
    }
    {
        FirmwareRig rig;
        rig.driver.latencySupported = false;
        { LowLatencySession session(rig.connection.unit()); }
        EXPECT_TRUE(rig.driver.latencyWrites.isEmpty());
        BootloaderClient client(rig.connection);
        EXPECT_TRUE(client.connect()) << "a backend without a latency timer works as before";
    }
}
