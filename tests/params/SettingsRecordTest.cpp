// The settings record: layout, decoding of each field, and the exchange that
// fetches it (what is sent, and that a missing or cut reply yields no record).

#include <gtest/gtest.h>

#include "ParamsTestSupport.h"
#include "link/FrameCodec.h"
#include "params/Assignments.h"
#include "params/SettingsRecord.h"
#include "support/FakeClock.h"

using namespace zendal;
using namespace zendal::test;

TEST(ParamsSettingsRecordLayout, OffsetsFollowTheParameterCount) {
    struct Case {
        int n, length, assignments, bypass, preset, leds, reverse, mode, number, midi;
    };
    for (const Case& c : {Case{3, 53, 12, 28, 29, 30, 34, 50, 51, 52},
                          Case{12, 89, 48, 64, 65, 66, 70, 86, 87, 88}}) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(SettingsRecord::length(c.n), c.length);
        EXPECT_EQ(SettingsRecord::assignmentsAt(c.n), c.assignments);
        EXPECT_EQ(SettingsRecord::bypassAt(c.n), c.bypass);
        EXPECT_EQ(SettingsRecord::presetAt(c.n), c.preset);
        EXPECT_EQ(SettingsRecord::ledsAt(c.n), c.leds);
        EXPECT_EQ(SettingsRecord::reverseAt(c.n), c.reverse);
        EXPECT_EQ(SettingsRecord::modeAt(c.n), c.mode);
        EXPECT_EQ(SettingsRecord::numberAt(c.n), c.number);
        EXPECT_EQ(SettingsRecord::midiAt(c.n), c.midi);

        // Every byte carries its own offset, so a field read from the wrong place shows.
        QVector<std::uint8_t> bytes;
        for (int k = 0; k < c.length; ++k) bytes << static_cast<std::uint8_t>(k);
        const auto r = decodeSettingsRecord(bytes, c.n);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->assignmentBytes[0], c.assignments);
        EXPECT_EQ(r->assignmentBytes[15], c.assignments + 15);
        EXPECT_EQ(r->bypassByte, c.bypass);
        EXPECT_EQ(r->presetByte, c.preset);
        EXPECT_EQ(r->ledBytes[0], c.leds);
        EXPECT_EQ(r->ledBytes[3], c.leds + 3);
        EXPECT_EQ(r->reverseBytes[0], c.reverse);
        EXPECT_EQ(r->reverseBytes[15], c.reverse + 15);
        EXPECT_EQ(r->mode, c.mode);
        EXPECT_EQ(r->number, c.number);
        EXPECT_EQ(r->midi, c.midi);
        ASSERT_EQ(r->values.size(), c.n);
    }
}

TEST(ParamsSettingsRecordLayout, ValueIsTheWordShiftedRightBy13) {
    struct Case {
        std::uint32_t word;
        qint32 value;
    };
    for (const Case& c : {Case{0x007FE000, 1023}, Case{0x00800000, 1024}, Case{0xFFFFFFFF, 524287},
                          Case{0x00001FFF, 0}}) {
        const auto r = decodeSettingsRecord(RecordBuilder(1).word(0, c.word).bytes, 1);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->values[0], c.value) << std::hex << c.word;
    }
}

TEST(ParamsSettingsRecordLayout, ShorterThanTheRecordDecodesNothing) {
    const QVector<std::uint8_t> full = RecordBuilder(3).bytes;
    EXPECT_TRUE(decodeSettingsRecord(full, 3));
    EXPECT_FALSE(decodeSettingsRecord(full.mid(0, 52), 3));
    EXPECT_FALSE(decodeSettingsRecord({}, 0));
    // Longer replies are read for their first 4N + 41 bytes.
    EXPECT_TRUE(decodeSettingsRecord(full + QVector<std::uint8_t>{1, 2}, 3));
}

