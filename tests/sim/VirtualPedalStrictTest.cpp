// The virtual pedal as strict as the hardware: USB transfers on the latency
// timer, parity both ways, the transmit purge, the B2 rule, unplugging and
// knobs turned in the middle of an exchange.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/SimTestUtil.h"
#include "sim/VirtualPedalDriver.h"

using namespace zendal;
using zendal::simtest::hex;
using zendal::simtest::makeImage;

namespace {

constexpr qint64 kStartUs = 7'000'000;

// The in-process driver on a pedal, with a clock the test moves (µs).
struct Line {
    VirtualPedal pedal;
    VirtualPedalDriver driver{pedal};
    PortHandle handle;
    qint64 now = kStartUs;

    explicit Line(const VirtualPedal::Config& config = {}) : pedal(config) {
        driver.setNowUs([this] { return now; });
        reopen();
    }
    void reopen() {
        const Opened opened = driver.open("ZVP00001");
        EXPECT_EQ(opened.status, PortStatus::Ok);
        handle = opened.handle;
    }
    void write(const QByteArray& bytes) {
        const std::span<const std::uint8_t> data(
            reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        ASSERT_EQ(driver.write(handle, data).status, PortStatus::Ok);
    }
    std::size_t queued() {
        const Transferred q = driver.queued(handle);
        EXPECT_EQ(q.status, PortStatus::Ok);
        return q.count;
    }
    QByteArray read() {
        QByteArray buffer(65536, '\0');
        const std::size_t want = std::min<std::size_t>(queued(), std::size_t(buffer.size()));
        const Transferred got =
            driver.read(handle, std::span(reinterpret_cast<std::uint8_t*>(buffer.data()), want));
        EXPECT_EQ(got.status, PortStatus::Ok);
        return buffer.left(qsizetype(got.count));
    }
    void setParity(std::uint8_t parity) {
        ASSERT_EQ(driver.setFraming(handle, Framing{FT_BITS_8, FT_STOP_BITS_1, parity}),
                  PortStatus::Ok);
    }
    // Everything that arrives within limitUs, looking every stepUs.
    QByteArray readFor(qint64 limitUs, qint64 stepUs = 1000) {
        QByteArray got;
        for (const qint64 end = now + limitUs; now < end; now += stepUs) got += read();
        return got + read();
    }
};

struct Piece {
    qint64 atUs;
    QByteArray bytes;
};

// Reads whenever something is queued, looking every 50 µs, until `total`
// bytes came or three seconds passed.
std::vector<Piece> pieces(Line& line, int total) {
    std::vector<Piece> got;
    int count = 0;
    for (const qint64 end = line.now + 3'000'000; line.now < end && count < total; line.now += 50) {
        if (line.queued() == 0) continue;
        got.push_back({line.now, line.read()});
        count += int(got.back().bytes.size());
    }
    return got;
}

// What the pedal answers to `request`, whole.
QByteArray instantReply(const QByteArray& request) {
    VirtualPedal pedal(VirtualPedal::Config::lenient());
    pedal.receive(request);
    return pedal.takeOutput();
}

}  // namespace

TEST(VirtualPedalTransfers, RepliesArriveInPacketsTheLastOnTheLatencyTimer) {
    struct Case {
        const char* name;
        QByteArray request;
        int latencyMs;
    };
    const Case cases[] = {
        {"device information, 13 bytes", hex("06 00"), 16},
        {"settings of 2 parameters", hex("02 02"), 16},
        {"settings of 12 parameters", hex("02 0C"), 16},
        {"settings of 12 parameters, latency 8 ms", hex("02 0C"), 8},
        {"EEPROM dump", hex("0C 50 00 00 00 00"), 16},
    };
    constexpr qint64 kByteUs10 = 10 * VirtualPedal::kBitNs / 100;  // a byte, in 0.1 µs
    constexpr qint64 kPacketUs = VirtualPedal::kUsbPacketData * kByteUs10 / 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray whole = instantReply(c.request);
        const int n = int(whole.size());
        ASSERT_GT(n, 0);
        Line line;
        ASSERT_EQ(line.driver.setLatencyTimer(line.handle, std::uint8_t(c.latencyMs)),
                  PortStatus::Ok);
        const qint64 sent = line.now;
        line.write(c.request);
        const std::vector<Piece> got = pieces(line, n);

        const int packets = (n + VirtualPedal::kUsbPacketData - 1) / VirtualPedal::kUsbPacketData;
        ASSERT_EQ(int(got.size()), packets);
        QByteArray joined;
        for (std::size_t i = 0; i < got.size(); ++i) {
            joined += got[i].bytes;
            if (i + 1 < got.size()) {
                EXPECT_EQ(got[i].bytes.size(), VirtualPedal::kUsbPacketData) << i;
            }
        }
        EXPECT_EQ(joined, whole);
        // Nothing comes before the request and the first packet's bytes
        // crossed the wire; full packets come at the wire's pace.
        const qint64 firstOnWire = (c.request.size() + got.front().bytes.size()) * kByteUs10 / 10;
        EXPECT_GE(got.front().atUs - sent, firstOnWire);
        for (std::size_t i = 1; i + 1 < got.size(); ++i)
            EXPECT_NEAR(double(got[i].atUs - got[i - 1].atUs), double(kPacketUs), 100.0) << i;
        // A partly filled packet waits for the latency timer, and no longer.
        const qint64 latencyUs = c.latencyMs * 1000;
        const qint64 allOnWire = (c.request.size() + n) * kByteUs10 / 10;
        EXPECT_LE(got.back().atUs - sent, allOnWire + latencyUs + 100);
        if (got.size() > 1) {
            EXPECT_NEAR(double(got.back().atUs - got[got.size() - 2].atUs), double(latencyUs),
                        50.0);
        }
    }
}

