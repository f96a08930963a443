#include <QJsonArray>
#include <QTimeZone>
#include <cmath>
#include <limits>
#include <ctime>
#include <atomic>
#include <thread>

#include "core/KOVConstants.h"
#include "core/KOVOperationQueueManager.h"
#include "core/api/KOVRepository.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVBeneficiary.h"
#include "core/records/KOVIdentity.h"
#include "core/records/KOVResult.h"
#include "core/records/KOVTransaction.h"
#include "core/records/KOVWireBeneficiary.h"
#include "core/KOVAppManager.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/store/ManagedObjectContext.h"
#include "tests/core/ScriptedMFAPresenter.h"
#include "tests/core/TestScreensProvider.h"
#include "tests/core/SdkTestFixture.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;

namespace {

template <typename Result>
struct Call {
    int calls = 0;
    Result result{};
    OptionalError error;
    QString operationID;
    KOVDataCompletion<Result> completion()
    {
        return [this](Result r, OptionalError e, QString id) {
            ++calls;
            result = std::move(r);
            error = std::move(e);
            operationID = std::move(id);
        };
    }
};

// The body as the server saw it, without the pipeline's own keys.
QJsonObject familyBody(const sandbox::RecordedRequest &request)
{
    QJsonObject body = request.json;
    for (const char *key : {"appKey", "action", "bundleID"})
        body.remove(key);
    return body;
}

const QJsonValue kNull(QJsonValue::Null);

QJsonObject mfaReply(const QJsonArray &prompts, bool withStep = true, bool withOperation = true)
{
    QJsonObject reply{{"status", "user_input_required"}, {"userInputs", prompts}};
    if (withStep)
        reply.insert("hlAPIStep", "step-2");
    if (withOperation)
        reply.insert("operationID", "op-mfa");
    return reply;
}

const QJsonArray kTwoPrompts{QJsonObject{{"id", "otp"}, {"query", "Code?"}, {"index", 0}},
                             QJsonObject{{"id", "captcha"}, {"query", "iVBORw0KGgo="}, {"index", 1}}};

} // namespace

class RepositoryTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        startDefault();
        presenter = std::make_shared<ScriptedMFAPresenter>();
        screens->presenter = presenter;
        KOVScreensProvider::install(screens);
        repo = KOVRepository::initWithConnection(nullptr);
    }
    QList<sandbox::RecordedRequest> appCalls() const
    {
        return server->requestsForPath(sandbox::SandboxServer::AppServerPath);
    }
    std::shared_ptr<TestScreensProvider> screens = std::make_shared<TestScreensProvider>();
    std::shared_ptr<ScriptedMFAPresenter> presenter;
    std::shared_ptr<KOVRepository> repo;
};

