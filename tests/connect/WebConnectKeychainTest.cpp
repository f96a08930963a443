// The new login's secret reaches the keychain on a worker while the exchange
// and metadata calls are out. Whatever order the disk and the network finish
// in, the host hears once, only what is stored is reported stored, and a
// failure leaves neither records nor the secret behind.
#include "ConnectTestSupport.h"
#include "core/KOVAppManager.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVKeychain.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentContainer.h"
#include "sandbox/SandboxData.h"
#include "tests/support/FullDisk.h"

#include <QFile>
#include <optional>
#include <sqlite3.h>

using namespace kova;
using namespace kova::test;
using State = KOVWebConnectViewController::State;

namespace {

QString secretKeyOf(const QJsonObject &items)
{
    return items.value("tokenID").toString() + items.value("userID").toString();
}

} // namespace

class WebConnectKeychainTest : public ConnectTest {
protected:
    // An item that a failed write must leave where it is.
    void keepAnUnrelatedItem() { ASSERT_TRUE(KOVKeychain::keychain()->setString("kept", "unrelated")); }

    // The page hands over `items`; returns once the metadata call of the new
    // login has reached the app server.
    void succeedUntilTheMetadataCall(const QJsonObject &items)
    {
        navigatePage(outcomeURL("success", items));
        ASSERT_TRUE(waitUntil([&] { return !appServerRequests(kMetadata).isEmpty(); }));
    }

    // Once the screen has taken the metadata reply in (it writes the bank's
    // details on the new record).
    bool metadataTakenIn() const
    {
        const auto record = screen()->connection();
        return record && record->bankInfo() && record->bankInfo()->swiftCode() == QStringLiteral("SBXBAEAD");
    }

    // What the app server got: the exchange, then the metadata call, with
    // exactly these bodies.
    void expectExchangeThenMetadata(const QJsonObject &items)
    {
        const auto requests = server->requestsForPath(QString::fromLatin1(sandbox::SandboxServer::AppServerPath));
        ASSERT_EQ(requests.size(), 2);
        EXPECT_EQ(requests[0].json, (QJsonObject{{"connectionID", items.value("connectionID")},
                                                 {"accessCode", items.value("accessCode")},
                                                 {"tokenID", items.value("tokenID")},
                                                 {"userID", items.value("userID")},
                                                 {"appKey", "app-key-1"},
                                                 {"action", kExchange},
                                                 {"bundleID", QJsonValue::Null}}));
        EXPECT_EQ(requests[1].json, (QJsonObject{{"userSecret", items.value("userSecret")},
                                                 {"tokenID", items.value("tokenID")},
                                                 {"userID", items.value("userID")},
                                                 {"bankID", "SANDBOXBANK"},
                                                 {"appKey", "app-key-1"},
                                                 {"action", kMetadata},
                                                 {"bundleID", QJsonValue::Null}}));
    }

    // Holds the secret's write until the metadata call is out (and, if
    // asked, its reply taken in), then makes the write fail, and expects the
    // keychain's failure road.
    void failTheWriteOnceTheMetadataCallIsOut(std::optional<sandbox::ScriptedReply> metadata, bool afterTheReply)
    {
        startWithOptions();
        if (metadata)
            server->scriptAction(kMetadata, *metadata);
        keepAnUnrelatedItem();
        presentAndWaitForPage();
        const QJsonObject items = pageLoginItems();
        {
            VaultWriteHold hold;
            EXPECT_TRUE(hold.held());
            succeedUntilTheMetadataCall(items);
            if (afterTheReply) {
                EXPECT_TRUE(waitUntil([&] { return metadataTakenIn(); }));
                drainMainQueue();
            }
            EXPECT_TRUE(delegate->events.isEmpty());
            hold.failTheWaitingWrite();
            hold.release();
            expectAKeychainFailure(items);
        }
        expectExchangeThenMetadata(items);
    }

