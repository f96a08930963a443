#include <QJsonArray>
#include <QJsonDocument>

#include "core/KOVAPIManager.h"
#include "core/internal/KOVProcessState.h"
#include "core/KOVAppManager.h"
#include "core/KOVConstants.h"
#include "core/KOVOperationQueueManager.h"
#include "core/KOVServerErrorMapper.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/ProcessInfo.h"
#include "tests/core/SdkTestFixture.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;
using namespace std::chrono_literals;

namespace {

struct Outcome {
    int successes = 0;
    int failures = 0;
    QJsonObject reply;
    QString operationID;
    std::optional<platform::Error> error;
    bool requestGiven = false;
    std::function<void()> done;
};

// Posts one operation with the given body and records what comes back; the
// done block is kept for the test to call.
std::shared_ptr<Outcome> post(const QString &endPoint, const QJsonObject &body, bool callDone = true)
{
    auto outcome = std::make_shared<Outcome>();
    KOVAPIManager manager(Kova::sharedInstance() ? Kova::sharedInstance()->configurations() : nullptr);
    manager.setBody(platform::json::pretty(body));
    manager.postEndPoint(
        endPoint,
        [outcome, callDone](std::function<void()> done, const platform::URLRequest &,
                            const std::optional<platform::HTTPURLResponse> &, const QJsonObject &reply,
                            const QString &operationID) {
            ++outcome->successes;
            outcome->reply = reply;
            outcome->operationID = operationID;
            if (callDone)
                done();
            else
                outcome->done = std::move(done);
        },
        [outcome](const std::optional<platform::URLRequest> &request, const std::optional<platform::HTTPURLResponse> &,
                  const platform::Error &error, const QString &operationID) {
            ++outcome->failures;
            outcome->error = error;
            outcome->operationID = operationID;
            outcome->requestGiven = request.has_value();
        });
    return outcome;
}

bool finished(const std::shared_ptr<Outcome> &o)
{
    return o->successes + o->failures > 0;
}

QJsonObject loginBody(const QString &secret)
{
    return QJsonObject{{"userSecret", secret}, {"tokenID", "token-1"}};
}

} // namespace

class PipelineTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        platform::ProcessInfo::setMainBundleIdentifier(QStringLiteral("com.example.host"));
    }
    void TearDown() override
    {
        platform::ProcessInfo::setMainBundleIdentifier(QString());
        internal::KOVProcessState::setSessionTimeouts(135s, 300s);
        SdkTest::TearDown();
    }
};

