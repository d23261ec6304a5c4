// Discovery, Scan and Link, Unlink, and the first exchange with the pedal.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "MainWindowFixture.h"
#include "core/Log.h"
#include "firmware/BootloaderClient.h"
#include "firmware/ui/FirmwareUpgradeController.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "link/DeviceHub.h"
#include "link/TermiosDriver.h"
#include "protocol/DeviceController.h"

namespace zendal::test {
namespace {

class MainWindowLink : public MainWindowTest {};

TEST_F(MainWindowLink, DiscoveryShowsEveryDeviceWithoutLinking) {
    const struct {
        const char* secondDescription;
        const char* label;
    } cases[] = {
        {"USB Serial Adapter", "USB Serial Adapter"},
        {"FT230X Basic UART", "Zendal"},
        {"FT230X Basic UART ", "FT230X Basic UART "},  // only the exact text is the pedal
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.secondDescription);
        VirtualPedal other;
        VirtualPedalDriver otherDriver(other, "ZVP00002", c.secondDescription);
        DeviceHub hub;
        hub.addBackend(pedalDriver.get(), QStringLiteral("first"));
        hub.addBackend(&otherDriver, QStringLiteral("second"));
        d2xx().setDriver(&hub);
        createWindows();
        EXPECT_EQ(item("menuSerialNumber")->text(),
                  QStringLiteral("Device Serial: ZVP00001ZVP00002"));
        EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(), QLatin1String(c.label));
        EXPECT_FALSE(d2xx().isOpen());
        EXPECT_TRUE(prompt->all().isEmpty());
        destroyWindows();
        d2xx().setDriver(driver.get());
    }
}

TEST_F(MainWindowLink, NoDeviceFound) {
    d2xx().setDriver(nullptr);
    createWindows();
    EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(), QStringLiteral("Device Name: "));
    EXPECT_EQ(item("menuSerialNumber")->text(), QStringLiteral("Device Serial: "));
    scanAndLink();
    EXPECT_EQ(prompt->informations, QStringList{"No device found"});
    EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(), QStringLiteral("No device found"));
    EXPECT_TRUE(logHas(QStringLiteral("FT device count: 0")));
    EXPECT_TRUE(item("menuScan")->isEnabled());
}

// A pseudo-terminal held by another program, locked the way such a program
// locks the pedal's port.
TEST_F(MainWindowLink, APortInUseByAnotherProgramIsNamed) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString path = QString::fromLocal8Bit(::ptsname(master));
    const int other = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    TermiosDriver::Options options;
    options.scanSystemPorts = false;
    options.extraPorts = {path};
    TermiosDriver termios(options);
    d2xx().setDriver(&termios);
    const QString inUse =
        QStringLiteral("Cannot open %1: it is in use by another program.").arg(path);

    createWindows();
    scanAndLink();  // failures are silenced at the first link, this one is not
    EXPECT_EQ(prompt->informations, QStringList{inUse});
    EXPECT_FALSE(d2xx().isOpen());

    // Once failures are shown, the reason stands beside the port's status text.
    d2xx().ShowFTErrors = true;
    d2xx().setErrorSink([this](const QString& text) { prompt->information(text); });
    prompt->informations.clear();
    scanAndLink();
    EXPECT_EQ(
        prompt->informations,
        QStringList{QStringLiteral("Open_USB_Device_By_Serial_Number - Device not opened...\n") +
                    inUse});

    destroyWindows();
    d2xx().setDriver(driver.get());
    ::close(other);
    ::close(master);
}

