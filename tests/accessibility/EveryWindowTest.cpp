// Every window as a keyboard and screen-reader user meets it: each control
// has a name, no two controls of a window share one, and Tab reaches them all.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QTest>
#include <functional>

#include "Focusable.h"
#include "control/MainWindowFixture.h"
#include "effects/ui/TformFXInfo.h"
#include "effects/ui/TformImpulseResponse.h"
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
        {"impulse response", 0, [this] { return keep(new TformImpulseResponse); }},
        {"description", 1, [this] { return keep(new TformFXInfo); }},
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
        {"description", [this] { return keep(new TformFXInfo); }},
        {"new version",
         [this] {
             auto* w = keep(new TformNewVersionMsg);
             w->showVersions(QStringLiteral("1.0"), QStringLiteral("1.1"));
             return w;
         }},
        {"debug console", [this] { return keep(new TformPrint); }},
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

}  // namespace
}  // namespace zendal::test
