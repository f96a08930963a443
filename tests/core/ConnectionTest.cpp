#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <cmath>

#include "core/KOVAppManager.h"
#include "core/KOVConstants.h"
#include "core/api/KOVRepository.h"
#include "core/connections/KOVBankConnection.h"
#include "core/connections/KOVConnectManager.h"
#include "core/connections/KOVLogin.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVBankMetadata.h"
#include "core/records/KOVBeneficiary.h"
#include "core/records/KOVCard.h"
#include "core/records/KOVIdentity.h"
#include "core/records/KOVResult.h"
#include "core/records/KOVWireBeneficiary.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVBankCard.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"
#include "core/store/KOVKeychain.h"
#include "core/store/KOVSubaccount.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/keychain/Vault.h"
#include "platform/store/ManagedObjectContext.h"
#include "sandbox/SandboxData.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/core/TestScreensProvider.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;

namespace {

QList<std::shared_ptr<KOVConnection>> allConnections(const QString &clientUserID)
{
    return KOVAppManager::sharedInstance().getConnectionsForClientUserID(clientUserID);
}

ScriptedReply goodMetadata()
{
    return ScriptedReply::json(
        QJsonObject{{"success", true}, {"accountsMetadata", sandbox::SandboxData::accountsMetadata("SANDBOXBANK")}});
}

QString secretOf(const QJsonObject &login)
{
    return KOVKeychain::keychain()->stringForKey(login.value("tokenID").toString() + login.value("userID").toString());
}

// A stand-in payment flow that records what it was started with.
class RecordingFlow : public KOVAutoFlow {
public:
    static inline QList<KOVAutoFlowRequest> started;
    static inline int presented = 0;
    // A real flow ends by calling the completion, which lets go of the
    // connection; this one may never end, so it does not hold the connection
    // that holds it.
    explicit RecordingFlow(KOVAutoFlowRequest request) : m_request(std::move(request)) { m_request.connection.reset(); }
    void present() override { ++presented; }
    const KOVAutoFlowRequest &request() const { return m_request; }

private:
    KOVAutoFlowRequest m_request;
};

struct Transfer {
    int calls = 0;
    std::shared_ptr<KOVAccount> account;
    double amount = 0;
    OptionalError error;
    QString operationID;
    QString reference;
    bool synchronous = false;
};

} // namespace

class ConnectionTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        startDefault("client-1");
        RecordingFlow::started.clear();
        RecordingFlow::presented = 0;
        screens->autoFlow = [](const KOVAutoFlowRequest &request) {
            RecordingFlow::started.append(request);
            return std::make_shared<RecordingFlow>(request);
        };
        KOVScreensProvider::install(screens);
    }
    void TearDown() override
    {
        // The recorded requests hold their bank connections: none may
        // outlive the test.
        RecordingFlow::started.clear();
        SdkTest::TearDown();
    }

    std::shared_ptr<TestScreensProvider> screens = std::make_shared<TestScreensProvider>();

    static std::shared_ptr<KOVAccount> someAccount()
    {
        return KOVAccount::initWithDictionary(QJsonObject{{"id", "ACC-1001"}});
    }
    static std::shared_ptr<KOVBeneficiary> someBeneficiary()
    {
        auto beneficiary = std::make_shared<KOVBeneficiary>();
        beneficiary->setName("Omar");
        beneficiary->setIban("AE460260001015333439901");
        return beneficiary;
    }

    std::shared_ptr<KOVBankConnection> import(const QJsonObject &parameters, OptionalError *errorOut = nullptr)
    {
        int calls = 0;
        std::shared_ptr<KOVBankConnection> imported;
        OptionalError error;
        KOVBankConnection::create(parameters, [&](std::shared_ptr<KOVBankConnection> c, OptionalError e) {
            ++calls;
            imported = std::move(c);
            error = std::move(e);
        });
        EXPECT_TRUE(waitUntil([&] { return calls > 0; }));
        drainMainQueue();
        EXPECT_EQ(calls, 1);
        if (errorOut)
            *errorOut = error;
        else
            EXPECT_FALSE(error.has_value()) << error->localizedDescription().toStdString();
        return imported;
    }

    std::shared_ptr<KOVBankConnection> importNew(QJsonObject *parametersOut = nullptr)
    {
        const QJsonObject parameters = server->issueLogin("client-1");
        if (parametersOut)
            *parametersOut = parameters;
        import(parameters);
        const auto listed = KOVBankConnection::getConnectionsWithClientUserID("client-1");
        return listed.isEmpty() ? nullptr : listed.last();
    }

    std::shared_ptr<Transfer> transfer(const std::function<void(KOVTransferReferenceCompletion)> &call)
    {
        auto result = std::make_shared<Transfer>();
        auto returned = std::make_shared<bool>(false);
        call([result, returned](std::shared_ptr<KOVAccount> account, double amount, OptionalError error,
                                 QString operationID, QString reference) {
            ++result->calls;
            result->synchronous = !*returned;
            result->account = std::move(account);
            result->amount = amount;
            result->error = std::move(error);
            result->operationID = std::move(operationID);
            result->reference = std::move(reference);
        });
        *returned = true;
        return result;
    }
};

TEST_F(ConnectionTest, ImportStoresAValidLoginAndExportGivesItsParametersBack)
{
    QJsonObject issued;
    auto bank = importNew(&issued);
    ASSERT_TRUE(bank);
    EXPECT_EQ(bank->userID(), issued.value("userID").toString());
    EXPECT_EQ(bank->bankID(), issued.value("bankId").toString());

    const auto stored = allConnections("client-1");
    ASSERT_EQ(stored.size(), 1);
    EXPECT_TRUE(stored[0]->isValid());
    const auto subaccounts = stored[0]->subaccounts();
    ASSERT_EQ(subaccounts.size(), 1);
    EXPECT_EQ(subaccounts[0]->name(), "Demo");
    EXPECT_EQ(subaccounts[0]->accountId(), "123456789");
    EXPECT_DOUBLE_EQ(subaccounts[0]->sortingCreatedAt(), stored[0]->createdAt().toMSecsSinceEpoch() / 1000.0);
    EXPECT_FALSE(subaccounts[0]->balance().has_value());
    ASSERT_TRUE(stored[0]->bankInfo());
    EXPECT_EQ(stored[0]->bankInfo()->swiftCode(), "SBXBAEAD") << "the metadata check filled the bank info";
    ASSERT_TRUE(stored[0]->bankInfo()->colorScheme());

    const QJsonObject exported = bank->getConnectionParameters();
    for (const char *key : {"clientUserID", "userSecret", "accessCode", "connectionID", "userID", "tokenID", "bankId",
                            "fullLogoPng", "halfLogoPng", "miniLogoPng", "color"})
        EXPECT_EQ(exported.value(key), issued.value(key)) << key;
    EXPECT_EQ(exported.value("fullName"), issued.value("name")) << "both names carry the short bank name";
    EXPECT_EQ(exported.value("name"), issued.value("name"));
    EXPECT_EQ(exported.keys().size(), 13);
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(issued.value("tokenID").toString() + issued.value("userID").toString()),
              issued.value("userSecret").toString());
}

