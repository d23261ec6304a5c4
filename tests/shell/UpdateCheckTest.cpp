#include <gtest/gtest.h>

#include "Printers.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/Log.h"
#include "shell/SettingsFiles.h"
#include "shell/VersionCheck.h"
#include "shell/VersionCheckTestHook.h"
#include "shell/ui/OpenUrl.h"
#include "shell/ui/TformNewVersionMsg.h"
#include "shell/ui/UpdateCheck.h"
#include "support/ScriptedPrompt.h"
#include "support/TempHome.h"

using namespace zendal;

namespace {

constexpr int kGenerousMs = 30000;
constexpr int kWaitMs = 90000;

bool waitUntil(const std::function<bool()>& done, int limitMs = kWaitMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > limitMs) return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Test CA, a server certificate it signed, a self-signed impostor, and the
// loopback server that uses them. Made once for the whole suite.
struct ServerFixture {
    QTemporaryDir dir;
    QProcess server;
    int trusted = 0, untrusted = 0, plain = 0;
    QString skipReason;

    bool run(const QString& program, const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(program, args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            skipReason = program + QStringLiteral(" failed: ") +
                         QString::fromLocal8Bit(p.readAllStandardError());
            return false;
        }
        return true;
    }

    ServerFixture() {
        const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (openssl.isEmpty() || python.isEmpty()) {
            skipReason = QStringLiteral("openssl or python3 is not installed");
            return;
        }
        const QStringList ec = {
            QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        QFile ext(dir.filePath(QStringLiteral("ext.cnf")));
        ext.open(QIODevice::WriteOnly);
        ext.write(
            "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
            "keyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n");
        ext.close();
        auto q = [](const char* text) { return QString::fromLatin1(text); };
        if (!run(openssl,
                 QStringList{q("req"), q("-x509")} + ec +
                     QStringList{q("-keyout"), q("ca.key"), q("-out"), q("ca.pem"), q("-days"),
                                 q("2"), q("-subj"), q("/CN=Zendal Test CA"), q("-addext"),
                                 q("basicConstraints=critical,CA:TRUE"), q("-addext"),
                                 q("keyUsage=critical,keyCertSign,cRLSign")}) ||
            !run(openssl, QStringList{q("req"), q("-new")} + ec +
                              QStringList{q("-keyout"), q("server.key"), q("-out"), q("server.csr"),
                                          q("-subj"), q("/CN=127.0.0.1")}) ||
            !run(openssl, {q("x509"), q("-req"), q("-in"), q("server.csr"), q("-CA"), q("ca.pem"),
                           q("-CAkey"), q("ca.key"), q("-CAcreateserial"), q("-out"),
                           q("server.pem"), q("-days"), q("2"), q("-extfile"), q("ext.cnf")}) ||
            !run(openssl, QStringList{q("req"), q("-x509")} + ec +
                              QStringList{q("-keyout"), q("rogue.key"), q("-out"), q("rogue.pem"),
                                          q("-days"), q("2"), q("-subj"), q("/CN=127.0.0.1"),
                                          q("-addext"), q("subjectAltName=IP:127.0.0.1")})) {
            return;
        }
        const QString ports = dir.filePath(QStringLiteral("ports.json"));
        server.start(python, {QStringLiteral(ZENDAL_VERSION_SERVER), dir.filePath(q("server.pem")),
                              dir.filePath(q("server.key")), dir.filePath(q("rogue.pem")),
                              dir.filePath(q("rogue.key")), ports, hitsFile()});
        if (!server.waitForStarted(30000) ||
            !waitUntil(
                [&] { return QFile::exists(ports) || server.state() == QProcess::NotRunning; },
                60000) ||
            !QFile::exists(ports)) {
            skipReason = QStringLiteral("the loopback server did not start: ") +
                         QString::fromLocal8Bit(server.readAllStandardError());
            return;
        }
        QFile f(ports);
        f.open(QIODevice::ReadOnly);
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        trusted = o.value(q("trusted")).toInt();
        untrusted = o.value(q("untrusted")).toInt();
        plain = o.value(q("plain")).toInt();
    }

    ~ServerFixture() {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(10000);
        }
    }

