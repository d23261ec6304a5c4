#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>

#include "FirmwareRig.h"
#include "QtPrinters.h"
#include "RecordingUpgradeSignals.h"
#include "firmware/LastImage.h"
#include "firmware/UpgradeBackup.h"
#include "firmware/ui/FirmwareUpgradeController.h"
#include "firmware/ui/TformFirmwareUpgrade.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"
#include "protocol/Messages.h"
#include "shell/SettingsFiles.h"
#include "support/ScriptedPrompt.h"

using namespace zendal;
using zendal::test::FirmwareRig;
using zendal::test::RecordingUpgradeSignals;
using zendal::test::ScriptedPrompt;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

const QByteArray kBypassOn = hex("0D01");
const QByteArray kEnterBootloader = hex("0500010203040506");
const QByteArray kGo = hex("21DE");

// The main window's menu items and what its signals switch, with the
// pedal running its firmware on the other end of the link.
struct ControllerRig : FirmwareRig {
    ScriptedPrompt prompt;
    QWidget mainWindow;
    QAction modeItem{"Upgrade Mode"};
    QAction startItem{"Start Firmware Upgrade"};
    QMenu upgradeMenu{"Firmware Upgrade"};
    FirmwareUpgradeController controller;
    RecordingUpgradeSignals mainSide{controller, connection};

    ControllerRig()
        : FirmwareRig(/*inBootloader=*/false),
          controller(
              connection, &modeItem, &startItem, &upgradeMenu,
              [](bool on) { SendHexMessage(messages::bypass(on)); }, &mainWindow) {
        mainWindow.setGeometry(100, 50, 400, 420);
        modeItem.setCheckable(true);
        startItem.setVisible(false);
        startItem.setEnabled(false);
        connection.unit().ShowFTErrors = true;
        controller.setLinkedCheck([this] { return linked; });
    }
    TformFirmwareUpgrade& window() { return *controller.window(); }
    // What was written from the bypass on (the settings backup comes before it).
    QList<QByteArray> writesFromBypass() const {
        return driver.writes.mid(driver.writes.indexOf(kBypassOn));
    }
    void link() { linked = true; }
    bool linked = false;
};

}  // namespace

TEST(FirmwareUpgradeController, BeforeAnyLinkTheItemOnlyTogglesTheFlag) {
    ControllerRig rig;
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_TRUE(rig.connection.bootloaderOwnsLine());
    EXPECT_TRUE(rig.modeItem.isChecked());
    EXPECT_FALSE(rig.mainSide.tick);
    EXPECT_TRUE(rig.prompt.all().isEmpty());
    EXPECT_TRUE(rig.driver.writes.isEmpty());

    // Qt ticks a checkable item itself before the handler runs; the handler
    // still toggles from its own state.
    rig.modeItem.setChecked(false);
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_FALSE(rig.connection.bootloaderOwnsLine());
    EXPECT_FALSE(rig.modeItem.isChecked());
}

TEST(FirmwareUpgradeController, NoLeavesUpgradeModeWithTheEffectInBypass) {
    ControllerRig rig;
    rig.link();
    rig.prompt.answerConfirm(false);
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_EQ(rig.prompt.confirmations, QStringList{FirmwareUpgradeController::kEnterQuestion});
    EXPECT_EQ(rig.writesFromBypass(), QList<QByteArray>{kBypassOn});
    EXPECT_FALSE(rig.connection.bootloaderOwnsLine());
    EXPECT_FALSE(rig.modeItem.isChecked());
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_NONE);
    EXPECT_TRUE(rig.mainSide.tick);
    EXPECT_TRUE(rig.mainSide.editor);
    EXPECT_TRUE(rig.connection.unit().ShowFTErrors);
    rig.settle();
    EXPECT_TRUE(rig.pedal.bypass());
    EXPECT_FALSE(rig.window().isVisible());
}

