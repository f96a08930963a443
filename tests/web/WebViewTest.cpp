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

    SandboxServer server;
    std::unique_ptr<QWidget> window;
    WebView *view = nullptr;
    QList<QUrl> changes;
    QList<bool> loads;
    QList<QUrl> windows;
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
    open("/links", "<a id='terms' target='_blank' href='https://kova.example/terms'>Terms</a>");
    const QWidgetList before = QApplication::topLevelWidgets();
    evaluate("document.getElementById('terms').click(); 1");
    ASSERT_TRUE(waitUntil([&] { return windows.size() == 1; }));
    EXPECT_EQ(windows[0], QUrl("https://kova.example/terms"));

    evaluate("window.open('mailto:help@kova.example'); 1");
    ASSERT_TRUE(waitUntil([&] { return windows.size() == 2; }));
    EXPECT_EQ(windows[1], QUrl("mailto:help@kova.example"));

    EXPECT_EQ(QApplication::topLevelWidgets(), before);
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
