// One connect screen at a time: what a second presentConnect does while one
// is up or coming up, what a dismissal takes down, and what a page whose
// screen is leaving can still do.
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebEngineView>

#include "ConnectTestSupport.h"
#include "platform/ui/Application.h"
#include "platform/web/WebView.h"

using namespace kova;
using namespace kova::test;
using State = KOVWebConnectViewController::State;

class ConnectScreenUpAndAwayTest : public ConnectTest {
protected:
    void TearDown() override
    {
        platform::Application::shared().setAnimationsEnabled(false);
        ConnectTest::TearDown();
    }

    // The host dismisses a screen that is up and presents again at once: the
    // screen leaving, then the one waiting for it to go.
    std::pair<std::shared_ptr<KOVWebConnectViewController>, std::shared_ptr<KOVWebConnectViewController>>
    presentAgainWhileLeaving()
    {
        startWithOptions();
        presentAndWaitForPage();
        const auto first = screen();
        server->clearRequests();
        animate(true);
        kova->dismissConnect();
        kova->presentConnect(delegate);
        return {first, screen()};
    }
    // Every controller presented in the window, bottom up.
    QList<std::shared_ptr<platform::ViewController>> presentedChain() const
    {
        QList<std::shared_ptr<platform::ViewController>> chain;
        for (auto c = window->rootViewController()->presentedViewController(); c; c = c->presentedViewController())
            chain.append(c);
        return chain;
    }
    // What the README tells a host's test to look at: the page's view in the
    // window's top layer.
    QWebEngineView *pageViewOnTop() const
    {
        const auto top = window->topPresentedViewController();
        return top ? top->view()->findChild<QWebEngineView *>() : nullptr;
    }
    bool settledOn(const std::shared_ptr<KOVWebConnectViewController> &shown) const
    {
        return window->topPresentedViewController() == shown && shown->isVisible() && !shown->isBeingPresented();
    }
    // Navigates a page the way its own script would, whoever shows it.
    static void goTo(QWebEnginePage *page, const QUrl &url)
    {
        page->runJavaScript(QStringLiteral("location.assign(%1)")
                                .arg(QString::fromUtf8(QJsonDocument(QJsonArray{url.toString(QUrl::FullyEncoded)})
                                                           .toJson(QJsonDocument::Compact))
                                         .mid(1)
                                         .chopped(1)));
    }
    static void animate(bool on) { platform::Application::shared().setAnimationsEnabled(on); }
};

TEST_F(ConnectScreenUpAndAwayTest, ALeavingScreensPageIsHiddenAtOnceAndWhatItStillDoesGoesUnheard)
{
    startWithOptions();
    for (const bool byUser : {true, false}) {
        SCOPED_TRACE(byUser ? "the user's swipe" : "the host's dismissal");
        delegate->events.clear();
        presentAndWaitForPage();
        const auto leaving = screen();
        QWebEngineView *oldPage = leaving->webView()->engineView();
        animate(true);
        if (byUser)
            swipeDown(window.get());
        else
            kova->dismissConnect();
        ASSERT_TRUE(leaving->isBeingDismissed()) << "the screen is already gone: nothing to test";
        EXPECT_FALSE(oldPage->isVisible()) << "the page still shows while its screen slides away";
        int pagesShown = 0;
        for (const QWebEngineView *page : window->findChildren<QWebEngineView *>())
            pagesShown += page->isVisible() ? 1 : 0;
        EXPECT_EQ(pagesShown, 0) << "a search of the window finds the leaving page";
        // The page still finishes a login, as a host's test driving it would.
        goTo(oldPage->page(), outcomeURL("success", pageLoginItems()));
        // The host opens the page again at once.
        if (!byUser)
            kova->presentConnect(delegate);
        ASSERT_TRUE(waitUntil([&] { return leaving->presentingViewController() == nullptr; }));
        animate(false);
        drainMainQueue();
        EXPECT_TRUE(appServerRequests(kExchange).isEmpty()) << "the leaving page linked a bank";
        EXPECT_EQ(delegate->kinds(), byUser ? QStringList{"dismiss"} : QStringList{});
        EXPECT_TRUE(kova->getConnections().isEmpty());
        if (byUser)
            continue;

        // The new screen's page is the one in the top layer, and only it is shown.
        const auto reopened = screen();
        ASSERT_NE(reopened, leaving);
        ASSERT_TRUE(waitUntil([&] { return settledOn(reopened) && pageSaidLink(); }));
        QWebEngineView *newPage = pageViewOnTop();
        ASSERT_TRUE(newPage);
        EXPECT_EQ(newPage, reopened->webView()->engineView());
        EXPECT_TRUE(newPage->isVisible());
        goTo(newPage->page(), outcomeURL("success", pageLoginItems()));
        ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
        ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }))
            << "the screen that linked stays up";
        EXPECT_EQ(delegate->kinds(), QStringList{"success"});
        EXPECT_EQ(appServerRequests(kExchange).size(), 1);
    }
}

