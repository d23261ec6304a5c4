#include <gtest/gtest.h>

#include <QComboBox>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>

#include "FirmwareRig.h"
#include "QtPrinters.h"
#include "firmware/LastImage.h"
#include "firmware/ui/TformFirmwareUpgrade.h"
#include "link/D2XXUnit.h"
#include "shell/SettingsFiles.h"
#include "support/ScriptedPrompt.h"

using namespace zendal;
using namespace zendal::firmware;
using zendal::test::FirmwareRig;
using zendal::test::ScriptedPrompt;
using BStep = zendal::VirtualBootloader::Step;
using BFault = zendal::VirtualBootloader::Fault;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

const QByteArray kGo = hex("21DE");

// The upgrade window open on a pedal whose bootloader is connected.
struct WindowRig : FirmwareRig {
    ScriptedPrompt prompt;
    TformFirmwareUpgrade window{connection};
    int completed = 0;
    int restored = 0;
    int kept = 0;

    WindowRig() {
        QObject::connect(&window, &TformFirmwareUpgrade::upgradeCompleted, [this] { ++completed; });
        QObject::connect(&window, &TformFirmwareUpgrade::restored, [this] { ++restored; });
        QObject::connect(&window, &TformFirmwareUpgrade::leftInBootloader, [this] { ++kept; });
        EXPECT_TRUE(window.sequence().client().connect());
        window.show();
        driver.writes.clear();
        clearLog();
    }
    // The n-th (1-based) write of frame runs action first.
    void atWrite(const QByteArray& frame, int n, std::function<void()> action) {
        auto seen = std::make_shared<int>(0);
        driver.beforeWrite = [=](const QByteArray& bytes) {
            if (bytes == frame && ++*seen == n) action();
        };
    }
    void choose(const QString& name) {
        window.cmbFirmwareChoose->setCurrentIndex(window.cmbFirmwareChoose->findText(name));
    }
};

const QString kFailedAtWrite10 = QStringLiteral(
    "Firmware upgrade failed: Write Memory at 0x08000900: not acknowledged (1F).\nThe pedal "
    "stays in its bootloader. Click Upgrade Firmware to try again.");

}  // namespace

TEST(FirmwareUpgradeWindow, OffersOnlyTheLastTwoImagesAndChoosesFirmware5WhenShown) {
    FirmwareRig rig;
    TformFirmwareUpgrade window{rig.connection};
    EXPECT_EQ(window.windowTitle(), "Firmware Upgrade");
    EXPECT_EQ(window.size(), QSize(160, 144));
    EXPECT_EQ(window.btnUpgradeFirmware->text(), "Upgrade Firmware");
    EXPECT_EQ(window.ProgressBar1->value(), 0);
    ASSERT_EQ(window.cmbFirmwareChoose->count(), 5);
    auto* view = qobject_cast<QListView*>(window.cmbFirmwareChoose->view());
    ASSERT_NE(view, nullptr);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(window.cmbFirmwareChoose->itemText(i), QStringLiteral("Firmware_%1").arg(i + 1));
        EXPECT_EQ(view->isRowHidden(i), i < 3);
    }

    window.cmbFirmwareChoose->setCurrentIndex(3);
    rig.clearLog();
    window.show();
    EXPECT_EQ(window.imageName(), "Firmware_5");
    EXPECT_EQ(window.variant(), 5);
    EXPECT_EQ(rig.log(), (QStringList{"Firmware Version: 5", "Firmware_5"}));

    rig.clearLog();
    window.cmbFirmwareChoose->setCurrentIndex(3);
    EXPECT_EQ(window.variant(), 4);
    EXPECT_EQ(rig.log(), (QStringList{"Firmware Version: 4", "Firmware_4"}));

    // Minimised and restored, or closed and opened again: the choice stays.
    for (int i = 0; i < 2; ++i) {
        window.hide();
        window.show();
        EXPECT_EQ(window.imageName(), "Firmware_4");
        EXPECT_EQ(window.variant(), 4);
    }
}

TEST(FirmwareUpgradeWindow, OpenedForRecoveryKeepsTheImageChosenForIt) {
    FirmwareRig rig;
    TformFirmwareUpgrade window{rig.connection};
    ASSERT_TRUE(window.chooseImage("firmware_4"));
    EXPECT_FALSE(window.chooseImage("Firmware_9"));
    window.show();
    EXPECT_EQ(window.imageName(), "Firmware_4");
    EXPECT_EQ(window.variant(), 4);
}

