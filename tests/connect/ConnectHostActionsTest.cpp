// What the host does while a connect road runs: closing it, opening it again,
// and reacting to what it is told.

#include <QJsonArray>
#include <functional>

#include "ConnectTestSupport.h"
#include "platform/ui/Application.h"
#include "platform/ui/NotificationCenter.h"
#include "sandbox/ScriptedReply.h"
#include "ui/look/KOVButton.h"
#include "ui/messages/MessageViewController.h"

using namespace kova;
using namespace kova::test;

namespace {

// A host that acts on a failure as soon as it hears of it.
class ReactingConnectDelegate : public RecordingConnectDelegate {
public:
    void connectDidFailConnectingToBankID(const QString &bankID, const QString &error) override
    {
        RecordingConnectDelegate::connectDidFailConnectingToBankID(bankID, error);
        if (onFailure)
            onFailure();
    }
    std::function<void()> onFailure;
};

} // namespace

class ConnectHostActionsTest : public ConnectTest {
protected:
    std::shared_ptr<KOVWebConnectViewController> shownConnectScreen() const
    {
        const auto top = std::dynamic_pointer_cast<KOVWebConnectViewController>(window->topPresentedViewController());
        return top && top->isVisible() && !top->isBeingPresented() ? top : nullptr;
    }
    std::shared_ptr<MessageViewController> shownMessage() const
    {
        const auto top = std::dynamic_pointer_cast<MessageViewController>(window->topPresentedViewController());
        return top && top->isVisible() && !top->isBeingPresented() ? top : nullptr;
    }
};

TEST_F(ConnectHostActionsTest, TheConnectScreenOpensAgainWhileTheLastOneIsStillLeaving)
{
    startWithOptions({"AE", "SA"});

    // The host closes the page and at once opens it on another bank.
    presentAndWaitForPage();
    const auto first = screen();
    kova->dismissConnect();
    kova->presentConnect(delegate, QStringLiteral("OASISBANK"));
    EXPECT_TRUE(waitUntil([&] {
        const auto shown = shownConnectScreen();
        return shown && shown != first && shown->bankID() == QStringLiteral("OASISBANK");
    }, std::chrono::seconds(3))) << "nothing is shown after the host asked for the page again:\n"
                                 << logs->lines().join("\n").toStdString();

    // The host offers another try when the person closes the failure's message.
    kova->dismissConnect();
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    presentAndWaitForPage();
    const auto failed = screen();
    logIn("SANDBOXBANK", "badexchange", "secret");
    ASSERT_TRUE(waitUntil([&] { return messageScreenShown(); }));
    platform::NotificationObservation retry("KovaUIDismissed",
                                            [&](const platform::Notification &) { kova->presentConnect(delegate); });
    tap(screen()->messageViewController()->button());
    EXPECT_TRUE(waitUntil([&] {
        const auto shown = shownConnectScreen();
        return shown && shown != failed;
    }, std::chrono::seconds(3))) << "the try again opened nothing";
}

TEST_F(ConnectHostActionsTest, AMessageOfAFailedLoginStillClosesWhenTheHostClosedTheRoadOnTheFailure)
{
    startWithOptions();
    auto host = std::make_shared<ReactingConnectDelegate>();
    host->window = window.get();
    host->onFailure = [&] { kova->dismissConnect(); };
    delegate = host;
    presentAndWaitForPage();
    logIn("SANDBOXBANK", "badexchange", "secret");
    ASSERT_TRUE(waitUntil([&] { return shownMessage() != nullptr; }));
    drainMainQueue();
    const auto message = shownMessage();
    ASSERT_TRUE(message);
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});

    int posted = 0;
    platform::NotificationObservation observation("KovaUIDismissed", [&](const platform::Notification &) { ++posted; });
    tap(message->button());
    drainMainQueue();
    EXPECT_EQ(posted, 1);
    EXPECT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }, std::chrono::seconds(3)))
        << "the message's Ok does nothing and the message stays";
}

TEST_F(ConnectHostActionsTest, AHostClosingThePageWhileTheTokenIsExchangedStillHearsHowTheLoginEnded)
{
    startWithOptions();
    // The host's server takes a while with the exchange; it does succeed.
    sandbox::ScriptedReply exchanged = sandbox::ScriptedReply::json(QJsonObject{{"success", true}, {"operationID", "op-x"}});
    exchanged.delay = std::chrono::milliseconds(600);
    server->scriptAction(kExchange, exchanged);
    presentAndWaitForPage();
    navigatePage(outcomeURL("success", pageLoginItems()));
    ASSERT_TRUE(waitUntil([&] { return appServerRequests(kExchange).size() == 1; }));
    ASSERT_FALSE(screen()->connection());
    kova->dismissConnect();

    EXPECT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }, std::chrono::seconds(4)))
        << "the host never hears of the login the person finished";
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), QStringList{"success"});
    EXPECT_EQ(kova->getConnections().size(), 1);
}

TEST_F(ConnectHostActionsTest, TheHostsDismissalTakesTheConnectScreenAndTheBanksPromptOverIt)
{
    startWithOptions();
    // The new login's bank asks for a code while its accounts are read.
    server->scriptMfa(kMetadata, {QJsonArray{QJsonObject{{"id", "otp"}, {"query", "Enter the code"}, {"index", 0}}}},
                      QJsonObject{{"otp", "1"}});
    presentAndWaitForPage();
    const auto connectScreen = screen();
    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(waitUntil([&] {
        const auto top = window->topPresentedViewController();
        return top && top != connectScreen && top->isVisible() && !top->isBeingPresented();
    })) << "the bank's prompt never came up";
    ASSERT_EQ(window->topPresentedViewController()->presentingViewController(), connectScreen.get());

    bool closed = false;
    kova->connect()->dismissWithCompletion([&] { closed = true; });
    ASSERT_TRUE(waitUntil([&] { return closed; }));
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    drainMainQueue();
    EXPECT_EQ(window->topPresentedViewController(), nullptr) << "a screen of the road is left up";
    EXPECT_EQ(window->findChildren<platform::WebView *>().size(), 0);
    EXPECT_EQ(connectScreen->state(), KOVWebConnectViewController::State::Closed);
    EXPECT_FALSE(window->userSwipeDown()) << "nothing is left to swipe away";
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_TRUE(kova->getConnections().isEmpty());
}

TEST_F(ConnectHostActionsTest, ADoubleClickOnTheFailuresMessageWhileItSlidesInIsHeardOnce)
{
    startWithOptions();
    presentAndWaitForPage();
    platform::Application::shared().setAnimationsEnabled(true);
    logIn("SANDBOXBANK", "badexchange", "secret");
    std::shared_ptr<MessageViewController> arriving;
    ASSERT_TRUE(waitUntil([&] {
        arriving = std::dynamic_pointer_cast<MessageViewController>(window->topPresentedViewController());
        return arriving && arriving->isBeingPresented();
    })) << "the message never started to slide in";

    int posted = 0;
    platform::NotificationObservation observation("KovaUIDismissed", [&](const platform::Notification &) { ++posted; });
    doubleClick(arriving->button());
    ASSERT_TRUE(arriving->isBeingPresented()) << "the double click came too late to test anything";
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }, std::chrono::seconds(3)));
    drainMainQueue();
    platform::Application::shared().setAnimationsEnabled(false);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
}
