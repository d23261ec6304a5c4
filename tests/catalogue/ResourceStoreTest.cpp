// An installed maker's catalogue takes precedence over the embedded
// demonstration data, and never gets demonstration data mixed into it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "resources/ResourceStore.h"
#include "support/TempHome.h"

namespace zendal {
namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A small maker's catalogue: one effect, one category, no firmware, no styles.
void writeMakerCatalogue(const QString& folder, const QByteArray& origin = QByteArray()) {
    writeFile(folder + QStringLiteral("/effect_list"), "0:empty\r\n1:Maker Drive\r\n");
    writeFile(folder + QStringLiteral("/GAIN"), "Maker Drive\r\n");
    writeFile(folder + QStringLiteral("/MAKER_DRIVE"), "000500");
    if (!origin.isNull()) writeFile(folder + QStringLiteral("/CATALOGUE_ORIGIN"), origin);
}

class CatalogueStore : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override {
        qunsetenv("ZENDAL_CATALOGUE_DIR");
        ResourceStore::instance().setInstalledFolderForTesting(QString());
    }
    ResourceStore& store() { return ResourceStore::instance(); }
    QTemporaryDir dir_;
};

TEST_F(CatalogueStore, InstalledFolderTakesPrecedenceAndIsNotDemonstration) {
    writeMakerCatalogue(dir_.path());
    store().setInstalledFolderForTesting(dir_.path());

    EXPECT_FALSE(store().isDemonstration());
    EXPECT_EQ(store().origin(), QDir(dir_.path()).absolutePath());
    EXPECT_EQ(effect_name_by_id(1), QStringLiteral("Maker Drive"));
    EXPECT_EQ(category_members(QStringLiteral("Gain")), QStringList{"Maker Drive"});
    EXPECT_EQ(get_effect_size(QStringLiteral("Maker Drive")), 3);
}

TEST_F(CatalogueStore, InstalledCatalogueNeverBorrowsDemonstrationEffectsOrFirmware) {
    writeMakerCatalogue(dir_.path());
    store().setInstalledFolderForTesting(dir_.path());

    for (const char* name : {"CLEAN_BOOST", "CLEAN_BOOST_CTRLS", "FIRMWARE_5", "MODULATION"}) {
        QString error;
        EXPECT_FALSE(store().read(QString::fromUtf8(name), &error).has_value()) << name;
        EXPECT_TRUE(error.contains(QString::fromUtf8(name))) << error.toStdString();
        EXPECT_TRUE(error.contains(QDir(dir_.path()).absolutePath())) << error.toStdString();
    }
    // Appearance is harmless: styles still come from the editor.
    EXPECT_TRUE(store().read(QStringLiteral("Style_3")).has_value());
    EXPECT_TRUE(store().names().contains(QStringLiteral("STYLE_0")));
    EXPECT_FALSE(store().names().contains(QStringLiteral("FIRMWARE_5")));
}

TEST_F(CatalogueStore, InstalledStyleWinsOverTheEmbeddedOne) {
    writeMakerCatalogue(dir_.path());
    writeFile(dir_.path() + QStringLiteral("/STYLE_2"), "/* Maker */");
    store().setInstalledFolderForTesting(dir_.path());
    EXPECT_EQ(store().read(QStringLiteral("style_2")), QByteArray("/* Maker */"));
}

TEST_F(CatalogueStore, DemonstrationMarkerInAFolderStillCountsAsDemonstration) {
    const struct {
        QByteArray origin;
        bool demonstration;
    } cases[] = {{"demonstration", true},
                 {"demonstration\r\n", true},
                 {"maker", false},
                 {"", false},
                 {QByteArray(), false}};
    for (const auto& c : cases) {
        QTemporaryDir folder;
        writeMakerCatalogue(folder.path(), c.origin);
        store().setInstalledFolderForTesting(folder.path());
        EXPECT_EQ(store().isDemonstration(), c.demonstration) << c.origin.constData();
    }
}

TEST_F(CatalogueStore, FolderWithoutEffectListDoesNotCount) {
    writeFile(dir_.path() + QStringLiteral("/GAIN"), "Maker Drive\r\n");
    store().setInstalledFolderForTesting(dir_.path());
    EXPECT_TRUE(store().installedFolder().isEmpty());
    EXPECT_TRUE(store().isDemonstration());
    EXPECT_EQ(category_members(QStringLiteral("Gain")).size(), 17);
}

TEST_F(CatalogueStore, FoundThroughEnvironmentAndDataFolder) {
    test::TempHome home;
    const QString dataFolder = home.path() + QStringLiteral("/.local/share/zendal/catalogue");
    writeMakerCatalogue(dataFolder);
    store().setInstalledFolderForTesting(QString());  // search the usual places again
    EXPECT_EQ(store().installedFolder(), QDir(dataFolder).absolutePath());

    writeMakerCatalogue(dir_.path());
    qputenv("ZENDAL_CATALOGUE_DIR", dir_.path().toUtf8());
    store().setInstalledFolderForTesting(QString());
    EXPECT_EQ(store().installedFolder(), QDir(dir_.path()).absolutePath());  // the variable first

    qputenv("ZENDAL_CATALOGUE_DIR", (dir_.path() + QStringLiteral("/missing")).toUtf8());
    store().setInstalledFolderForTesting(QString());
    EXPECT_EQ(store().installedFolder(), QDir(dataFolder).absolutePath());
}

TEST_F(CatalogueStore, LogsTheCatalogueInUseOnceWhenFirstUsed) {
    writeMakerCatalogue(dir_.path());
    store().setInstalledFolderForTesting(dir_.path());
    Log::instance().clear();
    read_file_from_stream(QStringLiteral("GAIN"));
    read_file_from_stream(QStringLiteral("EFFECT_LIST"));
    const QString expected =
        QStringLiteral("effect catalogue: ") + QDir(dir_.path()).absolutePath();
    EXPECT_EQ(Log::instance().lines().filter(QStringLiteral("effect catalogue: ")),
              QStringList{expected});
}

}  // namespace
}  // namespace zendal
