// zendalctl settings / set / preset against a recording driver: what they
// print, send and refuse.

#include <gtest/gtest.h>

#include <QFile>
#include <QTextStream>

#include "ParamsTestSupport.h"
#include "app/zendalctl/Command.h"
#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"
#include "protocol/PedalConnection.h"
#include "support/FakeClock.h"
#include "support/InProcessCommand.h"
#include "support/TempHome.h"

using namespace zendal;
using namespace zendal::test;

class ParamsZendalctl : public ::testing::Test {
  protected:
    FakeClock clock;
    TempHome home;
    // zendalctl's one connection; the stand-in pedal plugs into its port.
    PedalConnection connection;
    bool installed = (connection.makeProcessPort(), true);
    ParamsPedal driver;
    QString out, err;

    void SetUp() override {
        // Effect 0x26 version 1 on firmware 5.
        driver.infoReply = "1\r\n38\r\n1\r\n5\r\n";
        setDescriptorLoader([](const QString&, TControlDescriptor* d, QString*) {
            *d = makeDescriptor(2, {QStringLiteral("Phase:-:Inverted")},
                                {QStringLiteral("Mode;a;b;c")}, {QStringLiteral("LFO")},
                                {QStringLiteral("0005"), QStringLiteral("0007"),
                                 QStringLiteral("000C"), QStringLiteral("0006")});
            return true;
        });
        pedalHolds(RecordBuilder(4)
                       .value(0, 1023)
                       .value(2, 1024)
                       .value(3, 400)
                       .assignment(0, 0x08)
                       .reverse(0, 0x01)
                       .led(0, 0x02)
                       .bypass(0x09)
                       .midi(0x10)
                       .bytes);
    }
    void TearDown() override { setDescriptorLoader({}); }

    void pedalHolds(const QVector<std::uint8_t>& record) {
        const QByteArray reply = settingsReplyText(record);
        driver.answerRequest = [reply](const QByteArray&) { return reply; };
    }

    int run(const QString& command, const QStringList& args) {
        test::CommandRun r = test::runCommand(connection, command, args);
        out = r.out;
        err = r.err;
        return r.code;
    }
    // Writes after the device-information and settings requests.
    QStringList sent() const {
        QStringList all = driver.writtenHex();
        all.removeAll(QStringLiteral("0600"));
        all.removeAll(QStringLiteral("0204"));
        return all;
    }
};

