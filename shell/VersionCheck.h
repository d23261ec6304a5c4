#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// The window-free half of the update check: the editor's own version, the
// version file on the maker's web server, the comparison, and the updater's
// command line.
namespace zendal::update {

// Paths on the maker's web server.
inline constexpr const char* kVersionPath = "/download/zendal/zendal-version.php";
inline constexpr const char* kWhatsNewPath = "/download/zendal/update/whatsnew.html";
inline constexpr const char* kContactPath = "/contact-us/";
// Where the Linux packages are offered: "Update Now" opens it in the browser.
inline constexpr const char* kDownloadPath = "/download/zendal/";

// Longest version text accepted from the server ("1.10", "2.0.13").
constexpr int kMaxVersionLength = 16;
// Time limit of the whole request.
constexpr int kRequestTimeoutMs = 5000;

// Major and minor number of this build, joined by a point ("1.8"); "Version
// info not available" when the build does not tell.
QString currentAppVersion();

// Base address of the maker's web server, without a trailing slash: the build's
// ZENDAL_WEB_BASE, replaced by the environment variable ZENDAL_WEB_BASE when set
// (tests point it at a loopback server).
QString webBase();
QUrl webUrl(const char* path);

// Digits and points only, at least one digit, at most kMaxVersionLength characters.
bool isVersionText(const QString& text);
// The text with every point removed, read as a decimal integer ("1.10" -> 110);
// nullopt unless isVersionText. Kept for the log; the comparison below does not use it.
std::optional<qint64> versionNumber(const QString& text);
// The numbers between the points ("1.10" -> 1, 10); nullopt unless the text is
// numbers joined by single points (isVersionText, no empty part).
std::optional<QList<qint64>> versionParts(const QString& text);
// True when `server` is a valid version newer than `current`: compared number
// by number from the left, a missing number counting as 0 (so 2.0 is newer
// than 1.10, and 1.8.0 is 1.8).
bool isNewerVersion(const QString& server, const QString& current);
// A version file's body as text: one line end at its end is allowed and dropped.
QString versionBodyText(const QByteArray& body);

// The updater is a separate program installed beside the editor: on Linux
// "zendal-updater" in the editor's own folder. It is started with two
// arguments, the update package in the temporary folder and the editor's own
// executable, and replaces the editor while the editor ends.
QString updaterProgram();
QString updatePackagePath();  // <temporary folder>/ZENDAL_Editor_Update
QStringList updaterArguments();
// Starts the program detached with the arguments as they are (no shell, so
// blanks and quotes in paths are safe). False when it could not be started.
bool startUpdater(const QString& program, const QStringList& arguments);

// Outcome of one request for the version file.
struct VersionReply {
    enum class Kind {
        Version,    // status 200 with a version text: `version`
        HttpError,  // another status: `status`, `statusText`
        Failed,     // no usable answer (network, TLS, time-out, malformed body): `reason`
    };
    Kind kind = Kind::Failed;
    QString version;
    int status = 0;
    QString statusText;
    QString reason;
};

// Certificates trusted in addition to the system's. Always empty in the
// programs: only the test hook (shell/VersionCheckTestHook, linked into test
// executables alone) adds to it. Nothing from the environment reaches it.
QList<QSslCertificate>& additionalTrust();

// Fetches the version file asynchronously with HTTPS only, the peer's
// certificate verified, redirects only to equally safe addresses, a bounded
// body and a time limit; the user interface never waits for it.
class VersionFetcher : public QObject {
    Q_OBJECT
  public:
    explicit VersionFetcher(QObject* parent = nullptr);
    ~VersionFetcher() override;

    void setTimeoutMs(int ms) { timeoutMs_ = ms; }
    // Starts the GET of `url`; a request already running is left alone.
    void start(const QUrl& url);
    bool isRunning() const { return reply_ != nullptr; }

  signals:
    void finished(const zendal::update::VersionReply& reply);

  private:
    void onReadyRead();
    void onFinished();
    void fail(const QString& reason);

    QNetworkAccessManager* manager_;
    QNetworkReply* reply_ = nullptr;
    QTimer* deadline_;
    int timeoutMs_ = kRequestTimeoutMs;
    bool timedOut_ = false;
    bool tooLong_ = false;
};

}  // namespace zendal::update
