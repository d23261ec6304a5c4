// The receive tick's rules for what the pedal sends on its own.
#include <gtest/gtest.h>

#include "core/Errors.h"
#include "protocol/IncomingMessage.h"

namespace zendal::incoming {
namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) out.append(char(v));
    return out;
}

struct ClassifyCase {
    const char* name;
    QByteArray input;
    Message::Number number;
    int value;
    Message::Answer answer;
    bool controlReport;
    bool dump;
};

TEST(IncomingMessageRules, ClassifiesEveryForm) {
    using N = Message::Number;
    using A = Message::Answer;
    const ClassifyCase cases[] = {
        {"bank 2", "02", N::Bank, 2, A::None, false, false},
        {"bank 5 (out of range, still a bank message)", "05", N::Bank, 5, A::None, false, false},
        {"two messages in one read", "01105", N::Bank, 1105, A::None, false, false},
        {"effect 1A", "11A", N::Effect, 26, A::None, false, false},
        {"effect lower case", "11a", N::Effect, 26, A::None, false, false},
        {"effect modulo 65536", "1FFFFF", N::Effect, 0xFFFF, A::None, false, false},
        {"upload complete", "Upload complete", N::None, 0, A::UploadComplete, false, false},
        {"upload failed", "Upload Failed", N::None, 0, A::UploadFailed, false, false},
        {"answer with a line end", "Upload complete\r\n", N::None, 0, A::Unknown, false, false},
        {"half an answer", "Upload comp", N::None, 0, A::Unknown, false, false},
        {"control report", bytes({0xAA, 0x02, 0x05, 0x03, 0xFF}), N::None, 0, A::Unknown, true,
         false},
        {"dump", bytes({0xAB, 0xFF, 0xFF}), N::None, 0, A::Unknown, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Message m = classify(c.input);
        EXPECT_EQ(m.number, c.number);
        if (c.number != N::None) {
            EXPECT_EQ(m.value, c.value);
        }
        EXPECT_EQ(m.answer, c.answer);
        EXPECT_EQ(m.controlReport, c.controlReport);
        EXPECT_EQ(m.dump, c.dump);
    }
}

TEST(IncomingMessageRules, BytesAbove127ReadAsQuestionMarks) {
    EXPECT_EQ(asciiText(bytes({0xAA, 0x41, 0x7F, 0x80, 0x31})), QStringLiteral("?A\x7F?1"));
    EXPECT_EQ(statusText(classify(bytes({0xAA, 1, 2, 3, 4}))),
              QStringLiteral("Upload Status Unknown"));
    EXPECT_EQ(statusText(classify("Upload Failed")), QStringLiteral("Upload Failed"));
    EXPECT_TRUE(statusText(classify("02")).isEmpty());
}

TEST(IncomingMessageRules, NumberMessagesWithoutANumberRaiseTheConversionError) {
    const struct {
        QByteArray input;
        QString message;
    } cases[] = {
        {"0", QStringLiteral("'' is not a valid integer value")},
        {"0x1", QStringLiteral("'x1' is not a valid integer value")},
        {"1", QStringLiteral("'' is not a valid integer value")},
        {"1ZZ", QStringLiteral("'ZZ' is not a valid integer value")},
        {"099999999999", QStringLiteral("'99999999999' is not a valid integer value")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        try {
            classify(c.input);
            ADD_FAILURE() << "no conversion error";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.message(), c.message);
        }
    }
}

QByteArray dumpOf(char fill) {
    return QByteArray(1, char(kDump)) + QByteArray(kDumpDataBytes, fill);
}

TEST(IncomingMessageRules, DumpCheckNeedsEveryByteErased) {
    QByteArray erased = dumpOf(char(0xFF));
    EXPECT_TRUE(dumpIsErased(erased));
    QByteArray oneByte = erased;
    oneByte[kDumpDataBytes] = 0x00;  // the very last byte
    EXPECT_FALSE(dumpIsErased(oneByte));
    EXPECT_FALSE(dumpIsErased(erased.left(kDumpMessageBytes - 1)));  // short: never "erased"

    QByteArray mixed = dumpOf(char(0xFF));
    mixed[1] = 0x0A;
    const QStringList lines = dumpLogLines(mixed);
    ASSERT_EQ(lines.size(), kDumpDataBytes);
    EXPECT_EQ(lines.first(), QStringLiteral("0: 0A"));
    EXPECT_EQ(lines.last(), QStringLiteral("16383: FF"));
}

TEST(IncomingMessageRules, DumpAssemblerCollectsAcrossReadsAndKeepsTheRest) {
    DumpAssembler dump;
    const QByteArray whole = dumpOf(char(0xFF));
    dump.begin(whole.left(1000), 5000);
    EXPECT_TRUE(dump.active());
    EXPECT_FALSE(dump.complete());
    EXPECT_EQ(dump.receivedDataBytes(), 999);
    QByteArray rest;
    dump.append(whole.mid(1000, 10000), &rest);
    EXPECT_FALSE(dump.complete());
    EXPECT_TRUE(rest.isEmpty());
    dump.append(whole.mid(11000) + "02", &rest);
    ASSERT_TRUE(dump.complete());
    EXPECT_EQ(rest, QByteArray("02"));
    EXPECT_EQ(dump.take(), whole);
    EXPECT_FALSE(dump.active());

    dump.begin(whole.left(10), 5000);
    EXPECT_FALSE(dump.expired(4999));
    EXPECT_TRUE(dump.expired(5000));
}

}  // namespace
}  // namespace zendal::incoming