TEST_F(ConnectionTest, ImportWithoutAClientUserIDFailsAtOnce)
{
    QJsonObject parameters = server->issueLogin("client-1");
    for (const QJsonValue &clientUserID : {QJsonValue(" \t "), QJsonValue(QJsonValue::Null), QJsonValue(7)}) {
        parameters.insert("clientUserID", clientUserID);
        int calls = 0;
        KOVBankConnection::create(parameters, [&](std::shared_ptr<KOVBankConnection> c, OptionalError e) {
            ++calls;
            EXPECT_FALSE(c);
            EXPECT_EQ(e->code, 1001);
            EXPECT_EQ(e->localizedDescription(), "Missing clientUserID");
        });
        EXPECT_EQ(calls, 1) << "reported before create returns";
    }
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(ConnectionTest, FailedImportLeavesStoreAndKeychainAsTheyWere)
{
    QJsonObject issued;
    auto first = importNew(&issued);
    ASSERT_TRUE(first);
    const QString key = issued.value("tokenID").toString() + issued.value("userID").toString();
    const QString secret = issued.value("userSecret").toString();

    // The same login again, with another secret, whose check fails.
    QJsonObject again = issued;
    again.insert("userSecret", "another-secret");
    server->scriptAction("/metadata/accounts/get",
                         ScriptedReply::json(QJsonObject{{"success", false}, {"type", "SESSION_EXPIRED"}, {"msg", "Expired"}}));
    OptionalError error;
    EXPECT_FALSE(import(again, &error));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, 2007);

    const auto stored = allConnections("client-1");
    ASSERT_EQ(stored.size(), 1) << "the new record is gone and the old one kept";
    EXPECT_EQ(stored[0], first->connection());
    EXPECT_TRUE(stored[0]->isValid());
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(key), secret);

    // A brand-new login whose check fails leaves no keychain item behind.
    QJsonObject fresh = server->issueLogin("client-1");
    const QString freshKey = fresh.value("tokenID").toString() + fresh.value("userID").toString();
    server->scriptAction("/metadata/accounts/get", ScriptedReply::json(QJsonObject{{"success", false}}));
    EXPECT_FALSE(import(fresh, &error));
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(freshKey).isNull());
    EXPECT_EQ(allConnections("client-1").size(), 1);
    platform::Error saveError;
    EXPECT_TRUE(KOVAppManager::sharedInstance().saveContext(&saveError));
    simulateRelaunch();
    EXPECT_EQ(KOVAppManager::sharedInstance().getConnectionsForClientUserID("client-1").size(), 1);
}

TEST_F(ConnectionTest, CreateConnectionRefusesAnIncompleteLoginWithoutTouchingAnything)
{
    QJsonObject issued = server->issueLogin("client-1");
    import(issued);
    const QString key = issued.value("tokenID").toString() + issued.value("userID").toString();
    for (const char *missing : {"userSecret", "tokenID", "userID"}) {
        SCOPED_TRACE(missing);
        QJsonObject parameters = issued;
        parameters.insert(missing, "");
        KOVConnectManager manager("client-1", KOVLogin::initWithDictionary(parameters));
        int calls = 0;
        manager.createConnection([&](std::shared_ptr<KOVConnection> connection, OptionalError error) {
            ++calls;
            EXPECT_FALSE(connection);
            ASSERT_TRUE(error.has_value());
            EXPECT_EQ(error->domain, KOVKeychainErrorDomain);
        });
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(context().hasChanges());
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(key), issued.value("userSecret").toString());
    }
    const QString text = "A connection needs a user secret, a token ID and a user ID";
    EXPECT_TRUE(logs->contains(QStringLiteral("[Kova] Keychain failed: Error Domain=%1 Code=1 \"%2\" "
                                              "UserInfo={NSLocalizedDescription=%2}")
                                   .arg(KOVKeychainErrorDomain, text)))
        << logs->lines().join("\n").toStdString();
}