TEST_F(RepositoryTest, BodiesFollowTheKeyRulesOfEachFamily)
{
    Call<std::shared_ptr<KOVResult>> transfer;
    repo->createTransferToExistingBeneficiaryFromAccount("acc-1", "ben-1", 250.9, QString(), "s1", "t1", QString(),
                                                         nullptr, transfer.completion());
    ASSERT_TRUE(waitUntil([&] { return transfer.calls == 1; }));
    Call<std::shared_ptr<KOVResult>> autoflow;
    repo->createTransferFromAccountID("acc-1", nullptr, 250.9, "s1", "t1", "rent", "BANK", nullptr, autoflow.completion());
    ASSERT_TRUE(waitUntil([&] { return autoflow.calls == 1; }));

    auto beneficiary = std::make_shared<KOVBeneficiary>();
    beneficiary->setName("Ada");
    beneficiary->setIban("AE070331234567890123456");
    Call<std::shared_ptr<KOVResult>> created;
    repo->createBeneficiary(beneficiary, "s1", "t1", "BANK", nullptr, created.completion());
    ASSERT_TRUE(waitUntil([&] { return created.calls == 1; }));
    Call<std::shared_ptr<KOVResult>> nested;
    repo->createTransferFromAccountID("acc-1", beneficiary, 10, "s1", "t1", QString(), "BANK", nullptr, nested.completion());
    ASSERT_TRUE(waitUntil([&] { return nested.calls == 1; }));

    const auto calls = appCalls();
    ASSERT_EQ(calls.size(), 4);
    EXPECT_EQ(calls[0].action, "/payment/transfer/create");
    EXPECT_EQ(familyBody(calls[0]), (QJsonObject{{"senderID", "acc-1"}, {"receiverID", "ben-1"}, {"amount", 250},
                                                 {"userSecret", "s1"}, {"tokenID", "t1"}, {"remark", kNull},
                                                 {"bankID", kNull}}));
    EXPECT_TRUE(calls[0].body.contains("\"amount\": 250,")) << "a whole number on the wire";
    EXPECT_EQ(familyBody(calls[1]), (QJsonObject{{"senderID", "acc-1"}, {"amount", 250.9}, {"userSecret", "s1"},
                                                 {"tokenID", "t1"}, {"remark", "rent"}, {"beneficiary", kNull},
                                                 {"bankID", "BANK"}}));

    // Merged at the top: null fields are left out. Nested: they stay null.
    const QJsonObject fields = beneficiary->dictionaryRepresentation();
    QJsonObject merged;
    for (auto it = fields.begin(); it != fields.end(); ++it)
        if (!it.value().isNull())
            merged.insert(it.key(), it.value());
    merged.insert("userSecret", "s1");
    merged.insert("tokenID", "t1");
    merged.insert("bankID", "BANK");
    EXPECT_EQ(familyBody(calls[2]), merged);
    EXPECT_FALSE(familyBody(calls[2]).contains("branchAddress"));
    EXPECT_EQ(familyBody(calls[3]).value("beneficiary").toObject(), fields);
    EXPECT_TRUE(fields.value("branchAddress").isNull());
}

TEST_F(RepositoryTest, TransactionDatesAreTheDeviceDaysInGregorianDigits)
{
    const QByteArray savedTZ = qgetenv("TZ");
    qputenv("TZ", "Asia/Dubai");
    tzset();
    // 23:30 UTC on the last day of February is already March 1st in Dubai.
    const QDateTime from(QDate(2024, 2, 29), QTime(23, 30), Qt::UTC);
    const QDateTime to(QDate(2024, 3, 31), QTime(12, 0), Qt::UTC);
    Call<QList<std::shared_ptr<KOVTransaction>>> call;
    repo->getTransactionsForCardID("card-7", "s1", "t1", from, to, "BANK", nullptr, call.completion());
    ASSERT_TRUE(waitUntil([&] { return call.calls == 1; }));
    qputenv("TZ", savedTZ);
    tzset();
    const auto calls = appCalls();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(familyBody(calls[0]), (QJsonObject{{"cardID", "card-7"}, {"userSecret", "s1"}, {"tokenID", "t1"},
                                                 {"fromDate", "2024-03-01"}, {"toDate", "2024-03-31"},
                                                 {"bankID", "BANK"}}));
}

TEST_F(RepositoryTest, UnsendableAmountsFailAtOnceAndSendNothing)
{
    for (double amount : {-1.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e300}) {
        SCOPED_TRACE(amount);
        Call<std::shared_ptr<KOVResult>> call;
        repo->createTransferToExistingBeneficiaryFromAccount("a", "b", amount, QString(), "s1", "t1", QString(), nullptr,
                                                             call.completion());
        ASSERT_EQ(call.calls, 1) << "at once, before the call returns";
        EXPECT_EQ(call.error->code, 1005);
        EXPECT_EQ(call.error->localizedDescription(), "Invalid amount");
        if (amount == 1e300)
            continue; // fine as a fraction-bearing amount for the flows below
        Call<std::shared_ptr<KOVResult>> autoflow;
        repo->createWireTransferFromAccountID("a", nullptr, amount, "s1", "t1", QString(), QString(), nullptr,
                                              autoflow.completion());
        ASSERT_EQ(autoflow.calls, 1);
        EXPECT_EQ(autoflow.error->code, 1005);
    }
    drainMainQueue();
    EXPECT_TRUE(appCalls().isEmpty());
}