TEST(FirmwareUpgradeController, YesRestartsThePedalIntoItsBootloaderAndOpensTheWindow) {
    ControllerRig rig;
    rig.link();
    rig.pedal.pressAndHoldSave(true);  // as the question asks
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();

    EXPECT_EQ(rig.writesFromBypass(), (QList<QByteArray>{kBypassOn, kEnterBootloader, hex("7F")}));
    EXPECT_EQ(rig.prompt.informations, QStringList{FirmwareUpgradeController::kConnectedText});
    EXPECT_TRUE(rig.pedal.inBootloader());
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_EVEN);
    EXPECT_TRUE(rig.connection.bootloaderOwnsLine());
    EXPECT_TRUE(rig.modeItem.isChecked());
    EXPECT_TRUE(rig.startItem.isVisible());
    EXPECT_TRUE(rig.startItem.isEnabled());
    EXPECT_TRUE(rig.upgradeMenu.isEnabled());
    EXPECT_FALSE(rig.mainSide.request);
    EXPECT_FALSE(rig.mainSide.upload);
    EXPECT_FALSE(rig.mainSide.editor);
    EXPECT_FALSE(rig.mainSide.tick);
    EXPECT_FALSE(rig.connection.unit().ShowFTErrors);
    ASSERT_TRUE(rig.window().isVisible());
    EXPECT_EQ(rig.window().pos(), QPoint(100, 50 + 420));
    EXPECT_EQ(rig.window().cmbFirmwareChoose->currentText(), "Firmware_5");

    // The upgrade itself, then back to normal operation.
    rig.window().btnUpgradeFirmwareClick();
    EXPECT_TRUE(rig.prompt.informations.contains(TformFirmwareUpgrade::kCompleteText));
    EXPECT_FALSE(rig.pedal.inBootloader());
    EXPECT_FALSE(rig.connection.bootloaderOwnsLine());
    EXPECT_FALSE(rig.modeItem.isChecked());
    EXPECT_FALSE(rig.startItem.isVisible());
    EXPECT_FALSE(rig.startItem.isEnabled());
    EXPECT_TRUE(rig.mainSide.request);
    EXPECT_TRUE(rig.mainSide.upload);
    EXPECT_TRUE(rig.mainSide.tick);
    EXPECT_TRUE(rig.mainSide.editor);
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_NONE);
}

TEST(FirmwareUpgradeController, AFailedConnectionStaysInUpgradeModeAndAsksAgain) {
    ControllerRig rig;
    rig.link();
    // Without B2 held the pedal only restarts its firmware (the default rule).
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_EQ(rig.prompt.informations, QStringList{FirmwareUpgradeController::kConnectFailedText});
    EXPECT_TRUE(rig.connection.bootloaderOwnsLine());
    EXPECT_TRUE(rig.modeItem.isChecked());
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_EVEN);
    EXPECT_FALSE(rig.mainSide.tick);
    EXPECT_FALSE(rig.mainSide.editor);
    EXPECT_FALSE(rig.window().isVisible());

    // Clicking again asks again; this time the button is held.
    rig.pedal.pressAndHoldSave(true);
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_EQ(rig.prompt.confirmations.size(), 2);
    EXPECT_EQ(rig.prompt.informations.last(), FirmwareUpgradeController::kConnectedText);
    EXPECT_TRUE(rig.window().isVisible());
}

