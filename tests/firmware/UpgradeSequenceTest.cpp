#include <gtest/gtest.h>

#include "FirmwareRig.h"
#include "QtPrinters.h"
#include "firmware/UpgradeSequence.h"
#include "link/D2XXUnit.h"

using namespace zendal;
using namespace zendal::firmware;
using zendal::test::FirmwareRig;
using BStep = zendal::VirtualBootloader::Step;
using BFault = zendal::VirtualBootloader::Fault;
using Status = zendal::firmware::UpgradeResult::Status;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// The pedal in its bootloader with a connection made, as the upgrade window
// finds it.
struct Connected : FirmwareRig {
    UpgradeSequence sequence{connection};
    Connected() {
        EXPECT_TRUE(sequence.client().connect());
        // As after Upgrade Mode: the pedal's firmware ran just before.
        sequence.resetFlashState();
        driver.writes.clear();
        clearLog();
    }
    // Writes from the first one equal to frame on.
    int indexOfWrite(const QByteArray& frame) const {
        return static_cast<int>(driver.writes.indexOf(frame));
    }
};

}  // namespace

TEST(UpgradeSequence, WritesVerifiesAndStartsEveryOfferedImage) {
    struct Case {
        const char* name;
        int variant;
        int size;
        int chunks;
        int last;
    };
    const Case cases[] = {
        {"Firmware_5", 5, 41712, 163, 240},
        {"Firmware_4", 4, 41356, 162, 140},
        {"FIRMWARE_1", 1, 41252, 162, 36},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Connected rig;
        QList<int> written;
        int verifiedChunks = 0;
        const UpgradeResult r = rig.sequence.runNamed(
            c.name, c.variant, UpgradeOptions{}, [&](UpgradePhase phase, int index, int count) {
                EXPECT_EQ(count, c.chunks);
                if (phase == UpgradePhase::Writing) written.append(index);
                if (phase == UpgradePhase::Verifying) ++verifiedChunks;
            });
        ASSERT_EQ(r.status, Status::Done) << r.message.toStdString();
        EXPECT_TRUE(r.verified);
        EXPECT_EQ(written.size(), c.chunks);
        EXPECT_EQ(written.last(), c.chunks - 1);
        EXPECT_EQ(verifiedChunks, c.chunks);

        const QByteArray image = FirmwareRig::image(c.name);
        ASSERT_EQ(image.size(), c.size);
        const QByteArray& flash = rig.bootloader().flash();
        EXPECT_EQ(flash.left(c.size), image);
        EXPECT_EQ(flash.mid(0x1FC00, 8), QByteArray(7, '\0') + char(c.variant));
        EXPECT_EQ(rig.driver.countWrites(hex("31CE")), c.chunks + 1);
        const QStringList log = rig.log();
        EXPECT_EQ(log.first(), "********************FIRMWARE UPGRADE********************");
        EXPECT_TRUE(log.contains(QStringLiteral("Firmware num of bytes: %1").arg(c.size)));
        EXPECT_TRUE(log.contains(QStringLiteral("num of bytes last chunk: %1").arg(c.last)));
        EXPECT_EQ(rig.driver.countWrites(hex("21DE")), 0) << "Go is the caller's to send";
        EXPECT_EQ(rig.sequence.flashState(), FlashState::Written);
        EXPECT_FALSE(rig.connection.unit().ShowFTErrors);

        ASSERT_TRUE(rig.sequence.leaveBootloader());
        EXPECT_FALSE(rig.pedal.inBootloader());
        EXPECT_EQ(rig.pedal.firmwareVersion(), c.variant) << "the pedal runs the new image";
        EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_NONE);
    }
}

