#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include "Printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "shell/SettingsFiles.h"
#include "support/TempHome.h"

using namespace zendal;
using namespace zendal::settings;

namespace {

QByteArray contentOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return f.readAll();
}

void put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class ShellSettingsFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        // Never the real documents folder.
        ASSERT_TRUE(documentsFolder().startsWith(home.path())) << documentsFolder().toStdString();
    }
    test::TempHome home;
};

}  // namespace

TEST_F(ShellSettingsFiles, FirstStartCreatesFoldersAndExactDefaults) {
    EXPECT_TRUE(EnsureSettingsFolders().isEmpty());
    EXPECT_TRUE(QFileInfo(tavrelFolder()).isDir());
    EXPECT_TRUE(QFileInfo(zendalFolder()).isDir());
    EXPECT_EQ(zendalFolder(), home.documents() + QStringLiteral("/Tavrel/Zendal"));
    EXPECT_EQ(presetFolder(), home.documents() + QStringLiteral("/Tavrel/Zendal/Preset"));

    const StartupSettings s = ReadStartupSettings();
    EXPECT_TRUE(s.showUpdate);
    EXPECT_EQ(s.mode, StartupSettings::Mode::Preset);
    EXPECT_EQ(contentOf(showUpdateFile()), QByteArray("YES"));
    EXPECT_EQ(contentOf(modeFile()), QByteArray("PRESET"));
    EXPECT_FALSE(QFileInfo::exists(styleFile()));
    EXPECT_EQ(readStyleNumber(), std::nullopt);
    EXPECT_EQ(storedStyleNumber(), 0);
    EXPECT_FALSE(QFileInfo::exists(styleFile())) << "reading must not create style.txt";
}

TEST_F(ShellSettingsFiles, ExistingFoldersAreLeftAlone) {
    put(zendalFolder() + QStringLiteral("/keep.txt"), "x");
    EXPECT_TRUE(EnsureSettingsFolders().isEmpty());
    EXPECT_EQ(contentOf(zendalFolder() + QStringLiteral("/keep.txt")), QByteArray("x"));
}

TEST_F(ShellSettingsFiles, FolderThatCannotBeCreatedIsReportedAndStartupGoesOn) {
    // The documents folder is a plain file: neither folder can exist below it.
    QDir(home.documents()).removeRecursively();
    put(home.documents(), "not a folder");
    const QStringList problems = EnsureSettingsFolders();
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems[0].startsWith(QStringLiteral("Error creating folder: ")));
    EXPECT_TRUE(problems[1].startsWith(QStringLiteral("Error creating subfolder: ")));
    EXPECT_GT(problems[0].size(), QStringLiteral("Error creating folder: ").size());

    const StartupSettings s = ReadStartupSettings();
    EXPECT_TRUE(s.showUpdate);
    EXPECT_EQ(s.mode, StartupSettings::Mode::Preset);
    QString why;
    EXPECT_FALSE(writeMode(true, &why));
    EXPECT_FALSE(why.isEmpty());
}

TEST_F(ShellSettingsFiles, ModeFileContentTable) {
    struct Case {
        QByteArray content;
        StartupSettings::Mode mode;
    };
    const Case cases[] = {
        {"PRESET", StartupSettings::Mode::Preset},
        {"BANK", StartupSettings::Mode::Bank},
        {"bank", StartupSettings::Mode::Unknown},
        {"BANK\n", StartupSettings::Mode::Unknown},
        {"BANK\r\n", StartupSettings::Mode::Unknown},
        {" BANK", StartupSettings::Mode::Unknown},
        {"", StartupSettings::Mode::Unknown},
        {"\xEF\xBB\xBF"
         "BANK",
         StartupSettings::Mode::Bank},  // UTF-8 BOM
        {QByteArray("\xFF\xFE"
                    "B\0A\0N\0K\0",
                    10),
         StartupSettings::Mode::Bank},  // UTF-16LE
        {QByteArray("\xFE\xFF\0P\0R\0E\0S\0E\0T", 14), StartupSettings::Mode::Preset},
        {QByteArray(5000, 'B'), StartupSettings::Mode::Unknown},  // far too large
    };
    EnsureSettingsFolders();
    for (const Case& c : cases) {
        put(modeFile(), c.content);
        EXPECT_EQ(ReadStartupSettings().mode, c.mode) << c.content.toHex().toStdString();
        EXPECT_EQ(contentOf(modeFile()), c.content) << "never rewritten";
    }
}

