#include "shell/VersionCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSslConfiguration>
#include <QTimer>

#include "core/Log.h"

#ifndef ZENDAL_WEB_BASE_DEFAULT
#define ZENDAL_WEB_BASE_DEFAULT "https://www.tavrel.com"
#endif

namespace zendal::update {

namespace {

// Bodies longer than this cannot be a version; stop reading there.
constexpr qint64 kMaxBodyBytes = 64;
// A status text is shown in a box; keep it short and plain.
constexpr int kMaxStatusTextLength = 80;

QString standardStatusText(int status) {
    switch (status) {
        case 400:
            return QStringLiteral("Bad Request");
        case 401:
            return QStringLiteral("Unauthorized");
        case 403:
            return QStringLiteral("Forbidden");
        case 404:
            return QStringLiteral("Not Found");
        case 410:
            return QStringLiteral("Gone");
        case 500:
            return QStringLiteral("Internal Server Error");
        case 502:
            return QStringLiteral("Bad Gateway");
        case 503:
            return QStringLiteral("Service Unavailable");
        case 504:
            return QStringLiteral("Gateway Timeout");
        default:
            return QStringLiteral("HTTP status %1").arg(status);
    }
}

// The server's status text, unless it is empty, too long or could be taken for
// markup by a message box; then the standard text for the status.
QString displayableStatusText(int status, const QByteArray& phrase) {
    const QString text = QString::fromLatin1(phrase);
    bool plain = !text.isEmpty() && text.size() <= kMaxStatusTextLength;
    for (const QChar c : text) {
        if (!plain) break;
        plain = c.unicode() >= 0x20 && c.unicode() < 0x7F && c != QLatin1Char('<') &&
                c != QLatin1Char('>') && c != QLatin1Char('&');
    }
    return plain ? text : standardStatusText(status);
}

}  // namespace

QString currentAppVersion() {
#if defined(ZENDAL_VERSION_MAJOR) && defined(ZENDAL_VERSION_MINOR)
    return QStringLiteral("%1.%2").arg(ZENDAL_VERSION_MAJOR).arg(ZENDAL_VERSION_MINOR);
#else
    return QStringLiteral("Version info not available");
#endif
}

QString webBase() {
    QString base = qEnvironmentVariable("ZENDAL_WEB_BASE");
    if (base.isEmpty()) base = QStringLiteral(ZENDAL_WEB_BASE_DEFAULT);
    while (base.endsWith(QLatin1Char('/'))) base.chop(1);
    return base;
}

QUrl webUrl(const char* path) {
    return QUrl(webBase() + QString::fromLatin1(path));
}

bool isVersionText(const QString& text) {
    if (text.isEmpty() || text.size() > kMaxVersionLength) return false;
    bool digit = false;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digit = true;
        } else if (c != QLatin1Char('.')) {
            return false;
        }
    }
    return digit;
}

std::optional<qint64> versionNumber(const QString& text) {
    if (!isVersionText(text)) return std::nullopt;
    QString digits = text;
    digits.remove(QLatin1Char('.'));
    bool ok = false;
    const qint64 n = digits.toLongLong(&ok, 10);  // at most 16 digits: always fits
    if (!ok) return std::nullopt;
    return n;
}

std::optional<QList<qint64>> versionParts(const QString& text) {
    if (!isVersionText(text)) return std::nullopt;
    QList<qint64> parts;
    for (const QString& part : text.split(QLatin1Char('.'))) {
        if (part.isEmpty()) return std::nullopt;
        bool ok = false;
        parts.append(part.toLongLong(&ok, 10));  // at most 16 digits: always fits
        if (!ok) return std::nullopt;
    }
    return parts;
}

bool isNewerVersion(const QString& server, const QString& current) {
    const auto s = versionParts(server);
    const auto c = versionParts(current);
    if (!s || !c) return false;
    for (qsizetype i = 0; i < qMax(s->size(), c->size()); ++i) {
        const qint64 a = i < s->size() ? s->at(i) : 0;
        const qint64 b = i < c->size() ? c->at(i) : 0;
        if (a != b) return a > b;
    }
    return false;
}

