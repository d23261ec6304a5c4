// What the pedal holds, the firmware rule, and the device messages.
#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "MainWindowFixture.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "protocol/DeviceController.h"

namespace zendal::test {
namespace {

class MainWindowDevice : public MainWindowTest {};

const QString kUpgradeRequired =
    QStringLiteral("A firmware upgrade is required. Upgrade to Firmware 5");
const QString kGoToUpgrade =
    QStringLiteral("Go to Firmware Upgrade menu and select Firmware Upgrade Mode");

TEST_F(MainWindowDevice, DeviceInformationAndTheFirmwareRule) {
    const struct {
        const char* name;
        QString reply;
        bool result;
        QStringList boxes;
        int effect, version, firmware;
        bool editorEnabled;
    } cases[] = {
        {"effect held, current firmware", "3\r\n17\r\n2\r\n5\r\n", true, {}, 17, 2, 5, true},
        {"empty pedal",
         "255\r\n255\r\n1\r\n5\r\n",
         false,
         {"No effect found on pedal"},
         255,
         1,
         5,
         true},
        {"empty pedal, zeros",
         "0\r\n0\r\n1\r\n6\r\n",
         false,
         {"No effect found on pedal"},
         0,
         1,
         6,
         true},
        {"old firmware",
         "1\r\n38\r\n1\r\n4\r\n",
         false,
         {kUpgradeRequired, kGoToUpgrade},
         38,
         1,
         4,
         false},
        {"erased firmware number",
         "1\r\n38\r\n1\r\n255\r\n",
         false,
         {kUpgradeRequired, kGoToUpgrade},
         38,
         1,
         255,
         false},
    };
    createWindows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prompt->informations.clear();
        main->EnableEditorObjects(!c.editorEnabled);
        bool aborted = false;
        EXPECT_EQ(main->CheckPedalInfo(c.reply, &aborted), c.result);
        EXPECT_FALSE(aborted);
        EXPECT_EQ(prompt->informations, c.boxes);
        const DeviceController& state = *device;
        EXPECT_EQ(state.pedalEffectNumber(), c.effect);
        EXPECT_EQ(state.pedalEffectVersion(), c.version);
        EXPECT_EQ(state.pedalFirmwareVersion(), c.firmware);
        const QString label = QStringLiteral("Firmware Version: %1").arg(c.firmware);
        EXPECT_EQ(widget<QLabel>("lblFirmwareVersion")->text(), label);
        EXPECT_EQ(item("menuFirmwareVersion")->text(), label);
        EXPECT_EQ(widget("btnUpload")->isEnabled(), c.editorEnabled);
        EXPECT_EQ(widget("lstEffects")->isEnabled(), c.editorEnabled);
        EXPECT_EQ(item("menuMIDI")->isEnabled(), c.editorEnabled);
    }
}

TEST_F(MainWindowDevice, ErasedFirmwareNeverEnablesTheEditorOnTheWay) {
    createWindows();
    main->EnableEditorObjects(false);
    int enabledChanges = 0;
    // Count every moment the upload button is enabled while the reply is applied.
    struct Watch : QObject {
        int* count;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::EnabledChange && static_cast<QWidget*>(o)->isEnabled())
                ++*count;
            return false;
        }
    } watch;
    watch.count = &enabledChanges;
    widget("btnUpload")->installEventFilter(&watch);
    main->CheckPedalInfo(QStringLiteral("1\r\n38\r\n1\r\n255\r\n"));
    EXPECT_EQ(enabledChanges, 0);
    main->CheckPedalInfo(QStringLiteral("1\r\n38\r\n1\r\n4\r\n"));
    EXPECT_EQ(enabledChanges, 1);  // firmware 4 enables once before it is refused
    widget("btnUpload")->removeEventFilter(&watch);
}

