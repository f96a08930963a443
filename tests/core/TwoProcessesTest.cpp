#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSet>
#include <QDir>
#include <QRegularExpression>
#include <atomic>
#include <csignal>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/KOVAppManager.h"
#include "core/internal/KOVOrphanedSecrets.h"
#include "core/records/KOVAccount.h"
#include "core/store/KOVAppConfigs.h"
#include "sandbox/SandboxData.h"
#include "core/connections/KOVBankConnection.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVKeychain.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/support/ChildProcess.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;

namespace {

// Kill points for a child: SIGKILL at the first commit after they are armed
// that stores a login's record, as it begins (nothing of it written) or once
// it is in the file.
enum KillPoint { NoKill, KillAsCommitBegins, KillOnceCommitted };
std::atomic<int> s_killPoint{NoKill};
std::atomic<bool> s_recordWritten{false};

void rowChanged(void *, int operation, const char *, const char *table, sqlite3_int64)
{
    if (operation == SQLITE_INSERT && QByteArray(table) == "KOVConnection")
        s_recordWritten = true;
}

int commitBegins(void *)
{
    if (s_killPoint == KillAsCommitBegins && s_recordWritten)
        ::raise(SIGKILL);
    return 0;
}

// Told as each statement ends: a "COMMIT" that ends has its transaction in the file.
int statementEnded(unsigned, void *, void *statement, void *)
{
    if (s_killPoint == KillOnceCommitted && s_recordWritten
        && QByteArray(sqlite3_sql(static_cast<sqlite3_stmt *>(statement))).startsWith("COMMIT"))
        ::raise(SIGKILL);
    return 0;
}

int installKillPoints(sqlite3 *db, char **, const void *)
{
    const char *file = sqlite3_db_filename(db, "main");
    if (file && QByteArray(file).endsWith("KovaConnect.sqlite")) {
        sqlite3_update_hook(db, rowChanged, nullptr);
        sqlite3_commit_hook(db, commitBegins, nullptr);
        sqlite3_trace_v2(db, SQLITE_TRACE_PROFILE, statementEnded, nullptr);
    }
    return SQLITE_OK;
}

ScriptedReply held(const QJsonObject &body)
{
    ScriptedReply reply = ScriptedReply::json(body);
    reply.fault = ScriptedReply::Fault::Held;
    return reply;
}

ScriptedReply heldMetadata()
{
    return held(QJsonObject{{"success", true}, {"accountsMetadata", sandbox::SandboxData::accountsMetadata("SANDBOXBANK")}});
}

QString secretKey(const QJsonObject &login)
{
    return login.value("tokenID").toString() + login.value("userID").toString();
}

} // namespace

