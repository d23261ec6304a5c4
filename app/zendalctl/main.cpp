// zendalctl: the editor's device and catalogue operations from a shell.
//   zendalctl [--port PATH | --serial SN | --virtual] [--verbose] COMMAND ...
// Exit status: 0 success, 1 failure (device, protocol, file, standard output),
// 2 usage error (nothing reaches the pedal).
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "app/devices/Devices.h"
#include "app/zendalctl/Command.h"
#include "core/FileIo.h"
#include "core/Log.h"
#include "link/Communication.h"
#include "link/D2XXUnit.h"
#include "link/TermiosDriver.h"
#include "protocol/PedalConnection.h"

using namespace zendal;

namespace {

void printUsage(QTextStream& to) {
    to << "usage: zendalctl [--port PATH | --serial SN | --virtual] [--verbose] COMMAND ...\n"
       << "  --port PATH   use the serial port at PATH (a tty or pseudo-terminal)\n"
       << "  --serial SN   use the listed device with serial number SN\n"
       << "  --virtual     use the in-process virtual pedal\n"
       << "  --verbose     copy the editor's log to standard error\n"
       << "  (default: the first listed device)\n"
       << "commands:\n";
    QList<ctl::CommandInfo> sorted = ctl::commands();
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const auto& command : sorted) to << "  " << command.usage << "\n";
    to << "EFFECT: the display or resource name in any case, or the id in hexadecimal (0x2B or "
          "2B)\n"
       << "assign: a parameter on a knob (KI..KV), button (B1..B3), footswitch (FS, FL), remote\n"
       << "        (RMT) or expression pedal (EXP); a readback on an LED; -- takes it off\n";
    to.flush();
}

struct Choice {
    enum class Kind { First, Port, Serial, Virtual } kind = Kind::First;
    QString value;
};

// Drawing (ir --plot) needs fonts, and fonts need a GUI application.
bool drawsPictures(int argc, char** argv) {
    return std::any_of(argv + 1, argv + argc,
                       [](const char* a) { return std::strcmp(a, "--plot") == 0; });
}

}  // namespace

int main(int argc, char** argv) {
    // zendalctl never shows a window: the offscreen platform draws without a
    // display.
    std::unique_ptr<QCoreApplication> app;
    if (drawsPictures(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("zendalctl"));
    // Standard output is checked: "> file" on a full disk must not end in 0.
    fileio::ignoreFileSizeSignal();
    fileio::StandardOutput standardOutput;
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    auto finish = [&](int status) {
        out.flush();
        if (!standardOutput.failed()) return status;
        err << "zendalctl: cannot write to standard output: " << standardOutput.failure() << "\n";
        return static_cast<int>(ctl::kFailure);
    };

    QStringList args = QCoreApplication::arguments().mid(1);
    Choice choice;
    bool chosen = false;
    bool verbose = false;
    auto usageError = [&](const QString& message) {
        if (!message.isEmpty()) err << "zendalctl: " << message << "\n";
        printUsage(err);
        return ctl::kUsage;
    };
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--help")) {
            printUsage(out);
            return finish(ctl::kOk);
        }
        if (option == QLatin1String("--verbose")) {
            verbose = true;
            continue;
        }
        Choice next;
        if (option == QLatin1String("--virtual")) {
            next.kind = Choice::Kind::Virtual;
        } else if (option == QLatin1String("--port") || option == QLatin1String("--serial")) {
            if (args.isEmpty() || args.first().isEmpty()) {
                return usageError(option + QStringLiteral(" needs a value"));
            }
            next.kind =
                option == QLatin1String("--port") ? Choice::Kind::Port : Choice::Kind::Serial;
            next.value = args.takeFirst();
        } else {
            return usageError(QStringLiteral("unknown option ") + option);
        }
        if (chosen) return usageError(QStringLiteral("choose one of --port, --serial, --virtual"));
        choice = next;
        chosen = true;
    }
    if (args.isEmpty()) return usageError(QStringLiteral("no command given"));
    const QString word = args.takeFirst();
    const auto& table = ctl::commands();
    const auto command =
        std::find_if(table.begin(), table.end(), [&](const auto& c) { return c.name == word; });
    if (command == table.end()) return usageError(QStringLiteral("unknown command ") + word);

    if (verbose) {
        Log::instance().setMirror([&err](const QString& line) {
            err << line << "\n";
            err.flush();
        });
    }
    // The one connection; code not yet handed it reaches the same port module.
    PedalConnection connection;
    connection.makeProcessPort();
    D2XXUnit& port = connection.unit();
    port.ShowFTErrors = true;
    port.setErrorSink([&err](const QString& text) {
        err << text << "\n";
        err.flush();
    });

    // --port talks to that one path through the kernel's serial driver; the
    // rest go through the device list the editor uses.
    std::unique_ptr<TermiosDriver> single;
    std::unique_ptr<Devices> devices;
    if (choice.kind == Choice::Kind::Port) {
        TermiosDriver::Options options;
        options.scanSystemPorts = false;
        options.extraPorts = {choice.value};
        single = std::make_unique<TermiosDriver>(options);
        port.setDriver(single.get());
    } else {
        devices = std::make_unique<Devices>();
        if (choice.kind == Choice::Kind::Virtual) devices->setVirtualPedalEnabled(true);
        devices->installInto(port);
    }

    auto openDevice = [&]() -> bool {
        QString serial = choice.value;
        if (choice.kind == Choice::Kind::Virtual) {
            for (const DeviceEntry& d : devices->hub().listDevices().devices) {
                if (d.backend == QLatin1String("virtual"))
                    serial = QString::fromLocal8Bit(d.serial);
            }
        } else if (choice.kind == Choice::Kind::First) {
            const auto listed = communication::ListAttachedDevices();
            if (listed.isEmpty()) {
                err << "zendalctl: no device found\n";
                return false;
            }
            serial = QString::fromLocal8Bit(listed.first().serial);
        }
        if (choice.kind == Choice::Kind::Port && !QFileInfo::exists(choice.value)) {
            err << "zendalctl: cannot open " << choice.value << ": no such port\n";
            err.flush();
            return false;
        }
        connection.setLineSettings(FT_PARITY_NONE);
        if (!communication::OpenAndConfigure(serial)) {
            const QString why = port.driver().lastError();
            err << "zendalctl: cannot open " << serial;
            // Shown failures carry the reason already, beside the status text.
            if (!why.isEmpty() && !port.ShowFTErrors) err << ": " << why;
            err << "\n";
            err.flush();
            return false;
        }
        return true;
    };

    ctl::Context context{args, out, err, openDevice, &connection};
    int status = finish(command->run(context));
    if (port.isOpen() && port.CloseFTDevice() != FT_OK && status == ctl::kOk) {
        status = ctl::kFailure;
    }
    port.setDriver(nullptr);
    port.setErrorSink({});
    Log::instance().setMirror({});
    err.flush();
    return status;
}
