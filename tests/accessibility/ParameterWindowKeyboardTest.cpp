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
        device.setBankMode(bankMode);
        open(everyKind());
        EXPECT_EQ(unnamedControls(window.get()), QStringList());
        const struct {
            const char* control;
            const char* name;
        } cases[] = {
            // A value control goes by its parameter's caption; the role says what it is.
            {"slider0", "Pot0"},
            {"switch2", "Phase"},
            {"button3", "Tap"},
            {"multi4", "Mode"},
            {"assign2", "Assignment of Phase"},
            {"reverse4", "Reverse Mode"},
            {"boxBypass", "Assignment of Bypass Toggle"},
            {"boxPreset", bankMode ? "Assignment of Bank Select" : "Assignment of Preset Change"},
            {"led1", "LED for Envelope"},
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

TEST_F(ParameterWindowKeyboardTest, SliderShowsItsValueInRangeAndPercent) {
    open(everyKind());
    QSlider* pot = slider(1);
    const struct {
        int value;
        const char* shown;
    } cases[] = {
        {0, "0 of 1023 (0%)"},
        {512, "512 of 1023 (50%)"},
        {1023, "1023 of 1023 (100%)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        pot->setValue(c.value);
        EXPECT_EQ(pot->toolTip(), QLatin1String(c.shown));
        // What a screen reader reads: the caption, the value, the tooltip as description.
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(pot);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->text(QAccessible::Name), QStringLiteral("Pot1"));
        ASSERT_NE(face->valueInterface(), nullptr);
        EXPECT_EQ(face->valueInterface()->currentValue().toInt(), c.value);
        EXPECT_EQ(face->text(QAccessible::Description), QLatin1String(c.shown));
    }
}

TEST_F(ParameterWindowKeyboardTest, ListsAreReadByNameWithTheirChoiceAsValue) {
    open(everyKind());
    const struct {
        QComboBox* list;
        const char* name;
    } cases[] = {
        {multi(4), "Mode"},
        {assignList(0), "Assignment of Pot0"},
        {led(1), "LED for Envelope"},
        {bypassList(), "Assignment of Bypass Toggle"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.list->setCurrentIndex(1);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(c.list);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->role(), QAccessible::ComboBox);
        EXPECT_EQ(face->text(QAccessible::Name), QLatin1String(c.name));
        EXPECT_EQ(face->text(QAccessible::Value), c.list->itemText(1));
        // The entries stay browsable as the list's one child.
        ASSERT_EQ(face->childCount(), 1);
        QAccessibleInterface* entries = face->child(0);
        ASSERT_NE(entries, nullptr);
        EXPECT_EQ(entries->object(), c.list->view());
        EXPECT_EQ(face->indexOfChild(entries), 0);
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