// Run only as a child of TwoProcessesTest: starts the SDK on the shared data
// directory and imports every login of the file it is given, all at once.
// KOVA_CHILD_CLOCK_OFFSET_MS and KOVA_CHILD_MARKED_PID put its clock off and
// its process out of sight in the marks of its secrets; KOVA_CHILD_USE makes
// a call on each imported login; KOVA_CHILD_SAVED_FLAG makes an unrelated
// save while the imports are checked, then names the file it made;
// KOVA_CHILD_KILL_AT ("begin", "after") kills it at the imports' save.
TEST(ImportChild, ImportsItsLogins)
{
    const QString file = qEnvironmentVariable("KOVA_IMPORT_CHILD");
    if (file.isEmpty())
        GTEST_SKIP() << "only runs as a child process";
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QJsonArray logins = QJsonDocument::fromJson(in.readAll()).array();
    ASSERT_FALSE(logins.isEmpty());
    internal::KOVOrphanedSecrets::setClockOffset(std::chrono::milliseconds(qEnvironmentVariableIntValue("KOVA_CHILD_CLOCK_OFFSET_MS")));
    internal::KOVOrphanedSecrets::setMarkedProcess(pid_t(qEnvironmentVariableIntValue("KOVA_CHILD_MARKED_PID")));
    const QString killAt = qEnvironmentVariable("KOVA_CHILD_KILL_AT");
    if (!killAt.isEmpty())
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(installKillPoints));

    bool started = false;
    Kova::startWithAppKey("app-key-1", "client-1", [&](std::shared_ptr<Kova>, std::optional<platform::Error> error) {
        EXPECT_FALSE(error.has_value());
        started = true;
    });
    ASSERT_TRUE(waitUntil([&] { return started; }, std::chrono::seconds(60)));
    bool settled = false;
    internal::KOVOrphanedSecrets::whenSettled([&] { settled = true; });
    ASSERT_TRUE(waitUntil([&] { return settled; }, std::chrono::seconds(60)));
    s_recordWritten = false;
    s_killPoint = killAt == "begin" ? KillAsCommitBegins : killAt == "after" ? KillOnceCommitted : NoKill;

    const bool use = qEnvironmentVariableIsSet("KOVA_CHILD_USE");
    int done = 0;
    int failed = 0;
    int used = 0;
    for (const QJsonValue &login : logins)
        KOVBankConnection::create(login.toObject(), [&](std::shared_ptr<KOVBankConnection>, std::optional<platform::Error> error) {
            ++done;
            if (error) {
                ++failed;
                ADD_FAILURE() << error->localizedDescription().toStdString();
                return;
            }
            if (!use)
                return;
            // The login as the host finds it from now on.
            const auto stored = KOVBankConnection::getConnectionsWithClientUserID("client-1");
            ASSERT_EQ(stored.size(), 1);
            stored.first()->getAccounts([&](QList<std::shared_ptr<KOVAccount>>, std::optional<platform::Error> error, QString) {
                EXPECT_FALSE(error.has_value()) << error->code << " " << error->localizedDescription().toStdString();
                ++used;
            });
        });
    if (const QString flag = qEnvironmentVariable("KOVA_CHILD_SAVED_FLAG"); !flag.isEmpty()) {
        auto unrelated = KOVAppManager::sharedInstance().viewContext().insertNewObject<KOVAppConfigs>();
        unrelated->setAppKey("another-app");
        ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
        QFile made(flag);
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(waitUntil([&] { return done == logins.size(); }, std::chrono::seconds(120)));
    EXPECT_EQ(failed, 0);
    if (use) {
        ASSERT_TRUE(waitUntil([&] { return used == done; }));
    }
}

class TwoProcessesTest : public SdkTest {
protected:
    // A child importing `logins` on this data directory, with the sandbox
    // of this process and `extra` in its environment.
    QProcess *spawn(const QJsonArray &logins, const QHash<QString, QString> &extra = {})
    {
        const QString file = platform::ProcessInfo::dataDirectory() + QStringLiteral("/../logins-%1.json").arg(++m_children);
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(logins).toJson(QJsonDocument::Compact));
        out.close();
        auto *child = new QProcess(server.get());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KOVA_IMPORT_CHILD", file);
        env.insert("KOVA_TEST_DATA_DIR", platform::ProcessInfo::dataDirectory());
        env.insert("KOVA_SERVICE_URL", server->baseUrl().toString());
        for (auto it = extra.begin(); it != extra.end(); ++it)
            env.insert(it.key(), it.value());
        child->setProcessEnvironment(env);
        child->setProcessChannelMode(QProcess::MergedChannels);
        child->start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ImportChild.*"});
        return child;
    }
    // Imports a login here and waits until it is stored.
    void storeLogin(const QJsonObject &login)
    {
        bool stored = false;
        KOVBankConnection::create(login, [&](std::shared_ptr<KOVBankConnection> bank, OptionalError) { stored = bool(bank); });
        ASSERT_TRUE(waitUntil([&] { return stored; }));
    }
    // Waits for the child to end; its output, for failure messages.
    QByteArray finish(QProcess *child)
    {
        EXPECT_TRUE(waitUntil([&] { return child->state() == QProcess::NotRunning; }, std::chrono::seconds(120)));
        return child->readAll();
    }
    static void expectSucceeded(QProcess *child, const QByteArray &output)
    {
        EXPECT_EQ(child->exitStatus(), QProcess::NormalExit) << output.constData();
        EXPECT_EQ(child->exitCode(), 0) << output.constData();
    }
    // The leftover-secret sweep of a new launch of this process, to its end.
    void relaunchAndSweep()
    {
        simulateRelaunch();
        KOVAppManager::sharedInstance().persistentContainer();
        bool settled = false;
        internal::KOVOrphanedSecrets::whenSettled([&] { settled = true; });
        ASSERT_TRUE(waitUntil([&] { return settled; }));
    }
    void freshDevice()
    {
        simulateRelaunch();
        resetDataDirectory();
        server->clearRequests();
    }

    int m_children = 0;
};

