#include "effects/ui/TformFXInfo.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTextBrowser>
#include <QTimer>
#include <utility>

#include "core/Log.h"
#include "effects/FxInfoPage.h"
#include "protocol/DeviceController.h"
#include "shell/ui/Accessibility.h"

#ifdef ZENDAL_HAVE_WEBENGINE
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>
#endif

namespace zendal {

namespace {
// A stage laptop is usually offline: the offline copy should come quickly.
constexpr int kPageLimitMs = 5000;
}  // namespace

TformFXInfo::TformFXInfo(DeviceController& device, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      device_(device) {
    setObjectName(QStringLiteral("formFXInfo"));
    setFixedSize(612, 640);
#ifdef ZENDAL_HAVE_WEBENGINE
    auto* web = new QWebEngineView(this);
    // The web view has no time limit of its own: a server that accepts and never
    // answers would leave the window blank.
    pageLimit_ = new QTimer(this);
    pageLimit_->setSingleShot(true);
    pageLimit_->setInterval(kPageLimitMs);
    connect(pageLimit_, &QTimer::timeout, this, [this, web] {
        DebugPrint(QStringLiteral("description page not loaded: no answer within %1 s")
                       .arg(kPageLimitMs / 1000));
        web->stop();
        showOffline();
    });
    // A choice made while a page loads cancels that load; its end must not
    // show the offline copy in place of the new page.
    connect(web->page(), &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo& info) {
                const auto status = info.status();
                if (status == QWebEngineLoadingInfo::LoadStartedStatus) return;
                if (offline_) {
                    // The offline copy (set as HTML) is in place.
                    if (status == QWebEngineLoadingInfo::LoadSucceededStatus) emit pageShown(false);
                    return;
                }
                if (status == QWebEngineLoadingInfo::LoadSucceededStatus) {
                    // Wherever the server's redirects led.
                    pageLimit_->stop();
                    emit pageShown(true);
                    return;
                }
                // A load that a newer choice cancelled ends as stopped or failed
                // under its own address.
                if (status != QWebEngineLoadingInfo::LoadFailedStatus || info.url() != url_) return;
                pageLimit_->stop();
                DebugPrint(QStringLiteral("description page not loaded: ") + info.errorString());
                showOffline();
            });
    view_ = web;
#else
    browser_ = new QTextBrowser(this);
    browser_->setOpenLinks(false);
    network_ = new QNetworkAccessManager(this);
    view_ = browser_;
#endif
    view_->setObjectName(QStringLiteral("WebBrowser1"));
    view_->setAccessibleName(QStringLiteral("Effect description"));
    a11y::closeOnEscape(this);
    view_->setGeometry(8, 8, 596, 627);
}

TformFXInfo::~TformFXInfo() {
    // Abandon a page still on its way; its answer must not reach a dying window.
    if (QNetworkReply* reply = std::exchange(pending_, nullptr)) reply->abort();
}

void TformFXInfo::showDescription(QRect parameterWindowGeometry) {
    if (isVisible()) close();
    move(parameterWindowGeometry.left() + parameterWindowGeometry.width(),
         parameterWindowGeometry.top());
    show();
    effect_ = device_.selectedEffectName();
    setWindowTitle(effect_);
    load(fxInfoPageUrl(effect_));
}

void TformFXInfo::load(const QUrl& url) {
    url_ = url;
    offline_ = false;
    if (QNetworkReply* old = std::exchange(pending_, nullptr)) old->abort();
    DebugPrint(QStringLiteral("description page: ") + url.toString(QUrl::FullyEncoded));
    if (!mayFetch(url)) {
        showOffline();
        return;
    }
#ifdef ZENDAL_HAVE_WEBENGINE
    pageLimit_->start();
    static_cast<QWebEngineView*>(view_)->load(url);
#else
    QNetworkRequest request(url);
    request.setTransferTimeout(kPageLimitMs);
    pending_ = network_->get(request);
    QNetworkReply* reply = pending_;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (reply != pending_) return;  // superseded by a newer choice
        pending_ = nullptr;
        pageFinished(reply);
    });
#endif
}

void TformFXInfo::pageFinished(QNetworkReply* reply) {
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200) {
        DebugPrint(QStringLiteral("description page not loaded: ") + reply->errorString());
        showOffline();
        return;
    }
    offline_ = false;
    if (browser_) {
        browser_->document()->setBaseUrl(url_);
        browser_->setHtml(QString::fromUtf8(reply->readAll()));
    }
    emit pageShown(true);
}

void TformFXInfo::showOffline() {
    offline_ = true;
    if (pageLimit_) pageLimit_->stop();
    const QString html = offlineDescriptionHtml(effect_);
#ifdef ZENDAL_HAVE_WEBENGINE
    // Shown once the view has loaded it (pageShown comes from loadingChanged).
    static_cast<QWebEngineView*>(view_)->setHtml(html);
#else
    browser_->setHtml(html);
    emit pageShown(false);
#endif
}

void prepareDescriptionViewEnvironment() {
#ifdef ZENDAL_HAVE_WEBENGINE
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
}

}  // namespace zendal
