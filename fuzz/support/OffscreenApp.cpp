#include "fuzz/support/OffscreenApp.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

// fontconfig drops a few bytes once, the first time a window lays out text.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

namespace zendal::fuzz {

QString startOffscreenApplication(int* argc, char*** argv) {
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/zendal-fuzz-XXXXXX"));
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ZENDAL_WEB_BASE", "https://127.0.0.1:9");
    // Never destroyed: tearing the application down in the exit handlers
    // crashes inside Qt's thread storage.
    new QApplication(*argc, *argv);
    return home.path();
}

}  // namespace zendal::fuzz