TEST_F(RepositoryTest, RecordsKeepTheWholeReplyAndCoolDownRewritesTheMessage)
{
    const QJsonObject accountsReply{{"operationID", "op-a"},
                                    {"accounts", QJsonArray{QJsonObject{{"id", "1"}}, QJsonObject{{"id", "2"}}, 7,
                                                            QJsonObject{{"id", "3"}}}}};
    server->scriptAction("/data/accounts/get", ScriptedReply::json(accountsReply));
    Call<QList<std::shared_ptr<KOVAccount>>> accounts;
    repo->getAccountsUserSecret("s1", "t1", QString(), nullptr, accounts.completion());
    ASSERT_TRUE(waitUntil([&] { return accounts.calls == 1; }));
    ASSERT_EQ(accounts.result.size(), 3) << "a non-object element is skipped";
    EXPECT_EQ(accounts.operationID, "op-a");
    for (const auto &account : accounts.result)
        EXPECT_EQ(account->dictionaryRepresentation(), accountsReply);
    EXPECT_EQ(accounts.result[2]->accountID(), "3");

    struct CoolDown {
        QJsonValue period;
        QString message;
    };
    for (const CoolDown &c : {CoolDown{QJsonObject{{"value", 24}, {"unit", "hrs"}},
                                       "This beneficiary becomes active in 24 hrs. Please try again then."},
                              CoolDown{QJsonObject{{"value", 2.5}, {"unit", "days"}},
                                       "This beneficiary becomes active in 2 days. Please try again then."},
                              CoolDown{QJsonObject{{"value", "soon"}, {"unit", "days"}}, "Original"},
                              CoolDown{QJsonValue(QJsonValue::Null), "Original"}}) {
        QJsonObject reply{{"status", "done"}, {"msg", "Original"}, {"reference", "REF-1"}, {"coolDownPeriod", c.period}};
        server->scriptAction("/payment/transfer/create", ScriptedReply::json(reply));
        Call<std::shared_ptr<KOVResult>> call;
        repo->createTransferToExistingBeneficiaryFromAccount("a", "b", 5, "r", "s1", "t1", "BANK", nullptr,
                                                             call.completion());
        ASSERT_TRUE(waitUntil([&] { return call.calls == 1; }));
        ASSERT_TRUE(call.result);
        EXPECT_EQ(call.result->message(), c.message);
        EXPECT_EQ(call.result->referenceNumber(), "REF-1");
        EXPECT_EQ(call.result->dictionaryRepresentation().value("msg").toString(), c.message);
    }
    EXPECT_EQ(KOVRepository::coolDownMessage("NoSuchKey %@ %@", QJsonObject{{"value", 3}, {"unit", "%d%n"}}),
              "NoSuchKey 3 %d%n")
        << "a text is never a format: only the two placeholders are filled";
}

TEST_F(RepositoryTest, TokenExchangeRulesAndOrder)
{
    auto exchange = [&](const QString &access, std::function<void()> check = {}) {
        auto result = std::make_shared<std::pair<int, std::pair<bool, OptionalError>>>();
        repo->exchangeUserID("u1", access, "t1", "c1", [result, check](bool ok, OptionalError error) {
            if (check)
                check();
            ++result->first;
            result->second = {ok, error};
        });
        EXPECT_TRUE(waitUntil([&] { return result->first == 1; }));
        return result->second;
    };
    server->scriptAction("/auth/ExchangeToken", ScriptedReply::json(QJsonObject{}));
    bool laneFree = false;
    auto ok = exchange("ac1", [&] { laneFree = KOVOperationQueueManager::sharedInstance().parallelQueue()->operationCount() == 0; });
    EXPECT_TRUE(ok.first);
    EXPECT_TRUE(laneFree) << "the exchange ends its operation before it completes";
    EXPECT_EQ(familyBody(appCalls().last()),
              (QJsonObject{{"connectionID", "c1"}, {"accessCode", "ac1"}, {"tokenID", "t1"}, {"userID", "u1"}}));

    server->scriptAction("/auth/ExchangeToken", ScriptedReply::json(QJsonObject{{"success", false}, {"type", "SESSION_EXPIRED"}}));
    auto failed = exchange("ac1");
    EXPECT_FALSE(failed.first);
    EXPECT_EQ(failed.second->code, 2007);

    const int before = appCalls().size();
    auto missing = exchange(QString());
    EXPECT_FALSE(missing.first);
    EXPECT_EQ(missing.second->code, 1002);
    EXPECT_EQ(missing.second->localizedDescription(), "Failed to exchange token");
    drainMainQueue();
    EXPECT_EQ(appCalls().size(), before) << "nothing is sent";
}