TEST_F(ParamsZendalctl, SettingsPrintsEveryParameterAndThePedalState) {
    ASSERT_EQ(run(QStringLiteral("settings"), {}), ctl::kOk) << err.toStdString();
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 10) << out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("effect: 0x26 "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" v1")));
    EXPECT_EQ(lines[1].simplified(), QStringLiteral("0 Pot0 pot 1023 FS reversed"));
    EXPECT_EQ(lines[2].simplified(), QStringLiteral("1 Pot1 pot 0 -- normal"));
    EXPECT_EQ(lines[3].simplified(), QStringLiteral("2 Phase switch on (Inverted) -- normal"));
    EXPECT_EQ(lines[4].simplified(), QStringLiteral("3 Mode multi 1 (b) -- normal"));
    EXPECT_EQ(lines.mid(5),
              (QStringList{QStringLiteral("bypass: FL"), QStringLiteral("preset change: --"),
                           QStringLiteral("LED LFO: RED"), QStringLiteral("mode: preset, preset 0"),
                           QStringLiteral("MIDI channel: 16")}));
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(ParamsZendalctl, SetChecksTheValueAgainstTheParameterKind) {
    struct Case {
        QStringList args;
        int code;
        QStringList sent;
    };
    const Case cases[] = {
        {{"0", "512"}, ctl::kOk, {QStringLiteral("01000500400000")}},
        {{"0", "1024"}, ctl::kUsage, {}},
        {{"0", "-1"}, ctl::kUsage, {}},
        {{"2", "1"}, ctl::kOk, {QStringLiteral("01000C00800000")}},
        {{"2", "2"}, ctl::kUsage, {}},
        {{"3", "2"}, ctl::kOk, {QStringLiteral("01000600554000")}},
        {{"3", "3"}, ctl::kUsage, {}},
        {{"4", "0"}, ctl::kUsage, {}},
        {{"x", "0"}, ctl::kUsage, {}},
        {{"0"}, ctl::kUsage, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        driver.clearWrites();
        EXPECT_EQ(run(QStringLiteral("set"), c.args), c.code);
        EXPECT_EQ(sent(), c.sent);
    }
}

TEST_F(ParamsZendalctl, PresetSaveThenLoadSendsOnlyTheDifferences) {
    const QString path = home.path() + QStringLiteral("/p.txt");
    ASSERT_EQ(run(QStringLiteral("preset"), {QStringLiteral("save"), path}), ctl::kOk)
        << err.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("\xEF\xBB\xBF") +
                               "0026\r01\r04\r007FE000\r00000000\r00800000\r00320000\r"
                               "08\rFF\rFF\rFF\r1\r0\r0\r0\r02\r");
    f.close();

    // Unchanged pedal: nothing to send.
    driver.clearWrites();
    ASSERT_EQ(run(QStringLiteral("preset"), {QStringLiteral("load"), path}), ctl::kOk)
        << err.toStdString();
    EXPECT_TRUE(sent().isEmpty());

    // The pedal moved pot 1, turned the switch off and lost the LED since:
    // the two values, then one Assign with the file's LED (bypass and preset
    // as the pedal has them).
    pedalHolds(RecordBuilder(4)
                   .value(0, 1023)
                   .value(1, 77)
                   .value(3, 400)
                   .assignment(0, 0x08)
                   .reverse(0, 0x01)
                   .bytes);
    driver.clearWrites();
    ASSERT_EQ(run(QStringLiteral("preset"), {QStringLiteral("load"), path}), ctl::kOk);
    EXPECT_EQ(sent(),
              (QStringList{QStringLiteral("01000700000000"), QStringLiteral("01000C00800000"),
                           QStringLiteral("0408FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF02FFFFFFFFFF")}));
    EXPECT_TRUE(out.contains(QStringLiteral("3 message(s) sent"))) << out.toStdString();
}

// What preset save kept comes back with preset load: values, assignments,
// LEDs and reverse, whatever the pedal holds in between.
TEST_F(ParamsZendalctl, PresetLoadRestoresAssignmentsLedsAndReverse) {
    const QString path = home.path() + QStringLiteral("/p.txt");
    ASSERT_EQ(run(QStringLiteral("preset"), {QStringLiteral("save"), path}), ctl::kOk);
    // Everything moved: pot 0 to 0, pot 0 on EXP and not reversed, pot 1 on
    // KII, the LED on GREEN, bypass on FS.
    pedalHolds(RecordBuilder(4)
                   .value(2, 1024)
                   .value(3, 400)
                   .assignment(0, 0x0B)
                   .assignment(1, 0x01)
                   .reverse(0, 0xFF)
                   .led(0, 0x03)
                   .bypass(0x08)
                   .bytes);
    driver.clearWrites();
    ASSERT_EQ(run(QStringLiteral("preset"), {QStringLiteral("load"), path}), ctl::kOk)
        << err.toStdString();
    EXPECT_EQ(sent(),
              (QStringList{QStringLiteral("010005007FE000"), QStringLiteral("080100"),
                           QStringLiteral("0408FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF02FFFFFF08FF")}));
}

