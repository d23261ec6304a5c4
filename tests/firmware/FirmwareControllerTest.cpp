#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QMenu>

#include "FirmwareRig.h"
#include "QtPrinters.h"
#include "RecordingHooks.h"
#include "core/EditorState.h"
#include "firmware/ui/FirmwareUpgradeController.h"
#include "firmware/ui/TformFirmwareUpgrade.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "protocol/Messages.h"
#include "support/ScriptedPrompt.h"

using namespace zendal;
using zendal::test::FirmwareRig;
using zendal::test::RecordingHooks;
using zendal::test::ScriptedPrompt;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

const QByteArray kBypassOn = hex("0D01");
const QByteArray kEnterBootloader = hex("0500010203040506");
const QByteArray kGo = hex("21DE");

// The main window's menu items and hooks around the controller, with the
// pedal running its firmware on the other end of the link.
struct ControllerRig : FirmwareRig {
    ScriptedPrompt prompt;
    RecordingHooks hooks;
    QWidget mainWindow;
    QAction modeItem{"Upgrade Mode"};
    QAction startItem{"Start Firmware Upgrade"};
    QMenu upgradeMenu{"Firmware Upgrade"};
    FirmwareUpgradeController controller;

    ControllerRig()
        : FirmwareRig(/*inBootloader=*/false),
          controller(
              &hooks, &modeItem, &startItem, &upgradeMenu,
              [](bool on) { SendHexMessage(messages::bypass(on)); }, &mainWindow) {
        modeItem.setCheckable(true);
        startItem.setVisible(false);
        startItem.setEnabled(false);
        d2xx().ShowFTErrors = true;
    }
    TformFirmwareUpgrade& window() { return *controller.window(); }
    void link() { editorState().Linked = true; }
};

}  // namespace

TEST(FirmwareUpgradeController, BeforeAnyLinkTheItemOnlyTogglesTheFlag) {
    ControllerRig rig;
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_TRUE(editorState().UpgradeMode);
    EXPECT_TRUE(rig.modeItem.isChecked());
    EXPECT_FALSE(rig.hooks.tick);
    EXPECT_TRUE(rig.prompt.all().isEmpty());
    EXPECT_TRUE(rig.driver.writes.isEmpty());

    // Qt ticks a checkable item itself before the handler runs; the handler
    // still toggles from its own state.
    rig.modeItem.setChecked(false);
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_FALSE(editorState().UpgradeMode);
    EXPECT_FALSE(rig.modeItem.isChecked());
}

TEST(FirmwareUpgradeController, NoLeavesUpgradeModeWithTheEffectInBypass) {
    ControllerRig rig;
    rig.link();
    rig.prompt.answerConfirm(false);
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_EQ(rig.prompt.confirmations, QStringList{FirmwareUpgradeController::kEnterQuestion});
    EXPECT_EQ(rig.driver.writes, QList<QByteArray>{kBypassOn});
    EXPECT_FALSE(editorState().UpgradeMode);
    EXPECT_FALSE(rig.modeItem.isChecked());
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_NONE);
    EXPECT_TRUE(rig.hooks.tick);
    EXPECT_TRUE(rig.hooks.editor);
    EXPECT_TRUE(d2xx().ShowFTErrors);
    EXPECT_TRUE(rig.pedal.bypass());
    EXPECT_FALSE(rig.window().isVisible());
}

TEST(FirmwareUpgradeController, YesRestartsThePedalIntoItsBootloaderAndOpensTheWindow) {
    ControllerRig rig;
    rig.link();
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();

    EXPECT_EQ(rig.driver.writes, (QList<QByteArray>{kBypassOn, kEnterBootloader, hex("7F")}));
    EXPECT_EQ(rig.prompt.informations, QStringList{FirmwareUpgradeController::kConnectedText});
    EXPECT_TRUE(rig.pedal.inBootloader());
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_EVEN);
    EXPECT_TRUE(editorState().UpgradeMode);
    EXPECT_TRUE(rig.modeItem.isChecked());
    EXPECT_TRUE(rig.startItem.isVisible());
    EXPECT_TRUE(rig.startItem.isEnabled());
    EXPECT_TRUE(rig.upgradeMenu.isEnabled());
    EXPECT_FALSE(rig.hooks.request);
    EXPECT_FALSE(rig.hooks.upload);
    EXPECT_FALSE(rig.hooks.editor);
    EXPECT_FALSE(rig.hooks.tick);
    EXPECT_FALSE(d2xx().ShowFTErrors);
    ASSERT_TRUE(rig.window().isVisible());
    EXPECT_EQ(rig.window().pos(), QPoint(100, 50 + 420));
    EXPECT_EQ(rig.window().cmbFirmwareChoose->currentText(), "Firmware_5");

    // The upgrade itself, then back to normal operation.
    rig.window().btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.prompt.informations.last(), TformFirmwareUpgrade::kCompleteText);
    EXPECT_FALSE(rig.pedal.inBootloader());
    EXPECT_FALSE(editorState().UpgradeMode);
    EXPECT_FALSE(rig.modeItem.isChecked());
    EXPECT_FALSE(rig.startItem.isVisible());
    EXPECT_FALSE(rig.startItem.isEnabled());
    EXPECT_TRUE(rig.hooks.request);
    EXPECT_TRUE(rig.hooks.upload);
    EXPECT_TRUE(rig.hooks.tick);
    EXPECT_TRUE(rig.hooks.editor);
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_NONE);
}

