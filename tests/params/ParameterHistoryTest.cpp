// Undo and redo of the parameter window's values, without a window: one step
// per change, drags merged, pedal reports kept out of the history, and the
// exact messages each undo and redo sends.

#include <gtest/gtest.h>

#include "ParamsTestSupport.h"
#include "params/Assignments.h"
#include "params/ParameterHistory.h"

using namespace zendal;
using namespace zendal::tone;

namespace {

using Field = ControlRef::Field;

// Pots 0 and 1, switch 2, button 3, a choice list of three at 4, one readback.
TControlDescriptor toneDescriptor() {
    return test::makeDescriptor(2, {QStringLiteral("Boost:Off:On"), QStringLiteral("Tap@")},
                                {QStringLiteral("Mode;Clean;Crunch;Lead")},
                                {QStringLiteral("Level")});
}

QStringList texts(const QVector<PlannedMessage>& sent) {
    QStringList out;
    for (const PlannedMessage& m : sent) out << m.text;
    return out;
}

QStringList logLines(const QVector<PlannedMessage>& sent) {
    QStringList out;
    for (const PlannedMessage& m : sent) out << m.logLine;
    return out;
}

struct HistoryFixture : ::testing::Test {
    ParameterValues values;
    ParameterHistory history{values};
    void SetUp() override { values.reset(toneDescriptor()); }
};

}  // namespace