TEST_F(PipelineTest, RequestCarriesFixedHeadersThenHostExtrasAndTheCompletedBody)
{
    auto options = KOVConfigurations::initWithCountries({"AE"}, KOVEnvironmentProduction);
    const QString op = KOVEndPointCreateWireTransferToExistingBeneficiary;
    options->setEndPointExtraQueryItems({{op, {{"tenant", "t1"}, {"tenant", "t2"}, {"flag", QString()}, {"keep", "host"}}}});
    options->setEndPointExtraHeaderFields({{op, {{"platform", "Evil"}, {"X-Trace", "abc"}, {"ACCEPT", "text/html"}}}});
    options->setEndPointExtraBody({{op, QJsonObject{{"channel", "mobile"}}}});
    server->setAppConfig(QJsonObject{{"serverURL", server->appServerUrl().toString() + "?keep=server"},
                                     {"countries", QJsonArray{"AE"}}});
    ASSERT_FALSE(start("app-key-1", "client-1", options)->error.has_value());

    server->scriptAction("//wire/transfer/create", ScriptedReply::json(QJsonObject{{"status", "done"}}));
    auto outcome = post(op, QJsonObject{{"userSecret", "s1"}, {"appKey", "forged"}, {"action", "forged"}});
    ASSERT_TRUE(waitUntil([&] { return finished(outcome); }));
    ASSERT_EQ(outcome->successes, 1) << (outcome->error ? outcome->error->localizedDescription().toStdString() : "");

    const auto calls = server->requestsForPath(sandbox::SandboxServer::AppServerPath);
    ASSERT_EQ(calls.size(), 1);
    const auto &request = calls[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.query.toString(QUrl::FullyDecoded), "keep=server&tenant=t1&flag");
    QList<QByteArray> names;
    for (const auto &h : request.headers)
        names.append(h.first);
    const qsizetype accept = names.indexOf("Accept");
    ASSERT_GE(accept, 0);
    EXPECT_EQ(names.mid(accept, 5), (QList<QByteArray>{"Accept", "Content-Type", "Platform", "SDKVersion", "X-Trace"}));
    EXPECT_EQ(request.header("Accept"), "application/json");
    EXPECT_EQ(request.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(request.header("Platform"), "iOS-SDK");
    EXPECT_EQ(request.header("SDKVersion"), KovaVersionString.toUtf8());
    EXPECT_EQ(request.header("X-Trace"), "abc");
    EXPECT_EQ(names.count("platform") + names.count("ACCEPT"), 0) << "fixed headers cannot be replaced in another case";

    const QJsonObject expected{{"userSecret", "s1"}, {"appKey", "app-key-1"}, {"action", "//wire/transfer/create"},
                               {"bundleID", "com.example.host"}, {"UserExtraBody", QJsonObject{{"channel", "mobile"}}}};
    EXPECT_EQ(request.json, expected);
    EXPECT_TRUE(request.body.contains("\n    \"action\"")) << "the body is pretty-printed";
}

TEST_F(PipelineTest, NoServerURLFailsAtOnceWithCode2000)
{
    auto outcome = post(KOVEndPointGetAccounts, loginBody("s1"));
    ASSERT_EQ(outcome->failures, 1) << "the failure runs before postEndPoint returns";
    EXPECT_FALSE(outcome->requestGiven);
    EXPECT_EQ(outcome->error->domain, KOVErrorDomain);
    EXPECT_EQ(outcome->error->code, 2000);
    EXPECT_FALSE(outcome->error->userInfo.contains("info"));
    EXPECT_EQ(outcome->error->localizedDescription(),
              "App Config not found because of invalid/missing appKey or bundleID. Please make sure you are using the "
              "correct appKey. Please make sure that you have set the bundleID value in the SDK as well as on the Kova "
              "Dashboard.");
    drainMainQueue();
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::AppServerPath).isEmpty());
}

TEST_F(PipelineTest, ServerErrorTypesMapToCodesWithTheWholeReply)
{
    startDefault();
    const QList<QPair<QJsonValue, qint64>> table{
        {"INVALID_CREDENTIALS", 2000}, {"USER_DELINKED", 2001}, {"USER_ALREADY_LOGGED_IN", 2004},
        {"INSUFFICIENT_FUNDS", 2005}, {"BENEFICIARY_NOT_ACTIVATED", 2006}, {"SESSION_EXPIRED", 2007},
        {"ACCOUNT_LOCKED", 2008}, {"BENEFICIARY_COOL_DOWN_PERIOD", 2009}, {"INSUFFICIENT_BALANCE", 2010},
        {"SESSION_INVALIDATED", 2011}, {"session_invalidated", 2002}, {"SOMETHING_NEW", 2002}, {42, 2002},
        {QJsonValue(), 2002}};
    for (const auto &[type, code] : table) {
        SCOPED_TRACE(QJsonDocument(QJsonObject{{"t", type}}).toJson().toStdString());
        const QJsonObject reply{{"success", false}, {"type", type}, {"msg", "Told so"}, {"operationID", "op-9"}};
        server->scriptAction("/data/accounts/get", ScriptedReply::json(reply));
        auto outcome = post(KOVEndPointGetAccounts, loginBody("s1"));
        ASSERT_TRUE(waitUntil([&] { return finished(outcome); }));
        ASSERT_EQ(outcome->failures, 1);
        EXPECT_EQ(outcome->error->domain, KOVErrorDomain);
        EXPECT_EQ(outcome->error->code, code);
        EXPECT_EQ(outcome->error->localizedDescription(), "Told so");
        EXPECT_EQ(QJsonObject::fromVariantMap(outcome->error->userInfo.value("info").toMap()), reply);
        EXPECT_EQ(outcome->operationID, "op-9");
        EXPECT_EQ(KOVServerErrorMapper::mapErrorType(type), code);
    }
    EXPECT_TRUE(logs->contains("KOVA: Failed job - ID: op-9"));
}