TEST_F(ConnectionTest, AccountsAndCardsAreWrittenIntoTheStore)
{
    auto bank = importNew();
    ASSERT_TRUE(bank);
    QList<std::shared_ptr<KOVAccount>> accounts;
    int calls = 0;
    bank->getAccounts([&](QList<std::shared_ptr<KOVAccount>> a, OptionalError e, QString) {
        ++calls;
        EXPECT_FALSE(e.has_value());
        accounts = a;
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    ASSERT_EQ(accounts.size(), 3);

    auto connection = bank->connection();
    QHash<QString, std::shared_ptr<KOVSubaccount>> byID;
    for (const auto &s : connection->subaccounts())
        byID.insert(s->accountId(), s);
    ASSERT_EQ(byID.size(), 4) << "three accounts and the placeholder";
    EXPECT_TRUE(byID.value("123456789")->isStillFetching()) << "the placeholder stays marked as fetching";
    const auto current = byID.value("ACC-1001");
    EXPECT_FALSE(current->isStillFetching());
    EXPECT_EQ(current->currencyCode(), "AED");
    EXPECT_EQ(current->balance(), accounts[0]->balance());
    const double sorting = current->sortingCreatedAt();
    EXPECT_DOUBLE_EQ(sorting, connection->createdAt().toMSecsSinceEpoch() / 1000.0);

    // An account listed again is updated in place, keeping what only the store knows.
    current->setIsFavourite(true);
    server->scriptAction("/data/accounts/get",
                         ScriptedReply::json(QJsonObject{{"accounts", QJsonArray{
                             QJsonObject{{"id", "ACC-1001"}, {"name", "Renamed"}, {"balance", QJsonObject{{"amount", 1.5}}}},
                             QJsonObject{{"name", "No ID"}}}}}));
    calls = 0;
    bank->getAccounts([&](QList<std::shared_ptr<KOVAccount>> a, OptionalError, QString) {
        ++calls;
        EXPECT_EQ(a.size(), 2) << "an account without an ID still reaches the caller";
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_EQ(connection->subaccounts().size(), 4) << "an account without an ID is never stored";
    EXPECT_EQ(current->name(), "Renamed");
    EXPECT_EQ(current->balance(), 1.5);
    EXPECT_TRUE(current->isFavourite());
    EXPECT_DOUBLE_EQ(current->sortingCreatedAt(), sorting);

    calls = 0;
    bank->getCards([&](QList<std::shared_ptr<KOVCard>> cards, OptionalError e, QString) {
        ++calls;
        EXPECT_FALSE(e.has_value());
        EXPECT_EQ(cards.size(), 2);
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    ASSERT_EQ(connection->cards().size(), 2);
    EXPECT_FALSE(context().hasChanges()) << "the writes were saved";

    // A fresh listing converts the stored rows into records again.
    const auto listed = KOVBankConnection::getConnectionsWithClientUserID("client-1");
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0]->accounts().size(), 3) << "the placeholder is not an account";
    EXPECT_EQ(listed[0]->cards().size(), 2);
    const QJsonObject dictionary = listed[0]->dictionaryRepresentation();
    EXPECT_EQ(dictionary.value("accounts").toArray().size(), 3);
    EXPECT_EQ(dictionary.value("cards").toArray().size(), 2);
    EXPECT_EQ(dictionary.value("bankShortName"), dictionary.value("bankFullName"));
    EXPECT_EQ(listed[0]->debugDescription(),
              QStringLiteral("<KOVBankConnection: 0x%1; SANDBOXBANK; %2; United Arab Emirates;>")
                  .arg(QString::number(reinterpret_cast<quintptr>(listed[0].get()), 16), listed[0]->bankName()));
}

TEST_F(ConnectionTest, ServerSaysTheLoginIsGoneSoTheRecordIsRemoved)
{
    QJsonObject issued;
    auto bank = importNew(&issued);
    ASSERT_TRUE(bank);
    const QString key = issued.value("tokenID").toString() + issued.value("userID").toString();

    // A payment failure deletes nothing, whatever its code.
    server->scriptAction("/payment/beneficiaries/get",
                         ScriptedReply::json(QJsonObject{{"success", false}, {"type", "INVALID_CREDENTIALS"}}));
    int calls = 0;
    bank->getBeneficiaries([&](auto, OptionalError e, QString) {
        ++calls;
        EXPECT_EQ(e->code, 2000);
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_EQ(allConnections("client-1").size(), 1);

    server->scriptAction("/data/identity/get",
                         ScriptedReply::json(QJsonObject{{"success", false}, {"type", "USER_DELINKED"}, {"msg", "Gone"}}));
    calls = 0;
    bool removedBeforeCompletion = false;
    bank->getIdentity([&](std::shared_ptr<KOVIdentity> identity, OptionalError e, QString) {
        ++calls;
        EXPECT_FALSE(identity);
        EXPECT_EQ(e->code, 2001);
        removedBeforeCompletion = allConnections("client-1").isEmpty();
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_TRUE(removedBeforeCompletion);
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(key).isNull()) << "the secret leaves with its login";
    EXPECT_TRUE(KOVKeychain::keychain()->allKeys().isEmpty());
}

TEST_F(ConnectionTest, DelinkRemovesTheRecordAndLaterCallsSayDelinked)
{
    auto bank = importNew();
    ASSERT_TRUE(bank);
    int calls = 0;
    bank->deleteConnection([&](std::shared_ptr<KOVResult> result, OptionalError error) {
        ++calls;
        EXPECT_FALSE(error.has_value());
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->success());
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_TRUE(allConnections("client-1").isEmpty());
    EXPECT_TRUE(Kova::sharedInstance()->getConnections().isEmpty());
    EXPECT_TRUE(KOVKeychain::keychain()->allKeys().isEmpty()) << "the secret leaves with its login";

    calls = 0;
    bank->getAccountMetadata([&](auto, OptionalError error, QString) {
        ++calls;
        EXPECT_EQ(error->code, 2001);
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
}

TEST_F(ConnectionTest, LoginWithoutItsSecretEndsEveryCallWith1004AndSendsNothing)
{
    QJsonObject issued;
    auto bank = importNew(&issued);
    ASSERT_TRUE(bank);
    KOVKeychain::keychain()->removeItemForKey(issued.value("tokenID").toString() + issued.value("userID").toString());
    const auto listed = KOVBankConnection::getConnectionsWithClientUserID("client-1");
    ASSERT_EQ(listed.size(), 1);
    auto orphan = listed[0];
    EXPECT_FALSE(orphan->dataAPI());
    server->clearRequests();

    int calls = 0;
    QList<OptionalError> errors;
    auto record = [&](OptionalError e) {
        ++calls;
        EXPECT_TRUE(platform::MainQueue::isMainThread());
        errors.append(e);
    };
    orphan->getIdentity([&](auto, OptionalError e, QString) { record(e); });
    orphan->getAccountMetadata([&](auto, OptionalError e, QString) { record(e); });
    orphan->deleteConnection([&](auto, OptionalError e) { record(e); });
    orphan->createTransferToExistingBeneficiaryFromAccount(
        nullptr, "b", 5, [&](std::shared_ptr<KOVAccount>, double, OptionalError e, QString, QString) { record(e); }, QString());
    EXPECT_EQ(calls, 0) << "reported on the main queue, not at once";
    ASSERT_TRUE(waitUntil([&] { return calls == 4; }));
    drainMainQueue();
    EXPECT_EQ(calls, 4);
    for (const auto &e : errors) {
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->code, 1004);
        EXPECT_EQ(e->localizedDescription(), "Bank connection credentials unavailable");
        EXPECT_FALSE(e->userInfo.contains("info"));
    }
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::AppServerPath).isEmpty());
    EXPECT_EQ(allConnections("client-1").size(), 1) << "nothing is deleted";
}

TEST_F(ConnectionTest, TransferDecisionTable)
{
    auto bank = importNew();
    ASSERT_TRUE(bank);
    auto account = someAccount();
    auto beneficiary = someBeneficiary();

    // No beneficiary and no remote flag: 2012 at once.
    auto noBeneficiary = transfer([&](auto completion) { bank->createTransferFromAccount(account, nullptr, 10, completion, "r"); });
    ASSERT_EQ(noBeneficiary->calls, 1);
    EXPECT_TRUE(noBeneficiary->synchronous);
    EXPECT_EQ(noBeneficiary->error->code, 2012);
    EXPECT_EQ(noBeneficiary->error->localizedDescription(), "Beneficiary must be present");
    EXPECT_EQ(noBeneficiary->account, account);
    EXPECT_EQ(noBeneficiary->amount, 10);
    auto noWire = transfer([&](auto completion) { bank->createWireTransferFromAccount(account, nullptr, 10, completion, QString()); });
    EXPECT_EQ(noWire->error->localizedDescription(), "WireBeneficiary must be present");
    EXPECT_TRUE(logs->contains(QStringLiteral("Error Domain=%1 Code=2012 \"Beneficiary must be present\" "
                                              "UserInfo={NSLocalizedDescription=Beneficiary must be present}")
                                   .arg(KOVErrorDomain)))
        << logs->lines().join("\n").toStdString();

    // Amounts that count as absent open the flow at the amount pad.
    for (double amount : {0.0, 9223372036854775808.0, std::nan("")}) {
        SCOPED_TRACE(amount);
        auto t = transfer([&](auto completion) { bank->createTransferFromAccount(account, beneficiary, amount, completion, "r"); });
        EXPECT_EQ(t->calls, 0);
        ASSERT_TRUE(bank->autoFlow());
        EXPECT_EQ(RecordingFlow::started.last().account, account);
        EXPECT_EQ(RecordingFlow::started.last().beneficiary, beneficiary);
        EXPECT_EQ(RecordingFlow::started.last().remark, "r");
        EXPECT_EQ(RecordingFlow::started.last().connection, bank);
        // The flow's completion reaches the caller unchanged and lets go of the flow.
        RecordingFlow::started.last().completion(account, 12, std::nullopt, "op-f", "REF-F");
        EXPECT_FALSE(bank->autoFlow());
    }
    EXPECT_EQ(RecordingFlow::presented, 3);

    // No account opens the flow at the account picker.
    transfer([&](auto completion) { bank->createTransferFromAccount(nullptr, beneficiary, 10, completion, QString()); });
    EXPECT_FALSE(RecordingFlow::started.last().account);

    // An account and an amount go straight to the service.
    server->clearRequests();
    auto direct = transfer([&](auto completion) { bank->createTransferFromAccount(account, beneficiary, 100.5, completion, "rent"); });
    ASSERT_TRUE(waitUntil([&] { return direct->calls == 1; }));
    EXPECT_FALSE(direct->error.has_value()) << direct->error->description().toStdString();
    EXPECT_EQ(direct->account, account);
    EXPECT_TRUE(direct->reference.startsWith("TRF-"));
    const auto calls = server->requestsForPath(sandbox::SandboxServer::AppServerPath);
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].action, "/payment/transfer/autoflow");
    EXPECT_EQ(calls[0].json.value("amount").toDouble(), 100.5);
    EXPECT_EQ(calls[0].json.value("remark").toString(), "rent");

    // With the remote flag cached, no beneficiary is needed.
    auto configs = KOVAppConfigs::getConfigsForAppKey("app-key-1", context());
    ASSERT_TRUE(configs);
    configs->setIsRemoteBeneficiarySet(true);
    auto remote = transfer([&](auto completion) { bank->createTransferFromAccount(nullptr, nullptr, 0, completion, QString()); });
    EXPECT_EQ(remote->calls, 0);
    EXPECT_FALSE(RecordingFlow::started.last().beneficiary);
    bank->setAutoFlow(nullptr); // the flow and the bank connection hold each other
}

TEST_F(ConnectionTest, WithoutAPaymentFlowATransferThatNeedsOneEndsWith1006OnALaterTurn)
{
    auto bank = importNew();
    ASSERT_TRUE(bank);
    auto account = someAccount();
    auto beneficiary = someBeneficiary();
    server->clearRequests();

    const std::function<void()> arrangements[] = {[&] { screens->autoFlow = nullptr; },
                                                  [&] { KOVScreensProvider::install(nullptr); }};
    for (const auto &arrange : arrangements) {
        arrange();
        auto t = transfer([&](auto completion) { bank->createTransferFromAccount(account, beneficiary, 0, completion, "r"); });
        EXPECT_EQ(t->calls, 0) << "never on the caller's stack";
        ASSERT_TRUE(waitUntil([&] { return t->calls == 1; }));
        ASSERT_TRUE(t->error.has_value());
        EXPECT_EQ(t->error->domain, KOVErrorDomain);
        EXPECT_EQ(t->error->code, 1006);
        EXPECT_EQ(t->error->localizedDescription(), "Payment flow unavailable");
        EXPECT_EQ(t->account, account);
        EXPECT_FALSE(bank->autoFlow());
    }
    EXPECT_TRUE(RecordingFlow::started.isEmpty());
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::AppServerPath).isEmpty());
}

// A host that wants no answer may hand any call an empty block. Whichever
// road the call takes (the server's reply, an error found before any
// request, the payment flow's end), the block is left alone and nothing
// throws out of the event loop, which would end the host's process.
TEST_F(ConnectionTest, EmptyBlocksAreLeftUncalledOnEveryRoad)
{
    QJsonObject parameters;
    auto bank = importNew(&parameters);
    ASSERT_TRUE(bank);
    auto account = someAccount();
    auto beneficiary = someBeneficiary();
    auto wire = std::make_shared<KOVWireBeneficiary>();
    wire->setName("Omar");
    wire->setAccountNumber("GB29NWBK60161331926819");
    const QDateTime to = QDateTime::currentDateTimeUtc();
    const QDateTime from = to.addDays(-30);
    server->clearRequests();

    // Calls that reach the server, all on the login's one lane.
    const std::pair<const char *, std::function<void()>> sent[] = {
        {"identity", [&] { bank->getIdentity({}); }},
        {"accounts", [&] { bank->getAccounts({}); }},
        {"transactions", [&] { bank->getTransactionsForAccount(account, from, to, {}); }},
        {"transactions since", [&] { bank->getTransactionsForAccount(account, from, {}); }},
        {"beneficiaries", [&] { bank->getBeneficiaries({}); }},
        {"wire beneficiaries", [&] { bank->getWireBeneficiaries({}); }},
        {"create beneficiary", [&] { bank->createBeneficiary(someBeneficiary(), {}); }},
        {"create wire beneficiary", [&] { bank->createWireBeneficiary(wire, {}); }},
        {"metadata", [&] { bank->getAccountMetadata({}); }},
        {"cards", [&] { bank->getCards({}); }},
        {"card transactions", [&] { bank->getTransactionsForCard(nullptr, from, to, {}); }},
        {"direct transfer", [&] { bank->createTransferFromAccount(account, beneficiary, 10, KOVTransferReferenceCompletion(), "r"); }},
        {"plain direct transfer", [&] { bank->createTransferFromAccount(account, beneficiary, 10, "r", KOVTransferCompletion()); }},
        {"direct wire transfer", [&] { bank->createWireTransferFromAccount(account, wire, 10, KOVTransferReferenceCompletion(), "r"); }},
        {"existing beneficiary", [&] { bank->createTransferToExistingBeneficiaryFromAccount(account, "BEN-3001", 10, "r", KOVTransferCompletion()); }},
        {"existing beneficiary, reference", [&] { bank->createTransferToExistingBeneficiaryFromAccount(account, "BEN-3001", 10, KOVTransferReferenceCompletion(), "r"); }},
        {"existing wire beneficiary", [&] { bank->createWireTransferToExistingBeneficiaryFromAccount(account, "BEN-3001", 10, "r", KOVTransferCompletion()); }},
    };
    for (const auto &[name, call] : sent) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(call());
    }
    // Errors found before any request answer on the caller's stack.
    const std::pair<const char *, std::function<void()>> unsent[] = {
        {"no beneficiary", [&] { bank->createTransferFromAccount(account, nullptr, 10, KOVTransferReferenceCompletion(), "r"); }},
        {"plain, no beneficiary", [&] { bank->createTransferFromAccount(account, nullptr, 10, "r", KOVTransferCompletion()); }},
        {"no wire beneficiary", [&] { bank->createWireTransferFromAccount(account, nullptr, 10, "r", KOVTransferCompletion()); }},
        {"import without a client user", [&] { KOVBankConnection::create(QJsonObject{}, {}); }},
    };
    for (const auto &[name, call] : unsent) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(call());
    }
    // The payment flow's end (here a cancel) lets go of the flow all the same.
    for (const bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain flow" : "flow");
        if (plain)
            bank->createTransferFromAccount(account, beneficiary, 0, "r", KOVTransferCompletion());
        else
            bank->createTransferFromAccount(account, beneficiary, 0, KOVTransferReferenceCompletion(), "r");
        ASSERT_TRUE(bank->autoFlow());
        const auto cancelled = platform::Error::withDescription(KOVErrorDomain, 1003, "cancelled");
        EXPECT_NO_THROW(RecordingFlow::started.last().completion(account, 0, cancelled, QString(), QString()));
        EXPECT_FALSE(bank->autoFlow());
    }

    // A last call on the same lane answers after every one above.
    int answered = 0;
    bank->getAccounts([&](auto, OptionalError, QString) { ++answered; });
    ASSERT_TRUE(waitUntil([&] { return answered == 1; }));
    drainMainQueue();
    EXPECT_EQ(server->requestsForPath(sandbox::SandboxServer::AppServerPath).size(), qsizetype(std::size(sent)) + 1);

    // The start, an import and a delink, each with an empty block.
    EXPECT_NO_THROW(Kova::startWithAppKey("app-key-1", "client-1", {}));
    auto again = start("app-key-1", "client-1");
    EXPECT_EQ(again->calls, 1);
    const QJsonObject second = server->issueLogin("client-1");
    EXPECT_NO_THROW(KOVBankConnection::create(second, {}));
    auto listed = [](const QString &userID) {
        for (const auto &connection : KOVBankConnection::getConnectionsWithClientUserID("client-1"))
            if (connection->userID() == userID)
                return true;
        return false;
    };
    ASSERT_TRUE(waitUntil([&] { return listed(second.value("userID").toString()); }));
    EXPECT_NO_THROW(bank->deleteConnection({}));
    ASSERT_TRUE(waitUntil([&] { return !listed(parameters.value("userID").toString()); }));
    drainMainQueue();

    // The keychain's shared-password calls, which have no credentials here.
    const auto keychain = KOVKeychain::keychain();
    EXPECT_NO_THROW(keychain->sharedPasswordWithCompletion({}));
    EXPECT_NO_THROW(keychain->setSharedPassword("secret", "omar", {}));
    EXPECT_NO_THROW(KOVKeychain::requestSharedWebCredentialWithCompletion({}));
    drainMainQueue();
}

TEST_F(ConnectionTest, DirectTransfersReportTheReferenceNumber)
{
    auto bank = importNew();
    ASSERT_TRUE(bank);
    auto account = someAccount();
    auto outcome = std::make_shared<Transfer>();
    bank->createTransferToExistingBeneficiaryFromAccount(
        account, "BEN-3001", 100.75,
        [outcome](std::shared_ptr<KOVAccount> a, double amount, OptionalError e, QString op, QString ref) {
            ++outcome->calls;
            outcome->account = a;
            outcome->amount = amount;
            outcome->error = e;
            outcome->operationID = op;
            outcome->reference = ref;
        },
        "gift");
    ASSERT_TRUE(waitUntil([&] { return outcome->calls == 1; }));
    EXPECT_FALSE(outcome->error.has_value()) << outcome->error->localizedDescription().toStdString();
    EXPECT_EQ(outcome->account, account);
    EXPECT_EQ(outcome->amount, 100.75);
    EXPECT_TRUE(outcome->reference.startsWith("TRF-"));
    EXPECT_FALSE(outcome->operationID.isEmpty());
    const auto sent = server->requestsForPath(sandbox::SandboxServer::AppServerPath).last();
    EXPECT_EQ(sent.json.value("amount").toInteger(), 100);
    EXPECT_EQ(sent.json.value("remark").toString(), "gift");
}

TEST_F(ConnectionTest, BeneficiaryTypeFollowsTheBanksSwiftCode)
{
    auto bank = importNew();
    ASSERT_TRUE(bank);
    for (const auto &[swift, type] : QList<QPair<QString, QString>>{{"SBXBAEAD", "same"}, {"OTHRAEAD", "local"}, {QString(), "local"}}) {
        auto beneficiary = std::make_shared<KOVBeneficiary>();
        beneficiary->setName("Omar");
        beneficiary->setSwiftCode(swift);
        beneficiary->setType("intl");
        int calls = 0;
        bank->createBeneficiary(beneficiary, [&](auto, OptionalError, QString) { ++calls; });
        EXPECT_EQ(beneficiary->type(), type);
        ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
        EXPECT_EQ(server->requestsForPath(sandbox::SandboxServer::AppServerPath).last().json.value("type").toString(), type);
    }
}

TEST_F(ConnectionTest, DuplicateRemovalKeepsTheNewRecordEvenWhenAnOlderOneLooksNewer)
{
    QJsonObject issued;
    auto first = importNew(&issued);
    ASSERT_TRUE(first);
    // A clock that jumped back: the stored record claims a later creation.
    first->connection()->setValue("createdAt", QDateTime::currentDateTimeUtc().addDays(1));
    ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
    auto second = import(issued);
    ASSERT_TRUE(second);
    const auto stored = allConnections("client-1");
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0], second->connection());
    EXPECT_TRUE(KOVBankConnection::getConnectionsWithClientUserID(QString()).isEmpty());
    EXPECT_TRUE(KOVBankConnection::getConnectionsWithClientUserID("").isEmpty());
}

