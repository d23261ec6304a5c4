// Focus can be seen in every style: each kind of control the windows use looks
// different with the keyboard focus than without it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <functional>
#include <memory>

#include "shell/Styles.h"

namespace zendal::test {
namespace {

bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class FocusVisibleTest : public ::testing::Test {
  protected:
    void TearDown() override { qApp->setStyleSheet(QString()); }
};

TEST_F(FocusVisibleTest, EveryKindOfControlShowsFocusInEveryStyle) {
    const struct {
        const char* kind;
        std::function<QWidget*()> make;
    } kinds[] = {
        {"push button", [] { return new QPushButton(QStringLiteral("Assign")); }},
        {"check box", [] { return new QCheckBox(QStringLiteral("scroll")); }},
        {"radio button", [] { return new QRadioButton(QStringLiteral("Bank I")); }},
        {"list box",
         [] {
             auto* w = new QComboBox;
             w->addItems({QStringLiteral("KI"), QStringLiteral("--")});
             return w;
         }},
        {"slider", [] { return new QSlider(Qt::Horizontal); }},
        {"list",
         [] {
             auto* w = new QListWidget;
             w->addItems({QStringLiteral("Gain"), QStringLiteral("Dynamic")});
             return w;
         }},
        {"line edit", [] { return new QLineEdit(QStringLiteral("1.41")); }},
        {"log view", [] { return new QPlainTextEdit(QStringLiteral("line")); }},
        {"description view", [] { return new QTextBrowser; }},
    };
    for (int style = 0; style < kStyleCount; ++style) {
        SCOPED_TRACE(style);
        ASSERT_TRUE(applyStyle(style));
        for (const auto& k : kinds) {
            SCOPED_TRACE(k.kind);
            auto window = std::make_unique<QWidget>();
            auto* layout = new QVBoxLayout(window.get());
            auto* elsewhere = new QPushButton(QStringLiteral("elsewhere"));
            QWidget* control = k.make();
            control->setFixedSize(160, 60);
            layout->addWidget(elsewhere);
            layout->addWidget(control);
            window->show();
            window->activateWindow();
            QApplication::setActiveWindow(window.get());
            ASSERT_TRUE(waitFor([&] { return window->isActiveWindow(); }));

            elsewhere->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(waitFor([&] { return elsewhere->hasFocus(); }));
            const QImage without = control->grab().toImage();
            control->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(waitFor([&] { return control->hasFocus(); }));
            const QImage with = control->grab().toImage();
            EXPECT_NE(with, without) << "focus leaves no mark";
        }
    }
}

}  // namespace
}  // namespace zendal::test