TEST_F(PipelineTest, SuccessValuesAndMalformedReplies)
{
    startDefault();
    {
        server->scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"success", false}}));
        auto o = post(KOVEndPointGetAccounts, loginBody("s1"));
        ASSERT_TRUE(waitUntil([&] { return finished(o); }));
        EXPECT_EQ(o->error->code, 2002);
        EXPECT_FALSE(o->error->hasDescription()) << "no msg, no description entry";
        EXPECT_TRUE(o->operationID.isNull());
    }
    for (const QJsonValue &success : {QJsonValue(QJsonValue::Null), QJsonValue(true), QJsonValue(QJsonObject{})}) {
        server->scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"success", success}, {"accounts", QJsonArray{}}}));
        auto o = post(KOVEndPointGetAccounts, loginBody("s1"));
        ASSERT_TRUE(waitUntil([&] { return finished(o); }));
        EXPECT_EQ(o->successes, 1);
    }
    struct Bad {
        const char *name;
        ScriptedReply reply;
        QString domain;
        qint64 code;
    };
    for (const Bad &bad : {Bad{"empty body", ScriptedReply::raw(""), "NSCocoaErrorDomain", 3840},
                           Bad{"empty body of a failed status", ScriptedReply::raw("", 500), "NSCocoaErrorDomain", 3840},
                           Bad{"not json", ScriptedReply::raw("<html>"), "NSCocoaErrorDomain", 3840},
                           Bad{"a list", ScriptedReply::json(QJsonArray{1}), "NSCocoaErrorDomain", 3840},
                           Bad{"dropped", dropped(), "NSURLErrorDomain",
                               -1005}}) {
        SCOPED_TRACE(bad.name);
        server->scriptAction("/data/accounts/get", bad.reply);
        auto o = post(KOVEndPointGetAccounts, loginBody("s1"));
        ASSERT_TRUE(waitUntil([&] { return finished(o); }));
        ASSERT_EQ(o->failures, 1);
        EXPECT_EQ(o->error->domain, bad.domain);
        EXPECT_EQ(o->error->code, bad.code);
        EXPECT_TRUE(o->operationID.isNull());
    }
}