TEST_F(ConnectionTest, TheNextStartSendsTheUserIDsOfTheValidConnections)
{
    QJsonObject issued;
    auto first = importNew(&issued);
    ASSERT_TRUE(first);
    auto second = importNew();
    ASSERT_TRUE(second);
    second->connection()->setIsValid(false);
    ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
    simulateRelaunch();
    server->clearRequests();
    startDefault("client-1"); // completes from the cache, before the fetch is answered
    ASSERT_TRUE(waitUntil([&] { return !server->requestsForPath(sandbox::SandboxServer::ConfigsPath).isEmpty(); }));
    const auto configs = server->requestsForPath(sandbox::SandboxServer::ConfigsPath);
    ASSERT_EQ(configs.size(), 1);
    EXPECT_EQ(configs[0].json.value("userIDs").toArray(), (QJsonArray{issued.value("userID")}));
}

TEST_F(ConnectionTest, ReplacedRecordsTakeTheirSecretsWithThemButASharedSecretStays)
{
    QJsonObject issued;
    ASSERT_TRUE(importNew(&issued));
    const QString oldKey = issued.value("tokenID").toString() + issued.value("userID").toString();

    // The same user again under a new token: the older record and its secret go.
    const QJsonObject again = server->relinkLogin(issued.value("userID").toString());
    ASSERT_NE(again.value("tokenID"), issued.value("tokenID"));
    const QString secret = again.value("userSecret").toString();
    auto renewed = import(again);
    ASSERT_TRUE(renewed);
    const QString newKey = again.value("tokenID").toString() + issued.value("userID").toString();
    EXPECT_EQ(allConnections("client-1").size(), 1);
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(oldKey).isNull());
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(newKey), secret);
    EXPECT_EQ(KOVKeychain::keychain()->allKeys(), QStringList{newKey});

    // Another client user holds the same login and so the same item: a
    // delink of one record leaves the item to the other.
    QJsonObject shared = again;
    shared.insert("clientUserID", "client-2");
    ASSERT_TRUE(import(shared));
    ASSERT_EQ(allConnections("client-2").size(), 1);
    int calls = 0;
    renewed->deleteConnection([&](std::shared_ptr<KOVResult>, OptionalError error) {
        ++calls;
        EXPECT_FALSE(error.has_value());
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_TRUE(allConnections("client-1").isEmpty());
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(newKey), secret) << "client-2 still uses it";
    const auto other = KOVBankConnection::getConnectionsWithClientUserID("client-2");
    ASSERT_EQ(other.size(), 1);
    calls = 0;
    other[0]->deleteConnection([&](std::shared_ptr<KOVResult>, OptionalError) { ++calls; });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_TRUE(KOVKeychain::keychain()->allKeys().isEmpty());
}

