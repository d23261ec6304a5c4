#include "shell/ui/OpenUrl.h"

#include <QDesktopServices>

#include "core/Log.h"

namespace zendal {

namespace {
std::function<void(const QUrl&)>& opener() {
    static std::function<void(const QUrl&)> f;
    return f;
}
}  // namespace

void OpenURL(const QString& address) {
    const QUrl url(address);
    if (opener()) {
        opener()(url);
        return;
    }
    if (!QDesktopServices::openUrl(url)) DebugPrint(QStringLiteral("cannot open ") + address);
}

void setUrlOpenerForTesting(std::function<void(const QUrl&)> f) {
    opener() = std::move(f);
}

}  // namespace zendal