TEST_F(PipelineTest, RepliesOutsideTheSuccessStatusesFailUnlessTheySaySuccessTrue)
{
    startDefault();
    struct Case {
        const char *name;
        int status;
        QJsonObject reply;
        qint64 code; // 0: reaches the success block
        QString operationID;
    };
    const QList<Case> cases{
        {"500 with an empty object", 500, QJsonObject{}, 2002, QString()},
        {"404 that looks like a list", 404, QJsonObject{{"accounts", QJsonArray{}}}, 2002, QString()},
        {"302 with a body", 302, QJsonObject{{"accounts", QJsonArray{}}, {"operationID", "op-302"}}, 2002, "op-302"},
        {"503 with a type and a message", 503,
         QJsonObject{{"type", "SESSION_EXPIRED"}, {"msg", "Try later"}, {"operationID", "op-503"}}, 2007, "op-503"},
        {"500 whose success is only truthy", 500, QJsonObject{{"success", 1}}, 2002, QString()},
        {"500 whose success is null", 500, QJsonObject{{"success", QJsonValue::Null}}, 2002, QString()},
        {"500 that says success true", 500, QJsonObject{{"success", true}, {"accounts", QJsonArray{}}}, 0, QString()},
        {"201", 201, QJsonObject{{"accounts", QJsonArray{}}}, 0, QString()},
        {"299 with success null", 299, QJsonObject{{"success", QJsonValue::Null}}, 0, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server->scriptAction("/data/accounts/get", ScriptedReply::json(c.reply, c.status));
        auto o = post(KOVEndPointGetAccounts, loginBody("s1"));
        ASSERT_TRUE(waitUntil([&] { return finished(o); }));
        if (c.code == 0) {
            ASSERT_EQ(o->successes, 1);
            EXPECT_EQ(o->reply, c.reply);
            continue;
        }
        ASSERT_EQ(o->failures, 1);
        EXPECT_EQ(o->error->domain, KOVErrorDomain);
        EXPECT_EQ(o->error->code, c.code);
        EXPECT_EQ(QJsonObject::fromVariantMap(o->error->userInfo.value("info").toMap()), c.reply);
        EXPECT_EQ(o->error->hasDescription(), c.reply.contains("msg"));
        EXPECT_EQ(o->operationID, c.operationID);
    }
    EXPECT_TRUE(logs->contains("KOVA: Failed job - ID: op-503"));
}

TEST_F(PipelineTest, OneLoginRunsOneRequestAtATimeInOrder)
{
    startDefault();
    for (const char *action : {"/data/accounts/get", "/data/identity/get", "/data/cards/get", "/data/cards/get",
                               "/metadata/accounts/get"})
        server->scriptAction(action, ScriptedReply::json(QJsonObject{{"operationID", "op"}}));
    auto first = post(KOVEndPointGetAccounts, loginBody("login-a"), false);
    auto second = post(KOVEndPointGetIdentity, loginBody("login-a"));
    auto third = post(KOVEndPointGetCards, loginBody("login-a"));
    auto other = post(KOVEndPointGetCards, loginBody("login-b"));
    auto metadata = post(KOVEndPointGetAccountMetadata, loginBody("login-a"));
    ASSERT_TRUE(waitUntil([&] { return finished(first) && finished(other) && finished(metadata); }));
    drainMainQueue();
    EXPECT_FALSE(finished(second)) << "held until the first one's done block runs";
    QStringList actions;
    for (const auto &r : server->requestsForPath(sandbox::SandboxServer::AppServerPath))
        actions.append(r.action);
    EXPECT_EQ(actions.size(), 3);
    EXPECT_EQ(actions.count("/data/identity/get"), 0);

    first->done();
    ASSERT_TRUE(waitUntil([&] { return finished(third); }));
    actions.clear();
    for (const auto &r : server->requestsForPath(sandbox::SandboxServer::AppServerPath))
        actions.append(r.action);
    EXPECT_EQ(actions.mid(3), (QStringList{"/data/identity/get", "/data/cards/get"}));
    // Queue names never carry the secret.
    for (const auto &queue : KOVOperationQueueManager::sharedInstance().serialQueues())
        EXPECT_FALSE(queue->name().contains("login-a"));
}

TEST_F(PipelineTest, AFailureFreesTheLaneBeforeTheCallerHearsOfIt)
{
    startDefault();
    server->scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"success", false}, {"type", "SESSION_EXPIRED"}}));
    server->scriptAction("/data/identity/get", ScriptedReply::json(QJsonObject{{"identity", QJsonObject{}}}));
    auto next = std::make_shared<Outcome>();
    bool laneFreeAtFailure = false;
    KOVAPIManager manager(nullptr);
    manager.setBody(platform::json::pretty(loginBody("login-f")));
    manager.postEndPoint(
        KOVEndPointGetAccounts, [](auto, auto &, auto &, auto &, auto &) { FAIL() << "expected a failure"; },
        [&](auto &, auto &, const platform::Error &, const QString &) {
            const QString name = KOVOperationQueueManager::queueNameForUserSecret("login-f");
            for (const auto &queue : KOVOperationQueueManager::sharedInstance().serialQueues())
                if (queue->name() == name)
                    laneFreeAtFailure = queue->operationCount() == 0;
            next = post(KOVEndPointGetIdentity, loginBody("login-f"));
        });
    ASSERT_TRUE(waitUntil([&] { return finished(next); }));
    EXPECT_TRUE(laneFreeAtFailure);
    EXPECT_EQ(next->successes, 1);
}

TEST_F(PipelineTest, RequestTimeOutIsMinus1001)
{
    internal::KOVProcessState::setSessionTimeouts(300ms, 300ms);
    startDefault();
    server->scriptAction("/data/accounts/get", silent());
    auto o = post(KOVEndPointGetAccounts, loginBody("s1"));
    ASSERT_TRUE(waitUntil([&] { return finished(o); }));
    ASSERT_EQ(o->failures, 1);
    EXPECT_EQ(o->error->domain, "NSURLErrorDomain");
    EXPECT_EQ(o->error->code, -1001);
}

