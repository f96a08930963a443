// The new login's secret reaches the keychain on a worker while the exchange
// and metadata calls are out. Whatever order the disk and the network finish
// in, the host hears once, only what is stored is reported stored, and a
// failure leaves neither records nor the secret behind.
#include "ConnectTestSupport.h"
#include "core/KOVAppManager.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVKeychain.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentContainer.h"
#include "sandbox/SandboxData.h"
#include "tests/support/FullDisk.h"

#include <QFile>
#include <QJsonDocument>
#include <atomic>
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

// The logins' token IDs in the store file, as another launch would read them.
std::string tokensInFile()
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    QStringList tokens;
    const QByteArray file = QFile::encodeName(platform::PersistentContainer::defaultStoreFile(QStringLiteral("KovaConnect")));
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "SELECT tokenID FROM KOVConnection ORDER BY tokenID", -1, &statement, nullptr) == SQLITE_OK)
        while (sqlite3_step(statement) == SQLITE_ROW)
            tokens.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return tokens.join(",").toStdString();
}

// The disk fills up once the first commit that stores a login's record is in
// the file, while armed: nothing later reaches the file, as after a kill there.
std::atomic<bool> s_fillOnceCommitted{false};
std::atomic<bool> s_recordWritten{false};

void rowChanged(void *, int operation, const char *, const char *table, sqlite3_int64)
{
    if (operation == SQLITE_INSERT && QByteArray(table) == "KOVConnection")
        s_recordWritten = true;
}

int statementEnded(unsigned, void *, void *statement, void *)
{
    if (s_fillOnceCommitted && s_recordWritten
        && QByteArray(sqlite3_sql(static_cast<sqlite3_stmt *>(statement))).startsWith("COMMIT"))
        kova::test::FullDisk::setFailing(true);
    return 0;
}

int installFillPoint(sqlite3 *db, char **, const void *)
{
    const char *file = sqlite3_db_filename(db, "main");
    if (file && QByteArray(file).endsWith("KovaConnect.sqlite")) {
        sqlite3_update_hook(db, rowChanged, nullptr);
        sqlite3_trace_v2(db, SQLITE_TRACE_PROFILE, statementEnded, nullptr);
    }
    return SQLITE_OK;
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
        // The reply is in, but the secret is not on disk: nothing is stored or told.
        EXPECT_TRUE(delegate->events.isEmpty());
        EXPECT_EQ(window->topPresentedViewController(), screen());
        EXPECT_EQ(screen()->state(), State::Verifying);
        EXPECT_FALSE(context().hasChanges()) << "the record waits outside the app's store";
        EXPECT_TRUE(kova->getConnections().isEmpty());
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

// Held in its check, the new login is not in the file whatever else is saved
// meanwhile, and a check that then fails leaves no row of it.
TEST_F(WebConnectKeychainTest, ALinksRecordReachesTheFileOnlyOnceItsCheckPassed)
{
    startWithOptions();
    sandbox::ScriptedReply held = sandbox::ScriptedReply::json(QJsonObject{{"success", false}, {"msg", "No metadata"}});
    held.fault = sandbox::ScriptedReply::Fault::Held;
    server->scriptAction(kMetadata, held);
    presentAndWaitForPage();
    const QJsonObject items = pageLoginItems();
    navigatePage(outcomeURL("success", items));
    ASSERT_TRUE(waitUntil([&] { return server->heldCount() == 1; }));
    auto unrelated = context().insertNewObject<KOVAppConfigs>();
    unrelated->setAppKey("another-app");
    ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
    EXPECT_EQ(tokensInFile(), "") << "stored before its check";

    server->releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return !delegate->events.isEmpty(); }));
    drainMainQueue();
    EXPECT_EQ(delegate->kinds(), QStringList{"failure"});
    EXPECT_EQ(delegate->events[0].error, QStringLiteral("No metadata"));
    EXPECT_EQ(tokensInFile(), "");
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(secretKeyOf(items)).isNull());
}

// A relink that replaces a stored login, its store stopped right after the
// first commit that holds the new record: the file has the older login or
// the new one, never both.
TEST_F(WebConnectKeychainTest, ARelinkStoppedOnceItsRecordIsCommittedKeepsOneLoginOnly)
{
    kova::test::FullDisk::install();
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(installFillPoint));
    startWithOptions();
    presentAndWaitForPage();
    const QJsonObject older = pageLoginItems();
    navigatePage(outcomeURL("success", older));
    ASSERT_TRUE(waitUntil([&] { return delegate->kinds() == QStringList{"success"}; }));
    ASSERT_TRUE(waitUntil([&] { return window->topPresentedViewController() == nullptr; }));
    ASSERT_EQ(tokensInFile(), older.value("tokenID").toString().toStdString());

    QJsonObject newer = server->relinkLogin(older.value("userID").toString());
    newer.remove(QStringLiteral("clientUserID"));
    newer.insert(QStringLiteral("color"),
                 QString::fromUtf8(QJsonDocument(newer.value("color").toObject()).toJson(QJsonDocument::Compact)));
    presentAndWaitForPage();
    s_recordWritten = false;
    s_fillOnceCommitted = true;
    navigatePage(outcomeURL("success", newer));
    ASSERT_TRUE(waitUntil([&] { return delegate->events.size() == 2; }));
    drainMainQueue();
    s_fillOnceCommitted = false;
    kova::test::FullDisk::setFailing(false);
    sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(installFillPoint));

    EXPECT_EQ(delegate->kinds(), (QStringList{"success", "success"}));
    EXPECT_EQ(tokensInFile(), newer.value("tokenID").toString().toStdString());
}
