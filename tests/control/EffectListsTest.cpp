// The category and effect lists: filling, choosing, the bank-mode limit, keys.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>

#include "MainWindowFixture.h"
#include "core/Log.h"
#include "protocol/DeviceController.h"

namespace zendal::test {
namespace {

class MainWindowEffectLists : public MainWindowTest {
  protected:
    QListWidget* effects() const { return widget<QListWidget>("lstEffects"); }
    QStringList effectTexts() const {
        QStringList out;
        for (int i = 0; i < effects()->count(); ++i) out.append(effects()->item(i)->text());
        return out;
    }
};

const QString kIrHowTo = QStringLiteral(
    "How to load an impulse response:\r\n"
    "1) Select an IR load algorithm in Impulse Response category\r\n"
    "2) Go to File and click Load IR, choose the desired WAV file\r\n"
    "3) Click UPLOAD SELECTED EFFECT button\r\n"
    "Works best with 48kHz sampling rate at a bitrate of 24 or 32 bit");

TEST_F(MainWindowEffectLists, EachCategoryFillsTheEffectsList) {
    const struct {
        const char* category;
        int count;
        const char* first;
        bool howTo;
    } cases[] = {
        {"Gain", 17, "Clean Boost", false},
        {"Modulation", 15, "Classic Chorus", false},
        {"Synthesis", 7, "Square Synth", false},
        {"Filter", 4, "Auto-Wah", false},
        {"Dynamic", 2, "Noise Gate", false},
        {"Impulse Response", 4, "Cabinet Sim + EQ", true},
        {"Other", 7, "Tape Echo + Wah-Wah", false},
    };
    createWindows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.category);
        prompt->informations.clear();
        widget("btnOpenEffect")->setEnabled(false);
        clickCategory(QLatin1String(c.category));
        EXPECT_EQ(effects()->count(), c.count);
        EXPECT_EQ(effectTexts().value(0), QLatin1String(c.first));
        EXPECT_FALSE(effectTexts().contains(QString()));  // no empty line at the end
        EXPECT_EQ(device->currentCategory(), QLatin1String(c.category));
        EXPECT_EQ(prompt->informations, c.howTo ? QStringList{kIrHowTo} : QStringList{});
        EXPECT_EQ(widget("btnOpenEffect")->isEnabled(), !c.howTo);
        for (int i = 0; i < effects()->count(); ++i)
            EXPECT_TRUE(effects()->item(i)->flags() & Qt::ItemIsEnabled);  // preset mode
    }
}

TEST_F(MainWindowEffectLists, BankModeBarsImagesLargerThan5440Bytes) {
    createWindows();
    item("menuModeBank")->trigger();
    clickCategory(QStringLiteral("Other"));
    const auto at = [&](const QString& name) {
        return effects()->findItems(name, Qt::MatchExactly).value(0);
    };
    ASSERT_NE(at(QStringLiteral("Plate Reverb")), nullptr);
    EXPECT_TRUE(at(QStringLiteral("Plate Reverb"))->flags() & Qt::ItemIsEnabled);    // 5440 bytes
    EXPECT_FALSE(at(QStringLiteral("Spring Reverb"))->flags() & Qt::ItemIsEnabled);  // 5441
    EXPECT_TRUE(logHas(QStringLiteral("size of Spring Reverb exceeds 5440 bytes")));
    EXPECT_FALSE(logHas(QStringLiteral("size of Plate Reverb exceeds 5440 bytes")));

    // Choosing a barred effect says why and chooses nothing.
    chooseEffect(QStringLiteral("Other"), QStringLiteral("Plate Reverb"));
    ASSERT_TRUE(params->isVisible());
    prompt->informations.clear();
    main->effetto_cliccato(at(QStringLiteral("Spring Reverb")));
    EXPECT_EQ(prompt->informations, QStringList{"This effect is not available in Bank Mode"});
    EXPECT_EQ(device->selectedEffectName(), QStringLiteral("Plate Reverb"));
    EXPECT_FALSE(params->isVisible());
    EXPECT_FALSE(widget("btnUpload")->isEnabled());
    EXPECT_FALSE(widget("btnStoreSettingsOnPedal")->isEnabled());
}