TEST_F(PipelineTest, AutoFlowTransfersHaveTheLongSessionAndEverythingElseTheShortOne)
{
    auto &manager = KOVOperationQueueManager::sharedInstance();
    EXPECT_EQ(manager.defaultSession()->configuration().timeoutIntervalForRequest, 135s);
    EXPECT_EQ(manager.defaultSession()->configuration().timeoutIntervalForResource, 135s);
    EXPECT_EQ(manager.autoFlowSession()->configuration().timeoutIntervalForRequest, 300s);
    EXPECT_EQ(manager.autoFlowSession()->configuration().timeoutIntervalForResource, 300s);

    // Which session a call gets shows in what outlasts it: a reply that comes
    // after the short time-out but well within the long one.
    internal::KOVProcessState::setSessionTimeouts(300ms, 60s);
    startDefault();
    const QByteArray late = R"({"status": "done"})";
    struct Case {
        QString endPoint;
        bool longSession;
    };
    for (const Case &c : {Case{KOVEndPointCreateTransfer, true}, Case{KOVEndPointCreateWireTransfer, true},
                          Case{KOVEndPointCreateTransferToExistingBeneficiary, false},
                          Case{KOVEndPointCreateWireTransferToExistingBeneficiary, false},
                          Case{KOVEndPointGetAccountMetadata, false}, Case{KOVEndPointGetAccounts, false}}) {
        SCOPED_TRACE(c.endPoint.toStdString());
        server->scriptAction("/" + c.endPoint, delayed(late, 900ms));
        auto o = post(c.endPoint, loginBody("s-" + c.endPoint));
        ASSERT_TRUE(waitUntil([&] { return finished(o); }));
        if (c.longSession) {
            EXPECT_EQ(o->successes, 1);
        } else {
            ASSERT_EQ(o->failures, 1);
            EXPECT_EQ(o->error->code, -1001);
        }
    }
}

TEST_F(PipelineTest, RequestsWithoutAUserSecretWaitForNobody)
{
    startDefault();
    server->scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"operationID", "first"}}));
    server->scriptAction("/data/identity/get", ScriptedReply::json(QJsonObject{{"operationID", "second"}}));
    const qsizetype lanes = KOVOperationQueueManager::sharedInstance().serialQueues().size();
    auto held = post(KOVEndPointGetAccounts, QJsonObject{{"tokenID", "t"}}, false);
    ASSERT_TRUE(waitUntil([&] { return finished(held); }));
    auto next = post(KOVEndPointGetIdentity, QJsonObject{{"tokenID", "t"}});
    ASSERT_TRUE(waitUntil([&] { return finished(next); })) << "not held back by a request that is still open";
    EXPECT_EQ(next->operationID, "second");
    EXPECT_EQ(KOVOperationQueueManager::sharedInstance().serialQueues().size(), lanes) << "no login lane is made";
    held->done();
}

TEST_F(PipelineTest, NetworkTraceFollowsTheEnvironmentVariable)
{
    startDefault();
    for (const char *value : {"yes", "1"}) {
        SCOPED_TRACE(value);
        StdoutCapture out;
        qputenv("KOVA_NETWORK_LOGGIN_ENABLED", value);
        auto o = post(KOVEndPointGetIdentity, loginBody("s1"));
        ASSERT_TRUE(waitUntil([&] { return finished(o); }));
        qunsetenv("KOVA_NETWORK_LOGGIN_ENABLED");
        const QStringList chunks = out.chunks();
        if (QByteArray(value) == "1") {
            EXPECT_TRUE(chunks.isEmpty());
            continue;
        }
        ASSERT_EQ(chunks.size(), 2);
        const QString url = server->appServerUrl().toString();
        EXPECT_TRUE(chunks[0].startsWith(QString::fromUtf8("\n\U0001F535 Starting HTTP Request\nURL\n") + url + "\nBody:\n{"))
            << chunks[0].toStdString();
        EXPECT_TRUE(chunks[1].startsWith(QString::fromUtf8("\n\u2705 Received HTTP Response\nURL\n") + url +
                                         "\nStatus Code\n200\nBody\n{"))
            << chunks[1].toStdString();
    }
}

