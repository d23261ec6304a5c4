// Panel values and messages, assignment tables and the Assign message, and
// the window geometry, without any window.

#include <gtest/gtest.h>

#include "ParamsTestSupport.h"
#include "params/Assignments.h"
#include "params/PanelGeometry.h"
#include "params/PanelMessages.h"

using namespace zendal;

TEST(ParamsPanelMessages, ParameterMessageCarriesAddressAndValueTimes8192) {
    struct Case {
        const char* address;
        std::uint32_t value;
        const char* message;
    };
    for (const Case& c :
         {Case{"0005", 512, "01000500400000"}, Case{"0005", 1023, "010005007FE000"},
          Case{"0005", 0, "01000500000000"}, Case{"000C", 1024, "01000C00800000"},
          Case{"0000", 682, "01000000554000"}, Case{"0000", 512, "01000000400000"}}) {
        EXPECT_EQ(panel::parameterMessage(QString::fromLatin1(c.address), c.value),
                  QString::fromLatin1(c.message));
    }
    EXPECT_EQ(panel::reverseMessage(true, 5), QStringLiteral("080105"));
    EXPECT_EQ(panel::reverseMessage(false, 5), QStringLiteral("08FF05"));
    EXPECT_EQ(panel::potLogLine(3, QStringLiteral("01")), QStringLiteral("data sent pot 3: 01"));
    EXPECT_EQ(panel::switchLogLine(12, QStringLiteral("01")),
              QStringLiteral("data sent switch 12: 01"));
    EXPECT_EQ(panel::buttonLogLine(4, QStringLiteral("01")),
              QStringLiteral("data sent button 4: 01"));
    EXPECT_EQ(panel::multiLogLine(5, QStringLiteral("01")),
              QStringLiteral("data sent multiswitch 5: 01"));
}

TEST(ParamsPanelMessages, PotPositionRoundsHalvesToEvenAndStaysInRange) {
    struct Case {
        double position;
        std::uint32_t value;
    };
    for (const Case& c : {Case{512.5, 512}, Case{513.5, 514}, Case{0.4, 0}, Case{1022.6, 1023},
                          Case{-3, 0}, Case{2000, 1023}}) {
        EXPECT_EQ(panel::potValue(c.position), c.value) << c.position;
    }
}

TEST(ParamsPanelMessages, ChoiceValuesAndTheChoiceAValueSelects) {
    EXPECT_EQ(panel::multiValue(2, 4), 512u);
    EXPECT_EQ(panel::multiValue(2, 3), 682u);
    EXPECT_EQ(panel::multiValue(0, 3), 0u);
    struct Case {
        qint64 value;
        int choices;
        int choice;
    };
    const Case cases[] = {
        {1023, 3, 2},    // 1023 div 341 = 3, past the last choice
        {1024, 4, 3},    // 1024 div 256 = 4
        {256, 3, 0},     // the pedal's example: value 256 selects the first
        {682, 3, 2},     //
        {524287, 3, 2},  // far past the end still selects the last
        {65535, 4, 3},   //
        {0, 1, 0},       //
        {5, 2000, 5},    // more choices than 1024: step 1, no division by zero
        {100, 0, -1},    // no choices, nothing to select
    };
    for (const Case& c : cases)
        EXPECT_EQ(panel::choiceForValue(c.value, c.choices), c.choice)
            << c.value << " of " << c.choices;
    EXPECT_EQ(panel::sliderPositionForValue(524287), 1023);
    EXPECT_TRUE(panel::switchOnForValue(1024));
    EXPECT_FALSE(panel::switchOnForValue(0));
}

TEST(ParamsAssignments, TargetTablesAndBytes) {
    EXPECT_EQ(assign::assignTargets().join(u' '),
              QStringLiteral("KI KII KIII KIV KV B1 B2 B3 FS FL RMT EXP --"));
    EXPECT_EQ(assign::ledTargets().join(u' '), QStringLiteral("SX DX RED GREEN --"));
    EXPECT_EQ(assign::functionTargets().join(u' '), QStringLiteral("FS FL RMT --"));
    struct Case {
        int index;
        std::uint8_t assignByte, ledByte, functionByte;
    };
    for (const Case& c :
         {Case{0, 0x00, 0x00, 0x08}, Case{2, 0x02, 0x02, 0x0A}, Case{3, 0x03, 0x03, 0xFF},
          Case{4, 0x04, 0xFF, 0xFF}, Case{11, 0x0B, 0xFF, 0xFF}, Case{12, 0xFF, 0xFF, 0xFF},
          Case{-1, 0xFF, 0xFF, 0xFF}}) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(assign::assignByteForIndex(c.index), c.assignByte);
        EXPECT_EQ(assign::ledByteForIndex(c.index), c.ledByte);
        EXPECT_EQ(assign::functionByteForIndex(c.index), c.functionByte);
    }
}

TEST(ParamsAssignments, AssignMessageExamples) {
    struct Case {
        const char* name;
        QVector<int> parameters, leds;
        std::uint8_t bypass, preset;
        const char* message;
    };
    const Case cases[] = {
        {"N=3 R=1", {8, 12, 11}, {2}, 0x09, 0xFF, "0408FF0BFFFFFFFFFFFFFFFFFFFFFFFFFF02FFFFFF09FF"},
        {"N=16 R=0",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 1, 2},
         {},
         0xFF,
         0xFF,
         "04000102030405060708090A0BFF000102FFFFFFFFFFFF"},
        {"bank mode", {12}, {4}, 0x08, 0x09, "04FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0809"},
        {"no selection", {-1}, {-1}, 0xFF, 0xFF, "04FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        const QString text = assign::assignMessage(c.parameters, c.leds, c.bypass, c.preset);
        EXPECT_EQ(text, QString::fromLatin1(c.message)) << c.name;
        EXPECT_EQ(text.size(), 2 * assign::kAssignMessageBytes) << c.name;
    }
}

TEST(ParamsGeometry, RowsAndWindowSize) {
    // N = 8, R = 1.
    EXPECT_EQ(geometry::windowHeight(8, 1), 335);
    EXPECT_EQ(geometry::rowY(geometry::bypassRow(8)), 210);
    EXPECT_EQ(geometry::rowY(geometry::presetRow(8)), 235);
    EXPECT_EQ(geometry::rowY(geometry::readbackRow(8, 0)), 260);
    EXPECT_EQ(geometry::rowY(0), 10);
    EXPECT_EQ(geometry::separatorHeight(8), 196);
    EXPECT_EQ(geometry::separatorHeight(3), 74);  // 73.5 drawn as 74
}
