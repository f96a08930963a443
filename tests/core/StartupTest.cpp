#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>
#include <exception>

#include "core/KOVAppConfigsModel.h"
#include "core/internal/KOVProcessState.h"
#include "core/internal/KOVService.h"
#include "core/KOVAppManager.h"
#include "core/KOVConstants.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVConnection.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/store/ManagedObjectContext.h"
#include "tests/core/SdkTestFixture.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;
using namespace std::chrono_literals;

namespace {

const QString kWarning = QStringLiteral("[KOVA] Warning: Kova.start(appKey:clientUserID:completion:) must be called only once");

QJsonObject goodConfig(const QString &serverURL, const QJsonArray &countries = {"AE"})
{
    return QJsonObject{{"serverURL", serverURL}, {"countries", countries}, {"colorScheme", "#112233"},
                       {"minTransferAmount", 5}, {"maxTransferAmount", 2500.75}, {"isBenefsSet", true}};
}

} // namespace

class StartupTest : public SdkTest {};

TEST_F(StartupTest, FreshStartPostsTheCompactBodyAppliesAndCachesTheConfiguration)
{
    platform::ProcessInfo::setMainBundleIdentifier(QStringLiteral("com.example.host"));
    server->setAppConfig(goodConfig(server->appServerUrl().toString(), {"AE", "SA"}));
    auto outcome = start("app-key-1", "client-1");

    ASSERT_EQ(outcome->calls, 1);
    EXPECT_TRUE(outcome->onMainThread);
    EXPECT_FALSE(outcome->error.has_value());
    ASSERT_TRUE(outcome->kova);
    EXPECT_EQ(outcome->kova, Kova::sharedInstance());
    EXPECT_EQ(outcome->kova->appKey(), "app-key-1");
    EXPECT_EQ(outcome->kova->clientUserID(), "client-1");

    const auto configs = server->requestsForPath(sandbox::SandboxServer::ConfigsPath);
    ASSERT_EQ(configs.size(), 1);
    EXPECT_EQ(configs[0].method, "POST");
    // Compact JSON, exactly these three keys.
    EXPECT_EQ(configs[0].body, R"({"appKey":"app-key-1","bundleID":"com.example.host","userIDs":[]})");
    EXPECT_TRUE(configs[0].header("SDKVersion").isNull()) << "the configs call carries no SDK headers";

    KOVAppManager &manager = KOVAppManager::sharedInstance();
    EXPECT_EQ(manager.serverURL(), server->appServerUrl());
    EXPECT_EQ(manager.countries(), (QStringList{"AE", "SA"}));
    EXPECT_TRUE(manager.environment().isNull()) << "a start without options has no environment";

    const auto cached = KOVAppConfigs::getConfigsForAppKey("app-key-1", manager.viewContext());
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->serverURL(), server->appServerUrl().toString());
    EXPECT_EQ(cached->countries(), QByteArray(R"(["AE","SA"])"));
    EXPECT_EQ(cached->colorScheme(), "#112233");
    EXPECT_EQ(cached->maxTransferAmount(), 2500) << "a fraction is dropped";
    EXPECT_EQ(cached->minTransferAmount(), 5);
    EXPECT_EQ(cached->isRemoteBeneficiarySet(), true);
    platform::ProcessInfo::setMainBundleIdentifier(QString());
}

TEST_F(StartupTest, MissingBundleIdentifierIsSentAsNullAndOptionsWinOverTheConfiguration)
{
    platform::ProcessInfo::setMainBundleIdentifier(QString());
    server->setAppConfig(goodConfig(server->appServerUrl().toString(), {"AE"}));
    auto options = KOVConfigurations::initWithCountries({"BH"}, KOVEnvironmentSandbox);
    auto outcome = start("app-key-1", "client-1", options);
    ASSERT_FALSE(outcome->error.has_value());
    const auto configs = server->requestsForPath(sandbox::SandboxServer::ConfigsPath);
    ASSERT_EQ(configs.size(), 1);
    EXPECT_TRUE(configs[0].json.value("bundleID").isNull());
    EXPECT_TRUE(configs[0].json.contains("bundleID"));
    EXPECT_EQ(KOVAppManager::sharedInstance().countries(), QStringList{"BH"});
    EXPECT_EQ(KOVAppManager::sharedInstance().environment(), "sandbox");

    // An empty list of options leaves the configuration's countries in force.
    simulateRelaunch();
    auto empty = KOVConfigurations::initWithCountries({}, KOVEnvironmentProduction);
    ASSERT_FALSE(start("app-key-1", "client-1", empty)->error.has_value());
    EXPECT_EQ(KOVAppManager::sharedInstance().countries(), QStringList{"AE"});
}

