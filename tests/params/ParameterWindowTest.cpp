// The parameter window: building from the descriptor, what each control
// sends, the suppression flags, the settings request and the pedal's reports.

#include <QFrame>

#include "WindowFixture.h"
#include "effects/EffectCatalogue.h"
#include "params/Assignments.h"

using namespace zendal;
using namespace zendal::test;

namespace {

struct Place {
    const char* name;
    int x, y, width, height;
};

}  // namespace

class ParamsWindowBuild : public ParamsWindowFixture {};

TEST_F(ParamsWindowBuild, RowsFollowTheDescriptor) {
    open();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Test FX v1"));
    EXPECT_EQ(window->size(), QSize(420, (6 + 1 + 4) * 25 + 10));
    const Place places[] = {
        {"caption0", 10, 10, 150, 20},       {"slider0", 160, 10, 100, 20},
        {"slider2", 160, 60, 100, 20},       {"state3", 120, 85, 100, 20},
        {"switch3", 190, 85, 40, 20},        {"state4", 120, 110, 100, 20},
        {"button4", 190, 110, 50, 20},       {"caption5", 10, 135, 100, 20},
        {"multi5", 160, 135, 100, 20},       {"assign5", 300, 135, 70, 20},
        {"reverse5", 380, 135, 20, 20},      {"separator", 280, 10, 1, 147},
        {"captionBypass", 10, 160, 150, 20}, {"boxBypass", 300, 160, 70, 20},
        {"captionPreset", 10, 185, 150, 20}, {"boxPreset", 300, 185, 70, 20},
        {"readback0", 10, 210, 150, 20},     {"led0", 300, 210, 70, 20},
    };
    for (const Place& p : places) {
        auto* w = find<QWidget>(QString::fromLatin1(p.name));
        ASSERT_TRUE(w) << p.name;
        EXPECT_EQ(w->geometry(), QRect(p.x, p.y, p.width, p.height)) << p.name;
    }
    EXPECT_FALSE(find<QWidget>(QStringLiteral("switch4")));  // the "@" entry is a push button
    EXPECT_EQ(find<QLabel>(QStringLiteral("state3"))->text(), QStringLiteral("-"));
    EXPECT_EQ(button(4)->text(), QStringLiteral("Tap"));
    EXPECT_EQ(find<QLabel>(QStringLiteral("captionPreset"))->text(),
              QStringLiteral("Preset Change"));
    EXPECT_EQ(multi(5)->count(), 3);
    EXPECT_EQ(assignList(0)->count(), 13);
    EXPECT_EQ(led(0)->count(), 5);
    EXPECT_EQ(bypassList()->toolTip(), assign::functionHint());
    EXPECT_EQ(reverse(0)->toolTip(),
              QStringLiteral("Toggle the Reverse function for the current parameter"));
    EXPECT_EQ(slider(0)->accessibleName(), QStringLiteral("Pot0"));
    EXPECT_EQ(sw(3)->accessibleName(), QStringLiteral("Phase"));
    EXPECT_EQ(multi(5)->accessibleName(), QStringLiteral("Mode"));
    // Lists start with nothing selected; building sent nothing.
    for (QComboBox* list : {multi(5), assignList(0), led(0), bypassList(), presetList()})
        EXPECT_EQ(list->currentIndex(), -1) << list->objectName().toStdString();
    EXPECT_TRUE(driver.writes.isEmpty());
}

TEST_F(ParamsWindowBuild, EightParametersOneReadback) {
    open(makeDescriptor(8, {}, {}, {QStringLiteral("LFO")}));
    EXPECT_EQ(window->height(), 335);
    EXPECT_EQ(bypassList()->y(), 210);
    EXPECT_EQ(presetList()->y(), 235);
    EXPECT_EQ(led(0)->y(), 260);
}

TEST_F(ParamsWindowBuild, ValueControlsUsableOnlyForTheEffectOnThePedal) {
    for (bool onPedal : {true, false}) {
        SCOPED_TRACE(onPedal);
        device.setSelectedIsOnPedal(onPedal);
        open();
        for (QWidget* w :
             std::initializer_list<QWidget*>{slider(0), sw(3), button(4), multi(5), assignList(0),
                                             bypassList(), presetList(), led(0)})
            EXPECT_EQ(w->isEnabled(), onPedal) << w->objectName().toStdString();
        EXPECT_FALSE(reverse(0)->isEnabled());
        EXPECT_TRUE(find<QLabel>(QStringLiteral("caption0"))->isEnabled());
    }
}

