// zendalctl's registry for the catalogue command tests (the tool has its own).
#include "app/zendalctl/Command.h"

namespace zendal::ctl {

namespace {
QList<CommandInfo>& registry() {
    static QList<CommandInfo> list;
    return list;
}
}  // namespace

void registerCommand(CommandInfo info) {
    registry().append(std::move(info));
}

const QList<CommandInfo>& commands() {
    return registry();
}

}  // namespace zendal::ctl
