#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <gtest/gtest.h>
#include <memory>

#include "platform/web/WebView.h"
#include "sandbox/SandboxServer.h"
#include "tests/support/TestSupport.h"
#include "tests/web/PageClick.h"

using kova::platform::WebView;
using kova::sandbox::SandboxServer;
using kova::sandbox::ScriptedReply;
using kova::test::waitUntil;

namespace {

ScriptedReply html(const QByteArray &body)
{
    ScriptedReply reply = ScriptedReply::raw("<!DOCTYPE html><html><body>" + body + "</body></html>");
    reply.contentType = "text/html; charset=utf-8";
    return reply;
}

// The top-level widgets on screen (the engine keeps hidden ones of its own
// once the page has had a click).
QWidgetList shownWindows()
{
    QWidgetList shown;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->isVisible())
            shown.append(widget);
    return shown;
}

// Pixels that are not the page's white background.
int inkedPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            count += image.pixel(x, y) != 0xffffffff ? 1 : 0;
    return count;
}

class WebViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        window = std::make_unique<QWidget>();
        window->resize(390, 844);
        auto *layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        view = new WebView(window.get());
        layout->addWidget(view);
        QObject::connect(view, &WebView::urlChanged, [this](const QUrl &url) { changes.append(url); });
        QObject::connect(view, &WebView::loadFinished, [this](bool ok) { loads.append(ok); });
        QObject::connect(view, &WebView::newWindowRequested, [this](const QUrl &url) { windows.append(url); });
        QObject::connect(view, &WebView::navigationRefused, [this](const QUrl &url) { refused.append(url); });
        window->show();
    }

    QUrl url(const QString &pathAndQuery) const { return QUrl(server.baseUrl().toString() + pathAndQuery); }

    // Serves the page once and waits for it to finish loading.
    void open(const QString &path, const QByteArray &body, const QString &query = {})
    {
        server.scriptPath(path, html(body));
        view->load(url(query.isEmpty() ? path : path + "?" + query));
        ASSERT_TRUE(waitUntil([&] { return !loads.isEmpty(); }));
        ASSERT_TRUE(loads.last());
    }

    QVariant evaluate(const QString &script)
    {
        bool done = false;
        QVariant result;
        view->runJavaScript(script, [&](const QVariant &value) {
            result = value;
            done = true;
        });
        EXPECT_TRUE(waitUntil([&] { return done; })) << script.toStdString();
        return result;
    }

    bool requested(const QString &path) const { return !server.requestsForPath(path).isEmpty(); }

    // The sandbox under a name the engine takes for this device but the
    // transport rule does not: what is refused never reaches it.
    QUrl elsewhere(const QString &pathAndQuery) const
    {
        QUrl address = url(pathAndQuery);
        address.setHost(QStringLiteral("app.localhost"));
        return address;
    }

    void click(const QString &selector)
    {
        evaluate(kova::test::markFrames());
        ASSERT_TRUE(waitUntil([&] { return evaluate(kova::test::framesDrawn()).toBool(); })) << "the page drew no frame";
        ASSERT_TRUE(kova::test::clickInPage(view, evaluate(kova::test::centreOf(selector))));
    }

    SandboxServer server;
    std::unique_ptr<QWidget> window;
    WebView *view = nullptr;
    QList<QUrl> changes;
    QList<bool> loads;
    QList<QUrl> windows;
    QList<QUrl> refused;
};

} // namespace

TEST_F(WebViewTest, ShowsThePageOnceItHasPainted)
{
    open("/paint", "<div style='background:#cc0000;width:200px;height:120px'></div><h1>Banks</h1>");
    EXPECT_EQ(view->url(), url("/paint"));
    // A grab taken right at the end of the load may still be blank.
    QImage shot;
    ASSERT_TRUE(waitUntil([&] {
        shot = window->grab().toImage();
        return inkedPixels(shot) > 100;
    }));
    EXPECT_EQ(shot.size(), QSize(390, 844) * window->devicePixelRatio());
    const QRgb red = shot.pixel(40, 40);
    EXPECT_GT(qRed(red), 180);
    EXPECT_LT(qGreen(red), 40);
}

