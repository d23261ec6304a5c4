#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>

namespace zendal {
class PedalConnection;
}

// zendalctl's command table. Each group of commands lives in a file of its own
// and registers itself with a static ZendalctlCommand object.
namespace zendal::ctl {

enum ExitCode { kOk = 0, kFailure = 1, kUsage = 2 };

struct Context {
    QStringList args;  // the command's own arguments (after the command word)
    QTextStream& out;  // standard output
    QTextStream& err;  // standard error
    // Opens the device chosen by --port/--serial/--virtual (first device when
    // none was named) and configures it 115200 8N1. False (message on err) when
    // it cannot.
    std::function<bool()> openDevice;
    // The one link to the pedal; the commands talk through it.
    PedalConnection* connection = nullptr;
};

using Handler = std::function<int(Context&)>;

struct CommandInfo {
    QString name;   // first word, e.g. "live" or "firmware"
    QString usage;  // one line, e.g. "live on|off"
    Handler run;
};

void registerCommand(CommandInfo info);
const QList<CommandInfo>& commands();

// Registers at static-initialisation time.
struct Registration {
    explicit Registration(CommandInfo info) { registerCommand(std::move(info)); }
};

}  // namespace zendal::ctl
