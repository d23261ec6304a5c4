// The debug console: follow mode, "UP", "Clear", hidden lines, closing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "core/Log.h"
#include "shell/ui/TformPrint.h"

namespace zendal {
namespace {

class DebugConsole : public ::testing::Test {
  protected:
    void SetUp() override { Log::instance().clear(); }
    QScrollBar* bar() const { return console.memo()->verticalScrollBar(); }
    void lines(int from, int count) {
        for (int i = from; i < from + count; ++i) DebugPrint(QStringLiteral("line %1").arg(i));
        console.flush();
    }
    TformPrint console;
};

TEST_F(DebugConsole, CaptionAndControls) {
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Debug Console"));
    EXPECT_FALSE(console.isVisible());
    EXPECT_TRUE(console.memo()->isReadOnly());
    EXPECT_EQ(console.findChild<QPushButton*>("btnClear")->text(), QStringLiteral("Clear"));
    EXPECT_EQ(console.findChild<QPushButton*>("btnScrollTop")->text(), QStringLiteral("UP"));
    auto* scroll = console.findChild<QCheckBox*>("CheckBox1");
    EXPECT_EQ(scroll->text(), QStringLiteral("scroll"));
    EXPECT_TRUE(scroll->isChecked());
    EXPECT_NE(console.serviceArea(), nullptr);
}

TEST_F(DebugConsole, LinesLoggedWhileHiddenAreAllThere) {
    lines(0, 5);
    console.show();
    EXPECT_EQ(console.memo()->toPlainText(),
              QStringLiteral("line 0\nline 1\nline 2\nline 3\nline 4"));
    console.close();  // closing only hides
    EXPECT_FALSE(console.isVisible());
    lines(5, 1);
    EXPECT_EQ(console.memo()->blockCount(), 6);
}

TEST_F(DebugConsole, FollowModeUpAndClear) {
    console.show();
    lines(0, 1000);
    EXPECT_GT(bar()->maximum(), 0);
    EXPECT_EQ(bar()->value(), bar()->maximum());  // the last line in view

    console.findChild<QPushButton*>("btnScrollTop")->click();
    EXPECT_EQ(bar()->value(), 0);
    lines(1000, 1);
    EXPECT_EQ(bar()->value(), bar()->maximum());  // follow mode scrolls back

    console.findChild<QCheckBox*>("CheckBox1")->setChecked(false);
    EXPECT_FALSE(console.followMode());
    bar()->setValue(10);
    lines(1001, 500);
    EXPECT_EQ(bar()->value(), 10);  // the view stays where it was

    // Lines appended without scrolling leave the view alone in follow mode too.
    console.findChild<QCheckBox*>("CheckBox1")->setChecked(true);
    bar()->setValue(10);
    DebugAppend(QStringLiteral("appended"));
    console.flush();
    EXPECT_EQ(bar()->value(), 10);

    console.findChild<QPushButton*>("btnClear")->click();
    EXPECT_TRUE(console.memo()->toPlainText().isEmpty());
    EXPECT_TRUE(Log::instance().lines().isEmpty());
}

TEST_F(DebugConsole, ADumpSizedBatchKeepsEveryLine) {
    QStringList expected;
    for (int i = 0; i < 16384; ++i) {
        const QString line = QStringLiteral("%1: FF").arg(i);
        DebugPrint(line);
        expected.append(line);
    }
    console.flush();
    EXPECT_EQ(console.memo()->blockCount(), 16384);
    EXPECT_EQ(console.memo()->toPlainText(), expected.join(QLatin1Char('\n')));
}

TEST_F(DebugConsole, ServicePanelGoesBelowTheLog) {
    auto* panel = new QWidget;
    console.setServicePanel(panel);
    EXPECT_EQ(panel->parentWidget(), console.serviceArea());
}

}  // namespace
}  // namespace zendal