TEST_F(MainWindowEffectLists, ChoosingAnEffect) {
    createWindows();
    scanAndLink();  // the pedal holds Noise Gate
    const struct {
        const char* category;
        const char* effect;
        int index;
        bool onPedal;
        bool loadIr;
    } cases[] = {
        {"Gain", "Amber Drive", 1, false, false},
        {"Dynamic", "Noise Gate", 0, true, false},
        {"Impulse Response", "Basic Cabinet Sim", 3, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.effect);
        Log::instance().clear();
        for (const char* name : {"btnRequest", "btnAssign", "btnStoreSettingsOnPedal"})
            widget(name)->setEnabled(true);
        QStringList chosen;
        auto connection = QObject::connect(main.get(), &TformMain::effectChosen,
                                           [&](const QString& name) { chosen.append(name); });
        chooseEffect(QLatin1String(c.category), QLatin1String(c.effect));
        QObject::disconnect(connection);
        EXPECT_TRUE(logHas(QStringLiteral("efx index :%1").arg(c.index)));
        EXPECT_TRUE(logHas(QStringLiteral("selected effect name: ") + QLatin1String(c.effect)));
        EXPECT_EQ(device->selectedEffectName(), QLatin1String(c.effect));
        EXPECT_EQ(device->selectedIsOnPedal(), c.onPedal);
        EXPECT_EQ(widget("btnRequest")->isEnabled(), c.onPedal);
        // The new window needs the pedal's settings before anything can be assigned.
        EXPECT_FALSE(widget("btnAssign")->isEnabled());
        EXPECT_EQ(widget("btnStoreSettingsOnPedal")->isEnabled(), c.onPedal);
        EXPECT_EQ(item("menuLoadIR")->isEnabled(), c.loadIr);
        EXPECT_TRUE(widget("btnUpload")->isEnabled());
        EXPECT_TRUE(widget("btnOpenEffect")->isEnabled());
        EXPECT_TRUE(widget("btnGetFXInfo")->isEnabled());
        EXPECT_FALSE(widget("lblLive")->isEnabled());
        ASSERT_TRUE(params->isVisible());
        EXPECT_EQ(params->windowTitle(), QLatin1String(c.effect));
        EXPECT_EQ(chosen, QStringList{QLatin1String(c.effect)});
    }
}

TEST_F(MainWindowEffectLists, ChoosingAnotherEffectEndsLiveMode) {
    createWindows();
    scanAndLink();
    widget("lblLive")->setEnabled(true);
    widget<QCheckBox>("swLive")->setChecked(true);
    markWrites();
    chooseEffect(QStringLiteral("Gain"), QStringLiteral("Clean Boost"));
    EXPECT_EQ(writesSinceMark().value(0), QStringLiteral("0A0000"));
    EXPECT_EQ(writesSinceMark().count(QStringLiteral("0A0000")), 1);
    EXPECT_FALSE(widget<QCheckBox>("swLive")->isChecked());
    EXPECT_EQ(widget<QGroupBox>("lblLive")->title(), QStringLiteral("Live OFF"));
}

TEST_F(MainWindowEffectLists, ArrowKeysMoveTheSelectionOnly) {
    createWindows();
    clickCategory(QStringLiteral("Dynamic"));  // two effects
    const auto press = [&](Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(effects(), &event);
    };
    effects()->setCurrentRow(0);
    const struct {
        Qt::Key key;
        int row;
        const char* log;
    } steps[] = {
        {Qt::Key_Up, 0, "arrow up pressed"},
        {Qt::Key_Down, 1, "arrow down pressed"},
        {Qt::Key_Down, 1, "arrow down pressed"},
        {Qt::Key_Up, 0, "arrow up pressed"},
    };
    for (const auto& s : steps) {
        Log::instance().clear();
        press(s.key);
        EXPECT_EQ(effects()->currentRow(), s.row);
        EXPECT_EQ(Log::instance().lines(), QStringList{QLatin1String(s.log)});
    }
    EXPECT_TRUE(device->selectedEffectName().isEmpty());  // moving chooses nothing
    EXPECT_FALSE(params->isVisible());
}

TEST_F(MainWindowEffectLists, CtrlShiftPOpensTheConsoleFromAnyControl) {
    createWindows();
    QWidget console;
    main->attachConsole(&console);
    QKeyEvent other(QEvent::KeyPress, Qt::Key_P, Qt::ControlModifier);
    QApplication::sendEvent(effects(), &other);
    EXPECT_FALSE(console.isVisible());
    QKeyEvent key(QEvent::KeyPress, Qt::Key_P,
                  Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    QApplication::sendEvent(effects(), &key);
    EXPECT_TRUE(console.isVisible());
    EXPECT_TRUE(key.isAccepted());
}

}  // namespace
}  // namespace zendal::test
