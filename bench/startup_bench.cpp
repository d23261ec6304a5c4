// Start-up of the editor, offscreen: from the start of main() until the main
// window receives its first paint event, and the process's peak resident
// memory (VmHWM) at that moment. The windows are made as the editor makes them;
// HOME points at a throw-away folder and the version check at a closed
// loopback port, so nothing outside the process is touched.
// With --bare, an empty main window in the same application instead: the
// toolkit's own share, to set the editor's figures against.
// Prints one line: "startup_ms <ms> peak_kb <kB>". It measures; it asserts nothing.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "control/ui/TformMain.h"
#include "link/D2XXUnit.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "shell/ui/ServiceTools.h"
#include "shell/ui/TformPrint.h"

namespace {

long peakKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

class FirstPaint : public QObject {
  public:
    explicit FirstPaint(const QElapsedTimer& since) : since_(since) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            ms_ = since_.nsecsElapsed() / 1e6;
            kb_ = peakKb();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }
    bool done_ = false;
    double ms_ = 0;
    long kb_ = 0;

  private:
    const QElapsedTimer& since_;
};

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer since;
    since.start();
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("ZENDAL_WEB_BASE", "https://127.0.0.1:9");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    using namespace zendal;
    PedalConnection connection;  // no devices: start-up only
    connection.makeProcessPort();

    FirstPaint probe(since);
    if (app.arguments().contains(QStringLiteral("--bare"))) {
        QMainWindow bare;
        bare.resize(400, 392);
        bare.installEventFilter(&probe);
        bare.show();
        QTimer::singleShot(30000, &app, &QCoreApplication::quit);
        app.exec();
        std::printf("startup_ms %.1f peak_kb %ld\n", probe.ms_, probe.done_ ? probe.kb_ : peakKb());
        return probe.done_ ? 0 : 1;
    }
    DeviceController device(connection);
    TformMain main(connection, device);
    TformPrint console;
    console.setServicePanel(new ServiceToolsPanel);
    main.attachConsole(&console);
    TformFXParameters parameters(device);
    main.attachParameterWindow(&parameters);
    main.installEventFilter(&probe);
    main.show();
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);  // no paint at all: give up
    app.exec();
    if (!probe.done_) {
        std::printf("startup_ms none peak_kb %ld\n", peakKb());
        return 1;
    }
    std::printf("startup_ms %.1f peak_kb %ld\n", probe.ms_, probe.kb_);
    return 0;
}
