// Control descriptors and parameter address tables, as the parameter window reads them.
#include <gtest/gtest.h>

#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "params/DescriptorParser.h"

namespace zendal {
namespace {

// An image line: header 00 0500, the 16 addresses given (the rest 0100 + 4i), then data.
QString imageWith(const QStringList& firstAddresses = {}) {
    QString text = QStringLiteral("000500");
    for (int i = 0; i < 16; ++i) {
        text += i < firstAddresses.size()
                    ? firstAddresses[i]
                    : QStringLiteral("%1").arg(0x100 + 4 * i, 4, 16, QLatin1Char('0')).toUpper();
    }
    return text + QStringLiteral("2601") + QStringLiteral("AB").repeated(40);
}

QString crlf(const QStringList& lines) {
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

TControlDescriptor parsed(const QString& text) {
    const DescriptorResult result = parseControlDescriptor(text, imageWith(), QStringLiteral("Fx"));
    EXPECT_TRUE(result.ok()) << result.error.toStdString();
    return result.descriptor.value_or(TControlDescriptor());
}

struct HeaderCase {
    const char* name;
    QString text;
    int pots, switches, multis, readbacks;
};

class CatalogueDescriptorHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(CatalogueDescriptorHeader, CountsComeFromTheFirstLine) {
    const HeaderCase& c = GetParam();
    const TControlDescriptor d = parsed(c.text);
    EXPECT_EQ(d.pot_count, c.pots);
    EXPECT_EQ(d.switch_count, c.switches);
    EXPECT_EQ(d.multi_count, c.multis);
    EXPECT_EQ(d.readback_count, c.readbacks);
    EXPECT_EQ(d.param_count, c.pots + c.switches + c.multis);
}

QStringList pots(int n) {
    QStringList lines;
    for (int i = 0; i < n; ++i) lines << QStringLiteral("Pot %1").arg(i);
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CatalogueDescriptorHeader,
    ::testing::Values(
        HeaderCase{"ThreePots", crlf(QStringList{"3000"} + pots(3)), 3, 0, 0, 0},
        HeaderCase{"TenPotsOneSwitch", crlf(QStringList{"A100"} + pots(10) + QStringList{"S:a:b"}),
                   10, 1, 0, 0},
        HeaderCase{"FiveFourOne",
                   crlf(QStringList{"5410"} + pots(5) +
                        QStringList{"A:0:1", "B:0:1", "C:0:1", "D:0:1", "M;x;y"}),
                   5, 4, 1, 0},
        HeaderCase{"ThreeCharsIgnoreFollowingLines",
                   crlf(QStringList{"200"} + pots(2) + QStringList{"LFO", "More"}), 2, 0, 0, 0},
        HeaderCase{"FiveCharsHaveNoReadbacks",
                   crlf(QStringList{"20012"} + pots(2) + QStringList{"LFO"}), 2, 0, 0, 0},
        HeaderCase{"FourthDigitReadbacks",
                   crlf(QStringList{"1004"} + pots(1) + QStringList{"A", "B", "C", "D"}), 1, 0, 0,
                   4},
        HeaderCase{"SixteenParameters", crlf(QStringList{"F010"} + pots(15) + QStringList{"M;a"}),
                   15, 0, 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct SwitchCase {
    const char* line;
    const char* caption;
    const char* off;
    const char* on;
    bool button;
};

class CatalogueDescriptorSwitch : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(CatalogueDescriptorSwitch, SplitsCaptionAndTexts) {
    const SwitchCase& c = GetParam();
    const TControlDescriptor d = parsed(crlf({"110", "Level", QString::fromUtf8(c.line)}));
    EXPECT_EQ(d.control_names[1], QString::fromUtf8(c.line));
    EXPECT_EQ(d.captions[1], QString::fromUtf8(c.caption));
    EXPECT_EQ(d.off_texts[1], QString::fromUtf8(c.off));
    EXPECT_EQ(d.on_texts[1], QString::fromUtf8(c.on));
    EXPECT_EQ(d.is_button[1], c.button);
    EXPECT_EQ(d.kind(1),
              c.button ? TControlDescriptor::Kind::Button : TControlDescriptor::Kind::Switch);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CatalogueDescriptorSwitch,
    ::testing::Values(SwitchCase{"Phase:-:Inverted", "Phase", "-", "Inverted", false},
                      SwitchCase{"Tap:Tap:Tap@", "Tap", "", "", true},
                      SwitchCase{"Mode:OFF:ON@", "Mode", "", "",
                                 true},  // two colons, still a button
                      SwitchCase{"Mute:Active", "Mute", "Active", "Active", false},
                      SwitchCase{"Bypass", "Bypass", "Bypass", "Bypass", false},
                      SwitchCase{"Range:Lo:Mid:Hi", "Range", "Lo", "Mid:Hi", false},
                      SwitchCase{"Reset@", "Reset@", "", "", true},
                      SwitchCase{"Time:1:2", "Time", "1", "2", false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(CatalogueDescriptor, MultiSwitchChoices) {
    const struct {
        const char* line;
        const char* caption;
        QStringList choices;
    } cases[] = {{"Tracking;1;2;3;4", "Tracking", {"1", "2", "3", "4"}},
                 {"Octave;Down;;Up", "Octave", {"Down", "", "Up"}},
                 {"Gate;Short;Long;", "Gate", {"Short", "Long", ""}},
                 {"Solo;", "Solo", {""}},
                 {"Cab;Off;1x12:A", "Cab", {"Off", "1x12:A"}}};
    for (const auto& c : cases) {
        const TControlDescriptor d = parsed(crlf({"101", "Level", QString::fromUtf8(c.line)}));
        EXPECT_EQ(d.kind(1), TControlDescriptor::Kind::MultiSwitch);
        EXPECT_EQ(d.captions[1], QString::fromUtf8(c.caption)) << c.line;
        EXPECT_EQ(d.options[1], c.choices) << c.line;
        EXPECT_EQ(d.option_counts[1], c.choices.size()) << c.line;
    }
}

TEST(CatalogueDescriptor, LineEndingsDoNotChangeTheResult) {
    const QStringList lines = {"2111", "Rate", "Depth", "Tap:Tap:Tap@", "Shape;Sine;Square", "LFO"};
    const QString texts[] = {
        crlf(lines),
        crlf(lines) + QStringLiteral("\r\n"),               // trailing empty line
        lines.join(QStringLiteral("\r\n")),                 // no final break
        lines.join(QLatin1Char('\n')),                      // LF only
        lines.join(QLatin1Char('\r')) + QLatin1Char('\r'),  // CR only
    };
    for (const QString& text : texts) {
        const TControlDescriptor d = parsed(text);
        EXPECT_EQ(d.param_count, 4);
        EXPECT_EQ(d.readback_count, 1);
        EXPECT_EQ(d.readback_names[0], QStringLiteral("LFO"));
        EXPECT_EQ(d.options[3], (QStringList{"Sine", "Square"}));
    }
}

TEST(CatalogueDescriptor, AddressTableHasSixteenEntriesWhateverTheParameterCount) {
    const QStringList addresses = {"0000", "0A10", "FFFF"};
    const DescriptorResult r =
        parseControlDescriptor(crlf({"100", "Level"}), imageWith(addresses), QStringLiteral("Fx"));
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.descriptor->param_addresses[0], QStringLiteral("0000"));
    EXPECT_EQ(r.descriptor->param_addresses[1], QStringLiteral("0A10"));
    EXPECT_EQ(r.descriptor->param_addresses[2], QStringLiteral("FFFF"));
    EXPECT_EQ(r.descriptor->param_addresses[15], QStringLiteral("013C"));
}

struct RefusalCase {
    const char* name;
    QString text;
    QString image;
    const char* reason;  // a part of the message
};

class CatalogueDescriptorRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(CatalogueDescriptorRefusal, NamesTheEffectAndTheReason) {
    const RefusalCase& c = GetParam();
    const DescriptorResult r = parseControlDescriptor(c.text, c.image, QStringLiteral("Odd Fx"));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error.contains(QStringLiteral("\"Odd Fx\""))) << r.error.toStdString();
    EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.reason))) << r.error.toStdString();
}

QStringList switches(int n) {
    QStringList lines;
    for (int i = 0; i < n; ++i) lines << QStringLiteral("S%1:OFF:ON").arg(i);
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CatalogueDescriptorRefusal,
    ::testing::Values(
        // The malformed shape the maker's catalogue is known to hold.
        RefusalCase{
            "TwentyFourParameters",
            crlf(QStringList{"AC21"} + pots(10) + switches(12) + QStringList{"M1;a;b", "M2;a;b"}),
            imageWith(), "24 parameters"},
        RefusalCase{"SeventeenParameters", crlf(QStringList{"F200"} + pots(15) + switches(2)),
                    imageWith(), "17 parameters"},
        RefusalCase{"FiveReadbacks", crlf(QStringList{"1005"} + pots(1) + pots(5)), imageWith(),
                    "5 readbacks"},
        RefusalCase{"NoPot", crlf({"0100", "S:OFF:ON"}), imageWith(), "no pot"},
        RefusalCase{"MultiWithoutChoices", crlf({"1010", "Level", "Mode"}), imageWith(),
                    "no choices"},
        RefusalCase{"MissingReadbackLine", crlf({"2001", "A", "B"}), imageWith(),
                    "only 2 lines follow"},
        RefusalCase{"MissingControlLine", QStringLiteral("3000\r\nA\r\nB"), imageWith(),
                    "only 2 lines follow"},
        RefusalCase{"LowerCaseHeader", crlf(QStringList{"a000"} + pots(10)), imageWith(),
                    "\"a000\""},
        RefusalCase{"LetterOutsideHex", crlf({"1G0", "A"}), imageWith(), "\"1G0\""},
        RefusalCase{"BadFourthDigit", crlf({"100x", "A"}), imageWith(), "\"100x\""},
        RefusalCase{"HeaderTooShort", crlf({"10", "A"}), imageWith(), "\"10\""},
        RefusalCase{"Empty", QString(), imageWith(), "empty"},
        RefusalCase{"ImageTooShort", crlf({"100", "A"}), imageWith().left(69), "69 characters"},
        RefusalCase{"AddressNotHex", crlf({"100", "A"}), imageWith({"01G0"}), "\"01G0\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CatalogueDescriptor, CatalogueLoadLogsEveryStep) {
    const QString image = effect_image_text(QStringLiteral("Tremolo"));
    ASSERT_FALSE(image.isEmpty());
    Log::instance().clear();
    TControlDescriptor d;
    QString error;
    ASSERT_TRUE(load_control_descriptor(QStringLiteral("Tremolo"), &d, &error))
        << error.toStdString();
    ASSERT_TRUE(read_parameter_addresses(QStringLiteral("Tremolo"), &d, &error))
        << error.toStdString();

    QStringList expected = {"num of pots: 3",
                            "num of switches: 1",
                            "num of multi switch: 1",
                            "num of readbacks: 1",
                            "Rate",
                            "Depth",
                            "Level",
                            "Tap:Tap:Tap@",
                            "Shape;Sine;Triangle;Square",
                            "Sine;Triangle;Square",
                            "Sine",
                            "Triangle",
                            "Square",
                            "LFO",
                            "resource name: Tremolo",
                            "content: " + image,
                            QStringLiteral("file content size: %1").arg(image.size() / 2)};
    for (int i = 0; i < 16; ++i) {
        expected << QStringLiteral("parameter address: ") + image.mid(6 + 4 * i, 4);
    }
    QStringList logged = Log::instance().lines();
    logged.removeIf(
        [](const QString& l) { return l.startsWith(QStringLiteral("effect catalogue: ")); });
    EXPECT_EQ(logged, expected);
    EXPECT_EQ(d.captions[3], QStringLiteral("Tap"));
    EXPECT_EQ(d.param_addresses[0], image.mid(6, 4));
}

TEST(CatalogueDescriptor, SwitchTextsAreLoggedAndThreeDigitHeadersLogNoReadbacks) {
    Log::instance().clear();
    TControlDescriptor d;
    ASSERT_TRUE(load_control_descriptor(QStringLiteral("Moss_Drive"), &d, nullptr));
    QStringList logged = Log::instance().lines();
    logged.removeIf(
        [](const QString& l) { return l.startsWith(QStringLiteral("effect catalogue: ")); });
    EXPECT_EQ(logged, (QStringList{"num of pots: 3", "num of switches: 1", "num of multi switch: 0",
                                   "Drive", "Tone", "Level", "Phase:-:Inverted", "-", "Inverted"}));
}

TEST(CatalogueDescriptor, UnreadableResourcesAreReportedNotShown) {
    TControlDescriptor d;
    QString error;
    EXPECT_FALSE(load_control_descriptor(QStringLiteral("No_Such_Effect"), &d, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Error loading resource: ")));
    error.clear();
    EXPECT_FALSE(read_parameter_addresses(QStringLiteral("No_Such_Effect"), &d, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Error loading resource: ")));
    error.clear();
    EXPECT_FALSE(loadDescriptorForEffect(QStringLiteral("Factory Test"), &d, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("\"Factory Test\"")));
    EXPECT_TRUE(error.contains(QStringLiteral("24 parameters")));
}

}  // namespace
}  // namespace zendal
