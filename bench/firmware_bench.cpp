// Firmware upgrade speed on the timed virtual bootloader behind a
// pseudo-terminal (zendal-pedal-sim --bootloader --wire-time --latency 1):
//  - the editor's sequence (connect, erase, write, variant record, [read back],
//    Go) against the physical floor of the same exchanges at 115200 baud 8E1
//    with the model's flash timings;
//  - the same against Debian's stm32flash on the same simulator, same verify
//    setting (stm32flash erases page by page, the editor erases the whole
//    flash at once);
//  - recovery of a pedal left with half an image by an editor that ended
//    mid-write (its bootloader still connected): find the bootloader, refuse
//    Go, write and verify Firmware_5, Go; against its own floor.
// Usage: bench_firmware_bench [--runs N] [--sim PATH]
// It measures; it asserts nothing. The machine's load shows in the figures:
// every exchange needs both processes scheduled.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

#include "firmware/UpgradeSequence.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "link/TermiosDriver.h"
#include "protocol/PedalConnection.h"
#include "resources/ResourceStore.h"
#include "sim/VirtualBootloader.h"
#include "sim/VirtualPedal.h"

using namespace zendal;

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

// Bytes of one Read Memory of n bytes: command, ACK, address, ACK, length, ACK, data.
constexpr double readBytes(int n) {
    return 2 + 1 + 5 + 1 + 2 + 1 + n;
}

// Seconds the exchanges of our sequence need on the wire and in the flash.
double floorSeconds(const QByteArray& image, bool verify) {
    const double byteNs = double(VirtualPedal::kByteNs8E1);
    double bytes = 2;  // 7F, ACK
    double busyNs = VirtualBootloader::kMassEraseNs;
    bytes += 2 + 1 + 2 + 1;  // erase: 43 BC, ACK, FF 00, ACK
    const int size = static_cast<int>(image.size());
    for (int at = 0; at < size; at += 256) {
        const int n = std::min(256, size - at);
        bytes += 2 + 1 + 5 + 1 + (n + 2) + 1;
        busyNs += VirtualBootloader::kHalfWordProgramNs * ((n + 1) / 2);
    }
    bytes += 2 + 1 + 5 + 1 + 10 + 1;  // variant record
    busyNs += VirtualBootloader::kHalfWordProgramNs * 4;
    if (verify) {
        bytes += 2 + 15;  // GET and its answer
        for (int at = 0; at < size; at += 256)
            bytes += 2 + 1 + 5 + 1 + 2 + 1 + std::min(256, size - at);
        bytes += readBytes(8);  // the variant record read back
    }
    bytes += 2 * readBytes(8);  // before Go: the vector table and the variant record
    bytes += 2 + 1 + 5 + 1;     // Go
    return (bytes * byteNs + busyNs) / 1e9;
}

class Simulator {
  public:
    explicit Simulator(const QString& program) {
        process_.setProgram(program);
        // A 1 ms latency timer, as the editor sets on a real adapter: a pseudo-terminal
        // cannot carry that request, and with the adapter's default 16 ms every one-byte
        // acknowledge would wait for the timer (the floor counts only the wire).
        process_.setArguments(
            {"--bootloader", "--wire-time", "--latency", "1", "--exit-on-stdin-eof"});
        process_.start();
        if (process_.waitForStarted(5000) && process_.waitForReadyRead(5000))
            path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~Simulator() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000)) {
            process_.terminate();
            process_.waitForFinished(3000);
        }
    }
    QString path() const { return path_; }

  private:
    QProcess process_;
    QString path_;
};

// Seconds for our sequence, or a negative number when it failed.
double runOurs(const QString& simProgram, bool verify) {
    Simulator sim(simProgram);
    if (sim.path().isEmpty()) return -1;
    TermiosDriver::Options options;
    options.scanSystemPorts = false;
    options.extraPorts = {sim.path()};
    TermiosDriver driver(options);
    PedalConnection connection;
    connection.makeProcessPort();  // the link's open-and-configure reaches it
    D2XXUnit& port = connection.unit();
    port.setDriver(&driver);
    connection.setLineSettings(FT_PARITY_NONE);
    if (!communication::OpenAndConfigure(sim.path())) return -1;

    QElapsedTimer timer;
    timer.start();
    firmware::UpgradeSequence sequence(connection);
    bool ok = sequence.client().connect().ok();
    if (ok) ok = sequence.runNamed("Firmware_5", 5, firmware::UpgradeOptions{verify}).ok();
    if (ok) ok = sequence.leaveBootloader().ok();
    const double seconds = timer.nsecsElapsed() / 1e9;
    port.CloseFTDevice();
    port.setDriver(nullptr);
    return ok ? seconds : -1;
}

