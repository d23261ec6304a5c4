// The pedal is never started on a flash that does not prove whole, files are
// checked before the pedal is touched, and a pedal that lost power anywhere
// in an upgrade is found in its bootloader and recovered.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "FirmwareRig.h"
#include "QtPrinters.h"
#include "firmware/FirmwareImage.h"
#include "firmware/LastImage.h"
#include "firmware/UpgradeSequence.h"
#include "link/Communication.h"
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

QByteArray withVectors(QByteArray image, const char* vectors) {
    image.replace(0, 8, hex(vectors));
    return image;
}

// Bytes straight onto the line, as an editor that ended may have left them.
void send(D2XXUnit& port, const QByteArray& bytes) {
    std::memcpy(port.FTTransmitBuffer.data(), bytes.constData(),
                static_cast<std::size_t>(bytes.size()));
    port.WriteFTDevice(static_cast<std::uint32_t>(bytes.size()));
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Firmware_5's chunks, then its variant record: occurrence of WriteData.
constexpr int kFirmware5Chunks = 163;

}  // namespace

TEST(FirmwareImage, VectorTablesOfThisPart) {
    struct Case {
        const char* name;
        const char* bytes;
        bool ok;
    };
    const Case cases[] = {
        {"carried images", "00500020 41020008", true},
        {"stack at the start of SRAM's last word", "FC4F0020 41020008", true},
        {"erased", "FFFFFFFF FFFFFFFF", false},
        {"zeros", "00000000 00000000", false},
        {"stack beyond SRAM", "04500020 41020008", false},
        {"stack not word aligned", "02500020 41020008", false},
        {"stack in flash", "00000008 41020008", false},
        {"reset address without the Thumb bit", "00500020 40020008", false},
        {"reset address in SRAM", "00500020 41000020", false},
        {"reset address into the vector table", "00500020 01000008", false},
        {"reset address beyond the flash", "00500020 01000208", false},
        {"short", "00500020", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(!vectorTableProblem(hex(c.bytes)).has_value(), c.ok);
    }
    EXPECT_EQ(vectorTableProblem(hex("FFFFFFFFFFFFFFFF")),
              QString("the initial stack pointer 0xFFFFFFFF is not in SRAM"));
}

TEST(FirmwareImage, ImagesAndFilesAreCheckedWhole) {
    QTemporaryDir dir;
    const QByteArray good = FirmwareRig::image("Firmware_4");
    struct Case {
        const char* name;
        QString path;  // empty: a file with `bytes`
        QByteArray bytes;
        const char* error;  // empty: accepted
    };
    const Case cases[] = {
        {"a carried image", {}, good, ""},
        {"one byte less than the record's page", {}, FirmwareRig::pattern(kMaxFirmwareSize), ""},
        {"empty", {}, {}, "the image is empty"},
        {"reaching into the record's page",
         {},
         FirmwareRig::pattern(kMaxFirmwareSize + 1),
         "larger than the 130048 bytes that fit below the variant record at 0x0801FC00"},
        {"no vector table", {}, QByteArray(4096, 'x'), "not a firmware image for this pedal"},
        {"reset address beyond its end",
         {},
         good.left(0x200),
         "the reset address 0x08000241 lies beyond its end"},
        {"/dev/zero",
         "/dev/zero",
         {},
         "larger than the 130048 bytes that fit below the variant record"},
        {"a folder", dir.path(), {}, ""},
        {"missing", dir.filePath("missing.bin"), {}, "missing.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString path = c.path;
        if (path.isEmpty()) {
            path = dir.filePath("image.bin");
            ASSERT_TRUE(writeFile(path, c.bytes));
        }
        QString error;
        const auto read = readFirmwareFile(path, &error);
        const bool accepted = QString(c.error).isEmpty() && path != dir.path();
        EXPECT_EQ(read.has_value(), accepted) << error.toStdString();
        if (accepted) {
            EXPECT_EQ(*read, c.bytes);
            EXPECT_FALSE(imageProblem(c.bytes).has_value());
        } else {
            EXPECT_TRUE(error.startsWith(path + ": ")) << error.toStdString();
            EXPECT_TRUE(error.contains(c.error)) << error.toStdString();
        }
    }
}

TEST(FirmwareImage, TheLastImageWrittenIsRemembered) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("Zendal");
    EXPECT_FALSE(lastImage(folder).has_value());

    ASSERT_TRUE(rememberLastImage(folder, RememberedImage{"Firmware_4", {}, 4}));
    auto last = lastImage(folder);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->catalogueName, "Firmware_4");
    EXPECT_EQ(last->variant, 4);

    const QByteArray file = FirmwareRig::pattern(3000);
    ASSERT_TRUE(rememberLastImage(folder, RememberedImage{{}, file, 3}));
    last = lastImage(folder);
    ASSERT_TRUE(last.has_value());
    EXPECT_TRUE(last->catalogueName.isEmpty());
    EXPECT_EQ(last->bytes, file);
    EXPECT_EQ(last->variant, 3);

    // A record that is not one, or whose bytes are gone, is not used.
    ASSERT_TRUE(QFile::remove(QDir(folder).filePath("LastFirmware.bin")));
    QString error;
    EXPECT_FALSE(lastImage(folder, &error).has_value());
    EXPECT_FALSE(error.isEmpty());
    ASSERT_TRUE(writeFile(QDir(folder).filePath("LastFirmware.txt"), "Firmware_9"));
    EXPECT_FALSE(lastImage(folder, &error).has_value());
    EXPECT_TRUE(error.contains("not a record of an image"));
}

