// Where a login is kept once it is linked or imported: a store that cannot
// keep it past this launch, a disk that refuses the save, and secrets that a
// login ended before its record was stored left behind.
#include <QDir>
#include <QFile>
#include <sqlite3.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <QRandomGenerator>
#include <unistd.h>

#include "core/KOVAppManager.h"
#include "core/connections/KOVBankConnection.h"
#include "core/connections/KOVConnectManager.h"
#include "core/connections/KOVLogin.h"
#include "core/internal/KOVOrphanedSecrets.h"
#include "core/records/KOVAccount.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVConnection.h"
#include "sandbox/SandboxData.h"
#include "core/store/KOVKeychain.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"
#include "platform/keychain/Vault.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/keychain/KeychainTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FullDisk.h"

using namespace kova;
using namespace kova::test;
using internal::KOVOrphanedSecrets;

namespace {

QString storeFile()
{
    return platform::PersistentContainer::defaultStoreFile(QStringLiteral("KovaConnect"));
}

bool execSql(const QString &file, const char *sql)
{
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(file).constData(), &db) == SQLITE_OK
        && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

qint64 userVersion(const QString &file)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    qint64 version = -1;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        version = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return version;
}

QString secretKey(const QJsonObject &login)
{
    return login.value("tokenID").toString() + login.value("userID").toString();
}

// A writer's file as another process leaves it: naming its own device and
// inode, locked while it lives (here by a descriptor of its own, kept open
// for the test), free once it ended.
QString writerFile(bool live)
{
    const QString name = QString::fromLatin1(QByteArray::number(QRandomGenerator::global()->generate64(), 16)
                                                 .rightJustified(16, '0').repeated(2));
    QDir().mkpath(KOVOrphanedSecrets::writersFolder());
    const QByteArray path = QFile::encodeName(QDir(KOVOrphanedSecrets::writersFolder()).filePath(name));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_GE(fd, 0);
    struct stat st {};
    EXPECT_EQ(::fstat(fd, &st), 0);
    const QByteArray identity = QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) + '\n';
    EXPECT_EQ(::write(fd, identity.constData(), size_t(identity.size())), identity.size());
    if (live)
        EXPECT_EQ(::flock(fd, LOCK_EX), 0); // left open: held for the rest of the process
    else
        ::close(fd);
    return name;
}

} // namespace

class LoginStorageTest : public SdkTest {
protected:
    struct Imported {
        int calls = 0;
        std::shared_ptr<KOVBankConnection> bank;
        OptionalError error;
    };
    std::shared_ptr<Imported> import(const QJsonObject &parameters)
    {
        auto imported = std::make_shared<Imported>();
        KOVBankConnection::create(parameters, [imported](std::shared_ptr<KOVBankConnection> bank, OptionalError error) {
            ++imported->calls;
            imported->bank = std::move(bank);
            imported->error = std::move(error);
        });
        EXPECT_TRUE(waitUntil([&] { return imported->calls > 0; }));
        drainMainQueue();
        EXPECT_EQ(imported->calls, 1);
        return imported;
    }

    static int storedConnections()
    {
        return int(context().fetch<KOVConnection>(KOVConnection::fetchRequest()).size());
    }

    // Relaunches and waits until the leftover secrets found at the load are gone.
    void relaunchAndSettle()
    {
        simulateRelaunch();
        KOVAppManager::sharedInstance().persistentContainer();
        bool settled = false;
        KOVOrphanedSecrets::whenSettled([&] { settled = true; });
        ASSERT_TRUE(waitUntil([&] { return settled; }));
    }
};

