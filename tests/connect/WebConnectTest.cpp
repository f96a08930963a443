#include <functional>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

#include "ConnectTestSupport.h"
#include "core/KOVAppManager.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVAccount.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"
#include "core/store/KOVKeychain.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/store/ManagedObjectContext.h"
#include "ui/look/KOVButton.h"
#include "platform/ui/Label.h"
#include "platform/ui/NotificationCenter.h"
#include "platform/web/WebView.h"
#include "sandbox/SandboxData.h"
#include "ui/connect/KOVConnectPage.h"
#include "ui/look/AnimatedFramesView.h"
#include "ui/look/KOVFontManager.h"

using namespace kova;
using namespace kova::test;
using State = KOVWebConnectViewController::State;

namespace {

sandbox::ScriptedReply metadataReply(std::chrono::milliseconds delay)
{
    sandbox::ScriptedReply reply = sandbox::ScriptedReply::json(QJsonObject{
        {"success", true},
        {"operationID", "op-metadata"},
        {"accountsMetadata", sandbox::SandboxData::accountsMetadata("SANDBOXBANK")},
    });
    reply.delay = delay;
    return reply;
}

} // namespace

class WebConnectTest : public ConnectTest {};

TEST_F(WebConnectTest, ALoginThroughThePageIsStoredAndReportedOnce)
{
    startWithOptions({"AE"});
    presentAndWaitForPage();

    // The page was asked for with every item; the page kept only the banks of the options' countries.
    const auto pageRequests = server->requestsForPath("/v3/connection");
    ASSERT_EQ(pageRequests.size(), 1);
    EXPECT_EQ(pageRequests[0].query.toString(QUrl::FullyEncoded),
              QStringLiteral("appKey=app-key-1&isMobile=false&isWebview=true&countries=%5B%22AE%22%5D"
                             "&environment=sandbox&showLogo=true&bankID"));
    EXPECT_EQ(js("Array.prototype.map.call(document.querySelectorAll('.bank'), function (b) {"
                 " return b.getAttribute('data-bank'); }).join(',')"),
              QVariant(QStringLiteral("SANDBOXBANK,DUNEBANK")));

    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    drainMainQueue();

    ASSERT_EQ(delegate->kinds(), QStringList{"success"});
    const auto &event = delegate->events[0];
    EXPECT_EQ(event.bankID, QStringLiteral("SANDBOXBANK"));
    EXPECT_FALSE(event.screenStillShown) << "the success is told once the screen has gone";
    EXPECT_EQ(window->topPresentedViewController(), nullptr);

    // What the app server received: the exchange, then the metadata call of the new login.
    const auto exchanges = appServerRequests(kExchange);
    ASSERT_EQ(exchanges.size(), 1);
    EXPECT_EQ(exchanges[0].json, (QJsonObject{{"connectionID", "sbx-connection-1"},
                                             {"accessCode", "sbx-access-1"},
                                             {"tokenID", "sbx-token-1"},
                                             {"userID", "sbx-user-1"},
                                             {"appKey", "app-key-1"},
                                             {"action", kExchange},
                                             {"bundleID", QJsonValue::Null}}));
    const auto metadata = appServerRequests(kMetadata);
    ASSERT_EQ(metadata.size(), 1);
    EXPECT_EQ(metadata[0].json, (QJsonObject{{"userSecret", "sbx-secret-1"},
                                            {"tokenID", "sbx-token-1"},
                                            {"userID", "sbx-user-1"},
                                            {"bankID", "SANDBOXBANK"},
                                            {"appKey", "app-key-1"},
                                            {"action", kMetadata},
                                            {"bundleID", QJsonValue::Null}}));

    // Stored with its bank, its colours and its metadata, and its secret in the keychain.
    const auto listed = kova->getConnections();
    ASSERT_EQ(listed.size(), 1);
    const auto record = listed[0]->connection();
    EXPECT_EQ(record->userID(), QStringLiteral("sbx-user-1"));
    EXPECT_EQ(record->clientUserID(), QStringLiteral("client-1"));
    ASSERT_TRUE(record->bankInfo());
    EXPECT_EQ(record->bankInfo()->bankName(), QStringLiteral("Sandbox Bank"));
    ASSERT_TRUE(record->bankInfo()->colorScheme());
    EXPECT_EQ(record->bankInfo()->colorScheme()->mainColor(), QStringLiteral("#0B6E4F"));
    EXPECT_EQ(record->bankInfo()->colorScheme()->secondaryColor(), QStringLiteral("#F4B942"));
    EXPECT_EQ(record->bankInfo()->swiftCode(), QStringLiteral("SBXBAEAD")) << "the metadata reply was stored";
    EXPECT_FALSE(KOVAppManager::sharedInstance().viewContext().hasChanges()) << "everything was saved";
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey("sbx-token-1sbx-user-1"), QStringLiteral("sbx-secret-1"));

    // The connection the host got works.
    ASSERT_TRUE(event.connection);
    EXPECT_EQ(event.connection->connection(), record);
    bool answered = false;
    event.connection->getAccounts([&](QList<std::shared_ptr<KOVAccount>> accounts, OptionalError error, QString) {
        EXPECT_FALSE(error.has_value());
        EXPECT_EQ(accounts.size(), sandbox::SandboxData::accounts().size());
        answered = true;
    });
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    EXPECT_EQ(countOf("success"), 1);
}