TEST_F(ParamsWindowBuild, RefusedDescriptorShowsNothing) {
    setDescriptorLoader([](const QString& name, TControlDescriptor*, QString* error) {
        *error = name + QStringLiteral(": too many parameters");
        return false;
    });
    TformFXParameters w(device);
    QString error;
    EXPECT_FALSE(w.openFor(QStringLiteral("X"), QPoint(), 420, &error));
    EXPECT_EQ(error, QStringLiteral("Test FX: too many parameters"));
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.isBuilt());
    EXPECT_FALSE(w.findChild<QSlider*>());
}

// The catalogue's own descriptors: effect 0x26 has two pots; effect 0x35
// declares 24 parameters and is refused.
TEST_F(ParamsWindowBuild, CatalogueDescriptors) {
    setDescriptorLoader({});
    TformFXParameters w(device);
    QString error;
    device.setSelectedEffectName(effect_name_by_id(0x26).value_or(QString()));
    ASSERT_TRUE(w.openFor(QStringLiteral("X"), QPoint(), 420, &error)) << error.toStdString();
    EXPECT_EQ(w.descriptor().param_count, 2);
    EXPECT_TRUE(w.findChild<QSlider*>(QStringLiteral("slider1")));
    EXPECT_EQ(w.height(), (2 + 0 + 4) * 25 + 10);

    device.setSelectedEffectName(effect_name_by_id(0x35).value_or(QString()));
    EXPECT_FALSE(w.openFor(QStringLiteral("X"), QPoint(), 420, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.findChild<QSlider*>());
}

TEST_F(ParamsWindowBuild, ClosingDestroysControlsAndDisablesRequestAndAssign) {
    open();
    mainWindow.requestEnabled = mainWindow.assignEnabled = true;
    window->closeWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->isBuilt());
    EXPECT_FALSE(window->findChild<QSlider*>());
    EXPECT_FALSE(mainWindow.requestEnabled);
    EXPECT_FALSE(mainWindow.assignEnabled);
}

class ParamsWindowControls : public ParamsWindowFixture {};

TEST_F(ParamsWindowControls, EachControlSendsItsParameterMessage) {
    open();
    QList<bool> follows;
    QObject context;  // ends the connection with the test
    QObject::connect(&Log::instance(), &Log::lineAdded, &context,
                     [&](const QString&, bool follow) { follows << follow; });
    struct Step {
        const char* name;
        std::function<void()> act;
        const char* message;
        const char* log;
        bool scrolls;
    };
    const Step steps[] = {
        {"pot 512", [&] { slider(0)->setValue(512); }, "01000500400000",
         "data sent pot 0: 01000500400000", true},
        {"pot 1023", [&] { slider(0)->setValue(1023); }, "010005007FE000",
         "data sent pot 0: 010005007FE000", true},
        {"pot 0", [&] { slider(0)->setValue(0); }, "01000500000000",
         "data sent pot 0: 01000500000000", true},
        {"switch on", [&] { sw(3)->setChecked(true); }, "01000C00800000",
         "data sent switch 3: 01000C00800000", false},
        {"switch off", [&] { sw(3)->setChecked(false); }, "01000C00000000",
         "data sent switch 3: 01000C00000000", false},
        {"button 1", [&] { button(4)->click(); }, "01000400800000",
         "data sent button 4: 01000400800000", false},
        {"button 2", [&] { button(4)->click(); }, "01000400000000",
         "data sent button 4: 01000400000000", false},
        {"button 3", [&] { button(4)->click(); }, "01000400800000",
         "data sent button 4: 01000400800000", false},
        {"choice 2 of 3", [&] { multi(5)->setCurrentIndex(2); }, "01000600554000",
         "data sent multiswitch 5: 01000600554000", true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        driver.clearWrites();
        Log::instance().clear();
        follows.clear();
        s.act();
        EXPECT_EQ(driver.writtenHex(), QStringList{QString::fromLatin1(s.message)});
        EXPECT_EQ(Log::instance().lines(), QStringList{QString::fromLatin1(s.log)});
        EXPECT_EQ(follows, QList<bool>{s.scrolls});
    }
    EXPECT_EQ(clock.totalPausedMs(), 3);  // 1 ms after each pot message
}

TEST_F(ParamsWindowControls, SwitchStateCaptionFollowsTheSwitch) {
    open();
    auto* state = find<QLabel>(QStringLiteral("state3"));
    sw(3)->setChecked(true);
    EXPECT_EQ(state->text(), QStringLiteral("Inverted"));
    sw(3)->setChecked(false);
    EXPECT_EQ(state->text(), QStringLiteral("-"));
}

TEST_F(ParamsWindowControls, ButtonTogglesRestartWhenTheWindowIsShownAgain) {
    open();
    button(4)->click();
    open();
    button(4)->click();
    EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("01000400800000")});
}