TEST(FirmwareUpgradeController, LinkingInUpgradeModeOpensTheWindowAfterTheProbe) {
    ControllerRig rig;
    rig.controller.menuFirmwareUpgradeModeClick();  // unlinked: the flag only
    ASSERT_TRUE(rig.connection.bootloaderOwnsLine());
    rig.pedal.enterBootloader();  // the user started the pedal in its bootloader

    // What linking does in upgrade mode.
    const QString reply = communication::ProbeBootloader();
    ASSERT_EQ(reply, "79");
    rig.controller.bootloaderProbed(true);
    EXPECT_TRUE(rig.startItem.isVisible());
    EXPECT_TRUE(rig.startItem.isEnabled());
    EXPECT_FALSE(rig.mainSide.request);
    EXPECT_FALSE(rig.mainSide.upload);
    EXPECT_FALSE(rig.mainSide.tick);
    EXPECT_FALSE(rig.connection.unit().ShowFTErrors);
    ASSERT_TRUE(rig.window().isVisible());

    rig.window().btnUpgradeFirmwareClick();
    EXPECT_TRUE(rig.prompt.informations.contains(TformFirmwareUpgrade::kCompleteText));
    EXPECT_EQ(rig.pedal.firmwareVersion(), 5);
    EXPECT_TRUE(rig.prompt.confirmations.isEmpty()) << "no backup, nothing to put back";

    // A failed probe changes nothing here (the main window shows its message).
    ControllerRig other;
    other.controller.bootloaderProbed(false);
    EXPECT_FALSE(other.window().isVisible());
    EXPECT_FALSE(other.startItem.isVisible());
}