TEST_F(ConnectionTest, ReimportBindsEveryCallToTheNewRecordAndItsNewSecret)
{
    QJsonObject issued;
    auto first = importNew(&issued);
    ASSERT_TRUE(first);
    // The same user linked again: a new token and a new secret, stored after the first.
    QJsonObject renewed = issued;
    renewed.insert("tokenID", "renewed-token");
    renewed.insert("userSecret", "renewed-secret");
    server->clearRequests();
    server->scriptAction("/metadata/accounts/get", goodMetadata());
    auto bank = import(renewed);
    ASSERT_TRUE(bank);

    auto sent = server->requestsForPath(sandbox::SandboxServer::AppServerPath);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].json.value("tokenID").toString(), "renewed-token");
    EXPECT_EQ(sent[0].json.value("userSecret").toString(), "renewed-secret");

    const auto stored = allConnections("client-1");
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0], bank->connection());
    EXPECT_EQ(stored[0]->tokenID(), "renewed-token");
    ASSERT_TRUE(stored[0]->bankInfo());
    EXPECT_EQ(stored[0]->bankInfo()->swiftCode(), "SBXBAEAD") << "the check's metadata lands on the survivor";
    EXPECT_EQ(stored[0]->bankInfo()->countryName(), "United Arab Emirates");
    EXPECT_EQ(secretOf(renewed), "renewed-secret");

    server->clearRequests();
    server->scriptAction("/data/identity/get", ScriptedReply::json(QJsonObject{{"identity", sandbox::SandboxData::identity()}}));
    int calls = 0;
    bank->getIdentity([&](auto, OptionalError e, QString) {
        ++calls;
        EXPECT_FALSE(e.has_value());
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    sent = server->requestsForPath(sandbox::SandboxServer::AppServerPath);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].json.value("tokenID").toString(), "renewed-token");
    EXPECT_EQ(sent[0].json.value("userSecret").toString(), "renewed-secret");

    const auto listed = KOVBankConnection::getConnectionsWithClientUserID("client-1");
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0]->swiftCode(), "SBXBAEAD");
}