TEST_F(StartupTest, BadRepliesFailWithCodeZero)
{
    const QString url = server->appServerUrl().toString();
    struct Case {
        const char *name;
        ScriptedReply reply;
        QString description;
        QString logged;
    };
    const QList<Case> cases{
        {"not json", ScriptedReply::raw("<html>"), "Unkown error", "[KOVA] (null)"},
        {"a list", ScriptedReply::json(QJsonArray{1, 2}), "Unkown error", "[KOVA] (null)"},
        {"success false with msg", ScriptedReply::json(QJsonObject{{"success", false}, {"msg", "Bad key"}}), "Bad key", "[KOVA] Bad key"},
        {"success false without msg", ScriptedReply::json(QJsonObject{{"success", false}}), "Unkown error", "[KOVA] (null)"},
        {"success as an object", ScriptedReply::json(QJsonObject{{"success", QJsonObject{}}, {"appConfig", goodConfig(url)}}),
         "Unkown error", "[KOVA] (null)"},
        {"success as text", ScriptedReply::json(QJsonObject{{"success", "true"}, {"appConfig", goodConfig(url)}}), "Unkown error",
         "[KOVA] (null)"},
        {"no appConfig", ScriptedReply::json(QJsonObject{{"success", true}}), "Unkown error", "[KOVA] (null)"},
        {"empty countries", ScriptedReply::json(QJsonObject{{"success", true}, {"appConfig", goodConfig(url, {})}}), "Unkown error",
         "[KOVA] (null)"},
        {"countries not a list",
         ScriptedReply::json(QJsonObject{{"success", true}, {"appConfig", QJsonObject{{"serverURL", url}, {"countries", "AE"}}}}),
         "Unkown error", "[KOVA] (null)"},
        {"serverURL not text",
         ScriptedReply::json(QJsonObject{{"success", true}, {"appConfig", QJsonObject{{"serverURL", 5}, {"countries", QJsonArray{"AE"}}}}},
                             200),
         "Unkown error", "[KOVA] (null)"},
        {"msg of the wrong type", ScriptedReply::json(QJsonObject{{"success", false}, {"msg", 12}}), "Unkown error", "[KOVA] (null)"},
        {"a failed status whose success is only truthy",
         ScriptedReply::json(QJsonObject{{"success", 1}, {"appConfig", goodConfig(url)}, {"msg", "Down"}}, 503), "Down",
         "[KOVA] Down"},
        {"a failed status without success", ScriptedReply::json(QJsonObject{{"appConfig", goodConfig(url)}}, 500),
         "Unkown error", "[KOVA] (null)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        internal::KOVProcessState::resetAppState();
        kova::test::resetDataDirectory();
        logs.reset();
        logs = std::make_unique<LogCapture>();
        server->scriptPath(sandbox::SandboxServer::ConfigsPath, c.reply);
        auto outcome = start("app-key-1", "client-1");
        ASSERT_EQ(outcome->calls, 1);
        EXPECT_FALSE(outcome->kova);
        ASSERT_TRUE(outcome->error.has_value());
        EXPECT_EQ(outcome->error->domain, KOVErrorDomain);
        EXPECT_EQ(outcome->error->code, 0);
        EXPECT_EQ(outcome->error->localizedDescription(), c.description);
        EXPECT_TRUE(logs->contains(c.logged)) << logs->lines().join("\n").toStdString();
        EXPECT_FALSE(KOVAppManager::sharedInstance().serverURL().isValid()) << "nothing is applied";
        EXPECT_FALSE(KOVAppConfigs::getConfigsForAppKey("app-key-1", KOVAppManager::sharedInstance().viewContext()))
            << "nothing is cached";
    }
}

TEST_F(StartupTest, AFailedStatusThatSaysSuccessTrueStillConfigures)
{
    server->scriptPath(sandbox::SandboxServer::ConfigsPath,
                       ScriptedReply::json(QJsonObject{{"success", true}, {"appConfig", goodConfig(server->appServerUrl().toString())}}, 503));
    auto outcome = start("app-key-1", "client-1");
    EXPECT_FALSE(outcome->error.has_value());
    EXPECT_EQ(KOVAppManager::sharedInstance().serverURL(), server->appServerUrl());
}

TEST_F(StartupTest, TransportErrorCompletesWithThePlatformError)
{
    server->scriptPath(sandbox::SandboxServer::ConfigsPath, dropped());
    auto outcome = start("app-key-1", "client-1");
    ASSERT_EQ(outcome->calls, 1);
    ASSERT_TRUE(outcome->error.has_value());
    EXPECT_EQ(outcome->error->domain, "NSURLErrorDomain");
    EXPECT_EQ(outcome->error->code, -1005);
    EXPECT_EQ(Kova::sharedInstance()->appKey(), "app-key-1") << "the instance is kept even when the fetch fails";
}

TEST_F(StartupTest, CachedConfigurationCompletesBeforeTheReplyAndALaterFailureDoesNotCompleteAgain)
{
    ASSERT_FALSE(start("app-key-1", "client-1")->error.has_value());
    // The cached country list is empty: that still counts as a cache.
    auto cached = KOVAppConfigs::getConfigsForAppKey("app-key-1", KOVAppManager::sharedInstance().viewContext());
    ASSERT_TRUE(cached);
    cached->setCountries("[]");
    ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
    simulateRelaunch();

    server->scriptPath(sandbox::SandboxServer::ConfigsPath,
                       delayed(R"({"success":false,"msg":"Later failure"})", 300ms));
    auto outcome = start("app-key-1", "client-1", nullptr, false);
    ASSERT_TRUE(waitUntil([&] { return outcome->calls > 0; }));
    EXPECT_FALSE(outcome->error.has_value());
    EXPECT_EQ(outcome->kova, Kova::sharedInstance());
    EXPECT_EQ(KOVAppManager::sharedInstance().serverURL(), server->appServerUrl());
    EXPECT_FALSE(logs->contains("[KOVA] Later failure")) << "the cache completes before the reply is handled";

    ASSERT_TRUE(waitUntil([&] { return logs->contains("[KOVA] Later failure"); }));
    drainMainQueue();
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_EQ(KOVAppManager::sharedInstance().serverURL(), server->appServerUrl()) << "the cache stays in force";
}

TEST_F(StartupTest, RepeatStartAfterSuccessOnlyWarns)
{
    auto first = startDefault();
    const int requestsBefore = server->requests().size();
    auto second = start("other-key", "other-user");
    ASSERT_EQ(second->calls, 1);
    EXPECT_EQ(second->kova, first);
    EXPECT_FALSE(second->error.has_value());
    EXPECT_TRUE(logs->contains(kWarning));
    drainMainQueue();
    EXPECT_EQ(server->requests().size(), requestsBefore) << "nothing is fetched again";
    EXPECT_EQ(Kova::sharedInstance()->appKey(), "app-key-1");
}

TEST_F(StartupTest, RepeatStartAfterAFailedFetchFetchesAgainForTheFirstInstance)
{
    server->scriptPath(sandbox::SandboxServer::ConfigsPath, ScriptedReply::json(QJsonObject{{"success", false}, {"msg", "Down"}}));
    auto first = start("app-key-1", "client-1");
    ASSERT_TRUE(first->error.has_value());

    auto second = start("ignored-key", "ignored-user");
    ASSERT_EQ(second->calls, 1);
    EXPECT_TRUE(logs->contains(kWarning));
    EXPECT_FALSE(second->error.has_value());
    EXPECT_EQ(second->kova, Kova::sharedInstance());
    const auto configs = server->requestsForPath(sandbox::SandboxServer::ConfigsPath);
    ASSERT_EQ(configs.size(), 2);
    EXPECT_EQ(configs[1].json.value("appKey").toString(), "app-key-1") << "the new arguments are ignored";
    EXPECT_EQ(KOVAppManager::sharedInstance().serverURL(), server->appServerUrl());

    // Once a configuration is in force a repeat start only warns.
    auto third = start("x", "y");
    drainMainQueue();
    EXPECT_EQ(server->requestsForPath(sandbox::SandboxServer::ConfigsPath).size(), 2);
    EXPECT_EQ(third->calls, 1);
}

TEST_F(StartupTest, SaveContextWithNothingChangedSavesAndStampsNothing)
{
    startDefault();
    KOVAppManager &manager = KOVAppManager::sharedInstance();
    auto connection = manager.viewContext().insertNewObject<KOVConnection>();
    connection->setUserID("u-1");
    connection->setClientUserID("client-1");
    const QDateTime stamped = QDateTime::fromMSecsSinceEpoch(1600000000000, Qt::UTC);
    connection->setModifiedAt(stamped);
    connection->setCreatedAt(stamped);
    ASSERT_TRUE(manager.viewContext().save());
    const auto configs = KOVAppConfigs::getConfigsForAppKey("app-key-1", manager.viewContext());
    ASSERT_TRUE(configs);
    const QDateTime configsStamp = configs->modifiedAt();

    platform::Error error;
    EXPECT_TRUE(manager.saveContext(&error));
    EXPECT_FALSE(manager.viewContext().hasChanges());
    EXPECT_EQ(connection->modifiedAt(), stamped);
    EXPECT_EQ(configs->modifiedAt(), configsStamp);
    simulateRelaunch();
    const auto stored = KOVAppManager::sharedInstance().getConnectionsForClientUserID("client-1");
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0]->modifiedAt(), stamped) << "nothing was written";
}

