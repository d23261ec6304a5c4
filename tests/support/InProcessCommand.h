#pragma once

#include <gtest/gtest.h>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include "app/zendalctl/Command.h"

// Runs one zendalctl command in this process on the given connection, as the
// program would (the device counts as opened). Only for test programs that
// link zendalctl's command library.
namespace zendal::test {

struct CommandRun {
    int code = -1;
    QString out;
    QString err;
};

inline CommandRun runCommand(PedalConnection& connection, const QString& command,
                             const QStringList& args) {
    CommandRun r;
    QTextStream o(&r.out), e(&r.err);
    ctl::Context ctx{args, o, e, [] { return true; }, &connection};
    for (const ctl::CommandInfo& info : ctl::commands())
        if (info.name == command) {
            r.code = info.run(ctx);
            o.flush();
            e.flush();
            return r;
        }
    ADD_FAILURE() << "no command " << command.toStdString();
    return r;
}

}  // namespace zendal::test
