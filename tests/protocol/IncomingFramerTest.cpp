#include <gtest/gtest.h>

#include "protocol/IncomingFramer.h"

namespace zendal {
namespace {

QByteArray report(int kind, int index, int value) {
    QByteArray r(1, char(0xAA));
    r.append(char(kind)).append(char(index)).append(char(value >> 8)).append(char(value & 0xFF));
    return r;
}

QByteArray dump(char fill) {
    return QByteArray(1, char(0xAB)) + QByteArray(16384, fill);
}

QList<QByteArray> feedAndFlush(IncomingFramer& framer, const QByteArray& bytes) {
    QList<QByteArray> out = framer.feed(bytes);
    out += framer.flush();
    return out;
}

TEST(IncomingFramer, SplitsMessagesThatArriveTogether) {
    struct Case {
        const char* name;
        QByteArray read;
        QList<QByteArray> messages;
    };
    const QByteArray r1 = report(0, 1, 512);
    const QByteArray r2 = report(6, 3, 1);
    const Case cases[] = {
        {"one report", r1, {r1}},
        {"two reports", r1 + r2, {r1, r2}},
        {"bank then effect", "01105", {"01", "105"}},
        {"bank then bank", "0002", {"00", "02"}},
        {"effect then report", "126" + r1, {"126", r1}},
        {"report then effect", r1 + "11A", {r1, "11A"}},
        {"effect then upload answer", "126Upload complete", {"126", "Upload complete"}},
        {"upload answer then bank", "Upload Failed01", {"Upload Failed", "01"}},
        {"answer, report, bank", "Upload complete" + r2 + "02", {"Upload complete", r2, "02"}},
        {"dump then report", dump(char(0xFF)) + r1, {dump(char(0xFF)), r1}},
        {"report bytes inside a dump stay in it", dump(char(0xAA)), {dump(char(0xAA))}},
        {"unknown text then report", "hello" + r1, {"hello", r1}},
        {"unknown text alone", "hello", {"hello"}},
        // No way to tell where the effect number ends: read as one, as always.
        {"effect then bank digits", "12602", {"12602"}},
        {"effect with a letter that is no digit", "1G", {"1G"}},
        {"bank without a digit", "0x", {"0x"}},
    };
    for (const Case& c : cases) {
        IncomingFramer framer;
        EXPECT_EQ(feedAndFlush(framer, c.read), c.messages) << c.name;
        EXPECT_FALSE(framer.holding()) << c.name;
    }
}

TEST(IncomingFramer, TwoHundredReportsInOneReadAreTwoHundredMessages) {
    QByteArray read;
    QList<QByteArray> expected;
    for (int i = 0; i < 200; ++i) {
        expected.append(report(i % 5, i % 16, (i * 37) % 1024));
        read += expected.last();
    }
    IncomingFramer framer;
    EXPECT_EQ(framer.feed(read), expected);
    EXPECT_FALSE(framer.holding());
}

TEST(IncomingFramer, AMessageSplitAtEveryByteIsJoined) {
    const QByteArray r = report(2, 5, 1023);
    const QList<QByteArray> messages = {r, "02", "Upload complete", r, "Upload Failed", "126", r};
    QByteArray stream;
    for (const QByteArray& m : messages) stream += m;
    for (int cut = 1; cut < stream.size(); ++cut) {
        IncomingFramer framer;
        QList<QByteArray> out = framer.feed(stream.left(cut));
        out += framer.feed(stream.mid(cut));
        out += framer.flush();
        EXPECT_EQ(out, messages) << "cut at " << cut;
    }
    // One byte per read.
    IncomingFramer framer;
    QList<QByteArray> out;
    for (char c : stream) out += framer.feed(QByteArray(1, c));
    out += framer.flush();
    EXPECT_EQ(out, messages);
}

TEST(IncomingFramer, PiecesOfFixedMessagesWaitForTheirRest) {
    struct Case {
        const char* name;
        QByteArray piece;
    };
    const Case cases[] = {
        {"report", report(1, 2, 3).left(3)},
        {"dump", dump(char(0)).left(9000)},
        {"upload answer", "Upload comp"},
        {"bank", "0"},
    };
    for (const Case& c : cases) {
        IncomingFramer framer;
        EXPECT_TRUE(feedAndFlush(framer, c.piece).isEmpty()) << c.name;
        EXPECT_EQ(framer.heldBytes(), c.piece.size()) << c.name;
        // The owner's limit passed: the piece goes out as it stands.
        EXPECT_EQ(framer.flush(true), QList<QByteArray>{c.piece}) << c.name;
        EXPECT_FALSE(framer.holding()) << c.name;
    }
}

TEST(IncomingFramer, AnEffectNumberEndsOnlyWithQuietOrAnotherForm) {
    IncomingFramer framer;
    EXPECT_TRUE(framer.feed("12").isEmpty());
    EXPECT_TRUE(framer.feed("6").isEmpty());
    EXPECT_EQ(framer.flush(), QList<QByteArray>{"126"});
    EXPECT_TRUE(framer.feed("1").isEmpty());
    EXPECT_EQ(framer.feed(report(0, 0, 0)), (QList<QByteArray>{"1", report(0, 0, 0)}));
}

TEST(IncomingFramer, HoldingDumpIsTold) {
    IncomingFramer framer;
    framer.feed(dump(char(1)).left(100));
    EXPECT_TRUE(framer.holdingDump());
    framer.feed(dump(char(1)).mid(100));
    EXPECT_FALSE(framer.holding());
    framer.feed("0");
    EXPECT_FALSE(framer.holdingDump());
}

}  // namespace
}  // namespace zendal
