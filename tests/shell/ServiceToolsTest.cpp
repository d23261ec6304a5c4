#include <gtest/gtest.h>

#include "Printers.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <cfenv>
#include <cmath>

#include "ServicePedal.h"
#include "core/Log.h"
#include "shell/ServiceTools.h"
#include "shell/ui/ServiceTools.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompt.h"

using namespace zendal;
using namespace zendal::service;

namespace {

// The Audio EQ Cookbook's peaking filter, written out independently, with the
// feedback signs turned for y[n] = ... + a1 y[n-1] + a2 y[n-2].
Biquad cookbook(double f0, double gainDb, double q) {
    const double pi = 3.14159265358979323846;
    const double A = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2 * pi * f0 / 48000.0;
    const double alpha = std::sin(w0) / (2 * q);
    const double b0 = 1 + alpha * A, b1 = -2 * std::cos(w0), b2 = 1 - alpha * A;
    const double a0 = 1 + alpha / A, a1 = -2 * std::cos(w0), a2 = 1 - alpha / A;
    return {b0 / a0, b1 / a0, b2 / a0, -a1 / a0, -a2 / a0};
}

// Four quoted pairs of the 32-bit two's complement of round(c * 2^23).
QString pairs(double c) {
    std::fesetround(FE_TONEAREST);
    const auto v =
        static_cast<std::uint32_t>(static_cast<std::int64_t>(std::nearbyint(c * 8388608.0)));
    const QString hex = QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("'%1', '%2', '%3', '%4'")
        .arg(hex.mid(0, 2), hex.mid(2, 2), hex.mid(4, 2), hex.mid(6, 2));
}

QStringList lastLogLines(int n) {
    const QStringList& all = Log::instance().lines();
    return all.mid(all.size() - n);
}

}  // namespace

TEST(ShellNoteNames, FortyEightFromA1ToGSharp5) {
    const QStringList& n = noteNames();
    ASSERT_EQ(n.size(), 48);
    EXPECT_EQ(n.first(), QStringLiteral("A1"));
    EXPECT_EQ(n[2], QStringLiteral("B1"));
    EXPECT_EQ(n[3], QStringLiteral("C2"));
    EXPECT_EQ(n[12], QStringLiteral("A2"));
    EXPECT_EQ(n[39], QStringLiteral("C5"));
    EXPECT_EQ(n.last(), QStringLiteral("G#5"));
    EXPECT_DOUBLE_EQ(NoteFrequency(0), 110.0);
    EXPECT_DOUBLE_EQ(NoteFrequency(-12), 55.0);
    EXPECT_DOUBLE_EQ(NoteFrequency(12), 220.0);
}

TEST(ShellFixedPoint23, RoundsHalvesToEvenAndWraps) {
    const double lsb = 1.0 / 8388608.0;
    struct Case {
        double value;
        std::uint32_t word;
    };
    const Case cases[] = {
        {1.0, 0x00800000u},
        {-1.0, 0xFF800000u},
        {0.5 * lsb, 0u},
        {1.5 * lsb, 2u},
        {2.5 * lsb, 2u},
        {-0.5 * lsb, 0u},
        {-1.5 * lsb, 0xFFFFFFFEu},
        {-2.5 * lsb, 0xFFFFFFFEu},
        {0.6 * lsb, 1u},
        {256.0, 0x80000000u},
        {512.0, 0u},
        {-256.0, 0x80000000u},
        {INFINITY, 0x7FFFFFFFu},
        {-INFINITY, 0x80000000u},
        {NAN, 0u},
    };
    for (const Case& c : cases) EXPECT_EQ(toFixedPoint23(c.value), c.word) << c.value;
}

TEST(ShellBiquad, MatchesTheCookbookLineByLine) {
    struct Case {
        int note;
        double gain, q;
        const char* heading;
    };
    const Case cases[] = {
        {12, 0.0, 1.41, "A2_0db_boost_Q1.41"},
        {0, -6.0, 11.0, "A1_6db_cut_Q11"},
        {47, 12.0, 0.7, "G#5_12db_boost_Q0.7"},
        {15, -3.5, 2.0, "C3_3.5db_cut_Q2"},
    };
    const QLocale c = QLocale::c();
    for (const Case& k : cases) {
        const double f0 = NoteFrequency(k.note - 12);
        const QStringList lines = PrintBiquadCoefficients(
            noteNames()[k.note], peakingBiquad(f0, k.gain, k.q), k.gain, k.q, c);
        const Biquad ref = cookbook(f0, k.gain, k.q);
        const QStringList expected = {
            QString::fromLatin1(k.heading) + QStringLiteral(" : array[0..19] of string ="),
            QStringLiteral("(") + pairs(ref.b0) + QStringLiteral(", "),
            pairs(ref.b1) + QStringLiteral(", "),
            pairs(ref.b2) + QStringLiteral(", "),
            pairs(ref.a1) + QStringLiteral(", "),
            pairs(ref.a2) + QStringLiteral(");"),
        };
        EXPECT_EQ(lines, expected) << k.heading;
    }
}

