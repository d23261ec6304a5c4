// The main window as it starts: menus, controls, settings files.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "MainWindowFixture.h"
#include "protocol/DeviceController.h"
#include "shell/ui/OpenUrl.h"

namespace zendal::test {
namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class MainWindowStartup : public MainWindowTest {};

TEST_F(MainWindowStartup, MenuBarAsLoaded) {
    createWindows();
    const struct {
        const char* name;
        const char* caption;
        bool enabled;
        bool visible;
    } items[] = {
        {"menuLoadConfiguration", "Load Configuration", false, true},
        {"menuSaveConfiguration", "Save Configuration", false, true},
        {"menuLoadIR", "Load IR", false, true},
        {"menuScan", "Scan and Link", true, true},
        {"menuConnect", "Link", false, false},
        {"menuDisconnect", "Unlink", false, true},
        {"menuAliveParameters", "Alive Parameters!", false, false},
        {"menuLook", "Look", true, true},
        {"menuMIDI", "MIDI", false, true},
        {"menuMIDIchannel", "Channel", true, true},
        {"menuMode", "Mode", false, true},
        {"menuModePreset", "Preset Mode", true, true},
        {"menuModeBank", "FX Bank Mode", true, true},
        {"menuFirmwareUpgradeMode", "Upgrade Mode", true, true},
        {"menuStartFirmwareUpgrade", "Start Firmware Upgrade", false, false},
        {"menuEraseSettings", "Erase Settings", true, true},
        {"menuQuickStart", "Quick Start", false, false},
        {"menuSupport", "Support", true, true},
        {"menuFirmwareVersion", "Firmware Version:", false, true},
        {"menuNewAppVersion", "New version available:", false, true},
        {"menuSerialNumber", "Device Serial: ZVP00001", true, true},
        // Enabled once the update check knows a newer version.
        {"menuUpdateNow", "Update Now", false, true},
        {"menuShowUpdateMsg", "Show Update Message", true, true},
    };
    // A hidden item cannot be chosen, so it also reads as disabled.
    for (const auto& i : items) {
        SCOPED_TRACE(i.name);
        QAction* a = item(i.name);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(), QLatin1String(i.caption));
        EXPECT_EQ(a->isEnabled(), i.enabled);
        EXPECT_EQ(a->isVisible(), i.visible);
    }
    EXPECT_TRUE(item("menuAppVersion")->text().startsWith(QLatin1String("Editor Version: ")));
    EXPECT_FALSE(item("menuAppVersion")->isEnabled());

    QStringList top;
    for (QAction* a : main->menuBar()->actions()) top.append(a->text());
    EXPECT_EQ(top, (QStringList{"File", "Connection", "Settings", "Firmware Upgrade", "Info"}));

    QStringList channels;
    for (QAction* a : main->midiChannelItems()) channels.append(a->text());
    QStringList expected{"OMNI"};
    for (int i = 1; i <= 16; ++i) expected.append(QString::number(i));
    EXPECT_EQ(channels, expected);

    QStringList looks;
    for (QAction* a : main->findChild<QMenu*>("menuLook")->actions()) looks.append(a->text());
    EXPECT_EQ(looks, (QStringList{"0", "1", "2", "3", "4", "5", "6"}));
}

TEST_F(MainWindowStartup, ControlsAsLoaded) {
    createWindows();
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Zendal Editor"));
    EXPECT_EQ(main->centralWidget()->size(), QSize(400, 392));
    const struct {
        const char* name;
        const char* caption;
        bool enabled;
        bool visible;
    } buttons[] = {
        {"btnOpenEffect", "Get FX Stored on Pedal", false, true},
        {"btnRequest", "Request Settings from Pedal", false, true},
        {"btnAssign", "Assign", false, true},
        {"btnStoreSettingsOnPedal", "Store Settings On Pedal", false, true},
        {"btnUpload", "Upload Selected Effect", false, true},
        {"btnUploadFile", "Upload File", true, false},
        {"btnGetFXInfo", "?", false, true},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.name);
        auto* button = widget<QPushButton>(b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QLatin1String(b.caption));
        EXPECT_EQ(button->isEnabled(), b.enabled);
        EXPECT_EQ(button->isVisibleTo(main.get()), b.visible);
    }
    EXPECT_EQ(widget<QLabel>("lblDeviceName")->text(), QStringLiteral("Zendal"));
    EXPECT_EQ(widget<QLabel>("lblStatus")->text(), QStringLiteral("Status: "));
    EXPECT_FALSE(widget<QLabel>("lblFirmwareVersion")->isVisibleTo(main.get()));
    EXPECT_EQ(widget<QGroupBox>("lblLive")->title(), QStringLiteral("Live OFF"));
    EXPECT_FALSE(widget<QGroupBox>("lblLive")->isEnabled());
    EXPECT_FALSE(widget<QCheckBox>("swLive")->isChecked());
    EXPECT_FALSE(widget<QCheckBox>("chkFirmwareUpgradeMode")->isVisibleTo(main.get()));
    for (const char* name : {"rdbtnBank1", "rdbtnBank2", "rdbtnBank3"})
        EXPECT_FALSE(widget<QRadioButton>(name)->isChecked()) << name;

    QStringList categories;
    auto* list = widget<QListWidget>("lstCategory");
    for (int i = 0; i < list->count(); ++i) categories.append(list->item(i)->text());
    EXPECT_EQ(categories, (QStringList{"Gain", "Modulation", "Synthesis", "Filter", "Dynamic",
                                       "Impulse Response", "Other"}));
    EXPECT_EQ(widget<QListWidget>("lstEffects")->count(), 0);
    EXPECT_EQ(device->requiredFirmwareVersion(), 5);
    EXPECT_FALSE(main->findChild<QTimer*>("Timer_USB_read")->isActive());
    EXPECT_TRUE(prompt->all().isEmpty());
}

