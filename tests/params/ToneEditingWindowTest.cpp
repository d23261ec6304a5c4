// Tone editing in the parameter window: undo and redo send what the controls
// would have sent, marks and caption follow the stored values, Revert to
// Stored, A/B compare, the question before unstored changes are left, and the
// assignment notes.

#include <QAction>
#include <QDir>
#include <QFile>

#include "WindowFixture.h"
#include "params/StoredValues.h"

using namespace zendal;
using namespace zendal::test;

class ParamsToneEditing : public ParamsWindowFixture {
  protected:
    // Pot 0 (0005) at 100, switch 3 (000C) off, choice 5 (0006) second of three.
    void openWithPedalSettings() {
        open();
        pedalHolds(RecordBuilder(6).value(0, 100).value(5, 400).assignment(0, 0x0B).bytes);
        requestFromButton();
        driver.clearWrites();
        Log::instance().clear();
    }
    QAction* action(const char* name) const {
        return window->findChild<QAction*>(QString::fromLatin1(name));
    }
    QPushButton* tool(const char* name) const {
        return find<QPushButton>(QString::fromLatin1(name));
    }
    bool marked(const QString& name) const {
        auto* mark = find<QLabel>(name);
        return mark && !mark->isHidden();
    }
    void drag(QSlider* s, std::initializer_list<int> positions) {
        s->setSliderDown(true);
        for (int p : positions) s->setValue(p);
        s->setSliderDown(false);
    }
};

TEST_F(ParamsToneEditing, UndoAfterASliderDragSendsTheOldValue) {
    openWithPedalSettings();
    drag(slider(0), {150, 300, 512});
    EXPECT_EQ(driver.writtenHex().size(), 3);  // every position still goes out at once
    driver.clearWrites();
    Log::instance().clear();

    ASSERT_TRUE(action("actionUndo"));
    EXPECT_TRUE(action("actionUndo")->isEnabled());
    EXPECT_EQ(action("actionUndo")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(action("actionRedo")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    action("actionUndo")->trigger();
    EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("010005000C8000")});  // 100
    EXPECT_EQ(Log::instance().lines(),
              QStringList{QStringLiteral("data sent pot 0: 010005000C8000")});
    EXPECT_EQ(slider(0)->value(), 100);
    EXPECT_FALSE(action("actionUndo")->isEnabled());  // the drag was one step

    driver.clearWrites();
    action("actionRedo")->trigger();
    EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("01000500400000")});  // 512
    EXPECT_EQ(slider(0)->value(), 512);
}

TEST_F(ParamsToneEditing, UndoOfEachControlKindSendsItsOwnMessage) {
    openWithPedalSettings();
    struct Case {
        const char* name;
        std::function<void()> act;
        QStringList undone;
        std::function<bool()> shownBack;
    };
    const Case cases[] = {
        {"switch",
         [&] { sw(3)->setChecked(true); },
         {"01000C00000000"},
         [&] { return !sw(3)->isChecked(); }},
        {"button", [&] { button(4)->click(); }, {"01000400000000"}, [] { return true; }},
        {"choice", [&] { multi(5)->setCurrentIndex(2); }, {}, {}},
        {"assignment",
         [&] { assignList(1)->setCurrentIndex(3); },
         {},
         [&] { return assignList(1)->currentIndex() == 12; }},
        {"reverse",
         [&] { reverse(0)->setChecked(true); },
         {"08FF00"},
         [&] { return !reverse(0)->isChecked(); }},
        {"led",
         [&] { led(0)->setCurrentIndex(2); },
         {},
         [&] { return led(0)->currentIndex() == 4; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.act();
        driver.clearWrites();
        window->undo();
        if (QString::fromLatin1(c.name) == QLatin1String("choice")) {
            // Back to the second of three choices, as the pedal had it: 341.
            EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("010006002AA000")});
            EXPECT_EQ(multi(5)->currentIndex(), 1);
        } else {
            EXPECT_EQ(driver.writtenHex(), c.undone);
            EXPECT_TRUE(c.shownBack());
        }
    }
}

TEST_F(ParamsToneEditing, APedalReportBetweenAChangeAndItsUndo) {
    openWithPedalSettings();
    slider(0)->setValue(500);
    window->ApplyControlReport(QByteArray::fromHex("AA000002BC"));  // the knob at 700
    EXPECT_EQ(slider(0)->value(), 700);
    driver.clearWrites();
    window->undo();
    EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("010005000C8000")});  // 100
    EXPECT_EQ(slider(0)->value(), 100);
    EXPECT_FALSE(action("actionUndo")->isEnabled());  // the report was no step
}

