#include "shell/ui/UpdateCheck.h"

#include <QAction>
#include <QCoreApplication>
#include <QTimer>

#include "core/Log.h"
#include "shell/Prompt.h"
#include "shell/SettingsFiles.h"
#include "shell/ui/OpenUrl.h"
#include "shell/ui/TformNewVersionMsg.h"

namespace zendal {

namespace {
constexpr int kCheckDelayMs = 1000;
}

const QString UpdateCheck::kDownloadPageFailedText = QStringLiteral(
    "The download page could not be opened in a web browser. The new version is offered at %1");

UpdateCheck::UpdateCheck(QAction* appVersion, QAction* newAppVersion, QAction* updateNow,
                         QWidget* parentForWindows)
    : QObject(parentForWindows),
      menuAppVersion_(appVersion),
      menuNewAppVersion_(newAppVersion),
      menuUpdateNow_(updateNow),
      window_(new TformNewVersionMsg(parentForWindows)),
      timer_(new QTimer(this)),
      fetcher_(new update::VersionFetcher(this)) {
    timer_->setObjectName(QStringLiteral("TimerCheckWebVersion"));
    timer_->setInterval(kCheckDelayMs);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &UpdateCheck::checkmostrecentversiononwebsite);
    connect(fetcher_, &update::VersionFetcher::finished, this, &UpdateCheck::WebRequestCompleted);
    connect(window_, &TformNewVersionMsg::launchUpdateClicked, this, &UpdateCheck::LaunchUpdater);
    if (menuUpdateNow_) {
        // Nothing to update to until a newer version is known.
        menuUpdateNow_->setEnabled(false);
        connect(menuUpdateNow_, &QAction::triggered, this, &UpdateCheck::menuUpdateNowClick);
    }
}

UpdateCheck::~UpdateCheck() {
    // A window without a parent is ours to delete.
    if (window_ && !window_->parent()) delete window_;
}

void UpdateCheck::setTimeoutMs(int ms) {
    fetcher_->setTimeoutMs(ms);
}

void UpdateCheck::start() {
    versionUrl_ = update::webUrl(update::kVersionPath);
    timer_->start();
    currentAppVersion_ = update::currentAppVersion();
    if (menuAppVersion_) {
        menuAppVersion_->setText(menuAppVersion_->text() + QStringLiteral(" ") +
                                 currentAppVersion_);
    }
}

void UpdateCheck::checkmostrecentversiononwebsite() {
    timer_->stop();  // once per start
    if (fetcher_->isRunning()) return;
    if (versionUrl_.isEmpty()) versionUrl_ = update::webUrl(update::kVersionPath);
    if (currentAppVersion_.isEmpty()) currentAppVersion_ = update::currentAppVersion();
    fetcher_->start(versionUrl_);
}

void UpdateCheck::WebRequestCompleted(const update::VersionReply& reply) {
    using Kind = update::VersionReply::Kind;
    switch (reply.kind) {
        case Kind::Version:
            newAppVersion_ = reply.version;
            DebugPrint(QStringLiteral("currentAppVersion: ") + currentAppVersion_);
            DebugPrint(QStringLiteral("newAppVersion: ") + newAppVersion_);
            compareVersions();
            break;
        case Kind::HttpError:
            DebugPrint(QStringLiteral("version check: status %1 %2")
                           .arg(reply.status)
                           .arg(reply.statusText));
            prompt().information(QStringLiteral("Error: ") + reply.statusText);
            break;
        case Kind::Failed:
            // Offline starts are normal: no box, the menu stays as it is.
            DebugPrint(QStringLiteral("version check failed: ") + reply.reason);
            break;
    }
    emit checkFinished();
}

void UpdateCheck::compareVersions() {
    if (!update::versionNumber(currentAppVersion_)) {
        DebugPrint(QStringLiteral("version check: the editor's own version is unknown"));
        return;
    }
    if (update::isNewerVersion(newAppVersion_, currentAppVersion_)) {
        newerKnown_ = true;
        if (menuNewAppVersion_) {
            menuNewAppVersion_->setText(menuNewAppVersion_->text() + QStringLiteral(" ") +
                                        newAppVersion_);
        }
        const bool show =
            showUpdate_.has_value() ? *showUpdate_ : settings::readShowUpdatePreference();
        if (show) window_->showVersions(currentAppVersion_, newAppVersion_);
        if (menuUpdateNow_) menuUpdateNow_->setEnabled(true);
    } else {
        newerKnown_ = false;
        if (menuNewAppVersion_) menuNewAppVersion_->setText(QStringLiteral("No update available"));
        if (menuUpdateNow_) menuUpdateNow_->setEnabled(false);
    }
}

void UpdateCheck::menuUpdateNowClick() {
    if (newerKnown_) {
        window_->showVersions(currentAppVersion_, newAppVersion_);
        window_->raise();
        window_->activateWindow();
    } else {
        prompt().information(QStringLiteral("No update available"));
    }
}

void UpdateCheck::LaunchUpdater() {
#ifdef Q_OS_WIN
    if (!prompt().confirm(QStringLiteral("This action will update the ZENDAL Editor to the latest "
                                         "version. Do you want to continue?"))) {
        return;
    }
    const QString program = updaterProgram_.isEmpty() ? update::updaterProgram() : updaterProgram_;
    if (!update::startUpdater(program, update::updaterArguments())) {
        prompt().information(
            QStringLiteral("Failed to launch updater. Please run as administrator."));
    }
    // The editor ends whether or not the updater started.
    if (quitHook_) {
        quitHook_();
    } else {
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    }
#else
    // No updater program here: the download page, and the editor stays open.
    const QString page = update::webUrl(update::kDownloadPath).toString();
    if (!OpenURL(page)) prompt().information(kDownloadPageFailedText.arg(page));
#endif
}

}  // namespace zendal