TEST_F(LoginStorageTest, WhileTheStoreWorksOnlyInMemoryNoLoginIsReportedAsStored)
{
    struct Case {
        const char *name;
        std::function<void()> spoil;
        QString reason;
    };
    const Case cases[] = {
        {"a file from a newer data model", [] { ASSERT_TRUE(execSql(storeFile(), "PRAGMA user_version = 9999")); },
         QStringLiteral("The store was written by a newer data model (version 9999; this one is %1).")},
        {"a folder in place of the file",
         [] {
             ASSERT_TRUE(QFile::remove(storeFile()));
             QFile::remove(storeFile() + "-wal");
             QFile::remove(storeFile() + "-shm");
             ASSERT_TRUE(QDir().mkpath(storeFile()));
         },
         QStringLiteral("The store \"%1\" cannot be opened: Is a directory.").arg(storeFile())},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        simulateRelaunch();
        resetDataDirectory();
        startDefault("client-1");
        const qint64 modelVersion = userVersion(storeFile());
        simulateRelaunch();
        c.spoil();
        startDefault("client-1");
        const auto container = KOVAppManager::sharedInstance().persistentContainer();
        ASSERT_TRUE(container->usesInMemoryStore());
        const QString reason = QString(c.reason).replace(QStringLiteral("%1"), QString::number(modelVersion));
        const QString expected = QStringLiteral("The login cannot be stored: ") + reason;

        // The import.
        const QJsonObject issued = server->issueLogin("client-1");
        const auto imported = import(issued);
        EXPECT_FALSE(imported->bank);
        ASSERT_TRUE(imported->error.has_value());
        EXPECT_EQ(imported->error->domain, platform::NSCocoaErrorDomain);
        EXPECT_EQ(imported->error->code, 134030);
        EXPECT_EQ(imported->error->localizedDescription(), expected);

        // The connect page's road: the secret's write and the records.
        const QJsonObject linked = server->issueLogin("client-1");
        KOVConnectManager manager("client-1", KOVLogin::initWithDictionary(linked));
        manager.storeSecretInBackground();
        int created = 0;
        manager.createConnection([&](std::shared_ptr<KOVConnection> connection, OptionalError error) {
            ++created;
            EXPECT_FALSE(connection);
            ASSERT_TRUE(error.has_value());
            EXPECT_EQ(error->code, 134030);
            EXPECT_EQ(error->localizedDescription(), expected);
        });
        EXPECT_EQ(created, 1);
        std::optional<OptionalError> written;
        manager.whenSecretStored([&](OptionalError error) { written = error; });
        ASSERT_TRUE(written.has_value());
        ASSERT_TRUE(written->has_value());
        EXPECT_EQ((*written)->code, 134030);

        // Nothing was made that the next launch would miss.
        EXPECT_EQ(storedConnections(), 0);
        EXPECT_FALSE(context().hasChanges());
        EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(secretKey(issued)).isNull());
        EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(secretKey(linked)).isNull());
        EXPECT_TRUE(logs->lines().filter("[Kova] Keychain failed").isEmpty());
    }
}

// For the app version that wrote it, whatever links are tried meanwhile.
TEST_F(LoginStorageTest, ANewerFileIsKeptUntouched)
{
    startDefault("client-1");
    simulateRelaunch();
    ASSERT_TRUE(execSql(storeFile(), "PRAGMA user_version = 9999"));
    startDefault("client-1");
    import(server->issueLogin("client-1"));
    simulateRelaunch();
    EXPECT_EQ(userVersion(storeFile()), 9999);
    EXPECT_TRUE(QDir(QFileInfo(storeFile()).path()).entryList({"KovaConnect.sqlite.damaged-*"}, QDir::Files).isEmpty());
}

TEST_F(LoginStorageTest, AnImportWhoseSaveTheDiskRefusesLeavesTheStoredLoginAsItWas)
{
    FullDisk::install();
    simulateRelaunch(); // the store opens on the disk that can fill up
    startDefault("client-1");
    const QJsonObject issued = server->issueLogin("client-1");
    const auto first = import(issued);
    ASSERT_TRUE(first->bank) << first->error->localizedDescription().toStdString();
    const QString key = secretKey(issued);
    const QString secret = issued.value("userSecret").toString();

    // The same login again, and a new login, while the disk takes no more.
    const QJsonObject fresh = server->issueLogin("client-1");
    for (const QJsonObject &parameters : {issued, fresh}) {
        std::shared_ptr<Imported> imported;
        {
            FullDisk::Scope full;
            imported = import(parameters);
        }
        EXPECT_FALSE(imported->bank);
        ASSERT_TRUE(imported->error.has_value());
        EXPECT_EQ(imported->error->code, 134030);
        EXPECT_TRUE(imported->error->localizedDescription().endsWith("database or disk is full"))
            << imported->error->localizedDescription().toStdString();
    }
    // Nothing of the failed imports waits for a later save.
    EXPECT_FALSE(context().hasChanges());
    const auto listed = KOVBankConnection::getConnectionsWithClientUserID("client-1");
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0]->connection(), first->bank->connection());
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(key), secret);
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(secretKey(fresh)).isNull());

    // A later save (another road's) stores none of it, and the next launch
    // finds the first login whole.
    platform::Error error;
    EXPECT_TRUE(KOVAppManager::sharedInstance().saveContext(&error));
    simulateRelaunch();
    const auto stored = context().fetch<KOVConnection>(KOVConnection::fetchRequest());
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0]->userID(), issued.value("userID").toString());
    EXPECT_TRUE(stored[0]->isValid());
    ASSERT_TRUE(stored[0]->bankInfo());
    EXPECT_EQ(stored[0]->subaccounts().size(), 1);
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(key), secret);
}