TEST_F(ParamsZendalctl, AssignPutsOneParameterOrLedOnATarget) {
    struct Case {
        QStringList args;
        int code;
        QString sent;  // the Assign message, empty when nothing is sent
    };
    // The pedal: pot 0 on FS, LED 0 on RED, bypass on FL.
    const Case cases[] = {
        {{"1", "EXP"}, ctl::kOk, QStringLiteral("04080BFFFFFFFFFFFFFFFFFFFFFFFFFFFF02FFFFFF09FF")},
        {{"0", "--"}, ctl::kOk, QStringLiteral("04FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF02FFFFFF09FF")},
        {{"3", "kii"}, ctl::kOk, QStringLiteral("0408FFFF01FFFFFFFFFFFFFFFFFFFFFFFF02FFFFFF09FF")},
        {{"led", "0", "GREEN"},
         ctl::kOk,
         QStringLiteral("0408FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF03FFFFFF09FF")},
        {{"led", "0", "--"},
         ctl::kOk,
         QStringLiteral("0408FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF09FF")},
        // The effect has 4 parameters and 1 readback.
        {{"4", "EXP"}, ctl::kUsage, {}},
        {{"led", "1", "RED"}, ctl::kUsage, {}},
        // Refused before the pedal is asked.
        {{"16", "EXP"}, ctl::kUsage, {}},
        {{"-1", "EXP"}, ctl::kUsage, {}},
        {{"0", "KVI"}, ctl::kUsage, {}},
        {{"led", "0", "EXP"}, ctl::kUsage, {}},
        {{"led", "4", "RED"}, ctl::kUsage, {}},
        {{"0"}, ctl::kUsage, {}},
        {{}, ctl::kUsage, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        driver.clearWrites();
        EXPECT_EQ(run(QStringLiteral("assign"), c.args), c.code) << err.toStdString();
        EXPECT_EQ(sent(), c.sent.isEmpty() ? QStringList() : QStringList{c.sent});
    }
    driver.clearWrites();
    run(QStringLiteral("assign"), {QStringLiteral("16"), QStringLiteral("EXP")});
    EXPECT_TRUE(driver.writtenHex().isEmpty()) << "a usage error asks the pedal nothing";
}

TEST_F(ParamsZendalctl, AssignPutsTheBypassAndPresetFunctionsOnTheFootswitch) {
    struct Case {
        QStringList args;
        int code;
        QString ends;  // the Assign message's two function bytes, empty when nothing is sent
    };
    // The pedal: bypass on FL, preset change not assigned; its other bytes stay.
    const QString kept = QStringLiteral("0408FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF02FFFFFF");
    const Case cases[] = {
        {{"bypass", "FS"}, ctl::kOk, QStringLiteral("08FF")},
        {{"bypass", "--"}, ctl::kOk, QStringLiteral("FFFF")},
        {{"preset", "rmt"}, ctl::kOk, QStringLiteral("090A")},
        {{"bank", "FL"}, ctl::kOk, QStringLiteral("0909")},
        {{"bypass", "EXP"}, ctl::kUsage, {}},
        {{"preset", "KI"}, ctl::kUsage, {}},
        {{"bypass"}, ctl::kUsage, {}},
        {{"bypass", "FS", "FL"}, ctl::kUsage, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        driver.clearWrites();
        EXPECT_EQ(run(QStringLiteral("assign"), c.args), c.code) << err.toStdString();
        EXPECT_EQ(sent(), c.ends.isEmpty() ? QStringList() : QStringList{kept + c.ends});
    }

    // In bank mode the footswitch keeps bypass and bank select, as the window shows.
    pedalHolds(RecordBuilder(4).assignment(0, 0x08).led(0, 0x02).mode(1, 0).bytes);
    driver.clearWrites();
    EXPECT_EQ(run(QStringLiteral("assign"), {QStringLiteral("bypass"), QStringLiteral("RMT")}),
              ctl::kFailure);
    EXPECT_TRUE(err.contains(QStringLiteral("bank mode"))) << err.toStdString();
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(run(QStringLiteral("assign"), {QStringLiteral("1"), QStringLiteral("EXP")}),
              ctl::kOk);
    EXPECT_EQ(sent(),
              QStringList{QStringLiteral("04080BFFFFFFFFFFFFFFFFFFFFFFFFFFFF02FFFFFF0809")});
}

TEST_F(ParamsZendalctl, PresetLoadRefusesAnotherEffect) {
    const QString path = home.path() + QStringLiteral("/other.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0027\r01\r04\r");
    f.close();
    EXPECT_EQ(run(QStringLiteral("preset"), {QStringLiteral("load"), path}), ctl::kFailure);
    EXPECT_TRUE(err.contains(QStringLiteral(
        "Loaded configuration does not match the effect type currently stored on pedal")));
    EXPECT_TRUE(sent().isEmpty());
}