TEST_F(StartupTest, ConfigurationsSetLaterAreAppliedAgain)
{
    auto first = KOVConfigurations::initWithCountries({"AE"}, KOVEnvironmentSandbox);
    auto kova = start("app-key-1", "client-1", first)->kova;
    ASSERT_TRUE(kova);
    KOVAppManager &manager = KOVAppManager::sharedInstance();
    EXPECT_EQ(manager.countries(), QStringList{"AE"});
    EXPECT_EQ(manager.environment(), "sandbox");
    kova->setConfigurations(KOVConfigurations::initWithCountries({"SA", "BH"}, KOVEnvironmentProduction));
    EXPECT_EQ(manager.countries(), (QStringList{"SA", "BH"}));
    EXPECT_EQ(manager.environment(), "production");
    EXPECT_EQ(kova->configurations()->countries(), (QStringList{"SA", "BH"}));
}

TEST_F(StartupTest, EveryStartInstallsTheCrashHandlerAgain)
{
    startDefault();
    const std::terminate_handler installed = std::get_terminate();
    ASSERT_NE(installed, nullptr);
    // The host (or a library) replaces it after the start.
    std::set_terminate([] { std::abort(); });
    ASSERT_NE(std::get_terminate(), installed);
    start("app-key-1", "client-1");
    EXPECT_EQ(std::get_terminate(), installed);
    std::set_terminate(nullptr);
}