TEST_F(PipelineTest, ABodyThatIsNotAnObjectIsAFailureNotAnEmptyPost)
{
    startDefault();
    auto outcome = std::make_shared<Outcome>();
    KOVAPIManager manager(nullptr);
    manager.setBody("[1, 2");
    manager.postEndPoint(
        KOVEndPointGetAccounts, [outcome](auto, auto &, auto &, auto &, auto &) { ++outcome->successes; },
        [outcome](auto &, auto &, const platform::Error &error, const QString &) {
            ++outcome->failures;
            outcome->error = error;
        });
    EXPECT_FALSE(finished(outcome)) << "reported on the main queue";
    ASSERT_TRUE(waitUntil([&] { return finished(outcome); }));
    EXPECT_EQ(outcome->failures, 1);
    EXPECT_EQ(outcome->error->code, 3840);
    drainMainQueue();
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::AppServerPath).isEmpty());
}

TEST_F(PipelineTest, ServiceAddressBuildersFollowTheOptionsPaths)
{
    auto options = KOVConfigurations::initWithCountries({"AE"}, KOVEnvironmentProduction);
    options->setEndpoints({{KOVEndPointGetCards, "custom/cards"}, {KOVEndPointGetIdentity, "/abs/identity"}});
    ASSERT_FALSE(start("app-key-1", "client-1", options)->error.has_value());
    EXPECT_EQ(KOVAPIManager::kovaServerUrlComponentsFor(KOVEndPointGetCards).path(), "/custom/cards");
    EXPECT_EQ(KOVAPIManager::kovaServerUrlComponentsFor(KOVEndPointGetIdentity).path(), "/abs/identity");
    EXPECT_EQ(KOVAPIManager::kovaServerUrlComponentsFor(KOVEndPointGetAccounts).path(), "/v2/data/accounts/get");
    const auto request = KOVAPIManager::urlRequestFor(server->baseUrl(), KOVEndPointGetAccounts);
    EXPECT_EQ(request.headerFields,
              (platform::HeaderFields{{"Content-Type", "application/json; charset=utf-8"}}));
}

TEST_F(PipelineTest, TransferDroppedOnAReusedConnectionReachesTheServerOnce)
{
    startDefault();
    auto first = post(KOVEndPointGetIdentity, loginBody("s1"));
    ASSERT_TRUE(waitUntil([&] { return finished(first); }));
    ASSERT_FALSE(first->error && first->error->domain == "NSURLErrorDomain") << "answered, on a connection kept open";

    server->scriptAction("/payment/transfer/create", dropped());
    auto transfer = post(KOVEndPointCreateTransferToExistingBeneficiary, loginBody("s1"));
    ASSERT_TRUE(waitUntil([&] { return finished(transfer); }));
    drainMainQueue();
    EXPECT_EQ(transfer->successes, 0);
    ASSERT_EQ(transfer->failures, 1);
    EXPECT_EQ(transfer->error->domain, "NSURLErrorDomain");
    EXPECT_EQ(transfer->error->code, -1005);

    const auto calls = server->requestsForPath(sandbox::SandboxServer::AppServerPath);
    ASSERT_EQ(calls.size(), 2) << "the transfer reached the server once";
    EXPECT_EQ(calls[1].action, "/payment/transfer/create");
    EXPECT_EQ(calls[1].connection, calls[0].connection) << "the identity call's connection was reused";
    EXPECT_EQ(calls[1].placeOnConnection, 2);
}

TEST_F(PipelineTest, PlainHttpServerURLOffLoopbackFailsAtOnceWithTheSecureConnectionError)
{
    server->setAppConfig(QJsonObject{{"serverURL", "http://bank.example/app-server"}, {"countries", QJsonArray{"AE"}}});
    startDefault();
    auto o = post(KOVEndPointCreateTransferToExistingBeneficiary, loginBody("s1"));
    ASSERT_TRUE(waitUntil([&] { return finished(o); }, 2s));
    ASSERT_EQ(o->failures, 1);
    EXPECT_EQ(o->error->domain, "NSURLErrorDomain");
    EXPECT_EQ(o->error->code, -1022);
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::AppServerPath).isEmpty());
}