// A field that is not a number, or a number no pedal can send, changes nothing.
TEST_F(MainWindowDevice, AFieldThatIsNotANumberShowsTheConversionErrorOnly) {
    const struct {
        QString reply;
        QString box;
    } cases[] = {
        {"3\r\n1x\r\n2\r\n5\r\n", "'1x' is not a valid integer value"},
        {"3\r\n17\r\n2\r\n", "'' is not a valid integer value"},
        {"", "'' is not a valid integer value"},
        {"1\r\n38\r\n-1\r\n5\r\n",
         "Unexpected device information: effect version -1 is not a byte (0 to 255)"},
        {"1\r\n38\r\n1\r\n300\r\n",
         "Unexpected device information: firmware version 300 is not a byte (0 to 255)"},
    };
    createWindows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.toStdString());
        prompt->informations.clear();
        device->setPedalEffectNumber(7);
        bool aborted = false;
        EXPECT_FALSE(main->CheckPedalInfo(c.reply, &aborted));
        EXPECT_TRUE(aborted);
        EXPECT_EQ(prompt->informations, QStringList{c.box});
        EXPECT_EQ(device->pedalEffectNumber(), 7);
        EXPECT_EQ(item("menuFirmwareVersion")->text(), QStringLiteral("Firmware Version:"));
    }
}

