// What differs from the stored values and reverting to them, A/B compare, and
// the assignment matrix with its notes, without a window.

#include <gtest/gtest.h>

#include "ParamsTestSupport.h"
#include "params/AbCompare.h"
#include "params/AssignmentMatrix.h"
#include "params/ParameterHistory.h"
#include "params/StoredValues.h"

using namespace zendal;
using namespace zendal::tone;

namespace {

using Field = ControlRef::Field;

// Pots 0 and 1, switch 2, button 3, a choice list of three at 4, readbacks Level and Env.
TControlDescriptor toneDescriptor() {
    return test::makeDescriptor(2, {QStringLiteral("Boost:Off:On"), QStringLiteral("Tap@")},
                                {QStringLiteral("Mode;Clean;Crunch;Lead")},
                                {QStringLiteral("Level"), QStringLiteral("Env")});
}

QStringList texts(const QVector<PlannedMessage>& sent) {
    QStringList out;
    for (const PlannedMessage& m : sent) out << m.text;
    return out;
}

struct ToneFixture : ::testing::Test {
    ParameterValues values;
    ParameterHistory history{values};
    StoredValues stored;
    AbCompare ab;
    void SetUp() override {
        values.reset(toneDescriptor());
        // The pedal's settings, as a request reads them.
        values.applyRecord(*decodeSettingsRecord(test::RecordBuilder(5)
                                                     .value(0, 100)
                                                     .value(1, 200)
                                                     .value(4, 682)
                                                     .assignment(0, 0x00)
                                                     .led(0, 0x02)
                                                     .bytes,
                                                 5));
        stored.remember(values.current());
    }
    const TControlDescriptor& d() const { return values.descriptor(); }
};

}  // namespace

TEST_F(ToneFixture, StoreThenChangeThenRevert) {
    EXPECT_FALSE(stored.hasUnstoredChanges(d(), values.current()));
    history.change(valueOf(0), 600);
    history.change(valueOf(2), 1024);
    history.change(ledOf(1), 0x03);
    history.change(reverseOf(0), 1);
    EXPECT_EQ(stored.differing(d(), values.current()),
              (QVector<ControlRef>{valueOf(0), valueOf(2), reverseOf(0), ledOf(1)}));
    EXPECT_TRUE(stored.differs(d(), values.current(), valueOf(2)));
    EXPECT_FALSE(stored.differs(d(), values.current(), valueOf(1)));

    const QVector<PlannedMessage> reverted = history.changeAll(
        stored.revertTarget(values.current()), QStringLiteral("Revert to Stored"));
    EXPECT_EQ(texts(reverted), (QStringList{"010001000C8000", "01000300000000", "08FF00"}));
    EXPECT_FALSE(stored.hasUnstoredChanges(d(), values.current()));
    EXPECT_EQ(history.count(), 5);  // the revert is one step

    EXPECT_EQ(texts(history.undo()), (QStringList{"010001004B0000", "01000300800000", "080100"}));
    EXPECT_TRUE(stored.hasUnstoredChanges(d(), values.current()));
}

TEST_F(ToneFixture, AControlShowingTheStoredValueIsNotMarked) {
    // 682 was stored for the list of three; the user picks the same choice, sent as 682 too,
    // and a pedal report of 1023 still shows that choice.
    values.applyReport(4, 1023);
    EXPECT_FALSE(stored.differs(d(), values.current(), valueOf(4)));
    // A change and its undo leave nothing to store.
    history.change(valueOf(1), 201);
    EXPECT_TRUE(stored.hasUnstoredChanges(d(), values.current()));
    history.undo();
    EXPECT_FALSE(stored.hasUnstoredChanges(d(), values.current()));
    // Bypass is not kept by the pedal.
    history.change({Field::Bypass, 0}, 1);
    EXPECT_FALSE(stored.hasUnstoredChanges(d(), values.current()));
    EXPECT_EQ(stored.revertTarget(values.current()).bypassed, true);
}

TEST_F(ToneFixture, NothingIsMarkedUntilTheStoredValuesAreKnownAndAStoreTakesTheCurrentOnes) {
    stored.clear();
    history.change(valueOf(0), 7);
    EXPECT_FALSE(stored.hasUnstoredChanges(d(), values.current()));
    EXPECT_EQ(stored.revertTarget(values.current()), values.current());
    stored.remember(values.current());  // a successful store
    history.change(valueOf(0), 8);
    EXPECT_EQ(stored.differing(d(), values.current()), QVector<ControlRef>{valueOf(0)});
}

TEST_F(ToneFixture, ASettingsRequestBringsNewStoredValues) {
    history.change(valueOf(0), 900);
    values.applyRecord(*decodeSettingsRecord(test::RecordBuilder(5).value(0, 900).bytes, 5));
    stored.remember(values.current());
    EXPECT_FALSE(stored.hasUnstoredChanges(d(), values.current()));
    // An assignment byte outside the table shows "--" and is kept as none.
    values.applyRecord(*decodeSettingsRecord(test::RecordBuilder(5).assignment(1, 0x40).bytes, 5));
    EXPECT_EQ(values.value(assignmentOf(1)), 0xFF);
}

TEST(ParamsStoredValues, CaptionAndDescription) {
    EXPECT_EQ(captionWithStoredState(QStringLiteral("Drive v1"), false),
              QStringLiteral("Drive v1"));
    EXPECT_EQ(captionWithStoredState(QStringLiteral("Drive v1"), true),
              QStringLiteral("Drive v1 - unstored changes"));
    EXPECT_FALSE(changedSinceStoredDescription().isEmpty());
}

