// CPU cost of a process linked to the in-process virtual pedal while nothing
// happens: (0) not linked, watching the device list for a pedal plugged in,
// (1) a receive loop that sleeps until bytes arrive, (2) a 1 ms receive tick,
// (3) the tick woken by PortReadyWatcher instead, (3b) the same with the
// device list watched, as in the editor, (4) waiting for a reply that never
// comes (ReceiveText with a silent pedal). Prints % of one core (getrusage
// over wall time). Goals: idle <= 0.5 %, waiting <= 2 %.
//   bench_link_idle_cpu [--seconds N]   (N per phase, default 10)
#include <sys/resource.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "app/devices/Devices.h"
#include "core/Clock.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "link/DeviceHub.h"
#include "link/FrameCodec.h"
#include "link/PortReadyWatcher.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"

using namespace zendal;

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

double wallSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

template <typename F>
void measure(const char* what, double goalPercent, F&& phase) {
    const double cpu0 = cpuSeconds();
    const double wall0 = wallSeconds();
    phase();
    const double cpu = cpuSeconds() - cpu0;
    const double wall = wallSeconds() - wall0;
    const double percent = wall > 0 ? 100.0 * cpu / wall : 0;
    std::printf("%-44s %6.2f %% of a core over %5.1f s  (goal <= %.1f %%: %s)\n", what, percent,
                wall, goalPercent, percent <= goalPercent ? "met" : "NOT met");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int seconds = 10;
    const QStringList args = QCoreApplication::arguments();
    const auto at = args.indexOf(QStringLiteral("--seconds"));
    if (at >= 0 && at + 1 < args.size()) seconds = std::max(1, args[at + 1].toInt());

    qputenv("ZENDAL_FTD2XX_LIBRARY", "");
    PedalConnection connection;
    connection.makeProcessPort();
    Devices devices;
    devices.setVirtualPedalEnabled(true);
    devices.installInto(d2xx());
    d2xx().setErrorSink(
        [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    // As the editor does: the kernel's folders and a device list change told.
    int listChanges = 0;
    QObject::connect(&devices.hub(), &DeviceHub::devicesChanged, [&listChanges] { ++listChanges; });
    if (!devices.watchForChanges()) std::fprintf(stderr, "no inotify: device list not watched\n");
    measure("not linked, watching the device list", 0.5, [&] {
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        app.exec();
    });
    devices.hub().watchKernelDevices({});

    communication::SetPortParameters(FT_PARITY_NONE);
    if (!communication::OpenAndConfigure(QStringLiteral("ZVP00001"))) {
        std::fprintf(stderr, "cannot open the virtual pedal\n");
        return 1;
    }
    D2XXUnit& port = d2xx();

    measure("idle, receive loop sleeping on readiness", 0.5, [&] {
        Clock& c = zendal::clock();
        const qint64 end = c.nowMs() + seconds * 1000;
        for (qint64 left = end - c.nowMs(); left > 0; left = end - c.nowMs()) {
            if (WaitForFirstByte(int(left)) == WaitOutcome::Ok) port.ReadFTDevice();
        }
    });

    measure("idle, 1 ms receive tick (Timer_USB_read)", 0.5, [&] {
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (port.GetFTQueueStatus() == FT_OK) port.ReadFTDevice();
        });
        tick.start();
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        app.exec();
    });

    measure("idle, receive tick woken by PortReadyWatcher", 0.5, [&] {
        PortReadyWatcher watcher;
        QObject::connect(&watcher, &PortReadyWatcher::ready, [&] {
            if (port.GetFTQueueStatus() == FT_OK) port.ReadFTDevice();
        });
        watcher.start();
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        app.exec();
    });

    devices.watchForChanges();
    measure("linked, ready-woken tick, device list watched", 0.5, [&] {
        PortReadyWatcher watcher;
        QObject::connect(&watcher, &PortReadyWatcher::ready, [&] {
            if (port.GetFTQueueStatus() == FT_OK) port.ReadFTDevice();
        });
        watcher.start();
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        app.exec();
    });
    std::printf("device list changes told meanwhile: %d\n", listChanges);

    devices.virtualPedal().setSilentOn(0x06);
    measure("waiting for a reply that never comes", 2.0, [&] {
        const double end = wallSeconds() + seconds;
        while (wallSeconds() < end) queryPedalInfo(connection);
    });

    port.CloseFTDevice();
    return 0;
}
