// The SDK's lines reach the host the way Qt's own do: through the message
// handler, under a category per area, filtered by the logging rules. The
// network trace the host opts into stays on standard output.

#include <QJsonObject>

#include "core/KOVAPIManager.h"
#include "core/KOVConnect.h"
#include "core/KOVConstants.h"
#include "core/KOVScreensProvider.h"
#include "core/internal/KOVFontRegistration.h"
#include "core/internal/KOVProcessState.h"
#include "core/store/KOVKeychain.h"
#include "platform/foundation/Json.h"
#include "platform/store/ManagedObjectContext.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/support/QtMessageCapture.h"

using namespace kova;
using namespace kova::test;
using Message = QtMessageCapture::Message;

namespace {

const QString kStartedTwice =
    QStringLiteral("[KOVA] Warning: Kova.start(appKey:clientUserID:completion:) must be called only once");
const QString kFailedJob = QStringLiteral("KOVA: Failed job - ID: op-log");
const QString kPolicyWithSync = QStringLiteral("Cannot specify both an authenticationPolicy and a synchronizable");
const QString kNoEntity = QStringLiteral("The data model KovaConnect has no concrete entity Nothing; nothing is inserted.");

} // namespace

class LoggingTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        startDefault();
        // The lines go to the host's message handler, not to the test's capture.
        logs.reset();
        server->scriptAction("/data/accounts/get",
                             sandbox::ScriptedReply::json(QJsonObject{{"success", false}, {"operationID", "op-log"}}));
    }

    // One line from each area, written the way the SDK writes them.
    void writeOneLineFromEachArea()
    {
        bool startedAgain = false;
        Kova::startWithAppKey("app-key-1", "client-1",
                              [&](std::shared_ptr<Kova>, std::optional<platform::Error>) { startedAgain = true; });
        ASSERT_TRUE(waitUntil([&] { return startedAgain; }));

        bool failed = false;
        KOVAPIManager manager(nullptr);
        manager.setBody(platform::json::pretty(QJsonObject{{"userSecret", "s1"}}));
        manager.postEndPoint(
            KOVEndPointGetAccounts, [&](auto, auto &, auto &, auto &, auto &) { failed = true; },
            [&](auto &, auto &, auto &, auto &) { failed = true; });
        ASSERT_TRUE(waitUntil([&] { return failed; }));

        KOVKeychain keychain(QStringLiteral("logging-test"));
        keychain.setSynchronizable(true);
        keychain.setAccessibility(KOVKeychainAccessibilityAfterFirstUnlock, 1);

        EXPECT_EQ(context().insertNewObject(QStringLiteral("Nothing")), nullptr);
    }
};

TEST_F(LoggingTest, EachAreasLinesReachTheMessageHandlerUnderItsCategory)
{
    QtMessageCapture messages;
    StdoutCapture out;
    qputenv("KOVA_NETWORK_LOGGIN_ENABLED", "YES");
    writeOneLineFromEachArea();
    qunsetenv("KOVA_NETWORK_LOGGIN_ENABLED");

    EXPECT_EQ(messages.sdkMessages(), (QList<Message>{
                                          {QtWarningMsg, "kova", kStartedTwice},
                                          {QtWarningMsg, "kova.network", kFailedJob},
                                          {QtWarningMsg, "kova.keychain", kPolicyWithSync},
                                          {QtWarningMsg, "kova.store", kNoEntity},
                                      }));
    // The trace is not a log line: it is printed for the host that asked for it.
    const QStringList chunks = out.chunks();
    ASSERT_EQ(chunks.size(), 2);
    EXPECT_TRUE(chunks[0].startsWith(QString::fromUtf8("\n\U0001F535 Starting HTTP Request\nURL\n")));
    EXPECT_TRUE(chunks[1].startsWith(QString::fromUtf8("\n\u2705 Received HTTP Response\nURL\n")));
}

TEST_F(LoggingTest, LoggingRulesSilenceTheCategoriesTheyName)
{
    const struct {
        const char *rules;
        QStringList heard;
    } cases[] = {
        {"kova.network.warning=false", {"kova", "kova.keychain", "kova.store"}},
        {"kova.keychain=false\nkova.store=false", {"kova", "kova.network"}},
        {"kova=false", {"kova.network", "kova.keychain", "kova.store"}},
        {"kova*=false", {}},
        {"*.debug=false", {"kova", "kova.network", "kova.keychain", "kova.store"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rules);
        QtMessageCapture messages;
        QLoggingCategory::setFilterRules(QString::fromUtf8(c.rules));
        writeOneLineFromEachArea();
        QStringList heard;
        for (const Message &message : messages.sdkMessages())
            heard.append(message.category);
        EXPECT_EQ(heard, c.heard);
    }
}

TEST_F(LoggingTest, AHostWithoutTheScreensHearsOfThemOnlyWhenItAsksForOne)
{
    KOVScreensProvider::install(nullptr);
    const struct {
        const char *rules;
        QList<Message> heard;
    } cases[] = {
        {"", {}},
        {"kova.ui.debug=true", {{QtDebugMsg, "kova.ui", "[Kova] Fonts are not available yet"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rules);
        internal::KOVProcessState::resetFontRegistration();
        QtMessageCapture messages;
        QLoggingCategory::setFilterRules(QString::fromUtf8(c.rules));
        startFontRegistration();
        startFontRegistration();
        EXPECT_EQ(messages.sdkMessages(), c.heard);
    }

    QtMessageCapture messages;
    EXPECT_EQ(KOVConnect::initWithClientUserID(QStringLiteral("client-1")), nullptr);
    EXPECT_EQ(messages.sdkMessages(),
              (QList<Message>{{QtWarningMsg, "kova", "[Kova] The connect screen is not available yet"}}));
}