TEST_F(PipelineTest, AppServerReplyBeyondTheBoundFails)
{
    startDefault();
    ScriptedReply inflated = ScriptedReply::json(QJsonObject{{"accounts", QJsonArray{}}});
    inflated.padTo = KOVMaxAppServerReplyBytes + 1;
    server->scriptAction("/data/accounts/get", inflated);
    auto o = post(KOVEndPointGetAccounts, loginBody("s1"));
    ASSERT_TRUE(waitUntil([&] { return finished(o); }));
    ASSERT_EQ(o->failures, 1);
    EXPECT_EQ(o->error->domain, "NSURLErrorDomain");
    EXPECT_EQ(o->error->code, -1103);
}

TEST_F(PipelineTest, PackedAppServerReplyIsBoundByWhatItUnpacksTo)
{
    startDefault();
    // About a megabyte on the wire, a gigabyte unpacked.
    server->scriptAction("/data/accounts/get", ScriptedReply::gzip("{\"accounts\":[]}", 1024ll * 1024 * 1024));
    auto o = post(KOVEndPointGetAccounts, loginBody("s1"));
    ASSERT_TRUE(waitUntil([&] { return finished(o); }));
    ASSERT_EQ(o->failures, 1);
    EXPECT_EQ(o->error->domain, "NSURLErrorDomain");
    EXPECT_EQ(o->error->code, -1103);
    EXPECT_EQ(o->error->localizedDescription(), "resource exceeds maximum size");

    // Within the bound once unpacked, however tightly packed: read whole.
    server->scriptAction("/data/accounts/get", ScriptedReply::gzip("{\"accounts\":[], \"operationID\": \"op-7\"}", KOVMaxAppServerReplyBytes));
    auto within = post(KOVEndPointGetAccounts, loginBody("s1"));
    ASSERT_TRUE(waitUntil([&] { return finished(within); }));
    ASSERT_EQ(within->failures, 0);
    ASSERT_EQ(within->successes, 1);
    EXPECT_EQ(within->operationID, "op-7");
}

TEST_F(PipelineTest, NetworkTracePrintsOnlyABoundedPrefixOfALargeBody)
{
    startDefault();
    const QByteArray big = QByteArray(3 * KOVMaxTracedBodyBytes, 'z');
    server->scriptAction("/data/identity/get", ScriptedReply::json(QJsonObject{{"identity", QJsonObject{{"pad", QString(big)}}}}));
    StdoutCapture out;
    qputenv("KOVA_NETWORK_LOGGIN_ENABLED", "YES");
    auto o = post(KOVEndPointGetIdentity, QJsonObject{{"userSecret", "s1"}, {"pad", QString(big)}});
    ASSERT_TRUE(waitUntil([&] { return finished(o); }));
    qunsetenv("KOVA_NETWORK_LOGGIN_ENABLED");
    EXPECT_EQ(o->successes, 1) << "the reply itself is read whole";
    const QStringList chunks = out.chunks();
    ASSERT_EQ(chunks.size(), 2);
    for (const QString &chunk : chunks) {
        EXPECT_LT(chunk.size(), KOVMaxTracedBodyBytes + 400);
        EXPECT_TRUE(chunk.contains(QStringLiteral("bytes in all)"))) << chunk.right(80).toStdString();
    }
}

TEST_F(PipelineTest, OddServerAddressesReachTheServerAsTheyWereGiven)
{
    startDefault();
    const QString base = server->baseUrl().toString(QUrl::StripTrailingSlash);
    struct Case {
        const char *name;
        QString address;
        QString path;
        QString query;
    };
    const QList<Case> cases{
        {"trailing slash", "/app-server/", "/app-server/", QString()},
        {"a plus in the server's own query", "/app-server?tenant=acme+corp", "/app-server", "tenant=acme+corp"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server->clearRequests();
        KOVAppManager::sharedInstance().setServerURL(QUrl(base + c.address));
        server->scriptPath(c.path, ScriptedReply::json(QJsonObject{{"accounts", QJsonArray{}}}));
        auto o = post(KOVEndPointGetAccounts, loginBody("s1"));
        ASSERT_TRUE(waitUntil([&] { return finished(o); }));
        QStringList seen;
        for (const auto &r : server->requests())
            if (r.method == "POST")
                seen << r.path + "?" + r.query.toString(QUrl::FullyEncoded);
        EXPECT_EQ(seen, QStringList{c.path + "?" + c.query});
    }
}