TEST_F(HistoryFixture, EachControlKindIsOneStepAndUndoSendsWhatTheControlWouldHave) {
    struct Case {
        const char* name;
        ControlRef ref;
        qint64 value;
        QStringList sent, logged, undone;
    };
    const Case cases[] = {
        {"pot",
         {Field::Value, 0},
         512,
         {"01000100400000"},
         {"data sent pot 0: 01000100400000"},
         {"01000100000000"}},
        {"switch",
         {Field::Value, 2},
         1024,
         {"01000300800000"},
         {"data sent switch 2: 01000300800000"},
         {"01000300000000"}},
        {"button",
         {Field::Value, 3},
         1024,
         {"01000400800000"},
         {"data sent button 3: 01000400800000"},
         {"01000400000000"}},
        {"choice",
         {Field::Value, 4},
         682,
         {"01000500554000"},
         {"data sent multiswitch 4: 01000500554000"},
         {"01000500000000"}},
        {"reverse", {Field::Reverse, 1}, 1, {"080101"}, {"080101"}, {"08FF01"}},
        {"bypass", {Field::Bypass, 0}, 1, {"0D01"}, {""}, {"0D00"}},
        // Lists reach the pedal with Assign only.
        {"assignment", {Field::Assignment, 0}, 0x08, {}, {}, {}},
        {"led", {Field::Led, 0}, 0x02, {}, {}, {}},
        {"bypass function", {Field::BypassFunction, 0}, 0x09, {}, {}, {}},
        {"preset function", {Field::PresetFunction, 0}, 0x0A, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        values.reset(toneDescriptor());
        history.clear();
        const qint64 start = values.value(c.ref);

        const QVector<PlannedMessage> sent = history.change(c.ref, c.value);
        EXPECT_EQ(texts(sent), c.sent);
        EXPECT_EQ(logLines(sent), c.logged);
        EXPECT_EQ(history.count(), 1);
        EXPECT_EQ(values.value(c.ref), c.value);

        EXPECT_EQ(texts(history.undo()), c.undone);
        EXPECT_EQ(values.value(c.ref), start);
        EXPECT_FALSE(history.canUndo());

        EXPECT_EQ(texts(history.redo()), c.sent);
        EXPECT_EQ(values.value(c.ref), c.value);
        EXPECT_FALSE(history.canRedo());
    }
}

TEST_F(HistoryFixture, UndoAndRedoKeepTheLogLineAndScrollingOfTheSender) {
    history.change(valueOf(2), 1024);
    const QVector<PlannedMessage> undone = history.undo();
    ASSERT_EQ(undone.size(), 1);
    EXPECT_EQ(undone[0].logLine, QStringLiteral("data sent switch 2: 01000300000000"));
    EXPECT_FALSE(undone[0].scrolls);  // switch lines are appended without scrolling
    history.change(valueOf(4), 341);
    const QVector<PlannedMessage> multi = history.undo();
    ASSERT_EQ(multi.size(), 1);
    EXPECT_EQ(multi[0].logLine, QStringLiteral("data sent multiswitch 4: 01000500000000"));
    EXPECT_TRUE(multi[0].scrolls);
}

TEST_F(HistoryFixture, ASliderDragIsOneStepAndTheNextDragAnother) {
    for (int position : {10, 200, 350, 400}) history.change(valueOf(0), position, true);
    history.endDrag();
    EXPECT_EQ(history.count(), 1);
    for (int position : {450, 600}) history.change(valueOf(0), position, true);
    history.endDrag();
    EXPECT_EQ(history.count(), 2);

    EXPECT_EQ(texts(history.undo()), QStringList{"01000100320000"});  // 400
    EXPECT_EQ(texts(history.undo()), QStringList{"01000100000000"});  // 0
    EXPECT_EQ(texts(history.redo()), QStringList{"01000100320000"});
    EXPECT_EQ(texts(history.redo()), QStringList{"010001004B0000"});  // 600
}

TEST_F(HistoryFixture, DragBoundariesAreKeptBetweenControlsAndKeyboardSteps) {
    // Two sliders dragged one after the other are two steps, even without a release between.
    history.change(valueOf(0), 100, true);
    history.change(valueOf(1), 100, true);
    history.endDrag();
    EXPECT_EQ(history.count(), 2);
    // Keyboard or wheel changes are not drags: one step each.
    history.change(valueOf(0), 101);
    history.change(valueOf(0), 102);
    EXPECT_EQ(history.count(), 4);
    // A drag right after a keyboard step does not merge into it.
    history.change(valueOf(0), 300, true);
    history.endDrag();
    EXPECT_EQ(history.count(), 5);
    // A drag that ends where it began leaves nothing to undo.
    history.change(valueOf(1), 500, true);
    history.change(valueOf(1), 100, true);
    history.endDrag();
    EXPECT_EQ(history.count(), 5);
    EXPECT_EQ(values.value(valueOf(0)), 300);
}

TEST_F(HistoryFixture, ADragWhoseFirstChangeChangesNothingStartsItsOwnStep) {
    history.change(valueOf(0), 100);        // a keyboard step
    history.change(valueOf(0), 100, true);  // the drag begins where the value is
    history.change(valueOf(0), 200, true);
    history.endDrag();
    EXPECT_EQ(history.count(), 2);
    history.undo();
    EXPECT_EQ(values.value(valueOf(0)), 100);
}

TEST_F(HistoryFixture, PedalChangesAreNotStepsAndUndoGoesBackToWhatTheUserHad) {
    history.change(valueOf(0), 300);
    history.change(valueOf(0), 500);
    values.applyReport(0, 700);  // the player turned the knob on the pedal
    EXPECT_EQ(history.count(), 2);
    EXPECT_EQ(values.value(valueOf(0)), 700);

    EXPECT_EQ(texts(history.undo()), QStringList{"01000100258000"});  // 300, not 500
    EXPECT_EQ(values.value(valueOf(0)), 300);
    EXPECT_EQ(texts(history.redo()), QStringList{"010001003E8000"});  // 500

    // A report that already put the control where the undo goes sends nothing.
    values.applyReport(0, 300);
    EXPECT_TRUE(history.undo().isEmpty());
    EXPECT_EQ(values.value(valueOf(0)), 300);
}

TEST_F(HistoryFixture, ASettingsReplyIsNotAStep) {
    history.change(valueOf(2), 1024);
    const SettingsRecord record = *decodeSettingsRecord(
        test::RecordBuilder(5).value(0, 900).value(2, 0).assignment(0, 0x08).bytes, 5);
    values.applyRecord(record);
    EXPECT_EQ(history.count(), 1);
    EXPECT_EQ(values.value(valueOf(0)), 900);
    EXPECT_EQ(values.value(assignmentOf(0)), 0x08);
    // The switch is already off: undoing its step sends nothing.
    EXPECT_TRUE(history.undo().isEmpty());
}

TEST_F(HistoryFixture, AssignmentToNoneUntickingReverseIsOneStepBothWays) {
    history.change(assignmentOf(1), 0x0B);
    history.change(reverseOf(1), 1);
    EXPECT_EQ(texts(history.change(assignmentOf(1), 0xFF)), QStringList{"08FF01"});
    EXPECT_EQ(values.value(reverseOf(1)), 0);
    EXPECT_EQ(history.count(), 3);

    EXPECT_EQ(texts(history.undo()), QStringList{"080101"});
    EXPECT_EQ(values.value(assignmentOf(1)), 0x0B);
    EXPECT_EQ(values.value(reverseOf(1)), 1);
    EXPECT_EQ(texts(history.redo()), QStringList{"08FF01"});
}

TEST_F(HistoryFixture, APresetLoadIsOneStepAndUndoPutsEveryValueBack) {
    history.change(valueOf(1), 40);
    history.change(assignmentOf(0), 0x08);
    history.change(reverseOf(0), 1);
    const PanelSnapshot before = values.current();

    PanelSnapshot file = before;
    file.values = {1023, 40, 1024, 0, 341};
    file.assignments = {0xFF, 0x01, 0xFF, 0xFF, 0xFF};
    file.reverse = {false, true, false, false, false};
    file.leds = {0x03};
    // The window applies the file through its controls; the step records it.
    const QVector<PlannedMessage> loaded = values.moveTo(file);
    EXPECT_EQ(texts(loaded), (QStringList{"010001007FE000", "01000300800000", "010005002AA000",
                                          "08FF00", "080101"}));
    history.recordSince(before, QStringLiteral("Load Configuration"));
    EXPECT_EQ(history.count(), 4);
    EXPECT_EQ(history.undoText(), QStringLiteral("Load Configuration"));

    EXPECT_EQ(texts(history.undo()), (QStringList{"01000100000000", "01000300000000",
                                                  "01000500000000", "08FF01", "080100"}));
    EXPECT_EQ(values.current(), before);
    EXPECT_EQ(texts(history.redo()), texts(loaded));
    EXPECT_EQ(values.current(), file);
}

TEST_F(HistoryFixture, ANewChangeDropsWhatCouldBeRedoneAndAnEffectChangeClearsAll) {
    history.change(valueOf(0), 1);
    history.change(valueOf(0), 2);
    history.undo();
    history.change(valueOf(1), 5);
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.count(), 2);
    EXPECT_EQ(history.undoText(), QStringLiteral("Pot1"));

    history.clear();
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.canRedo());
    EXPECT_TRUE(history.undo().isEmpty());
    EXPECT_TRUE(history.redo().isEmpty());
}

