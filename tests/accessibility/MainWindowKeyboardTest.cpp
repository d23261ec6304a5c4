// The main window from the keyboard: every control named, Tab in layout
// order, Enter in the lists, the menu bar and the shortcuts.
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "Focusable.h"
#include "control/MainWindowFixture.h"
#include "link/D2XXUnit.h"
#include "protocol/DeviceController.h"

namespace zendal::test {
namespace {

class MainWindowKeyboardTest : public MainWindowTest {
  protected:
    void activate(QWidget* window) {
        window->show();
        window->raise();
        window->activateWindow();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(waitFor([window] { return window->isActiveWindow(); }));
    }
    QListWidget* list(const char* name) const { return widget<QListWidget>(name); }
};

TEST_F(MainWindowKeyboardTest, EveryControlHasAName) {
    createWindows();
    // Lists and the live switch have no caption of their own; buttons do.
    EXPECT_EQ(unnamedControls(main.get()), QStringList());
}

TEST_F(MainWindowKeyboardTest, FirmwareUpgradeWindowControlsHaveNames) {
    createWindows();
    auto* upgrade = main->findChild<QWidget*>(QStringLiteral("formFirmwareUpgrade"));
    if (!upgrade) GTEST_SKIP() << "built without the firmware upgrade window";
    EXPECT_EQ(unnamedControls(upgrade), QStringList());
    const QStringList layout = {"cmbFirmwareChoose", "btnUpgradeFirmware"};
    EXPECT_EQ(tabOrder(upgrade->findChild<QWidget*>(layout[0]), layout), layout);
}

TEST_F(MainWindowKeyboardTest, TabFollowsTheLayout) {
    createWindows();
    // Down the left column, then down the right one.
    const QStringList layout = {
        "btnOpenEffect", "btnRequest",  "btnAssign",  "btnStoreSettingsOnPedal",
        "rdbtnBank1",    "rdbtnBank2",  "rdbtnBank3", "swLive",
        "btnGetFXInfo",  "lstCategory", "lstEffects", "btnUpload",
    };
    EXPECT_EQ(tabOrder(widget("btnOpenEffect"), layout), layout);
}

TEST_F(MainWindowKeyboardTest, EnterChoosesCategoryAndEffect) {
    createWindows();
    activate(main.get());
    QListWidget* categories = list("lstCategory");
    const auto dynamic = categories->findItems(QStringLiteral("Dynamic"), Qt::MatchExactly);
    ASSERT_EQ(dynamic.size(), 1);
    categories->setFocus();
    categories->setCurrentItem(dynamic.first());
    // Moving onto a category shows nothing yet.
    EXPECT_EQ(list("lstEffects")->count(), 0);

    QTest::keyClick(categories, Qt::Key_Return);
    EXPECT_EQ(device->currentCategory(), QStringLiteral("Dynamic"));
    ASSERT_GT(list("lstEffects")->count(), 0);
    EXPECT_EQ(list("lstEffects")->item(0)->text(), QStringLiteral("Noise Gate"));

    QListWidget* effects = list("lstEffects");
    effects->setFocus();
    effects->setCurrentRow(0);
    QTest::keyClick(effects, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(device->selectedEffectName(), QStringLiteral("Noise Gate"));
    EXPECT_TRUE(params->isVisible());
}

TEST_F(MainWindowKeyboardTest, ModifiedEnterChoosesNothing) {
    createWindows();
    activate(main.get());
    QListWidget* categories = list("lstCategory");
    categories->setFocus();
    categories->setCurrentRow(0);
    QTest::keyClick(categories, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(device->currentCategory().isEmpty());
    EXPECT_EQ(list("lstEffects")->count(), 0);
}

TEST_F(MainWindowKeyboardTest, F10OpensTheMenuBar) {
    createWindows();
    activate(main.get());
    QTest::keyClick(main.get(), Qt::Key_F10);
    EXPECT_EQ(main->menuBar()->activeAction(), item("menuFile"));
}

TEST_F(MainWindowKeyboardTest, ShortcutsReachTheirMenuItems) {
    createWindows();
    activate(main.get());
    // In this order: link first, unlink last.
    const struct {
        const char* item;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } cases[] = {
        {"menuScan", Qt::Key_L, Qt::ControlModifier},
        {"menuLoadConfiguration", Qt::Key_O, Qt::ControlModifier},
        {"menuSaveConfiguration", Qt::Key_S, Qt::ControlModifier},
        {"menuLoadIR", Qt::Key_I, Qt::ControlModifier},
        {"menuDisconnect", Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier},
    };
    // No two items share a key.
    QStringList keys;
    for (QAction* a : main->findChildren<QAction*>()) {
        if (a->shortcut().isEmpty()) continue;
        EXPECT_FALSE(keys.contains(a->shortcut().toString()))
            << a->shortcut().toString().toStdString();
        keys.append(a->shortcut().toString());
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        QAction* action = item(c.item);
        ASSERT_NE(action, nullptr);
        // Load IR is offered only for the impulse-response effects.
        if (QLatin1String(c.item) == QLatin1String("menuLoadIR")) action->setEnabled(true);
        ASSERT_TRUE(action->isEnabled());
        activate(main.get());  // the previous item may have raised another window
        QSignalSpy triggered(action, &QAction::triggered);
        QTest::keyClick(main.get(), c.key, c.modifiers);
        EXPECT_EQ(triggered.size(), 1);
        if (QLatin1String(c.item) == QLatin1String("menuScan")) {
            EXPECT_TRUE(d2xx().isOpen());
            EXPECT_TRUE(params->isVisible());
        }
    }
    EXPECT_FALSE(d2xx().isOpen());
}

TEST_F(MainWindowKeyboardTest, PresetShortcutsWorkFromTheParameterWindow) {
    createWindows();
    activate(main.get());
    QTest::keyClick(main.get(), Qt::Key_L, Qt::ControlModifier);  // link: the window opens
    ASSERT_TRUE(params->isVisible());
    activate(params.get());
    for (const char* name : {"menuSaveConfiguration", "menuLoadConfiguration"}) {
        SCOPED_TRACE(name);
        QAction* action = item(name);
        ASSERT_TRUE(action->isEnabled());
        QSignalSpy triggered(action, &QAction::triggered);
        QTest::keyClick(params.get(), action->shortcut()[0].key(),
                        action->shortcut()[0].keyboardModifiers());
        EXPECT_EQ(triggered.size(), 1);
    }
}

}  // namespace
}  // namespace zendal::test
