// The name rule, the line rule and the lookups of the effect catalogue.
#include <gtest/gtest.h>

#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "resources/ResourceStore.h"

namespace zendal {
namespace {

struct NameCase {
    const char* display;
    const char* resource;
};

class CatalogueNameRule : public ::testing::TestWithParam<NameCase> {};

TEST_P(CatalogueNameRule, MapsDisplayNameToResourceName) {
    EXPECT_EQ(format_resource_name(QString::fromUtf8(GetParam().display)),
              QString::fromUtf8(GetParam().resource));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CatalogueNameRule,
    ::testing::Values(NameCase{"A+B", "AplusB"}, NameCase{"MaXi", "Mamulti"},
                      NameCase{"Impulse Response", "Impulse_Response"},
                      NameCase{"Tape Echo + Wah-Wah", "Tape_Echo_plus_Wah_Wah"},
                      NameCase{"Octave X Fuzz", "Octave_mult_Fuzz"},
                      NameCase{"Flanger", "Flanger"},    // nothing to replace, case kept
                      NameCase{"Flux box", "Flux_box"},  // lower-case x stays
                      NameCase{"Cabinet Sim + EQ", "Cabinet_Sim_plus_EQ"},
                      NameCase{"Hi-Gain Lead", "Hi_Gain_Lead"}, NameCase{"", ""}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

struct LinesCase {
    const char* name;
    QByteArray bytes;
    QStringList lines;
};

class CatalogueLineRule : public ::testing::TestWithParam<LinesCase> {};

TEST_P(CatalogueLineRule, SplitsLikeTheCatalogueReader) {
    EXPECT_EQ(split_resource_lines(GetParam().bytes), GetParam().lines) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CatalogueLineRule,
    ::testing::Values(LinesCase{"crlf", "a\r\nb", {"a", "b"}},
                      LinesCase{"final break gives no empty entry", "a\r\nb\r\n", {"a", "b"}},
                      LinesCase{"an empty last line stays", "a\r\n\r\n", {"a", ""}},
                      LinesCase{"lone LF and lone CR end lines too", "a\nb\rc", {"a", "b", "c"}},
                      LinesCase{"empty middle line", "a\r\n\r\nb", {"a", "", "b"}},
                      LinesCase{"nothing", "", {}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(CatalogueLookup, IgnoresCaseOfResourceNames) {
    const auto upper =
        ResourceStore::instance().read(QStringLiteral("TAPE_ECHO_PLUS_WAH_WAH_CTRLS"));
    ASSERT_TRUE(upper.has_value());
    for (const char* name : {"tape_echo_plus_wah_wah_ctrls", "Tape_Echo_plus_Wah_Wah_CTRLS",
                             "tApE_eChO_pLuS_wAh_WaH_cTrLs"}) {
        const auto other = ResourceStore::instance().read(QString::fromUtf8(name));
        ASSERT_TRUE(other.has_value()) << name;
        EXPECT_EQ(*other, *upper) << name;
    }
    EXPECT_EQ(read_file_from_stream(QStringLiteral("gain")),
              read_file_from_stream(QStringLiteral("GAIN")));
    EXPECT_EQ(category_members(QStringLiteral("Impulse Response")).size(), 4);
}

TEST(CatalogueLookup, MissingResourceGivesEmptyListAndTheBoxText) {
    QString error;
    EXPECT_TRUE(read_file_from_stream(QStringLiteral("NO_SUCH_RESOURCE"), &error).isEmpty());
    EXPECT_TRUE(error.startsWith(QStringLiteral("Error loading resource: ")))
        << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("NO_SUCH_RESOURCE")));

    error.clear();
    EXPECT_EQ(get_effect_size(QStringLiteral("No Such Effect"), &error), -1);
    EXPECT_TRUE(error.startsWith(QStringLiteral("Error loading resource: ")));
    error.clear();
    EXPECT_TRUE(effect_image_text(QStringLiteral("No Such Effect"), &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(CatalogueLookup, DisplayNameOfAListLine) {
    EXPECT_EQ(display_name_of_line(QStringLiteral("2A:Woolly + Cabinet Sim")),
              QStringLiteral("Woolly + Cabinet Sim"));
    EXPECT_EQ(display_name_of_line(QStringLiteral("5:A:B")), QStringLiteral("A:B"));
    EXPECT_EQ(display_name_of_line(QStringLiteral("No Colon")), QStringLiteral("No Colon"));
    EXPECT_EQ(display_name_of_line(QStringLiteral("7:")), QString());
}

TEST(CatalogueLookup, EffectNameById) {
    const struct {
        int id;
        const char* name;
    } cases[] = {{0, "empty"},
                 {0x27, "Cabinet Sim + EQ"},
                 {0x29, "Moss Drive + Cabinet Sim"},
                 {0x2A, "Woolly + Cabinet Sim"},
                 {0x2B, "Basic Cabinet Sim"},
                 {63, "Lo-Fi Radio"}};
    for (const auto& c : cases) {
        const auto entry = effect_list_entry(c.id);
        ASSERT_TRUE(entry.has_value()) << c.id;
        EXPECT_EQ(entry->displayName, QString::fromUtf8(c.name));
        EXPECT_TRUE(entry->line.startsWith(QString::number(c.id, 16).toUpper() + QLatin1Char(':')));
        EXPECT_EQ(effect_id_by_name(QString::fromUtf8(c.name)), c.id);
    }
}

TEST(CatalogueLookup, IdOutsideTheListFailsWithoutHarm) {
    for (int id : {64, 65, 255, -1, 1000}) {
        QString error;
        EXPECT_FALSE(effect_name_by_id(id, &error).has_value()) << id;
        EXPECT_TRUE(error.contains(QString::number(id))) << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(effect_id_by_name(QStringLiteral("Not An Effect"), &error).has_value());
    EXPECT_FALSE(error.isEmpty());
}

TEST(CatalogueLookup, SizeOfAnEffectLogsItsResourceName) {
    Log::instance().clear();
    EXPECT_EQ(get_effect_size(QStringLiteral("Tape Echo + Wah-Wah")), 8192);
    EXPECT_TRUE(
        Log::instance().lines().contains(QStringLiteral("resource name: Tape_Echo_plus_Wah_Wah")));
}

TEST(CatalogueLookup, CategoryOfAnEffect) {
    const struct {
        const char* effect;
        const char* category;  // nullptr: in no category
    } cases[] = {{"Clean Boost", "Gain"},   {"Basic Cabinet Sim", "Impulse Response"},
                 {"Noise Gate", "Dynamic"}, {"Tape Echo + Wah-Wah", "Other"},
                 {"Factory Test", nullptr}, {"empty", nullptr},
                 {"clean boost", nullptr}};  // the comparison is exact
    for (const auto& c : cases) {
        const auto category = categoryOf(QString::fromUtf8(c.effect));
        if (c.category) {
            EXPECT_EQ(category, QString::fromUtf8(c.category)) << c.effect;
        } else {
            EXPECT_FALSE(category.has_value()) << c.effect;
        }
    }
}

TEST(CatalogueLookup, CategoryTableInListOrder) {
    const QStringList expected = {"Gain",    "Modulation",       "Synthesis", "Filter",
                                  "Dynamic", "Impulse Response", "Other"};
    QStringList names;
    for (const EffectCategory& c : effect_categories()) {
        EXPECT_EQ(c.index, names.size());
        EXPECT_EQ(c.resourceName, format_resource_name(c.displayName).toUpper());
        names << c.displayName;
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(category_by_name(QStringLiteral("Filter"))->index, 3);
    EXPECT_FALSE(category_by_name(QStringLiteral("filter")).has_value());
}

}  // namespace
}  // namespace zendal