TEST(ParamsSettingsRecordFields, ByteMeanings) {
    EXPECT_EQ(assign::assignText(0x0B), QStringLiteral("EXP"));
    EXPECT_EQ(assign::assignText(0x08), QStringLiteral("FS"));
    EXPECT_EQ(assign::assignText(0xFF), QStringLiteral("--"));
    EXPECT_EQ(assign::assignText(0x0C), QStringLiteral("--"));
    EXPECT_EQ(assign::functionText(0x09), QStringLiteral("FL"));
    EXPECT_EQ(assign::functionText(0xFF), QStringLiteral("--"));
    EXPECT_EQ(assign::functionText(0x07), QStringLiteral("--"));
    EXPECT_EQ(assign::ledText(0x02), QStringLiteral("RED"));

    EXPECT_EQ(reverseByteMeaning(0x01), ReverseByte::On);
    EXPECT_EQ(reverseByteMeaning(0xFF), ReverseByte::Off);
    EXPECT_EQ(reverseByteMeaning(0x00), ReverseByte::Unchanged);

    EXPECT_EQ(recordMode(1), RecordMode::Bank);
    EXPECT_EQ(recordMode(0), RecordMode::Preset);
    EXPECT_EQ(recordMode(2), RecordMode::Other);
    EXPECT_EQ(bankCaption(1), QStringLiteral("Bank II"));
    EXPECT_EQ(bankCaption(3), QString());

    struct Midi {
        std::uint8_t byte;
        int item;
        const char* text;
    };
    for (const Midi& m : {Midi{0x00, 0, "OMNI"}, Midi{0xFF, 0, "OMNI"}, Midi{0x10, 16, "16"},
                          Midi{0x01, 1, "1"}, Midi{0x11, -1, "none"}}) {
        EXPECT_EQ(midiMenuIndex(m.byte), m.item) << int(m.byte);
        EXPECT_EQ(midiChannelText(m.byte), QString::fromLatin1(m.text));
    }
}

class ParamsSettingsExchange : public ::testing::Test {
  protected:
    FakeClock clock;
    ParamsPedal driver;
};

TEST_F(ParamsSettingsExchange, RequestCarriesTheParameterCount) {
    for (int n : {3, 12}) {
        driver.clearWrites();
        sendSettingsRequest(n);
        EXPECT_EQ(driver.writtenHex(),
                  QStringList{QStringLiteral("02%1").arg(n, 2, 16, QLatin1Char('0')).toUpper()});
    }
    EXPECT_EQ(clock.totalPausedMs(), 400);  // 200 ms after each request
}

TEST_F(ParamsSettingsExchange, FullReplyDecodes) {
    driver.answerRequest = [](const QByteArray&) {
        return settingsReplyText(RecordBuilder(3).value(0, 512).midi(5).bytes);
    };
    sendSettingsRequest(3);
    const SettingsReplyResult result = receiveSettingsRecord(3);
    ASSERT_TRUE(result.record) << result.error.toStdString();
    EXPECT_EQ(result.received, 53);
    EXPECT_EQ(result.record->values[0], 512);
    EXPECT_EQ(result.record->midi, 5);
}

TEST_F(ParamsSettingsExchange, MissingCutOrUnreadableReplyGivesNoRecord) {
    // A complete earlier reply stays in ReceiveArray; none of these may reuse it.
    DecodeReply(settingsReplyText(RecordBuilder(3).bytes));
    struct Case {
        const char* name;
        QByteArray reply;
        const char* error;
    };
    const Case cases[] = {
        {"no reply", {}, "The pedal did not answer the settings request."},
        {"cut reply", settingsReplyText(RecordBuilder(3).bytes.mid(0, 40)),
         "The pedal's settings reply was incomplete (40 of 53 bytes); nothing was applied."},
        {"no field", QByteArray("12"),
         "The pedal's settings reply was incomplete (0 of 53 bytes); nothing was applied."},
        {"not decimal", QByteArray("4\r\n\x3B\r\n"),
         "The pedal's settings reply could not be read: 'B' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray reply = c.reply;
        driver.answerRequest = [reply](const QByteArray&) { return reply; };
        sendSettingsRequest(3);
        const SettingsReplyResult result = receiveSettingsRecord(3);
        EXPECT_FALSE(result.record);
        EXPECT_EQ(result.error, QString::fromLatin1(c.error));
    }
}