TEST(ShellBiquad, UnityGainA2) {
    const QStringList lines = PrintBiquadCoefficients(
        QStringLiteral("A2"), peakingBiquad(110.0, 0.0, 1.41), 0.0, 1.41, QLocale::c());
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("A2_0db_boost_Q1.41 : array[0..19] of string ="));
    EXPECT_EQ(lines[1], QStringLiteral("('00', '80', '00', '00', "));
    // With no gain the feed-forward taps mirror the feedback taps.
    const Biquad b = peakingBiquad(110.0, 0.0, 1.41);
    EXPECT_EQ(toFixedPoint23(b.b1), toFixedPoint23(-b.a1));
    EXPECT_EQ(toFixedPoint23(b.b2), toFixedPoint23(-b.a2));
}

TEST(ShellCalculator, StartValuesHoldUntilAFieldIsEdited) {
    Calculator calc(QLocale::c());
    calc.setNoteIndex(12);
    EXPECT_EQ(calc.calculate().first(),
              QStringLiteral("A2_6db_cut_Q11 : array[0..19] of string ="));
    EXPECT_EQ(lastLogLines(6).first(), QStringLiteral("A2_6db_cut_Q11 : array[0..19] of string ="));
}

TEST(ShellCalculator, LocaleAwareFieldsTable) {
    struct Case {
        QLocale locale;
        const char* qText;
        bool accepted;
        const char* logged;  // "Q: ..." when accepted
    };
    const Case cases[] = {
        {QLocale::c(), "1.41", true, "Q: 1.41"},
        {QLocale::c(), "2", true, "Q: 2"},
        {QLocale::c(), "0.333333333333333333", true, "Q: 0.333333333333333"},
        {QLocale::c(), "1,41", false, nullptr},
        {QLocale::c(), "abc", false, nullptr},
        {QLocale::c(), "", false, nullptr},
        {QLocale::c(), "0", false, nullptr},  // no filter has Q 0
        {QLocale::c(), "-1", false, nullptr},
        {QLocale::c(), "inf", false, nullptr},
        {QLocale(QLocale::German, QLocale::Germany), "1,41", true, "Q: 1,41"},
        {QLocale(QLocale::German, QLocale::Germany), "1.41", false, nullptr},
    };
    for (const Case& c : cases) {
        Calculator calc(c.locale);
        const qsizetype before = Log::instance().lines().size();
        EXPECT_EQ(calc.setQText(QString::fromLatin1(c.qText)), c.accepted) << c.qText;
        if (c.accepted) {
            ASSERT_EQ(Log::instance().lines().size(), before + 1) << c.qText;
            EXPECT_EQ(Log::instance().lines().last(), QString::fromLatin1(c.logged));
        } else {
            EXPECT_EQ(Log::instance().lines().size(), before) << "nothing logged: " << c.qText;
            EXPECT_EQ(calc.q(), 11.0) << c.qText;
        }
    }
}

TEST(ShellCalculator, BoostFieldAndGermanHeading) {
    Calculator calc(QLocale(QLocale::German, QLocale::Germany));
    calc.setNoteIndex(12);
    ASSERT_TRUE(calc.setBoostText(QStringLiteral("-2,5")));
    EXPECT_EQ(Log::instance().lines().last(), QStringLiteral("boost: -2,5"));
    ASSERT_TRUE(calc.setQText(QStringLiteral("0,7")));
    EXPECT_FALSE(calc.setBoostText(QStringLiteral("x")));
    EXPECT_EQ(calc.gainDb(), -2.5);
    EXPECT_EQ(calc.calculate().first(),
              QStringLiteral("A2_2,5db_cut_Q0,7 : array[0..19] of string ="));
}

TEST(ShellRawParameterMessage, AcceptsOnlyFourAndEightHexDigits) {
    struct Case {
        const char* address;
        const char* data;
        const char* message;  // nullptr: refused
    };
    const Case cases[] = {
        {"0012", "00800000", "01001200800000"},
        {"00ab", "deadBEEF", "0100abdeadBEEF"},
        {"addr", "data", nullptr},
        {"", "", nullptr},
        {"12", "00800000", nullptr},
        {"0012", "008000", nullptr},
        {"00123", "00800000", nullptr},
        {"0012", "008000000", nullptr},
        {"00G2", "00800000", nullptr},
        {"0012", "0080 000", nullptr},
    };
    for (const Case& c : cases) {
        QString why;
        const auto m =
            rawParameterMessage(QString::fromLatin1(c.address), QString::fromLatin1(c.data), &why);
        if (c.message) {
            ASSERT_TRUE(m.has_value()) << c.address << " " << c.data;
            EXPECT_EQ(*m, QString::fromLatin1(c.message));
        } else {
            EXPECT_FALSE(m.has_value()) << c.address << " " << c.data;
            EXPECT_FALSE(why.isEmpty());
        }
    }
}

class ShellServicePanel : public ::testing::Test {
  protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
    test::FakeClock clock;
    test::ScriptedPrompt prompt;
    test::ServicePedal pedal;
};