TEST(FirmwareUpgradeController, ClosingTheWindowReturnsToNormalOrKeepsTheWayBack) {
    struct Case {
        const char* name;
        bool breakTheWrite;
    };
    const Case cases[] = {{"closed with the old firmware", false},
                          {"closed after a failed write", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        rig.link();
        rig.pedal.pressAndHoldSave(true);  // as the question asks
        rig.prompt.answerConfirm(true);
        rig.controller.menuFirmwareUpgradeModeClick();
        ASSERT_TRUE(rig.window().isVisible());
        if (c.breakTheWrite) {
            rig.bootloader().injectFault(VirtualBootloader::Step::WriteData,
                                         VirtualBootloader::Fault::Nack, 20);
            rig.window().btnUpgradeFirmwareClick();
        }
        rig.window().close();
        if (!c.breakTheWrite) {
            EXPECT_EQ(rig.driver.countWrites(kGo), 1);
            EXPECT_FALSE(rig.connection.bootloaderOwnsLine());
            EXPECT_FALSE(rig.modeItem.isChecked());
            EXPECT_TRUE(rig.startItem.isVisible()) << "it stays visible, disabled";
            EXPECT_FALSE(rig.startItem.isEnabled());
            EXPECT_TRUE(rig.mainSide.tick);
            EXPECT_TRUE(rig.mainSide.editor);
            EXPECT_TRUE(rig.mainSide.request);
            continue;
        }
        EXPECT_EQ(rig.driver.countWrites(kGo), 0);
        EXPECT_TRUE(rig.pedal.inBootloader());
        EXPECT_TRUE(rig.connection.bootloaderOwnsLine());
        EXPECT_TRUE(rig.modeItem.isChecked());
        EXPECT_TRUE(rig.startItem.isEnabled());
        // Start Firmware Upgrade opens the window again; the upgrade completes.
        rig.controller.menuStartFirmwareUpgradeClick();
        ASSERT_TRUE(rig.window().isVisible());
        rig.window().btnUpgradeFirmwareClick();
        EXPECT_TRUE(rig.prompt.informations.contains(TformFirmwareUpgrade::kCompleteText));
        EXPECT_FALSE(rig.pedal.inBootloader());
        EXPECT_FALSE(rig.connection.bootloaderOwnsLine());
    }
}

TEST(FirmwareUpgradeController, UpgradeModeIsIgnoredWhileAnUpgradeRuns) {
    ControllerRig rig;
    rig.link();
    rig.pedal.pressAndHoldSave(true);  // as the question asks
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();
    const int questions = static_cast<int>(rig.prompt.confirmations.size());
    int seen = 0;
    rig.driver.beforeWrite = [&](const QByteArray& bytes) {
        if (bytes == hex("31CE") && ++seen == 4) rig.controller.menuFirmwareUpgradeModeClick();
    };
    rig.window().btnUpgradeFirmwareClick();
    // The ignored click asked nothing: only the settings offer after success.
    EXPECT_EQ(rig.prompt.confirmations.mid(questions),
              QStringList{TformFirmwareUpgrade::kRestoreQuestion.arg("Noise Gate")});
    EXPECT_EQ(rig.driver.countWrites(kEnterBootloader), 1);
    EXPECT_TRUE(rig.prompt.informations.contains(TformFirmwareUpgrade::kCompleteText));
}

TEST(FirmwareUpgradeController, DemonstrationDataNeverRestartsRealHardware) {
    ControllerRig rig;
    rig.link();
    rig.driver.kindToShow = DeviceKind::Hardware;
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_TRUE(rig.prompt.confirmations.isEmpty());
    ASSERT_EQ(rig.prompt.informations.size(), 1);
    EXPECT_TRUE(rig.prompt.informations.first().contains("demonstration"));
    EXPECT_TRUE(rig.driver.writes.isEmpty());
    EXPECT_FALSE(rig.connection.bootloaderOwnsLine());
    EXPECT_FALSE(rig.modeItem.isChecked());
    EXPECT_TRUE(rig.mainSide.tick);
}

TEST(FirmwareUpgradeController, UpgradeModeWithThePedalInItsBootloaderSendsNoFirmwareBytes) {
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        ControllerRig rig;
        rig.link();
        // An upgrade broke off: the pedal waits in its (still connected) bootloader.
        rig.pedal.pressAndHoldSave(true);  // as the question asks
        rig.prompt.answerConfirm(true);
        rig.controller.menuFirmwareUpgradeModeClick();
        rig.bootloader().injectFault(VirtualBootloader::Step::WriteData,
                                     VirtualBootloader::Fault::Nack, 20);
        rig.window().btnUpgradeFirmwareClick();
        rig.window().close();
        ASSERT_TRUE(rig.controller.pedalInBootloader());
        rig.driver.writes.clear();
        rig.driver.parities.clear();
        rig.prompt.confirmations.clear();

        rig.prompt.answerConfirm(yes);
        rig.controller.menuFirmwareUpgradeModeClick();
        EXPECT_EQ(rig.prompt.confirmations,
                  QStringList{FirmwareUpgradeController::kInBootloaderQuestion});
        EXPECT_EQ(rig.driver.countWrites(kEnterBootloader), 0);
        EXPECT_EQ(rig.driver.countWrites(kBypassOn), 0);
        EXPECT_FALSE(rig.driver.parities.contains(FT_PARITY_NONE));
        if (!yes) {
            EXPECT_TRUE(rig.driver.writes.isEmpty());
            EXPECT_EQ(rig.connection.unit().FTParity, FT_PARITY_EVEN);
            EXPECT_TRUE(rig.connection.bootloaderOwnsLine()) << "no tick reads the bootloader";
            EXPECT_FALSE(rig.mainSide.tick);
            EXPECT_FALSE(rig.modeItem.isChecked());
            EXPECT_TRUE(rig.startItem.isEnabled()) << "the way back stays open";
            continue;
        }
        // The bootloader took 7F as a command byte; the client found it all the same.
        EXPECT_EQ(rig.driver.writes.first(), hex("7F"));
        EXPECT_EQ(rig.driver.countWrites(hex("00FF")), 1);
        ASSERT_TRUE(rig.window().isVisible());
        rig.window().btnUpgradeFirmwareClick();
        EXPECT_TRUE(rig.prompt.informations.contains(TformFirmwareUpgrade::kCompleteText));
        EXPECT_FALSE(rig.pedal.inBootloader());
        EXPECT_FALSE(rig.controller.pedalInBootloader());
    }
}