TEST_F(ConnectionTest, ReimportRejectedByTheServerKeepsTheStoredLogin)
{
    QJsonObject issued;
    auto first = importNew(&issued);
    ASSERT_TRUE(first);
    const QString secret = issued.value("userSecret").toString();
    struct Case {
        const char *name;
        const char *type;
        qint64 code;
        QString tokenID; // null: the same token, so the same keychain item
    };
    for (const Case &c : {Case{"invalid credentials, same token", "INVALID_CREDENTIALS", 2000, QString()},
                          Case{"delinked, same token", "USER_DELINKED", 2001, QString()},
                          Case{"invalid credentials, new token", "INVALID_CREDENTIALS", 2000, "other-token"}}) {
        SCOPED_TRACE(c.name);
        QJsonObject again = issued;
        again.insert("userSecret", "rejected-secret");
        if (!c.tokenID.isNull())
            again.insert("tokenID", c.tokenID);
        server->scriptAction("/metadata/accounts/get",
                             ScriptedReply::json(QJsonObject{{"success", false}, {"type", c.type}, {"msg", "No"}}));
        OptionalError error;
        EXPECT_FALSE(import(again, &error));
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code, c.code);

        const auto stored = allConnections("client-1");
        ASSERT_EQ(stored.size(), 1);
        EXPECT_EQ(stored[0], first->connection());
        EXPECT_TRUE(stored[0]->isValid());
        EXPECT_EQ(secretOf(issued), secret);
        if (!c.tokenID.isNull()) {
            EXPECT_TRUE(secretOf(again).isNull()) << "no item is left for the rejected token";
        }
    }
    ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
    simulateRelaunch();
    const auto listed = KOVBankConnection::getConnectionsWithClientUserID("client-1");
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0]->userID(), issued.value("userID").toString());
    EXPECT_EQ(listed[0]->swiftCode(), "SBXBAEAD");
    EXPECT_EQ(secretOf(issued), secret);
    ASSERT_TRUE(listed[0]->connection());
    EXPECT_EQ(listed[0]->connection()->subaccounts().size(), 1) << "only the placeholder, nothing of the rejected import";
}