TEST_F(StartupTest, TheConfigsCallListsTheValidConnectionsWithAUserIDOldestFirst)
{
    startDefault();
    KOVAppManager &manager = KOVAppManager::sharedInstance();
    struct Row {
        QString userID;
        bool valid;
        QString clientUserID;
        int minutesAgo;
    };
    for (const Row &row : {Row{"newest", true, "client-1", 1}, Row{"invalid", false, "client-1", 50},
                           Row{QString(), true, "client-1", 40}, Row{"oldest", true, "client-1", 60},
                           Row{"other-client", true, "client-2", 55}, Row{"middle", true, "client-1", 30}}) {
        auto connection = manager.viewContext().insertNewObject<KOVConnection>();
        connection->setUserID(row.userID);
        connection->setClientUserID(row.clientUserID);
        connection->setIsValid(row.valid);
        connection->setCreatedAt(QDateTime::currentDateTimeUtc().addSecs(-60 * row.minutesAgo));
    }
    ASSERT_TRUE(manager.viewContext().save());
    simulateRelaunch();
    server->clearRequests();
    startDefault();
    ASSERT_TRUE(waitUntil([&] { return !server->requestsForPath(sandbox::SandboxServer::ConfigsPath).isEmpty(); }));
    const auto configs = server->requestsForPath(sandbox::SandboxServer::ConfigsPath);
    ASSERT_EQ(configs.size(), 1);
    EXPECT_EQ(configs[0].json.value("userIDs").toArray(), (QJsonArray{"oldest", "middle", "newest"}));
}