// Recovery: an editor wrote half of Firmware_5 and ended (no Go, the
// bootloader still connected). Seconds from the new connection to the pedal
// running again, or a negative number when it failed.
double runRecovery(const QString& simProgram) {
    Simulator sim(simProgram);
    if (sim.path().isEmpty()) return -1;
    TermiosDriver::Options options;
    options.scanSystemPorts = false;
    options.extraPorts = {sim.path()};
    TermiosDriver driver(options);
    PedalConnection connection;
    connection.makeProcessPort();  // the link's open-and-configure reaches it
    D2XXUnit& port = connection.unit();
    port.setDriver(&driver);
    connection.setLineSettings(FT_PARITY_NONE);
    if (!communication::OpenAndConfigure(sim.path())) return -1;
    bool ok = false;
    {
        firmware::UpgradeSequence first(connection);
        ok = first.client().connect().ok();
        if (ok) {
            const auto half = [&first](firmware::UpgradePhase, int index, int count) {
                if (index == count / 2) first.cancel();
            };
            ok = first.runNamed("Firmware_5", 5, firmware::UpgradeOptions{false}, half).status ==
                 firmware::UpgradeResult::Status::Cancelled;
        }
    }
    port.CloseFTDevice();
    if (ok) ok = communication::OpenAndConfigure(sim.path());

    QElapsedTimer timer;
    timer.start();
    firmware::UpgradeSequence second(connection);
    second.flashUnknown();
    if (ok) {
        ok = second.client()
                 .connect(firmware::BootloaderClient::ConnectMode::AcceptAlreadyConnected)
                 .ok();
    }
    // Go is refused over half an image; then the image, verified, and Go.
    if (ok) ok = !second.leaveBootloader().ok();
    if (ok) ok = second.runNamed("Firmware_5", 5, firmware::UpgradeOptions{true}).ok();
    if (ok) ok = second.leaveBootloader().ok();
    const double seconds = timer.nsecsElapsed() / 1e9;
    port.CloseFTDevice();
    port.setDriver(nullptr);
    return ok ? seconds : -1;
}

// The recovery's floor: 7F unanswered, one clearing byte and its NACK, GET,
// the two reads that refuse Go, then a verified write and Go.
double recoveryFloorSeconds(const QByteArray& image) {
    const double extraBytes = 1 + 1 + 1 + 2 + 15 + 2 * readBytes(8);
    return floorSeconds(image, true) + extraBytes * double(VirtualPedal::kByteNs8E1) / 1e9 -
           (2 * double(VirtualPedal::kByteNs8E1)) / 1e9;  // no 7F/ACK pair of a fresh connection
}

double runStm32flash(const QString& simProgram, const QString& tool, const QString& imagePath,
                     bool verify) {
    Simulator sim(simProgram);
    if (sim.path().isEmpty()) return -1;
    QStringList args{"-b", "115200", "-m", "8n1", "-w", imagePath};
    if (verify) args << "-v";
    args << "-g"
         << "0x08000000" << sim.path();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    p.start(tool, args);
    if (!p.waitForFinished(120000)) return -1;
    const double seconds = timer.nsecsElapsed() / 1e9;
    return p.exitCode() == 0 ? seconds : -1;
}

double median(QList<double> v) {
    v.removeIf([](double x) { return x < 0; });
    if (v.isEmpty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 3;
    QString simProgram =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../sim/zendal-pedal-sim");
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--runs") runs = std::max(1, args[i + 1].toInt());
        if (args[i] == "--sim") simProgram = args[i + 1];
    }
    if (!QFile::exists(simProgram)) {
        out() << "zendal-pedal-sim not found at " << simProgram << " (use --sim PATH)\n";
        return 1;
    }
    const QByteArray image = ResourceStore::instance().read("Firmware_5").value_or(QByteArray());
    if (image.isEmpty()) {
        out() << "Firmware_5 is missing from the catalogue\n";
        return 1;
    }
    QTemporaryDir dir;
    const QString imagePath = dir.filePath("Firmware_5.bin");
    {
        QFile f(imagePath);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size()) return 1;
    }
    const QString tool = QStandardPaths::findExecutable("stm32flash");

    out() << "Firmware_5 (" << image.size() << " bytes) on zendal-pedal-sim --bootloader "
          << "--wire-time --latency 1, median of " << runs << " runs\n";
    for (bool verify : {false, true}) {
        QList<double> ours, theirs;
        for (int r = 0; r < runs; ++r) {
            ours << runOurs(simProgram, verify);
            if (!tool.isEmpty()) theirs << runStm32flash(simProgram, tool, imagePath, verify);
        }
        const double floor = floorSeconds(image, verify);
        const double o = median(ours);
        const double t = median(theirs);
        out() << (verify ? "with verify:    " : "without verify: ");
        if (o < 0) {
            out() << "the editor's sequence failed\n";
            continue;
        }
        out() << QString::asprintf("editor %.2f s, floor %.2f s, editor/floor %.3f", o, floor,
                                   o / floor);
        if (t > 0) {
            out() << QString::asprintf(", stm32flash %.2f s, editor/stm32flash %.3f", t, o / t);
        } else {
            out() << (tool.isEmpty() ? ", stm32flash not installed" : ", stm32flash failed");
        }
        out() << "\n";
        out().flush();
    }
    QList<double> recoveries;
    for (int r = 0; r < runs; ++r) recoveries << runRecovery(simProgram);
    const double recovery = median(recoveries);
    const double recoveryFloor = recoveryFloorSeconds(image);
    if (recovery < 0) {
        out() << "recovery from half an image: failed\n";
    } else {
        out() << QString::asprintf(
            "recovery from half an image: editor %.2f s, floor %.2f s, editor/floor %.3f\n",
            recovery, recoveryFloor, recovery / recoveryFloor);
    }
    return 0;
}
