// The pedal's sample words: the converter of stored samples, the float scaling
// and the IR layout of the four effects.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/ImpulseResponse.h"

using namespace zendal;

namespace {

struct ConvertCase {
    const char* name;
    QString hex;
    int bits;
    int n;
    QString expected;  // empty: refused
};

class ConvertIrSamples : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertIrSamples, GivesTheWords) {
    const ConvertCase& c = GetParam();
    EXPECT_EQ(convert_ir_samples(c.hex, c.bits, c.n), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConvertIrSamples,
    ::testing::Values(ConvertCase{"MostNegative24", "000080", 24, 1, "FF800000"},
                      ConvertCase{"MostPositive24", "FFFF7F", 24, 1, "007FFFFF"},
                      ConvertCase{"MinusOne24", "FFFFFF", 24, 1, "FFFFFFFF"},
                      ConvertCase{"Example32DropsLowByte", "78563412", 32, 1, "00123456"},
                      ConvertCase{"Negative32", "FF000080", 32, 1, "FF800000"},
                      ConvertCase{"LowerCaseDigits", "abcdef", 24, 1, "FFEFCDAB"},
                      ConvertCase{"SamplesInOrder",
                                  "010000"
                                  "020000"
                                  "030000",
                                  24, 3,
                                  "00000001"
                                  "00000002"
                                  "00000003"},
                      ConvertCase{"ExtraSamplesIgnored",
                                  "563412"
                                  "FFFFFF",
                                  24, 1, "00123456"},
                      ConvertCase{"ZeroSamples", "", 24, 0, ""},
                      ConvertCase{"TooFewSamples", "010000", 24, 2, ""},
                      ConvertCase{"HalfASample", "01000", 24, 1, ""},
                      ConvertCase{"SixteenBitsHasNoConversion", "0100", 16, 1, ""},
                      ConvertCase{"EightBitsHasNoConversion", "01", 8, 1, ""},
                      ConvertCase{"NotHexadecimal", "0G0000", 24, 1, ""},
                      ConvertCase{"SignIsNotADigit", "+10000", 24, 1, ""},
                      ConvertCase{"SpaceIsNotADigit", "01 000", 24, 1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct FloatCase {
    const char* name;
    double sample;
    qint32 word;
};

class FloatToIrWord : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FloatToIrWord, ScalesClampsAndRoundsHalfToEven) {
    EXPECT_EQ(floatToIrWord(GetParam().sample), GetParam().word);
}

constexpr double kLsb = 1.0 / 8388608.0;

INSTANTIATE_TEST_SUITE_P(
    Table, FloatToIrWord,
    ::testing::Values(FloatCase{"Zero", 0.0, 0}, FloatCase{"Half", 0.5, 4194304},
                      FloatCase{"MinusHalf", -0.5, -4194304}, FloatCase{"MinusOne", -1.0, -8388608},
                      FloatCase{"OneIsClampedBelowOne", 1.0, 8388607},
                      FloatCase{"LargestFloatBelowOne", 1.0 - 1.0 / 16777216.0, 8388607},
                      FloatCase{"AboveRange", 3.5, 8388607},
                      FloatCase{"BelowRange", -2.0, -8388608},
                      FloatCase{"HalfLsbRoundsToEvenZero", 0.5 * kLsb, 0},
                      FloatCase{"OneAndHalfLsbRoundsToTwo", 1.5 * kLsb, 2},
                      FloatCase{"TwoAndHalfLsbRoundsToTwo", 2.5 * kLsb, 2},
                      FloatCase{"MinusOneAndHalfLsb", -1.5 * kLsb, -2},
                      FloatCase{"NotANumber", std::nan(""), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IrLayout, TheFourEffects) {
    struct Row {
        const char* name;
        int id, samples, offset, bytes;
    };
    const Row rows[] = {{"Cabinet Sim + EQ", 0x27, 882, 230, 3528},
                        {"Moss Drive + Cabinet Sim", 0x29, 703, 362, 2812},
                        {"Woolly + Cabinet Sim", 0x2A, 703, 370, 2812},
                        {"Basic Cabinet Sim", 0x2B, 912, 230, 3648}};
    ASSERT_EQ(irLayouts().size(), std::size(rows));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const auto l = irLayoutFor(QString::fromLatin1(r.name));
        ASSERT_TRUE(l);
        EXPECT_EQ(l->effectId, r.id);
        EXPECT_EQ(l->samples, r.samples);
        EXPECT_EQ(l->offset, r.offset);
        EXPECT_EQ(l->byteLength(), r.bytes);
    }
    for (const char* other : {"", "basic cabinet sim", "Tape Echo + Wah-Wah", "Basic Cabinet Sim "})
        EXPECT_FALSE(irLayoutFor(QString::fromLatin1(other))) << other;
}

TEST(SpliceIrWords, ReplacesOnlyTheArea) {
    const IrLayout layout{QStringLiteral("t"), 1, 2, 3};  // bytes 3..10
    const QString image = QStringLiteral("00AABBCCDDEEFF001122334455667788");
    EXPECT_EQ(spliceIrWords(image, layout, QStringLiteral("0102030405060708")),
              QStringLiteral("00AABB01020304050607084455667788"));
    // Exactly long enough, too short, words of the wrong length.
    EXPECT_EQ(spliceIrWords(image.left(22), layout, QStringLiteral("0102030405060708")),
              QStringLiteral("00AABB0102030405060708"));
    EXPECT_TRUE(
        spliceIrWords(image.left(21), layout, QStringLiteral("0102030405060708")).isEmpty());
    EXPECT_TRUE(spliceIrWords(image, layout, QStringLiteral("01020304")).isEmpty());
}

}  // namespace
