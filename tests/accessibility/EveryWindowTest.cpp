// Every window as a keyboard and screen-reader user meets it: each control
// has a name, no two controls of a window share one, and Tab reaches them all.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>
#include <functional>

#include "Focusable.h"
#include "control/MainWindowFixture.h"
#include "effects/ui/TformFXInfo.h"
#include "effects/ui/TformImpulseResponse.h"
#include "params/ui/PresetLibraryWindow.h"
#include "shell/Styles.h"
#include "shell/ui/FittedCaptions.h"
#include "shell/ui/ServiceTools.h"
#include "shell/ui/TformNewVersionMsg.h"
#include "shell/ui/TformPrint.h"

namespace zendal::test {
namespace {

class EveryWindowTest : public MainWindowTest {
  protected:
    // Windows the test builds itself; they go before the main window.
    std::vector<std::unique_ptr<QWidget>> own;

    void TearDown() override {
        own.clear();
        MainWindowTest::TearDown();
    }

    QWidget* parameterWindowFor(const char* category, const char* effect) {
        chooseEffect(QLatin1String(category), QLatin1String(effect));
        return params.get();
    }

    template <typename W>
    W* keep(W* window) {
        own.emplace_back(window);
        return window;
    }
};

TEST_F(EveryWindowTest, ControlsAreNamedOnceAndReachedByTab) {
    createWindows();
    const struct {
        const char* window;
        int controls;  // at least; so a window that failed to fill is not a pass
        std::function<QWidget*()> open;
    } cases[] = {
        {"main", 12, [this] { return static_cast<QWidget*>(main.get()); }},
        // Pots only; pots, a push button and a choice list; switches and a readback.
        {"parameters: Noise Gate", 8,
         [this] { return parameterWindowFor("Dynamic", "Noise Gate"); }},
        {"parameters: Digital Delay", 20,
         [this] { return parameterWindowFor("Modulation", "Digital Delay"); }},
        {"parameters: Tape Echo + Wah-Wah", 24,
         [this] { return parameterWindowFor("Other", "Tape Echo + Wah-Wah"); }},
        {"parameters: Arpeggio Synth", 20,
         [this] { return parameterWindowFor("Synthesis", "Arpeggio Synth"); }},
        {"firmware upgrade", 2,
         [this] { return main->findChild<QWidget*>(QStringLiteral("formFirmwareUpgrade")); }},
        {"impulse response", 0, [this] { return keep(new TformImpulseResponse(*device)); }},
        {"description", 1, [this] { return keep(new TformFXInfo(*device)); }},
        {"preset library", 6,
         [this] {
             main->findChild<QAction*>(QStringLiteral("menuPresetLibrary"))->trigger();
             return main->findChild<QWidget*>(QStringLiteral("PresetLibraryWindow"));
         }},
        {"new version", 3,
         [this] {
             auto* w = keep(new TformNewVersionMsg);
             w->showVersions(QStringLiteral("1.0"), QStringLiteral("1.1"));
             return w;
         }},
        {"debug console with its service tools", 6,
         [this] {
             auto* console = keep(new TformPrint);
             console->setServicePanel(new ServiceToolsPanel);
             // An address chosen: the list must not be read as the bare "50".
             console->findChild<QComboBox*>(QStringLiteral("cmbI2Caddr"))->setCurrentIndex(0);
             return console;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        QWidget* window = c.open();
        if (!window) {
            ADD_FAILURE() << "no such window";
            continue;
        }
        EXPECT_GE(interactiveControls(window).size(), c.controls);
        const AccessibilityFindings found = inspect(window);
        EXPECT_EQ(found.unnamed.join(QStringLiteral(", ")).toStdString(), "");
        EXPECT_EQ(found.duplicates.join(QStringLiteral("; ")).toStdString(), "");
        EXPECT_EQ(found.unreachable.join(QStringLiteral(", ")).toStdString(), "");
    }
}

TEST_F(EveryWindowTest, EscapeClosesTheSecondaryWindows) {
    // The parameter and firmware windows stay: closing them throws away the
    // panel or stops an upgrade, too much for a stray key.
    const struct {
        const char* window;
        std::function<QWidget*()> open;
    } cases[] = {
        {"description", [this] { return keep(new TformFXInfo(*device)); }},
        {"new version",
         [this] {
             auto* w = keep(new TformNewVersionMsg);
             w->showVersions(QStringLiteral("1.0"), QStringLiteral("1.1"));
             return w;
         }},
        {"debug console", [this] { return keep(new TformPrint); }},
        {"preset library", [this] { return keep(new PresetLibraryWindow(home->path())); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        QWidget* window = c.open();
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(waitFor([window] { return window->isActiveWindow(); }));
        QTest::keyClick(window, Qt::Key_Escape);
        EXPECT_TRUE(waitFor([window] { return !window->isVisible(); }));
    }
}

TEST_F(EveryWindowTest, EscapeWhileRenamingAPresetCancelsTheRenameOnly) {
    const QString folder = home->path() + QStringLiteral("/presets");
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/Gate.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    auto* window = keep(new PresetLibraryWindow(folder));
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(waitFor([window] { return window->isActiveWindow(); }));
    window->lstPresets->setFocus();
    QTest::keyClick(window->lstPresets, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, static_cast<QWidget*>(window->lstPresets));
    QTest::keyClicks(editor, QStringLiteral("Other"));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Gate.txt")));
    // Escape again, with nothing being edited, closes the window.
    QTest::keyClick(window->lstPresets, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([window] { return !window->isVisible(); }));
}

// Captions of `window` whose text does not fit its box: cut off, not elided
// with the whole text in a tooltip.
QStringList clippedCaptions(QWidget* window) {
    QStringList out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->window() != window) continue;
        QString text;
        bool fits = true;
        const QFontMetrics fm = w->fontMetrics();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            text = label->text();
            const QRect box = label->contentsRect();
            fits = label->wordWrap()
                       ? fm.boundingRect(box, Qt::TextWordWrap, text).height() <= box.height()
                       : fm.horizontalAdvance(text) <= box.width();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
            fits = fm.horizontalAdvance(text) <= a11y::captionWidth(button);
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            text = group->title();
            fits = fm.horizontalAdvance(text) <= group->width() - 8;
        }
        if (text.isEmpty() || fits) continue;
        // A label that elides as it paints shows its whole text in its tooltip then.
        if (w->inherits("zendal::a11y::ElidingLabel")) {
            w->grab();
            if (w->toolTip() == text) continue;
        }
        // Elided, the whole caption in its tooltip and its name.
        const bool elided = text.contains(QChar(0x2026)) && !w->toolTip().isEmpty() &&
                            w->accessibleName() == w->toolTip();
        if (!elided) out.append(QStringLiteral("%1 \"%2\"").arg(label(w), text));
    }
    return out;
}

TEST_F(EveryWindowTest, EveryCaptionFitsItsBoxInEveryStyle) {
    createWindows();
    scanAndLink();  // the link label and the firmware version show what the pedal said
    ASSERT_TRUE(widget<QLabel>("lblDeviceName")->text().endsWith(QStringLiteral(" linked")));
    // Every effect of the catalogue, as its parameter window shows it.
    QList<QPair<QString, QString>> effects;
    auto* categories = widget<QListWidget>("lstCategory");
    for (int c = 0; c < categories->count(); ++c) {
        const QString category = categories->item(c)->text();
        clickCategory(category);
        auto* list = widget<QListWidget>("lstEffects");
        for (int e = 0; e < list->count(); ++e) effects.append({category, list->item(e)->text()});
    }
    ASSERT_GT(effects.size(), 40);
    // The windows of fixed content.
    auto* newVersion = keep(new TformNewVersionMsg);
    newVersion->showVersions(QStringLiteral("1.0"), QStringLiteral("1.1"));
    auto* console = keep(new TformPrint);
    console->setServicePanel(new ServiceToolsPanel);
    auto* upgrade = main->findChild<QWidget*>(QStringLiteral("formFirmwareUpgrade"));
    ASSERT_NE(upgrade, nullptr);
    // Laid out as the user sees them.
    console->show();
    upgrade->show();
    const QList<QWidget*> others = {main.get(), upgrade, newVersion, console};
    // The styles differ in font size (the stage style's is the largest).
    for (int style = 0; style < kStyleCount; ++style) {
        SCOPED_TRACE(style);
        ASSERT_TRUE(applyStyle(style));
        // Layouts follow the new style's sizes once their requests are handled.
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
        for (QWidget* window : others) {
            SCOPED_TRACE(window->objectName().toStdString());
            EXPECT_EQ(clippedCaptions(window).join(QStringLiteral(", ")).toStdString(), "");
        }
        for (const auto& [category, effect] : effects) {
            SCOPED_TRACE(effect.toStdString());
            chooseEffect(category, effect);
            if (!params->isVisible()) continue;  // nothing to set (an impulse response)
            EXPECT_EQ(clippedCaptions(params.get()).join(QStringLiteral(", ")).toStdString(), "");
        }
    }
    qApp->setStyleSheet(QString());
}

}  // namespace
}  // namespace zendal::test