TEST_F(LoginStorageTest, SecretsOfLoginsThatWereNeverStoredGoAtTheNextLaunch)
{
    startDefault("client-1");
    const QJsonObject issued = server->issueLogin("client-1");
    ASSERT_TRUE(import(issued)->bank);
    const auto keychain = KOVKeychain::keychain();
    // A secret the SDK writes is marked as its own, written by this process.
    const auto items = keychain->items();
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 1);
    EXPECT_EQ(items->first().account, secretKey(issued));
    EXPECT_EQ(items->first().label, KOVOrphanedSecrets::label());
    ASSERT_TRUE(items->first().comment.has_value());
    const QStringList mark = items->first().comment->split(' ');
    ASSERT_EQ(mark.size(), 4) << items->first().comment->toStdString();
    EXPECT_EQ(mark[1], QString::number(::getpid()));
    EXPECT_EQ(mark[2], KOVOrphanedSecrets::writer());

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime minuteAgo = now.addSecs(-60);
    const QDateTime dayAgo = now.addSecs(-25 * 3600);
    const pid_t ended = endedProcess();
    const QString endedWriter = writerFile(false);
    const QString liveWriter = writerFile(true);
    const QString ownWriter = KOVOrphanedSecrets::writer();
    struct Secret {
        const char *key;
        QString label;
        QString mark;
        bool stays;
        const char *why;
    };
    const Secret secrets[] = {
        {"left-by-ended", KOVOrphanedSecrets::label(), KOVOrphanedSecrets::mark(minuteAgo, ::getpid(), endedWriter, 1), false,
         "its writer ended without storing the login"},
        {"left-by-one-long-gone", KOVOrphanedSecrets::label(), QStringLiteral("%1 %2 ended 1").arg(dayAgo.toMSecsSinceEpoch()).arg(ended),
         false, "an earlier sweep found its writer ended and removed its file"},
        {"writer-file-missing", KOVOrphanedSecrets::label(), KOVOrphanedSecrets::mark(dayAgo, ended, QString(32, 'a'), 1), true,
         "a missing writer's file proves nothing: a clean-up may have removed a live writer's"},
        {"written-long-ago", KOVOrphanedSecrets::label(), KOVOrphanedSecrets::mark(dayAgo, ended, ownWriter, 1), true,
         "its writer may still store the login, however old the mark"},
        {"being-stored-here", KOVOrphanedSecrets::label(), KOVOrphanedSecrets::mark(now, ::getpid(), ownWriter, 2), true,
         "its writer may still store the login"},
        {"being-stored-by-another", KOVOrphanedSecrets::label(), KOVOrphanedSecrets::mark(dayAgo, ended, liveWriter, 1), true,
         "another process may still store the login, whatever its process id and clock say"},
        {"older-form", KOVOrphanedSecrets::label(), QStringLiteral("%1 %2").arg(dayAgo.toMSecsSinceEpoch()).arg(ended), true,
         "a mark that names no writer cannot prove it gone"},
        {"hosts-own", QString(), QString(), true, "not the SDK's: the host keeps it"},
        {"hosts-own-old", QStringLiteral("host label"), KOVOrphanedSecrets::mark(dayAgo, ended, endedWriter, 1), true,
         "not the SDK's: the host keeps it"},
    };
    for (const Secret &s : secrets)
        ASSERT_TRUE(s.label.isNull() ? keychain->setString(QStringLiteral("value"), s.key)
                                     : keychain->setString(QStringLiteral("value"), s.key, s.label, s.mark));
    // The stored login's secret, as an ended writer left it: in use, so it stays.
    ASSERT_TRUE(keychain->setString(issued.value("userSecret").toString(), secretKey(issued), KOVOrphanedSecrets::label(),
                                    KOVOrphanedSecrets::mark(dayAgo, ended, endedWriter, 2)));

    relaunchAndSettle();
    for (const Secret &s : secrets)
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(s.key).isNull(), !s.stays) << s.key << ": " << s.why;
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(issued)).toStdString(), issued.value("userSecret").toString().toStdString());
    EXPECT_EQ(logs->lines().filter("[Kova] Keychain: removed 2 secret(s) that no stored login uses").size(), 1);
    // The ended writer's file goes with the sweep, once the secret that stays
    // no longer names it; the live one's stays.
    const auto after = KOVKeychain::keychain()->items();
    ASSERT_TRUE(after.has_value());
    const auto kept = std::find_if(after->begin(), after->end(), [&](const auto &item) { return item.account == secretKey(issued); });
    ASSERT_NE(kept, after->end());
    EXPECT_EQ(kept->comment, QStringLiteral("%1 %2 ended 2").arg(dayAgo.toMSecsSinceEpoch()).arg(ended));
    EXPECT_FALSE(QFile::exists(QDir(KOVOrphanedSecrets::writersFolder()).filePath(endedWriter)));
    EXPECT_TRUE(QFile::exists(QDir(KOVOrphanedSecrets::writersFolder()).filePath(liveWriter)));
}


