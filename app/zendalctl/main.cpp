// zendalctl: the editor's device and catalogue operations from a shell.
//   zendalctl [--port PATH | --serial SN | --virtual] [--verbose] COMMAND ...
// Exit status: 0 success, 1 device or protocol failure, 2 usage error.
#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>
#include <memory>
#include <optional>

#include "app/devices/Devices.h"
#include "app/zendalctl/Command.h"
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
    to.flush();
}

struct Choice {
    enum class Kind { First, Port, Serial, Virtual } kind = Kind::First;
    QString value;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zendalctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);

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
            return ctl::kOk;
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
    // The one connection; code not yet handed it reaches its port as d2xx().
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
            for (const auto& d : devices->hub().devices()) {
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
        connection.setLineSettings(FT_PARITY_NONE);
        if (!communication::OpenAndConfigure(serial)) {
            const QString why = port.driver().lastError();
            err << "zendalctl: cannot open " << serial;
            if (!why.isEmpty()) err << ": " << why;
            err << "\n";
            err.flush();
            return false;
        }
        return true;
    };

    ctl::Context context{args, out, err, openDevice, &connection};
    int status = command->run(context);
    out.flush();
    if (port.isOpen() && port.CloseFTDevice() != FT_OK && status == ctl::kOk) {
        status = ctl::kFailure;
    }
    port.setDriver(nullptr);
    port.setErrorSink({});
    Log::instance().setMirror({});
    err.flush();
    return status;
}