TEST_F(MainWindowLink, ScanAndLinkAsksThePedalAndShowsItsEffect) {
    createWindows();
    scanAndLink();
    EXPECT_TRUE(prompt->all().isEmpty()) << prompt->all().join('|').toStdString();
    EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(), QStringLiteral("FT230X Basic UART linked"));
    EXPECT_FALSE(item("menuScan")->isEnabled());
    EXPECT_FALSE(item("menuConnect")->isEnabled());
    EXPECT_TRUE(item("menuDisconnect")->isEnabled());
    EXPECT_TRUE(item("menuMIDI")->isEnabled());
    EXPECT_TRUE(item("menuMode")->isEnabled());
    for (const char* line :
         {"FT device count: 1", "FT_Device_String: ZVP00001", "serial number: ZVP00001",
          "effect number DEC: 38", "effect number HEX: 00000026", "effect version: 1",
          "firmware version: 5", "26:Noise Gate", "effetto ottenuto dalla lista: Noise Gate",
          "firmware upgrade mode: False"})
        EXPECT_TRUE(logHas(QLatin1String(line))) << line;

    // 06 00, then the automatic settings request for Noise Gate (two pots).
    const QStringList writes = driver->hexWrites();
    ASSERT_GE(writes.size(), 2);
    EXPECT_EQ(writes.at(0), QStringLiteral("0600"));
    EXPECT_EQ(writes.at(1), QStringLiteral("0202"));

    const DeviceController& state = *device;
    EXPECT_EQ(state.pedalEffectNumber(), 0x26);
    EXPECT_EQ(state.pedalEffectName(), QStringLiteral("Noise Gate"));
    EXPECT_EQ(state.selectedEffectName(), QStringLiteral("Noise Gate"));
    EXPECT_TRUE(state.selectedIsOnPedal());
    EXPECT_TRUE(state.linked());
    EXPECT_EQ(item("menuFirmwareVersion")->text(), QStringLiteral("Firmware Version: 5"));
    EXPECT_EQ(widget<QLabel>("lblFirmwareVersion")->text(), QStringLiteral("Firmware Version: 5"));

    // The pedal's effect is found in its category and shown selected.
    auto* categories = widget<QListWidget>("lstCategory");
    auto* effects = widget<QListWidget>("lstEffects");
    ASSERT_NE(categories->currentItem(), nullptr);
    EXPECT_EQ(categories->currentItem()->text(), QStringLiteral("Dynamic"));
    ASSERT_NE(effects->currentItem(), nullptr);
    EXPECT_EQ(effects->currentItem()->text(), QStringLiteral("Noise Gate"));
    EXPECT_TRUE(state.currentCategory().isEmpty());  // selecting is not clicking

    ASSERT_TRUE(params->isVisible());
    EXPECT_EQ(params->windowTitle(), QStringLiteral("Noise Gate v1"));
    EXPECT_EQ(params->x(), main->frameGeometry().x() + main->frameGeometry().width());
    EXPECT_TRUE(main->findChild<QTimer*>("Timer_USB_read")->isActive());
    EXPECT_TRUE(item("menuLoadConfiguration")->isEnabled());
}

// A pedal waiting in its bootloader takes firmware messages for garbage: the
// editor closes without the live-mode message and the console tools wait.
TEST_F(MainWindowLink, ClosingLeavesAPedalInItsBootloaderAlone) {
    createWindows();
    scanAndLink();
    EXPECT_TRUE(main->whyNotWrite().isEmpty());
    main->upgradeController()->bootloaderProbed(true);
    ASSERT_TRUE(main->upgradeController()->pedalInBootloader());
    EXPECT_FALSE(main->whyNotWrite().isEmpty());
    markWrites();
    main->close();
    EXPECT_TRUE(writesSinceMark().isEmpty()) << writesSinceMark().join(' ').toStdString();
    EXPECT_TRUE(prompt->confirmations.isEmpty()) << "no upgrade runs: nothing to ask";
}

TEST_F(MainWindowLink, UnlinkSendsLiveOffAndScanWorksAgain) {
    createWindows();
    scanAndLink();
    markWrites();
    item("menuDisconnect")->trigger();
    EXPECT_EQ(writesSinceMark(), QStringList{"0A0000"});
    EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(), QStringLiteral("FT230X Basic UART"));
    EXPECT_TRUE(item("menuScan")->isEnabled());
    EXPECT_FALSE(item("menuDisconnect")->isEnabled());
    EXPECT_FALSE(item("menuMIDI")->isEnabled());
    EXPECT_FALSE(item("menuMode")->isEnabled());
    for (const char* name :
         {"btnUpload", "btnOpenEffect", "btnRequest", "btnAssign", "btnStoreSettingsOnPedal"})
        EXPECT_FALSE(widget(name)->isEnabled()) << name;
    EXPECT_FALSE(widget("lblLive")->isEnabled());
    EXPECT_FALSE(main->findChild<QTimer*>("Timer_USB_read")->isActive());
    EXPECT_FALSE(d2xx().isOpen());
    EXPECT_TRUE(device->linked());  // stays set

    scanAndLink();
    EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(), QStringLiteral("FT230X Basic UART linked"));
    EXPECT_TRUE(d2xx().isOpen());
}