TEST_F(WebViewTest, APageHearsItIsHiddenAMomentAfterItsViewAndNotWhenShownAgainMeanwhile)
{
    open("/visibility", "<p>page</p>");
    evaluate("window.hiddenAt = null; window.changes = 0;"
             "document.addEventListener('visibilitychange', () => {"
             "  ++window.changes; if (document.hidden) window.hiddenAt = performance.now(); })");
    ASSERT_EQ(evaluate("document.visibilityState").toString(), "visible");

    // The view goes at once; the page hears of it no sooner than 100 ms after
    // a moment that came before the hiding.
    const double before = evaluate("performance.now()").toDouble();
    view->hide();
    EXPECT_FALSE(view->isVisible());
    ASSERT_TRUE(waitUntil([&] { return evaluate("document.visibilityState").toString() == "hidden"; }));
    EXPECT_GE(evaluate("window.hiddenAt").toDouble() - before, 90.0);
    view->show();
    ASSERT_TRUE(waitUntil([&] { return evaluate("document.visibilityState").toString() == "visible"; }));
    EXPECT_EQ(evaluate("window.changes").toInt(), 2);

    // Hidden and shown again within the moment: the page hears nothing.
    view->hide();
    view->show();
    QElapsedTimer waited;
    waited.start();
    waitUntil([&] { return waited.hasExpired(300); });
    EXPECT_EQ(evaluate("window.changes").toInt(), 2);
    EXPECT_EQ(evaluate("document.visibilityState").toString(), "visible");
}

TEST_F(WebViewTest, ReportsEveryAddressChangeInPageOnesIncluded)
{
    open("/v3/connection", "<p>page</p>");
    ASSERT_EQ(changes.value(0), url("/v3/connection"));

    evaluate("history.replaceState(null, '', '/v3/connection/link?a=1'); 1");
    ASSERT_TRUE(waitUntil([&] { return changes.size() == 2; }));
    EXPECT_EQ(changes[1], url("/v3/connection/link?a=1"));

    server.scriptPath("/v3/connection/success", html("<p>done</p>"));
    evaluate("location.assign('/v3/connection/success?userID=u%201&msg=a+b'); 1");
    ASSERT_TRUE(waitUntil([&] { return changes.size() == 3; }));
    EXPECT_EQ(changes[2].toEncoded(), url("/v3/connection/success?userID=u%201&msg=a+b").toEncoded());
    EXPECT_EQ(view->url(), changes[2]);
}

TEST_F(WebViewTest, ScriptedDialogsShowNothingConfirmIsFalsePromptIsNull)
{
    open("/dialogs", "<p>dialogs</p>");
    const QWidgetList before = QApplication::topLevelWidgets();
    const QVariantList answers =
        evaluate("[typeof alert('Your session ended'), confirm('Continue?'), prompt('Password?', 'hunter2')]").toList();
    ASSERT_EQ(answers.size(), 3);
    EXPECT_EQ(answers[0].toString(), QStringLiteral("undefined"));
    EXPECT_EQ(answers[1], QVariant(false));
    EXPECT_TRUE(answers[2].isNull() || !answers[2].isValid()) << answers[2].toString().toStdString();
    EXPECT_EQ(QApplication::topLevelWidgets(), before);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WebViewTest, NewWindowRequestsAreReportedAndOpenNoWindow)
{
    open("/links", "<a id='terms' target='_blank' href='https://kova.example/terms'>Terms</a><br>"
                   "<button id='help' onclick=\"window.open('mailto:help@kova.example')\">Help</button>");
    const QWidgetList before = shownWindows();
    click("#terms");
    ASSERT_TRUE(waitUntil([&] { return windows.size() == 1; }));
    EXPECT_EQ(windows[0], QUrl("https://kova.example/terms"));

    click("#help");
    ASSERT_TRUE(waitUntil([&] { return windows.size() == 2; }));
    EXPECT_EQ(windows[1], QUrl("mailto:help@kova.example"));

    EXPECT_EQ(shownWindows(), before);
    EXPECT_EQ(view->url(), url("/links")) << "the page stays where it was";
}

TEST_F(WebViewTest, PagesLeaveNothingOnDisk)
{
    QWebEngineProfile *profile = WebView::sharedProfile();
    EXPECT_TRUE(profile->isOffTheRecord());
    EXPECT_EQ(profile->httpCacheType(), QWebEngineProfile::MemoryHttpCache);
    WebView other;
    EXPECT_EQ(WebView::sharedProfile(), profile);

    open("/secret", "<script>document.cookie='session=s3cr3t; max-age=9999'; localStorage.setItem('k','s3cr3t');</script>",
         "userSecret=s3cr3t");
    EXPECT_EQ(evaluate("document.cookie").toString(), QStringLiteral("session=s3cr3t"));
    for (const auto location : {QStandardPaths::AppDataLocation, QStandardPaths::CacheLocation,
                                QStandardPaths::GenericDataLocation, QStandardPaths::GenericCacheLocation}) {
        const QString dir = QStandardPaths::writableLocation(location);
        EXPECT_FALSE(QDir(dir + "/QtWebEngine").exists()) << dir.toStdString();
        EXPECT_FALSE(QDir(dir + "/KovaTests/QtWebEngine").exists()) << dir.toStdString();
    }
}

TEST_F(WebViewTest, StopUnloadsThePageSoItsScriptsStop)
{
    open("/slow", "<script>setTimeout(function () { location.assign('/later'); }, 300);</script>");
    view->stop();
    ASSERT_TRUE(waitUntil([&] { return view->url() == QUrl("about:blank"); }));
    // Well past the page's timer: the page that set it is gone.
    EXPECT_FALSE(waitUntil([&] { return requested("/later"); }, std::chrono::milliseconds(1500)));
}

