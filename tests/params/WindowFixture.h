#pragma once

// A parameter window over a recording driver, with a fake clock, a scripted
// prompt, the device controller it follows, a stand-in for the main window
// and a throw-away documents folder.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <memory>

#include "ParamsTestSupport.h"
#include "core/Log.h"
#include "params/EffectDescriptor.h"
#include "params/SettingsRecord.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompt.h"
#include "support/TempHome.h"

namespace zendal::test {

// 3 pots (pot 0 at address 0005), switch "Phase" at 3 (address 000C), button
// "Tap" at 4, multi-switch "Mode" with 3 choices at 5, readback "LFO".
inline TControlDescriptor standardDescriptor() {
    return makeDescriptor(3, {QStringLiteral("Phase:-:Inverted"), QStringLiteral("Tap:Tap:Tap@")},
                          {QStringLiteral("Mode;a;b;c")}, {QStringLiteral("LFO")},
                          {QStringLiteral("0005"), QStringLiteral("0002"), QStringLiteral("0003"),
                           QStringLiteral("000C"), QStringLiteral("0004"), QStringLiteral("0006")});
}

// The main window as the parameter window sees it: follows the window's and
// the controller's signals as the main window does, keeps the state of its
// controls and the order of what it did.
class MainWindowRecorder {
  public:
    QStringList calls;
    bool requestEnabled = false, assignEnabled = false, storeEnabled = false;
    bool uploadEnabled = true, tickRunning = true, liveLabelEnabled = false;
    int bank = -1, midiItem = -1;
    // What the main window does on SetBankMode beyond the mode (it closes the
    // parameter window outside a request).
    std::function<void()> onSetBankMode;

    void followDevice(DeviceController& device) {
        QObject::connect(&device, &DeviceController::modeReported, [this, &device](bool b, int n) {
            if (b) {
                device.setBankMode(true);
                calls << QStringLiteral("SetBankMode");
                if (onSetBankMode) onSetBankMode();
                bank = n;
            } else {
                device.setBankMode(false);
                calls << QStringLiteral("SetPresetMode");
            }
        });
        QObject::connect(&device, &DeviceController::midiChannelReported,
                         [this](int index) { midiItem = index; });
    }
    void followWindow(TformFXParameters& w) {
        QObject::connect(&w, &TformFXParameters::controlsDestroyed, [this] {
            requestEnabled = false;
            setAssignEnabled(false);
        });
        QObject::connect(&w, &TformFXParameters::settingsRequestStarted, [this] {
            stopReceiveTick();
            requestEnabled = false;
        });
        QObject::connect(&w, &TformFXParameters::settingsRequestEnded,
                         [this](bool applied, bool stillShown) {
                             if (applied) {
                                 if (stillShown) setAssignEnabled(true);
                                 storeEnabled = true;
                             }
                             startReceiveTick();
                             if (applied) liveLabelEnabled = true;
                             if (!applied && stillShown) requestEnabled = true;
                         });
        QObject::connect(&w, &TformFXParameters::assigning,
                         [this](bool busy) { setAssignEnabled(!busy); });
        QObject::connect(&w, &TformFXParameters::valuesShown, [this] { requestEnabled = true; });
        QObject::connect(&w, &TformFXParameters::configurationSaved,
                         [this] { uploadEnabled = false; });
    }

  private:
    void stopReceiveTick() {
        tickRunning = false;
        calls << QStringLiteral("stopReceiveTick");
    }
    void startReceiveTick() {
        tickRunning = true;
        calls << QStringLiteral("startReceiveTick");
    }
    void setAssignEnabled(bool e) {
        assignEnabled = e;
        calls << QStringLiteral("setAssignEnabled %1").arg(e);
    }
};

class ParamsWindowFixture : public ::testing::Test {
  protected:
    FakeClock clock;
    ScriptedPrompt prompt;
    TempHome home;
    RecordingDriver driver;
    PedalConnection connection;
    DeviceController device{connection};
    MainWindowRecorder mainWindow;
    TControlDescriptor descriptor;
    std::unique_ptr<TformFXParameters> window;

    void SetUp() override {
        device.reset();
        device.setSelectedEffect(QStringLiteral("Test FX"), true);
        device.setPedalEffect(0x26, 1, QString());
        mainWindow.followDevice(device);
        parameterSettings() = TParameterSettings();
        Log::instance().clear();
        setDescriptorLoader([this](const QString&, TControlDescriptor* out, QString*) {
            *out = descriptor;
            return true;
        });
    }

    void TearDown() override {
        window.reset();
        setDescriptorLoader({});
        device.reset();
    }

    void open(const TControlDescriptor& d = standardDescriptor()) {
        descriptor = d;
        if (!window) {
            window = std::make_unique<TformFXParameters>(device);
            mainWindow.followWindow(*window);
        }
        QString error;
        ASSERT_TRUE(window->openFor(QStringLiteral("Test FX v1"), QPoint(400, 0), 420, &error))
            << error.toStdString();
        driver.clearWrites();
    }

    template <typename T>
    T* find(const QString& name) const {
        return window->findChild<T*>(name);
    }
    QSlider* slider(int i) const { return find<QSlider>(QStringLiteral("slider%1").arg(i)); }
    QCheckBox* sw(int i) const { return find<QCheckBox>(QStringLiteral("switch%1").arg(i)); }
    QPushButton* button(int i) const {
        return find<QPushButton>(QStringLiteral("button%1").arg(i));
    }
    QComboBox* multi(int i) const { return find<QComboBox>(QStringLiteral("multi%1").arg(i)); }
    QComboBox* assignList(int i) const {
        return find<QComboBox>(QStringLiteral("assign%1").arg(i));
    }
    QCheckBox* reverse(int i) const { return find<QCheckBox>(QStringLiteral("reverse%1").arg(i)); }
    QComboBox* led(int j) const { return find<QComboBox>(QStringLiteral("led%1").arg(j)); }
    QComboBox* bypassList() const { return find<QComboBox>(QStringLiteral("boxBypass")); }
    QComboBox* presetList() const { return find<QComboBox>(QStringLiteral("boxPreset")); }

    // The pedal answers the next settings requests with this record.
    void pedalHolds(const QVector<std::uint8_t>& record) {
        const QByteArray reply = settingsReplyText(record);
        driver.answerRequest = [reply](const QByteArray&) { return reply; };
    }
    // The Request button's (and the automatic) request.
    void requestFromButton() {
        RequestInProgress request(device);
        window->request_settings();
    }
};

}  // namespace zendal::test