TEST_F(WebConnectTest, TheScreenLoadsThenShowsThePageThenVerifies)
{
    startWithOptions();
    server->scriptAction(kMetadata, kova::test::silent());
    kova->presentConnect(delegate);
    const auto shown = screen();
    ASSERT_TRUE(shown);
    ASSERT_TRUE(waitUntil([&] { return shown->isViewLoaded() && shown->isVisible(); }));
    EXPECT_EQ(shown->state(), State::LoadingPage);
    EXPECT_EQ(shown->footnoteLabel()->text(), QStringLiteral("Connecting your bank, made simple"));
    // Medium 16 in the platform's grey.
    EXPECT_EQ(shown->footnoteLabel()->textColor().rgb(), QColor(128, 128, 128).rgb());
    EXPECT_EQ(shown->footnoteLabel()->font(), KOVFontManager::font(KOVFontManager::medium(), 16));
    EXPECT_FALSE(shown->webView()->isVisible());
    ASSERT_TRUE(shown->animatedImageView());
    EXPECT_TRUE(shown->animatedImageView()->isVisible());
    EXPECT_EQ(shown->animatedImageView()->size(), QSize(100, 100));
    ASSERT_TRUE(waitUntil([&] { return !shown->animatedImageView()->animation().isNull(); }));
    const qint64 loadingFrame = shown->animatedImageView()->animation().images.first().cacheKey();

    ASSERT_TRUE(waitUntil([&] { return shown->state() == State::PageShown; }));
    EXPECT_TRUE(shown->webView()->isVisible());
    EXPECT_EQ(shown->webView()->geometry(), shown->view()->rect()) << "the page fills the whole screen";
    EXPECT_FALSE(shown->animatedImageView() && shown->animatedImageView()->isVisible());
    // The host changes its options while the person logs in: the verifying
    // state says what they say by then.
    kova->configurations()->setPostSuccessfulConnectionLoadingText(QStringLiteral("Almost there"));

    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(waitUntil([&] { return !appServerRequests(kMetadata).isEmpty(); }));
    EXPECT_EQ(shown->state(), State::Verifying);
    EXPECT_FALSE(shown->webView()->isVisible());
    EXPECT_TRUE(shown->animatedImageView()->isVisible());
    EXPECT_EQ(shown->animatedImageView()->size(), QSize(100, 100));
    EXPECT_EQ(shown->animatedImageView()->geometry().center(), shown->view()->rect().center());
    EXPECT_EQ(shown->footnoteLabel()->text(), QStringLiteral("Almost there"));
    EXPECT_TRUE(shown->footnoteLabel()->isVisible());
    // The same decoded frames play again: nothing is decoded while the login's requests wait.
    ASSERT_FALSE(shown->animatedImageView()->animation().isNull());
    EXPECT_EQ(shown->animatedImageView()->animation().images.first().cacheKey(), loadingFrame);
    EXPECT_TRUE(shown->connection()) << "the record exists while its metadata is fetched";
    EXPECT_TRUE(delegate->events.isEmpty());
}