// Another process's secret stays while it imports, whatever this process can
// see of it: its process in another pid namespace, clocks a day apart, its
// writer's file gone or replaced by a clean-up.
TEST_F(TwoProcessesTest, ASweepNeverTakesTheSecretOfAnImportStillUnderWay)
{
    constexpr qint64 kDay = 24 * 3600 * 1000;
    struct Case {
        const char *name;
        QHash<QString, QString> child;
        qint64 sweeperClockMs;
        // A clean-up of the writers' files while the import runs.
        void (*cleanUp)(const QDir &writers) = nullptr;
    };
    const Case cases[] = {
        {"the importing process cannot be seen", {{"KOVA_CHILD_MARKED_PID", QString::number(endedProcess())}}, 0},
        {"the sweeping process's clock is a day ahead", {}, kDay + 3600 * 1000},
        {"the importing process's clock is a day behind", {{"KOVA_CHILD_CLOCK_OFFSET_MS", QString::number(-kDay - 3600 * 1000)}}, 0},
        {"its writer's file was put back from a copy", {}, 0, [](const QDir &writers) {
             for (const QString &name : writers.entryList(QDir::Files)) {
                 ASSERT_TRUE(QFile::copy(writers.filePath(name), writers.filePath("copy")));
                 ASSERT_TRUE(QFile::remove(writers.filePath(name)));
                 ASSERT_TRUE(QFile::rename(writers.filePath("copy"), writers.filePath(name)));
             }
         }},
        {"the writers' folder was removed", {}, 0, [](const QDir &writers) { ASSERT_TRUE(QDir(writers).removeRecursively()); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        freshDevice();
        const QJsonObject login = server->issueLogin("client-1");
        server->scriptAction("/metadata/accounts/get", heldMetadata());
        QHash<QString, QString> env = c.child;
        env.insert("KOVA_CHILD_USE", "1");
        QProcess *child = spawn(QJsonArray{login}, env);
        // Its secret is written once its check is asked for.
        ASSERT_TRUE(waitUntil([&] { return server->heldCount() == 1; }, std::chrono::seconds(60)));
        if (c.cleanUp)
            c.cleanUp(QDir(internal::KOVOrphanedSecrets::writersFolder()));

        internal::KOVOrphanedSecrets::setClockOffset(std::chrono::milliseconds(c.sweeperClockMs));
        relaunchAndSweep();
        internal::KOVOrphanedSecrets::setClockOffset(std::chrono::milliseconds(0));
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(login)).toStdString(), login.value("userSecret").toString().toStdString());

        server->releaseHeld();
        const QByteArray output = finish(child);
        expectSucceeded(child, output);
        simulateRelaunch();
        const auto stored = KOVBankConnection::getConnectionsWithClientUserID("client-1");
        ASSERT_EQ(stored.size(), 1);
        EXPECT_EQ(stored.first()->userID().toStdString(), login.value("userID").toString().toStdString());
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(login)).toStdString(), login.value("userSecret").toString().toStdString());
    }
}