TEST_F(ShellSettingsFiles, SettingsThatAreNotRegularFilesAreNotRead) {
    // A pipe would block start-up for ever; a folder cannot be read at all.
    EnsureSettingsFolders();
    ASSERT_EQ(mkfifo(QFile::encodeName(modeFile()).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(showUpdateFile()));
    const StartupSettings s = ReadStartupSettings();
    EXPECT_EQ(s.mode, StartupSettings::Mode::Unknown);
    EXPECT_TRUE(s.showUpdate);
    EXPECT_TRUE(readShowUpdatePreference());
}

TEST_F(ShellSettingsFiles, ShowUpdateFileContentTable) {
    struct Case {
        QByteArray content;
        bool show;
    };
    const Case cases[] = {
        {"YES", true},
        {"NO", false},
        {"NO\n", true},
        {"no", true},
        {"", true},
        {"NO ", true},
        {"\xEF\xBB\xBFNO", false},
    };
    EnsureSettingsFolders();
    for (const Case& c : cases) {
        put(showUpdateFile(), c.content);
        EXPECT_EQ(ReadStartupSettings().showUpdate, c.show) << c.content.toStdString();
        EXPECT_EQ(readShowUpdatePreference(), c.show) << c.content.toStdString();
        EXPECT_EQ(contentOf(showUpdateFile()), c.content);
    }
}

TEST(ShellSettingsText, DecodingTable) {
    struct Case {
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"PRESET", QStringLiteral("PRESET")},
        {"\xC3\x89T\xC3\x89", QString::fromUtf8("\xC3\x89T\xC3\x89")},  // valid UTF-8
        {"\xC9T\xC9", QString::fromLatin1("\xC9T\xC9")},                // not UTF-8: Latin-1
        {"\xEF\xBB\xBF"
         "3",
         QStringLiteral("3")},
        {QByteArray("\xFF\xFE"
                    "3\0",
                    4),
         QStringLiteral("3")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeSettingText(c.bytes), c.text) << c.bytes.toHex().toStdString();
    }
}

TEST_F(ShellSettingsFiles, StyleNumberTable) {
    struct Case {
        QByteArray content;
        std::optional<int> number;
    };
    const Case cases[] = {
        {"3", 3},    {"7", 7}, {"03", 3},  {"-1", -1},  {"3\n", {}},         {" 3", {}},
        {"abc", {}}, {"", {}}, {"+3", {}}, {"3.0", {}}, {"99999999999", {}}, {"-", {}},
    };
    EnsureSettingsFolders();
    for (const Case& c : cases) {
        put(styleFile(), c.content);
        EXPECT_EQ(readStyleNumber(), c.number) << c.content.toStdString();
        EXPECT_EQ(storedStyleNumber(), c.number.value_or(0)) << c.content.toStdString();
        EXPECT_EQ(contentOf(styleFile()), c.content) << "left untouched";
    }
}

TEST_F(ShellSettingsFiles, WritersStoreExactValues) {
    EnsureSettingsFolders();
    ASSERT_TRUE(writeStyleNumber(3));
    EXPECT_EQ(contentOf(styleFile()), QByteArray("3"));
    EXPECT_EQ(readStyleNumber(), 3);
    ASSERT_TRUE(writeMode(true));
    EXPECT_EQ(contentOf(modeFile()), QByteArray("BANK"));
    EXPECT_EQ(ReadStartupSettings().mode, StartupSettings::Mode::Bank);
    ASSERT_TRUE(writeMode(false));
    EXPECT_EQ(contentOf(modeFile()), QByteArray("PRESET"));
}