TEST(VirtualPedalTransfers, AShortLatencyTimerSendsWhatHasComeEachTime) {
    Line line;
    ASSERT_EQ(line.driver.setLatencyTimer(line.handle, 1), PortStatus::Ok);
    line.write(hex("02 10"));
    const QByteArray whole = instantReply(hex("02 10"));
    const std::vector<Piece> got = pieces(line, int(whole.size()));
    ASSERT_GT(got.size(), whole.size() / 13);
    QByteArray joined;
    for (std::size_t i = 0; i < got.size(); ++i) {
        joined += got[i].bytes;
        EXPECT_LE(got[i].bytes.size(), 12) << i;  // a millisecond of the wire
        if (i > 0) {
            EXPECT_NEAR(double(got[i].atUs - got[i - 1].atUs), 1000.0, 50.0) << i;
        }
    }
    EXPECT_EQ(joined, whole);
}

TEST(VirtualPedalTransfers, LenientTimingDeliversEverythingAtOnce) {
    Line line(VirtualPedal::Config::lenient());
    line.write(hex("0C 50 00 00 00 00"));
    EXPECT_EQ(line.queued(), 16385u);
    EXPECT_EQ(line.read(), instantReply(hex("0C 50 00 00 00 00")));
}

TEST(VirtualPedalParity, ReframeSamplesTheLineAsAReceiverDoes) {
    const UartFormat n81{8, LineParity::None, 1};
    const UartFormat e81{8, LineParity::Even, 1};
    struct Case {
        const char* name;
        QByteArray sent;
        UartFormat from, to;
        std::vector<std::pair<int, bool>> received;  // byte, error
    };
    const Case cases[] = {
        {"same format", hex("06 00 7F"), n81, n81, {{0x06, false}, {0x00, false}, {0x7F, false}}},
        // The stop bit stands in for the parity bit: right for an odd count of ones.
        {"0x7F at 8N1 heard at 8E1", hex("7F"), n81, e81, {{0x7F, false}}},
        {"0x00 at 8N1 heard at 8E1", hex("00"), n81, e81, {{0x00, true}}},
        // Back to back, the next start bit is taken as the stop bit: the
        // rest of the burst is lost in the frame error.
        {"06 00 at 8N1 heard at 8E1", hex("06 00"), n81, e81, {{0x06, true}}},
        // The parity bit stands in for the stop bit: a zero breaks the frame.
        {"06 00 at 8E1 heard at 8N1", hex("06 00"), e81, n81, {{0x06, true}, {0x00, true}}},
        {"79 1F at 8E1 heard at 8N1", hex("79 1F"), e81, n81, {{0x79, false}, {0x1F, false}}},
        {"odd parity heard at even", hex("03"), {8, LineParity::Odd, 1}, e81, {{0x03, true}}},
        {"7 data bits heard as 8", hex("41"), {7, LineParity::None, 1}, n81, {{0xC1, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<int, bool>> got;
        for (const ReceivedChar& r : reframe(c.sent, c.from, c.to))
            got.push_back({r.byte, r.error});
        EXPECT_EQ(got, c.received);
    }
}

TEST(VirtualPedalParity, TheFirmwareHearsOnlyNoParityAndTheHostGetsGarbleAtEven) {
    Line line(VirtualPedal::Config::lenient());
    line.setParity(FT_PARITY_EVEN);
    line.write(hex("06 00"));  // both characters break at the firmware's receiver
    EXPECT_EQ(line.queued(), 0u);
    EXPECT_EQ(line.pedal.ignoredByteCount(), 2);

    // The pedal speaks 8N1; a host listening at 8E1 gets something else.
    line.pedal.turnKnob(2, 5, 1023);
    const QByteArray heard = line.read();
    EXPECT_FALSE(heard.isEmpty());
    EXPECT_NE(heard, hex("AA 02 05 03 FF"));

    line.setParity(FT_PARITY_NONE);
    line.pedal.turnKnob(2, 5, 1023);
    EXPECT_EQ(line.read(), hex("AA 02 05 03 FF"));
}

TEST(VirtualPedalParity, TheBootloaderHearsEvenParityAndGarblesCommandsAtNone) {
    VirtualPedal::Config config = VirtualPedal::Config::lenient();
    config.startInBootloader = true;
    Line line(config);
    // 0x7F alone survives the wrong setting, as on a real line...
    line.write(hex("7F"));
    EXPECT_EQ(line.read(), hex("79"));
    // ...a command does not: 00 FF breaks at the parity check.
    line.write(hex("00 FF"));
    EXPECT_EQ(line.read(), QByteArray());
    line.setParity(FT_PARITY_EVEN);
    line.write(hex("00 FF"));
    const QByteArray get = line.read();
    ASSERT_GE(get.size(), 2);
    EXPECT_EQ(get.left(2), hex("79 0B"));
}

TEST(VirtualPedalPurge, TransmitPurgeDropsWhatHasNotLeft) {
    Line line;
    const QByteArray image = makeImage(0x00, 0x11, 2, 1300);
    line.write(image);
    line.now += 10'000;  // about 115 bytes crossed the wire
    ASSERT_EQ(line.driver.purge(line.handle, PurgeQueue::Transmit), PortStatus::Ok);
    // The upload stays short: it fails once the line has been quiet.
    EXPECT_EQ(line.readFor(VirtualPedal::kIdleTimeoutUs + 50'000), QByteArray("Upload Failed"));
    EXPECT_EQ(line.pedal.effectId(), 0x26);

    // A purge after the bytes arrived changes nothing.
    line.write(image);
    line.now += 200'000;
    ASSERT_EQ(line.driver.purge(line.handle, PurgeQueue::Transmit), PortStatus::Ok);
    EXPECT_EQ(line.readFor(50'000), QByteArray("Upload complete"));
    EXPECT_EQ(line.pedal.effectId(), 0x11);
}

TEST(VirtualPedalPurge, ReceivePurgeDropsWhatArrivedNotWhatIsStillOnTheWire) {
    Line line;
    line.write(hex("0C 50 00 00 00 00"));
    line.now += 100'000;
    ASSERT_EQ(line.driver.purge(line.handle, PurgeQueue::Receive), PortStatus::Ok);
    EXPECT_EQ(line.queued(), 0u);
    const QByteArray rest = line.readFor(2'000'000, 5'000);
    EXPECT_GT(rest.size(), 10000);
    EXPECT_LT(rest.size(), 16385);
    EXPECT_NE(quint8(rest[0]), 0xAB);
}

TEST(VirtualPedalB2, EnteringTheBootloaderNeedsSaveHeldUnlessTheTestLiftsTheRule) {
    struct Case {
        const char* name;
        bool requireSaveHeld;
        bool saveHeld;
        bool enters;
    };
    const Case cases[] = {
        {"default, B2 not held", true, false, false},
        {"default, B2 held", true, true, true},
        {"rule lifted", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualPedal::Config config;
        config.requireSaveHeld = c.requireSaveHeld;
        Line line(config);
        line.pedal.pressAndHoldSave(c.saveHeld);
        line.write(hex("05 00 01 02 03 04 05 06"));
        line.now += 5'000;
        EXPECT_EQ(line.pedal.bytesAvailable(line.now), 0);
        EXPECT_EQ(line.pedal.inBootloader(), c.enters);
    }
}

TEST(VirtualPedalB2, BytesDuringTheRestartAreLost) {
    VirtualPedal::Config config;
    config.requireSaveHeld = false;
    Line line(config);
    line.write(hex("05 00 01 02 03 04 05 06"));
    line.setParity(FT_PARITY_EVEN);
    line.write(hex("7F"));  // the part is still resetting
    EXPECT_EQ(line.readFor(20'000), QByteArray());
    ASSERT_TRUE(line.pedal.inBootloader());
    line.write(hex("7F"));
    EXPECT_EQ(line.readFor(20'000), hex("79"));
}

TEST(VirtualPedalUnplug, QueueStatusAndReadsFailLikeAHangUpAndReplugWorks) {
    Line line;
    line.write(hex("06 00"));
    line.now += 1'000;
    line.pedal.unplug();
    std::uint8_t buffer[64];
    EXPECT_EQ(line.driver.queued(line.handle).status, PortStatus::Unplugged);
    EXPECT_EQ(line.driver.read(line.handle, buffer).status, PortStatus::Unplugged);
    line.pedal.replug();
    EXPECT_EQ(line.driver.queued(line.handle).status, PortStatus::Unplugged);
    ASSERT_EQ(line.driver.close(line.handle), PortStatus::Ok);
    line.reopen();
    line.write(hex("06 00"));
    EXPECT_EQ(line.readFor(40'000), QByteArray("1\r\n38\r\n1\r\n5\r\n"));
}

TEST(VirtualPedalKnobs, AKnobTurnedInTheMiddleOfAReplyLandsThere) {
    const QByteArray report = hex("AA 02 05 03 FF");
    struct Case {
        const char* name;
        QByteArray request;
        int after;
        VirtualPedal::Config config;
    };
    const Case cases[] = {
        {"after byte 5 of the device information", hex("06 00"), 5, {}},
        {"between the first two packets of a dump",
         hex("0C 50 00 00 00 00"),
         VirtualPedal::kUsbPacketData,
         {}},
        {"before the first byte", hex("06 00"), 0, {}},
        {"lenient timing", hex("06 00"), 5, VirtualPedal::Config::lenient()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Line line(c.config);
        line.pedal.duringNextReply(c.after, [](VirtualPedal& p) { p.turnKnob(2, 5, 1023); });
        line.write(c.request);
        const QByteArray whole = instantReply(c.request);
        const QByteArray got = line.readFor(3'000'000, 5'000);
        EXPECT_EQ(got, whole.left(c.after) + report + whole.mid(c.after));
        EXPECT_EQ(line.pedal.currentSettings().values[5], 1023u << 13);
        // Only the next reply.
        line.write(hex("06 00"));
        EXPECT_EQ(line.readFor(40'000), instantReply(hex("06 00")));
    }
}

TEST(VirtualPedalKnobs, AKnobTurnedAtAChosenMomentArrivesAfterIt) {
    Line line;
    line.pedal.schedule(line.now + 30'000, [](VirtualPedal& p) { p.switchBank(1); });
    EXPECT_EQ(line.readFor(29'000), QByteArray());
    EXPECT_EQ(line.readFor(40'000), QByteArray("01"));
}