TEST_F(TwoProcessesTest, AFailedImportLeavesTheSecretOfAnotherProcessImportingTheSameLogin)
{
    startDefault("client-1");
    const QJsonObject login = server->issueLogin("client-1");
    server->scriptAction("/metadata/accounts/get", held(QJsonObject{{"success", false}, {"msg", "No metadata"}}));
    server->scriptAction("/metadata/accounts/get", heldMetadata());
    int calls = 0;
    OptionalError failure;
    KOVBankConnection::create(login, [&](std::shared_ptr<KOVBankConnection>, OptionalError error) {
        ++calls;
        failure = error;
    });
    ASSERT_TRUE(waitUntil([&] { return server->heldCount() == 1; }));
    QProcess *child = spawn(QJsonArray{login}, {{"KOVA_CHILD_USE", "1"}});
    ASSERT_TRUE(waitUntil([&] { return server->heldCount() == 2; }, std::chrono::seconds(60)));

    // This process's check fails first, the other's passes after.
    server->releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->code, 2002);
    server->releaseHeld();
    const QByteArray output = finish(child);
    expectSucceeded(child, output);

    simulateRelaunch();
    const auto stored = KOVBankConnection::getConnectionsWithClientUserID("client-1");
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(login)).toStdString(), login.value("userSecret").toString().toStdString());
}

// A check that never ends (the process killed meanwhile) leaves nothing: an
// unrelated save during the check stores no record, and the next launch
// removes the secret.
TEST_F(TwoProcessesTest, AnImportKilledDuringItsCheckLeavesNoRecordAndItsSecretGoes)
{
    const QJsonObject login = server->issueLogin("client-1");
    server->scriptAction("/metadata/accounts/get", heldMetadata());
    const QString flag = platform::ProcessInfo::dataDirectory() + QStringLiteral("/../saved-while-checked");
    QFile::remove(flag);
    QProcess *child = spawn(QJsonArray{login}, {{"KOVA_CHILD_SAVED_FLAG", flag}});
    ASSERT_TRUE(waitUntil([&] { return server->heldCount() == 1 && QFile::exists(flag); }, std::chrono::seconds(60)));
    ASSERT_NE(KOVKeychain::keychain()->stringForKey(secretKey(login)), QString());
    child->kill();
    finish(child);
    EXPECT_EQ(child->exitStatus(), QProcess::CrashExit);

    relaunchAndSweep();
    platform::Error error;
    const auto rows = KOVAppManager::sharedInstance().viewContext().fetch<KOVConnection>(KOVConnection::fetchRequest(), &error);
    EXPECT_TRUE(rows.isEmpty()) << rows.size() << " record(s) of an import that never passed its check";
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(secretKey(login)).isNull());
    const auto configs = KOVAppManager::sharedInstance().viewContext().fetch<KOVAppConfigs>(KOVAppConfigs::fetchRequest(), &error);
    QStringList appKeys;
    for (const auto &config : configs)
        appKeys.append(config->appKey());
    EXPECT_TRUE(appKeys.contains("another-app")) << "the unrelated save was stored";
}

// A relink that replaces a stored login, killed at its save.
TEST_F(TwoProcessesTest, AKillAtTheImportsSaveKeepsTheOlderLoginOrTheNewOneNeverBoth)
{
    struct Case {
        const char *name;
        const char *killAt;
        bool newOneStays;
    };
    const Case cases[] = {
        {"as the save begins", "begin", false},
        {"once the save is written", "after", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        freshDevice();
        startDefault("client-1");
        const QJsonObject older = server->issueLogin("client-1");
        storeLogin(older);
        const QJsonObject newer = server->relinkLogin(older.value("userID").toString());

        QProcess *child = spawn(QJsonArray{newer}, {{"KOVA_CHILD_KILL_AT", c.killAt}});
        const QByteArray output = finish(child);
        ASSERT_EQ(child->exitStatus(), QProcess::CrashExit) << output.constData();

        simulateRelaunch();
        const auto stored = KOVBankConnection::getConnectionsWithClientUserID("client-1");
        ASSERT_EQ(stored.size(), 1);
        const QJsonObject &kept = c.newOneStays ? newer : older;
        EXPECT_EQ(stored.first()->connection()->tokenID().toStdString(), kept.value("tokenID").toString().toStdString());
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(kept)).toStdString(), kept.value("userSecret").toString().toStdString());
    }
}