TEST_F(ParamsToneEditing, MarksCaptionAndRevertToStored) {
    openWithPedalSettings();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Test FX v1"));
    EXPECT_FALSE(marked(QStringLiteral("changed3")));
    EXPECT_FALSE(action("actionRevertToStored")->isEnabled());

    sw(3)->setChecked(true);
    assignList(0)->setCurrentIndex(12);  // "--"
    EXPECT_TRUE(marked(QStringLiteral("changed3")));
    EXPECT_TRUE(marked(QStringLiteral("changedAssign0")));
    EXPECT_FALSE(marked(QStringLiteral("changed0")));
    EXPECT_EQ(sw(3)->accessibleDescription(), tone::changedSinceStoredDescription());
    EXPECT_TRUE(slider(0)->accessibleDescription().isEmpty());
    slider(0)->setValue(512);
    EXPECT_TRUE(marked(QStringLiteral("changed0")));
    // The slider is described by its tooltip, which tells the value first.
    EXPECT_EQ(slider(0)->toolTip(),
              QStringLiteral("512 of 1023 (50%) - ") + tone::changedSinceStoredDescription());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Test FX v1 - unstored changes"));
    EXPECT_TRUE(window->hasUnstoredChanges());

    driver.clearWrites();
    action("actionRevertToStored")->trigger();
    EXPECT_EQ(driver.writtenHex(),
              (QStringList{QStringLiteral("010005000C8000"), QStringLiteral("01000C00000000")}));
    EXPECT_EQ(slider(0)->toolTip(), QStringLiteral("100 of 1023 (10%)"));
    EXPECT_EQ(assignList(0)->currentIndex(), 11);  // "EXP" again
    EXPECT_TRUE(reverse(0)->isEnabled());
    EXPECT_EQ(parameterSettings().assignments[0], 0x0B);
    EXPECT_FALSE(marked(QStringLiteral("changed3")));
    EXPECT_TRUE(sw(3)->accessibleDescription().isEmpty());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Test FX v1"));

    // The revert is one step of its own.
    driver.clearWrites();
    window->undo();
    EXPECT_EQ(driver.writtenHex(),
              (QStringList{QStringLiteral("01000500400000"), QStringLiteral("01000C00800000")}));
    EXPECT_EQ(assignList(0)->currentIndex(), 12);
}

TEST_F(ParamsToneEditing, AStoreOrARequestMakesTheShownValuesTheStoredOnes) {
    openWithPedalSettings();
    slider(0)->setValue(900);
    EXPECT_TRUE(window->hasUnstoredChanges());
    window->settingsStored();
    EXPECT_FALSE(window->hasUnstoredChanges());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Test FX v1"));

    slider(0)->setValue(901);
    pedalHolds(RecordBuilder(6).value(0, 42).bytes);
    requestFromButton();
    EXPECT_FALSE(window->hasUnstoredChanges());
    EXPECT_EQ(slider(0)->value(), 42);
}

TEST_F(ParamsToneEditing, APresetLoadIsOneUndoStep) {
    open(makeDescriptor(2, {}, {}, {}, {QStringLiteral("0005"), QStringLiteral("0007")}));
    pedalHolds(RecordBuilder(2).value(0, 1023).assignment(0, 0x08).reverse(0, 0x01).bytes);
    requestFromButton();
    QDir().mkpath(home.path() + QStringLiteral("/in"));
    const QString path = home.path() + QStringLiteral("/in/p.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0026\r01\r02\r00200000\r00400000\rFF\rFF\r0\r0\r");
    f.close();
    prompt.answerFile(path);
    driver.clearWrites();
    window->menuLoadConfigurationClick();
    EXPECT_EQ(driver.writtenHex(),
              (QStringList{QStringLiteral("01000500200000"), QStringLiteral("01000700400000"),
                           QStringLiteral("08FF00")}));
    EXPECT_EQ(action("actionUndo")->text(), QStringLiteral("Undo Load Configuration"));

    driver.clearWrites();
    window->undo();
    EXPECT_EQ(driver.writtenHex(),
              (QStringList{QStringLiteral("010005007FE000"), QStringLiteral("01000700000000"),
                           QStringLiteral("080100")}));
    EXPECT_EQ(assignList(0)->currentIndex(), 8);
    EXPECT_TRUE(reverse(0)->isChecked());
    EXPECT_FALSE(action("actionUndo")->isEnabled());
    EXPECT_FALSE(window->hasUnstoredChanges());
}

TEST_F(ParamsToneEditing, ABCompareSendsOnlyWhatDiffersAndTogglesBack) {
    openWithPedalSettings();
    ASSERT_TRUE(tool("btnCopyToB"));
    EXPECT_TRUE(tool("btnSlotA")->isChecked());
    EXPECT_FALSE(tool("btnSlotB")->isEnabled());  // B is empty
    tool("btnCopyToB")->click();
    EXPECT_TRUE(tool("btnSlotB")->isEnabled());
    slider(1)->setValue(600);
    sw(3)->setChecked(true);
    driver.clearWrites();

    tool("btnSlotB")->click();
    EXPECT_EQ(driver.writtenHex(),
              (QStringList{QStringLiteral("01000200000000"), QStringLiteral("01000C00000000")}));
    EXPECT_TRUE(tool("btnSlotB")->isChecked());
    EXPECT_FALSE(tool("btnSlotA")->isChecked());
    EXPECT_EQ(tool("btnCopyToB")->text(), QStringLiteral("Copy to A"));
    EXPECT_EQ(slider(1)->value(), 0);

    driver.clearWrites();
    tool("btnSlotA")->click();
    EXPECT_EQ(driver.writtenHex(),
              (QStringList{QStringLiteral("010002004B0000"), QStringLiteral("01000C00800000")}));
    EXPECT_EQ(slider(1)->value(), 600);
    EXPECT_TRUE(sw(3)->isChecked());

    // A click on the live slot sends nothing and keeps it live.
    driver.clearWrites();
    tool("btnSlotA")->click();
    EXPECT_TRUE(driver.writtenHex().isEmpty());
    EXPECT_TRUE(tool("btnSlotA")->isChecked());
}

