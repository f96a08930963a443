#include <QJsonArray>
#include <QJsonObject>
#include <QTest>
#include <gtest/gtest.h>

#include "core/KOVConstants.h"
#include "core/KOVScreensProvider.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVColorHex.h"
#include "core/records/KOVIdentity.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Window.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/support/UiHarness.h"
#include "ui/mfa/MFANavigationController.h"
#include "ui/KovaUI.h"
#include "ui/mfa/MFATextField.h"

using namespace kova;
using namespace kova::test;

namespace {

struct IdentityOutcome {
    int calls = 0;
    std::shared_ptr<KOVIdentity> identity;
    OptionalError error;
    QString operationID;
};

const QJsonArray kOtpRound{QJsonObject{{"id", "otp"}, {"query", "Enter the code sent to your phone"}, {"index", 0}}};

class MFAEndToEndTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        platform::Application::shared().setAnimationsEnabled(false);
        home = std::make_shared<platform::ViewController>();
        window = test::makeWindow(home);
        installKovaUI(window.get());
        startDefault("client-1");
        parameters = server->issueLogin("client-1");
        int calls = 0;
        KOVBankConnection::create(parameters, [&](std::shared_ptr<KOVBankConnection> c, OptionalError e) {
            ++calls;
            connection = std::move(c);
            EXPECT_FALSE(e.has_value());
        });
        ASSERT_TRUE(waitUntil([&] { return calls > 0; }));
        ASSERT_TRUE(connection);
        server->clearRequests();
    }
    void TearDown() override
    {
        if (home->presentedViewController()) {
            bool gone = false;
            home->dismiss(false, [&] { gone = true; });
            waitUntil([&] { return gone; });
        }
        window.reset();
        SdkTest::TearDown();
    }

    // The call ended once as cancelled, and the login's queue is free for the next one.
    void expectCancelledOnceAndLoginFree(const std::shared_ptr<IdentityOutcome> &outcome)
    {
        ASSERT_TRUE(waitUntil([&] { return outcome->calls > 0; }));
        ASSERT_TRUE(outcome->error.has_value());
        EXPECT_EQ(outcome->error->domain, KOVErrorDomain);
        EXPECT_EQ(outcome->error->code, 1003);
        drainMainQueue();
        EXPECT_EQ(outcome->calls, 1);
        auto next = askIdentity();
        EXPECT_TRUE(waitUntil([&] { return next->calls > 0; }));
        EXPECT_FALSE(next->error.has_value());
    }

    std::shared_ptr<IdentityOutcome> askIdentity()
    {
        auto outcome = std::make_shared<IdentityOutcome>();
        connection->getIdentity([outcome](std::shared_ptr<KOVIdentity> identity, OptionalError error, QString id) {
            ++outcome->calls;
            outcome->identity = std::move(identity);
            outcome->error = std::move(error);
            outcome->operationID = std::move(id);
        });
        return outcome;
    }

    // Waits for the prompt sheet to be on screen and returns it.
    std::shared_ptr<MFANavigationController> waitForSheet()
    {
        std::shared_ptr<MFANavigationController> sheet;
        waitUntil([&] {
            sheet = std::dynamic_pointer_cast<MFANavigationController>(window->topPresentedViewController());
            return sheet && sheet->mfaViewController()->isVisible();
        });
        return sheet;
    }

    QList<QJsonObject> bodiesOf(const QString &action) const
    {
        QList<QJsonObject> bodies;
        for (const auto &request : server->requestsForPath(sandbox::SandboxServer::AppServerPath))
            if (request.action == action)
                bodies.append(request.json);
        return bodies;
    }

    static void answer(const std::shared_ptr<MFANavigationController> &sheet, const QStringList &answers)
    {
        const auto fields = sheet->mfaViewController()->textFields();
        ASSERT_EQ(fields.size(), answers.size());
        for (int i = 0; i < answers.size(); ++i)
            test::type(fields[i], answers[i]);
    }
    static platform::Button *confirm(const std::shared_ptr<MFANavigationController> &sheet)
    {
        return sheet->mfaViewController()->tableFooterView()->button();
    }

    test::WindowPtr window;
    std::shared_ptr<platform::ViewController> home;
    QJsonObject parameters;
    std::shared_ptr<KOVBankConnection> connection;
};

} // namespace