// While this process replaces a login with a new one of the same user,
// another imports the replaced login again and reports it stored: the secret
// that login reads stays, though this process still took it for its own
// replaced login's.
TEST_F(TwoProcessesTest, ReplacingALoginLeavesTheSecretAnotherProcessStoredItWithMeanwhile)
{
    startDefault("client-1");
    const QJsonObject older = server->issueLogin("client-1");
    storeLogin(older);
    const QJsonObject newer = server->relinkLogin(older.value("userID").toString());
    server->scriptAction("/metadata/accounts/get", heldMetadata());
    int calls = 0;
    KOVBankConnection::create(newer, [&](std::shared_ptr<KOVBankConnection> bank, OptionalError) {
        ++calls;
        EXPECT_TRUE(bank);
    });
    ASSERT_TRUE(waitUntil([&] { return server->heldCount() == 1; }));

    QProcess *child = spawn(QJsonArray{older}, {{"KOVA_CHILD_USE", "1"}});
    const QByteArray output = finish(child);
    expectSucceeded(child, output);
    server->releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));

    simulateRelaunch();
    QStringList tokens;
    for (const auto &bank : KOVBankConnection::getConnectionsWithClientUserID("client-1"))
        tokens.append(bank->connection()->tokenID());
    EXPECT_TRUE(tokens.contains(older.value("tokenID").toString())) << "the other process's login is listed";
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(older)).toStdString(), older.value("userSecret").toString().toStdString());
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(newer)).toStdString(), newer.value("userSecret").toString().toStdString());
}

TEST_F(TwoProcessesTest, TwoHostsImportingOnOneDataDirectoryLoseNothing)
{
    constexpr int kEach = 40;
    QList<QProcess *> children;
    QSet<QString> userIDs;
    for (int c = 0; c < 2; ++c) {
        QJsonArray logins;
        for (int i = 0; i < kEach; ++i) {
            const QJsonObject login = server->issueLogin("client-1");
            userIDs.insert(login.value("userID").toString());
            logins.append(login);
        }
        const QString file = platform::ProcessInfo::dataDirectory() + QStringLiteral("/../logins-%1.json").arg(c);
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(logins).toJson(QJsonDocument::Compact));
        out.close();

        auto *child = new QProcess(this->server.get());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KOVA_IMPORT_CHILD", file);
        env.insert("KOVA_TEST_DATA_DIR", platform::ProcessInfo::dataDirectory());
        env.insert("KOVA_SERVICE_URL", server->baseUrl().toString());
        child->setProcessEnvironment(env);
        child->setProcessChannelMode(QProcess::MergedChannels);
        children.append(child);
    }
    ASSERT_EQ(userIDs.size(), 2 * kEach);
    // Both at once, while this process's loop serves them the sandbox.
    for (QProcess *child : children)
        child->start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ImportChild.*"});
    ASSERT_TRUE(waitUntil([&] {
        for (QProcess *child : children)
            if (child->state() != QProcess::NotRunning)
                return false;
        return true;
    }, std::chrono::seconds(240)));
    for (QProcess *child : children) {
        const QByteArray output = child->readAll();
        if (qEnvironmentVariableIsSet("KOVA_SHOW_CHILDREN"))
            qDebug().noquote() << output;
        EXPECT_EQ(child->exitStatus(), QProcess::NormalExit) << output.constData();
        EXPECT_EQ(child->exitCode(), 0) << output.constData();
    }

    // What a relaunch finds on the device: every login, each with its secret,
    // and no secret without its login.
    simulateRelaunch();
    platform::Error error;
    const auto stored = KOVAppManager::sharedInstance().viewContext().fetch<KOVConnection>(
        KOVConnection::fetchRequestWithUserID(QString(), "client-1", false), &error);
    EXPECT_EQ(stored.size(), 2 * kEach);
    QSet<QString> storedUserIDs;
    QSet<QString> secretKeys;
    for (const auto &connection : stored) {
        storedUserIDs.insert(connection->userID());
        const QString key = connection->tokenID() + connection->userID();
        secretKeys.insert(key);
        EXPECT_FALSE(KOVKeychain::keychain()->stringForKey(key).isNull()) << key.toStdString();
    }
    EXPECT_TRUE(storedUserIDs == userIDs) << "every imported login is stored once";
    const QStringList keys = KOVKeychain::keychain()->allKeys();
    EXPECT_EQ(keys.size(), 2 * kEach);
    EXPECT_TRUE(QSet<QString>(keys.begin(), keys.end()) == secretKeys) << "no secret without its login";
}