    QString caFile() const { return dir.filePath(QStringLiteral("ca.pem")); }
    QString hitsFile() const { return dir.filePath(QStringLiteral("plain-hits.txt")); }
};

class ShellUpdateCheck : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        for (const char* var :
             {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            qunsetenv(var);
        }
        fixture_ = new ServerFixture;
        if (fixture_->skipReason.isEmpty()) {
            EXPECT_TRUE(update::trustCertificatesForTesting(fixture_->caFile()));
        }
    }
    static void TearDownTestSuite() {
        delete fixture_;
        fixture_ = nullptr;
        update::clearTrustForTesting();
        qunsetenv("ZENDAL_WEB_BASE");
    }

    void SetUp() override {
        if (!fixture_->skipReason.isEmpty()) GTEST_SKIP() << fixture_->skipReason.toStdString();
        appVersion = std::make_unique<QAction>(QStringLiteral("Editor Version: "));
        newAppVersion = std::make_unique<QAction>(QStringLiteral("New version available:"));
        updateNow = std::make_unique<QAction>(QStringLiteral("Update Now"));
        appVersion->setEnabled(false);
        newAppVersion->setEnabled(false);
        settings::EnsureSettingsFolders();
        settings::ReadStartupSettings();
    }

    void TearDown() override { setUrlOpenerForTesting({}); }

    static void useBase(const QString& base) { qputenv("ZENDAL_WEB_BASE", base.toUtf8()); }
    static QString https(int port, const QString& route) {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(port).arg(route);
    }

    std::unique_ptr<UpdateCheck> makeCheck() {
        auto check = std::make_unique<UpdateCheck>(appVersion.get(), newAppVersion.get(),
                                                   updateNow.get(), nullptr);
        // Far above any loopback answer; only the stall case uses a short limit.
        check->setTimeoutMs(kGenerousMs);
        QObject::connect(check.get(), &UpdateCheck::checkFinished, [this] { ++finished; });
        return check;
    }

    // Runs the check now and waits until it has ended.
    void runCheck(UpdateCheck& check) {
        const int before = finished;
        check.checkmostrecentversiononwebsite();
        ASSERT_TRUE(waitUntil([&] { return finished > before; }));
    }

    void expectMenusUntouched(const UpdateCheck& check) {
        EXPECT_EQ(newAppVersion->text(), QStringLiteral("New version available:"));
        // Disabled from the start: no newer version is known.
        EXPECT_FALSE(updateNow->isEnabled());
        EXPECT_FALSE(check.newVersionWindow()->isVisible());
        EXPECT_TRUE(check.newAppVersion().isEmpty());
    }

    static ServerFixture* fixture_;
    test::TempHome home;
    test::ScriptedPrompt prompt;
    std::unique_ptr<QAction> appVersion, newAppVersion, updateNow;
    int finished = 0;
};

ServerFixture* ShellUpdateCheck::fixture_ = nullptr;

}  // namespace