TEST_F(MainWindowDevice, UnusableAnswersThroughTheLink) {
    const struct {
        const char* name;
        QByteArray reply;
        QStringList boxes;
        bool windowShown;
    } cases[] = {
        {"not a number", "1\r\nXY\r\n1\r\n5\r\n", {"'XY' is not a valid integer value"}, false},
        {"effect id beyond the list",
         "1\r\n64\r\n1\r\n5\r\n",
         {"The pedal holds effect number 64, which is not in the editor's effect list."},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        createWindows();
        prompt->informations.clear();
        driver->replyTo(0x06, c.reply);
        scanAndLink();
        EXPECT_EQ(prompt->informations, c.boxes);
        EXPECT_EQ(params->isVisible(), c.windowShown);
        EXPECT_TRUE(device->pedalEffectName().isEmpty());
        item("menuDisconnect")->trigger();
        destroyWindows();
    }
}

TEST_F(MainWindowDevice, AKnobTurnedDuringTheDeviceQueryIsAppliedAndTheReplyReadRight) {
    createWindows();
    scanAndLink();
    ASSERT_TRUE(params->isBuilt());
    auto* slider = params->findChild<QSlider*>();
    ASSERT_NE(slider, nullptr);
    QList<int> values;
    QObject::connect(slider, &QSlider::valueChanged, [&](int v) { values.append(v); });
    prompt->informations.clear();
    const auto knob = [](int value) {
        return QByteArray(1, char(0xAA)) + QByteArray(2, char(0)) + char(value >> 8) +
               char(value & 0xFF);
    };
    // One report just before the reply, one just after it.
    driver->replyTo(0x06, knob(291) + "1\r\n38\r\n1\r\n5\r\n" + knob(292));
    widget<QPushButton>("btnOpenEffect")->click();
    EXPECT_TRUE(prompt->informations.isEmpty()) << prompt->informations.join('|').toStdString();
    EXPECT_EQ(device->pedalEffectNumber(), 38);
    EXPECT_EQ(device->pedalFirmwareVersion(), 5);
    EXPECT_TRUE(values.contains(291));
    EXPECT_TRUE(values.contains(292));
}

TEST_F(MainWindowDevice, AKnobTurnedBeforeTheSettingsReplyIsAppliedAndTheRecordReadRight) {
    createWindows();
    scanAndLink();
    ASSERT_TRUE(params->isBuilt());
    // The request names the parameter count; the pedal's record for it.
    const QStringList writes = driver->hexWrites();
    const auto request = std::find_if(writes.rbegin(), writes.rend(), [](const QString& w) {
        return w.size() == 4 && w.startsWith(QLatin1String("02"));
    });
    ASSERT_NE(request, writes.rend());
    const int n = request->mid(2).toInt(nullptr, 16);
    QByteArray recordText;
    for (const char b : pedal->settingsRecord(n))
        recordText += QByteArray::number(int(static_cast<unsigned char>(b))) + "\r\n";
    const QByteArray knob =
        QByteArray(1, char(0xAA)) + QByteArray(2, char(0)) + char(1) + char(0x23);
    driver->replyTo(0x02, knob + recordText);
    auto* slider = params->findChild<QSlider*>();
    ASSERT_NE(slider, nullptr);
    QList<int> values;
    QObject::connect(slider, &QSlider::valueChanged, [&](int v) { values.append(v); });
    prompt->informations.clear();
    Log::instance().clear();
    widget<QPushButton>("btnRequest")->click();
    EXPECT_TRUE(prompt->informations.isEmpty()) << prompt->informations.join('|').toStdString();
    EXPECT_TRUE(
        logHas(QStringLiteral("num of bytes received: %1").arg(pedal->settingsRecord(n).size())));
    EXPECT_TRUE(values.contains(0x123));
}

TEST_F(MainWindowDevice, NothingElseWritesWhileThePedalIsAsked) {
    createWindows();
    scanAndLink();
    ASSERT_TRUE(widget("btnUpload")->isEnabled());
    auto* autoRequest = main->findChild<QTimer*>("TimerAutoRequest");
    autoRequest->stop();
    pedal->setSilentOn(0x06);  // the query waits its whole limit
    bool uploadInside = true, requestInside = true, parametersInside = true;
    QStringList writesInside{"not run"};
    QTimer::singleShot(0, main.get(), [&] {
        uploadInside = widget("btnUpload")->isEnabled();
        requestInside = widget("btnRequest")->isEnabled();
        parametersInside = params->isEnabled();
        markWrites();
        main->doAutomaticRequest();
        item("menuEraseSettings")->trigger();
        item("menuModeBank")->trigger();
        main->midiChannelItems().value(3)->trigger();
        writesInside = writesSinceMark();
    });
    prompt->informations.clear();
    widget<QPushButton>("btnOpenEffect")->click();
    EXPECT_EQ(prompt->informations,
              QStringList{"The pedal did not answer the device information request."});
    EXPECT_FALSE(uploadInside);
    EXPECT_FALSE(requestInside);
    EXPECT_FALSE(parametersInside);
    EXPECT_TRUE(writesInside.isEmpty()) << writesInside.join(' ').toStdString();
    EXPECT_TRUE(prompt->confirmations.isEmpty());
    EXPECT_FALSE(device->bankMode());
    // Afterwards the controls are back and the automatic request comes after all.
    EXPECT_TRUE(widget("btnUpload")->isEnabled());
    EXPECT_TRUE(params->isEnabled());
    EXPECT_TRUE(autoRequest->isActive());
    pedal->clearFaults();
    markWrites();
    ASSERT_TRUE(waitFor([&] { return !writesSinceMark().isEmpty(); }));
    EXPECT_TRUE(writesSinceMark().first().startsWith(QLatin1String("02")));
}

TEST_F(MainWindowDevice, AnEffectWhoseDescriptorIsRefusedOpensNoWindow) {
    pedal->setEffect(0x35, 1);  // the catalogue's malformed descriptor
    createWindows();
    scanAndLink();
    ASSERT_EQ(prompt->informations.size(), 1) << prompt->informations.join('|').toStdString();
    EXPECT_FALSE(prompt->informations.first().isEmpty());
    EXPECT_FALSE(params->isVisible());
    EXPECT_EQ(device->pedalEffectName(), QStringLiteral("Factory Test"));
}

TEST_F(MainWindowDevice, MidiChannelMessages) {
    createWindows();
    scanAndLink();
    const struct {
        int index;
        const char* bytes;
        const char* log;
    } cases[] = {
        {0, "0700", "Midi channel: OMNI"},
        {12, "070C", "Midi channel: 12"},
        {16, "0710", "Midi channel: 16"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        markWrites();
        main->midiChannelItems().at(c.index)->trigger();
        EXPECT_EQ(writesSinceMark(), QStringList{QLatin1String(c.bytes)});
        EXPECT_TRUE(logHas(QLatin1String(c.log)));
        // The check marks follow the pedal's settings reply, not the click.
        EXPECT_FALSE(main->midiChannelItems().at(c.index)->isChecked() && c.index != 0);
    }
    settlePedal();
    EXPECT_EQ(pedal->midiChannel(), 16);
}

TEST_F(MainWindowDevice, LiveSwitchSendsAndLabels) {
    createWindows();
    scanAndLink();
    auto* live = widget<QCheckBox>("swLive");
    markWrites();
    live->setChecked(true);
    EXPECT_EQ(widget<QGroupBox>("lblLive")->title(), QStringLiteral("Live ON"));
    live->setChecked(false);
    EXPECT_EQ(widget<QGroupBox>("lblLive")->title(), QStringLiteral("Live OFF"));
    EXPECT_EQ(writesSinceMark(), (QStringList{"0A0100", "0A0000"}));
}

TEST_F(MainWindowDevice, StoreSettingsSendsTheParameterCount) {
    pedal->setEffect(0x32, 1);  // Harmonizer: 3 pots, 1 switch, 2 multi-switches
    createWindows();
    scanAndLink();
    markWrites();
    const qint64 before = fakeClock->totalPausedMs();
    main->btnStoreSettingsOnPedalClick();
    EXPECT_EQ(writesSinceMark(), QStringList{"0306"});
    EXPECT_TRUE(logHas(QStringLiteral("Store settings message (HEX): 0306")));
    EXPECT_EQ(fakeClock->totalPausedMs() - before, 100);
}

TEST_F(MainWindowDevice, EraseSettingsAsksFirst) {
    const QString question = QStringLiteral(
        "Are you sure you want to delete all settings?\r\n"
        "This action will delete the current stored algorithm and any other settings like "
        "presets and assignments\r\n"
        "Erase settings is suggested in the following cases:\r\n"
        "- the pedal is unresponsive/freezed after updates\r\n"
        "- unexpected behaviour or bugs which afflicts the pedal functionalities\r\n"
        "- you want to switch to the Tallow pedal");
    createWindows();
    scanAndLink();
    markWrites();
    prompt->answerConfirm(false);
    item("menuEraseSettings")->trigger();
    EXPECT_EQ(prompt->confirmations, QStringList{question});
    EXPECT_TRUE(writesSinceMark().isEmpty());

    prompt->answerConfirm(true);
    item("menuEraseSettings")->trigger();
    EXPECT_EQ(writesSinceMark(),
              (QStringList{"0B50000000", "0C5000000000", "0B51000000", "0C5100000000"}));
    // Both memories come back erased, each checked on its own.
    prompt->informations.clear();
    main->PollPedal();
    EXPECT_EQ(prompt->informations, (QStringList{"Memory Erased", "Memory Erased"}));
}

TEST_F(MainWindowDevice, BankModeFromTheMenuClearsTheChoiceUnlessARequestRuns) {
    createWindows();
    scanAndLink();
    ASSERT_TRUE(params->isVisible());
    const QString modeFile = home->documents() + QStringLiteral("/Tavrel/Zendal/Mode.txt");

    device->setRequestInProgress(true);
    item("menuModeBank")->trigger();
    device->setRequestInProgress(false);
    EXPECT_TRUE(params->isVisible());
    EXPECT_GT(widget<QListWidget>("lstEffects")->count(), 0);
    QFile f(modeFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("BANK"));
    f.close();

    item("menuModePreset")->trigger();
    EXPECT_FALSE(device->bankMode());
    EXPECT_FALSE(widget("lblBankNum")->isEnabled());
    item("menuModeBank")->trigger();
    EXPECT_TRUE(device->bankMode());
    EXPECT_TRUE(item("menuModeBank")->isChecked());
    EXPECT_FALSE(item("menuModePreset")->isChecked());
    EXPECT_TRUE(widget<QRadioButton>("rdbtnBank1")->isChecked());
    EXPECT_FALSE(params->isVisible());
    EXPECT_EQ(widget<QListWidget>("lstEffects")->count(), 0);
    EXPECT_EQ(widget<QListWidget>("lstCategory")->currentRow(), -1);
    EXPECT_TRUE(device->selectedEffectName().isEmpty());
    // Nothing goes to the pedal for a mode change.
}

TEST_F(MainWindowDevice, APreferenceThatCannotBeSavedIsShownInTheStatus) {
    createWindows();
    // A regular file where the settings folder should be: every write fails, even as root.
    const QString folder = home->documents() + QStringLiteral("/Tavrel/Zendal");
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    auto* status = widget<QLabel>("lblStatus");
    item("menuModeBank")->trigger();
    EXPECT_TRUE(device->bankMode());  // the mode still changes for this run
    EXPECT_TRUE(status->text().startsWith(QLatin1String("Could not save Mode.txt: ")))
        << status->text().toStdString();

    const QString styleFolder = home->documents() + QStringLiteral("/Tavrel");
    ASSERT_TRUE(QDir(styleFolder).removeRecursively());
    QFile styleBlocker(styleFolder);
    ASSERT_TRUE(styleBlocker.open(QIODevice::WriteOnly));
    styleBlocker.close();
    auto* look3 = main->findChild<QAction*>(QStringLiteral("menuLook3"));
    ASSERT_NE(look3, nullptr);
    look3->trigger();
    EXPECT_TRUE(status->text().startsWith(QLatin1String("Could not save style.txt: ")))
        << status->text().toStdString();
}

}  // namespace
}  // namespace zendal::test
