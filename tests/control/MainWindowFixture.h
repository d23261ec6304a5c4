#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "control/ui/TformMain.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"
#include "support/FakeClock.h"
#include "support/RecordingDriver.h"
#include "support/ScriptedPrompt.h"
#include "support/TempHome.h"

class QAction;

namespace zendal::test {

// A main window and a parameter window over the in-process virtual pedal (as
// strict as the hardware, its time on the fake clock), in a temporary home,
// with scripted boxes and a clock that never sleeps.
class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the windows (after a test has prepared the settings files).
    void createWindows();
    void destroyWindows();

    template <typename T = QWidget>
    T* widget(const char* name) const {
        return main->findChild<T*>(QLatin1String(name));
    }
    QAction* item(const char* name) const;

    // Scan and Link, with the pedal answering as it does.
    void scanAndLink();
    // Clicks a category and then an effect of its list, by their texts.
    void chooseEffect(const QString& category, const QString& effect);
    void clickCategory(const QString& category);
    // Processes events (real time) until `done` holds or ten seconds pass;
    // the fake clock moves kWaitStepMs a round meanwhile.
    bool waitFor(const std::function<bool()>& done);
    // Lets the bytes written so far reach the pedal, so its state can be read.
    void settlePedal();
    static constexpr int kWaitStepMs = 5;
    // Clicks the hidden "Upload File" with `path` chosen in the dialog; the
    // lines it logged.
    QStringList uploadFile(const QString& path);
    bool logHas(const QString& line) const;
    QStringList writesSinceMark() const;
    void markWrites() { mark_ = driver->writes.size(); }

    // The editor's one link to the pedal; d2xx() reaches its port.
    std::unique_ptr<PedalConnection> connection;
    // What the editor knows about the pedal; the windows follow it.
    std::unique_ptr<DeviceController> device;
    std::unique_ptr<TempHome> home;
    std::unique_ptr<ScriptedPrompt> prompt;
    std::unique_ptr<FakeClock> fakeClock;
    std::unique_ptr<VirtualPedal> pedal;
    std::unique_ptr<VirtualPedalDriver> pedalDriver;
    std::unique_ptr<RecordingDriver> driver;
    std::unique_ptr<TformMain> main;
    std::unique_ptr<TformFXParameters> params;

  private:
    std::size_t mark_ = 0;
};

}  // namespace zendal::test