TEST(ShellVersionText, ComparisonTable) {
    struct Case {
        const char* server;
        const char* current;
        bool newer;
    };
    const Case cases[] = {
        {"1.9", "1.8", true},
        {"1.10", "1.9", true},
        {"1.8", "1.8", false},
        {"1.7", "1.8", false},
        {"2.0", "1.8", true},
        {"2", "1.8", true},
        {"2.0", "1.10", true},
        {"1.10", "2.0", false},
        {"1.9", "1.10", false},
        {"10.0", "9.9", true},
        {"1.8.1", "1.8", true},
        {"1.8.0", "1.8", false},
        {"1.8", "1.8.0", false},
        {"1..9", "1.8", false},
        {"1.9.", "1.8", false},
        {".9", "1.8", false},
        {"", "1.8", false},
        {"1.9\n", "1.8", false},
        {" 1.9", "1.8", false},
        {"v1.9", "1.8", false},
        {"...", "1.8", false},
        {"1.9", "Version info not available", false},
        {"12345678901234567", "1.8", false},  // longer than 16
        {"1234567890123456", "1.8", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            update::isNewerVersion(QString::fromLatin1(c.server), QString::fromLatin1(c.current)),
            c.newer)
            << c.server << " vs " << c.current;
    }
    EXPECT_EQ(update::versionNumber(QStringLiteral("1.10")), 110);
    EXPECT_EQ(update::currentAppVersion(), QStringLiteral("1.8"));
}

TEST(ShellVersionText, EveryPairTheDotlessRuleOrderedRightKeepsItsOrder) {
    // Major.minor with one minor digit: the rule "remove the points, compare
    // the integers" orders these right, and the comparison must agree with it.
    QStringList versions;
    for (int major = 0; major <= 12; ++major) {
        for (int minor = 0; minor <= 9; ++minor)
            versions << QStringLiteral("%1.%2").arg(major).arg(minor);
    }
    for (const QString& a : versions) {
        for (const QString& b : versions) {
            const bool dotless = *update::versionNumber(a) > *update::versionNumber(b);
            ASSERT_EQ(update::isNewerVersion(a, b), dotless)
                << a.toStdString() << " vs " << b.toStdString();
        }
    }
}

TEST(ShellVersionText, OneLineEndAtTheEndOfTheBodyIsDropped) {
    EXPECT_EQ(update::versionBodyText("1.9\n"), QStringLiteral("1.9"));
    EXPECT_EQ(update::versionBodyText("1.9\r\n"), QStringLiteral("1.9"));
    EXPECT_EQ(update::versionBodyText("1.9"), QStringLiteral("1.9"));
    EXPECT_FALSE(update::isVersionText(update::versionBodyText("1.9\n\n")));
    EXPECT_FALSE(update::isVersionText(update::versionBodyText("\n1.9")));
}

TEST(ShellVersionText, WebAddressesFollowTheBase) {
    qputenv("ZENDAL_WEB_BASE", "https://127.0.0.1:1/base/");
    EXPECT_EQ(update::webUrl(update::kVersionPath).toString(),
              QStringLiteral("https://127.0.0.1:1/base/download/zendal/zendal-version.php"));
    EXPECT_EQ(update::webUrl(update::kWhatsNewPath).toString(),
              QStringLiteral("https://127.0.0.1:1/base/download/zendal/update/whatsnew.html"));
    qunsetenv("ZENDAL_WEB_BASE");
    EXPECT_TRUE(update::webBase().startsWith(QStringLiteral("https://")));
}

TEST_F(ShellUpdateCheck, StartShowsTheVersionAndChecksOneSecondLater) {
    useBase(https(fixture_->trusted, QStringLiteral("/body/1.9")));
    auto check = makeCheck();
    EXPECT_FALSE(updateNow->isEnabled()) << "no newer version known yet";
    check->setShowUpdatePreference(false);
    check->start();
    EXPECT_EQ(appVersion->text(), QStringLiteral("Editor Version:  1.8"));
    EXPECT_EQ(check->currentAppVersion(), QStringLiteral("1.8"));
    QTimer* timer = check->TimerCheckWebVersion();
    EXPECT_TRUE(timer->isActive());
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_EQ(timer->interval(), 1000);
    ASSERT_TRUE(waitUntil([&] { return finished == 1; }));
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(newAppVersion->text(), QStringLiteral("New version available: 1.9"));
}

