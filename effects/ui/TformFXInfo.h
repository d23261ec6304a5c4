#pragma once

#include <QRect>
#include <QString>
#include <QUrl>
#include <QWidget>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;
class QTimer;

namespace zendal {

class DeviceController;

// The effect description window: the chosen effect's page from the maker's web
// server, at the parameter window's right edge. Without a connection it shows
// the catalogue's own copy of the description, saying so.
class TformFXInfo : public QWidget {
    Q_OBJECT
  public:
    // Describes the controller's selected effect.
    explicit TformFXInfo(DeviceController& device, QWidget* parent = nullptr);
    ~TformFXInfo() override;

    // Opens, or re-opens, the window for the selected effect,
    // its left edge at the parameter window's right edge and its top at the
    // parameter window's top. Pass the parameter window's frameGeometry().
    void showDescription(QRect parameterWindowGeometry);

    // The page asked for last.
    QUrl pageUrl() const { return url_; }
    // True while the offline copy is shown instead of the web page.
    bool showsOfflineCopy() const { return offline_; }

  signals:
    // The page (online true) or the offline copy (online false) is shown.
    void pageShown(bool online);

  private:
    void load(const QUrl& url);
    void showOffline();
    void pageFinished(QNetworkReply* reply);

    DeviceController& device_;
    QWidget* view_ = nullptr;  // "WebBrowser1"
    QTextBrowser* browser_ = nullptr;
    QNetworkAccessManager* network_ = nullptr;
    QNetworkReply* pending_ = nullptr;
    QTimer* pageLimit_ = nullptr;  // the web view's time limit
    QUrl url_;
    QString effect_;
    bool offline_ = false;
};

// Call before QApplication is created. The web view of the description window
// (when the editor is built with Qt WebEngine) needs shared OpenGL contexts and,
// when the editor runs as root, QTWEBENGINE_DISABLE_SANDBOX=1 (unless already
// set): Chromium's sandbox refuses to start as root. Does nothing otherwise.
void prepareDescriptionViewEnvironment();

}  // namespace zendal
