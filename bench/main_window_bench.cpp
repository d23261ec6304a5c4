// The main window against the in-process virtual pedal, in real time:
//  1. upload of the catalogue's largest effect image with the pedal's
//     wire-time model on (115,200 baud): time from the click to "Upload
//     complete", against the time the bytes need on the wire;
//  2. CPU used by a linked, idle editor (the receive tick waiting for the
//     pedal), with the port's readiness descriptor and with 1 ms polling.
//  3. knob reports: a burst of 1,000 at wire speed (applied / sent) and
//     single reports from the pedal to the slider (p50, p99);
//  4. with --sim PROGRAM, single reports from the pedal simulator on a
//     pseudo-terminal to the slider (p50, p99), at two latency timers.
// Prints its figures; asserts nothing.
//   bench_main_window_bench [--sim PATH-TO-zendal-pedal-sim]
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "control/ui/TformMain.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "link/D2XXUnit.h"
#include "link/TermiosDriver.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"
#include "support/ScriptedPrompt.h"

using namespace zendal;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool runUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// The event loop as the editor runs it: asleep until something happens.
void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Editor {
    PedalConnection connection;
    DeviceController device{connection};
    VirtualPedal pedal;
    VirtualPedalDriver driver{pedal};
    test::ScriptedPrompt prompt;
    std::unique_ptr<TformMain> main;
    std::unique_ptr<TformFXParameters> params;

    explicit Editor(bool wireTime) {
        pedal.setWireTime(wireTime);
        connection.makeProcessPort();
        connection.unit().setDriver(&driver);
        main = std::make_unique<TformMain>(connection, device);
        params = std::make_unique<TformFXParameters>(device);
        main->attachParameterWindow(params.get());
        main->show();
        main->action(QStringLiteral("menuScan"))->trigger();
    }
    ~Editor() {
        params.reset();
        main.reset();
        if (connection.unit().isOpen()) connection.unit().CloseFTDevice();
        connection.unit().setDriver(nullptr);
    }
    QString status() const { return main->findChild<QLabel*>("lblStatus")->text(); }
};

void uploadLargest() {
    QString largest;
    int size = 0;
    for (int id = 1; id < kEffectIdCount; ++id) {
        const auto name = effect_name_by_id(id);
        if (!name || !categoryOf(*name)) continue;
        const int s = int(effect_image_text(*name).size() / 2);
        if (s > size && *categoryOf(*name) != QLatin1String("Impulse Response")) {
            size = s;
            largest = *name;
        }
    }
    Editor editor(true);
    editor.device.setCurrentCategory(*categoryOf(largest));
    editor.device.setSelectedEffectName(largest);
    std::printf("upload of \"%s\" (%d bytes), wire-time model on\n", qPrintable(largest), size);

    constexpr int kRuns = 5;
    double total = 0;
    for (int run = 0; run < kRuns; ++run) {
        editor.main->findChild<QLabel*>("lblStatus")->setText(QString());
        editor.prompt.answerConfirm(true);
        QElapsedTimer timer;
        timer.start();
        editor.main->btnUploadClick();
        if (!runUntil([&] { return editor.status() == QLatin1String("Upload complete"); }, 30000)) {
            std::printf("  run %d: no answer (%s)\n", run, qPrintable(editor.status()));
            return;
        }
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        total += ms;
        editor.main->findChild<QTimer*>("TimerAutoRequest")->stop();
        std::printf("  run %d: %.1f ms\n", run, ms);
        idle(300);
    }
    // On the wire: bypass (2 bytes), the image, the 15-byte answer; plus the
    // fixed 40 ms pause after the bypass message.
    const double wireMs = double(2 + size + 15) * VirtualPedal::kByteNs8N1 / 1e6 + 40.0;
    const double mean = total / kRuns;
    std::printf("  mean %.1f ms, wire time + fixed pause %.1f ms, ratio %.3f\n", mean, wireMs,
                mean / wireMs);
}