TEST_F(MainWindowLink, SilentPedalEndsTheWaitWithAMessageAndNoChange) {
    pedal->setSilentOn(0x06);
    createWindows();
    scanAndLink();
    EXPECT_EQ(prompt->informations,
              QStringList{"The pedal did not answer the device information request."});
    EXPECT_TRUE(d2xx().isOpen());  // still linked: Unlink or ask again
    EXPECT_TRUE(item("menuDisconnect")->isEnabled());
    EXPECT_FALSE(item("menuMIDI")->isEnabled());
    EXPECT_FALSE(main->findChild<QTimer*>("Timer_USB_read")->isActive());
    EXPECT_EQ(device->pedalEffectName(), QString());
    EXPECT_FALSE(params->isVisible());
    EXPECT_EQ(item("menuFirmwareVersion")->text(), QStringLiteral("Firmware Version:"));

    // Asking again once the pedal answers works.
    pedal->clearFaults();
    widget<QPushButton>("btnOpenEffect")->click();
    EXPECT_EQ(device->pedalEffectName(), QStringLiteral("Noise Gate"));
    EXPECT_TRUE(widget("btnOpenEffect")->isEnabled());
}

TEST_F(MainWindowLink, UnlinkEndsAWaitAtOnce) {
    pedal->setSilentOn(0x06);
    createWindows();
    // Unlink is chosen while the link waits for the pedal's answer.
    QTimer::singleShot(0, main.get(), [this] { item("menuDisconnect")->trigger(); });
    scanAndLink();
    EXPECT_TRUE(prompt->all().isEmpty()) << prompt->all().join('|').toStdString();
    EXPECT_FALSE(d2xx().isOpen());
    EXPECT_TRUE(item("menuScan")->isEnabled());
    EXPECT_FALSE(item("menuMIDI")->isEnabled());
    EXPECT_FALSE(main->findChild<QTimer*>("Timer_USB_read")->isActive());
    // The limit was not what ended it: far less virtual time passed.
    EXPECT_LT(fakeClock->nowMs() - 1000000, 3000);
}

TEST_F(MainWindowLink, UpgradeModeLinkProbesTheBootloader) {
    createWindows();
    item("menuFirmwareUpgradeMode")->trigger();  // not linked yet: the flag only
    EXPECT_TRUE(device->upgradeMode());
    pedal->enterBootloader();
    scanAndLink();
    const QStringList writes = driver->hexWrites();
    ASSERT_FALSE(writes.isEmpty());
    EXPECT_EQ(writes.first(), QStringLiteral("7F"));
    EXPECT_TRUE(logHas(QStringLiteral("received Byte: 79")));
    ASSERT_FALSE(prompt->informations.isEmpty());
    EXPECT_EQ(prompt->informations.first(),
              QStringLiteral("Connection to bootloader succeeded, ready for firmware upgrade"));
    EXPECT_TRUE(item("menuStartFirmwareUpgrade")->isVisible());
    EXPECT_TRUE(item("menuStartFirmwareUpgrade")->isEnabled());
    EXPECT_FALSE(widget("btnRequest")->isEnabled());
    EXPECT_FALSE(widget("btnUpload")->isEnabled());
    EXPECT_FALSE(device->linked());
    EXPECT_EQ(d2xx().FTParity, FT_PARITY_EVEN);
}

TEST_F(MainWindowLink, UpgradeModeLinkWithoutBootloaderFails) {
    createWindows();
    item("menuFirmwareUpgradeMode")->trigger();
    scanAndLink();  // the pedal runs its firmware: no acknowledge
    EXPECT_EQ(prompt->informations.value(0), QStringLiteral("Connection to bootloader failed"));
    EXPECT_FALSE(item("menuStartFirmwareUpgrade")->isVisible());
    // The failed probe leaves the line as the pedal's firmware reads it.
    EXPECT_EQ(d2xx().FTParity, FT_PARITY_NONE);
    EXPECT_EQ(pedal->lineParity(), LineParity::None);
}