TEST_F(WebViewTest, AScriptResultIsDroppedWhenTheViewIsGoneFirst)
{
    open("/drop", "<p>x</p>");
    bool called = false;
    view->runJavaScript("1 + 1", [&](const QVariant &) { called = true; });
    delete view;
    view = nullptr;
    EXPECT_FALSE(waitUntil([&] { return called; }, std::chrono::milliseconds(500)));
}

TEST_F(WebViewTest, ReleasedEnginesLeaveAnInertView)
{
    open("/release", "<p>x</p>");
    WebView other;
    WebView::releaseEngines();
    EXPECT_EQ(view->engineView(), nullptr);
    EXPECT_EQ(other.engineView(), nullptr);
    EXPECT_TRUE(view->url().isEmpty());
    bool called = false;
    view->runJavaScript("1", [&](const QVariant &) { called = true; });
    view->load(url("/release"));
    view->stop();
    EXPECT_FALSE(waitUntil([&] { return called || server.requestsForPath("/release").size() > 1; },
                           std::chrono::milliseconds(300)));
}

TEST_F(WebViewTest, OnlyTheUsersOwnActionAsksForAWindow)
{
    // A frame of another origin that tries twice as soon as it loads, then
    // tells the page it has.
    QUrl frame = url("/frame");
    frame.setHost(QStringLiteral("localhost"));
    server.scriptPath("/frame", html("<script>window.open('https://kova.example/frame-1');"
                                     " window.open('https://kova.example/frame-2'); parent.postMessage('tried', '*');</script>"));
    open("/popups", "<a id='terms' target='_blank' href='https://kova.example/terms'>Terms</a>"
                    "<script>window.tried = 0; addEventListener('message', function () { ++window.tried; });"
                    " window.open('https://kova.example/on-load');</script>"
                    "<iframe src='" + frame.toEncoded() + "'></iframe>");
    ASSERT_TRUE(waitUntil([&] { return evaluate("window.tried").toInt() == 1; }));
    // The page's own script, with no click behind it.
    evaluate("window.open('https://kova.example/scripted'); document.getElementById('terms').click(); 1");

    click("#terms");
    ASSERT_TRUE(waitUntil([&] { return !windows.isEmpty(); }));
    evaluate("1"); // one more trip through the engine
    EXPECT_EQ(windows, QList<QUrl>{QUrl("https://kova.example/terms")});
}

TEST_F(WebViewTest, TheMainFrameGoesOnlyWhereTheSdksOwnRequestsMay)
{
    server.scriptPath("/elsewhere", html("<p>elsewhere</p>"));
    // The first address.
    view->load(elsewhere("/elsewhere?userSecret=s3cr3t#top"));
    ASSERT_TRUE(waitUntil([&] { return refused.size() == 1; }));
    EXPECT_EQ(refused[0], elsewhere("/elsewhere")) << "told without what the address carries";
    ASSERT_TRUE(waitUntil([&] { return loads == QList<bool>{false}; }));
    EXPECT_TRUE(view->url().isEmpty());
    loads.clear();

    // Where a page goes: by script, by a link the user clicks, by a refresh.
    open("/start", "<a id='away' href='" + elsewhere("/elsewhere?by=link").toEncoded() + "'>Away</a>");
    evaluate("location.assign('" + elsewhere("/elsewhere?by=script").toString() + "'); 1");
    ASSERT_TRUE(waitUntil([&] { return refused.size() == 2; }));
    click("#away");
    ASSERT_TRUE(waitUntil([&] { return refused.size() == 3; }));
    server.scriptPath("/refresh", html("<meta http-equiv='refresh' content='0; url=" + elsewhere("/elsewhere").toEncoded() + "'>"));
    view->load(url("/refresh"));
    ASSERT_TRUE(waitUntil([&] { return refused.size() == 4; }));
    EXPECT_EQ(refused.mid(1), QList<QUrl>(3, elsewhere("/elsewhere")));
    EXPECT_FALSE(requested("/elsewhere"));
    EXPECT_EQ(view->url(), url("/refresh"));

    // Loopback and https are fine, and so is anywhere once the host opts in.
    qputenv("KOVA_ALLOWS_ARBITRARY_LOADS", "yes");
    loads.clear();
    view->load(elsewhere("/elsewhere"));
    // The refused refresh may still report its own failed load after this
    // one started: what counts is that this one finishes.
    const bool loaded = waitUntil([&] { return loads.contains(true); });
    qunsetenv("KOVA_ALLOWS_ARBITRARY_LOADS");
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(requested("/elsewhere"));
    EXPECT_EQ(refused.size(), 4);
}