TEST_F(RepositoryTest, MfaAnswersAreResentWithTheResumeKeys)
{
    server->scriptAction("/data/identity/get", ScriptedReply::json(mfaReply(kTwoPrompts)));
    server->scriptAction("/data/identity/get",
                         ScriptedReply::json(QJsonObject{{"operationID", "op-done"}, {"identity", QJsonObject{{"name", "Ada"}}}}));
    presenter->script = {ScriptedMFAPresenter::answer({" 1234 ", "abcd"})};
    Call<std::shared_ptr<KOVIdentity>> call;
    repo->getIdentityUserSecret("s1", "t1", "BANK", nullptr, call.completion());
    ASSERT_TRUE(waitUntil([&] { return call.calls == 1; }));
    EXPECT_FALSE(call.error.has_value());
    EXPECT_EQ(call.operationID, "op-done");
    ASSERT_EQ(presenter->shown.size(), 1);
    ASSERT_EQ(presenter->shown[0].prompts.size(), 2);
    EXPECT_EQ(presenter->shown[0].prompts[1]->query(), "iVBORw0KGgo=");

    const auto calls = appCalls();
    ASSERT_EQ(calls.size(), 2);
    QJsonObject resent = familyBody(calls[0]);
    resent.insert("operationID", "op-mfa");
    resent.insert("hlAPIStep", "step-2");
    resent.insert("userInputs", QJsonArray{QJsonObject{{"id", "otp"}, {"answer", " 1234 "}, {"index", 0}},
                                           QJsonObject{{"id", "captcha"}, {"answer", "abcd"}, {"index", 1}}});
    EXPECT_EQ(familyBody(calls[1]), resent) << "answers are sent as typed";
    EXPECT_EQ(calls[1].action, "/data/identity/get");
}

TEST_F(RepositoryTest, MfaResumeKeysWithoutStepOrOperation)
{
    server->scriptAction("/data/cards/get", ScriptedReply::json(mfaReply(kTwoPrompts, false, true)));
    server->scriptAction("/data/cards/get", ScriptedReply::json(mfaReply(kTwoPrompts, true, false)));
    server->scriptAction("/data/cards/get", ScriptedReply::json(QJsonObject{{"cards", QJsonArray{}}}));
    presenter->script = {ScriptedMFAPresenter::answer({"1", "2"}), ScriptedMFAPresenter::answer({"3", "4"})};
    Call<QList<std::shared_ptr<KOVCard>>> call;
    repo->getCardsUserSecret("s1", "t1", "BANK", nullptr, call.completion());
    ASSERT_TRUE(waitUntil([&] { return call.calls == 1; }));
    EXPECT_FALSE(call.error.has_value());
    EXPECT_EQ(presenter->shown.size(), 2) << "a second round shows the sheet again";
    const auto calls = appCalls();
    ASSERT_EQ(calls.size(), 3);
    EXPECT_TRUE(calls[1].json.value("hlAPIStep").isNull());
    EXPECT_TRUE(calls[1].json.contains("hlAPIStep"));
    EXPECT_EQ(calls[1].json.value("operationID").toString(), "op-mfa");
    EXPECT_EQ(familyBody(calls[2]), familyBody(calls[0])) << "no operation ID: the first request is repeated as it was";
}

