#include <QJsonArray>

#include "core/KOVAppManager.h"
#include "core/connections/KOVBankConnection.h"
#include "core/connections/KOVConnectManager.h"
#include "core/connections/KOVLogin.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVCard.h"
#include "core/store/KOVBankCard.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVSubaccount.h"
#include "platform/store/ManagedObjectContext.h"
#include "tests/core/SdkTestFixture.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;

namespace {

class StoredRecordsTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        startDefault("client-1");
    }

    std::shared_ptr<KOVBankConnection> importLogin()
    {
        int calls = 0;
        KOVBankConnection::create(server->issueLogin("client-1"), [&](std::shared_ptr<KOVBankConnection>, OptionalError e) {
            ++calls;
            EXPECT_FALSE(e.has_value()) << e->localizedDescription().toStdString();
        });
        EXPECT_TRUE(waitUntil([&] { return calls > 0; }));
        drainMainQueue();
        const auto listed = KOVBankConnection::getConnectionsWithClientUserID("client-1");
        return listed.isEmpty() ? nullptr : listed.last();
    }

    // Stores a login the way the connect screen does, and saves it.
    std::shared_ptr<KOVConnection> storeLogin(const QString &clientUserID, const QString &tokenID)
    {
        const QJsonObject login{{"userSecret", "secret-" + tokenID}, {"tokenID", tokenID}, {"userID", "user-7"},
                                {"bankId", "SANDBOXBANK"}, {"name", "Sandbox"}};
        KOVConnectManager manager(clientUserID, KOVLogin::initWithDictionary(login));
        std::shared_ptr<KOVConnection> made;
        manager.createConnection([&](std::shared_ptr<KOVConnection> connection, OptionalError error) {
            EXPECT_FALSE(error.has_value());
            made = std::move(connection);
        });
        EXPECT_TRUE(KOVAppManager::sharedInstance().saveContext());
        return made;
    }
};

TEST_F(StoredRecordsTest, AccountsAndCardsWithNumericIdentifiersAndAmountsAsTextAreStored)
{
    auto bank = importLogin();
    ASSERT_TRUE(bank);
    server->scriptAction(
        "/data/accounts/get",
        ScriptedReply::json(QJsonObject{
            {"accounts", QJsonArray{QJsonObject{{"id", 12345}, {"number", 1002003004}, {"name", "Current"},
                                                {"currency", QJsonObject{{"code", "AED"}}},
                                                {"balance", QJsonObject{{"amount", "250.75"}}}}}}}));
    int calls = 0;
    bank->getAccounts([&](QList<std::shared_ptr<KOVAccount>> accounts, OptionalError e, QString) {
        ++calls;
        EXPECT_FALSE(e.has_value());
        ASSERT_EQ(accounts.size(), 1);
        EXPECT_EQ(accounts[0]->accountID(), "12345");
        EXPECT_EQ(accounts[0]->balance(), 250.75);
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    std::shared_ptr<KOVSubaccount> stored;
    for (const auto &subaccount : bank->connection()->subaccounts())
        if (subaccount->accountId() == "12345")
            stored = subaccount;
    ASSERT_TRUE(stored) << "the account is stored under its identifier as text";
    EXPECT_EQ(stored->number(), "1002003004");
    EXPECT_EQ(stored->name(), "Current");
    EXPECT_EQ(stored->balance(), 250.75);

    server->scriptAction("/data/cards/get",
                         ScriptedReply::json(QJsonObject{
                             {"cards", QJsonArray{QJsonObject{{"id", 77}, {"cardNumber", qint64(4111111111111111)},
                                                              {"creditLimit", "5000"}, {"status", "active"}}}}}));
    calls = 0;
    bank->getCards([&](QList<std::shared_ptr<KOVCard>> cards, OptionalError e, QString) {
        ++calls;
        EXPECT_FALSE(e.has_value());
        EXPECT_EQ(cards.size(), 1);
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    ASSERT_EQ(bank->connection()->cards().size(), 1);
    const auto card = bank->connection()->cards().first()->toCard();
    ASSERT_TRUE(card) << "the stored card is found again in its reply";
    EXPECT_EQ(card->cardID(), "77");
    EXPECT_EQ(card->cardNumber(), "4111111111111111");
    EXPECT_EQ(card->creditLimit(), 5000);
}

TEST_F(StoredRecordsTest, ALoginStoredWithoutAClientUserIDReplacesOnlyRecordsWithoutOne)
{
    storeLogin("client-1", "t1");
    storeLogin("client-2", "t2");
    storeLogin(QString(), "t3");
    storeLogin(QString(), "t4");

    platform::Error error;
    platform::FetchRequest request = KOVConnection::fetchRequestWithUserID("user-7", QString(), false);
    QStringList stored;
    for (const auto &connection : context().fetch<KOVConnection>(request, &error))
        stored.append((connection->clientUserID().isNull() ? QStringLiteral("none") : connection->clientUserID()) + ":"
                      + connection->tokenID());
    EXPECT_EQ(stored, (QStringList{"client-1:t1", "client-2:t2", "none:t4"}));

    // A client user's login still replaces only that client user's record.
    storeLogin("client-1", "t5");
    stored.clear();
    for (const auto &connection : context().fetch<KOVConnection>(request, &error))
        stored.append((connection->clientUserID().isNull() ? QStringLiteral("none") : connection->clientUserID()) + ":"
                      + connection->tokenID());
    EXPECT_EQ(stored, (QStringList{"client-2:t2", "none:t4", "client-1:t5"}));
}

} // namespace