TEST(FirmwareUpgradeWindow, UpgradeWritesTheChosenImageThenRestartsThePedal) {
    WindowRig rig;
    rig.choose("Firmware_4");
    std::optional<std::pair<int, int>> barDuringWrite;
    rig.atWrite(hex("31CE"), 100, [&] {
        barDuringWrite = {rig.window.ProgressBar1->maximum(), rig.window.ProgressBar1->value()};
        EXPECT_FALSE(rig.window.btnUpgradeFirmware->isEnabled());
    });
    rig.window.btnUpgradeFirmwareClick();

    EXPECT_EQ(rig.prompt.all(), QStringList{TformFirmwareUpgrade::kCompleteText});
    ASSERT_TRUE(barDuringWrite.has_value());
    EXPECT_EQ(*barDuringWrite, std::make_pair(162, 99));
    EXPECT_EQ(rig.bootloader().flash().left(41356), FirmwareRig::image("Firmware_4"));
    EXPECT_EQ(rig.bootloader().flash().mid(0x1FC00, 8), hex("0000000000000004"));
    EXPECT_EQ(rig.driver.countWrites(kGo), 1);
    EXPECT_FALSE(rig.pedal.inBootloader());
    EXPECT_EQ(rig.pedal.firmwareVersion(), 4);
    EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_NONE);
    EXPECT_TRUE(rig.connection.unit().ShowFTErrors);
    EXPECT_FALSE(rig.window.isVisible());
    EXPECT_TRUE(rig.window.btnUpgradeFirmware->isEnabled());
    EXPECT_EQ(rig.window.ProgressBar1->value(), 0);
    EXPECT_EQ(rig.completed, 1);
    EXPECT_TRUE(rig.log().contains("********************FIRMWARE UPGRADE********************"));
    // Remembered for a recovery.
    const auto last = lastImage(settings::zendalFolder());
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->catalogueName, "Firmware_4");
}

TEST(FirmwareUpgradeWindow, APedalThatDoesNotComeBackAfterGoGetsTheRecoveryRoute) {
    WindowRig rig;
    rig.pedal.setSilentOn(0x06);  // the new firmware never answers
    rig.window.btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.prompt.all(), (QStringList{TformFirmwareUpgrade::kCompleteText,
                                             TformFirmwareUpgrade::kNotBackText}));
    EXPECT_FALSE(rig.pedal.inBootloader());
    EXPECT_GE(rig.driver.countWrites(hex("0600")), 2) << "asked until the limit";
    EXPECT_EQ(rig.completed, 1);
}

TEST(FirmwareUpgradeWindow, WithoutReadBackTheCompletionSaysItWasNotVerified) {
    WindowRig rig;
    // A bootloader that refuses every read (as under read protection).
    rig.bootloader().injectFault(BStep::Read, BFault::Nack, 0);
    rig.window.btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.prompt.all(), QStringList{TformFirmwareUpgrade::kUnverifiedCompleteText});
    EXPECT_EQ(rig.bootloader().flash().left(41712), FirmwareRig::image("Firmware_5"));
    // Written whole in this session, so it may start although nothing was read.
    EXPECT_EQ(rig.driver.countWrites(kGo), 1);
    EXPECT_EQ(rig.completed, 1);
}

TEST(FirmwareUpgradeWindow, AFailedStepIsNamedAndTheSameWindowTriesAgain) {
    WindowRig rig;
    rig.bootloader().injectFault(BStep::WriteCommand, BFault::Nack, 10);
    rig.window.btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.prompt.all(), QStringList{kFailedAtWrite10});
    EXPECT_EQ(rig.driver.countWrites(kGo), 0);
    EXPECT_TRUE(rig.pedal.inBootloader());
    EXPECT_TRUE(rig.window.isVisible());
    EXPECT_TRUE(rig.window.btnUpgradeFirmware->isEnabled());
    EXPECT_EQ(rig.completed, 0);

    rig.window.btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.prompt.all(),
              (QStringList{kFailedAtWrite10, TformFirmwareUpgrade::kCompleteText}));
    EXPECT_EQ(rig.driver.countWrites(kGo), 1);
    EXPECT_EQ(rig.pedal.firmwareVersion(), 5);
    EXPECT_EQ(rig.completed, 1);
}