TEST_F(ConnectionTest, FailedStatusRepliesAreNeverReportedAsDone)
{
    QJsonObject issued;
    auto bank = importNew(&issued);
    ASSERT_TRUE(bank);
    auto account = KOVAccount::initWithDictionary(QJsonObject{{"id", "ACC-1001"}});
    const ScriptedReply broken = ScriptedReply::json(QJsonObject{}, 500);

    server->scriptAction("/payment/transfer/create", broken);
    auto direct = transfer([&](auto completion) {
        bank->createTransferToExistingBeneficiaryFromAccount(account, "BEN-3001", 10, completion, QString());
    });
    ASSERT_TRUE(waitUntil([&] { return direct->calls == 1; }));
    ASSERT_TRUE(direct->error.has_value());
    EXPECT_EQ(direct->error->code, 2002);
    EXPECT_TRUE(direct->reference.isNull());

    server->scriptAction("/payment/beneficiaries/create", broken);
    auto beneficiary = std::make_shared<KOVBeneficiary>();
    beneficiary->setName("Omar");
    int calls = 0;
    bank->createBeneficiary(beneficiary, [&](std::shared_ptr<KOVResult> result, OptionalError e, QString) {
        ++calls;
        EXPECT_FALSE(result);
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->code, 2002);
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));

    server->scriptAction("/users/DelinkUser", broken);
    calls = 0;
    bank->deleteConnection([&](std::shared_ptr<KOVResult>, OptionalError e) {
        ++calls;
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->code, 2002);
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_EQ(allConnections("client-1").size(), 1) << "a failed delink deletes nothing";

    // An import whose check is answered with a failed status is not accepted.
    server->scriptAction("/metadata/accounts/get", broken);
    OptionalError error;
    EXPECT_FALSE(import(server->issueLogin("client-1"), &error));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, 2002);
    EXPECT_EQ(KOVBankConnection::getConnectionsWithClientUserID("client-1").size(), 1);
}