// A store found damaged is kept aside; the logins in the copy keep their
// secrets for as long as it is kept, and a copy that cannot be read keeps
// every secret the vault held when it was found.
TEST_F(TwoProcessesTest, ASecretStaysWhileACopyOfTheStoreKeptAsideHoldsItsLogin)
{
    struct Case {
        const char *name;
        const char *damage;
        bool copyReadable;
    };
    const Case cases[] = {
        {"a copy that can be read", "DROP TABLE KOVSubaccount; CREATE TABLE KOVSubaccount (x)", true},
        {"a copy that cannot be read", nullptr, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        freshDevice();
        const QJsonObject kept = server->issueLogin("client-1");
        const QJsonObject dropped = server->issueLogin("client-1");
        QProcess *child = spawn(QJsonArray{kept, dropped});
        const QByteArray output = finish(child);
        expectSucceeded(child, output);

        // One login's record is gone (its secret left over), then the file is damaged.
        simulateRelaunch();
        const QString store = platform::PersistentContainer::defaultStoreFile(QStringLiteral("KovaConnect"));
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(store).constData(), &db), SQLITE_OK);
        const QByteArray drop = "DELETE FROM KOVConnection WHERE userID = '" + dropped.value("userID").toString().toUtf8() + "'";
        EXPECT_EQ(sqlite3_exec(db, drop.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        if (c.damage) {
            EXPECT_EQ(sqlite3_exec(db, c.damage, nullptr, nullptr, nullptr), SQLITE_OK);
        }
        sqlite3_close(db);
        if (!c.damage) {
            QFile file(store);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QByteArray(8192, 'x'));
            file.close();
            QFile::remove(store + "-wal");
            QFile::remove(store + "-shm");
        }

        relaunchAndSweep();
        EXPECT_EQ(QDir(QFileInfo(store).path()).entryList({"KovaConnect.sqlite.damaged-*"}, QDir::Files).filter(QRegularExpression("Z$")).size(), 1);
        EXPECT_TRUE(KOVBankConnection::getConnectionsWithClientUserID("client-1").isEmpty());
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(kept)).toStdString(), kept.value("userSecret").toString().toStdString());
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(dropped)).isNull(), c.copyReadable);

        // A secret written since cannot be a login's of the copy: that of an
        // import killed during its check goes, and so do the ended writers' files.
        const QJsonObject killed = server->issueLogin("client-1");
        server->scriptAction("/metadata/accounts/get", heldMetadata());
        QProcess *importer = spawn(QJsonArray{killed});
        ASSERT_TRUE(waitUntil([&] { return server->heldCount() == 1; }, std::chrono::seconds(60)));
        importer->kill();
        finish(importer);
        server->releaseHeld();
        relaunchAndSweep();
        EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(secretKey(killed)).isNull());
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(secretKey(dropped)).isNull(), c.copyReadable);
        const QStringList writers = QDir(internal::KOVOrphanedSecrets::writersFolder()).entryList(QDir::Files);
        EXPECT_TRUE(writers.isEmpty()) << writers.join(' ').toStdString();
    }
}