TEST_F(MFAEndToEndTest, CodeTypedOnTheSheetIsResentAndTheCallCompletes)
{
    server->scriptMfa("/data/identity/get", {kOtpRound}, QJsonObject{{"otp", "123456"}});
    auto outcome = askIdentity();
    auto sheet = waitForSheet();
    ASSERT_TRUE(sheet);
    auto screen = sheet->mfaViewController();
    // The bank's stored colours, logo and ID.
    const QJsonObject colours = parameters.value("color").toObject();
    EXPECT_EQ(screen->colorScheme().primaryColor(), colorWithHexString(colours.value("primaryColor").toString()));
    EXPECT_EQ(screen->colorScheme().secondaryColor(), colorWithHexString(colours.value("secondaryColor").toString()));
    EXPECT_EQ(screen->bankID(), parameters.value("bankId").toString());
    EXPECT_EQ(screen->bankLogoURL(), parameters.value("fullLogoPng").toString());
    EXPECT_TRUE(waitUntil([&] { return !screen->logoView()->image().isNull(); })) << "the logo comes from the bank";
    EXPECT_EQ(outcome->calls, 0);

    // The sheet cannot be swiped or keyed away: it ends through Confirm or Cancel.
    test::swipeDown(window.get());
    test::pressKey(window.get(), Qt::Key_Escape);
    pump();
    EXPECT_EQ(window->topPresentedViewController(), sheet);
    EXPECT_EQ(outcome->calls, 0);

    answer(sheet, {"123456"});
    test::tap(confirm(sheet));
    ASSERT_TRUE(waitUntil([&] { return outcome->calls > 0; }));
    EXPECT_FALSE(outcome->error.has_value()) << outcome->error->localizedDescription().toStdString();
    EXPECT_TRUE(outcome->identity);
    EXPECT_FALSE(window->topPresentedViewController()) << "the sheet has gone before the call goes on";

    const QList<QJsonObject> bodies = bodiesOf("/data/identity/get");
    ASSERT_EQ(bodies.size(), 2);
    EXPECT_FALSE(bodies[0].contains("operationID"));
    EXPECT_EQ(bodies[1].value("operationID"), QJsonValue(outcome->operationID));
    EXPECT_EQ(bodies[1].value("hlAPIStep"), "mfa-step-1");
    EXPECT_EQ(bodies[1].value("userInputs").toArray(),
              (QJsonArray{QJsonObject{{"id", "otp"}, {"answer", "123456"}, {"index", 0}}}));
    EXPECT_EQ(bodies[1].value("userSecret"), bodies[0].value("userSecret"));
    drainMainQueue();
    EXPECT_EQ(outcome->calls, 1);
}

TEST_F(MFAEndToEndTest, TwoRoundsTwoSheets)
{
    const QJsonArray second{QJsonObject{{"id", "captcha"}, {"query", "iVBORw0KGgo="}, {"index", 0}},
                            QJsonObject{{"id", "memorable"}, {"query", "Your memorable word"}, {"index", 1}}};
    server->scriptMfa("/data/identity/get", {kOtpRound, second}, QJsonObject{{"otp", "111"}, {"captcha", "W7XK"}});
    auto outcome = askIdentity();
    auto first = waitForSheet();
    ASSERT_TRUE(first);
    answer(first, {"111"});
    test::tap(confirm(first));

    std::shared_ptr<MFANavigationController> next;
    ASSERT_TRUE(waitUntil([&] {
        next = std::dynamic_pointer_cast<MFANavigationController>(window->topPresentedViewController());
        return next && next != first && next->mfaViewController()->isVisible();
    }));
    EXPECT_EQ(next->mfaViewController()->inputViews().size(), 7);
    answer(next, {"W7XK", "otter"});
    test::tap(confirm(next));
    ASSERT_TRUE(waitUntil([&] { return outcome->calls > 0; }));
    EXPECT_FALSE(outcome->error.has_value());
    const QList<QJsonObject> bodies = bodiesOf("/data/identity/get");
    ASSERT_EQ(bodies.size(), 3);
    EXPECT_EQ(bodies[2].value("hlAPIStep"), "mfa-step-2");
    EXPECT_EQ(bodies[2].value("userInputs").toArray(),
              (QJsonArray{QJsonObject{{"id", "captcha"}, {"answer", "W7XK"}, {"index", 0}},
                          QJsonObject{{"id", "memorable"}, {"answer", "otter"}, {"index", 1}}}));
}