TEST(GoGate, TheFlashIsReadBeforeEveryGo) {
    const QByteArray good = FirmwareRig::image("Firmware_5");
    struct Case {
        const char* name;
        std::function<void(VirtualBootloader&)> flash;
        FlashState known;
        bool readProtected;
        bool started;
        const char* why;
    };
    const Case cases[] = {
        {"a whole image", [&](VirtualBootloader& b) { b.loadFlash(good); }, FlashState::Unknown,
         false, true, ""},
        {"erased", [](VirtualBootloader& b) { b.flash().fill(char(0xFF)); }, FlashState::Unknown,
         false, false, "initial stack pointer 0xFFFFFFFF is not in SRAM"},
        {"half written: no variant record",
         [&](VirtualBootloader& b) {
             b.flash().fill(char(0xFF));
             b.flash().replace(0, 20000, good.left(20000));
         },
         FlashState::Unknown, false, false, "no variant record"},
        {"a vector table that is not one",
         [&](VirtualBootloader& b) { b.loadFlash(withVectors(good, "00000000 00000000")); },
         FlashState::Unknown, false, false, "not in SRAM"},
        {"unreadable, nothing known", [&](VirtualBootloader& b) { b.loadFlash(good); },
         FlashState::Unknown, true, false, "cannot be read back"},
        {"unreadable, its firmware ran just before",
         [&](VirtualBootloader& b) { b.loadFlash(good); }, FlashState::Untouched, true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareRig rig;
        c.flash(rig.bootloader());
        rig.bootloader().setReadProtected(c.readProtected);
        UpgradeSequence sequence(rig.connection);
        if (c.known == FlashState::Untouched) sequence.resetFlashState();
        ASSERT_TRUE(sequence.client().connect());
        rig.driver.writes.clear();
        const StepResult r = sequence.leaveBootloader();
        EXPECT_EQ(r.ok(), c.started) << (r.ok() ? "" : r.error().message().toStdString());
        EXPECT_EQ(rig.driver.countWrites(hex("21DE")), c.started ? 1 : 0);
        EXPECT_EQ(rig.pedal.inBootloader(), !c.started);
        EXPECT_FALSE(rig.bootloader().crashed());
        if (!c.started) {
            EXPECT_EQ(r.error().failure, Failure::Refused);
            EXPECT_TRUE(r.error().message().contains(c.why)) << r.error().message().toStdString();
            EXPECT_EQ(sequence.flashState(), FlashState::Incomplete);
            // The line stays as the bootloader needs it.
            EXPECT_EQ(rig.connection.unit().FTParity, FT_PARITY_EVEN);
        }
    }
}

TEST(PowerLoss, AtEveryStageThePedalWaitsInItsBootloaderAndIsRecovered) {
    struct Case {
        const char* name;
        BStep step;
        int occurrence;
        bool powerLost;  // else the editor ended and the pedal kept power
    };
    const Case cases[] = {
        {"during the erase", BStep::EraseSelector, 1, true},
        {"at the first block", BStep::WriteData, 1, true},
        {"at block 80", BStep::WriteData, 81, true},
        {"at the last block", BStep::WriteData, kFirmware5Chunks, true},
        {"at the variant record", BStep::WriteData, kFirmware5Chunks + 1, true},
        {"editor ended at block 80", BStep::WriteData, 81, false},
        {"editor ended before the variant record", BStep::WriteCommand, kFirmware5Chunks + 1,
         false},
    };
    const QByteArray image = FirmwareRig::image("Firmware_5");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareRig rig;
        {
            UpgradeSequence first(rig.connection);
            ASSERT_TRUE(first.client().connect());
            first.resetFlashState();
            if (c.powerLost) {
                rig.bootloader().injectFault(c.step, BFault::PowerLoss, c.occurrence);
            } else {
                // The editor ends right before this step: nothing more is sent.
                rig.bootloader().injectFault(c.step, BFault::Silence, c.occurrence);
            }
            const UpgradeResult r = first.runNamed("Firmware_5", 5, UpgradeOptions{});
            ASSERT_EQ(r.status, Status::Failed);
        }
        if (c.powerLost) {
            EXPECT_TRUE(rig.bootloader().poweredOff());
            rig.bootloader().powerOn();
        } else {
            // What the editor sent last is in the bootloader's command state.
            send(rig.connection.unit(), QByteArray(1, '\x31'));
        }
        rig.connection.unit().ShowFTErrors = false;
        rig.driver.writes.clear();

        // A new editor: the pedal is found in its bootloader, nothing known.
        UpgradeSequence second(rig.connection);
        second.flashUnknown();
        ASSERT_TRUE(second.client().connect(BootloaderClient::ConnectMode::AcceptAlreadyConnected));
        const StepResult go = second.leaveBootloader();
        ASSERT_FALSE(go.ok());
        EXPECT_EQ(go.error().failure, Failure::Refused);
        EXPECT_EQ(rig.driver.countWrites(hex("21DE")), 0);
        EXPECT_TRUE(rig.pedal.inBootloader());

        // Recovery writes and verifies, then the pedal starts.
        const UpgradeResult again = second.runNamed("Firmware_5", 5, UpgradeOptions{});
        ASSERT_EQ(again.status, Status::Done) << again.message.toStdString();
        EXPECT_TRUE(again.verified);
        ASSERT_TRUE(second.leaveBootloader().ok());
        EXPECT_FALSE(rig.pedal.inBootloader());
        EXPECT_EQ(rig.bootloader().flash().left(image.size()), image);
    }
}

TEST(PowerLoss, GoIntoABadFlashLeavesAPedalThatAnswersNothing) {
    FirmwareRig rig;
    BootloaderClient client(rig.connection);
    ASSERT_TRUE(client.connect());
    ASSERT_TRUE(client.EraseFlash());
    ASSERT_TRUE(client.SendGoCommand());
    EXPECT_TRUE(rig.bootloader().crashed());
    // Neither the firmware nor the bootloader answers.
    communication::SetPortParameters(FT_PARITY_NONE);
    rig.connection.unit().SetFTDataCharacteristics();
    send(rig.connection.unit(), hex("0600"));
    communication::SetPortParameters(FT_PARITY_EVEN);
    rig.connection.unit().SetFTDataCharacteristics();
    send(rig.connection.unit(), hex("7F"));
    send(rig.connection.unit(), hex("00FF"));
    EXPECT_EQ(rig.pedal.bytesAvailable(), 0);
}
