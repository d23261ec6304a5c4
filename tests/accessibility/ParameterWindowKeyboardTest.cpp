// The parameter window's run-time controls from the keyboard: each named by
// its caption and kind, Tab row by row as the window reads.
#include "Focusable.h"
#include "params/WindowFixture.h"

namespace zendal::test {
namespace {

// Every kind of row: two pots, a switch, a push button, a choice list, two readbacks.
TControlDescriptor everyKind() {
    return makeDescriptor(2, {QStringLiteral("Phase:-:Inverted"), QStringLiteral("Tap:Tap:Tap@")},
                          {QStringLiteral("Mode;a;b;c")},
                          {QStringLiteral("LFO"), QStringLiteral("Envelope")},
                          {QStringLiteral("0005"), QStringLiteral("0002"), QStringLiteral("000C"),
                           QStringLiteral("0004"), QStringLiteral("0006")});
}

class ParameterWindowKeyboardTest : public ParamsWindowFixture {};

TEST_F(ParameterWindowKeyboardTest, EveryControlIsNamedByCaptionAndKind) {
    for (const bool bankMode : {false, true}) {
        SCOPED_TRACE(bankMode ? "bank mode" : "preset mode");
        editorState().bank_mode = bankMode;
        open(everyKind());
        EXPECT_EQ(unnamedControls(window.get()), QStringList());
        const struct {
            const char* control;
            const char* name;
        } cases[] = {
            {"slider0", "Pot0 slider"},
            {"switch2", "Phase switch"},
            {"button3", "Tap button"},
            {"multi4", "Mode choice list"},
            {"assign2", "Phase assignment"},
            {"reverse4", "Mode reverse"},
            {"boxBypass", "Bypass Toggle assignment"},
            {"boxPreset", bankMode ? "Bank Select assignment" : "Preset Change assignment"},
            {"led1", "Envelope LED"},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.control);
            auto* w = find<QWidget>(QLatin1String(c.control));
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->accessibleName(), QLatin1String(c.name));
        }
        window->closeWindow();
    }
}

TEST_F(ParameterWindowKeyboardTest, TabWalksTheRowsInOrder) {
    open(everyKind());
    const QStringList rows = {
        "slider0",  "assign0",   "reverse0",  "slider1", "assign1",  "reverse1", "switch2",
        "assign2",  "reverse2",  "button3",   "assign3", "reverse3", "multi4",   "assign4",
        "reverse4", "boxBypass", "boxPreset", "led0",    "led1",
    };
    EXPECT_EQ(tabOrder(slider(0), rows), rows);
}

TEST_F(ParameterWindowKeyboardTest, ReopeningKeepsTheOrder) {
    // The controls are rebuilt at every show; so is their order.
    open(everyKind());
    window->closeWindow();
    open(standardDescriptor());
    const QStringList rows = {
        "slider0",  "assign0",  "reverse0", "slider1",  "assign1",   "reverse1",  "slider2",
        "assign2",  "reverse2", "switch3",  "assign3",  "reverse3",  "button4",   "assign4",
        "reverse4", "multi5",   "assign5",  "reverse5", "boxBypass", "boxPreset", "led0"};
    EXPECT_EQ(tabOrder(slider(0), rows), rows);
}

}  // namespace
}  // namespace zendal::test