TEST_F(ConnectionTest, RemovalAndBankInfoFollowOnlyWhatTheServerSaid)
{
    auto bank = importNew();
    ASSERT_TRUE(bank);
    auto info = bank->connection()->bankInfo();
    ASSERT_TRUE(info);
    info->setSwiftCode("KEEPME");
    info->setCountryName("Kept");
    info->setBeneficiaryCoolDownPeriod(7);

    // A failed metadata call leaves the bank info as it was.
    server->scriptAction("/metadata/accounts/get",
                         ScriptedReply::json(QJsonObject{{"success", false}, {"type", "SESSION_EXPIRED"}}));
    int calls = 0;
    bank->getAccountMetadata([&](auto metadata, OptionalError e, QString) {
        ++calls;
        EXPECT_FALSE(metadata);
        EXPECT_EQ(e->code, 2007);
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_EQ(info->swiftCode(), "KEEPME");
    EXPECT_EQ(info->countryName(), "Kept");
    EXPECT_EQ(info->beneficiaryCoolDownPeriod(), 7);

    // A good one writes the SWIFT code, the country's name and the cool-down in seconds.
    calls = 0;
    bank->getAccountMetadata([&](auto, OptionalError e, QString) {
        ++calls;
        EXPECT_FALSE(e.has_value());
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_EQ(info->swiftCode(), "SBXBAEAD");
    EXPECT_EQ(info->countryName(), "United Arab Emirates");
    EXPECT_EQ(info->beneficiaryCoolDownPeriod(), 24 * 3600);

    // Code 2000 made before any reply (no "info") removes nothing.
    KOVAppManager::sharedInstance().setServerURL(QUrl());
    calls = 0;
    bank->getIdentity([&](auto, OptionalError e, QString) {
        ++calls;
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->code, 2000);
        EXPECT_FALSE(e->userInfo.contains("info"));
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_EQ(allConnections("client-1").size(), 1);
}

TEST_F(ConnectionTest, BankConnectionPropertiesCanBeSet)
{
    auto bank = importNew();
    ASSERT_TRUE(bank);
    bank->setUserID("u");
    bank->setClientUserID("c");
    bank->setBankID("b");
    bank->setSwiftCode("s");
    bank->setBankName("n");
    bank->setCountryName("k");
    bank->setFullLogo("f");
    bank->setHalfLogo("h");
    bank->setMiniLogo("m");
    bank->setAccounts({});
    bank->setCards({});
    const QDateTime when = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    bank->setCreatedAt(when);
    bank->setDictionaryRepresentation(QJsonObject{{"k", 1}});
    EXPECT_EQ(QStringList({bank->userID(), bank->clientUserID(), bank->bankID(), bank->swiftCode(), bank->bankName(),
                           bank->countryName(), bank->fullLogo(), bank->halfLogo(), bank->miniLogo()}),
              QStringList({"u", "c", "b", "s", "n", "k", "f", "h", "m"}));
    EXPECT_TRUE(bank->accounts().isEmpty());
    EXPECT_EQ(bank->createdAt(), when);
    EXPECT_EQ(bank->dictionaryRepresentation(), (QJsonObject{{"k", 1}}));
    auto facade = bank->dataAPI();
    bank->setDataAPI(nullptr);
    EXPECT_FALSE(bank->dataAPI());
    bank->setDataAPI(facade);
    bank->setConnection(nullptr);
    EXPECT_FALSE(bank->connection());
}

TEST_F(ConnectionTest, DamagedVaultIsSetAsideSoItsLoginsSay1004AndANewLinkWorks)
{
    auto bank = importNew();
    ASSERT_TRUE(bank);
    const QString path = platform::Vault::defaultPath();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray damaged = file.readAll().chopped(40);
    file.close();
    ASSERT_TRUE(QFile::remove(path)); // a new file, as another process would leave it
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(damaged);
    file.close();
    test::waitOutRecentReads();

    const auto listed = Kova::sharedInstance()->getConnections();
    ASSERT_EQ(listed.size(), 1);
    int calls = 0;
    listed[0]->getIdentity([&](auto, OptionalError e, QString) {
        ++calls;
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->code, 1004);
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    const QFileInfo info(path);
    EXPECT_EQ(info.dir().entryList({info.fileName() + ".damaged-*"}, QDir::Files).size(), 1);
    EXPECT_EQ(logs->lines().filter("moved aside").size(), 1);

    // The user links the bank again and the fresh vault keeps the new secret.
    auto relinked = importNew();
    ASSERT_TRUE(relinked);
    EXPECT_TRUE(relinked->dataAPI());
    EXPECT_EQ(KOVKeychain::keychain()->allKeys().size(), 1);
}

TEST_F(ConnectionTest, AStaleHandleOfAReplacedLoginNeverRemovesTheLoginThatReplacedIt)
{
    // The host keeps a bank connection it listed earlier; the user then links
    // the same bank user again, which replaces the stored record. Whatever the
    // old handle hears afterwards concerns the old token only.
    struct Case {
        const char *name;
        std::function<void(const std::shared_ptr<KOVBankConnection> &, int &)> call;
    };
    const QList<Case> cases{
        {"a delink of the old token succeeds",
         [](const std::shared_ptr<KOVBankConnection> &stale, int &calls) {
             stale->deleteConnection([&calls](std::shared_ptr<KOVResult>, OptionalError error) {
                 ++calls;
                 EXPECT_FALSE(error.has_value());
             });
         }},
        {"the old token is said to be delinked",
         [this](const std::shared_ptr<KOVBankConnection> &stale, int &calls) {
             server->scriptAction("/data/identity/get",
                                  ScriptedReply::json(QJsonObject{{"success", false}, {"type", "USER_DELINKED"}}));
             stale->getIdentity([&calls](auto, OptionalError error, QString) {
                 ++calls;
                 ASSERT_TRUE(error.has_value());
                 EXPECT_EQ(error->code, 2001);
             });
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QJsonObject issued;
        auto stale = importNew(&issued);
        ASSERT_TRUE(stale);
        const QJsonObject again = server->relinkLogin(issued.value("userID").toString());
        auto renewed = import(again);
        ASSERT_TRUE(renewed);
        ASSERT_TRUE(stale->connection()->isDeleted()) << "the relink replaced the old record";

        int calls = 0;
        c.call(stale, calls);
        ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
        drainMainQueue();

        const auto listed = KOVBankConnection::getConnectionsWithClientUserID("client-1");
        EXPECT_EQ(listed.size(), 1) << "the login linked again is still there";
        if (listed.size() == 1) {
            EXPECT_EQ(listed[0]->connection(), renewed->connection());
        }
        EXPECT_EQ(secretOf(again).toStdString(), again.value("userSecret").toString().toStdString())
            << "and so is its secret";

        // Start the next case from an empty device.
        for (const auto &record : allConnections("client-1"))
            context().deleteObject(record);
        ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
        for (const QString &key : KOVKeychain::keychain()->allKeys())
            KOVKeychain::keychain()->removeItemForKey(key);
    }
}

TEST_F(ConnectionTest, AnImportStillBeingCheckedIsNeverListed)
{
    QJsonObject issued;
    auto first = importNew(&issued);
    ASSERT_TRUE(first);
    // The host imports the same login again and refreshes its list at once,
    // before the check has been answered.
    int calls = 0;
    KOVBankConnection::create(issued, [&](std::shared_ptr<KOVBankConnection>, OptionalError) { ++calls; });
    const auto meanwhile = KOVBankConnection::getConnectionsWithClientUserID("client-1");
    EXPECT_EQ(meanwhile.size(), 1) << "one login, listed once, and never one whose check is still out";
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    drainMainQueue();
    EXPECT_EQ(KOVBankConnection::getConnectionsWithClientUserID("client-1").size(), 1);
}