TEST_F(ParamsWindowControls, ReverseBoxSendsItsMessage) {
    open(makeDescriptor(6, {}, {}, {}));
    assignList(5)->setCurrentIndex(0);  // assigned: the box becomes usable
    ASSERT_TRUE(reverse(5)->isEnabled());
    reverse(5)->setChecked(true);
    reverse(5)->setChecked(false);
    EXPECT_EQ(driver.writtenHex(),
              (QStringList{QStringLiteral("080105"), QStringLiteral("08FF05")}));
    EXPECT_FALSE(parameterSettings().reverse_flags[5]);
}

TEST_F(ParamsWindowControls, BypassMessage) {
    open();
    window->bypass(true);
    window->bypass(false);
    EXPECT_EQ(driver.writtenHex(), (QStringList{QStringLiteral("0D01"), QStringLiteral("0D00")}));
    EXPECT_TRUE(Log::instance().lines().isEmpty());
}

TEST_F(ParamsWindowControls, RequestFlagSilencesEveryControl) {
    open();
    assignList(0)->setCurrentIndex(0);
    driver.clearWrites();
    device.setRequestInProgress(true);
    slider(0)->setValue(700);
    sw(3)->setChecked(true);
    button(4)->click();
    multi(5)->setCurrentIndex(1);
    reverse(0)->setChecked(true);
    device.setRequestInProgress(false);
    EXPECT_TRUE(driver.writes.isEmpty());
}

