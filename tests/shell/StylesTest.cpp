#include <gtest/gtest.h>

#include "Printers.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include "resources/ResourceStore.h"
#include "shell/SettingsFiles.h"
#include "shell/Styles.h"
#include "support/TempHome.h"

using namespace zendal;

namespace {

QString sheet(const QString& name) {
    const auto bytes = ResourceStore::instance().read(name);
    return bytes ? QString::fromUtf8(*bytes) : QString();
}

class ShellStyles : public ::testing::Test {
  protected:
    void SetUp() override { qApp->setStyleSheet(QString()); }
    void TearDown() override { qApp->setStyleSheet(QString()); }
    test::TempHome home;
};

void putStyleFile(const QByteArray& content) {
    QDir().mkpath(settings::tavrelFolder());
    QFile f(settings::styleFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

}  // namespace

TEST_F(ShellStyles, EveryStyleAppliesToTheWholeApplication) {
    for (int n = 0; n < kStyleCount; ++n) {
        const QString expected = sheet(QStringLiteral("STYLE_%1").arg(n));
        ASSERT_FALSE(expected.isEmpty()) << n;
        EXPECT_TRUE(applyStyle(n)) << n;
        EXPECT_EQ(qApp->styleSheet(), expected) << n;
    }
}

TEST_F(ShellStyles, MissingStyleChangesNothing) {
    ASSERT_TRUE(applyStyle(2));
    const QString before = qApp->styleSheet();
    for (int n : {8, -1, 42}) {
        EXPECT_FALSE(applyStyle(n)) << n;
        EXPECT_EQ(qApp->styleSheet(), before) << n;
    }
}

TEST_F(ShellStyles, StoredStyleTable) {
    struct Case {
        const char* content;  // nullptr: no style.txt
        int applied;
    };
    const Case cases[] = {{nullptr, 0}, {"3", 3}, {"7", 7}, {"abc", 0}, {"3\n", 0}};
    for (const Case& c : cases) {
        QFile::remove(settings::styleFile());
        if (c.content) putStyleFile(c.content);
        qApp->setStyleSheet(QString());
        EXPECT_TRUE(ApplyStoredStyle()) << (c.content ? c.content : "missing");
        EXPECT_EQ(qApp->styleSheet(), sheet(QStringLiteral("STYLE_%1").arg(c.applied)))
            << (c.content ? c.content : "missing");
    }
}

TEST_F(ShellStyles, StoredNumberWithoutStyleLeavesTheAppearance) {
    putStyleFile("9");
    EXPECT_FALSE(ApplyStoredStyle());
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
}

TEST_F(ShellStyles, LookClickIsRememberedForTheNextStart) {
    // What a Look menu click does: apply, then store.
    ASSERT_TRUE(applyStyle(3));
    ASSERT_TRUE(settings::writeStyleNumber(3));
    qApp->setStyleSheet(QString());
    EXPECT_TRUE(ApplyStoredStyle());
    EXPECT_EQ(qApp->styleSheet(), sheet(QStringLiteral("STYLE_3")));
}

TEST(ShellStyleNames, FromTheFirstCommentLine) {
    struct Case {
        QByteArray sheet;
        QString name;
    };
    const Case cases[] = {
        {"/* Dark */\nQWidget {}", QStringLiteral("Dark")},
        {"/* Style 1: Dark - for dim rooms */\n", QStringLiteral("Dark - for dim rooms")},
        {"/*Ocean*/", QStringLiteral("Ocean")},
        {"QWidget {}\n/* Late */", QString()},
        {"", QString()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(styleNameFromSheet(c.sheet), c.name) << c.sheet.toStdString();
    }
    const QStringList names = styleNames();
    ASSERT_EQ(names.size(), kStyleCount);
    EXPECT_EQ(names[0], QStringLiteral("Default"));
    for (const QString& n : names) EXPECT_FALSE(n.isEmpty());
}