TEST_F(WebConnectTest, APageErrorIsToldWithBlanksForPlusAndTheScreenStays)
{
    startWithOptions();
    presentAndWaitForPage();
    logIn("DUNEBANK", "alice", "wrong");
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_EQ(delegate->events[0].bankID, QStringLiteral("DUNEBANK"));
    EXPECT_EQ(delegate->events[0].error, QStringLiteral("Invalid user name or password"));
    EXPECT_EQ(KOVConnectPage::queryItems(webView()->url()).value("msg").toString(),
              QStringLiteral("Invalid+user+name+or+password"));
    EXPECT_EQ(screen()->state(), State::PageShown);
    EXPECT_EQ(window->topPresentedViewController(), screen());

    // Without "msg" and "bankID" the host gets neither; the last "msg" wins.
    js("history.pushState(null, '', '/v3/connection/error'); true");
    ASSERT_TRUE(waitUntil([&] { return delegate->events.size() == 2; }));
    EXPECT_TRUE(delegate->events[1].bankID.isNull());
    EXPECT_TRUE(delegate->events[1].error.isNull());
    js("history.pushState(null, '', '/v3/connection/error?msg=first&msg=Second+try&bankID=B%2B1'); true");
    ASSERT_TRUE(waitUntil([&] { return delegate->events.size() == 3; }));
    EXPECT_EQ(delegate->events[2].error, QStringLiteral("Second try"));
    EXPECT_EQ(delegate->events[2].bankID, QStringLiteral("B+1"));
    EXPECT_TRUE(appServerRequests(kExchange).isEmpty());
}

TEST_F(WebConnectTest, ExitClosesTheScreenFirstAndThenTellsTheHost)
{
    startWithOptions();
    presentAndWaitForPage();
    js("document.getElementById('close').click(); true");
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), QStringList{"dismiss"});
    EXPECT_FALSE(delegate->events[0].screenStillShown);
    EXPECT_EQ(window->topPresentedViewController(), nullptr);
    EXPECT_EQ(screen()->state(), State::Closed);
}

TEST_F(WebConnectTest, SwipingThePageAwayTellsTheHostAndAbandonsWhatThePageStillDoes)
{
    startWithOptions();
    presentAndWaitForPage();
    // A bank redirect that would arrive after the user has left.
    const QUrl late = outcomeURL("success", pageLoginItems());
    js(QStringLiteral("setTimeout(function () { location.assign('%1'); }, 300); true").arg(late.toString(QUrl::FullyEncoded)));
    swipeDown(window.get());
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"dismiss"});
    ASSERT_TRUE(waitUntil([&] { return webView()->url() == QUrl("about:blank"); })) << "the page is stopped";
    EXPECT_FALSE(waitUntil([&] { return !server->requestsForPath("/v3/connection/success").isEmpty(); },
                           std::chrono::milliseconds(1500)));
    EXPECT_TRUE(appServerRequests(kExchange).isEmpty());
    EXPECT_TRUE(kova->getConnections().isEmpty());
    EXPECT_EQ(delegate->kinds(), QStringList{"dismiss"});
}

TEST_F(WebConnectTest, ASwipeOnceTheLoginIsStoredSendsNothingAndTheSuccessStillComes)
{
    startWithOptions();
    server->scriptAction(kMetadata, metadataReply(std::chrono::milliseconds(700)));
    presentAndWaitForPage();
    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(waitUntil([&] { return screen()->connection() != nullptr; }));
    swipeDown(window.get());
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), QStringList{"success"});
    EXPECT_EQ(kova->getConnections().size(), 1);
}

TEST_F(WebConnectTest, AFailedExchangeClosesTheScreenAndShowsTheMessage)
{
    startWithOptions();
    presentAndWaitForPage();
    logIn("SANDBOXBANK", "badexchange", "secret");
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_EQ(delegate->events[0].bankID, QStringLiteral("SANDBOXBANK"));
    EXPECT_EQ(delegate->events[0].error, QStringLiteral("The connection does not match these credentials"));

    ASSERT_TRUE(waitUntil([&] { return messageScreenShown(); }));
    const auto message = screen()->messageViewController();
    EXPECT_EQ(window->topPresentedViewController(), message);
    EXPECT_EQ(message->presentingViewController(), window->rootViewController().get());
    EXPECT_EQ(screen()->state(), State::Closed);
    EXPECT_TRUE(kova->getConnections().isEmpty());
    EXPECT_TRUE(appServerRequests(kMetadata).isEmpty());

    int posted = 0;
    platform::NotificationObservation observation("KovaUIDismissed", [&](const platform::Notification &) { ++posted; });
    tap(message->button());
    EXPECT_EQ(posted, 1);
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
}