TEST_F(ShellServicePanel, ControlsAndTheirStartState) {
    ServiceToolsPanel panel;
    panel.show();
    EXPECT_EQ(panel.cmbI2Caddr->count(), 2);
    EXPECT_EQ(panel.cmbI2Caddr->itemText(0), QStringLiteral("50"));
    EXPECT_EQ(panel.cmbI2Caddr->itemText(1), QStringLiteral("51"));
    EXPECT_EQ(panel.cmbI2Caddr->currentIndex(), -1);
    EXPECT_EQ(panel.btnEraseEeprom->text(), QStringLiteral("Erase EEPROM"));
    EXPECT_EQ(panel.btnReadEEPROM->text(), QStringLiteral("Read EEPROM"));
    EXPECT_TRUE(panel.btnEraseEeprom->isVisible());
    EXPECT_EQ(panel.btnGetNoteFrequency->text(), QStringLiteral("Calc Coeff."));
    EXPECT_EQ(panel.edtQ->text(), QStringLiteral("1.41"));
    EXPECT_EQ(panel.edtBoost->text(), QStringLiteral("0"));
    EXPECT_EQ(panel.edtAddress->text(), QStringLiteral("addr"));
    EXPECT_EQ(panel.edtData->text(), QStringLiteral("data"));
    EXPECT_EQ(panel.cmbNotePicker->count(), 48);
    EXPECT_EQ(panel.cmbNotePicker->currentText(), QStringLiteral("A1"));
    for (QWidget* hidden : std::initializer_list<QWidget*>{
             panel.btnSend, panel.edtAddress, panel.edtData, panel.cmbNotePicker, panel.edtQ,
             panel.edtBoost, panel.btnGetNoteFrequency}) {
        EXPECT_FALSE(hidden->isVisible()) << hidden->objectName().toStdString();
    }
}

TEST_F(ShellServicePanel, CalcUsesStoredStartValuesNotTheFieldTexts) {
    ServiceToolsPanel panel;
    panel.btnGetNoteFrequency->click();
    EXPECT_EQ(lastLogLines(6).first(), QStringLiteral("A1_6db_cut_Q11 : array[0..19] of string ="));

    // Editing the fields (to the texts they showed) stores their values.
    panel.cmbNotePicker->setCurrentIndex(12);
    panel.edtQ->clear();
    panel.edtQ->setText(QStringLiteral("1.41"));
    panel.edtBoost->clear();
    panel.edtBoost->setText(QStringLiteral("0"));
    panel.btnGetNoteFrequency->click();
    const QStringList lines = lastLogLines(6);
    EXPECT_EQ(lines[0], QStringLiteral("A2_0db_boost_Q1.41 : array[0..19] of string ="));
    EXPECT_EQ(lines[1], QStringLiteral("('00', '80', '00', '00', "));
    EXPECT_TRUE(pedal.writes().isEmpty());
}

TEST_F(ShellServicePanel, RawSendRefusesBadInputAndSendsSevenBytes) {
    ServiceToolsPanel panel;
    panel.btnSend->click();  // "addr" / "data"
    EXPECT_TRUE(pedal.writes().isEmpty());
    ASSERT_EQ(prompt.informations.size(), 1);

    panel.edtAddress->setText(QStringLiteral("0012"));
    panel.edtData->setText(QStringLiteral("00800000"));
    panel.btnSend->click();
    EXPECT_EQ(Log::instance().lines().last(), QStringLiteral("01001200800000"));
    ASSERT_EQ(pedal.writes().size(), 1);
    EXPECT_EQ(pedal.writes()[0], QByteArray::fromHex("01001200800000"));
    EXPECT_EQ(prompt.informations.size(), 1);
}

// While the firmware upgrade has the pedal (or another exchange waits), the
// tools send nothing and say why.
TEST_F(ShellServicePanel, ToolsWriteNothingWhileTheGuardSaysNo) {
    ServiceToolsPanel panel;
    QString why = QStringLiteral("The firmware upgrade has the pedal.");
    panel.setWriteGuard([&] { return why; });
    panel.cmbI2Caddr->setCurrentIndex(1);
    panel.edtAddress->setText(QStringLiteral("0012"));
    panel.edtData->setText(QStringLiteral("00800000"));
    for (QPushButton* b : {panel.btnEraseEeprom, panel.btnReadEEPROM, panel.btnSend}) b->click();
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_EQ(prompt.informations, QStringList(3, why));

    why.clear();
    panel.btnEraseEeprom->click();
    EXPECT_EQ(pedal.writes(), QList<QByteArray>{QByteArray::fromHex("0B51000000")});
}

TEST_F(ShellServicePanel, EepromButtonsUseTheChosenAddress) {
    ServiceToolsPanel panel;
    panel.btnEraseEeprom->click();  // nothing chosen
    panel.cmbI2Caddr->setCurrentIndex(1);
    panel.btnEraseEeprom->click();
    panel.cmbI2Caddr->setCurrentIndex(0);
    panel.btnReadEEPROM->click();
    EXPECT_EQ(pedal.writes(),
              (QList<QByteArray>{QByteArray::fromHex("0B000000"), QByteArray::fromHex("0B51000000"),
                                 QByteArray::fromHex("0C5000000000")}));
}