TEST_F(ShellUpdateCheck, PublishedVersionTable) {
    struct Case {
        const char* body;
        const char* caption;
        bool updateEnabled;
    };
    const Case cases[] = {
        {"1.9", "New version available: 1.9", true},
        {"1.10", "New version available: 1.10", true},
        {"1.8", "No update available", false},
        {"1.7", "No update available", false},
    };
    for (const Case& c : cases) {
        newAppVersion->setText(QStringLiteral("New version available:"));
        updateNow->setEnabled(true);
        useBase(https(fixture_->trusted, QStringLiteral("/body/") + QString::fromLatin1(c.body)));
        auto check = makeCheck();
        check->setShowUpdatePreference(true);
        check->start();
        runCheck(*check);
        EXPECT_EQ(newAppVersion->text(), QString::fromLatin1(c.caption)) << c.body;
        EXPECT_EQ(updateNow->isEnabled(), c.updateEnabled) << c.body;
        EXPECT_EQ(check->newVersionWindow()->isVisible(), c.updateEnabled) << c.body;
        EXPECT_EQ(check->newAppVersion(), QString::fromLatin1(c.body));
        const QStringList& log = Log::instance().lines();
        ASSERT_GE(log.size(), 2);
        EXPECT_EQ(log[log.size() - 2], QStringLiteral("currentAppVersion: 1.8"));
        EXPECT_EQ(log.last(), QStringLiteral("newAppVersion: ") + QString::fromLatin1(c.body));
        if (c.updateEnabled) {
            EXPECT_EQ(check->newVersionWindow()->Label1->text(),
                      QStringLiteral("A new version of the Zendal Editor is available"));
            EXPECT_EQ(check->newVersionWindow()->Label2->text(),
                      QStringLiteral("Your version: 1.8     New version: ") +
                          QString::fromLatin1(c.body));
        }
        EXPECT_TRUE(prompt.all().isEmpty());
    }
}

TEST_F(ShellUpdateCheck, ABodyEndingWithALineEndIsAVersion) {
    for (const char* route : {"/body/1.9%0A", "/body/1.9%0D%0A"}) {
        newAppVersion->setText(QStringLiteral("New version available:"));
        useBase(https(fixture_->trusted, QString::fromLatin1(route)));
        auto check = makeCheck();
        check->setShowUpdatePreference(false);
        check->start();
        runCheck(*check);
        EXPECT_EQ(newAppVersion->text(), QStringLiteral("New version available: 1.9")) << route;
        EXPECT_EQ(check->newAppVersion(), QStringLiteral("1.9")) << route;
        EXPECT_TRUE(updateNow->isEnabled()) << route;
    }
}

TEST_F(ShellUpdateCheck, AnEnvironmentVariableAddsNoTrustedCertificate) {
    // What an old test hook read; it must not open the door in any build.
    const QByteArray caVariable = QByteArray("ZENDAL_TEST_") + "CA_FILE";
    qputenv("ZENDAL_TEST", "1");
    qputenv(caVariable.constData(), fixture_->caFile().toUtf8());
    update::clearTrustForTesting();
    useBase(https(fixture_->trusted, QStringLiteral("/body/1.9")));
    auto check = makeCheck();
    check->start();
    runCheck(*check);
    ASSERT_TRUE(update::trustCertificatesForTesting(fixture_->caFile()));
    qunsetenv(caVariable.constData());
    expectMenusUntouched(*check);
    EXPECT_TRUE(Log::instance().lines().last().startsWith(
        QStringLiteral("version check failed: SSL handshake failed")))
        << Log::instance().lines().last().toStdString();
}

TEST_F(ShellUpdateCheck, PreferenceNoChangesTheMenuButOpensNoWindow) {
    ASSERT_TRUE(settings::writeShowUpdateIfExists(false));
    useBase(https(fixture_->trusted, QStringLiteral("/body/1.9")));
    auto check = makeCheck();  // preference not handed over: read from the file
    check->start();
    runCheck(*check);
    EXPECT_EQ(newAppVersion->text(), QStringLiteral("New version available: 1.9"));
    EXPECT_TRUE(updateNow->isEnabled());
    EXPECT_FALSE(check->newVersionWindow()->isVisible());
}

