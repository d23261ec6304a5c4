#include <gtest/gtest.h>

#include "sim/SimTestUtil.h"
#include "sim/VirtualPedal.h"

using namespace zendal;
using zendal::simtest::decimalValues;
using zendal::simtest::hex;
using zendal::simtest::makeImage;

namespace {

// These tests are about what the pedal answers, not when: no timing.
const VirtualPedal::Config kLenient = VirtualPedal::Config::lenient();

const VirtualPedal::AddressTable kAddresses = {0x0100, 0x0104, 0x0108, 0x010C, 0x0110, 0x0114,
                                               0x0118, 0x011C, 0x0120, 0x0124, 0x0128, 0x012C,
                                               0x0130, 0x0134, 0x0138, 0x013C};

// The settings record as the pedal sends it, decoded back into bytes.
QList<int> record(VirtualPedal& pedal, int n) {
    pedal.receive(QByteArray(1, '\x02') + QByteArray(1, char(n)));
    return decimalValues(pedal.takeOutput());
}

QByteArray parameterMessage(quint16 address, quint32 value) {
    const quint32 word = value << 13;
    QByteArray m(1, '\x01');
    m.append(char(address >> 8)).append(char(address & 0xFF));
    m.append(char(word >> 24)).append(char(word >> 16)).append(char(word >> 8)).append(char(word));
    return m;
}

}  // namespace

TEST(VirtualPedalMessages, DeviceInformationReportsLoadedAndEmptyPedal) {
    struct Case {
        int effect;
        int version;
        int firmware;
        QByteArray reply;
    };
    const Case cases[] = {
        {0x26, 1, 5, "1\r\n38\r\n1\r\n5\r\n"},
        {0x3F, 3, 4, "1\r\n63\r\n3\r\n4\r\n"},
        {0, 1, 5, "255\r\n255\r\n1\r\n5\r\n"},
        {0, 2, 255, "255\r\n255\r\n1\r\n255\r\n"},
    };
    for (const Case& c : cases) {
        VirtualPedal pedal({c.effect, c.version, c.firmware, false, VirtualPedal::Timing::Instant});
        pedal.receive(hex("06 00"));
        EXPECT_EQ(pedal.takeOutput(), c.reply) << "effect " << c.effect;
    }
}