TEST(FirmwareUpgradeController, AFailedConnectionStaysInUpgradeModeAndAsksAgain) {
    ControllerRig rig;
    rig.link();
    // Without B2 held the pedal only restarts its firmware.
    rig.pedal.setRequireSaveHeld(true);
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_EQ(rig.prompt.informations, QStringList{FirmwareUpgradeController::kConnectFailedText});
    EXPECT_TRUE(editorState().UpgradeMode);
    EXPECT_TRUE(rig.modeItem.isChecked());
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_EVEN);
    EXPECT_FALSE(rig.hooks.tick);
    EXPECT_FALSE(rig.hooks.editor);
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
    ASSERT_TRUE(editorState().UpgradeMode);
    rig.pedal.enterBootloader();  // the user started the pedal in its bootloader

    // What linking does in upgrade mode.
    const QString reply = communication::ProbeBootloader();
    ASSERT_EQ(reply, "79");
    rig.controller.bootloaderProbed(true);
    EXPECT_TRUE(rig.startItem.isVisible());
    EXPECT_TRUE(rig.startItem.isEnabled());
    EXPECT_FALSE(rig.hooks.request);
    EXPECT_FALSE(rig.hooks.upload);
    EXPECT_FALSE(rig.hooks.tick);
    EXPECT_FALSE(d2xx().ShowFTErrors);
    ASSERT_TRUE(rig.window().isVisible());

    rig.window().btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.prompt.informations.last(), TformFirmwareUpgrade::kCompleteText);
    EXPECT_EQ(rig.pedal.firmwareVersion(), 5);

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
            EXPECT_FALSE(editorState().UpgradeMode);
            EXPECT_FALSE(rig.modeItem.isChecked());
            EXPECT_TRUE(rig.startItem.isVisible()) << "it stays visible, disabled";
            EXPECT_FALSE(rig.startItem.isEnabled());
            EXPECT_TRUE(rig.hooks.tick);
            EXPECT_TRUE(rig.hooks.editor);
            EXPECT_TRUE(rig.hooks.request);
            continue;
        }
        EXPECT_EQ(rig.driver.countWrites(kGo), 0);
        EXPECT_TRUE(rig.pedal.inBootloader());
        EXPECT_TRUE(editorState().UpgradeMode);
        EXPECT_TRUE(rig.modeItem.isChecked());
        EXPECT_TRUE(rig.startItem.isEnabled());
        // Start Firmware Upgrade opens the window again; the upgrade completes.
        rig.controller.menuStartFirmwareUpgradeClick();
        ASSERT_TRUE(rig.window().isVisible());
        rig.window().btnUpgradeFirmwareClick();
        EXPECT_EQ(rig.prompt.informations.last(), TformFirmwareUpgrade::kCompleteText);
        EXPECT_FALSE(rig.pedal.inBootloader());
        EXPECT_FALSE(editorState().UpgradeMode);
    }
}

TEST(FirmwareUpgradeController, UpgradeModeIsIgnoredWhileAnUpgradeRuns) {
    ControllerRig rig;
    rig.link();
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();
    const int questions = static_cast<int>(rig.prompt.confirmations.size());
    int seen = 0;
    rig.driver.beforeWrite = [&](const QByteArray& bytes) {
        if (bytes == hex("31CE") && ++seen == 4) rig.controller.menuFirmwareUpgradeModeClick();
    };
    rig.window().btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.prompt.confirmations.size(), questions);
    EXPECT_EQ(rig.driver.countWrites(kEnterBootloader), 1);
    EXPECT_EQ(rig.prompt.informations.last(), TformFirmwareUpgrade::kCompleteText);
}

TEST(FirmwareUpgradeController, DemonstrationDataNeverRestartsRealHardware) {
    ControllerRig rig;
    rig.link();
    rig.driver.kind = DeviceKind::Hardware;
    rig.prompt.answerConfirm(true);
    rig.controller.menuFirmwareUpgradeModeClick();
    EXPECT_TRUE(rig.prompt.confirmations.isEmpty());
    ASSERT_EQ(rig.prompt.informations.size(), 1);
    EXPECT_TRUE(rig.prompt.informations.first().contains("demonstration"));
    EXPECT_TRUE(rig.driver.writes.isEmpty());
    EXPECT_FALSE(editorState().UpgradeMode);
    EXPECT_FALSE(rig.modeItem.isChecked());
    EXPECT_TRUE(rig.hooks.tick);
}