TEST_F(ShellSettingsFiles, WritersRecreateAVanishedFolder) {
    EnsureSettingsFolders();
    QDir(tavrelFolder()).removeRecursively();
    EXPECT_TRUE(writeMode(true));
    EXPECT_EQ(contentOf(modeFile()), QByteArray("BANK"));
    EXPECT_TRUE(writeStyleNumber(5));
    EXPECT_EQ(contentOf(styleFile()), QByteArray("5"));
}

TEST_F(ShellSettingsFiles, ShowUpdateIsWrittenOnlyWhenTheFileExists) {
    EnsureSettingsFolders();
    EXPECT_FALSE(writeShowUpdateIfExists(false));
    EXPECT_FALSE(QFileInfo::exists(showUpdateFile()));

    ReadStartupSettings();  // creates it with YES
    EXPECT_TRUE(writeShowUpdateIfExists(false));
    EXPECT_EQ(contentOf(showUpdateFile()), QByteArray("NO"));
    EXPECT_TRUE(writeShowUpdate(true));
    EXPECT_EQ(contentOf(showUpdateFile()), QByteArray("YES"));

    // Deleted while the editor runs: clicks write nothing; the next start
    // recreates it with YES.
    QFile::remove(showUpdateFile());
    EXPECT_FALSE(writeShowUpdateIfExists(false));
    EXPECT_FALSE(QFileInfo::exists(showUpdateFile()));
    EXPECT_TRUE(ReadStartupSettings().showUpdate);
    EXPECT_EQ(contentOf(showUpdateFile()), QByteArray("YES"));
}

TEST_F(ShellSettingsFiles, FailedWriteUnderANonFolderReportsWhy) {
    const QString notAFolder = home.path() + QStringLiteral("/plain");
    put(notAFolder, "x");
    QString why;
    EXPECT_FALSE(writeSettingFile(notAFolder + QStringLiteral("/Mode.txt"), "BANK", &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(contentOf(notAFolder), QByteArray("x"));
}

TEST_F(ShellSettingsFiles, FailedWriteInReadOnlyFolderKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    EnsureSettingsFolders();
    ASSERT_TRUE(writeMode(false));
    QFile::setPermissions(zendalFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QString why;
    const bool written = writeMode(true, &why);
    QFile::setPermissions(zendalFolder(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(written);
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(contentOf(modeFile()), QByteArray("PRESET"));
}

// A write that fails half-way (here: the file size limit, which binds root too)
// must leave the previous content and no stray temporary file.
TEST_F(ShellSettingsFiles, WriteFailingHalfWayKeepsTheOldFile) {
    EnsureSettingsFolders();
    ASSERT_TRUE(writeMode(false));
    const QStringList before = QDir(zendalFolder()).entryList(QDir::Files | QDir::Hidden);

    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    auto* previous = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString why;
    const bool written = writeSettingFile(modeFile(), QByteArray(64 * 1024, 'B'), &why);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(contentOf(modeFile()), QByteArray("PRESET"));
    EXPECT_EQ(QDir(zendalFolder()).entryList(QDir::Files | QDir::Hidden), before);
}

// Settings kept elsewhere and linked in (a dotfiles folder): a write goes to
// the linked file and the link stays.
TEST_F(ShellSettingsFiles, WritesFollowALinkedSettingsFile) {
    EnsureSettingsFolders();
    const QString kept = home.path() + QStringLiteral("/dotfiles/Mode.txt");
    put(kept, "PRESET");
    ASSERT_TRUE(QFile::link(kept, modeFile()));
    ASSERT_TRUE(writeMode(true));
    EXPECT_TRUE(QFileInfo(modeFile()).isSymLink());
    EXPECT_EQ(contentOf(kept), QByteArray("BANK"));
    EXPECT_EQ(ReadStartupSettings().mode, StartupSettings::Mode::Bank);
}