// A disk that fails to give the vault's key back fails a login's calls with
// the keychain's I/O error, never as a login without credentials; once the
// disk answers again, the same login works.
TEST_F(LoginStorageTest, AReadErrorOnTheKeyFailsACallAsAnIOErrorUntilItPasses)
{
    startDefault("client-1");
    ASSERT_TRUE(import(server->issueLogin("client-1"))->bank);
    platform::Vault::setStandard(nullptr); // read from the files again, as at a launch
    std::shared_ptr<KOVBankConnection> bank;
    int calls = 0;
    OptionalError failure;
    const auto getAccounts = [&] {
        bank->getAccounts([&](QList<std::shared_ptr<KOVAccount>>, OptionalError error, QString) {
            ++calls;
            failure = error;
        });
        return waitUntil([&] { return calls > 0; });
    };
    {
        const test::ReadErrorsOn errors(platform::Vault::standard()->keyPath(), test::ReadErrorsOn::Call::Read);
        const auto listed = KOVBankConnection::getConnectionsWithClientUserID("client-1");
        ASSERT_EQ(listed.size(), 1);
        bank = listed.first();
        ASSERT_TRUE(getAccounts());
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->domain.toStdString(), KOVKeychainErrorDomain.toStdString());
        EXPECT_EQ(failure->code, -36);
    }
    calls = 0;
    ASSERT_TRUE(getAccounts());
    EXPECT_FALSE(failure.has_value()) << failure->code;
}