TEST_F(ShellUpdateCheck, StatusOtherThan200ShowsItsText) {
    struct Case {
        QString route;
        QString box;
    };
    const Case cases[] = {
        {QStringLiteral("/status/404/-"), QStringLiteral("Error: Not Found")},
        {QStringLiteral("/status/503/Down%20For%20Maintenance"),
         QStringLiteral("Error: Down For Maintenance")},
        // Markup in the status text is not passed on to a message box.
        {QStringLiteral("/status/500/%3Cimg%20src=x%3E"),
         QStringLiteral("Error: Internal Server Error")},
    };
    for (const Case& c : cases) {
        prompt.informations.clear();
        useBase(https(fixture_->trusted, c.route));
        auto check = makeCheck();
        check->start();
        runCheck(*check);
        EXPECT_EQ(prompt.informations, QStringList{c.box}) << c.route.toStdString();
        expectMenusUntouched(*check);
    }
}

TEST_F(ShellUpdateCheck, UnusableAnswersEndTheCheckQuietly) {
    struct Case {
        const char* name;
        QString base;
        QString logged;  // start of the log line that says why
        int timeoutMs = kGenerousMs;
    };
    const QString failed = QStringLiteral("version check failed: ");
    const Case cases[] = {
        {"two line ends after the version",
         https(fixture_->trusted, QStringLiteral("/body/1.9%0A%0A")),
         failed + QStringLiteral("the answer is not a version number")},
        {"html page", https(fixture_->trusted, QStringLiteral("/body/%3Chtml%3E")),
         failed + QStringLiteral("the answer is not a version number")},
        {"empty body", https(fixture_->trusted, QStringLiteral("/empty")),
         failed + QStringLiteral("the answer is not a version number")},
        {"endless body", https(fixture_->trusted, QStringLiteral("/long")),
         failed + QStringLiteral("the answer is too long")},
        {"stalled server", https(fixture_->trusted, QStringLiteral("/stall")),
         failed + QStringLiteral("no answer within 300 ms"), 300},
        {"certificate not from a trusted CA",
         https(fixture_->untrusted, QStringLiteral("/body/1.9")),
         failed + QStringLiteral("SSL handshake failed")},
        {"redirect to plain http", https(fixture_->trusted, QStringLiteral("/redirect-http")),
         failed + QStringLiteral("redirect refused")},
        {"plain http address", QStringLiteral("http://127.0.0.1:%1/body/1.9").arg(fixture_->plain),
         failed + QStringLiteral("the version address is not an https address")},
        {"nobody listening", QStringLiteral("https://127.0.0.1:1/body/1.9"), failed},
    };
    for (const Case& c : cases) {
        useBase(c.base);
        auto check = makeCheck();
        check->setTimeoutMs(c.timeoutMs);
        check->start();
        runCheck(*check);
        EXPECT_TRUE(prompt.all().isEmpty()) << c.name;
        expectMenusUntouched(*check);
        EXPECT_TRUE(Log::instance().lines().last().startsWith(c.logged))
            << c.name << ": " << Log::instance().lines().last().toStdString();
    }
    EXPECT_FALSE(QFile::exists(fixture_->hitsFile())) << "plain http was reached";
}

TEST_F(ShellUpdateCheck, InfoMenuUpdateNowOpensTheWindowOnceANewerVersionIsKnown) {
    useBase(https(fixture_->trusted, QStringLiteral("/body/2.0")));
    auto check = makeCheck();
    check->setShowUpdatePreference(false);
    check->start();
    // Disabled until a newer version is known: the item does nothing.
    EXPECT_FALSE(updateNow->isEnabled());
    updateNow->trigger();
    EXPECT_TRUE(prompt.informations.isEmpty());
    EXPECT_FALSE(check->newVersionWindow()->isVisible());
    runCheck(*check);
    EXPECT_TRUE(updateNow->isEnabled());
    EXPECT_FALSE(check->newVersionWindow()->isVisible());
    updateNow->trigger();
    EXPECT_TRUE(check->newVersionWindow()->isVisible());
    EXPECT_EQ(check->newVersionWindow()->Label2->text(),
              QStringLiteral("Your version: 1.8     New version: 2.0"));
}