TEST(VirtualPedalMessages, SettingsRecordHasItsLayoutForTwoAndTwelveParameters) {
    for (int n : {2, 12}) {
        SCOPED_TRACE(n);
        VirtualPedal pedal(kLenient);
        pedal.setAddressTable(0x26, kAddresses);
        pedal.receive(parameterMessage(kAddresses[0], 1023));
        pedal.receive(parameterMessage(kAddresses[1], 512));
        QByteArray assign =
            hex("04 08 FF 0B") + QByteArray(13, char(0xFF)) + hex("02 FF FF FF 09 0A");
        pedal.receive(assign);
        pedal.receive(hex("08 01 01"));
        pedal.receive(hex("07 0C"));

        const QList<int> r = record(pedal, n);
        ASSERT_EQ(r.size(), 4 * n + 41);
        EXPECT_EQ(r.mid(0, 8), (QList<int>{0x00, 0x7F, 0xE0, 0x00, 0x00, 0x40, 0x00, 0x00}));
        for (int i = 8; i < 4 * n; ++i) EXPECT_EQ(r[i], 0) << i;
        EXPECT_EQ(r.mid(4 * n, 3), (QList<int>{0x08, 0xFF, 0x0B}));  // assignments
        EXPECT_EQ(r[4 * n + 16], 0x09);                              // bypass
        EXPECT_EQ(r[4 * n + 17], 0x0A);                              // preset
        EXPECT_EQ(r.mid(4 * n + 18, 4), (QList<int>{0x02, 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(r[4 * n + 22], 0xFF);  // reverse of parameter 0
        EXPECT_EQ(r[4 * n + 23], 0x01);  // reverse of parameter 1
        EXPECT_EQ(r[4 * n + 38], 0);     // preset mode
        EXPECT_EQ(r[4 * n + 39], 0);
        EXPECT_EQ(r[4 * n + 40], 12);  // MIDI channel
    }
}

TEST(VirtualPedalMessages, ReverseLiveBypassAndModeFollowTheirMessages) {
    VirtualPedal pedal(kLenient);
    pedal.receive(hex("0A 01 00") + hex("0D 01") + hex("08 01 0F") + hex("08 01 10"));
    EXPECT_TRUE(pedal.live());
    EXPECT_TRUE(pedal.bypass());
    EXPECT_EQ(pedal.currentSettings().reverse[15], 0x01);
    pedal.receive(hex("0A 00 00") + hex("0D 00") + hex("08 FF 0F"));
    EXPECT_FALSE(pedal.live());
    EXPECT_FALSE(pedal.bypass());
    EXPECT_EQ(pedal.currentSettings().reverse[15], 0xFF);
    EXPECT_TRUE(pedal.takeOutput().isEmpty());  // none of these is answered
}

TEST(VirtualPedalMessages, ParameterFindsItsSlotThroughTheAddressTable) {
    VirtualPedal pedal(kLenient);
    // Without a table, small addresses are slots and others are only counted.
    pedal.receive(parameterMessage(3, 100));
    pedal.receive(parameterMessage(0x0500, 7));
    EXPECT_EQ(pedal.currentSettings().values[3], 100u << 13);
    EXPECT_EQ(pedal.unmappedParameterWrites(), 1);

    // An uploaded image brings its own table.
    pedal.receive(makeImage(0x00, 0x05, 2, 1300, kAddresses));
    pedal.receive(parameterMessage(0x013C, 1023));
    EXPECT_EQ(pedal.settings(0x05).values[15], 1023u << 13);

    // The image lookup gives a table to an effect that was never uploaded.
    VirtualPedal looked(kLenient);
    looked.setImageLookup([](int id) { return makeImage(0, id, 1, 200, kAddresses); });
    looked.receive(parameterMessage(0x0108, 5));
    EXPECT_EQ(looked.currentSettings().values[2], 5u << 13);
}

TEST(VirtualPedalMessages, SettingsOfEachEffectSurviveSwitchingEffects) {
    VirtualPedal pedal(kLenient);
    pedal.setAddressTable(0x26, kAddresses);
    pedal.receive(parameterMessage(kAddresses[0], 300));
    pedal.receive(hex("08 01 00"));
    pedal.receive(hex("04 00") + QByteArray(15, char(0xFF)) + hex("01 FF FF FF 08 09"));

    pedal.receive(makeImage(0x00, 0x07, 1, 1300, kAddresses));  // another effect runs
    ASSERT_EQ(pedal.effectId(), 0x07);
    pedal.takeOutput();
    EXPECT_EQ(record(pedal, 2).mid(0, 4), (QList<int>{0, 0, 0, 0}));
    pedal.receive(parameterMessage(kAddresses[0], 50));

    pedal.switchEffect(0x26);
    pedal.takeOutput();
    const QList<int> r = record(pedal, 2);
    ASSERT_EQ(r.size(), 49);
    EXPECT_EQ(r.mid(0, 4), (QList<int>{0x00, 0x25, 0x80, 0x00}));  // 300 × 8192
    EXPECT_EQ(r[8], 0x00);                                         // assignment of parameter 0
    EXPECT_EQ(r[24], 0x08);                                        // bypass function
    EXPECT_EQ(r[26], 0x01);                                        // LED of readback 0
    EXPECT_EQ(r[30], 0x01);                                        // reverse of parameter 0
    EXPECT_EQ(pedal.settings(0x07).values[0], 50u << 13);
}

TEST(VirtualPedalMemory, StoreWritesTheSettingsSlotOfTheEffect) {
    VirtualPedal pedal(kLenient);
    pedal.setAddressTable(0x26, kAddresses);
    pedal.receive(parameterMessage(kAddresses[1], 1023) + hex("07 05"));
    pedal.receive(hex("03 02"));
    EXPECT_TRUE(pedal.takeOutput().isEmpty());

    const QByteArray e = pedal.eeprom(0x50);
    ASSERT_EQ(e.size(), VirtualPedal::kEepromSize);
    EXPECT_EQ(e.mid(0, 6), hex("5A 00 00 05 26 01"));  // mode, number, MIDI, effect, version
    const int slot = 0x26 * VirtualPedal::kSettingsSlotSize;
    EXPECT_EQ(e.mid(slot, 2), hex("5A 02"));
    EXPECT_EQ(e.mid(slot + 2, 49), pedal.settingsRecord(2));
    EXPECT_EQ(e.mid(slot + 2 + 49, 10), QByteArray(10, char(0xFF)));
    EXPECT_EQ(pedal.eeprom(0x51), QByteArray(VirtualPedal::kEepromSize, char(0xFF)));
}

TEST(VirtualPedalMemory, EraseFillsWithFFAndReadDumpsABAndTheWholeMemory) {
    VirtualPedal pedal(kLenient);
    pedal.receive(hex("03 02"));
    pedal.receive(hex("0C 50 00 00 00 00"));
    QByteArray dump = pedal.takeOutput();
    ASSERT_EQ(dump.size(), 1 + 16384);
    EXPECT_EQ(quint8(dump[0]), 0xAB);
    EXPECT_EQ(dump.mid(1), pedal.eeprom(0x50));
    EXPECT_NE(dump.mid(1), QByteArray(16384, char(0xFF)));

    pedal.receive(hex("0B 50 00 00 00"));
    EXPECT_TRUE(pedal.takeOutput().isEmpty());
    pedal.receive(hex("0C 50 00 00 00 00"));
    dump = pedal.takeOutput();
    EXPECT_EQ(dump, QByteArray(1, char(0xAB)) + QByteArray(16384, char(0xFF)));

    // No device answers at another address.
    pedal.receive(hex("0B 52 00 00 00") + hex("0C 52 00 00 00 00"));
    EXPECT_TRUE(pedal.takeOutput().isEmpty());
}

TEST(VirtualPedalUploads, AnswersFollowTheShapeOfTheUpload) {
    struct Case {
        const char* name;
        QList<QByteArray> writes;
        QByteArray answer;
        int effectAfter;
    };
    const QByteArray good = makeImage(0x00, 0x11, 2, 1216, kAddresses);
    const Case cases[] = {
        {"whole", {good}, "Upload complete", 0x11},
        {"split over three writes",
         {good.left(1), good.mid(1, 600), good.mid(601)},
         "Upload complete",
         0x11},
        {"length field below four", {hex("00 00 02")}, "Upload Failed", 0x26},
        {"too short to carry an effect id", {makeImage(0x00, 0, 0, 20)}, "Upload Failed", 0x26},
        {"effect id 0", {makeImage(0x00, 0, 1, 1216)}, "Upload Failed", 0x26},
        {"effect id 64", {makeImage(0x00, 64, 1, 1216)}, "Upload Failed", 0x26},
        {"version 0", {makeImage(0x00, 0x11, 0, 1216)}, "Upload Failed", 0x26},
        {"largest image", {makeImage(0x00, 0x2A, 1, 9472)}, "Upload complete", 0x2A},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualPedal pedal(kLenient);
        for (const QByteArray& w : c.writes) pedal.receive(w, 1000);
        EXPECT_EQ(pedal.takeOutput(1000), c.answer);
        EXPECT_EQ(pedal.effectId(), c.effectAfter);
    }
}

TEST(VirtualPedalUploads, BadLengthFieldFailsAndTheNextMessageIsReadAgain) {
    VirtualPedal pedal(kLenient);
    pedal.receive(hex("0E 00 00") + hex("06 00"));
    EXPECT_EQ(pedal.takeOutput(), QByteArray("Upload Failed1\r\n38\r\n1\r\n5\r\n"));
}

TEST(VirtualPedalUploads, TruncatedUploadFailsOnlyAfterTheLineWentQuiet) {
    VirtualPedal pedal(kLenient);
    const QByteArray image = makeImage(0x00, 0x11, 1, 2000);
    pedal.receive(image.left(1500), 1'000'000);
    EXPECT_EQ(pedal.takeOutput(1'000'000 + VirtualPedal::kIdleTimeoutUs - 1), QByteArray());
    EXPECT_EQ(pedal.nextEventUs(1'000'000), 1'000'000 + VirtualPedal::kIdleTimeoutUs);
    EXPECT_EQ(pedal.takeOutput(1'000'000 + VirtualPedal::kIdleTimeoutUs), "Upload Failed");
    EXPECT_EQ(pedal.effectId(), 0x26);
    // The line is in step again.
    pedal.receive(hex("06 00"));
    EXPECT_EQ(pedal.takeOutput(), QByteArray("1\r\n38\r\n1\r\n5\r\n"));
}

TEST(VirtualPedalUploads, BankUploadsAreStoredAndRunWhenTheirBankIsCurrent) {
    VirtualPedal pedal(kLenient);
    pedal.receive(makeImage(0x0F, 0x12, 3, 5440));  // bank II while bank I is current
    EXPECT_EQ(pedal.takeOutput(), "Upload complete");
    EXPECT_TRUE(pedal.bankMode());
    EXPECT_EQ(pedal.effectId(), 0x26);
    EXPECT_EQ(pedal.bankImage(1).size(), 5440);
    EXPECT_EQ(pedal.eeprom(0x51).mid(5440, 5440), pedal.bankImage(1));

    pedal.receive(makeImage(0x0E, 0x13, 1, 1300));  // bank I, current: runs
    EXPECT_EQ(pedal.takeOutput(), "Upload complete");
    EXPECT_EQ(pedal.effectId(), 0x13);

    pedal.receive(makeImage(0x10, 0x14, 1, 5441));  // too large for a bank slot
    EXPECT_EQ(pedal.takeOutput(), "Upload Failed");
    EXPECT_TRUE(pedal.bankImage(2).isEmpty());

    pedal.switchBank(1);
    EXPECT_EQ(pedal.takeOutput(), "01");
    EXPECT_EQ(pedal.effectId(), 0x12);
    EXPECT_EQ(pedal.effectVersion(), 3);
    EXPECT_EQ(pedal.bankOrPreset(), 1);

    // Erasing the program memory empties the banks.
    pedal.receive(hex("0B 51 00 00 00"));
    pedal.switchBank(0);
    EXPECT_EQ(pedal.takeOutput(), "00");
    EXPECT_EQ(pedal.effectId(), 0);

    pedal.receive(makeImage(0x00, 0x15, 1, 1300));  // a preset upload leaves bank mode
    EXPECT_EQ(pedal.takeOutput(), "Upload complete");
    EXPECT_FALSE(pedal.bankMode());
    EXPECT_EQ(pedal.effectId(), 0x15);
}

TEST(VirtualPedalFrontPanel, ControlsSendWhatThePedalSendsOnItsOwn) {
    VirtualPedal pedal(kLenient);
    pedal.turnKnob(2, 5, 1023);
    EXPECT_EQ(pedal.takeOutput(), hex("AA 02 05 03 FF"));
    EXPECT_EQ(pedal.currentSettings().values[5], 1023u << 13);
    pedal.turnKnob(6, 3, 1);
    EXPECT_EQ(pedal.takeOutput(), hex("AA 06 03 00 01"));
    EXPECT_EQ(pedal.currentSettings().values[3], 1024u << 13);

    pedal.switchBank(2);
    EXPECT_EQ(pedal.takeOutput(), "02");
    pedal.switchBank(5);  // not a bank: sent, changes nothing
    EXPECT_EQ(pedal.takeOutput(), "05");
    pedal.setBankMode(true);
    EXPECT_EQ(pedal.bankOrPreset(), 2);

    pedal.switchEffect(0x1A);
    EXPECT_EQ(pedal.takeOutput(), "11A");
    EXPECT_EQ(pedal.effectId(), 0x1A);

    // The firmware is not running in the bootloader: nothing is sent.
    pedal.enterBootloader();
    pedal.turnKnob(0, 0, 1);
    pedal.switchBank(1);
    EXPECT_TRUE(pedal.takeOutput().isEmpty());
}

TEST(VirtualPedalFaults, SilentGarbageAndUnknownCodes) {
    VirtualPedal silent(kLenient);
    silent.setSilentOn(0x06);
    silent.receive(hex("06 00"));
    EXPECT_TRUE(silent.takeOutput().isEmpty());
    silent.receive(makeImage(0x00, 0x11, 1, 1300));  // other codes still answer
    EXPECT_EQ(silent.takeOutput(), "Upload complete");

    VirtualPedal garbage(kLenient);
    garbage.setGarbageOn(0x06);
    garbage.setGarbageOn(0x00);
    garbage.receive(hex("06 00"));
    const QByteArray junk = garbage.takeOutput();
    ASSERT_FALSE(junk.isEmpty());
    for (char c : junk) {
        EXPECT_GE(quint8(c), 0x80);  // nothing a host could read as text or a report
        EXPECT_NE(quint8(c), 0xAA);
        EXPECT_NE(quint8(c), 0xAB);
    }
    garbage.receive(makeImage(0x00, 0x11, 1, 1300));
    EXPECT_NE(garbage.takeOutput(), "Upload complete");
    garbage.clearFaults();
    garbage.receive(hex("06 00"));
    EXPECT_EQ(garbage.takeOutput(), QByteArray("1\r\n17\r\n1\r\n5\r\n"));

    VirtualPedal unknown(kLenient);
    unknown.receive(hex("09 FF 42 06 00"));
    EXPECT_EQ(unknown.skippedByteCount(), 3);
    EXPECT_EQ(unknown.takeOutput(), QByteArray("1\r\n38\r\n1\r\n5\r\n"));
}

TEST(VirtualPedalFaults, UnplugLosesWhatWasInFlight) {
    VirtualPedal pedal(kLenient);
    pedal.receive(hex("06 00"));
    pedal.unplug();
    EXPECT_EQ(pedal.bytesAvailable(), 0);
    pedal.receive(hex("06 00"));
    EXPECT_TRUE(pedal.takeOutput().isEmpty());
    pedal.replug();
    pedal.receive(hex("06 00"));
    EXPECT_EQ(pedal.takeOutput(), QByteArray("1\r\n38\r\n1\r\n5\r\n"));
    EXPECT_EQ(pedal.plugGeneration(), 1);
}

TEST(VirtualPedalLine, OneByteAtATimeGivesTheSameResult) {
    const QByteArray script =
        hex("0A 01 00") + hex("07 03") + hex("08 01 02") + parameterMessage(1, 700) +
        makeImage(0x00, 0x21, 2, 1400) + hex("01 00 02 00 20 00 00") + hex("06 00") + hex("02 03") +
        hex("03 03") + hex("0C 50 00 00 00 00") + hex("0E 00 01") + makeImage(0x10, 0x22, 1, 1216);
    VirtualPedal whole(kLenient);
    whole.receive(script);
    VirtualPedal bytewise(kLenient);
    for (char c : script) bytewise.receive(QByteArray(1, c));
    const QByteArray expected = whole.takeOutput();
    EXPECT_EQ(bytewise.takeOutput(), expected);
    EXPECT_TRUE(expected.startsWith("Upload complete1\r\n33\r\n2\r\n5\r\n"));
    EXPECT_TRUE(expected.endsWith("Upload FailedUpload complete"));
    EXPECT_EQ(bytewise.eeprom(0x50), whole.eeprom(0x50));
    EXPECT_EQ(bytewise.settingsRecord(3), whole.settingsRecord(3));
}

TEST(VirtualPedalLine, WireTimePacesAnswersAndUploads) {
    VirtualPedal pedal;  // realistic timing is the default
    pedal.setLatencyTimer(1);
    const qint64 t0 = 10'000'000;  // µs
    pedal.receive(hex("06 00"), t0);
    // Two bytes in at 86.8 µs each, then one byte out every 86.8 µs; the
    // latency timer sends what has come each millisecond.
    const qint64 byteUs10 = 10 * VirtualPedal::kBitNs / 100;
    const qint64 lastOut = t0 + (2 + 13) * byteUs10 / 10;
    EXPECT_EQ(pedal.bytesAvailable(t0 + 2 * byteUs10 / 10), 0);
    EXPECT_EQ(pedal.takeOutput(t0 + 1000), "1\r\n38\r\n1\r");
    EXPECT_EQ(pedal.bytesAvailable(lastOut), 0);
    EXPECT_EQ(pedal.nextEventUs(lastOut), t0 + 2000);
    EXPECT_EQ(pedal.takeOutput(t0 + 2000), "\n5\r\n");

    // An upload of 1300 bytes takes its wire time before the answer.
    const qint64 t1 = 20'000'000;
    pedal.receive(makeImage(0x00, 0x11, 1, 1300), t1);
    const qint64 uploadEnds = t1 + 1300 * byteUs10 / 10;
    EXPECT_EQ(pedal.bytesAvailable(uploadEnds), 0);
    EXPECT_EQ(pedal.effectId(), 0x26);  // not all of it has arrived
    EXPECT_EQ(pedal.takeOutput(uploadEnds + 15 * 87 + 1000), "Upload complete");
    EXPECT_EQ(pedal.effectId(), 0x11);
}

TEST(VirtualPedalLine, EachSideUnderstandsOnlyItsParity) {
    VirtualPedal pedal(kLenient);
    pedal.setRequireSaveHeld(false);
    pedal.setLineSettings(115200, LineParity::Even);
    pedal.receive(hex("06 00"));  // the firmware runs at no parity: both break
    EXPECT_TRUE(pedal.takeOutput().isEmpty());
    EXPECT_EQ(pedal.ignoredByteCount(), 2);

    pedal.setLineSettings(115200, LineParity::None);
    pedal.receive(hex("05 00 01 02 03 04 05 06"));
    ASSERT_TRUE(pedal.inBootloader());
    pedal.receive(hex("7F"), 100'000);
    pedal.receive(hex("00 FF"));  // the bootloader wants even parity
    EXPECT_EQ(pedal.takeOutput(), hex("79"));
    pedal.setLineSettings(115200, LineParity::Even);
    pedal.receive(hex("00 FF"));
    EXPECT_TRUE(pedal.takeOutput().startsWith(hex("79 0B")));

    // A pseudo-terminal cannot tell: both sides accept.
    VirtualPedal pty(kLenient);
    pty.setRequireSaveHeld(false);
    pty.setLineSettings(115200, LineParity::Unknown);
    pty.receive(hex("05 00 01 02 03 04 05 06"));
    pty.receive(hex("7F 00 FF"), 100'000);
    EXPECT_TRUE(pty.takeOutput().startsWith(hex("79 79 0B")));

    VirtualPedal wrongBaud(kLenient);
    wrongBaud.setLineSettings(9600, LineParity::None);
    wrongBaud.receive(hex("06 00"));
    EXPECT_TRUE(wrongBaud.takeOutput().isEmpty());
}

TEST(VirtualPedalLine, RestartMessageEntersTheBootloader) {
    struct Case {
        const char* name;
        QByteArray message;
        bool requireSave;
        bool saveHeld;
        bool enters;
    };
    const Case cases[] = {
        {"restart", hex("05 00 01 02 03 04 05 06"), false, false, true},
        {"other bytes after 05", hex("05 00 00 00 00 00 00 00"), false, false, false},
        {"SAVE required and held", hex("05 00 01 02 03 04 05 06"), true, true, true},
        {"SAVE required, not held", hex("05 00 01 02 03 04 05 06"), true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualPedal pedal(kLenient);
        pedal.setRequireSaveHeld(c.requireSave);
        pedal.pressAndHoldSave(c.saveHeld);
        pedal.receive(c.message);
        EXPECT_EQ(pedal.inBootloader(), c.enters);
        EXPECT_TRUE(pedal.takeOutput().isEmpty());  // the pedal does not acknowledge it
    }
}
