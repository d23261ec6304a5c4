#include "app/zendalctl/Command.h"

namespace zendal::ctl {

namespace {
// A function-local table: command files register during static
// initialisation, in whatever order the linker chose.
QList<CommandInfo>& table() {
    static QList<CommandInfo> list;
    return list;
}
}  // namespace

void registerCommand(CommandInfo info) {
    table().append(std::move(info));
}

const QList<CommandInfo>& commands() {
    return table();
}

}  // namespace zendal::ctl