TEST_F(RepositoryTest, CancelBlankAnswerOrNoPresenterEndWith1003AndFreeTheLane)
{
    const QString cancelled = "You cancelled the authentication.";
    struct Case {
        const char *name;
        std::function<void()> arrange;
    };
    const QList<Case> cases{
        {"cancel", [&] { presenter->script = {ScriptedMFAPresenter::cancel()}; }},
        {"blank", [&] { presenter->script = {ScriptedMFAPresenter::answer({" \t ", "x"})}; }},
        {"blank in other spaces",
         [&] { presenter->script = {ScriptedMFAPresenter::answer({"x", QString::fromUtf8("\u00A0\u2003\t\u3000\u202F")})}; }},
        {"missing answer", [&] { presenter->script = {ScriptedMFAPresenter::answer({"x"})}; }},
        {"nothing can present", [&] { presenter->available = false; }},
        {"sheet lets go of its callbacks",
         [&] { presenter->script = {[](const MFAPresentation &, auto, auto) {}}; }},
        {"provider without a presenter", [&] { screens->presenter = nullptr; }},
        {"no provider", [&] { KOVScreensProvider::install(nullptr); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server->clearRequests();
        presenter->available = true;
        screens->presenter = presenter;
        KOVScreensProvider::install(screens);
        c.arrange();
        server->scriptAction("/data/accounts/get", ScriptedReply::json(mfaReply(kTwoPrompts)));
        Call<QList<std::shared_ptr<KOVAccount>>> call;
        Call<std::shared_ptr<KOVIdentity>> waiting;
        QStringList order;
        auto cancelledCall = call.completion();
        auto waitingCall = waiting.completion();
        repo->getAccountsUserSecret("lane", "t1", "BANK", nullptr, [&](auto r, auto e, auto id) {
            order << "interrupted";
            cancelledCall(r, e, id);
        });
        repo->getIdentityUserSecret("lane", "t1", "BANK", nullptr, [&](auto r, auto e, auto id) {
            order << "waiting";
            waitingCall(r, e, id);
        });
        ASSERT_TRUE(waitUntil([&] { return waiting.calls == 1; }));
        EXPECT_EQ(order, (QStringList{"interrupted", "waiting"}));
        ASSERT_TRUE(call.error.has_value());
        EXPECT_EQ(call.error->domain, KOVErrorDomain);
        EXPECT_EQ(call.error->code, 1003);
        EXPECT_EQ(call.error->localizedDescription(), cancelled);
        EXPECT_TRUE(call.operationID.isNull());
        QStringList actions;
        for (const auto &r : appCalls())
            actions << r.action;
        EXPECT_EQ(actions, (QStringList{"/data/accounts/get", "/data/identity/get"})) << "nothing is resent";
    }
}

TEST_F(RepositoryTest, ResubmissionFollowsCallsAlreadyWaitingOnTheLogin)
{
    server->scriptAction("/data/accounts/get", ScriptedReply::json(mfaReply(kTwoPrompts)));
    presenter->script = {ScriptedMFAPresenter::answer({"1", "2"})};
    Call<QList<std::shared_ptr<KOVAccount>>> first;
    Call<std::shared_ptr<KOVIdentity>> waiting;
    repo->getAccountsUserSecret("order", "t1", "BANK", nullptr, first.completion());
    repo->getIdentityUserSecret("order", "t1", "BANK", nullptr, waiting.completion());
    ASSERT_TRUE(waitUntil([&] { return first.calls == 1 && waiting.calls == 1; }));
    QStringList actions;
    for (const auto &r : appCalls())
        actions << r.action + (r.json.contains("operationID") ? "+resume" : "");
    EXPECT_EQ(actions, (QStringList{"/data/accounts/get", "/data/identity/get", "/data/accounts/get+resume"}));

    // A parallel-queue call resubmits at once.
    server->clearRequests();
    server->scriptAction("/metadata/accounts/get", ScriptedReply::json(mfaReply(kTwoPrompts)));
    server->scriptAction("/metadata/accounts/get", ScriptedReply::json(QJsonObject{{"accountsMetadata", QJsonObject{}}}));
    presenter->script = {ScriptedMFAPresenter::answer({"1", "2"})};
    Call<std::shared_ptr<KOVBankMetadata>> metadata;
    repo->getAccountMetadataUserSecret("order", "t1", "BANK", nullptr, metadata.completion());
    ASSERT_TRUE(waitUntil([&] { return metadata.calls == 1; }));
    EXPECT_FALSE(metadata.error.has_value());
    EXPECT_EQ(appCalls().size(), 2);
}

TEST_F(RepositoryTest, EveryFamilySendsItsActionAndItsOwnKeys)
{
    auto beneficiary = std::make_shared<KOVBeneficiary>();
    beneficiary->setName("Ada");
    auto wire = std::make_shared<KOVWireBeneficiary>();
    wire->setName("Grace");
    const QDateTime day(QDate(2024, 5, 6), QTime(12, 0), Qt::UTC);
    const QJsonObject login{{"userSecret", "s1"}, {"tokenID", "t1"}, {"bankID", "B"}};
    auto with = [&login](QJsonObject extra) {
        for (auto it = login.begin(); it != login.end(); ++it)
            extra.insert(it.key(), it.value());
        return extra;
    };
    QJsonObject wireFields;
    const QJsonObject wireBody = wire->dictionaryRepresentation();
    for (auto it = wireBody.begin(); it != wireBody.end(); ++it)
        if (!it.value().isNull())
            wireFields.insert(it.key(), it.value());

    struct Family {
        QString action;
        std::function<void(std::function<void()>)> call;
        QJsonObject body;
    };
    auto done = [](std::function<void()> finished) { return [finished](auto...) { finished(); }; };
    const QList<Family> families{
        {"/data/identity/get", [&](auto f) { repo->getIdentityUserSecret("s1", "t1", "B", nullptr, done(f)); }, login},
        {"/data/accounts/get", [&](auto f) { repo->getAccountsUserSecret("s1", "t1", "B", nullptr, done(f)); }, login},
        {"/data/cards/get", [&](auto f) { repo->getCardsUserSecret("s1", "t1", "B", nullptr, done(f)); }, login},
        {"/metadata/accounts/get", [&](auto f) { repo->getAccountMetadataUserSecret("s1", "t1", "B", nullptr, done(f)); }, login},
        {"/data/transactions/get",
         [&](auto f) { repo->getTransactionsForAccountID("a1", "s1", "t1", day, day, "B", nullptr, done(f)); },
         with({{"accountID", "a1"}, {"fromDate", "2024-05-06"}, {"toDate", "2024-05-06"}})},
        {"/payment/beneficiaries/get", [&](auto f) { repo->getBeneficiariesUserSecret("s1", "t1", "B", nullptr, done(f)); }, login},
        {"/wire/beneficiaries/get", [&](auto f) { repo->getWireBeneficiariesUserSecret("s1", "t1", "B", nullptr, done(f)); }, login},
        {"//wire/beneficiaries/create", [&](auto f) { repo->createWireBeneficiary(wire, "s1", "t1", "B", nullptr, done(f)); },
         with(wireFields)},
        {"//wire/transfer/create",
         [&](auto f) { repo->createWireTransferToExistingBeneficiaryFromAccount("a1", "b1", 7.9, "r", "s1", "t1", "B", nullptr, done(f)); },
         with({{"senderID", "a1"}, {"receiverID", "b1"}, {"amount", 7}, {"remark", "r"}})},
        {"/wire/transfer/autoflow",
         [&](auto f) { repo->createWireTransferFromAccountID("a1", wire, 7.9, "s1", "t1", QString(), "B", nullptr, done(f)); },
         with({{"senderID", "a1"}, {"amount", 7.9}, {"remark", kNull}, {"beneficiary", wire->dictionaryRepresentation()}})},
        {"/users/DelinkUser", [&](auto f) { repo->delinkUserWithUserSecret("s1", "t1", "B", nullptr, [f](auto, auto) { f(); }); }, login},
    };
    for (const Family &family : families) {
        SCOPED_TRACE(family.action.toStdString());
        server->clearRequests();
        server->scriptAction(family.action, ScriptedReply::json(QJsonObject{{"operationID", "op"}}));
        bool finished = false;
        family.call([&finished] { finished = true; });
        ASSERT_TRUE(waitUntil([&] { return finished; }));
        const auto calls = appCalls();
        ASSERT_EQ(calls.size(), 1);
        EXPECT_EQ(calls[0].action, family.action);
        EXPECT_EQ(familyBody(calls[0]), family.body);
        EXPECT_EQ(calls[0].header("Platform"), "iOS-SDK");
    }
}

TEST_F(RepositoryTest, TheCallerHearsOfAGoodReplyBeforeTheLoginsNextRequestLeaves)
{
    server->scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"accounts", QJsonArray{}}}));
    server->scriptAction("/data/identity/get", ScriptedReply::json(QJsonObject{{"identity", QJsonObject{}}}));
    int sentAtCompletion = -1;
    bool second = false;
    repo->getAccountsUserSecret("s-order", "t1", "B", nullptr,
                                [&](auto, auto, auto) { sentAtCompletion = int(appCalls().size()); });
    repo->getIdentityUserSecret("s-order", "t1", "B", nullptr, [&](auto, auto, auto) { second = true; });
    ASSERT_TRUE(waitUntil([&] { return second; }));
    EXPECT_EQ(sentAtCompletion, 1) << "the next request waits for the completion and the done block";
}