    // The road of a keychain that failed (the vault held too long): one
    // failure call with the keychain's text, the message screen, nothing stored, nothing left to
    // be saved, the secret neither in the keychain nor in the log.
    void expectAKeychainFailure(const QJsonObject &items)
    {
        ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
        ASSERT_TRUE(waitUntil([&] { return messageScreenShown(); }));
        drainMainQueue();
        EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
        EXPECT_EQ(delegate->events[0].bankID, QStringLiteral("SANDBOXBANK"));
        EXPECT_EQ(delegate->events[0].keychainKeys, QStringList{"unrelated"});
        EXPECT_EQ(delegate->events[0].error, QStringLiteral("Security error has occurred."));
        EXPECT_EQ(screen()->state(), State::Closed);
        EXPECT_FALSE(screen()->connection());
        EXPECT_TRUE(kova->getConnections().isEmpty());
        EXPECT_FALSE(context().hasChanges());
        EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(secretKeyOf(items)).isNull());
        EXPECT_EQ(logs->lines().filter("[Kova] Keychain failed: ").size(), 1) << logs->lines().join("\n").toStdString();
        for (const QString &line : logs->lines())
            EXPECT_FALSE(line.contains(items.value("userSecret").toString())) << line.toStdString();
    }
};

TEST_F(WebConnectKeychainTest, TheSuccessWaitsForTheSecretToReachTheDisk)
{
    startWithOptions();
    presentAndWaitForPage();
    const QJsonObject items = pageLoginItems();
    {
        VaultWriteHold hold;
        ASSERT_TRUE(hold.held());
        succeedUntilTheMetadataCall(items);
        ASSERT_TRUE(waitUntil([&] { return metadataTakenIn(); }));
        drainMainQueue();
        // The reply is in, but the secret is not on disk: nothing is saved or told.
        EXPECT_TRUE(delegate->events.isEmpty());
        EXPECT_EQ(window->topPresentedViewController(), screen());
        EXPECT_EQ(screen()->state(), State::Verifying);
        EXPECT_TRUE(context().hasChanges());
        hold.release();
        ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    }
    drainMainQueue();
    ASSERT_EQ(delegate->kinds(), QStringList{"success"});
    EXPECT_EQ(delegate->events[0].keychainKeys, QStringList{secretKeyOf(items)});
    EXPECT_FALSE(delegate->events[0].screenStillShown);
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKeyOf(items)), items.value("userSecret").toString());
    ASSERT_EQ(kova->getConnections().size(), 1);
    expectExchangeThenMetadata(items);
}

TEST_F(WebConnectKeychainTest, AWriteThatFailsBeforeTheMetadataReplyEndsAsAKeychainFailure)
{
    // The reply comes well after the keychain has failed, and must change nothing then.
    sandbox::ScriptedReply late = sandbox::ScriptedReply::json(QJsonObject{
        {"success", true}, {"accountsMetadata", sandbox::SandboxData::accountsMetadata("SANDBOXBANK")}});
    late.delay = std::chrono::milliseconds(600);
    failTheWriteOnceTheMetadataCallIsOut(late, false);
    EXPECT_FALSE(waitUntil([&] { return context().hasChanges() || delegate->events.size() > 1; },
                           std::chrono::milliseconds(1200)))
        << "the late reply stores nothing and tells nothing";
    EXPECT_TRUE(kova->getConnections().isEmpty());
}

TEST_F(WebConnectKeychainTest, AWriteThatFailsAfterTheMetadataReplyEndsAsAKeychainFailure)
{
    failTheWriteOnceTheMetadataCallIsOut(std::nullopt, true);
}

TEST_F(WebConnectKeychainTest, AFailedExchangeTakesTheWrittenSecretBackBeforeTheHostHears)
{
    startWithOptions();
    presentAndWaitForPage();
    QJsonObject items = pageLoginItems();
    items.insert("accessCode", "not-the-one-issued");
    {
        VaultWriteHold hold;
        ASSERT_TRUE(hold.held());
        navigatePage(outcomeURL("success", items));
        ASSERT_TRUE(waitUntil([&] { return !appServerRequests(kExchange).isEmpty(); }));
        EXPECT_FALSE(waitUntil([&] { return !delegate->events.isEmpty(); }, std::chrono::milliseconds(300)))
            << "the failure waits for the secret's write";
        hold.release();
        ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    }
    ASSERT_TRUE(waitUntil([&] { return messageScreenShown(); }));
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_EQ(delegate->events[0].error, QStringLiteral("The connection does not match these credentials"));
    EXPECT_TRUE(delegate->events[0].keychainKeys.isEmpty());
    EXPECT_TRUE(KOVKeychain::keychain()->allKeys().isEmpty());
    EXPECT_TRUE(kova->getConnections().isEmpty());
    EXPECT_TRUE(appServerRequests(kMetadata).isEmpty());
}

