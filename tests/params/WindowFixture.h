#pragma once

// A parameter window over a recording driver, with a fake clock, a scripted
// prompt, a recorder of the main window's hooks and a throw-away documents folder.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <memory>

#include "ParamsTestSupport.h"
#include "core/EditorState.h"
#include "core/Log.h"
#include "params/EffectDescriptor.h"
#include "params/SettingsRecord.h"
#include "params/ui/TformFXParameters.h"
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

class ParamsWindowFixture : public ::testing::Test {
  protected:
    FakeClock clock;
    ScriptedPrompt prompt;
    TempHome home;
    ParamsPedal driver;
    HooksRecorder hooks;
    TControlDescriptor descriptor;
    std::unique_ptr<TformFXParameters> window;

    void SetUp() override {
        editorState().reset();
        editorState().selected_effect_name = QStringLiteral("Test FX");
        editorState().selected_is_on_pedal = true;
        editorState().pedal_effect_number = 0x26;
        editorState().pedal_effect_version = 1;
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
        editorState().reset();
    }

    void open(const TControlDescriptor& d = standardDescriptor()) {
        descriptor = d;
        if (!window) window = std::make_unique<TformFXParameters>(&hooks);
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
        editorState().request_in_progress = true;
        window->request_settings();
        editorState().request_in_progress = false;
    }
};

}  // namespace zendal::test