TEST(UpgradeSequence, EveryRefusedOrSilentStepStopsTheSequenceAndAllowsARetry) {
    struct Case {
        BStep step;
        BFault fault;
        int occurrence;
        Step failedStep;
        const char* message;
        bool goSafe;  // the flash holds the old image, or the whole new one
    };
    const Case cases[] = {
        {BStep::Get, BFault::Nack, 1, Step::Get, "Get: not acknowledged (1F)", true},
        {BStep::Get, BFault::Silence, 1, Step::Get, "Get: no reply within 1000 ms", true},
        {BStep::EraseCommand, BFault::Nack, 1, Step::EraseCommand,
         "Erase Memory: not acknowledged (1F)", false},
        {BStep::EraseCommand, BFault::Silence, 1, Step::EraseCommand,
         "Erase Memory: no reply within 1000 ms", false},
        {BStep::EraseSelector, BFault::Nack, 1, Step::EraseSelector,
         "Global erase: not acknowledged (1F)", false},
        {BStep::EraseSelector, BFault::Silence, 1, Step::EraseSelector,
         "Global erase: no reply within 40000 ms", false},
        {BStep::WriteCommand, BFault::Nack, 10, Step::WriteCommand,
         "Write Memory at 0x08000900: not acknowledged (1F)", false},
        {BStep::WriteCommand, BFault::Silence, 1, Step::WriteCommand,
         "Write Memory at 0x08000000: no reply within 1000 ms", false},
        {BStep::WriteAddress, BFault::Nack, 163, Step::WriteAddress,
         "Write Memory address at 0x0800A200: not acknowledged (1F)", false},
        {BStep::WriteAddress, BFault::Silence, 3, Step::WriteAddress,
         "Write Memory address at 0x08000200: no reply within 1000 ms", false},
        {BStep::WriteData, BFault::Nack, 1, Step::WriteData,
         "Write Memory data at 0x08000000: not acknowledged (1F)", false},
        {BStep::WriteData, BFault::Silence, 100, Step::WriteData,
         "Write Memory data at 0x08006300: no reply within 1000 ms", false},
        // The 164th block of Firmware_5 is the variant record.
        {BStep::WriteData, BFault::Nack, 164, Step::WriteData,
         "Write Memory data at 0x0801FC00: not acknowledged (1F)", false},
        {BStep::Read, BFault::Nack, 2, Step::ReadCommand,
         "Read Memory at 0x08000100: not acknowledged (1F)", true},
        {BStep::Read, BFault::Silence, 1, Step::ReadCommand,
         "Read Memory at 0x08000000: no reply within 1000 ms", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Connected rig;
        rig.bootloader().injectFault(c.step, c.fault, c.occurrence);
        const UpgradeResult failed = rig.sequence.runNamed("Firmware_5", 5, UpgradeOptions{});
        ASSERT_EQ(failed.status, Status::Failed);
        ASSERT_TRUE(failed.error.has_value());
        EXPECT_EQ(failed.error->step, c.failedStep);
        EXPECT_EQ(failed.message, c.message);
        EXPECT_TRUE(rig.log().contains(QStringLiteral("firmware upgrade stopped: ") + c.message));
        EXPECT_EQ(rig.driver.countWrites(hex("21DE")), 0);
        // A failed read-back leaves an image whose every write was acknowledged.
        EXPECT_EQ(rig.sequence.goIsSafe(), c.goSafe);
        // Nothing is sent after the step that failed.
        const QByteArray lastWrite = rig.driver.writes.last();
        if (c.failedStep == Step::WriteData) {
            EXPECT_EQ(lastWrite.size() - 2, static_cast<std::uint8_t>(lastWrite[0]) + 1);
        } else if (c.failedStep == Step::WriteAddress) {
            EXPECT_EQ(lastWrite.size(), 5);
        } else {
            EXPECT_EQ(lastWrite.size(), 2);
        }

        // Go is refused while the flash holds an incomplete image.
        if (!c.goSafe) {
            const int before = static_cast<int>(rig.driver.writes.size());
            EXPECT_FALSE(rig.sequence.leaveBootloader());
            EXPECT_EQ(rig.driver.writes.size(), before);
            EXPECT_TRUE(rig.pedal.inBootloader());
        }

        // The pedal waits in its bootloader: the same sequence again succeeds.
        const UpgradeResult retry = rig.sequence.runNamed("Firmware_5", 5, UpgradeOptions{});
        ASSERT_EQ(retry.status, Status::Done) << retry.message.toStdString();
        EXPECT_EQ(rig.bootloader().flash().left(41712), FirmwareRig::image("Firmware_5"));
        ASSERT_TRUE(rig.sequence.leaveBootloader());
        EXPECT_FALSE(rig.pedal.inBootloader());
    }
}

TEST(UpgradeSequence, VerifyFindsAFlashThatDiffersFromTheImage) {
    Connected rig;
    bool corrupted = false;
    rig.driver.beforeWrite = [&](const QByteArray& bytes) {
        if (!corrupted && bytes == hex("11EE")) {
            corrupted = true;
            QByteArray& flash = rig.bootloader().flash();
            flash[0x1234] = static_cast<char>(flash[0x1234] ^ 0x40);
        }
    };
    const QByteArray image = FirmwareRig::image("Firmware_5");
    const UpgradeResult r = rig.sequence.runNamed("Firmware_5", 5, UpgradeOptions{});
    ASSERT_EQ(r.status, Status::Failed);
    const auto expected =
        QStringLiteral(
            "Verify at 0x08001234: the flash holds %1 where the image "
            "has %2")
            .arg(QString::number(static_cast<std::uint8_t>(image[0x1234] ^ 0x40), 16)
                     .rightJustified(2, '0')
                     .toUpper(),
                 QString::number(static_cast<std::uint8_t>(image[0x1234]), 16)
                     .rightJustified(2, '0')
                     .toUpper());
    EXPECT_EQ(r.message, expected);
    EXPECT_FALSE(r.verified);
    EXPECT_EQ(rig.sequence.flashState(), FlashState::Incomplete);
    EXPECT_FALSE(rig.sequence.leaveBootloader());
    EXPECT_EQ(rig.driver.countWrites(hex("21DE")), 0);
}

TEST(UpgradeSequence, ReadProtectionIsLoggedAndTheUpgradeGoesOn) {
    Connected rig;
    rig.bootloader().injectFault(BStep::Read, BFault::Nack, 1);
    const UpgradeResult r = rig.sequence.runNamed("Firmware_4", 4, UpgradeOptions{});
    ASSERT_EQ(r.status, Status::Done) << r.message.toStdString();
    EXPECT_TRUE(r.readProtected);
    EXPECT_FALSE(r.verified);
    EXPECT_TRUE(rig.log().contains(
        "Read Memory not acknowledged: the bootloader refuses reads (read protection), the image "
        "is not verified"));
    EXPECT_EQ(rig.bootloader().flash().left(41356), FirmwareRig::image("Firmware_4"));
    EXPECT_TRUE(rig.sequence.goIsSafe());
}

TEST(UpgradeSequence, WithoutVerifyNothingIsReadBack) {
    Connected rig;
    const UpgradeResult r = rig.sequence.runNamed("Firmware_5", 5, UpgradeOptions{false});
    ASSERT_EQ(r.status, Status::Done);
    EXPECT_FALSE(r.verified);
    EXPECT_EQ(rig.driver.countWrites(hex("00FF")), 0);
    EXPECT_EQ(rig.driver.countWrites(hex("11EE")), 0);
    EXPECT_EQ(rig.driver.writes.first(), hex("43BC"));
}

TEST(UpgradeSequence, CancelStopsAtTheNextStepBoundary) {
    struct Case {
        const char* name;
        std::function<bool(UpgradePhase, int)> cancelAt;  // at this progress report
        bool cancelDuringGet;
        int writeCommands;  // 31 CE sent in all
        FlashState flash;
    };
    const Case cases[] = {
        {"during the bootloader query", nullptr, true, 0, FlashState::Untouched},
        {"while chunk 5 is written",
         [](UpgradePhase p, int i) { return p == UpgradePhase::Writing && i == 5; }, false, 6,
         FlashState::Incomplete},
        {"while the image is read back",
         [](UpgradePhase p, int i) { return p == UpgradePhase::Verifying && i == 3; }, false, 164,
         FlashState::Written},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Connected rig;
        if (c.cancelDuringGet) {
            rig.driver.beforeWrite = [&](const QByteArray& bytes) {
                if (bytes == hex("00FF")) rig.sequence.cancel();
            };
        }
        const UpgradeResult r = rig.sequence.runNamed(
            "Firmware_5", 5, UpgradeOptions{}, [&](UpgradePhase phase, int index, int) {
                if (c.cancelAt && c.cancelAt(phase, index)) rig.sequence.cancel();
            });
        EXPECT_EQ(r.status, Status::Cancelled);
        EXPECT_EQ(rig.driver.countWrites(hex("31CE")), c.writeCommands);
        EXPECT_EQ(rig.sequence.flashState(), c.flash);
        EXPECT_FALSE(rig.sequence.isRunning());
        EXPECT_EQ(rig.driver.countWrites(hex("21DE")), 0);
        // Go only when the flash holds a whole image (or the old one).
        EXPECT_EQ(rig.sequence.leaveBootloader().ok(), c.flash != FlashState::Incomplete);
        EXPECT_EQ(rig.pedal.inBootloader(), c.flash == FlashState::Incomplete);
    }
}

TEST(UpgradeSequence, CannotBeStartedWhileRunning) {
    Connected rig;
    std::optional<UpgradeResult> second;
    const UpgradeResult first =
        rig.sequence.runNamed("Firmware_5", 5, UpgradeOptions{}, [&](UpgradePhase, int index, int) {
            if (index == 2 && !second) {
                EXPECT_TRUE(UpgradeSequence::anyRunning());
                second = rig.sequence.runNamed("Firmware_4", 4, {});
            }
        });
    ASSERT_TRUE(second.has_value());
    EXPECT_FALSE(UpgradeSequence::anyRunning());
    EXPECT_EQ(second->status, Status::Busy);
    EXPECT_EQ(second->message, "A firmware upgrade is already running.");
    EXPECT_EQ(first.status, Status::Done);
    EXPECT_EQ(rig.bootloader().flash().left(41712), FirmwareRig::image("Firmware_5"));
}

TEST(UpgradeSequence, RefusesBeforeAnythingIsSent) {
    struct Case {
        const char* name;
        std::optional<DeviceKind> kind;
        bool closePort;
        QByteArray image;  // empty: the catalogue's Firmware_5
        int variant;
        bool refused;
    };
    QByteArray plain = FirmwareRig::pattern(4096);
    const Case cases[] = {
        {"demonstration firmware to real hardware", DeviceKind::Hardware, false, {}, 5, true},
        {"any image to real hardware while the catalogue is the demonstration",
         DeviceKind::Hardware, false, plain, 1, true},
        {"a pseudo-terminal is the virtual pedal", DeviceKind::PseudoTerminal, false, {}, 5, false},
        {"no pedal linked", std::nullopt, true, {}, 5, true},
        {"image beyond the chunk table", std::nullopt, false, QByteArray(131073, '\0'), 5, true},
        {"variant out of range", std::nullopt, false, plain, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Connected rig;
        rig.driver.kind = c.kind;
        if (c.closePort) rig.connection.unit().CloseFTDevice();
        const UpgradeResult r =
            c.image.isEmpty() ? rig.sequence.runNamed("Firmware_5", c.variant, UpgradeOptions{})
                              : rig.sequence.runImage(c.image, c.variant, UpgradeOptions{});
        if (c.refused) {
            EXPECT_EQ(r.status, Status::Refused);
            EXPECT_FALSE(r.message.isEmpty());
            EXPECT_TRUE(rig.driver.writes.isEmpty());
            EXPECT_EQ(rig.sequence.flashState(), FlashState::Untouched);
        } else {
            EXPECT_EQ(r.status, Status::Done) << r.message.toStdString();
        }
    }
}

TEST(UpgradeSequence, TheInterlockNamesTheDemonstrationFirmware) {
    EXPECT_TRUE(isDemonstrationFirmware(FirmwareRig::image("Firmware_5")));
    EXPECT_FALSE(isDemonstrationFirmware(FirmwareRig::pattern(41712)));
    EXPECT_FALSE(isDemonstrationFirmware(QByteArray(0x200, '\0')));

    Connected rig;
    rig.driver.kind = DeviceKind::Hardware;
    const auto why = UpgradeSequence::refusal(rig.connection);
    ASSERT_TRUE(why.has_value());
    EXPECT_TRUE(why->contains("demonstration")) << why->toStdString();
    rig.driver.kind = DeviceKind::VirtualInProcess;
    EXPECT_FALSE(UpgradeSequence::refusal(rig.connection).has_value());
}

TEST(UpgradeSequence, LowLatencyForTheSessionOnly) {
    Connected rig;
    ASSERT_TRUE(rig.sequence.runNamed("Firmware_5", 5, UpgradeOptions{}).ok());
    EXPECT_EQ(rig.driver.latencyWrites, (QList<std::uint8_t>{1, 16}));
}