TEST_F(WebConnectKeychainTest, LeavingWhileTheExchangeIsOutTakesTheWrittenSecretBack)
{
    startWithOptions();
    server->scriptAction(kExchange, delayed(R"({"success": true, "operationID": "op-exchange"})",
                                            std::chrono::milliseconds(500)));
    presentAndWaitForPage();
    const QJsonObject items = pageLoginItems();
    const QString key = secretKeyOf(items);
    navigatePage(outcomeURL("success", items));
    ASSERT_TRUE(waitUntil([&] { return !appServerRequests(kExchange).isEmpty(); }));
    // Written while the exchange is still out.
    ASSERT_TRUE(waitUntil([&] { return KOVKeychain::keychain()->stringForKey(key) == items.value("userSecret").toString(); }));
    swipeDown(window.get());
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    EXPECT_EQ(delegate->kinds(), QStringList{"dismiss"});

    // The exchange's answer finds the user gone: the secret goes again.
    ASSERT_TRUE(waitUntil([&] { return KOVKeychain::keychain()->stringForKey(key).isNull(); }));
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), QStringList{"dismiss"});
    EXPECT_TRUE(kova->getConnections().isEmpty());
    EXPECT_FALSE(context().hasChanges());
    EXPECT_TRUE(appServerRequests(kMetadata).isEmpty());
}

TEST_F(WebConnectKeychainTest, ALinkWhileTheStoreWorksOnlyInMemoryFailsAndWritesNoSecret)
{
    // A store file from a newer version of the app: kept for it, so this
    // launch has only a store in memory, which no login would outlive.
    sqlite3 *db = nullptr;
    const QByteArray file = QFile::encodeName(platform::PersistentContainer::defaultStoreFile(QStringLiteral("KovaConnect")));
    ASSERT_EQ(sqlite3_open(file.constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 9999", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    startWithOptions();
    ASSERT_TRUE(KOVAppManager::sharedInstance().persistentContainer()->usesInMemoryStore());
    const qint64 modelVersion = KOVAppManager::sharedInstance().persistentContainer()->managedObjectModel()->version();
    keepAnUnrelatedItem();
    presentAndWaitForPage();
    const QJsonObject items = pageLoginItems();
    navigatePage(outcomeURL("success", items));
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    ASSERT_TRUE(waitUntil([&] { return messageScreenShown(); }));
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_EQ(delegate->events[0].error,
              QStringLiteral("The login cannot be stored: The store was written by a newer data model (version 9999; "
                             "this one is %1).")
                  .arg(modelVersion));
    EXPECT_EQ(delegate->events[0].keychainKeys, QStringList{"unrelated"});
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(secretKeyOf(items)).isNull());
    EXPECT_TRUE(kova->getConnections().isEmpty());
    EXPECT_FALSE(context().hasChanges());
    EXPECT_TRUE(logs->lines().filter("[Kova] Keychain failed").isEmpty());
}

TEST_F(WebConnectKeychainTest, ALinkWhoseSaveTheDiskRefusesFailsAndLeavesNothingOfIt)
{
    kova::test::FullDisk::install();
    startWithOptions(); // its store opens on the disk that can fill up
    keepAnUnrelatedItem();
    presentAndWaitForPage();
    const QJsonObject items = pageLoginItems();
    {
        kova::test::FullDisk::Scope full;
        navigatePage(outcomeURL("success", items));
        ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
        drainMainQueue();
    }
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_TRUE(delegate->events[0].error.endsWith(QStringLiteral("database or disk is full"))) << delegate->events[0].error.toStdString();
    EXPECT_EQ(delegate->events[0].keychainKeys, QStringList{"unrelated"}) << "the new secret is taken back";
    EXPECT_TRUE(kova->getConnections().isEmpty());
    EXPECT_FALSE(context().hasChanges()) << "nothing of it waits for a later save";
    simulateRelaunch();
    EXPECT_TRUE(context().fetch<KOVConnection>(KOVConnection::fetchRequest()).isEmpty());
    EXPECT_EQ(KOVKeychain::keychain()->allKeys(), QStringList{"unrelated"});
}