TEST_F(ParamsToneEditing, LeavingUnstoredChangesAsksStoreDiscardOrCancel) {
    struct Case {
        const char* name;
        QList<bool> answers;  // "store?", then "discard?"
        bool leaves;
        QStringList sent;
    };
    const Case cases[] = {
        {"store", {true}, true, {"0306"}},
        {"discard", {false, true}, true, {}},
        {"cancel", {false, false}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openWithPedalSettings();
        EXPECT_TRUE(window->confirmLeavingUnstored());  // nothing changed: no question
        EXPECT_TRUE(prompt.confirmations.isEmpty());
        slider(2)->setValue(10);
        driver.clearWrites();
        for (bool yes : c.answers) prompt.answerConfirm(yes);
        EXPECT_EQ(window->confirmLeavingUnstored(), c.leaves);
        EXPECT_EQ(driver.writtenHex(), c.sent);
        EXPECT_EQ(prompt.confirmations.size(), c.answers.size());
        EXPECT_EQ(prompt.confirmations.value(0),
                  storeChangesQuestion(
                      QStringLiteral("The settings of Test FX v1 have unstored changes.")));
        EXPECT_EQ(window->hasUnstoredChanges(), c.name != QLatin1String("store"));
        prompt.confirmations.clear();
    }
}

TEST_F(ParamsToneEditing, NothingIsUndoneWhileARequestWaitsOrTheWindowIsDisabled) {
    openWithPedalSettings();
    slider(0)->setValue(3);
    driver.clearWrites();
    {
        RequestInProgress request(device);
        window->undo();
        window->revertToStored();
    }
    window->EnableDisableControls(false);
    EXPECT_FALSE(action("actionUndo")->isEnabled());
    window->undo();
    EXPECT_TRUE(driver.writtenHex().isEmpty());
    EXPECT_EQ(slider(0)->value(), 3);
    window->EnableDisableControls(true);
    window->undo();
    EXPECT_EQ(driver.writtenHex(), QStringList{QStringLiteral("010005000C8000")});
}

TEST_F(ParamsToneEditing, AnEffectChangeClearsTheHistory) {
    openWithPedalSettings();
    slider(0)->setValue(3);
    EXPECT_TRUE(action("actionUndo")->isEnabled());
    open();
    EXPECT_FALSE(action("actionUndo")->isEnabled());
    window->undo();
    EXPECT_TRUE(driver.writtenHex().isEmpty());
}

TEST_F(ParamsToneEditing, AKnobOnTwoParametersIsNotedNotRefused) {
    openWithPedalSettings();
    auto* notes = find<QLabel>(QStringLiteral("assignmentNotes"));
    ASSERT_TRUE(notes);
    EXPECT_TRUE(notes->text().isEmpty());
    assignList(1)->setCurrentIndex(11);  // "EXP", as parameter 0
    EXPECT_EQ(notes->text(), QStringLiteral("EXP is used by Pot0 and Pot1."));
    EXPECT_EQ(assignList(1)->currentIndex(), 11);

    tool("btnMatrix")->click();
    EXPECT_GT(window->width(), 420);
    auto* matrix = find<QWidget>(QStringLiteral("assignmentMatrix"));
    ASSERT_TRUE(matrix);
    // One cell per row and column, the used one marked, a shared one in the note's colour.
    auto cell = [&](const QString& tip) -> QLabel* {
        for (QLabel* l : matrix->findChildren<QLabel*>())
            if (l->toolTip() == tip) return l;
        return nullptr;
    };
    ASSERT_TRUE(cell(QStringLiteral("Pot1: EXP")));
    EXPECT_EQ(cell(QStringLiteral("Pot1: EXP"))->text(), QStringLiteral("\u25CF"));
    EXPECT_FALSE(cell(QStringLiteral("Pot1: EXP"))->styleSheet().isEmpty());
    assignList(1)->setCurrentIndex(2);  // "KIII": nothing shared any more
    EXPECT_EQ(cell(QStringLiteral("Pot1: KIII"))->text(), QStringLiteral("\u25CF"));
    EXPECT_NE(cell(QStringLiteral("Pot1: EXP"))->text(), QStringLiteral("\u25CF"));
    EXPECT_TRUE(notes->text().isEmpty());
    ASSERT_TRUE(cell(QStringLiteral("LFO: SX")));  // the readback row against the LEDs
    tool("btnMatrix")->click();
    EXPECT_EQ(window->width(), 420);
}
