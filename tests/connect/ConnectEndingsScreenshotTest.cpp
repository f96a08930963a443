// Screenshots of how a connect screen ends: leaving with its page hidden, and
// the failures' messages that take the place of its spinner or its page.
#include "ConnectTestSupport.h"
#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/web/WebView.h"
#include "ui/messages/MessageViewController.h"

using namespace kova;
using namespace kova::test;

class ConnectEndingsScreenshotTest : public ConnectTest {};

TEST_F(ConnectEndingsScreenshotTest, LeavingWithThePageHidden)
{
    startWithOptions();
    presentAndWaitForPage();
    const auto leaving = screen();
    platform::Application::shared().setAnimationsEnabled(true);
    kova->dismissConnect();
    const QString path = grabPng(window.get(), "connect-leaving");
    const bool stillLeaving = leaving->isBeingDismissed();
    platform::Application::shared().setAnimationsEnabled(false);
    EXPECT_FALSE(path.isEmpty());
    EXPECT_TRUE(stillLeaving) << "grabbed too late to show the screen leaving";
    EXPECT_FALSE(leaving->webView()->isVisible());
    EXPECT_FALSE(leaving->footnoteLabel()->isVisible());
    ASSERT_TRUE(pumpUntil([&] { return window->topPresentedViewController() == nullptr; }));
}

TEST_F(ConnectEndingsScreenshotTest, MessageAfterAFailedMetadataCall)
{
    startWithOptions();
    server->scriptAction(kMetadata, sandbox::ScriptedReply::json(QJsonObject{
        {"success", false}, {"type", "BANK_UNAVAILABLE"}, {"msg", "The bank is not answering"}, {"operationID", "op-m"}}));
    presentAndWaitForPage();
    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(pumpUntil([&] { return messageScreenShown(); }));
    EXPECT_EQ(screen()->messageViewController()->messageLabel()->text(), QStringLiteral("The bank is not answering"));
    EXPECT_FALSE(grabPng(window.get(), "connect-metadata-error").isEmpty());
}

TEST_F(ConnectEndingsScreenshotTest, MessageAfterARefusedPageAddress)
{
    startWithOptions();
    QUrl plain = server->baseUrl();
    plain.setHost(QStringLiteral("app.localhost"));
    qputenv("KOVA_CONNECT_URL", plain.toString().toUtf8());
    kova->presentConnect(delegate);
    ASSERT_TRUE(pumpUntil([&] { return messageScreenShown(); }));
    EXPECT_TRUE(screen()->messageViewController()->messageLabel()->text().startsWith(
        QStringLiteral("The resource could not be loaded")));
    EXPECT_FALSE(grabPng(window.get(), "connect-refused-address").isEmpty());
}