TEST_F(WebConnectTest, AnExchangeWithoutAnAccessCodeFailsWithCode1002)
{
    startWithOptions();
    presentAndWaitForPage();
    QJsonObject items = pageLoginItems();
    items.remove("accessCode");
    navigatePage(outcomeURL("success", items));
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->events[0].kind, QStringLiteral("failure"));
    EXPECT_EQ(delegate->events[0].error, QStringLiteral("Failed to exchange token"));
    ASSERT_TRUE(waitUntil([&] { return screen()->messageViewController() != nullptr; }));
    EXPECT_TRUE(kova->getConnections().isEmpty());
}

TEST_F(WebConnectTest, AKeychainFailureStoresNothingAndShowsTheMessage)
{
    startWithOptions();
    presentAndWaitForPage();
    QJsonObject items = pageLoginItems();
    items.remove("userSecret");
    navigatePage(outcomeURL("success", items));
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_EQ(delegate->events[0].error, QStringLiteral("A connection needs a user secret, a token ID and a user ID"));
    EXPECT_EQ(logs->lines().filter("[Kova] Keychain failed: ").filter("A connection needs a user secret").size(), 1)
        << logs->lines().join("\n").toStdString();
    EXPECT_EQ(appServerRequests(kExchange).size(), 1) << "the exchange came first";
    ASSERT_TRUE(waitUntil([&] { return screen()->messageViewController() != nullptr; }));
    EXPECT_TRUE(kova->getConnections().isEmpty());
    EXPECT_FALSE(KOVAppManager::sharedInstance().viewContext().hasChanges());
    for (const QString &line : logs->lines())
        EXPECT_FALSE(line.contains("sbx-secret")) << line.toStdString();
}

TEST_F(WebConnectTest, AFailedMetadataCallTakesTheLoginBackAndLeavesVerifyingForTheMessage)
{
    startWithOptions();
    server->scriptAction(kMetadata, sandbox::ScriptedReply::json(QJsonObject{
        {"success", false}, {"type", "BANK_UNAVAILABLE"}, {"msg", "The bank is not answering"}, {"operationID", "op-m"}}));
    presentAndWaitForPage();
    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_EQ(delegate->events[0].bankID, QStringLiteral("SANDBOXBANK"));
    EXPECT_EQ(delegate->events[0].error, QStringLiteral("The bank is not answering"));
    EXPECT_TRUE(kova->getConnections().isEmpty());
    EXPECT_FALSE(KOVAppManager::sharedInstance().viewContext().hasChanges()) << "nothing is left to be saved later";
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey("sbx-token-1sbx-user-1").isNull());

    // The spinner gives way to the failure's message, as after a failed exchange.
    ASSERT_TRUE(waitUntil([&] { return messageScreenShown(); })) << "still verifying";
    EXPECT_EQ(screen()->state(), State::Closed);
    EXPECT_EQ(screen()->presentingViewController(), nullptr);
    const auto message = screen()->messageViewController();
    EXPECT_EQ(message->titleLabel()->text(), QStringLiteral("Error"));
    EXPECT_EQ(message->messageLabel()->text(), QStringLiteral("The bank is not answering"));

    // Swiped away, the message tells the host the user closed it, as the
    // exchange's does.
    swipeDown(window.get());
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), (QStringList{"failure", "dismiss"}));
    EXPECT_TRUE(kova->getConnections().isEmpty());
}

TEST_F(WebConnectTest, ALoginForAnotherClientUserIsReportedAsAFailureNotLeftVerifying)
{
    startWithOptions();
    auto connect = KOVWebConnect::initWithClientUserID("someone-else");
    connect->setDelegate(delegate);
    connect->presentWithBankID(QString());
    ASSERT_TRUE(waitUntil([&] {
        return connect->webConnectViewController()->state() == State::PageShown;
    }));
    const auto shown = connect->webConnectViewController();
    shown->handleURLChange(outcomeURL("success", pageLoginItems("OASISBANK")));
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_EQ(delegate->events[0].bankID, QStringLiteral("OASISBANK"));
    EXPECT_TRUE(appServerRequests(kMetadata).isEmpty());
    EXPECT_TRUE(KOVAppManager::sharedInstance().getConnectionsForClientUserID("someone-else").isEmpty());
    connect->dismissWithCompletion(nullptr);
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
}