const QString kNoAnswer =
    QStringLiteral("The pedal did not answer the device information request.");

// A second device beside the fixture's pedal (ZVP00001), listed first.
struct SecondDevice {
    const char* name;
    const char* description;
    bool answers;
    bool tried;
};

TEST_F(MainWindowLink, ScanAndLinkPrefersThePedalAndTriesTheNextOne) {
    const SecondDevice cases[] = {
        // Another serial adapter is left alone while the pedal links.
        {"another adapter", "USB Serial Adapter", true, false},
        // A pedal that does not answer is let go for the next one.
        {"a silent pedal", "FT230X Basic UART", false, true},
    };
    for (const SecondDevice& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualPedal other;
        if (!c.answers) other.setSilentOn(0x06);
        VirtualPedalDriver otherDriver(other, "ZVP00002", c.description);
        RecordingDriver otherLine(otherDriver);
        DeviceHub hub;
        hub.addBackend(&otherLine, QStringLiteral("first"));
        hub.addBackend(driver.get(), QStringLiteral("second"));
        d2xx().setDriver(&hub);
        Log::instance().clear();
        createWindows();
        scanAndLink();
        EXPECT_TRUE(prompt->all().isEmpty()) << prompt->all().join('|').toStdString();
        EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(),
                  QStringLiteral("FT230X Basic UART linked"));
        EXPECT_EQ(device->pedalEffectName(), QStringLiteral("Noise Gate"));
        EXPECT_EQ(main->deviceSerialNumber(), QStringLiteral("ZVP00001"));
        EXPECT_EQ(!otherLine.writes.empty(), c.tried);
        EXPECT_EQ(logHas(QStringLiteral("ZVP00002 (FT230X Basic UART): ") + kNoAnswer), c.tried);
        EXPECT_TRUE(logHas(QStringLiteral("linked: ZVP00001 (FT230X Basic UART)")));
        destroyWindows();
        if (d2xx().isOpen()) d2xx().CloseFTDevice();
        d2xx().setDriver(driver.get());
        device->reset();
    }
}

TEST_F(MainWindowLink, WhenNothingLinksEveryDeviceSaysWhy) {
    pedal->setSilentOn(0x06);
    VirtualPedal other;
    other.setSilentOn(0x06);
    VirtualPedalDriver otherDriver(other, "ZVP00002");
    DeviceHub hub;
    hub.addBackend(driver.get(), QStringLiteral("first"));
    hub.addBackend(&otherDriver, QStringLiteral("second"));
    d2xx().setDriver(&hub);
    createWindows();
    scanAndLink();
    const QString why = QStringLiteral("No pedal linked.\nZVP00001 (FT230X Basic UART): ") +
                        kNoAnswer + QStringLiteral("\nZVP00002 (FT230X Basic UART): ") + kNoAnswer;
    EXPECT_EQ(prompt->informations, QStringList{why});
    EXPECT_TRUE(logHas(QStringLiteral("ZVP00001 (FT230X Basic UART): ") + kNoAnswer));
    // The last one stays linked, as a single silent pedal does: ask again or Unlink.
    EXPECT_TRUE(item("menuDisconnect")->isEnabled());
    EXPECT_FALSE(item("menuMIDI")->isEnabled());
    destroyWindows();
    if (d2xx().isOpen()) d2xx().CloseFTDevice();
    d2xx().setDriver(driver.get());
}