TEST(ShellNewVersionWindow, LooksAndSwitches) {
    test::TempHome home;
    settings::EnsureSettingsFolders();
    TformNewVersionMsg window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("New Version"));
    EXPECT_EQ(window.minimumSize(), QSize(282, 151));
    EXPECT_EQ(window.maximumSize(), QSize(282, 151));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window.btnLaunchUpdate->text(), QStringLiteral("Update Now"));
    EXPECT_EQ(window.btnSeeWhatsNew->text(), QStringLiteral("What's New?"));
    EXPECT_EQ(window.CheckBox1->text(), QStringLiteral("Don't Show This Message Again"));
    EXPECT_FALSE(window.CheckBox1->isChecked());
    EXPECT_FALSE(window.isVisible());

    // Without the file nothing is written.
    window.CheckBox1->setChecked(true);
    EXPECT_FALSE(QFile::exists(settings::showUpdateFile()));
    window.CheckBox1->setChecked(false);

    settings::ReadStartupSettings();  // creates "YES"
    window.CheckBox1->setChecked(true);
    QFile f(settings::showUpdateFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("NO"));
    f.close();
    window.CheckBox1->setChecked(false);  // unchecking writes nothing
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("NO"));

    QList<QUrl> opened;
    setUrlOpenerForTesting([&](const QUrl& u) { opened << u; });
    qputenv("ZENDAL_WEB_BASE", "https://127.0.0.1:9");
    window.btnSeeWhatsNew->click();
    qunsetenv("ZENDAL_WEB_BASE");
    setUrlOpenerForTesting({});
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral(
                          "https://127.0.0.1:9/download/zendal/update/whatsnew.html"))});
}

class ShellUpdater : public ::testing::Test {
  protected:
    void SetUp() override {
        oldTmp_ = qgetenv("TMPDIR");
        temp = dir.filePath(QStringLiteral("temp with space's"));
        QDir().mkpath(temp);
        qputenv("TMPDIR", temp.toUtf8());
        folder = dir.filePath(QStringLiteral("updater \"dir\" with spaces"));
        QDir().mkpath(folder);
        program = folder + QStringLiteral("/zendal-updater");
        QFile script(program);
        script.open(QIODevice::WriteOnly);
        script.write(
            "#!/bin/sh\n"
            "out=\"$(dirname \"$0\")/args.txt\"\n"
            ": > \"$out.tmp\"\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out.tmp\"; done\n"
            "mv \"$out.tmp\" \"$out\"\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
        check = std::make_unique<UpdateCheck>(nullptr, nullptr, nullptr, nullptr);
        check->setUpdaterProgram(program);
        check->setQuitHook([this] { ++quits; });
    }
    void TearDown() override { qputenv("TMPDIR", oldTmp_); }

    QString argsFile() const { return folder + QStringLiteral("/args.txt"); }

    QTemporaryDir dir;
    QString temp, folder, program;
    test::ScriptedPrompt prompt;
    std::unique_ptr<UpdateCheck> check;
    int quits = 0;

  private:
    QByteArray oldTmp_;
};

#ifdef Q_OS_WIN
TEST_F(ShellUpdater, NoLeavesTheEditorRunning) {
    prompt.answerConfirm(false);
    check->LaunchUpdater();
    EXPECT_EQ(prompt.confirmations,
              QStringList{QStringLiteral("This action will update the ZENDAL Editor to the latest "
                                         "version. Do you want to continue?")});
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(prompt.informations.isEmpty());
    EXPECT_FALSE(QFile::exists(argsFile()));
}

TEST_F(ShellUpdater, YesStartsTheUpdaterWithBothPathsAndEnds) {
    prompt.answerConfirm(true);
    check->LaunchUpdater();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(prompt.informations.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(argsFile()); }));
    QFile f(argsFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList args =
        QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(args, (QStringList{QFileInfo(temp).canonicalFilePath() +
                                     QStringLiteral("/ZENDAL_Editor_Update"),
                                 QCoreApplication::applicationFilePath()}));
}