TEST_F(WebConnectTest, ASuccessFromAnotherOriginDoesNothing)
{
    startWithOptions();
    presentAndWaitForPage();
    const QUrl foreign = outcomeURL("success", pageLoginItems(), QStringLiteral("localhost"));
    navigatePage(foreign);
    waitForAddress(foreign);
    EXPECT_TRUE(appServerRequests(kExchange).isEmpty());
    EXPECT_EQ(screen()->state(), State::PageShown);
    EXPECT_TRUE(delegate->events.isEmpty());
    EXPECT_FALSE(screen()->connection());
}

TEST_F(WebConnectTest, OnlyTheFirstSuccessIsActedOn)
{
    startWithOptions();
    // The first login is still being verified when the page reports another.
    server->scriptAction(kMetadata, metadataReply(std::chrono::milliseconds(700)));
    presentAndWaitForPage();
    const QUrl first = outcomeURL("success", pageLoginItems());
    const QJsonObject secondItems = pageLoginItems();
    navigatePage(first);
    waitForAddress(first);
    const QUrl second = outcomeURL("success", secondItems);
    js(QStringLiteral("history.pushState(null, '', '%1'); true").arg(second.toString(QUrl::FullyEncoded)));
    waitForAddress(second);
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), QStringList{"success"});
    const auto exchanges = appServerRequests(kExchange);
    ASSERT_EQ(exchanges.size(), 1);
    EXPECT_EQ(exchanges[0].json.value("userID").toString(), QStringLiteral("sbx-user-1"));
    ASSERT_EQ(kova->getConnections().size(), 1);
    EXPECT_EQ(kova->getConnections()[0]->userID(), QStringLiteral("sbx-user-1"));
}

TEST_F(WebConnectTest, AnEmptyCountryListIsSentAsBracketsAndOnlyNoListAsTheBareName)
{
    startWithOptions();
    const struct {
        const char *what;
        std::function<void()> set;
        QString sent;
    } cases[] = {
        {"an empty list", [] { KOVAppManager::sharedInstance().setCountries({}); }, QStringLiteral("countries=%5B%5D")},
        {"no list (options taken away)", [] { Kova::sharedInstance()->setConfigurations(nullptr); },
         QStringLiteral("countries")},
        {"a list", [] { KOVAppManager::sharedInstance().setCountries({"SA"}); },
         QStringLiteral("countries=%5B%22SA%22%5D")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        c.set();
        server->clearRequests();
        presentAndWaitForPage();
        const auto pageRequests = server->requestsForPath("/v3/connection");
        ASSERT_EQ(pageRequests.size(), 1);
        EXPECT_TRUE(pageRequests[0].query.toString(QUrl::FullyEncoded).split('&').contains(c.sent))
            << pageRequests[0].query.toString(QUrl::FullyEncoded).toStdString();
        kova->dismissConnect();
        ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    }
}

TEST_F(WebConnectTest, AnErrorOrExitAfterTheSuccessIsNotHeard)
{
    for (const QString &kind : {QStringLiteral("error"), QStringLiteral("exit")}) {
        SCOPED_TRACE(kind.toStdString());
        if (!kova)
            startWithOptions();
        delegate->events.clear();
        // The login is still being verified when the page says something else.
        server->scriptAction(kMetadata, metadataReply(std::chrono::milliseconds(700)));
        presentAndWaitForPage();
        const QUrl success = outcomeURL("success", pageLoginItems());
        navigatePage(success);
        waitForAddress(success);
        const QUrl after = outcomeURL(kind, QJsonObject{{"msg", "Too+late"}, {"bankID", "SANDBOXBANK"}});
        js(QStringLiteral("history.pushState(null, '', '%1'); true").arg(after.toString(QUrl::FullyEncoded)));
        waitForAddress(after);
        EXPECT_EQ(screen()->state(), State::Verifying);
        EXPECT_TRUE(delegate->events.isEmpty());
        ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
        drainMainQueue();
        EXPECT_EQ(delegate->kinds(), QStringList{"success"});
        EXPECT_EQ(window->topPresentedViewController(), nullptr);
    }
}

TEST_F(WebConnectTest, APreselectedBankOpensItsLoginAtOnce)
{
    startWithOptions({"SA"});
    presentAndWaitForPage("OASISBANK");
    EXPECT_EQ(server->requestsForPath("/v3/connection")[0].query.queryItemValue("bankID"), QStringLiteral("OASISBANK"));
    EXPECT_EQ(js("document.getElementById('bank-name').textContent"), QVariant(QStringLiteral("Oasis National Bank")));
    EXPECT_EQ(js("document.getElementById('login').hidden"), QVariant(false));
    typeCredentials("omar", "secret");
    submit();
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"success"});
    EXPECT_EQ(delegate->events[0].bankID, QStringLiteral("OASISBANK"));
    ASSERT_EQ(kova->getConnections().size(), 1);
    EXPECT_EQ(kova->getConnections()[0]->bankName(), QStringLiteral("Oasis National Bank"));
}

