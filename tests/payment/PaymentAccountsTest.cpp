#include <QJsonArray>

#include "core/KOVAppManager.h"
#include "core/KOVConstants.h"
#include "core/connections/KOVBankConnection.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVSubaccount.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/store/ManagedObjectContext.h"
#include "core/KOVScreensProvider.h"
#include "core/records/KOVBeneficiary.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/core/TestScreensProvider.h"
#include "ui/payment/KOVPaymentAccounts.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;

namespace {

QStringList namesOf(const std::shared_ptr<KOVConnection> &connection)
{
    QStringList names;
    for (const auto &subaccount : connection->subaccounts())
        names << subaccount->name();
    names.sort();
    return names;
}

struct Refresh {
    int calls = 0;
    bool onMainThread = false;
    bool synchronous = false;
    OptionalError error;
};

} // namespace

class PaymentAccountsTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        startDefault("client-1");
    }

    std::shared_ptr<KOVConnection> link()
    {
        int calls = 0;
        KOVBankConnection::create(server->issueLogin("client-1"), [&](auto, OptionalError) { ++calls; });
        EXPECT_TRUE(waitUntil([&] { return calls == 1; }));
        drainMainQueue();
        const auto stored = KOVAppManager::sharedInstance().getConnectionsForClientUserID("client-1");
        return stored.isEmpty() ? nullptr : stored.last();
    }

    std::shared_ptr<Refresh> refresh(const QString &userID)
    {
        auto outcome = std::make_shared<Refresh>();
        auto returned = std::make_shared<bool>(false);
        KOVPaymentAccounts::refreshAccountsForUserID(userID, "client-1", [outcome, returned](OptionalError error) {
            ++outcome->calls;
            outcome->onMainThread = platform::MainQueue::isMainThread();
            outcome->synchronous = !*returned;
            outcome->error = std::move(error);
        });
        *returned = true;
        EXPECT_TRUE(waitUntil([&] { return outcome->calls > 0; }));
        drainMainQueue();
        return outcome;
    }
};

TEST_F(PaymentAccountsTest, RefreshStoresTheAccountsAndRemovesThePlaceholder)
{
    auto connection = link();
    ASSERT_TRUE(connection);
    ASSERT_EQ(namesOf(connection), QStringList{"Demo"});
    ASSERT_EQ(KOVPaymentAccounts::fetchDemoAccounts(connection, "client-1", false).size(), 1);

    auto outcome = refresh(connection->userID());
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_TRUE(outcome->onMainThread);
    EXPECT_FALSE(outcome->synchronous);
    EXPECT_FALSE(outcome->error) << outcome->error->localizedDescription().toStdString();
    EXPECT_EQ(connection->subaccounts().size(), 3);
    EXPECT_FALSE(namesOf(connection).contains("Demo"));
    for (const auto &subaccount : connection->subaccounts())
        EXPECT_FALSE(subaccount->isStillFetching());
    EXPECT_FALSE(context().hasChanges()) << "saved";
}

TEST_F(PaymentAccountsTest, AFailedAccountsCallStillRemovesThePlaceholderAndReportsItsError)
{
    auto connection = link();
    ASSERT_TRUE(connection);
    server->scriptAction("/data/accounts/get",
                         ScriptedReply::json(QJsonObject{{"success", false}, {"type", "SERVER_ERROR"}, {"msg", "Down"}}));
    auto outcome = refresh(connection->userID());
    EXPECT_EQ(outcome->calls, 1);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, KOVErrorServer);
    EXPECT_TRUE(connection->subaccounts().isEmpty());
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(PaymentAccountsTest, ALoginRemovedDuringTheRefreshIsNotTouchedAgain)
{
    auto gone = link();
    auto other = link();
    ASSERT_TRUE(gone && other);
    ASSERT_NE(gone->userID(), other->userID());
    server->scriptAction("/data/accounts/get",
                         ScriptedReply::json(QJsonObject{{"success", false}, {"type", "USER_DELINKED"}}));
    auto outcome = refresh(gone->userID());
    EXPECT_EQ(outcome->calls, 1);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, KOVErrorUserDelinked);
    EXPECT_TRUE(gone->isDeleted());
    EXPECT_EQ(namesOf(other), QStringList{"Demo"}) << "the other login keeps its placeholder";
    EXPECT_EQ(KOVAppManager::sharedInstance().getConnectionsForClientUserID("client-1").size(), 1);
}