TEST_F(RepositoryTest, DatesUseAsciiDigitsWhateverTheLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    const QString text = KOVRepository::formatRequestDate(QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC));
    QLocale::setDefault(saved);
    EXPECT_EQ(text, "2024-03-01");
    EXPECT_TRUE(KOVRepository::formatRequestDate(QDateTime()).isNull());
}

TEST_F(RepositoryTest, LineBreaksAreAnswersNotBlanks)
{
    server->scriptAction("/data/identity/get", ScriptedReply::json(mfaReply(kTwoPrompts)));
    server->scriptAction("/data/identity/get", ScriptedReply::json(QJsonObject{{"identity", QJsonObject{}}}));
    const QString otp = QString::fromUtf8(" \n ");
    const QString captcha = QString::fromUtf8("\u00A0ab\u2003");
    presenter->script = {ScriptedMFAPresenter::answer({otp, captcha})};
    Call<std::shared_ptr<KOVIdentity>> call;
    repo->getIdentityUserSecret("s1", "t1", "BANK", nullptr, call.completion());
    ASSERT_TRUE(waitUntil([&] { return call.calls == 1; }));
    EXPECT_FALSE(call.error.has_value());
    const auto calls = appCalls();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[1].json.value("userInputs").toArray(),
              (QJsonArray{QJsonObject{{"id", "otp"}, {"answer", otp}, {"index", 0}},
                          QJsonObject{{"id", "captcha"}, {"answer", captcha}, {"index", 1}}}));
}