TEST(FirmwareUpgradeWindow, ClosingStartsThePedalOnlyWhenItsFlashIsWhole) {
    struct Case {
        const char* name;
        std::function<void(WindowRig&)> before;  // what happened before the close
        bool go;
    };
    const Case cases[] = {
        {"closed without upgrading", [](WindowRig&) {}, true},
        {"closed after a failed write",
         [](WindowRig& r) {
             r.bootloader().injectFault(BStep::WriteData, BFault::Silence, 7);
             r.window.btnUpgradeFirmwareClick();
         },
         false},
        {"closed after a failed query, before anything was erased",
         [](WindowRig& r) {
             r.bootloader().injectFault(BStep::Get, BFault::Nack, 1);
             r.window.btnUpgradeFirmwareClick();
         },
         true},
        {"found in its bootloader with a whole image",
         [](WindowRig& r) { r.window.sequence().flashUnknown(); }, true},
        {"found in its bootloader with half an image",
         [](WindowRig& r) {
             r.window.sequence().flashUnknown();
             r.bootloader().flash().replace(0x1FC00, 8, QByteArray(8, char(0xFF)));
         },
         false},
        {"found in its bootloader with an erased flash",
         [](WindowRig& r) {
             r.window.sequence().flashUnknown();
             r.bootloader().flash().fill(char(0xFF));
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        c.before(rig);
        rig.prompt.informations.clear();
        rig.window.close();
        EXPECT_FALSE(rig.window.isVisible());
        EXPECT_EQ(rig.driver.countWrites(kGo), c.go ? 1 : 0);
        EXPECT_EQ(rig.pedal.inBootloader(), !c.go);
        if (c.go) {
            EXPECT_TRUE(rig.prompt.informations.isEmpty());
            EXPECT_EQ(rig.driver.writes.mid(rig.driver.writes.size() - 2),
                      (QList<QByteArray>{kGo, hex("0800000008")}));
            EXPECT_EQ(rig.driver.parities.last(), FT_PARITY_NONE);
            EXPECT_TRUE(rig.connection.unit().ShowFTErrors);
            EXPECT_EQ(rig.restored, 1);
        } else {
            EXPECT_EQ(rig.prompt.informations,
                      QStringList{TformFirmwareUpgrade::kIncompleteKeptText});
            EXPECT_EQ(rig.kept, 1);
            EXPECT_EQ(rig.restored, 0);
        }
    }
}

TEST(FirmwareUpgradeWindow, ClosingMidSequenceStopsWithoutStartingAHalfWrittenImage) {
    WindowRig rig;
    rig.atWrite(hex("31CE"), 6, [&] { rig.window.close(); });
    rig.window.btnUpgradeFirmwareClick();
    EXPECT_FALSE(rig.window.isVisible());
    // The write under way when the window closed is finished, nothing after it.
    EXPECT_EQ(rig.driver.countWrites(hex("31CE")), 6);
    EXPECT_EQ(rig.driver.countWrites(kGo), 0);
    EXPECT_TRUE(rig.pedal.inBootloader());
    EXPECT_EQ(rig.prompt.all(), QStringList{TformFirmwareUpgrade::kIncompleteKeptText});
    EXPECT_EQ(rig.kept, 1);
    EXPECT_EQ(rig.completed, 0);

    // Shown again, the same window writes the image whole.
    rig.driver.beforeWrite = nullptr;
    rig.window.show();
    rig.window.btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.completed, 1);
    EXPECT_EQ(rig.pedal.firmwareVersion(), 5);
}

TEST(FirmwareUpgradeWindow, ASecondClickWhileRunningStartsNothing) {
    WindowRig rig;
    rig.atWrite(hex("31CE"), 3, [&] { rig.window.btnUpgradeFirmwareClick(); });
    rig.window.btnUpgradeFirmwareClick();
    EXPECT_EQ(rig.driver.countWrites(hex("43BC")), 1);
    EXPECT_EQ(rig.prompt.all(), QStringList{TformFirmwareUpgrade::kCompleteText});
}

TEST(FirmwareUpgradeWindow, OffersToSaveThePresetFirstWhenTheMainWindowCan) {
    struct Case {
        const char* name;
        bool hook;
        bool answer;
        bool saved;
    };
    const Case cases[] = {
        {"yes saves before anything is sent", true, true, true},
        {"no goes on without saving", true, false, false},
        {"without a hook nothing is asked", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        int saved = 0;
        int writesWhenSaved = -1;
        if (c.hook) {
            rig.window.savePresetOffer = [&] {
                ++saved;
                writesWhenSaved = static_cast<int>(rig.driver.writes.size());
            };
        }
        rig.prompt.answerConfirm(c.answer);
        rig.window.btnUpgradeFirmwareClick();
        EXPECT_EQ(rig.prompt.confirmations,
                  c.hook ? QStringList{TformFirmwareUpgrade::kSavePresetQuestion} : QStringList{});
        EXPECT_EQ(saved, c.saved ? 1 : 0);
        if (c.saved) {
            EXPECT_EQ(writesWhenSaved, 0);
        }
        EXPECT_EQ(rig.completed, 1);
    }
}

TEST(FirmwareUpgradeWindow, DemonstrationFirmwareIsRefusedOnRealHardware) {
    WindowRig rig;
    rig.driver.kind = DeviceKind::Hardware;
    rig.window.savePresetOffer = [] {};
    rig.window.btnUpgradeFirmwareClick();
    ASSERT_EQ(rig.prompt.all().size(), 1);
    EXPECT_TRUE(rig.prompt.informations.first().contains("demonstration"));
    EXPECT_TRUE(rig.driver.writes.isEmpty());
    EXPECT_TRUE(rig.window.isVisible());
    EXPECT_EQ(rig.bootloader().flashedFirmwareVersion(), 5) << "the pedal's firmware untouched";
}