TEST_F(PaymentAccountsTest, NoUserScopedWorkWithoutAUserID)
{
    auto first = link();
    auto second = link();
    ASSERT_TRUE(first && second);

    // A login without a user ID must not stand for every login.
    for (const auto &connection : {first, second})
        connection->subaccounts().first()->setIsStillFetching(true);
    auto detached = context().insertNewObject<KOVConnection>();
    detached->setClientUserID("client-1");
    EXPECT_TRUE(KOVPaymentAccounts::fetchDemoAccounts(detached, "client-1", false).isEmpty());
    KOVPaymentAccounts::removeDemoAccounts(detached, "client-1");
    EXPECT_EQ(namesOf(first), QStringList{"Demo"});
    EXPECT_EQ(namesOf(second), QStringList{"Demo"});
    context().deleteObject(detached);

    server->clearRequests();
    for (const QString &userID : {QString(), QString("")}) {
        auto outcome = refresh(userID);
        EXPECT_EQ(outcome->calls, 1);
        EXPECT_TRUE(outcome->onMainThread);
        EXPECT_FALSE(outcome->error);
    }
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::AppServerPath).isEmpty());
    EXPECT_EQ(namesOf(first), QStringList{"Demo"});
    EXPECT_EQ(namesOf(second), QStringList{"Demo"});
}

TEST_F(PaymentAccountsTest, AStoredLoginNoListedConnectionHoldsStillEndsItsRefresh)
{
    auto connection = link();
    ASSERT_TRUE(connection);
    connection->setIsValid(false); // no longer listed
    ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
    server->clearRequests();

    auto outcome = refresh(connection->userID());
    EXPECT_EQ(outcome->calls, 1);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, KOVErrorCredentialsUnavailable);
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::AppServerPath).isEmpty());
}

TEST_F(PaymentAccountsTest, BoundsComeFromTheStartedInstancesStoredConfiguration)
{
    auto configs = KOVAppConfigs::getConfigsForAppKey("app-key-1", context());
    ASSERT_TRUE(configs);
    configs->setMinTransferAmount(10);
    configs->setMaxTransferAmount(6000000000LL);
    EXPECT_EQ(KOVPaymentAccounts::resolvedBounds(0, 0), std::make_pair(quint64(10), quint64(6000000000ULL)));
    EXPECT_EQ(KOVPaymentAccounts::resolvedBounds(3, 0), std::make_pair(quint64(3), quint64(6000000000ULL)));
    configs->setMinTransferAmount(-1);
    configs->setMaxTransferAmount(std::nullopt);
    EXPECT_EQ(KOVPaymentAccounts::resolvedBounds(0, 0), std::make_pair(quint64(0), quint64(0)));
}

namespace {

class HeldFlow : public KOVAutoFlow {
public:
    using KOVAutoFlow::KOVAutoFlow;
    void present() override {}
};

} // namespace

TEST_F(PaymentAccountsTest, AnEarlierFlowsCompletionLeavesALaterFlowInPlace)
{
    auto screens = std::make_shared<kova::test::TestScreensProvider>();
    QList<KOVAutoFlowRequest> started;
    screens->autoFlow = [&](const KOVAutoFlowRequest &request) {
        started.append(request);
        return std::make_shared<HeldFlow>(request);
    };
    KOVScreensProvider::install(screens);
    ASSERT_TRUE(link());
    const auto bank = KOVBankConnection::getConnectionsWithClientUserID("client-1").value(0);
    ASSERT_TRUE(bank);
    auto beneficiary = std::make_shared<KOVBeneficiary>();
    int calls = 0;
    auto completion = [&](auto, double, OptionalError, QString, QString) { ++calls; };

    bank->createTransferFromAccount(nullptr, beneficiary, 0, completion, QString());
    const auto first = bank->autoFlow();
    bank->createTransferFromAccount(nullptr, beneficiary, 0, completion, QString());
    const auto second = bank->autoFlow();
    ASSERT_EQ(started.size(), 2);
    ASSERT_NE(first, second);

    started[0].completion(nullptr, 0, std::nullopt, QString(), QString());
    EXPECT_EQ(bank->autoFlow(), second) << "the first flow's end must not drop the second";
    started[1].completion(nullptr, 0, std::nullopt, QString(), QString());
    EXPECT_FALSE(bank->autoFlow());
    EXPECT_EQ(calls, 2);
    KOVScreensProvider::install(nullptr);
}