TEST_F(ToneFixture, ABTogglesSendOnlyWhatDiffersAndTwiceReturnsToTheStart) {
    EXPECT_EQ(ab.live(), AbSlot::A);
    EXPECT_FALSE(ab.toggle(values.current()).has_value());  // B is empty

    const PanelSnapshot start = values.current();
    ab.copyToOther(start);
    history.change(valueOf(1), 800);
    history.change(valueOf(4), 0);
    history.change(assignmentOf(1), 0x0B);
    history.change({Field::Bypass, 0}, 1);
    const PanelSnapshot edited = values.current();

    std::optional<PanelSnapshot> toB = ab.toggle(values.current());
    ASSERT_TRUE(toB);
    EXPECT_EQ(ab.live(), AbSlot::B);
    EXPECT_EQ(texts(values.moveTo(*toB)), (QStringList{"01000200190000", "01000500554000"}));
    EXPECT_TRUE(values.current().bypassed);  // bypass is not part of the compare

    std::optional<PanelSnapshot> toA = ab.toggle(values.current());
    ASSERT_TRUE(toA);
    EXPECT_EQ(ab.live(), AbSlot::A);
    EXPECT_EQ(texts(values.moveTo(*toA)), (QStringList{"01000200640000", "01000500000000"}));
    EXPECT_EQ(values.current(), edited);
    EXPECT_EQ(abSlotName(ab.live()), QStringLiteral("A"));

    ab.clear();
    EXPECT_FALSE(ab.hasOther());
    EXPECT_EQ(ab.live(), AbSlot::A);
}

TEST_F(ToneFixture, ABToggleOfEqualSlotsSendsNothing) {
    ab.copyToOther(values.current());
    EXPECT_TRUE(values.moveTo(*ab.toggle(values.current())).isEmpty());
    EXPECT_EQ(ab.live(), AbSlot::B);
}

TEST(ParamsAssignmentMatrix, ShowsTheMappingAndNotesWhatIsUsedTwice) {
    const TControlDescriptor d = toneDescriptor();
    struct Case {
        const char* name;
        QVector<int> assignments;  // per parameter
        QVector<int> leds;         // per readback
        int bypass, preset;
        bool bank;
        QStringList notes;
    };
    const Case cases[] = {
        {"all different", {0x00, 0x01, 0x08, 0xFF, 0x0B}, {0x00, 0x01}, 0x09, 0x0A, false, {}},
        {"a knob on two parameters",
         {0x01, 0x01, 0xFF, 0xFF, 0xFF},
         {0xFF, 0xFF},
         0xFF,
         0xFF,
         false,
         {"KII is used by Pot0 and Pot1."}},
        {"three parameters on one knob",
         {0x04, 0x04, 0x04, 0xFF, 0xFF},
         {0xFF, 0xFF},
         0xFF,
         0xFF,
         false,
         {"KV is used by Pot0, Pot1 and Boost."}},
        {"footswitch on a parameter and bypass",
         {0xFF, 0xFF, 0x08, 0xFF, 0xFF},
         {0xFF, 0xFF},
         0x08,
         0xFF,
         false,
         {"FS is used by Boost and Bypass Toggle."}},
        {"bank select on FL beside a parameter",
         {0xFF, 0xFF, 0xFF, 0x09, 0xFF},
         {0xFF, 0xFF},
         0x08,
         0x09,
         true,
         {"FL is used by Tap and Bank Select."}},
        {"one LED for both readbacks",
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         {0x02, 0x02},
         0xFF,
         0xFF,
         false,
         {"The RED LED shows Level and Env."}},
        {"nothing assigned", QVector<int>(5, 0xFF), {0xFF, 0xFF}, 0xFF, 0xFF, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PanelSnapshot s = PanelSnapshot::initial(5, 2);
        s.assignments = c.assignments;
        s.leds = c.leds;
        s.bypassFunction = c.bypass;
        s.presetFunction = c.preset;
        const AssignmentMatrix m = buildAssignmentMatrix(d, s, c.bank);
        EXPECT_EQ(m.notes, c.notes);
        ASSERT_EQ(m.parameterRows.size(), 5);
        ASSERT_EQ(m.functionRows.size(), 2);
        ASSERT_EQ(m.readbackRows.size(), 2);
        for (int i = 0; i < 5; ++i) {
            const int expected = c.assignments[i] == 0xFF ? -1 : c.assignments[i];
            EXPECT_EQ(m.parameterRows[i].column, expected) << i;
        }
    }
}

TEST(ParamsAssignmentMatrix, MarksTheSharedRowsAndNamesTheColumns) {
    const TControlDescriptor d = toneDescriptor();
    PanelSnapshot s = PanelSnapshot::initial(5, 2);
    s.assignments = {0x0B, 0x02, 0x0B, 0xFF, 0xFF};
    s.leds = {0x03, 0xFF};
    s.bypassFunction = 0x0A;
    const AssignmentMatrix m = buildAssignmentMatrix(d, s, false);
    EXPECT_EQ(m.controlColumns.join(u' '),
              QStringLiteral("KI KII KIII KIV KV B1 B2 B3 FS FL RMT EXP"));
    EXPECT_EQ(m.ledColumns.join(u' '), QStringLiteral("SX DX RED GREEN"));
    EXPECT_TRUE(m.parameterRows[0].shared);
    EXPECT_FALSE(m.parameterRows[1].shared);
    EXPECT_TRUE(m.parameterRows[2].shared);
    EXPECT_EQ(m.functionRows[0].name, QStringLiteral("Bypass Toggle"));
    EXPECT_EQ(m.functionRows[0].column, 10);  // RMT
    EXPECT_EQ(m.functionRows[1].name, QStringLiteral("Preset Change"));
    EXPECT_EQ(m.functionRows[1].column, -1);
    EXPECT_EQ(m.readbackRows[0].column, 3);
    EXPECT_EQ(m.readbackRows[1].column, -1);
}