TEST_F(ShellUpdater, UpdaterThatCannotStartIsReportedAndTheEditorStillEnds) {
    check->setUpdaterProgram(folder + QStringLiteral("/missing-updater"));
    prompt.answerConfirm(true);
    check->LaunchUpdater();
    EXPECT_EQ(
        prompt.informations,
        QStringList{QStringLiteral("Failed to launch updater. Please run as administrator.")});
    EXPECT_EQ(quits, 1);
}
#else
TEST_F(ShellUpdater, UpdateNowOpensTheDownloadPageAndTheEditorKeepsRunning) {
    struct Case {
        const char* name;
        bool browserFails;
    };
    const Case cases[] = {{"a browser opens it", false}, {"no browser can be started", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompt.informations.clear();
        QList<QUrl> opened;
        setUrlOpenerForTesting([&](const QUrl& u) { opened << u; });
        setUrlOpenerFailsForTesting(c.browserFails);
        qputenv("ZENDAL_WEB_BASE", "https://127.0.0.1:9");
        check->LaunchUpdater();
        qunsetenv("ZENDAL_WEB_BASE");
        setUrlOpenerForTesting({});
        const QString page = QStringLiteral("https://127.0.0.1:9/download/zendal/");
        EXPECT_EQ(opened, QList<QUrl>{QUrl(page)});
        EXPECT_EQ(quits, 0);
        EXPECT_TRUE(prompt.confirmations.isEmpty());
        EXPECT_EQ(prompt.informations,
                  c.browserFails ? QStringList{UpdateCheck::kDownloadPageFailedText.arg(page)}
                                 : QStringList{});
        EXPECT_FALSE(QFile::exists(argsFile())) << "no updater started";
    }
}

TEST_F(ShellUpdater, TheUpdaterStartGetsBothPathsWhateverTheyHold) {
    ASSERT_TRUE(update::startUpdater(program, update::updaterArguments()));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(argsFile()); }));
    QFile f(argsFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList args =
        QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(args, (QStringList{QFileInfo(temp).canonicalFilePath() +
                                     QStringLiteral("/ZENDAL_Editor_Update"),
                                 QCoreApplication::applicationFilePath()}));
}

TEST(ShellUpdaterDefaults, TheWindowsAdministratorTextIsNotInThisBuild) {
    QFile self(QCoreApplication::applicationFilePath());
    ASSERT_TRUE(self.open(QIODevice::ReadOnly));
    const QByteArray program = self.readAll();
    ASSERT_FALSE(program.isEmpty());
    // Put together here so this test does not carry the text itself.
    EXPECT_FALSE(program.contains(QByteArray("Please run as ") + "administrator"));
    EXPECT_FALSE(program.contains(QByteArray("ZENDAL_TEST_") + "CA_FILE"));
}
#endif

TEST(ShellUpdaterDefaults, BesideTheEditor) {
    EXPECT_EQ(update::updaterProgram(),
              QCoreApplication::applicationDirPath() + QStringLiteral("/zendal-updater"));
    EXPECT_EQ(update::updaterArguments().size(), 2);
    EXPECT_EQ(update::updaterArguments().last(), QCoreApplication::applicationFilePath());
    EXPECT_TRUE(update::updatePackagePath().endsWith(QStringLiteral("/ZENDAL_Editor_Update")));
}
