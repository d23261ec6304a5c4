#include "shell/ui/OpenUrl.h"

#include <QDesktopServices>

#include "core/Log.h"

namespace zendal {

namespace {
std::function<void(const QUrl&)>& opener() {
    static std::function<void(const QUrl&)> f;
    return f;
}
bool& openerFails() {
    static bool fails = false;
    return fails;
}
}  // namespace

bool OpenURL(const QString& address) {
    const QUrl url(address);
    bool opened = false;
    if (opener()) {
        opener()(url);
        opened = !openerFails();
    } else {
        opened = QDesktopServices::openUrl(url);
    }
    if (!opened) DebugPrint(QStringLiteral("cannot open ") + address);
    return opened;
}

void setUrlOpenerForTesting(std::function<void(const QUrl&)> f) {
    opener() = std::move(f);
    if (!opener()) openerFails() = false;
}

void setUrlOpenerFailsForTesting(bool fails) {
    openerFails() = fails;
}

}  // namespace zendal