TEST(FirmwareUpgradeController, APedalFoundInItsBootloaderIsOfferedTheLastImageWritten) {
    ControllerRig rig;
    ASSERT_TRUE(firmware::rememberLastImage(settings::zendalFolder(),
                                            firmware::RememberedImage{"Firmware_4", {}, 4}));
    rig.controller.menuFirmwareUpgradeModeClick();  // unlinked: the flag only
    rig.pedal.enterBootloader();
    ASSERT_EQ(communication::ProbeBootloader(), "79");
    rig.controller.bootloaderProbed(true);
    ASSERT_TRUE(rig.window().isVisible());
    EXPECT_EQ(rig.window().imageName(), "Firmware_4");
    EXPECT_EQ(rig.window().sequence().flashState(), firmware::FlashState::Unknown);
    EXPECT_TRUE(rig.controller.pedalInBootloader());
}

TEST(FirmwareUpgradeController, QuittingWhileAnUpgradeRunsAsksFirst) {
    ControllerRig rig;
    EXPECT_TRUE(rig.controller.confirmQuit());
    EXPECT_TRUE(rig.prompt.confirmations.isEmpty()) << "nothing runs: no question";

    rig.link();
    rig.pedal.pressAndHoldSave(true);  // as the question asks
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();
    std::optional<bool> stay, leave;
    int seen = 0;
    rig.driver.beforeWrite = [&](const QByteArray& bytes) {
        if (bytes != hex("31CE")) return;
        ++seen;
        if (seen == 10) {
            rig.prompt.answerConfirm(false);
            stay = rig.controller.confirmQuit();
        } else if (seen == 20) {
            rig.prompt.answerConfirm(true);
            leave = rig.controller.confirmQuit();
        }
    };
    rig.window().btnUpgradeFirmwareClick();
    ASSERT_TRUE(stay && leave);
    EXPECT_FALSE(*stay);
    EXPECT_TRUE(*leave);
    EXPECT_EQ(rig.prompt.confirmations.last(), FirmwareUpgradeController::kQuitQuestion);
    // Quitting stops the upgrade at the next step and never starts half an image.
    EXPECT_EQ(rig.driver.countWrites(kGo), 0);
    EXPECT_TRUE(rig.pedal.inBootloader());
}

TEST(FirmwareUpgradeController, BacksUpThePedalBeforeItsBootloaderAndNamesTheFolder) {
    ControllerRig rig;
    rig.link();
    rig.pedal.turnKnob(0, 1, 700);  // settings of its own on the pedal
    rig.connection.unit().PurgeFTReceive();
    rig.pedal.pressAndHoldSave(true);  // as the question asks
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();

    // Read while the firmware ran, before the restart into the bootloader.
    const int restart = static_cast<int>(rig.driver.writes.indexOf(kEnterBootloader));
    ASSERT_GT(restart, 0);
    const QList<QByteArray> before = rig.driver.writes.mid(0, restart);
    EXPECT_TRUE(before.contains(hex("0600")));
    EXPECT_TRUE(before.contains(hex("0C5000000000")));
    EXPECT_TRUE(before.contains(hex("0C5100000000")));

    const firmware::UpgradeBackup backup = rig.window().backup();
    ASSERT_TRUE(backup.complete()) << backup.problems.join("; ").toStdString();
    EXPECT_TRUE(backup.folder.startsWith(settings::zendalFolder() + "/Backup "));
    EXPECT_EQ(backup.firmware, 5);
    const QDir dir(backup.folder);
    EXPECT_EQ(dir.entryList(QDir::Files, QDir::Name),
              (QStringList{"Noise Gate.txt", "device-info.txt", "eeprom-50.bin", "eeprom-51.bin",
                           "manifest.txt"}));
    EXPECT_EQ(QFileInfo(dir.filePath("eeprom-50.bin")).size(), 16384);
    QFile info(dir.filePath("device-info.txt"));
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    EXPECT_TRUE(info.readAll().startsWith("effect: 38\nversion: 1\nfirmware: 5\n"));
    EXPECT_TRUE(rig.window().lblBackup->isVisible());
    EXPECT_EQ(rig.window().lblBackup->text(), "Settings backed up");
    EXPECT_TRUE(rig.window().lblBackup->toolTip().contains(backup.folder));

    // After Go: old and new firmware, verified, and where the backup is.
    rig.window().chooseImage("Firmware_4");
    rig.window().btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.prompt.informations.last(), TformFirmwareUpgrade::kResultText.arg("5")
                                                  .arg(4)
                                                  .arg("read back and verified")
                                                  .arg(backup.folder));
    EXPECT_EQ(rig.pedal.firmwareVersion(), 4);
}