TEST_F(WebConnectTest, APageThatNeverSaysLinkIsShownAfterFiveSeconds)
{
    startWithOptions();
    sandbox::ScriptedReply quiet = sandbox::ScriptedReply::raw("<!DOCTYPE html><p>Still working</p>");
    quiet.contentType = "text/html; charset=utf-8";
    server->scriptPath("/v3/connection", quiet);
    bool fiveSecondsGone = false;
    kova->presentConnect(delegate);
    platform::MainQueue::asyncAfter(std::chrono::milliseconds(KOVWebConnectViewController::kPageFallbackMs - 300),
                                    [&] { fiveSecondsGone = screen()->state() == State::LoadingPage; });
    ASSERT_TRUE(waitUntil([&] { return screen()->state() == State::PageShown; }, std::chrono::seconds(10)));
    EXPECT_TRUE(fiveSecondsGone) << "still loading shortly before the five seconds";
    EXPECT_TRUE(webView()->isVisible());
    EXPECT_FALSE(screen()->animatedImageView()->isVisible());
}

TEST_F(WebConnectTest, TheFallbackNeverUncoversThePageOverTheVerifyingState)
{
    startWithOptions();
    server->scriptAction(kMetadata, kova::test::silent());
    const QUrl success = outcomeURL("success", pageLoginItems());
    sandbox::ScriptedReply fast = sandbox::ScriptedReply::raw(
        "<!DOCTYPE html><script>location.assign('" + success.toString(QUrl::FullyEncoded).toUtf8() + "');</script>");
    fast.contentType = "text/html; charset=utf-8";
    server->scriptPath("/v3/connection", fast);
    kova->presentConnect(delegate);
    ASSERT_TRUE(waitUntil([&] { return screen()->state() == State::Verifying; }));
    bool fallbackPassed = false;
    platform::MainQueue::asyncAfter(std::chrono::milliseconds(KOVWebConnectViewController::kPageFallbackMs + 100),
                                    [&] { fallbackPassed = true; });
    ASSERT_TRUE(waitUntil([&] { return fallbackPassed; }, std::chrono::seconds(10)));
    EXPECT_EQ(screen()->state(), State::Verifying);
    EXPECT_FALSE(webView()->isVisible());
    // "link" after success does not uncover it either.
    screen()->handleURLChange(outcomeURL("link", {}));
    drainMainQueue();
    EXPECT_FALSE(webView()->isVisible());
}

TEST_F(WebConnectTest, NewWindowLinksOpenOutsideOnlyForWebAddresses)
{
    startWithOptions();
    presentAndWaitForPage();
    js("['https://bank.example/help', 'http://kova.dev/legal/privacy?x=1', 'mailto:help@kova.example',"
       " 'javascript:alert(1)'].forEach(function (href, i) { var a = document.createElement('a');"
       " a.id = 'l' + i; a.href = href; a.target = '_blank'; a.textContent = 'link ' + i;"
       " a.style.cssText = 'position: fixed; left: 20px; z-index: 9; top: ' + (60 + 40 * i) + 'px';"
       " document.body.appendChild(a); }); true");
    for (const char *link : {"#l0", "#l1", "#l2", "#l3"})
        clickInPage(link);
    ASSERT_TRUE(waitUntil([&] { return opened.size() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return logs->contains("[Kova] A link asked for a new window with a \"mailto\" address; only http and https links open"); }));
    drainMainQueue();
    EXPECT_EQ(opened, (QList<QUrl>{QUrl("https://bank.example/help"), QUrl("https://www.kova.dev/legal")}));
    EXPECT_TRUE(logs->contains("[Kova] A link asked for a new window with a \"mailto\" address; only http and https links open"));
    EXPECT_EQ(screen()->state(), State::PageShown);
    EXPECT_TRUE(pageSaidLink()) << "the page stays where it was";
}