TEST_F(MainWindowLink, APedalWaitingInItsBootloaderIsOfferedRecovery) {
    const QString question = QStringLiteral(
        "The pedal is waiting in its bootloader: its last firmware upgrade did not finish.\n"
        "Write the firmware again now to recover it?");
    const struct {
        const char* name;
        bool alreadyConnected;  // by an editor that ended
        bool yes;
    } cases[] = {
        {"Yes", false, true},
        {"No", false, false},
        {"already connected, Yes", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool yes = c.yes;
        // A fresh pedal each time, its drivers let go first.
        d2xx().setDriver(nullptr);
        driver.reset();
        pedalDriver.reset();
        pedal = std::make_unique<VirtualPedal>();
        pedalDriver = std::make_unique<VirtualPedalDriver>(*pedal);
        driver = std::make_unique<RecordingDriver>(*pedalDriver);
        d2xx().setDriver(driver.get());
        pedal->enterBootloader();
        if (c.alreadyConnected) {
            ASSERT_TRUE(communication::OpenAndConfigure(QStringLiteral("ZVP00001")));
            ASSERT_TRUE(firmware::BootloaderClient(*connection).connect());
            d2xx().CloseFTDevice();
            communication::SetPortParameters(FT_PARITY_NONE);
            device->reset();
            driver->clearWrites();
        }
        prompt->answerConfirm(yes);
        prompt->confirmations.clear();
        prompt->informations.clear();
        createWindows();
        scanAndLink();
        EXPECT_EQ(prompt->confirmations, QStringList{question});
        const QStringList writes = driver->hexWrites();
        ASSERT_GE(writes.size(), 2);
        EXPECT_EQ(writes.at(0), QStringLiteral("0600"));
        EXPECT_EQ(writes.at(1), QStringLiteral("7F"));
        EXPECT_TRUE(logHas(QStringLiteral("the pedal answers as its bootloader")));
        EXPECT_EQ(logHas(QStringLiteral("bootloader already connected")), c.alreadyConnected);
        EXPECT_FALSE(device->upgradeMode() && !yes);
        if (yes) {
            EXPECT_TRUE(main->upgradeController()->pedalInBootloader());
            EXPECT_EQ(d2xx().FTParity, FT_PARITY_EVEN);
            EXPECT_TRUE(d2xx().isOpen());
        } else {
            // Nothing more is sent to it; the line is back at no parity.
            EXPECT_EQ(writes.size(), 2) << writes.join(' ').toStdString();
            EXPECT_FALSE(d2xx().isOpen());
            EXPECT_EQ(d2xx().FTParity, FT_PARITY_NONE);
            EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(),
                      QStringLiteral("Zendal in its bootloader"));
            EXPECT_TRUE(item("menuScan")->isEnabled());
        }
        destroyWindows();
        if (d2xx().isOpen()) d2xx().CloseFTDevice();
        device->reset();
        d2xx().setDriver(nullptr);
    }
}

TEST_F(MainWindowLink, UnpluggingIsNoticedAndReplugOffersToLinkAgain) {
    createWindows();
    scanAndLink();
    ASSERT_TRUE(d2xx().isOpen());
    prompt->informations.clear();
    pedal->unplug();
    ASSERT_TRUE(waitFor([] { return !d2xx().isOpen(); }));
    EXPECT_TRUE(prompt->all().isEmpty()) << prompt->all().join('|').toStdString();
    EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(), QStringLiteral("Pedal unplugged"));
    for (const char* name :
         {"btnUpload", "btnOpenEffect", "btnRequest", "btnAssign", "btnStoreSettingsOnPedal"})
        EXPECT_FALSE(widget(name)->isEnabled()) << name;
    EXPECT_FALSE(item("menuMIDI")->isEnabled());
    EXPECT_TRUE(item("menuScan")->isEnabled());
    EXPECT_FALSE(main->findChild<QTimer*>("Timer_USB_read")->isActive());
    EXPECT_TRUE(logHas(QStringLiteral("the pedal was unplugged")));

    // Still gone: the device list changes but nothing is offered.
    main->devicesChanged();
    EXPECT_TRUE(prompt->confirmations.isEmpty());

    pedal->replug();
    prompt->answerConfirm(true);
    main->devicesChanged();
    EXPECT_EQ(prompt->confirmations, QStringList{"The pedal is plugged in again. Link to it now?"});
    EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(), QStringLiteral("FT230X Basic UART linked"));
    EXPECT_TRUE(d2xx().isOpen());

    // Offered once: a later change of the list asks nothing.
    main->devicesChanged();
    EXPECT_EQ(prompt->confirmations.size(), 1);
}

}  // namespace
}  // namespace zendal::test
