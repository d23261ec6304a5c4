// The description window: the page address, the page from a web server on the
// loopback address, and the catalogue's offline copy when there is none.
#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>

#ifdef ZENDAL_HAVE_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineView>
#endif

#include "effects/FxInfoPage.h"
#include "effects/ui/TformFXInfo.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "resources/ResourceStore.h"

using namespace zendal;

namespace {

constexpr int kWaitMs = 30000;

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// A catalogue of our own with one described and one undescribed effect.
class TinyCatalogue {
  public:
    TinyCatalogue() {
        write(QStringLiteral("EFFECT_LIST"),
              "0:empty\r\n1:Tape Echo + Wah-Wah\r\n2:Plain Boost\r\n3:Octave X Fuzz\r\n");
        write(QStringLiteral("TAPE_ECHO_PLUS_WAH_WAH_INFO"),
              "<html><body><h1>Tape Echo</h1><p>Warm repeats with a wah.</p></body></html>");
        write(QStringLiteral("OCTAVE_MULT_FUZZ_INFO"), "<p>Octave up fuzz.</p>");
        ResourceStore::instance().setInstalledFolderForTesting(dir_.path());
    }
    ~TinyCatalogue() { ResourceStore::instance().setInstalledFolderForTesting(QString()); }

  private:
    void write(const QString& name, const QByteArray& text) {
        QFile f(QDir(dir_.path()).filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QTemporaryDir dir_;
};

// A web server on 127.0.0.1 that answers every request with one status and
// page, and remembers the request lines.
class LoopbackServer : public QObject {
  public:
    LoopbackServer() {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] { serve(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QByteArray base() const {
        return "http://127.0.0.1:" + QByteArray::number(server_.serverPort());
    }

    int status = 200;
    QByteArray page = "<html><body><p>From the server</p></body></html>";
    QList<QByteArray> requestLines;

    // The requests for description pages (a web view also asks for the icon).
    QList<QByteArray> pageRequests() const {
        QList<QByteArray> pages;
        for (const QByteArray& line : requestLines)
            if (!line.startsWith("GET /favicon.ico ")) pages << line;
        return pages;
    }

  private:
    void serve(QTcpSocket* s) {
        QByteArray& buffer = buffers_[s];
        buffer += s->readAll();
        if (!buffer.contains("\r\n\r\n")) return;
        const QByteArray line = buffer.left(buffer.indexOf("\r\n"));
        requestLines << line;
        const QByteArray reason = status == 200 ? "OK" : "Not Found";
        const QByteArray body =
            status == 200 ? page + "<p>served " + line.split(' ').value(1) + "</p>" : "missing";
        s->write("HTTP/1.1 " + QByteArray::number(status) + " " + reason +
                 "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        s->disconnectFromHost();
        buffers_.remove(s);
    }
    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

// A port on the loopback address where nothing listens.
QByteArray closedBase() {
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    return "http://127.0.0.1:" + QByteArray::number(port);
}

// A server on 127.0.0.1 that takes the connection and never answers.
class SilentServer {
  public:
    SilentServer() { EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0)); }
    QByteArray base() const {
        return "http://127.0.0.1:" + QByteArray::number(server_.serverPort());
    }

  private:
    QTcpServer server_;
};

bool waitForPage(QSignalSpy& spy) {
    return spy.count() > 0 || spy.wait(kWaitMs);
}

// The text the window shows, from whichever view it was built with.
QString shownText(TformFXInfo& w) {
#ifdef ZENDAL_HAVE_WEBENGINE
    auto* view = w.findChild<QWebEngineView*>(QStringLiteral("WebBrowser1"));
    if (!view) return {};
    QString text;
    bool answered = false;
    QEventLoop loop;
    view->page()->toPlainText([&](const QString& t) {
        text = t;
        answered = true;
        loop.quit();
    });
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    if (!answered) loop.exec();
    return text;
#else
    auto* browser = w.findChild<QTextBrowser*>(QStringLiteral("WebBrowser1"));
    return browser ? browser->toPlainText() : QString();
#endif
}

// ---- The address -----------------------------------------------------------

TEST(FxInfoPageUrl, DisplayNameIsOnePercentEncodedSegment) {
    struct Case {
        const char* base;
        const char* name;
        const char* encoded;
    };
    const Case cases[] = {
        {"https://example.test", "Tape Echo + Wah-Wah",
         "https://example.test/download/zendal/fxinfo/Tape%20Echo%20+%20Wah-Wah-info.html"},
        {"https://example.test/", "Octave X Fuzz",
         "https://example.test/download/zendal/fxinfo/Octave%20X%20Fuzz-info.html"},
        {"https://example.test/site", "Plain",
         "https://example.test/site/download/zendal/fxinfo/Plain-info.html"},
        {"http://127.0.0.1:8080", "What? #1 100%",
         "http://127.0.0.1:8080/download/zendal/fxinfo/What%3F%20%231%20100%25-info.html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv base("ZENDAL_WEB_BASE", c.base);
        const QUrl url = fxInfoPageUrl(QString::fromLatin1(c.name));
        EXPECT_EQ(url.toString(QUrl::FullyEncoded), QString::fromLatin1(c.encoded));
        EXPECT_EQ(url.path(QUrl::FullyDecoded).section(QLatin1Char('/'), -1),
                  QString::fromLatin1(c.name) + QStringLiteral("-info.html"));
    }
}

TEST(FxInfoPageUrl, TestsFetchOnlyFromLoopback) {
    ScopedEnv test("ZENDAL_TEST", "1");
    struct Case {
        const char* url;
        bool allowed;
    };
    const Case cases[] = {{"http://127.0.0.1:1/x", true},
                          {"http://localhost/x", true},
                          {"https://www.tavrel.com/x", false},
                          {"http://192.168.1.2/x", false},
                          {"http://127.example.com/x", false}};
    for (const Case& c : cases)
        EXPECT_EQ(mayFetch(QUrl(QString::fromLatin1(c.url))), c.allowed) << c.url;
}

TEST(OfflineDescription, CatalogueCopyWithItsNote) {
    TinyCatalogue catalogue;
    const QString described = offlineDescriptionHtml(QStringLiteral("Tape Echo + Wah-Wah"));
    EXPECT_TRUE(described.contains(QStringLiteral("Warm repeats with a wah.")));
    EXPECT_TRUE(described.contains(QStringLiteral("<body><p><i>Offline copy:")));
    const QString fragment = offlineDescriptionHtml(QStringLiteral("Octave X Fuzz"));
    EXPECT_TRUE(fragment.startsWith(QStringLiteral("<p><i>Offline copy:")));
    EXPECT_TRUE(fragment.endsWith(QStringLiteral("<p>Octave up fuzz.</p>")));
    EXPECT_EQ(offlineDescriptionHtml(QStringLiteral("Plain Boost")),
              QStringLiteral("<p>No description available offline.</p>"));
}

// ---- The window ------------------------------------------------------------

class FxInfoWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        device.reset();
        device.setSelectedEffectName(QStringLiteral("Tape Echo + Wah-Wah"));
    }
    void TearDown() override { device.reset(); }

    TinyCatalogue catalogue;
    const QRect parameterWindow{100, 50, 420, 310};
    PedalConnection connection;
    DeviceController device{connection};
    TformFXInfo window{device};
};

TEST_F(FxInfoWindow, ShowsTheServersPageBesideTheParameterWindow) {
    LoopbackServer server;
    ScopedEnv base("ZENDAL_WEB_BASE", server.base());
    QSignalSpy shown(&window, &TformFXInfo::pageShown);

    window.showDescription(parameterWindow);

    ASSERT_TRUE(waitForPage(shown));
    EXPECT_TRUE(shown.first().first().toBool());
    EXPECT_FALSE(window.showsOfflineCopy());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tape Echo + Wah-Wah"));
    EXPECT_EQ(window.pos(), QPoint(520, 50));
    EXPECT_EQ(window.size(), QSize(612, 640));
    auto* view = window.findChild<QWidget*>(QStringLiteral("WebBrowser1"));
    ASSERT_TRUE(view);
    EXPECT_EQ(view->geometry(), QRect(8, 8, 596, 627));
    ASSERT_EQ(server.pageRequests().size(), 1);
    EXPECT_EQ(server.pageRequests()[0],
              "GET /download/zendal/fxinfo/Tape%20Echo%20+%20Wah-Wah-info.html HTTP/1.1");
    EXPECT_TRUE(shownText(window).contains(QStringLiteral("From the server")));
}

TEST_F(FxInfoWindow, WithoutThePageShowsTheOfflineCopy) {
    LoopbackServer missing;
    missing.status = 404;
    SilentServer silent;
    struct Case {
        const char* name;
        QByteArray base;
        const char* effect;
        const char* text;
    };
    const Case cases[] = {
        {"PortClosed", closedBase(), "Tape Echo + Wah-Wah", "Warm repeats with a wah."},
        {"PageNotFound", missing.base(), "Tape Echo + Wah-Wah", "Warm repeats with a wah."},
        // Given up after the page's time limit.
        {"ServerSilent", silent.base(), "Tape Echo + Wah-Wah", "Warm repeats with a wah."},
        {"NoOfflineCopy", closedBase(), "Plain Boost", "No description available offline."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv base("ZENDAL_WEB_BASE", c.base);
        device.setSelectedEffectName(QString::fromLatin1(c.effect));
        QSignalSpy shown(&window, &TformFXInfo::pageShown);
        window.showDescription(parameterWindow);
        ASSERT_TRUE(waitForPage(shown));
        EXPECT_FALSE(shown.first().first().toBool());
        EXPECT_TRUE(window.showsOfflineCopy());
        EXPECT_TRUE(shownText(window).contains(QString::fromLatin1(c.text)));
        EXPECT_EQ(window.windowTitle(), QString::fromLatin1(c.effect));
    }
    EXPECT_TRUE(shownText(window).contains(QStringLiteral("No description available offline.")));
    EXPECT_FALSE(shownText(window).contains(QStringLiteral("Offline copy")));
}

TEST_F(FxInfoWindow, ANewChoiceReplacesCaptionAndPageAndKeepsThePlace) {
    LoopbackServer server;
    ScopedEnv base("ZENDAL_WEB_BASE", server.base());
    {
        QSignalSpy shown(&window, &TformFXInfo::pageShown);
        window.showDescription(parameterWindow);
        ASSERT_TRUE(waitForPage(shown));
    }
    server.page = "<p>Second page</p>";
    device.setSelectedEffectName(QStringLiteral("Octave X Fuzz"));
    QSignalSpy shown(&window, &TformFXInfo::pageShown);
    window.showDescription(parameterWindow);
    ASSERT_TRUE(waitForPage(shown));

    EXPECT_EQ(window.windowTitle(), QStringLiteral("Octave X Fuzz"));
    EXPECT_EQ(window.pos(), QPoint(520, 50));
    EXPECT_TRUE(shownText(window).contains(QStringLiteral("Second page")));
    ASSERT_EQ(server.pageRequests().size(), 2);
    EXPECT_EQ(server.pageRequests()[1],
              "GET /download/zendal/fxinfo/Octave%20X%20Fuzz-info.html HTTP/1.1");
}

TEST_F(FxInfoWindow, AChoiceMadeWhileThePageLoadsWins) {
    LoopbackServer server;
    ScopedEnv base("ZENDAL_WEB_BASE", server.base());
    QSignalSpy shown(&window, &TformFXInfo::pageShown);
    window.showDescription(parameterWindow);
    device.setSelectedEffectName(QStringLiteral("Octave X Fuzz"));
    server.page = "<p>Fuzz page</p>";
    window.showDescription(parameterWindow);
    ASSERT_TRUE(waitForPage(shown));
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(window.pageUrl().path(),
              QStringLiteral("/download/zendal/fxinfo/Octave X Fuzz-info.html"));
    EXPECT_TRUE(shownText(window).contains(QStringLiteral("Fuzz page")));
}

}  // namespace

namespace {

TEST(FxInfoWindowLifetime, ClosingWhileThePageLoadsIsHarmless) {
    LoopbackServer server;
    ScopedEnv base("ZENDAL_WEB_BASE", server.base());
    PedalConnection connection;
    DeviceController device(connection);
    device.setSelectedEffectName(QStringLiteral("Octave X Fuzz"));
    auto* window = new TformFXInfo(device);
    window->showDescription(QRect(0, 0, 420, 300));
    delete window;
    // Let the server and the network stack see the abandoned request.
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
    SUCCEED();
}

}  // namespace