TEST_F(WebConnectTest, ANewDelegateReachesTheScreenAlreadyShownAndAGoneOneHearsNothing)
{
    startWithOptions();
    presentAndWaitForPage();
    auto second = std::make_shared<RecordingConnectDelegate>();
    kova->connect()->setDelegate(second);
    EXPECT_EQ(screen()->connectDelegate(), second);
    second.reset();
    logIn("SANDBOXBANK", "alice", "wrong");
    ASSERT_TRUE(waitUntil([&] { return KOVConnectPage::lastPathComponent(webView()->url()) == "error"; }));
    drainMainQueue();
    EXPECT_TRUE(delegate->events.isEmpty());
}

TEST_F(WebConnectTest, ADelegateWithoutTheRequiredMethodsHearsNothing)
{
    startWithOptions();
    delegate->implementsAll = false;
    presentAndWaitForPage();
    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    drainMainQueue();
    EXPECT_TRUE(delegate->events.isEmpty());
    EXPECT_EQ(kova->getConnections().size(), 1);
}

TEST_F(WebConnectTest, DismissingBeforeAnythingWasPresentedDoesNothing)
{
    auto connect = KOVWebConnect::initWithClientUserID("client-1");
    bool ran = false;
    connect->dismissWithCompletion([&] { ran = true; });
    drainMainQueue();
    EXPECT_FALSE(ran);
    EXPECT_EQ(connect->clientUserID(), QStringLiteral("client-1"));
}

TEST_F(WebConnectTest, TheHostsDismissalStopsThePage)
{
    startWithOptions();
    presentAndWaitForPage();
    const auto shown = screen();
    kova->dismissConnect();
    EXPECT_FALSE(kova->connect());
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    // Whatever the page still asks for once the screen has closed opens nothing.
    ASSERT_TRUE(waitUntil([&] { return shown->state() == State::Closed; }));
    emit shown->webView()->newWindowRequested(QUrl("https://bank.example/help"));
    drainMainQueue();
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return shown->webView()->url() == QUrl("about:blank"); }));
    EXPECT_EQ(shown->state(), State::Closed);
    EXPECT_TRUE(delegate->events.isEmpty());
}

TEST_F(WebConnectTest, SwipingTheMessageAwayTellsTheHostItWasDismissed)
{
    startWithOptions();
    presentAndWaitForPage();
    logIn("SANDBOXBANK", "badexchange", "secret");
    ASSERT_TRUE(waitUntil([&] { return messageScreenShown(); }));
    swipeDown(window.get());
    ASSERT_TRUE(waitUntil([&] { return delegate->events.size() == 2; }, std::chrono::seconds(3)))
        << delegate->kinds().join(",").toStdString() << " top " << (window->topPresentedViewController() != nullptr);
    EXPECT_EQ(delegate->kinds(), (QStringList{"failure", "dismiss"}));
}

TEST_F(WebConnectTest, LinkingTheSameLoginAgainReplacesItAndTakesTheOldSecretAlong)
{
    startWithOptions();
    presentAndWaitForPage();
    const QJsonObject first = pageLoginItems();
    navigatePage(outcomeURL("success", first));
    ASSERT_TRUE(waitUntil([&] { return delegate->kinds() == QStringList{"success"}; }));
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    const QString userID = first.value("userID").toString();
    const QString oldKey = first.value("tokenID").toString() + userID;
    ASSERT_EQ(KOVKeychain::keychain()->stringForKey(oldKey), first.value("userSecret").toString());

    // The bank hands the same user a new token and secret.
    QJsonObject again = server->relinkLogin(userID);
    again.remove(QStringLiteral("clientUserID"));
    again.insert(QStringLiteral("color"),
                 QString::fromUtf8(QJsonDocument(again.value("color").toObject()).toJson(QJsonDocument::Compact)));
    ASSERT_NE(again.value("tokenID"), first.value("tokenID"));
    presentAndWaitForPage();
    navigatePage(outcomeURL("success", again));
    ASSERT_TRUE(waitUntil([&] { return delegate->kinds() == QStringList({"success", "success"}); }));
    drainMainQueue();

    const auto connections = kova->getConnections();
    ASSERT_EQ(connections.size(), 1);
    EXPECT_EQ(connections[0]->getConnectionParameters().value("tokenID").toString(), again.value("tokenID").toString());
    const QString newKey = again.value("tokenID").toString() + userID;
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(oldKey).isNull()) << "the replaced login's secret is gone";
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(newKey), again.value("userSecret").toString());
    EXPECT_EQ(KOVKeychain::keychain()->allKeys(), QStringList{newKey});
}
