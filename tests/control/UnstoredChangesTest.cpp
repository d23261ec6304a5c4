// Tone editing with the main window over the virtual pedal: an undo reaches
// the pedal, Store Settings clears the marks, and choosing another effect or
// quitting with unstored changes asks Store / Discard / Cancel first.

#include <QListWidget>
#include <QPushButton>
#include <QSlider>

#include "MainWindowFixture.h"
#include "firmware/ui/FirmwareUpgradeController.h"
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

struct QuitCase {
    const char* name;
    QList<bool> answers;  // to "store?", then to "discard?"
    bool unplugged;       // the store cannot reach the pedal
    bool quits;
    bool stores;
};

void PrintTo(const QuitCase& c, std::ostream* os) {
    *os << c.name;
}

class MainWindowQuit : public MainWindowUnstored, public ::testing::WithParamInterface<QuitCase> {};

TEST_P(MainWindowQuit, QuittingWithUnstoredChangesAsksFirst) {
    const QuitCase& c = GetParam();
    linkedWithSettings();
    slider0()->setValue(slider0()->value() == 5 ? 6 : 5);
    int closed = 0;
    QObject::connect(main.get(), &TformMain::mainClosed, [&closed] { ++closed; });
    for (bool answer : c.answers) prompt->answerConfirm(answer);
    if (c.unplugged) pedal->unplug();
    markWrites();

    EXPECT_EQ(main->close(), c.quits);
    EXPECT_EQ(closed, c.quits ? 1 : 0);
    ASSERT_EQ(prompt->confirmations.size(), c.answers.size());
    EXPECT_EQ(prompt->confirmations.value(0),
              storeChangesQuestion(
                  QStringLiteral("The settings of Noise Gate v1 have unstored changes.")));
    EXPECT_EQ(writesSinceMark().value(0) == QStringLiteral("0302"), c.stores)
        << writesSinceMark().join(' ').toStdString();
    EXPECT_EQ(params->hasUnstoredChanges(), !c.stores);
}

INSTANTIATE_TEST_SUITE_P(Answers, MainWindowQuit,
                         ::testing::Values(QuitCase{"Store", {true}, false, true, true},
                                           QuitCase{"Discard", {false, true}, false, true, false},
                                           QuitCase{"Cancel", {false, false}, false, false, false},
                                           QuitCase{"StoreFails", {true}, true, false, false}),
                         [](const ::testing::TestParamInfo<QuitCase>& info) {
                             return std::string(info.param.name);
                         });

// A pedal in its bootloader cannot store: only the upgrade's own question
// (if one runs) is asked, and nothing is sent.
TEST_F(MainWindowUnstored, QuittingWithThePedalInItsBootloaderOffersNoStore) {
    linkedWithSettings();
    slider0()->setValue(slider0()->value() == 5 ? 6 : 5);
    main->upgradeController()->bootloaderProbed(true);
    markWrites();
    EXPECT_TRUE(main->close());
    EXPECT_TRUE(prompt->confirmations.isEmpty());
    EXPECT_TRUE(writesSinceMark().isEmpty()) << writesSinceMark().join(' ').toStdString();
}

TEST_F(MainWindowUnstored, QuittingWithoutChangesAsksNothing) {
    linkedWithSettings();
    EXPECT_TRUE(main->close());
    EXPECT_TRUE(prompt->confirmations.isEmpty());
}

}  // namespace
}  // namespace zendal::test
