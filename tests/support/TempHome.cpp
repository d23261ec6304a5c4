#include "support/TempHome.h"

#include <QDir>
#include <QStandardPaths>

namespace zendal::test {

TempHome::TempHome()
    : oldHome_(qgetenv("HOME")),
      oldDocuments_(qgetenv("XDG_DOCUMENTS_DIR")),
      oldData_(qgetenv("XDG_DATA_HOME")),
      oldConfig_(qgetenv("XDG_CONFIG_HOME")) {
    QStandardPaths::setTestModeEnabled(false);
    qputenv("HOME", dir_.path().toUtf8());
    QDir(dir_.path()).mkpath(QStringLiteral("Documents"));
    qputenv("XDG_DOCUMENTS_DIR", documents().toUtf8());
    qputenv("XDG_DATA_HOME", (dir_.path() + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (dir_.path() + QStringLiteral("/.config")).toUtf8());
}

TempHome::~TempHome() {
    qputenv("HOME", oldHome_);
    qputenv("XDG_DOCUMENTS_DIR", oldDocuments_);
    qputenv("XDG_DATA_HOME", oldData_);
    qputenv("XDG_CONFIG_HOME", oldConfig_);
}

QString TempHome::documents() const {
    return dir_.path() + QStringLiteral("/Documents");
}

}  // namespace zendal::test