// Knob reports from the pedal to the parameter window: a burst of 1,000 at wire
// speed (all applied?), then single reports one at a time (report -> slider).
void knobReports() {
    Editor editor(true);
    if (!runUntil([&] { return editor.params->isBuilt() && !editor.device.requestInProgress(); },
                  30000)) {
        std::printf("knob reports: the parameter window was not built\n");
        return;
    }
    auto* slider = editor.params->findChild<QSlider*>();
    if (!slider) return;
    idle(3000);  // the settings request after linking has run its course
    int moves = 0;
    QObject::connect(slider, &QSlider::valueChanged, [&] { ++moves; });
    constexpr int kBurst = 1000;
    const int start = slider->value();
    for (int i = 1; i <= kBurst; ++i) editor.pedal.turnKnob(0, 0, (start + i) % 1024);
    runUntil([&] { return moves >= kBurst; }, 10000);
    std::printf("burst of %d knob reports at wire speed: applied/sent %.3f\n", kBurst,
                double(moves) / kBurst);

    constexpr int kSingles = 200;
    std::vector<double> ms;
    for (int i = 0; i < kSingles; ++i) {
        const int value = (slider->value() + 7) % 1024;
        QElapsedTimer timer;
        timer.start();
        editor.pedal.turnKnob(0, 0, value);
        if (!runUntil([&] { return slider->value() == value; }, 5000)) break;
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    const double wire = 5.0 * VirtualPedal::kByteNs8N1 / 1e6;
    std::printf("knob report -> slider, %zu reports: p50 %.2f ms, p99 %.2f ms (wire %.2f ms)\n",
                ms.size(), ms[ms.size() / 2], ms[ms.size() * 99 / 100], wire);
}

// The same single reports from the pedal simulator, a separate process serving
// a pseudo-terminal: the editor links to it as to a serial port, and the knob is
// turned through the simulator's command input.
void knobReportsOverPty(const QString& simProgram, int latencyMs) {
    QProcess sim;
    sim.setProgram(simProgram);
    sim.setArguments({"--commands", "--latency", QString::number(latencyMs)});
    sim.start();
    QString path;
    if (sim.waitForStarted(5000) && sim.waitForReadyRead(5000))
        path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    if (path.isEmpty()) {
        std::printf("knob reports over the pseudo-terminal: the simulator did not start\n");
        return;
    }
    {
        PedalConnection connection;
        DeviceController device(connection);
        TermiosDriver::Options options;
        options.scanSystemPorts = false;
        options.extraPorts = {path};
        TermiosDriver driver(options);
        test::ScriptedPrompt prompt;
        connection.makeProcessPort();
        connection.unit().setDriver(&driver);
        TformMain main(connection, device);
        TformFXParameters params(device);
        main.attachParameterWindow(&params);
        main.show();
        main.action(QStringLiteral("menuScan"))->trigger();
        auto* slider =
            runUntil([&] { return params.isBuilt() && !device.requestInProgress(); }, 30000)
                ? params.findChild<QSlider*>()
                : nullptr;
        if (!slider) {
            std::printf(
                "knob reports over the pseudo-terminal: the parameter window was not built\n");
        } else {
            idle(3000);  // the settings request after linking has run its course
            constexpr int kSingles = 200;
            std::vector<double> ms;
            for (int i = 0; i < kSingles; ++i) {
                const int value = (slider->value() + 7) % 1024;
                QElapsedTimer timer;
                timer.start();
                sim.write(QStringLiteral("knob 0 0 %1\n").arg(value).toLatin1());
                if (!runUntil([&] { return slider->value() == value; }, 5000)) break;
                ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
            if (!ms.empty()) {
                std::sort(ms.begin(), ms.end());
                const double wire = 5.0 * VirtualPedal::kByteNs8N1 / 1e6;
                std::printf(
                    "knob report -> slider over the pseudo-terminal, latency timer %d ms, %zu "
                    "reports: p50 %.2f ms, p99 %.2f ms (wire %.2f ms)\n",
                    latencyMs, ms.size(), ms[ms.size() / 2], ms[ms.size() * 99 / 100], wire);
            }
        }
        if (connection.unit().isOpen()) connection.unit().CloseFTDevice();
        connection.unit().setDriver(nullptr);
    }
    sim.closeWriteChannel();
    if (!sim.waitForFinished(3000)) {
        sim.terminate();
        sim.waitForFinished(3000);
    }
}

void idleCpu(bool wireTime, int seconds) {
    Editor editor(wireTime);
    Log::instance().clear();
    // The start-up version check (TLS set-up, a refused connection) is not the
    // receive tick: let it run its course before measuring.
    idle(3000);
    const double before = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    idle(seconds * 1000);
    const double used = cpuSeconds() - before;
    const double wall = double(timer.elapsed()) / 1000.0;
    std::printf("idle linked editor, %s: %.2f %% of a core over %.1f s\n",
                wireTime ? "1 ms polling (no readiness descriptor)"
                         : "woken by the port's readiness descriptor",
                100.0 * used / wall, wall);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("ZENDAL_WEB_BASE", "https://127.0.0.1:9");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Log::instance().setMirror({});
    QString simProgram;
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--sim"));
    if (at >= 0 && at + 1 < args.size()) simProgram = args.at(at + 1);
    uploadLargest();
    knobReports();
    if (!simProgram.isEmpty()) {
        knobReportsOverPty(simProgram, 1);
        knobReportsOverPty(simProgram, 16);
    }
    idleCpu(false, 10);
    idleCpu(true, 10);
    return 0;
}
