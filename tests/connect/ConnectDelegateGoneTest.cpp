// A host that lets go of its connect delegate while the page is up.

#include "ConnectTestSupport.h"
#include "core/connections/KOVBankConnection.h"
#include "tests/support/QtMessageCapture.h"
#include "ui/connect/KOVConnectPage.h"

using namespace kova;
using namespace kova::test;
using Message = QtMessageCapture::Message;

namespace {

const Message kDelegateGone{QtWarningMsg, QStringLiteral("kova"),
                            QStringLiteral("[Kova] The connect delegate is gone, so nobody hears how the connect "
                                           "screen ended; keep a strong reference to it while the screen is up")};

} // namespace

class ConnectDelegateGoneTest : public ConnectTest {
protected:
    void SetUp() override
    {
        ConnectTest::SetUp();
        // The lines go to the host's message handler, not to the test's capture.
        logs.reset();
    }

    bool pageAt(const QString &component) const
    {
        return webView() && KOVConnectPage::lastPathComponent(webView()->url()) == component;
    }
    void pageError(const QString &query)
    {
        js(QStringLiteral("history.pushState(null, '', '/v3/connection/error?%1'); true").arg(query));
        ASSERT_TRUE(waitUntil([&] { return webView()->url().query() == query; }));
        drainMainQueue();
    }
};

TEST_F(ConnectDelegateGoneTest, ADelegateMadeForTheCallIsGoneByTheLoginsEndAndThatIsSaidOnce)
{
    startWithOptions();
    QtMessageCapture messages;
    kova->presentConnect(std::make_shared<RecordingConnectDelegate>());
    ASSERT_TRUE(waitUntil([&] { return pageAt("link") && screen()->state() == KOVWebConnectViewController::State::PageShown; }));
    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    drainMainQueue();

    EXPECT_EQ(kova->getConnections().size(), 1) << "the login is stored all the same";
    EXPECT_EQ(messages.sdkMessages(), QList<Message>{kDelegateGone});
}

TEST_F(ConnectDelegateGoneTest, EveryOutcomeAfterTheDelegateWentIsDroppedWithOneLineForTheScreen)
{
    startWithOptions();
    QtMessageCapture messages;
    presentAndWaitForPage();
    delegate.reset();

    pageError(QStringLiteral("msg=First&bankID=SANDBOXBANK"));
    pageError(QStringLiteral("msg=Second&bankID=SANDBOXBANK"));
    js("document.getElementById('close').click(); true");
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    drainMainQueue();
    EXPECT_EQ(messages.sdkMessages(), QList<Message>{kDelegateGone});

    // A new screen whose delegate is gone says so again, once.
    auto second = std::make_shared<RecordingConnectDelegate>();
    kova->presentConnect(second);
    ASSERT_TRUE(waitUntil([&] { return pageAt("link") && screen()->state() == KOVWebConnectViewController::State::PageShown; }));
    second.reset();
    pageError(QStringLiteral("msg=Third"));
    EXPECT_EQ(messages.sdkMessages(), (QList<Message>{kDelegateGone, kDelegateGone}));
}

TEST_F(ConnectDelegateGoneTest, NoLineForADelegateThatIsStillThereOrWasNeverGiven)
{
    startWithOptions();
    QtMessageCapture messages;
    presentAndWaitForPage();
    pageError(QStringLiteral("msg=Kept"));
    js("document.getElementById('close').click(); true");
    ASSERT_TRUE(waitUntil([&] { return delegate->kinds() == QStringList{"failure", "dismiss"}; }));
    drainMainQueue();

    kova->presentConnect(std::weak_ptr<KOVConnectDelegate>());
    ASSERT_TRUE(waitUntil([&] { return pageAt("link") && screen()->state() == KOVWebConnectViewController::State::PageShown; }));
    pageError(QStringLiteral("msg=Nobody"));
    js("document.getElementById('close').click(); true");
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    drainMainQueue();

    EXPECT_EQ(delegate->kinds(), (QStringList{"failure", "dismiss"}));
    EXPECT_TRUE(messages.sdkMessages().isEmpty());
}