TEST_F(MainWindowStartup, FirstStartCreatesTheSettingsFiles) {
    createWindows();
    const QString zendal = home->documents() + QStringLiteral("/Tavrel/Zendal/");
    EXPECT_EQ(fileBytes(zendal + QStringLiteral("ShowMessageVersionAtStartup.txt")),
              QByteArray("YES"));
    EXPECT_EQ(fileBytes(zendal + QStringLiteral("Mode.txt")), QByteArray("PRESET"));
    EXPECT_FALSE(QFile::exists(home->documents() + QStringLiteral("/Tavrel/style.txt")));
    EXPECT_TRUE(item("menuShowUpdateMsg")->isChecked());
    EXPECT_TRUE(item("menuModePreset")->isChecked());
    EXPECT_FALSE(item("menuModeBank")->isChecked());
    EXPECT_FALSE(widget<QGroupBox>("lblBankNum")->isEnabled());
}

TEST_F(MainWindowStartup, StoredModeAndUpdatePreferenceAreApplied) {
    const struct {
        QByteArray mode;
        QByteArray showUpdate;
        bool bank;
        bool presetChecked, bankChecked, groupEnabled, bank1, showChecked;
    } cases[] = {
        {"PRESET", "NO", false, true, false, false, false, false},
        {"BANK", "YES", true, false, true, true, true, true},
        {"bank", "NO\n", false, false, false, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode.toStdString());
        const QString zendal = home->documents() + QStringLiteral("/Tavrel/Zendal/");
        writeFile(zendal + QStringLiteral("Mode.txt"), c.mode);
        writeFile(zendal + QStringLiteral("ShowMessageVersionAtStartup.txt"), c.showUpdate);
        createWindows();
        EXPECT_EQ(device->bankMode(), c.bank);
        EXPECT_EQ(item("menuModePreset")->isChecked(), c.presetChecked);
        EXPECT_EQ(item("menuModeBank")->isChecked(), c.bankChecked);
        EXPECT_EQ(widget<QGroupBox>("lblBankNum")->isEnabled(), c.groupEnabled);
        EXPECT_EQ(widget<QRadioButton>("rdbtnBank1")->isChecked(), c.bank1);
        EXPECT_EQ(item("menuShowUpdateMsg")->isChecked(), c.showChecked);
        // The files are read, never rewritten.
        EXPECT_EQ(fileBytes(zendal + QStringLiteral("Mode.txt")), c.mode);
        destroyWindows();
    }
}

TEST_F(MainWindowStartup, LookShowUpdateAndSupportItems) {
    createWindows();
    main->findChild<QAction*>("menuLook3")->trigger();
    EXPECT_EQ(fileBytes(home->documents() + QStringLiteral("/Tavrel/style.txt")), QByteArray("3"));

    const QString showFile =
        home->documents() + QStringLiteral("/Tavrel/Zendal/ShowMessageVersionAtStartup.txt");
    item("menuShowUpdateMsg")->trigger();  // unchecks
    EXPECT_EQ(fileBytes(showFile), QByteArray("NO"));
    item("menuShowUpdateMsg")->trigger();
    EXPECT_EQ(fileBytes(showFile), QByteArray("YES"));
    QFile::remove(showFile);
    item("menuShowUpdateMsg")->trigger();
    EXPECT_FALSE(QFile::exists(showFile));

    QList<QUrl> opened;
    setUrlOpenerForTesting([&](const QUrl& url) { opened.append(url); });
    item("menuSupport")->trigger();
    setUrlOpenerForTesting({});
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().toString(), QStringLiteral("https://127.0.0.1:9/contact-us/"));
}

TEST_F(MainWindowStartup, VirtualPedalItemSwitchesTheDeviceList) {
    createWindows();
    QAction* virtualPedal = item("menuVirtualPedal");
    EXPECT_EQ(virtualPedal->text(), QStringLiteral("Virtual Pedal"));
    EXPECT_FALSE(virtualPedal->isEnabled());  // nothing to switch yet
    QList<bool> calls;
    main->setVirtualPedalToggle([&](bool on) { calls.append(on); }, true);
    EXPECT_TRUE(virtualPedal->isEnabled());
    EXPECT_TRUE(virtualPedal->isChecked());
    EXPECT_TRUE(calls.isEmpty());
    virtualPedal->trigger();
    virtualPedal->trigger();
    EXPECT_EQ(calls, (QList<bool>{false, true}));
}

}  // namespace
}  // namespace zendal::test
