// The main window's receive tick itself (offscreen): whatever the pedal sends
// on its own, read by PollPedal and dispatched to the window — bank and effect
// numbers, upload answers, control reports moving the parameter window's
// controls, settings-memory dumps collected over several reads.
//
// Input: byte 0 chooses the effect whose parameter window is open (0 = none,
// else an effect number), then reads, each a two-byte big-endian header and
// its bytes. The header's top bit keeps the bytes waiting with the next read
// (one message in two USB transfers); the other 15 bits are the length. The
// last read takes what is left, so a read of 65,536 bytes is reached by joining
// pieces.
#include <QCoreApplication>
#include <QEvent>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "control/ui/TformMain.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "fuzz/support/FuzzPort.h"
#include "fuzz/support/OffscreenApp.h"
#include "fuzz/support/Verbose.h"
#include "link/D2XXUnit.h"
#include "link/Timeouts.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "shell/Prompt.h"

namespace {

using namespace zendal;

// Boxes are logged; questions are answered no; no file is picked.
class LoggingPrompt : public Prompt {
  public:
    void information(const QString& text) override { DebugPrint(QStringLiteral("box: ") + text); }
    bool confirm(const QString&) override { return false; }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
};

struct World {
    LoggingPrompt prompt;
    DeviceController* device = nullptr;
    TformMain* main = nullptr;
    TformFXParameters* params = nullptr;
    int shownEffect = 0;  // whose panel is open, 0 = none
    QString shownName;    // and its name, as the editor knows it
};

World* world = nullptr;

// Lets the window's deferred work happen (controls closed with deleteLater)
// without running its timers, which would send requests of their own.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startOffscreenApplication(argc, argv);
    world = new World;
    setPrompt(&world->prompt);
    fuzz::openScriptedPort();
    world->device = new DeviceController(fuzz::scriptedConnection());
    world->main = new TformMain(fuzz::scriptedConnection(), *world->device);
    world->params = new TformFXParameters(*world->device);
    world->main->attachParameterWindow(world->params);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Log::instance().clear();  // the log keeps every line; keep memory flat
    fuzz::mirrorLogWhenAsked();
    fuzz::InputReader in(data, size);
    fuzz::ScriptedDriver& port = fuzz::openScriptedPort();
    port.script(QByteArray(), false);
    port.setReadSlice(0);

    // Each run starts from the same editor state. Opening a parameter window
    // costs most of a run, so the panel of the previous run stays when the
    // run asks for the same effect (only its controls' positions carry over).
    const int open = in.byte() & 0x3F;
    if (open != world->shownEffect) {
        if (world->params->isVisible()) world->params->closeWindow();
        settle();
        world->device->reset();
        world->shownEffect = open;
        if (open != 0) {
            // The pedal reports its effect ("1" and the number in hexadecimal),
            // so its panel is on show and control reports reach it.
            world->device->setPedalEffectVersion(1);
            port.queueNow(QByteArray("1") + QByteArray::number(open, 16).toUpper());
            world->main->PollPedal();
            d2xx().PurgeFTReceive();
            settle();
        }
        world->shownName = world->device->pedalEffectName();
    }

    while (!in.empty()) {
        const int header = (in.byte() << 8) | in.byte();
        const bool withNext = (header & 0x8000) != 0;
        port.queueNow(in.bytes(static_cast<std::size_t>(header & 0x7FFF)));
        if (withNext && !in.empty()) continue;
        world->main->PollPedal();
        settle();
        zendal::clock().pause(1);
    }

    // A dump left unfinished runs out of time and is dropped, as the window
    // does it, so the next run starts without one.
    d2xx().PurgeFTReceive();
    zendal::clock().pause(timeouts::kEepromDumpMs + 1);
    world->main->PollPedal();
    settle();
    // An effect number in the reads opened another panel: the next run opens its own.
    if (world->device->pedalEffectName() != world->shownName) world->shownEffect = -1;
    return 0;
}