TEST_F(StartupTest, ConfigsReplyThatTricklesEndsAtTheOverallDeadlineOnce)
{
    // The idle limit never fires (a byte comes every 50 ms); only the whole
    // exchange's deadline can end the wait.
    internal::KOVProcessState::setServiceSessionTimeouts(10s, 400ms);
    struct Restore {
        ~Restore() { internal::KOVProcessState::setServiceSessionTimeouts(60s, 135s); }
    } restore;
    ScriptedReply trickle = ScriptedReply::json(QJsonObject{{"success", true}, {"appConfig", goodConfig("x")}});
    trickle.fault = ScriptedReply::Fault::Trickle;
    trickle.trickleInterval = 50ms;
    server->scriptPath(sandbox::SandboxServer::ConfigsPath, trickle);

    auto outcome = start("app-key-1", "client-1", nullptr, false);
    ASSERT_TRUE(waitUntil([&] { return outcome->calls > 0; }, 10s));
    ASSERT_TRUE(outcome->error.has_value());
    EXPECT_EQ(outcome->error->domain, "NSURLErrorDomain");
    EXPECT_EQ(outcome->error->code, -1001);
    drainMainQueue();
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_FALSE(KOVAppManager::sharedInstance().serverURL().isValid());
}

TEST_F(StartupTest, ServiceSessionHasTheOverallDeadlineAndTheReplyBound)
{
    const auto &configuration = internal::serviceSession().configuration();
    EXPECT_EQ(configuration.timeoutIntervalForResource, 135s);
    EXPECT_EQ(configuration.timeoutIntervalForRequest, 60s);
    EXPECT_EQ(configuration.maximumReplyBytes, KOVMaxServiceReplyBytes);
}

TEST_F(StartupTest, ConfigsReplyBeyondTheBoundFailsTheStart)
{
    ScriptedReply inflated = ScriptedReply::json(QJsonObject{{"success", true}, {"appConfig", goodConfig("x")}});
    inflated.padTo = KOVMaxServiceReplyBytes + 1;
    server->scriptPath(sandbox::SandboxServer::ConfigsPath, inflated);
    auto outcome = start("app-key-1", "client-1");
    ASSERT_EQ(outcome->calls, 1);
    ASSERT_TRUE(outcome->error.has_value());
    EXPECT_EQ(outcome->error->domain, "NSURLErrorDomain");
    EXPECT_EQ(outcome->error->code, -1103);
    EXPECT_FALSE(KOVAppManager::sharedInstance().serverURL().isValid());
    EXPECT_FALSE(KOVAppConfigs::getConfigsForAppKey("app-key-1", KOVAppManager::sharedInstance().viewContext()));
}

TEST_F(StartupTest, PackedConfigsReplyIsBoundByWhatItUnpacksTo)
{
    const QByteArray reply = QJsonDocument(QJsonObject{{"success", true}, {"appConfig", goodConfig(server->appServerUrl().toString())}})
                                 .toJson(QJsonDocument::Compact);
    {
        // About a megabyte on the wire, a gigabyte unpacked.
        server->scriptPath(sandbox::SandboxServer::ConfigsPath, ScriptedReply::gzip(reply, 1024ll * 1024 * 1024));
        auto outcome = start("app-key-1", "client-1");
        ASSERT_EQ(outcome->calls, 1);
        ASSERT_TRUE(outcome->error.has_value());
        EXPECT_EQ(outcome->error->domain, "NSURLErrorDomain");
        EXPECT_EQ(outcome->error->code, -1103);
        EXPECT_EQ(outcome->error->localizedDescription(), "resource exceeds maximum size");
        EXPECT_FALSE(KOVAppManager::sharedInstance().serverURL().isValid());
        EXPECT_FALSE(KOVAppConfigs::getConfigsForAppKey("app-key-1", KOVAppManager::sharedInstance().viewContext()));
    }
    {
        // Packed far tighter than any real reply, yet within the bound once unpacked.
        server->scriptPath(sandbox::SandboxServer::ConfigsPath, ScriptedReply::gzip(reply, KOVMaxServiceReplyBytes));
        auto outcome = start("app-key-1", "client-1");
        ASSERT_FALSE(outcome->error.has_value()) << outcome->error->code;
        EXPECT_EQ(KOVAppManager::sharedInstance().serverURL(), server->appServerUrl());
    }
}

TEST_F(StartupTest, ConfigsReplyPaddedUpToTheBoundIsStillRead)
{
    ScriptedReply padded =
        ScriptedReply::json(QJsonObject{{"success", true}, {"appConfig", goodConfig(server->appServerUrl().toString())}});
    padded.padTo = KOVMaxServiceReplyBytes;
    server->scriptPath(sandbox::SandboxServer::ConfigsPath, padded);
    auto outcome = start("app-key-1", "client-1");
    ASSERT_FALSE(outcome->error.has_value()) << outcome->error->localizedDescription().toStdString();
    EXPECT_EQ(KOVAppManager::sharedInstance().serverURL(), server->appServerUrl());
}