TEST_F(HistoryFixture, AChangeToTheValueAlreadyShownIsNoStep) {
    history.change(assignmentOf(0), 0xFF);
    history.change(valueOf(0), 0);
    EXPECT_EQ(history.count(), 0);
}

TEST(ParamsSnapshotPlan, AgreesWithThePresetLoadPlan) {
    const TControlDescriptor d = toneDescriptor();
    struct Case {
        const char* name;
        QVector<qint64> shownValues, fileValues;
        QVector<int> shownAssign, fileAssign;
        QVector<bool> shownReverse, fileReverse;
    };
    const QVector<int> none(5, 0xFF);
    const Case cases[] = {
        {"same", {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, none, none, QVector<bool>(5), QVector<bool>(5)},
        {"one pot",
         {5, 0, 0, 0, 0},
         {6, 0, 0, 0, 0},
         none,
         none,
         QVector<bool>(5),
         QVector<bool>(5)},
        {"same choice, other value",
         {0, 0, 0, 0, 1023},
         {0, 0, 0, 0, 682},
         none,
         none,
         QVector<bool>(5),
         QVector<bool>(5)},
        {"switch on",
         {0, 0, 0, 0, 0},
         {0, 0, 1, 0, 0},
         none,
         none,
         QVector<bool>(5),
         QVector<bool>(5)},
        {"assignment cleared under a ticked box",
         {0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0},
         {0x08, 0xFF, 0xFF, 0xFF, 0xFF},
         none,
         {true, false, false, false, false},
         {false, false, false, false, false}},
        {"cleared and ticked again",
         {0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0},
         {0x08, 0xFF, 0xFF, 0xFF, 0xFF},
         none,
         {true, false, false, false, false},
         {true, false, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PanelSnapshot from = PanelSnapshot::initial(5, 1), to = from;
        from.values = c.shownValues;
        from.assignments = c.shownAssign;
        from.reverse = c.shownReverse;
        to.values = c.fileValues;
        to.assignments = c.fileAssign;
        to.reverse = c.fileReverse;

        preset::ShownState shown;
        preset::PresetContents file;
        for (int i = 0; i < 5; ++i) {
            shown.values << from.values[i];
            shown.assignIndex << assign::assignIndexForByte(from.assignments[i]);
            shown.reverseTicked << from.reverse[i];
            shown.reverseFlags << from.reverse[i];
            file.values << qint32(to.values[i]);
            file.assignments << std::uint8_t(to.assignments[i]);
            file.reverse << (to.reverse[i] ? u'1' : u'0');
        }
        const QVector<PlannedMessage> expected = preset::planPresetLoad(d, shown, file);
        const QVector<PlannedMessage> planned = planSnapshotChange(d, from, to);
        EXPECT_EQ(texts(planned), texts(expected));
        EXPECT_EQ(logLines(planned), logLines(expected));
    }
}