QString versionBodyText(const QByteArray& body) {
    QByteArray text = body;
    if (text.endsWith("\r\n"))
        text.chop(2);
    else if (text.endsWith('\n'))
        text.chop(1);
    return QString::fromUtf8(text);
}

QList<QSslCertificate>& additionalTrust() {
    static QList<QSslCertificate> certificates;
    return certificates;
}

QString updaterProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/zendal-updater");
}

QString updatePackagePath() {
    const QString temp = QDir::tempPath();
    const QString longForm = QFileInfo(temp).canonicalFilePath();
    return (longForm.isEmpty() ? temp : longForm) + QStringLiteral("/ZENDAL_Editor_Update");
}

QStringList updaterArguments() {
    return {updatePackagePath(), QCoreApplication::applicationFilePath()};
}

bool startUpdater(const QString& program, const QStringList& arguments) {
    DebugPrint(QStringLiteral("starting updater: ") + program);
    return QProcess::startDetached(program, arguments);
}

VersionFetcher::VersionFetcher(QObject* parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this)), deadline_(new QTimer(this)) {
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] {
        if (!reply_) return;
        timedOut_ = true;
        reply_->abort();
    });
}

VersionFetcher::~VersionFetcher() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
}

void VersionFetcher::fail(const QString& reason) {
    VersionReply r;
    r.kind = VersionReply::Kind::Failed;
    r.reason = reason;
    // Keep the asynchronous contract even when nothing went out.
    QTimer::singleShot(0, this, [this, r] { emit finished(r); });
}

void VersionFetcher::start(const QUrl& url) {
    if (reply_) return;
    if (!url.isValid() || url.scheme() != QStringLiteral("https")) {
        fail(QStringLiteral("the version address is not an https address: ") +
             url.toDisplayString());
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    // HTTP/1.1 carries the status text that an error box shows.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("ZendalEditor/") + currentAppVersion());
    request.setTransferTimeout(timeoutMs_);
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    ssl.setProtocol(QSsl::TlsV1_2OrLater);
    if (!additionalTrust().isEmpty()) ssl.addCaCertificates(additionalTrust());
    request.setSslConfiguration(ssl);

    timedOut_ = false;
    tooLong_ = false;
    reply_ = manager_->get(request);
    connect(reply_, &QNetworkReply::readyRead, this, &VersionFetcher::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &VersionFetcher::onFinished);
    deadline_->start(timeoutMs_);
}

void VersionFetcher::onReadyRead() {
    if (reply_ && reply_->bytesAvailable() > kMaxBodyBytes) {
        tooLong_ = true;
        reply_->abort();
    }
}

void VersionFetcher::onFinished() {
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    deadline_->stop();
    if (!reply) return;
    reply->deleteLater();

    VersionReply r;
    const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttr.isValid() ? statusAttr.toInt() : 0;
    if (timedOut_) {
        r.reason = QStringLiteral("no answer within %1 ms").arg(timeoutMs_);
    } else if (tooLong_) {
        r.reason = QStringLiteral("the answer is too long for a version number");
    } else if (reply->error() == QNetworkReply::NoError && status == 200) {
        const QByteArray body = reply->read(kMaxBodyBytes + 1);
        const QString text = versionBodyText(body);
        if (isVersionText(text)) {
            r.kind = VersionReply::Kind::Version;
            r.version = text;
        } else {
            QString shown = text.left(kMaxVersionLength);
            for (QChar& c : shown) {
                if (!c.isPrint()) c = QLatin1Char('?');
            }
            r.reason = QStringLiteral("the answer is not a version number: '%1'").arg(shown);
        }
    } else if (status != 0 && status != 200 && (status < 300 || status >= 400)) {
        r.kind = VersionReply::Kind::HttpError;
        r.status = status;
        r.statusText = displayableStatusText(
            status, reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    } else if (reply->error() == QNetworkReply::InsecureRedirectError ||
               (status >= 300 && status < 400)) {
        r.reason = QStringLiteral("redirect refused: ") + reply->errorString();
    } else {
        r.reason = reply->errorString();
    }
    emit finished(r);
}

}  // namespace zendal::update