TEST(FirmwareUpgradeController, OffersTheEffectsSettingsFromTheBackupWhenTheEffectIsStillThere) {
    struct Case {
        const char* name;
        // Runs between the backup and the restart: what the upgrade does to the pedal.
        std::function<void(ControllerRig&)> change;
        bool yes;
        enum { NoOffer, Offer, VersionNote, Refused } expected;
    };
    auto knob = [](ControllerRig& r) { r.pedal.turnKnob(0, 1, 100); };
    const Case cases[] = {
        {"same effect, Yes", knob, true, Case::Offer},
        {"same effect, No", knob, false, Case::Offer},
        {"another effect", [](ControllerRig& r) { r.pedal.setEffect(0x27, 1); }, true,
         Case::NoOffer},
        {"same effect, another version", [](ControllerRig& r) { r.pedal.setEffect(0x26, 2); }, true,
         Case::VersionNote},
        {"the backup's file cut short",
         [knob](ControllerRig& r) {
             knob(r);
             QFile file(r.window().backup().presetFile);
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             file.resize(40);
         },
         true, Case::Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        rig.link();
        // Where the effect keeps its parameters: parameter i at 4 * i.
        VirtualPedal::AddressTable addresses{};
        for (int i = 0; i < 16; ++i) addresses[std::size_t(i)] = quint16(4 * i);
        rig.pedal.setAddressTable(0x26, addresses);
        rig.pedal.turnKnob(0, 1, 700);  // the user's own setting, kept by the backup
        rig.connection.unit().PurgeFTReceive();
        rig.driver.beforeWrite = [&](const QByteArray& bytes) {
            if (bytes == kBypassOn) c.change(rig);
        };
        rig.pedal.pressAndHoldSave(true);
        rig.prompt.answerConfirm(true);
        rig.controller.menuFirmwareUpgradeModeClick();
        const firmware::UpgradeBackup backup = rig.window().backup();
        ASSERT_EQ(backup.presetFile, backup.folder + "/Noise Gate.txt");
        const bool changed = c.expected == Case::Offer || c.expected == Case::Refused;
        ASSERT_EQ(rig.pedal.settings(0x26).values[1] >> 13, changed ? 100u : 700u);

        rig.prompt.answerConfirm(c.yes);
        rig.window().btnUpgradeFirmwareClick();
        ASSERT_EQ(rig.pedal.firmwareVersion(), 5);
        const QByteArray deviceInfo = hex("0600");
        const QList<QByteArray> afterInfo =
            rig.driver.writes.mid(rig.driver.writes.lastIndexOf(deviceInfo) + 1);

        if (c.expected == Case::NoOffer || c.expected == Case::VersionNote) {
            EXPECT_EQ(rig.prompt.confirmations.size(), 1) << "only the question to enter";
            EXPECT_TRUE(afterInfo.isEmpty());
            if (c.expected == Case::VersionNote) {
                EXPECT_EQ(rig.prompt.informations.last(),
                          TformFirmwareUpgrade::kVersionChangedText.arg("Noise Gate")
                              .arg(1)
                              .arg(2)
                              .arg(backup.presetFile));
            }
            continue;
        }
        EXPECT_EQ(rig.prompt.confirmations.last(),
                  TformFirmwareUpgrade::kRestoreQuestion.arg("Noise Gate"));
        if (c.expected == Case::Refused) {
            // The preset load's own check names the fault; nothing goes out.
            const QString said = rig.prompt.informations.last();
            EXPECT_NE(said, TformFirmwareUpgrade::kRestoredText.arg(backup.presetFile));
            EXPECT_FALSE(said.startsWith("Firmware 5")) << "the refusal is said";
            EXPECT_TRUE(afterInfo.isEmpty());
            continue;
        }
        if (!c.yes) {
            EXPECT_TRUE(afterInfo.isEmpty()) << "No sends nothing";
            EXPECT_EQ(rig.pedal.settings(0x26).values[1] >> 13, 100u);
            continue;
        }
        EXPECT_EQ(rig.prompt.informations.last(),
                  TformFirmwareUpgrade::kRestoredText.arg(backup.presetFile));
        // Every value the backup held is on the pedal again.
        QString text, error;
        ASSERT_TRUE(preset::readPresetFile(backup.presetFile, &text, &error));
        TControlDescriptor d;
        ASSERT_TRUE(loadEffectDescriptor("Noise Gate", &d, &error));
        const auto held = preset::readBody(text, d, &error);
        ASSERT_TRUE(held.has_value()) << error.toStdString();
        rig.settle();
        for (int i = 0; i < d.param_count; ++i)
            EXPECT_EQ(qint64(rig.pedal.settings(0x26).values[std::size_t(i)] >> 13),
                      qint64(held->values[i]))
                << "parameter " << i;
        ASSERT_FALSE(afterInfo.isEmpty());
        EXPECT_EQ(afterInfo.first().at(0), 0x02) << "the pedal's present settings asked first";
    }
}

TEST(FirmwareUpgradeBackup, SavesWhatCanBeReadAndNamesTheRest) {
    struct Case {
        const char* name;
        std::function<void(VirtualPedal&)> setUp;
        QStringList saved;
        QStringList problemsStartWith;
    };
    const Case cases[] = {
        {"an empty pedal has no effect to save",
         [](VirtualPedal& p) { p.setEffect(0, 1); },
         {"device-info.txt", "eeprom-50.bin", "eeprom-51.bin", "manifest.txt"},
         {}},
        {"no EEPROM answers",
         [](VirtualPedal& p) { p.setSilentOn(0x0C); },
         {"device-info.txt", "Noise Gate.txt", "manifest.txt"},
         {"EEPROM 50: ", "EEPROM 51: "}},
        {"no device information: the memories are not waited for",
         [](VirtualPedal& p) { p.setSilentOn(0x06); },
         {},
         {"device information: no answer", "EEPROM 50: not read", "EEPROM 51: not read"}},
        {"no settings record",
         [](VirtualPedal& p) { p.setSilentOn(0x02); },
         {"device-info.txt", "eeprom-50.bin", "eeprom-51.bin", "manifest.txt"},
         {"the effect's settings: "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareRig rig(/*inBootloader=*/false);
        c.setUp(rig.pedal);
        const QDateTime when(QDate(2026, 12, 10), QTime(15, 20, 5));
        const firmware::UpgradeBackup b =
            firmware::backUpPedal(rig.connection, rig.home.path(), when);
        EXPECT_EQ(b.folder, rig.home.path() + "/Backup 2026-12-10 15-20-05");
        EXPECT_EQ(b.saved, c.saved);
        ASSERT_EQ(b.problems.size(), c.problemsStartWith.size())
            << b.problems.join("; ").toStdString();
        for (int i = 0; i < b.problems.size(); ++i)
            EXPECT_TRUE(b.problems[i].startsWith(c.problemsStartWith[i]))
                << b.problems[i].toStdString();
        // A second backup in the same second gets a folder of its own.
        EXPECT_EQ(firmware::backupFolderName(rig.home.path(), when),
                  rig.home.path() + "/Backup 2026-12-10 15-20-06");
    }
}