TEST_F(RepositoryTest, MfaSheetShowsTheBanksColoursLogoAndID)
{
    platform::ManagedObjectContext &context = KOVAppManager::sharedInstance().viewContext();
    auto connection = context.insertNewObject<KOVConnection>();
    auto info = context.insertNewObject<KOVBankInfo>();
    info->setBankID("BANK-7");
    info->setFullLogo("https://example.com/banks/7/full.png");
    info->setHalfLogo("https://example.com/banks/7/half.png");
    connection->setBankInfo(info);
    auto scheme = context.insertNewObject<KOVFinancialInstitutionColorScheme>();
    scheme->setMainColor("#123456");
    scheme->setSecondaryColor("not a colour");
    info->setColorScheme(scheme);

    auto showOnce = [&](const std::shared_ptr<KOVConnection> &record) {
        presenter->shown.clear();
        presenter->script = {ScriptedMFAPresenter::cancel()};
        server->scriptAction("/data/cards/get", ScriptedReply::json(mfaReply(kTwoPrompts)));
        Call<QList<std::shared_ptr<KOVCard>>> call;
        KOVRepository::initWithConnection(record)->getCardsUserSecret("s1", "t1", "BANK-7", nullptr, call.completion());
        EXPECT_TRUE(waitUntil([&] { return call.calls == 1; }));
        EXPECT_EQ(presenter->shown.size(), 1);
        return presenter->shown.value(0);
    };

    const MFAPresentation full = showOnce(connection);
    ASSERT_TRUE(full.colorScheme);
    EXPECT_EQ(full.colorScheme->primaryColor(), QColor("#123456"));
    EXPECT_EQ(full.colorScheme->secondaryColor(), QColor("#719CDD")) << "unreadable text falls back";
    EXPECT_EQ(full.bankLogo, "https://example.com/banks/7/full.png");
    EXPECT_EQ(full.bankID, "BANK-7");
    EXPECT_EQ(full.prompts.size(), 2);

    info->setColorScheme(nullptr);
    const MFAPresentation noScheme = showOnce(connection);
    ASSERT_TRUE(noScheme.colorScheme);
    EXPECT_EQ(noScheme.colorScheme->primaryColor(), QColor("#719CDD"));
    EXPECT_EQ(noScheme.colorScheme->secondaryColor(), QColor("#719CDD"));
    EXPECT_EQ(noScheme.bankID, "BANK-7");

    const MFAPresentation noBank = showOnce(context.insertNewObject<KOVConnection>());
    EXPECT_TRUE(noBank.bankLogo.isNull());
    EXPECT_TRUE(noBank.bankID.isNull());
}