// AA kind index hi lo, with 3 pots, a switch at 3, a button at 4, a 3-choice list at 5.
TEST_F(ParamsWindowControls, ControlReportsMoveTheControls) {
    open();
    struct Case {
        const char* name;
        QByteArray report;
        std::function<bool()> shown;
        QStringList sent;  // only switches and lists answer; pots are silent
    };
    const Case cases[] = {
        {"multi value 1023 -> third choice",
         QByteArray::fromHex("AA020503FF"),
         [&] { return multi(5)->currentIndex() == 2; },
         {QStringLiteral("01000600554000")}},
        {"multi value 256 -> first choice",
         QByteArray::fromHex("AA02050100"),
         [&] { return multi(5)->currentIndex() == 0; },
         {QStringLiteral("01000600000000")}},
        {"switch on",
         QByteArray::fromHex("AA06030001"),
         [&] { return sw(3)->isChecked(); },
         {QStringLiteral("01000C00800000")}},
        {"switch off",
         QByteArray::fromHex("AA06030000"),
         [&] { return !sw(3)->isChecked(); },
         {QStringLiteral("01000C00000000")}},
        {"pot kind 0",
         QByteArray::fromHex("AA00010200"),
         [&] { return slider(1)->value() == 512; },
         {}},
        {"pot kind 11",
         QByteArray::fromHex("AA0B01FFFF"),
         [&] { return slider(1)->value() == 1023; },
         {}},
        {"button pressed",
         QByteArray::fromHex("AA07040001"),
         [&] { return button(4)->isDown(); },
         {}},
        {"button released",
         QByteArray::fromHex("AA07040000"),
         [&] { return !button(4)->isDown(); },
         {}},
        {"switch kind on a pot is ignored",
         QByteArray::fromHex("AA05010000"),
         [&] { return slider(1)->value() == 1023; },
         {}},
        {"index past the parameters", QByteArray::fromHex("AA0009FFFF"), [] { return true; }, {}},
        {"unknown kind",
         QByteArray::fromHex("AA0C000100"),
         [&] { return slider(0)->value() == 0; },
         {}},
        {"too short", QByteArray::fromHex("AA0600"), [&] { return !sw(3)->isChecked(); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.clearWrites();
        window->ApplyControlReport(c.report);
        EXPECT_TRUE(c.shown());
        EXPECT_EQ(driver.writtenHex(), c.sent);
        EXPECT_FALSE(device.pedalMoveInProgress());
    }
}

TEST_F(ParamsWindowControls, PotReportLogsTheHighByteTimes256) {
    open();
    Log::instance().clear();
    window->ApplyControlReport(QByteArray::fromHex("AA00010203"));
    EXPECT_EQ(Log::instance().lines(), QStringList{QStringLiteral("00000200")});
}

TEST_F(ParamsWindowControls, AKnobReportOnTheControllerReachesOnlyTheEffectOnThePedal) {
    const struct {
        const char* name;
        bool onPedal;
        bool open;
        int slider1;  // slider 1 afterwards; -1: no controls
    } cases[] = {
        {"the effect on the pedal", true, true, 512},
        {"another effect", false, true, 0},
        {"no controls", true, false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        slider(1)->setValue(0);
        device.setSelectedIsOnPedal(c.onPedal);
        if (!c.open) window->closeWindow();
        device.reportControl(QByteArray::fromHex("AA00010200"));
        if (c.slider1 >= 0) {
            EXPECT_EQ(slider(1)->value(), c.slider1);
        }
        EXPECT_EQ(window->isBuilt(), c.open);
        if (window->isBuilt()) window->closeWindow();
        device.setSelectedIsOnPedal(true);
    }
}

class ParamsWindowRequest : public ParamsWindowFixture {
  protected:
    // Pots 100/1023/0, switch on, choice value 400 (second choice), parameter 0
    // on "EXP" reversed, 1 on "FS", the others not assigned; bypass "FL",
    // preset none, LED "RED", bank mode bank II, MIDI channel 16.
    QVector<std::uint8_t> record() const {
        return RecordBuilder(6)
            .value(0, 100)
            .value(1, 1023)
            .value(3, 1024)
            .value(5, 400)
            .assignment(0, 0x0B)
            .assignment(1, 0x08)
            .reverse(0, 0x01)
            .reverse(1, 0x00)
            .bypass(0x09)
            .led(0, 0x02)
            .mode(1, 1)
            .midi(0x10)
            .bytes;
    }
};

TEST_F(ParamsWindowRequest, ButtonRequestAppliesEverythingAndSendsOnlyTheRequest) {
    open();
    pedalHolds(record());
    requestFromButton();
    EXPECT_TRUE(window->lastRequestApplied());
    EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("0206")});

    EXPECT_EQ(slider(0)->value(), 100);
    EXPECT_EQ(slider(1)->value(), 1023);
    EXPECT_TRUE(sw(3)->isChecked());
    EXPECT_EQ(find<QLabel>(QStringLiteral("state3"))->text(), QStringLiteral("Inverted"));
    EXPECT_EQ(multi(5)->currentIndex(), 1);
    EXPECT_EQ(assignList(0)->currentText(), QStringLiteral("EXP"));
    EXPECT_EQ(assignList(1)->currentText(), QStringLiteral("FS"));
    EXPECT_EQ(assignList(2)->currentText(), QStringLiteral("--"));
    EXPECT_EQ(led(0)->currentText(), QStringLiteral("RED"));
    EXPECT_TRUE(reverse(0)->isChecked());
    EXPECT_FALSE(reverse(1)->isChecked());  // 0x00 leaves it as it was

    const TParameterSettings& s = parameterSettings();
    EXPECT_EQ(s.param_values, (QVector<qint32>{100, 1023, 0, 1024, 0, 400}));
    EXPECT_EQ(s.assignments[0], 0x0B);
    EXPECT_EQ(s.assignments[2], 255);
    EXPECT_EQ(s.led_assignments[0], 2);
    EXPECT_TRUE(s.reverse_flags[0]);

    // Bank mode from the record: the function lists are fixed on FS and FL.
    EXPECT_TRUE(mainWindow.calls.contains(QStringLiteral("SetBankMode")));
    EXPECT_EQ(mainWindow.bank, 1);
    EXPECT_EQ(bypassList()->currentText(), QStringLiteral("FS"));
    EXPECT_EQ(presetList()->currentText(), QStringLiteral("FL"));
    EXPECT_FALSE(bypassList()->isEnabled());
    EXPECT_FALSE(presetList()->isEnabled());
    EXPECT_EQ(s.bypass_assignment, 0x08);
    EXPECT_EQ(s.preset_assignment, 0x09);
    EXPECT_EQ(find<QLabel>(QStringLiteral("captionPreset"))->text(), QStringLiteral("Bank Select"));

    EXPECT_EQ(mainWindow.midiItem, 16);
    // Reverse boxes usable only where assigned; everything else enabled.
    EXPECT_TRUE(reverse(0)->isEnabled());
    EXPECT_TRUE(reverse(1)->isEnabled());
    EXPECT_FALSE(reverse(2)->isEnabled());
    EXPECT_TRUE(slider(2)->isEnabled());
    EXPECT_TRUE(mainWindow.tickRunning);
    EXPECT_TRUE(mainWindow.requestEnabled);
    EXPECT_TRUE(mainWindow.assignEnabled);
    EXPECT_TRUE(mainWindow.storeEnabled);
    EXPECT_TRUE(mainWindow.liveLabelEnabled);
    EXPECT_EQ(mainWindow.calls.first(), QStringLiteral("stopReceiveTick"));
    EXPECT_EQ(clock.totalPausedMs(), 200);
}

TEST_F(ParamsWindowRequest, ModeAndMidiBytes) {
    struct Case {
        std::uint8_t mode, number, midi;
        const char* call;
        int bank, midiItem;
    };
    for (const Case& c :
         {Case{1, 1, 0x00, "SetBankMode", 1, 0}, Case{0, 7, 0xFF, "SetPresetMode", -1, 0},
          Case{2, 1, 0x11, nullptr, -1, -1}}) {
        SCOPED_TRACE(int(c.mode));
        device.setBankMode(false);
        mainWindow.calls.clear();
        mainWindow.bank = -1;
        mainWindow.midiItem = 99;
        open();
        pedalHolds(RecordBuilder(6).mode(c.mode, c.number).midi(c.midi).bytes);
        requestFromButton();
        EXPECT_EQ(mainWindow.calls.contains(QStringLiteral("SetBankMode")),
                  c.call && QString::fromLatin1(c.call) == QStringLiteral("SetBankMode"));
        EXPECT_EQ(mainWindow.calls.contains(QStringLiteral("SetPresetMode")),
                  c.call && QString::fromLatin1(c.call) == QStringLiteral("SetPresetMode"));
        EXPECT_EQ(mainWindow.bank, c.bank);
        EXPECT_EQ(mainWindow.midiItem, c.midiItem);
    }
}

TEST_F(ParamsWindowRequest, MissingOrCutReplyAppliesNothing) {
    struct Case {
        const char* name;
        QByteArray reply;
    };
    const Case cases[] = {
        {"no reply", {}},
        {"cut reply", settingsReplyText(RecordBuilder(6).value(0, 900).bytes.mid(0, 30))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        pedalHolds(RecordBuilder(6).value(0, 100).assignment(0, 0).bytes);
        requestFromButton();
        const TParameterSettings before = parameterSettings();
        prompt.informations.clear();
        const QByteArray reply = c.reply;
        driver.answerRequest = [reply](const QByteArray&) { return reply; };
        mainWindow.assignEnabled = false;
        // The Save path sends what changes, so stale values would go to the pedal.
        window->request_settings();
        EXPECT_FALSE(window->lastRequestApplied());
        EXPECT_EQ(driver.writtenHex().mid(1), QStringList{QStringLiteral("0206")});
        EXPECT_EQ(slider(0)->value(), 100);
        EXPECT_EQ(parameterSettings().param_values, before.param_values);
        EXPECT_EQ(prompt.informations.size(), 1);
        EXPECT_TRUE(mainWindow.tickRunning);
        EXPECT_TRUE(mainWindow.requestEnabled);
        EXPECT_FALSE(mainWindow.assignEnabled);
    }
}

TEST_F(ParamsWindowRequest, WindowClosedWhileWaitingAppliesNothing) {
    open();
    const QByteArray reply = settingsReplyText(record());
    driver.answerRequest = [this, reply](const QByteArray&) {
        window->closeWindow();  // the user closes it while the editor waits
        return reply;
    };
    requestFromButton();
    EXPECT_FALSE(window->lastRequestApplied());
    EXPECT_TRUE(parameterSettings().param_values.isEmpty());
    EXPECT_TRUE(prompt.informations.isEmpty());
    EXPECT_TRUE(mainWindow.tickRunning);
    EXPECT_FALSE(mainWindow.requestEnabled);
    EXPECT_FALSE(mainWindow.calls.contains(QStringLiteral("SetBankMode")));
}

TEST_F(ParamsWindowRequest, UnassignedParameterFromThePedalHasNoUsableReverseBox) {
    open();
    pedalHolds(RecordBuilder(6).assignment(0, 0xFF).reverse(0, 0x01).bytes);
    requestFromButton();
    EXPECT_EQ(assignList(0)->currentText(), QStringLiteral("--"));
    EXPECT_FALSE(reverse(0)->isEnabled());
}

TEST_F(ParamsWindowRequest, PedalMovesSilenceOnlyPots) {
    open();
    device.setPedalMoveInProgress(true);
    slider(0)->setValue(300);
    sw(3)->setChecked(true);
    device.setPedalMoveInProgress(false);
    EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("01000C00800000")});
}
