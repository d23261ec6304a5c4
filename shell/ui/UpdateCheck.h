#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

#include "shell/VersionCheck.h"
#include "shell/ui/TformNewVersionMsg.h"

class QAction;
class QTimer;
class QWidget;

namespace zendal {

// The update check of the main window: once per start, one second after
// start-up, asks the maker's web server for the newest version, shows the
// result in the Info menu and announces a newer version in the "New Version"
// window. Its "Update Now" opens the maker's download page in the desktop's
// browser (Linux has no updater program; the editor keeps running whatever
// the browser does); on Windows it starts the maker's updater and ends.
//
// The request is asynchronous and limited in time; a check that gets no usable
// answer (offline, time-out, certificate refused, not a version) only logs why
// and leaves the menu items as they are.
class UpdateCheck : public QObject {
    Q_OBJECT
  public:
    // The three Info menu items (owned by the main window) and the parent of the
    // new-version window, which is created here, hidden.
    UpdateCheck(QAction* appVersion, QAction* newAppVersion, QAction* updateNow,
                QWidget* parentForWindows);
    ~UpdateCheck() override;

    // Start-up step: determines currentAppVersion, shows it in the "Editor
    // Version: " item, prepares the request and starts TimerCheckWebVersion.
    void start();

    // The show-update preference read at start-up. When never set, the check
    // reads ShowMessageVersionAtStartup.txt itself.
    void setShowUpdatePreference(bool show) { showUpdate_ = show; }

    const QString& currentAppVersion() const { return currentAppVersion_; }
    const QString& newAppVersion() const { return newAppVersion_; }
    bool newerVersionKnown() const { return newerKnown_; }
    TformNewVersionMsg* newVersionWindow() const { return window_; }
    QTimer* TimerCheckWebVersion() const { return timer_; }

    // Tests: a shorter time limit, another updater, and something other than
    // ending the application after the updater start.
    void setTimeoutMs(int ms);
    void setUpdaterProgram(const QString& program) { updaterProgram_ = program; }
    void setQuitHook(std::function<void()> hook) { quitHook_ = std::move(hook); }

    // Shown when the browser cannot be started; %1 is the download page.
    static const QString kDownloadPageFailedText;

  public slots:
    // Tick of TimerCheckWebVersion.
    void checkmostrecentversiononwebsite();
    // "Update Now" in the new-version window.
    void LaunchUpdater();
    // "Update Now" in the Info menu: the new-version window when a newer
    // version is known.
    void menuUpdateNowClick();

  signals:
    // The check has ended, whatever its outcome (tests wait for it).
    void checkFinished();

  private:
    void WebRequestCompleted(const update::VersionReply& reply);
    void compareVersions();

    QAction* menuAppVersion_;
    QAction* menuNewAppVersion_;
    QAction* menuUpdateNow_;
    QPointer<TformNewVersionMsg> window_;
    QTimer* timer_;
    update::VersionFetcher* fetcher_;
    QUrl versionUrl_;
    QString currentAppVersion_;
    QString newAppVersion_;
    bool newerKnown_ = false;
    std::optional<bool> showUpdate_;
    QString updaterProgram_;
    std::function<void()> quitHook_;
};

}  // namespace zendal
