#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QTemporaryDir>

// Widgets run on the offscreen platform; no display is needed. HOME points at
// a throw-away folder so that no test can reach the real documents folder.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ZENDAL_TEST", "1");
    // Tests use the embedded demonstration catalogue unless they install one themselves.
    qunsetenv("ZENDAL_CATALOGUE_DIR");
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
    // The description window's web view, where the editor is built with one,
    // needs shared OpenGL contexts and, as root, no Chromium sandbox; both must
    // be set before the application exists and change nothing for other tests.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
