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
#include "link/FtDriver.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"
#include "support/FakeClock.h"
#include "support/ForwardingDriver.h"
#include "support/ScriptedPrompt.h"
#include "support/TempHome.h"

class QAction;

namespace zendal::test {

// Sits between the port module and a real backend (the virtual pedal): keeps
// every write, can answer a message code with canned bytes instead of the
// pedal, can put bytes on the line as if the pedal had sent them, and can
// claim to be another kind of device (for the demonstration-data interlock).
class RecordingDriver : public ForwardingDriver {
  public:
    explicit RecordingDriver(FtDriver& inner) : ForwardingDriver(inner) {}

    std::vector<QByteArray> writes;
    int receivePurges = 0;
    std::optional<DeviceKind> kind;

    // The next write starting with `code` is answered with `reply` (the pedal
    // never sees it).
    void replyTo(std::uint8_t code, const QByteArray& reply) { canned_[code].push_back(reply); }
    // Bytes on the line as if the pedal had sent them on its own.
    void inject(const QByteArray& bytes) { extra_ += bytes; }
    // Bytes that reach the port in separate transfers: each piece shows up
    // only once the one before it has been read.
    void injectInPieces(const QList<QByteArray>& pieces) {
        for (const QByteArray& p : pieces) pieces_.push_back(p);
    }
    // Writes as hexadecimal text, one per write ("0A0100").
    QStringList hexWrites() const;
    void clearWrites() { writes.clear(); }

    FT_STATUS Read(FT_HANDLE h, void* buffer, std::uint32_t toRead, std::uint32_t* got) override;
    FT_STATUS Write(FT_HANDLE h, const void* buffer, std::uint32_t n, std::uint32_t* done) override;
    FT_STATUS Purge(FT_HANDLE h, std::uint32_t mask) override;
    FT_STATUS GetQueueStatus(FT_HANDLE h, std::uint32_t* queued) override;
    DeviceKind Kind(FT_HANDLE h) override { return kind ? *kind : inner_.Kind(h); }

  private:
    std::map<std::uint8_t, std::deque<QByteArray>> canned_;
    QByteArray extra_;
    std::deque<QByteArray> pieces_;
};

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
