// Whole-pedal backup and restore with zendalctl, against the strict virtual
// pedal (wire time and USB transfers on the test's fake clock).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTextStream>

#include "Printers.h"
#include "app/zendalctl/Command.h"
#include "effects/EffectCatalogue.h"
#include "link/FrameCodec.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalSequences.h"
#include "shell/BackupManifest.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"
#include "support/FakeClock.h"
#include "support/InProcessCommand.h"
#include "support/RecordingDriver.h"
#include "support/TempHome.h"

namespace zendal {
namespace {

constexpr int kTremolo = 0x1A;  // 3 pots, a button, a choice list, one LED readback
constexpr int kTremoloParams = 5;

VirtualPedal::Config tremolo() {
    VirtualPedal::Config c;
    c.effectId = kTremolo;
    return c;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class PedalBackupCli : public ::testing::Test {
  protected:
    test::TempHome home;
    test::FakeClock clock;
    VirtualPedal pedal{tremolo()};
    VirtualPedalDriver inner{pedal};
    test::RecordingDriver line{inner};
    PedalConnection connection;
    QString out, err;

    void SetUp() override {
        // Parameter messages carry the addresses of the effect's image.
        pedal.setImageLookup([](int id) -> QByteArray {
            const auto name = effect_name_by_id(id);
            return name ? Hex2String(effect_image_text(*name)) : QByteArray();
        });
        connection.makeProcessPort();
        connection.unit().setDriver(&line);
        connection.unit().ShowFTErrors = false;
        connection.setLineSettings(FT_PARITY_NONE);
        ASSERT_EQ(connection.unit().Open_USB_Device_By_Serial_Number(QStringLiteral("ZVP00001")),
                  FT_OK);
        connection.unit().SetFTBaudRate();
        connection.unit().SetFTDataCharacteristics();
    }
    void TearDown() override {
        connection.unit().CloseFTDevice();
        connection.unit().setDriver(nullptr);
    }

    int run(const QString& command, const QStringList& args) {
        test::CommandRun r = test::runCommand(connection, command, args);
        out = r.out;
        err = r.err;
        clock.advance(5);
        pedal.settle(clock.nowMs() * 1000);
        return r.code;
    }
    void runOk(const QString& command, const QStringList& args) {
        ASSERT_EQ(run(command, args), ctl::kOk) << err.toStdString();
    }
    void store() {
        ASSERT_TRUE(sequences::storeSettings(connection, kTremoloParams).ok());
        clock.advance(5);
        pedal.settle(clock.nowMs() * 1000);
    }
    // Values, assignments and an LED of the pedal's own, stored in its memory.
    void setPedal(int rate, int shape, const QString& rateTarget, const QString& led,
                  const QString& bypass = QStringLiteral("FS")) {
        runOk(QStringLiteral("set"), {QStringLiteral("0"), QString::number(rate)});
        runOk(QStringLiteral("set"), {QStringLiteral("4"), QString::number(shape)});
        runOk(QStringLiteral("assign"), {QStringLiteral("0"), rateTarget});
        runOk(QStringLiteral("assign"), {QStringLiteral("led"), QStringLiteral("0"), led});
        runOk(QStringLiteral("assign"), {QStringLiteral("bypass"), bypass});
        store();
    }
    QString folder(const QString& name) const { return home.path() + u'/' + name; }
    // What was written since `from` that is not a question to the pedal.
    QStringList changingWrites(qsizetype from) const {
        QStringList changing;
        for (const QString& w : line.hexWrites().mid(from))
            if (!w.startsWith(QStringLiteral("06")) && !w.startsWith(QStringLiteral("02")) &&
                !w.startsWith(QStringLiteral("0C")))
                changing << w;
        return changing;
    }
};

TEST_F(PedalBackupCli, RoundTripGivesTheSameFilesByteForByte) {
    setPedal(700, 2, QStringLiteral("EXP"), QStringLiteral("RED"));
    runOk(QStringLiteral("backup"), {folder("first")});
    EXPECT_EQ(QDir(folder("first")).entryList(QDir::Files, QDir::Name),
              (QStringList{"Tremolo.txt", "device-info.txt", "eeprom-50.bin", "eeprom-51.bin",
                           "manifest.txt"}));

    setPedal(100, 0, QStringLiteral("KI"), QStringLiteral("--"), QStringLiteral("RMT"));
    runOk(QStringLiteral("restore"), {folder("first"), QStringLiteral("--eeprom")});
    EXPECT_TRUE(out.contains(QStringLiteral("bypass: RMT -> FS"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Rate: 100 -> 700"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Rate assignment: KI -> EXP"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("LED LFO: -- -> RED"))) << out.toStdString();
    EXPECT_TRUE(
        out.contains(QStringLiteral("after storing: settings memory (EEPROM 50): as in "
                                    "the backup")))
        << out.toStdString();

    runOk(QStringLiteral("backup"), {folder("second")});
    for (const QString& name : {QStringLiteral("Tremolo.txt"), QStringLiteral("eeprom-50.bin"),
                                QStringLiteral("eeprom-51.bin")}) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray first = fileBytes(folder("first") + u'/' + name);
        ASSERT_FALSE(first.isEmpty());
        EXPECT_EQ(fileBytes(folder("second") + u'/' + name), first);
    }
}

TEST_F(PedalBackupCli, WithoutEepromTheMemoriesStayAndTheValuesComeBack) {
    setPedal(700, 2, QStringLiteral("EXP"), QStringLiteral("RED"));
    runOk(QStringLiteral("backup"), {folder("b")});
    setPedal(100, 0, QStringLiteral("KI"), QStringLiteral("--"));
    const QByteArray changedMemory = pedal.eeprom(0x50);

    runOk(QStringLiteral("restore"), {folder("b")});
    EXPECT_EQ(pedal.eeprom(0x50), changedMemory);
    EXPECT_TRUE(out.contains(QStringLiteral("--eeprom stores the restored settings")));
    const VirtualPedal::EffectSettings& s = pedal.currentSettings();
    EXPECT_EQ(s.values[0], 700u * 8192u);
    EXPECT_EQ(s.assignments[0], 0x0B);
    EXPECT_EQ(s.leds[0], 0x02);
}

TEST_F(PedalBackupCli, DryRunShowsTheChangesAndSendsNothing) {
    setPedal(700, 2, QStringLiteral("EXP"), QStringLiteral("RED"));
    runOk(QStringLiteral("backup"), {folder("b")});
    setPedal(100, 2, QStringLiteral("EXP"), QStringLiteral("RED"));
    const qsizetype before = line.hexWrites().size();

    runOk(QStringLiteral("restore"), {folder("b"), QStringLiteral("--dry-run")});
    EXPECT_EQ(
        out.split(u'\n', Qt::SkipEmptyParts),
        (QStringList{"values and assignments that differ from the backup:", "  Rate: 100 -> 700",
                     "settings memory (EEPROM 50): differs from the backup in 1 byte",
                     "bank memory (EEPROM 51): as in the backup", "dry run: nothing sent"}));
    EXPECT_TRUE(changingWrites(before).isEmpty()) << changingWrites(before).join(' ').toStdString();
    EXPECT_EQ(pedal.currentSettings().values[0], 100u * 8192u);
}

TEST_F(PedalBackupCli, RefusesWhatItCannotTrust) {
    struct Case {
        const char* name;
        std::function<void(VirtualPedal&, const QString& dir)> spoil;
        QString refusal;
    };
    const Case cases[] = {
        {"a memory dump changed after the backup",
         [](VirtualPedal&, const QString& dir) {
             QFile f(dir + "/eeprom-50.bin");
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             f.seek(100);
             f.write("x");
         },
         "The backup is damaged: eeprom-50.bin does not match its checksum."},
        {"the preset file gone",
         [](VirtualPedal&, const QString& dir) { QFile::remove(dir + "/Tremolo.txt"); },
         "The backup is incomplete: Tremolo.txt is missing."},
        {"no manifest",
         [](VirtualPedal&, const QString& dir) { QFile::remove(dir + "/manifest.txt"); },
         "holds no pedal backup: manifest.txt cannot be read"},
        {"another effect on the pedal",
         [](VirtualPedal& p, const QString&) { p.setEffect(0x26, 1); },
         "This backup holds the settings of Tremolo (0x1A); the pedal runs Noise Gate (0x26)."},
        {"another version of the effect",
         [](VirtualPedal& p, const QString&) { p.setEffect(kTremolo, 2); },
         "This backup holds Tremolo (0x1A) version 1; the pedal runs version 2."},
        {"another firmware", [](VirtualPedal& p, const QString&) { p.setFirmwareVersion(4); },
         "This backup was made with firmware 5; the pedal runs firmware 4."},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pedal.setEffect(kTremolo, 1);
        pedal.setFirmwareVersion(5);
        const QString dir = folder(QStringLiteral("b%1").arg(n++));
        runOk(QStringLiteral("backup"), {dir});
        c.spoil(pedal, dir);
        const qsizetype before = line.hexWrites().size();
        EXPECT_EQ(run(QStringLiteral("restore"), {dir}), ctl::kFailure);
        EXPECT_TRUE(err.contains(c.refusal)) << err.toStdString();
        EXPECT_TRUE(changingWrites(before).isEmpty());
    }
}

TEST_F(PedalBackupCli, BackupWantsANewFolderAndSaysWhatItCouldNotRead) {
    QDir().mkpath(folder("full"));
    QFile other(folder("full") + "/notes.txt");
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    EXPECT_EQ(run(QStringLiteral("backup"), {folder("full")}), ctl::kFailure);
    EXPECT_TRUE(err.contains(QStringLiteral("is not empty"))) << err.toStdString();
    EXPECT_EQ(run(QStringLiteral("restore"), {}), ctl::kUsage);
    EXPECT_EQ(run(QStringLiteral("restore"), {folder("x"), QStringLiteral("--force")}),
              ctl::kUsage);

    pedal.setSilentOn(0x0C);
    EXPECT_EQ(run(QStringLiteral("backup"), {folder("partial")}), ctl::kFailure);
    EXPECT_TRUE(err.contains(QStringLiteral("zendalctl: EEPROM 50: no answer")))
        << err.toStdString();
    // What was read is kept, with a manifest a restore can check.
    EXPECT_EQ(QDir(folder("partial")).entryList(QDir::Files, QDir::Name),
              (QStringList{"Tremolo.txt", "device-info.txt", "manifest.txt"}));
}

}  // namespace
}  // namespace zendal