TEST_F(ConnectScreenUpAndAwayTest, ASecondPresentConnectLeavesTheScreenThatIsUpAndOneDismissalTakesItDown)
{
    startWithOptions({"AE", "SA"});
    const struct {
        const char *when;
        bool pageShown;
    } cases[] = {{"while it slides in", false}, {"once its page is shown", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.when);
        server->clearRequests();
        animate(true);
        kova->presentConnect(delegate);
        const auto first = screen();
        ASSERT_TRUE(first && first->isBeingPresented());
        if (c.pageShown) {
            ASSERT_TRUE(waitUntil([&] { return settledOn(first) && first->state() == State::PageShown; }));
        }
        // The host's button, tapped again.
        kova->presentConnect(delegate, QStringLiteral("OASISBANK"));
        EXPECT_EQ(screen(), first);
        EXPECT_TRUE(logs->contains("[Kova] The connect screen is already up: it stays, and no second one is shown"));
        ASSERT_TRUE(waitUntil([&] { return settledOn(first) && pageSaidLink(); }));
        EXPECT_EQ(presentedChain(), (QList<std::shared_ptr<platform::ViewController>>{first}));

        kova->dismissConnect();
        ASSERT_TRUE(waitUntil([&] { return first->presentingViewController() == nullptr; }));
        drainMainQueue();
        EXPECT_EQ(window->topPresentedViewController(), nullptr) << "a connect screen is left up";
        kova->dismissConnect();
        drainMainQueue();
        animate(false);
        const auto pages = server->requestsForPath("/v3/connection");
        ASSERT_EQ(pages.size(), 1) << "one page per screen";
        EXPECT_EQ(pages[0].query.queryItemValue("bankID"), QString());
    }
    EXPECT_TRUE(delegate->events.isEmpty());
}

TEST_F(ConnectScreenUpAndAwayTest, AScreenWaitingForTheLastOneToLeaveIsTakenBackByTheDismissal)
{
    const auto [first, waiting] = presentAgainWhileLeaving();
    ASSERT_NE(waiting, first);
    // The host changes its mind before the first has gone.
    kova->dismissConnect();
    ASSERT_TRUE(waitUntil([&] { return first->presentingViewController() == nullptr; }));
    drainMainQueue();
    EXPECT_EQ(window->topPresentedViewController(), nullptr) << "the screen taken back went up anyway";
    EXPECT_FALSE(waiting->isViewLoaded());
    EXPECT_TRUE(server->requestsForPath("/v3/connection").isEmpty());

    // The host's next presentConnect goes up as usual.
    animate(false);
    presentAndWaitForPage();
    EXPECT_EQ(presentedChain(), (QList<std::shared_ptr<platform::ViewController>>{screen()}));
    EXPECT_TRUE(delegate->events.isEmpty());
}

TEST_F(ConnectScreenUpAndAwayTest, TwoTapsWhileTheClosedScreenLeavesBringUpOneScreen)
{
    const auto [first, waiting] = presentAgainWhileLeaving();
    kova->presentConnect(delegate, QStringLiteral("OASISBANK")); // the same button, tapped twice
    ASSERT_TRUE(first->isBeingDismissed()) << "the first screen left before the taps";
    EXPECT_EQ(screen(), waiting);
    EXPECT_TRUE(logs->contains("[Kova] The connect screen is already up: it stays, and no second one is shown"));
    ASSERT_TRUE(waitUntil([&] { return settledOn(waiting) && pageSaidLink(); }));
    animate(false);
    drainMainQueue();
    EXPECT_EQ(presentedChain(), (QList<std::shared_ptr<platform::ViewController>>{waiting}));
    const auto pages = server->requestsForPath("/v3/connection");
    ASSERT_EQ(pages.size(), 1) << "one page per screen";
    EXPECT_EQ(pages[0].query.queryItemValue("bankID"), QString());
    EXPECT_TRUE(delegate->events.isEmpty());
}

TEST_F(ConnectScreenUpAndAwayTest, AScreenClosedWhileItSlidesInMakesWayForTheNextOne)
{
    startWithOptions({"SA"});
    animate(true);
    kova->presentConnect(delegate);
    const auto first = screen();
    ASSERT_TRUE(first->isBeingPresented());
    kova->dismissConnect();
    EXPECT_EQ(first->state(), State::Closed) << "its page is no longer heard";
    kova->presentConnect(delegate, QStringLiteral("OASISBANK"));
    const auto second = screen();
    ASSERT_NE(second, first);
    ASSERT_TRUE(waitUntil([&] { return first->presentingViewController() == nullptr && settledOn(second); }));
    animate(false);
    ASSERT_TRUE(waitUntil([&] { return pageSaidLink(); }));
    drainMainQueue();
    EXPECT_EQ(presentedChain(), (QList<std::shared_ptr<platform::ViewController>>{second}));
    EXPECT_EQ(second->state(), State::PageShown);
    EXPECT_EQ(js("document.getElementById('bank-name').textContent"), QVariant(QStringLiteral("Oasis National Bank")));

    kova->dismissConnect();
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    EXPECT_TRUE(delegate->events.isEmpty());
}