TEST_F(RepositoryTest, AnswersCarryEachPromptsIndexWhateverFormTheBankGaveIt)
{
    // Some banks write the index as text; the answer must still name its own prompt.
    const QJsonArray prompts{QJsonObject{{"id", "otp"}, {"query", "Code?"}, {"index", "0"}},
                             QJsonObject{{"id", "pin"}, {"query", "PIN?"}, {"index", "1"}}};
    server->scriptAction("/data/identity/get", ScriptedReply::json(mfaReply(prompts)));
    server->scriptAction("/data/identity/get", ScriptedReply::json(QJsonObject{{"identity", QJsonObject{}}}));
    presenter->script = {ScriptedMFAPresenter::answer({"1234", "99"})};
    Call<std::shared_ptr<KOVIdentity>> call;
    repo->getIdentityUserSecret("s1", "t1", "BANK", nullptr, call.completion());
    ASSERT_TRUE(waitUntil([&] { return call.calls == 1; }));
    const auto calls = appCalls();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[1].json.value("userInputs").toArray(),
              (QJsonArray{QJsonObject{{"id", "otp"}, {"answer", "1234"}, {"index", 0}},
                          QJsonObject{{"id", "pin"}, {"answer", "99"}, {"index", 1}}}));
}

TEST_F(RepositoryTest, ACallMadeOffTheMainThreadIsSentAndAnsweredOnTheMainThread)
{
    server->scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"accounts", QJsonArray{}}}));
    std::atomic<int> calls{0};
    std::atomic<bool> onMainThread{false};
    std::atomic<bool> failed{false};
    std::thread worker([&] {
        repo->getAccountsUserSecret("s-worker", "t1", "B", nullptr, [&](auto, OptionalError error, auto) {
            onMainThread = platform::MainQueue::isMainThread();
            failed = error.has_value();
            ++calls;
        });
    });
    worker.join();
    ASSERT_TRUE(waitUntil([&] { return calls.load() == 1; }, std::chrono::seconds(5)));
    EXPECT_TRUE(onMainThread);
    EXPECT_FALSE(failed);
    EXPECT_EQ(appCalls().size(), 1);
    drainMainQueue();
    EXPECT_EQ(calls.load(), 1);
}