namespace {

sandbox::ScriptedReply heldReply(const QJsonObject &body)
{
    sandbox::ScriptedReply reply = sandbox::ScriptedReply::json(body);
    reply.fault = sandbox::ScriptedReply::Fault::Held;
    return reply;
}

const QJsonObject kGoodMetadata{{"success", true}, {"accountsMetadata", sandbox::SandboxData::accountsMetadata("SANDBOXBANK")}};
const QJsonObject kNoMetadata{{"success", false}, {"msg", "No metadata"}};

// The rows of the store file as another launch would read them.
int rowsInFile(const char *table)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    int rows = -1;
    const QByteArray sql = QByteArray("SELECT count(*) FROM ") + table;
    if (sqlite3_open_v2(QFile::encodeName(storeFile()).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        rows = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

} // namespace

// The same login imported twice at once, one of the two checks failing: the
// failing import takes back only the secret it wrote itself, never the one
// the other import (or the login it stored) needs.
TEST_F(LoginStorageTest, OfTwoImportsOfOneLoginTheFailingOneTakesBackOnlyItsOwnSecret)
{
    struct Case {
        const char *name;
        int failing;        // which import's check fails (by start)
        bool failingFirst;  // its answer comes before the other's
    };
    const Case cases[] = {
        {"the first fails while the second is checked", 0, true},
        {"the first fails once the second is stored", 0, false},
        {"the second fails while the first is checked", 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        simulateRelaunch();
        resetDataDirectory();
        startDefault("client-1");
        const QJsonObject login = server->issueLogin("client-1");
        std::shared_ptr<Imported> imports[2];
        for (int i = 0; i < 2; ++i) {
            server->scriptAction("/metadata/accounts/get", heldReply(i == c.failing ? kNoMetadata : kGoodMetadata));
            auto imported = std::make_shared<Imported>();
            KOVBankConnection::create(login, [imported](std::shared_ptr<KOVBankConnection> bank, OptionalError error) {
                ++imported->calls;
                imported->bank = std::move(bank);
                imported->error = std::move(error);
            });
            imports[i] = imported;
            ASSERT_TRUE(waitUntil([&] { return server->heldCount() == i + 1; }));
        }
        const int succeeding = 1 - c.failing;
        // Held answers are listed in the order the checks asked: the first import's first.
        const int first = c.failingFirst ? c.failing : succeeding;
        ASSERT_TRUE(server->releaseHeld(first));
        ASSERT_TRUE(waitUntil([&] { return imports[first]->calls == 1; }));
        ASSERT_TRUE(server->releaseHeld());
        ASSERT_TRUE(waitUntil([&] { return imports[1 - first]->calls == 1; }));
        ASSERT_TRUE(imports[c.failing]->error.has_value());
        EXPECT_EQ(imports[c.failing]->error->code, 2002);
        ASSERT_TRUE(imports[succeeding]->bank);

        // The login that was reported as stored can be used, now and after a relaunch.
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(login)).toStdString(), login.value("userSecret").toString().toStdString());
        relaunchAndSettle();
        startDefault("client-1");
        const auto stored = KOVBankConnection::getConnectionsWithClientUserID("client-1");
        ASSERT_EQ(stored.size(), 1);
        int used = 0;
        stored.first()->getAccounts([&](QList<std::shared_ptr<KOVAccount>>, OptionalError error, QString) {
            ++used;
            EXPECT_FALSE(error.has_value()) << error->code;
        });
        ASSERT_TRUE(waitUntil([&] { return used == 1; }));
        const auto items = KOVKeychain::keychain()->items();
        ASSERT_TRUE(items.has_value());
        EXPECT_EQ(items->size(), 1);
    }
}

// While an import's check runs, another road saves the context: the unchecked
// record is not in that save, and reaches the file only once its check passed.
TEST_F(LoginStorageTest, AnImportsRecordReachesTheFileOnlyOnceItsCheckPassed)
{
    struct Case {
        const char *name;
        QJsonObject answer;
        int rowsAfter;
    };
    const Case cases[] = {
        {"the check fails", kNoMetadata, 0},
        {"the check passes", kGoodMetadata, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        simulateRelaunch();
        resetDataDirectory();
        startDefault("client-1");
        const QJsonObject login = server->issueLogin("client-1");
        server->scriptAction("/metadata/accounts/get", heldReply(c.answer));
        auto imported = std::make_shared<Imported>();
        KOVBankConnection::create(login, [imported](std::shared_ptr<KOVBankConnection> bank, OptionalError error) {
            ++imported->calls;
            imported->bank = std::move(bank);
            imported->error = std::move(error);
        });
        ASSERT_TRUE(waitUntil([&] { return server->heldCount() == 1; }));
        auto unrelated = context().insertNewObject<KOVAppConfigs>();
        unrelated->setAppKey("another-app");
        ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
        EXPECT_EQ(rowsInFile("KOVConnection"), 0);
        EXPECT_TRUE(KOVBankConnection::getConnectionsWithClientUserID("client-1").isEmpty());

        server->releaseHeld();
        ASSERT_TRUE(waitUntil([&] { return imported->calls == 1; }));
        EXPECT_EQ(bool(imported->bank), c.rowsAfter == 1);
        EXPECT_EQ(rowsInFile("KOVConnection"), c.rowsAfter);
        EXPECT_EQ(rowsInFile("KOVBankInfo"), c.rowsAfter);
        ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
        simulateRelaunch();
        EXPECT_EQ(storedConnections(), c.rowsAfter);
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(login)).isNull(), c.rowsAfter == 0);
    }
}
