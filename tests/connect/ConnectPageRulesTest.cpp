// What the connect page may do in its web view: where its main frame may go
// (the rule every SDK request follows) and who may open the system browser.
#include "ConnectTestSupport.h"
#include "core/store/KOVKeychain.h"
#include "platform/ui/Label.h"
#include "platform/web/WebView.h"
#include "ui/look/KOVButton.h"
#include "ui/messages/MessageViewController.h"

using namespace kova;
using namespace kova::test;
using State = KOVWebConnectViewController::State;

namespace {

const QString kRefusedDescription = QStringLiteral(
    "The resource could not be loaded because the App Transport Security policy requires the use of a secure connection.");

} // namespace

class ConnectPageRulesTest : public ConnectTest {
protected:
    void TearDown() override
    {
        qunsetenv("KOVA_ALLOWS_ARBITRARY_LOADS");
        ConnectTest::TearDown();
    }
    // The sandbox under a name the engine takes for this device but the
    // transport rule does not, as it would any other plain http host: what
    // is refused never reaches it.
    QUrl elsewhere() const
    {
        QUrl base = server->baseUrl();
        base.setHost(QStringLiteral("app.localhost"));
        return base;
    }
    std::shared_ptr<MessageViewController> message() const
    {
        return screen() ? screen()->messageViewController() : nullptr;
    }
};

TEST_F(ConnectPageRulesTest, APageAddressThePlainHttpRuleRefusesFailsTheScreenAndIsNeverAsked)
{
    startWithOptions();
    qputenv("KOVA_CONNECT_URL", elsewhere().toString().toUtf8());
    kova->presentConnect(delegate, QStringLiteral("SANDBOXBANK"));
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_EQ(delegate->events[0].bankID, QStringLiteral("SANDBOXBANK"));
    EXPECT_EQ(delegate->events[0].error, kRefusedDescription);
    ASSERT_TRUE(waitUntil([&] { return messageScreenShown(); }));
    EXPECT_EQ(message()->titleLabel()->text(), QStringLiteral("Error"));
    EXPECT_EQ(message()->messageLabel()->text(), kRefusedDescription);
    EXPECT_EQ(screen()->state(), State::Closed);
    EXPECT_TRUE(logs->contains(QStringLiteral("[Kova] The connect page may not load %1/v3/connection: plain http goes "
                                              "only to this device unless KOVA_ALLOWS_ARBITRARY_LOADS is YES")
                                   .arg(elsewhere().toString())))
        << logs->lines().join("\n").toStdString();
    EXPECT_TRUE(server->requestsForPath("/v3/connection").isEmpty());
    tap(message()->button());
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});

    // The host's opt-in lets the same address through.
    qputenv("KOVA_ALLOWS_ARBITRARY_LOADS", "YES");
    delegate->events.clear();
    presentAndWaitForPage();
    EXPECT_EQ(webView()->url().host(), QStringLiteral("app.localhost"));
    EXPECT_EQ(server->requestsForPath("/v3/connection").size(), 1);
    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"success"});
}

TEST_F(ConnectPageRulesTest, APageThatGoesToAPlainHttpHostFailsTheScreenAndSendsNothingThere)
{
    startWithOptions();
    presentAndWaitForPage();
    // A bank's page that sends the login's items to a host of its own.
    QUrl away = outcomeURL("success", pageLoginItems());
    away.setHost(elsewhere().host());
    navigatePage(away);
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_TRUE(delegate->events[0].bankID.isNull());
    EXPECT_EQ(delegate->events[0].error, kRefusedDescription);
    ASSERT_TRUE(waitUntil([&] { return messageScreenShown(); }));
    EXPECT_TRUE(server->requestsForPath("/v3/connection/success").isEmpty()) << "the login's secret left in clear text";
    EXPECT_TRUE(appServerRequests(kExchange).isEmpty());
    EXPECT_TRUE(kova->getConnections().isEmpty());
    EXPECT_TRUE(KOVKeychain::keychain()->allKeys().isEmpty());
    for (const QString &line : logs->lines())
        EXPECT_FALSE(line.contains("sbx-secret")) << line.toStdString();
}

TEST_F(ConnectPageRulesTest, AFrameOfAnotherOriginOpensNothingOnItsOwn)
{
    startWithOptions();
    QUrl frame = server->baseUrl();
    frame.setHost(QStringLiteral("localhost"));
    frame.setPath(QStringLiteral("/ads"));
    sandbox::ScriptedReply ads = sandbox::ScriptedReply::raw(
        "<!DOCTYPE html><script>window.open('https://ads.example/1'); window.open('https://ads.example/2');"
        " parent.postMessage('tried', '*');</script>");
    ads.contentType = "text/html; charset=utf-8";
    server->scriptPath("/ads", ads);
    presentAndWaitForPage();
    js(QStringLiteral("window.tried = 0; addEventListener('message', function () { ++window.tried; });"
                      " var f = document.createElement('iframe'); f.src = '%1'; document.body.appendChild(f); true")
           .arg(QString::fromLatin1(frame.toEncoded())));
    ASSERT_TRUE(waitUntil([&] { return js("window.tried") == QVariant(1); }));
    // The person's own click still opens its link.
    js("var a = document.createElement('a'); a.id = 'help'; a.href = 'https://bank.example/help'; a.target = '_blank';"
       " a.textContent = 'Help'; a.style.cssText = 'position: fixed; left: 20px; top: 60px; z-index: 9';"
       " document.body.appendChild(a); true");
    clickInPage("#help");
    ASSERT_TRUE(waitUntil([&] { return !opened.isEmpty(); }));
    js("true");
    drainMainQueue();
    EXPECT_EQ(opened, QList<QUrl>{QUrl("https://bank.example/help")});
    EXPECT_EQ(screen()->state(), State::PageShown);
}
