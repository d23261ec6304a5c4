// Tone editing with the main window over the virtual pedal: an undo reaches
// the pedal, Store Settings clears the marks, and choosing another effect
// with unstored changes asks Store / Discard / Cancel first.

#include <QListWidget>
#include <QPushButton>
#include <QSlider>

#include "MainWindowFixture.h"
#include "protocol/DeviceController.h"
#include "shell/Prompt.h"

namespace zendal::test {
namespace {

class MainWindowUnstored : public MainWindowTest {
  protected:
    // Linked to the pedal's Noise Gate, its settings read.
    void linkedWithSettings() {
        createWindows();
        scanAndLink();
        ASSERT_TRUE(params->isVisible());
        ASSERT_FALSE(params->hasUnstoredChanges());
    }
    QSlider* slider0() const { return params->findChild<QSlider*>(QStringLiteral("slider0")); }
    quint32 pedalValue0() {
        settlePedal();
        return pedal->currentSettings().values[0];
    }
};

TEST_F(MainWindowUnstored, UndoAfterASliderMoveGivesThePedalTheOldValue) {
    linkedWithSettings();
    const int before = slider0()->value();
    const int moved = before == 700 ? 300 : 700;
    slider0()->setValue(moved);
    EXPECT_EQ(pedalValue0(), quint32(moved) * 8192);

    markWrites();
    params->undo();
    EXPECT_EQ(writesSinceMark().size(), 1);
    EXPECT_EQ(pedalValue0(), quint32(before) * 8192);
    EXPECT_EQ(slider0()->value(), before);
    params->redo();
    EXPECT_EQ(pedalValue0(), quint32(moved) * 8192);
}

TEST_F(MainWindowUnstored, StoreSettingsMakesTheShownValuesTheStoredOnes) {
    linkedWithSettings();
    slider0()->setValue(slider0()->value() == 5 ? 6 : 5);
    EXPECT_TRUE(params->hasUnstoredChanges());
    EXPECT_TRUE(params->windowTitle().endsWith(QStringLiteral(" - unstored changes")));
    main->btnStoreSettingsOnPedalClick();
    EXPECT_FALSE(params->hasUnstoredChanges());
    EXPECT_EQ(params->windowTitle(), QStringLiteral("Noise Gate v1"));
}

TEST_F(MainWindowUnstored, ChoosingAnotherEffectAsksFirst) {
    linkedWithSettings();
    slider0()->setValue(slider0()->value() == 5 ? 6 : 5);

    // Cancel: "store?" No, "discard?" No. The window stays with its changes.
    prompt->answerConfirm(false);
    prompt->answerConfirm(false);
    chooseEffect(QStringLiteral("Gain"), QStringLiteral("Clean Boost"));
    EXPECT_EQ(prompt->confirmations.size(), 2);
    EXPECT_EQ(prompt->confirmations.value(1), discardChangesQuestion());
    EXPECT_EQ(device->selectedEffectName(), QStringLiteral("Noise Gate"));
    EXPECT_TRUE(params->hasUnstoredChanges());
    EXPECT_TRUE(widget<QListWidget>("lstEffects")->selectedItems().isEmpty());

    // Discard: the other effect opens.
    prompt->confirmations.clear();
    prompt->answerConfirm(false);
    prompt->answerConfirm(true);
    chooseEffect(QStringLiteral("Gain"), QStringLiteral("Clean Boost"));
    EXPECT_EQ(device->selectedEffectName(), QStringLiteral("Clean Boost"));
    EXPECT_EQ(params->windowTitle(), QStringLiteral("Clean Boost"));
}

TEST_F(MainWindowUnstored, StoringOnTheWayToAnotherEffect) {
    linkedWithSettings();
    slider0()->setValue(slider0()->value() == 5 ? 6 : 5);
    markWrites();
    prompt->answerConfirm(true);  // "store?" Yes
    chooseEffect(QStringLiteral("Gain"), QStringLiteral("Clean Boost"));
    EXPECT_EQ(writesSinceMark().value(0), QStringLiteral("0302"));
    EXPECT_EQ(device->selectedEffectName(), QStringLiteral("Clean Boost"));
}

}  // namespace
}  // namespace zendal::test