TEST_F(MFAEndToEndTest, CancelEndsTheCallOnceAndFreesTheLogin)
{
    server->scriptMfa("/data/identity/get", {kOtpRound}, QJsonObject{{"otp", "1"}});
    auto outcome = askIdentity();
    auto sheet = waitForSheet();
    ASSERT_TRUE(sheet);
    // A call of the same login waits behind the prompt.
    int accountsCalls = 0;
    connection->getAccounts([&](auto, OptionalError, QString) { ++accountsCalls; });
    drainMainQueue();
    EXPECT_EQ(bodiesOf("/data/accounts/get").size(), 0);

    sheet->mfaViewController()->navigationItem().rightBarButtonItems().front()->trigger();
    ASSERT_TRUE(waitUntil([&] { return outcome->calls > 0; }));
    ASSERT_TRUE(outcome->error.has_value());
    EXPECT_EQ(outcome->error->domain, KOVErrorDomain);
    EXPECT_EQ(outcome->error->code, 1003);
    EXPECT_EQ(outcome->error->localizedDescription(), "You cancelled the authentication.");
    EXPECT_TRUE(outcome->operationID.isEmpty());
    EXPECT_FALSE(window->topPresentedViewController());
    ASSERT_TRUE(waitUntil([&] { return accountsCalls > 0; })) << "the login's queue is free again";
    drainMainQueue();
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_EQ(bodiesOf("/data/identity/get").size(), 1) << "nothing is resent";
}

TEST_F(MFAEndToEndTest, DoubleConfirmSendsOnce)
{
    server->scriptMfa("/data/identity/get", {kOtpRound}, QJsonObject{{"otp", "42"}});
    auto outcome = askIdentity();
    auto sheet = waitForSheet();
    ASSERT_TRUE(sheet);
    answer(sheet, {"42"});
    test::tap(confirm(sheet));
    test::tap(confirm(sheet));
    sheet->mfaViewController()->submit();
    sheet->mfaViewController()->dismissSelf();
    ASSERT_TRUE(waitUntil([&] { return outcome->calls > 0; }));
    drainMainQueue();
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_FALSE(outcome->error.has_value());
    EXPECT_EQ(bodiesOf("/data/identity/get").size(), 2);
}

TEST_F(MFAEndToEndTest, NothingToPresentOverEndsTheCallAsCancelled)
{
    platform::Application::shared().setKeyWindow(nullptr);
    window->hide();
    server->scriptMfa("/data/identity/get", {kOtpRound}, QJsonObject{{"otp", "1"}});
    expectCancelledOnceAndLoginFree(askIdentity());
}

TEST_F(MFAEndToEndTest, HostTakingItsScreenAwayCancelsThePrompt)
{
    auto hostScreen = std::make_shared<platform::ViewController>();
    bool shown = false;
    home->present(hostScreen, false, [&] { shown = true; });
    ASSERT_TRUE(waitUntil([&] { return shown; }));
    server->scriptMfa("/data/identity/get", {kOtpRound}, QJsonObject{{"otp", "1"}});
    auto outcome = askIdentity();
    auto sheet = waitForSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->presentingViewController(), hostScreen.get()) << "over the topmost presented screen";

    home->dismiss(false);
    expectCancelledOnceAndLoginFree(outcome);
}
