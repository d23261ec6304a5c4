// The parameter window itself (offscreen), built from any descriptor the parser
// accepts and then driven by what comes from outside: control reports of the
// pedal, settings replies applied by the five appliers, preset files loaded
// through the open dialog, and Assign.
//
// Input: descriptor text, a 0x00 byte, then operations, each an op byte
// followed by its bytes: 0 a control report (4 bytes: kind index hi lo),
// 1 a settings reply (two-byte length and the bytes), 2 a preset file
// (two-byte length and the bytes), 3 Assign.
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/Log.h"
#include "fuzz/support/FuzzPort.h"
#include "fuzz/support/OffscreenApp.h"
#include "fuzz/support/Verbose.h"
#include "link/D2XXUnit.h"
#include "params/DescriptorParser.h"
#include "params/EffectDescriptor.h"
#include "params/SettingsRecord.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "shell/Prompt.h"

namespace {

using namespace zendal;

// Boxes are logged; the open dialog always picks the one preset file of the
// process; the save dialog is cancelled.
class FilePrompt : public Prompt {
  public:
    QString presetPath;
    void information(const QString& text) override { DebugPrint(QStringLiteral("box: ") + text); }
    bool confirm(const QString&) override { return false; }
    QString openFileName(const QString&, const QString&, const QString&) override {
        return presetPath;
    }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
};

struct World {
    FilePrompt prompt;
    DeviceController* device = nullptr;
    TControlDescriptor descriptor;
    TformFXParameters* window = nullptr;
};

World* world = nullptr;

const QString kImageLine =
    QStringLiteral("0A0100") + QStringLiteral("0005000200030004").repeated(4);

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    const QString home = fuzz::startOffscreenApplication(argc, argv);
    world = new World;
    world->prompt.presetPath = home + QStringLiteral("/preset.txt");
    setPrompt(&world->prompt);
    setDescriptorLoader([](const QString&, TControlDescriptor* out, QString*) {
        *out = world->descriptor;
        return true;
    });
    fuzz::openScriptedPort();
    world->device = new DeviceController(fuzz::scriptedConnection());
    world->window = new TformFXParameters(*world->device);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Log::instance().clear();  // the log keeps every line; keep memory flat
    fuzz::mirrorLogWhenAsked();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype cut = bytes.indexOf('\0');
    if (cut < 0) return 0;
    const DescriptorResult parsed = parseControlDescriptor(QString::fromUtf8(bytes.left(cut)),
                                                           kImageLine, QStringLiteral("Fuzz FX"));
    if (!parsed.ok()) return -1;  // not worth keeping: the window never sees it
    world->descriptor = *parsed.descriptor;

    // Each run starts from the same editor: nothing carried over from the last one.
    DeviceController& device = *world->device;
    device.reset();
    device.setSelectedEffect(QStringLiteral("Fuzz FX"), true);
    device.setPedalEffect(0x26, 1, QString());
    parameterSettings() = TParameterSettings();
    fuzz::ScriptedDriver& port = fuzz::openScriptedPort();
    port.script(QByteArray(), false);

    QString error;
    if (!world->window->openFor(QStringLiteral("Fuzz FX v1"), QPoint(400, 0), 420, &error))
        std::abort();  // the parser accepted it, so the window must take it

    fuzz::InputReader in(data + cut + 1, size - static_cast<std::size_t>(cut) - 1);
    for (int op = 0; op < 64 && !in.empty(); ++op) {
        switch (in.byte() % 4) {
            case 0: {
                QByteArray report(1, char(0xAA));
                report += in.bytes(4);
                world->window->ApplyControlReport(report);
                break;
            }
            case 1: {
                const int length = (in.byte() << 8) | in.byte();
                port.queueNow(in.bytes(static_cast<std::size_t>(length)));
                world->window->request_settings();
                d2xx().PurgeFTReceive();
                break;
            }
            case 2: {
                const int length = (in.byte() << 8) | in.byte();
                QFile file(world->prompt.presetPath);
                if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
                file.write(in.bytes(static_cast<std::size_t>(length)));
                file.close();
                world->window->menuLoadConfigurationClick();
                break;
            }
            case 3:
                world->window->btnAssignClick();
                break;
        }
        if (parameterSettings().param_values.size() > TControlDescriptor::kMaxParams) std::abort();
    }
    world->window->closeWindow();
    // What the event loop does between two user actions: controls closed with
    // deleteLater go now, not at the end of the process.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return 0;
}
