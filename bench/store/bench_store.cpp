// The object store against hand-written SQL on raw SQLite, in one run:
//  - fetching the valid connections of one client user among 10,000;
//  - saving one new connection with its bank info, colour scheme and
//    placeholder sub-account.
// Both sides use the same journal (WAL) and durability (synchronous=FULL)
// settings; the raw side has its own schema with an index on the client
// user, as a hand-written one would.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVDataModel.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"
#include "core/store/KOVStoreSave.h"
#include "core/store/KOVSubaccount.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"

using namespace kova;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClientUsers = 1000;
constexpr int kConnectionsPerUser = 10; // 10,000 in all; 8 of each user's are valid
constexpr int kFetchesPerRound = 2000;
constexpr int kSavesPerRound = 25;
constexpr int kRounds = 8;

QString clientName(int i)
{
    return QStringLiteral("client-%1").arg(i, 4, 10, QLatin1Char('0'));
}

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "bench_store: %s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct RawConnection {
    qint64 id = 0;
    QDateTime createdAt, modifiedAt;
    QString accessCode, clientUserID, connectionID, tokenID, userID;
    bool isValid = false;
};

QString text(sqlite3_stmt *s, int column)
{
    if (sqlite3_column_type(s, column) != SQLITE_TEXT)
        return QString();
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, column)), sqlite3_column_bytes(s, column));
}

void bindText(sqlite3_stmt *s, int parameter, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(s, parameter, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// The hand-written side: its own schema and prepared statements.
class RawStore {
public:
    explicit RawStore(const QString &path)
    {
        check(sqlite3_open(QFile::encodeName(path).constData(), &m_db), m_db, "open");
        exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
             "CREATE TABLE connection (id INTEGER PRIMARY KEY, createdAt INTEGER, modifiedAt INTEGER, accessCode TEXT,"
             " clientUserID TEXT, connectionID TEXT, isValid INTEGER, tokenID TEXT, userID TEXT);"
             "CREATE INDEX connection_client ON connection (clientUserID);"
             "CREATE TABLE bankInfo (id INTEGER PRIMARY KEY, createdAt INTEGER, modifiedAt INTEGER, bankID TEXT, bankName TEXT,"
             " fullLogo TEXT, halfLogo TEXT, miniLogo TEXT, connection INTEGER, colorScheme INTEGER);"
             "CREATE TABLE colorScheme (id INTEGER PRIMARY KEY, createdAt INTEGER, modifiedAt INTEGER, mainColor TEXT,"
             " secondaryColor TEXT);"
             "CREATE TABLE subaccount (id INTEGER PRIMARY KEY, createdAt INTEGER, modifiedAt INTEGER, accountId TEXT, iban TEXT,"
             " number TEXT, name TEXT, type TEXT, currencyCode TEXT, currencyName TEXT, isFavourite INTEGER,"
             " isStillFetching INTEGER, sortingCreatedAt REAL, connection INTEGER);");
        prepare("SELECT id, createdAt, modifiedAt, accessCode, clientUserID, connectionID, isValid, tokenID, userID"
                " FROM connection WHERE clientUserID = ?1 AND isValid = 1 ORDER BY createdAt",
                &m_fetch);
        prepare("INSERT INTO connection (createdAt, modifiedAt, accessCode, clientUserID, connectionID, isValid, tokenID, userID)"
                " VALUES (?1, ?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                &m_insertConnection);
        prepare("INSERT INTO colorScheme (createdAt, modifiedAt, mainColor, secondaryColor) VALUES (?1, ?1, ?2, ?3)",
                &m_insertScheme);
        prepare("INSERT INTO bankInfo (createdAt, modifiedAt, bankID, bankName, fullLogo, halfLogo, miniLogo, connection,"
                " colorScheme) VALUES (?1, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
                &m_insertInfo);
        prepare("INSERT INTO subaccount (createdAt, modifiedAt, accountId, iban, number, name, type, currencyCode,"
                " currencyName, isFavourite, isStillFetching, sortingCreatedAt, connection)"
                " VALUES (?1, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, 0, 0, ?9, ?10)",
                &m_insertSubaccount);
    }

    ~RawStore()
    {
        for (sqlite3_stmt *s : {m_fetch, m_insertConnection, m_insertScheme, m_insertInfo, m_insertSubaccount})
            sqlite3_finalize(s);
        sqlite3_close(m_db);
    }

    void exec(const char *sql) { check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), m_db, sql); }

    std::vector<RawConnection> validConnections(const QString &clientUserID)
    {
        std::vector<RawConnection> result;
        bindText(m_fetch, 1, clientUserID);
        while (sqlite3_step(m_fetch) == SQLITE_ROW) {
            RawConnection c;
            c.id = sqlite3_column_int64(m_fetch, 0);
            c.createdAt = QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(m_fetch, 1), Qt::UTC);
            c.modifiedAt = QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(m_fetch, 2), Qt::UTC);
            c.accessCode = text(m_fetch, 3);
            c.clientUserID = text(m_fetch, 4);
            c.connectionID = text(m_fetch, 5);
            c.isValid = sqlite3_column_int(m_fetch, 6) != 0;
            c.tokenID = text(m_fetch, 7);
            c.userID = text(m_fetch, 8);
            result.push_back(std::move(c));
        }
        sqlite3_reset(m_fetch);
        return result;
    }

    qint64 insertConnection(qint64 now, const QString &client, const QString &user, bool valid)
    {
        sqlite3_bind_int64(m_insertConnection, 1, now);
        bindText(m_insertConnection, 2, QStringLiteral("access"));
        bindText(m_insertConnection, 3, client);
        bindText(m_insertConnection, 4, QStringLiteral("connection-") + user);
        sqlite3_bind_int(m_insertConnection, 5, valid ? 1 : 0);
        bindText(m_insertConnection, 6, QStringLiteral("token-") + user);
        bindText(m_insertConnection, 7, user);
        check(sqlite3_step(m_insertConnection), m_db, "insert connection");
        sqlite3_reset(m_insertConnection);
        return sqlite3_last_insert_rowid(m_db);
    }

    void saveNewConnection(const QString &client, const QString &user)
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        exec("BEGIN IMMEDIATE");
        const qint64 connection = insertConnection(now, client, user, true);
        sqlite3_bind_int64(m_insertScheme, 1, now);
        bindText(m_insertScheme, 2, QStringLiteral("#0044AA"));
        bindText(m_insertScheme, 3, QStringLiteral("#FFCC00"));
        check(sqlite3_step(m_insertScheme), m_db, "insert scheme");
        sqlite3_reset(m_insertScheme);
        const qint64 scheme = sqlite3_last_insert_rowid(m_db);
        sqlite3_bind_int64(m_insertInfo, 1, now);
        bindText(m_insertInfo, 2, QStringLiteral("BANKAEAD"));
        bindText(m_insertInfo, 3, QStringLiteral("Bank"));
        bindText(m_insertInfo, 4, QStringLiteral("https://logos.example/full.png"));
        bindText(m_insertInfo, 5, QStringLiteral("https://logos.example/half.png"));
        bindText(m_insertInfo, 6, QStringLiteral("https://logos.example/mini.png"));
        sqlite3_bind_int64(m_insertInfo, 7, connection);
        sqlite3_bind_int64(m_insertInfo, 8, scheme);
        check(sqlite3_step(m_insertInfo), m_db, "insert bank info");
        sqlite3_reset(m_insertInfo);
        sqlite3_bind_int64(m_insertSubaccount, 1, now);
        bindText(m_insertSubaccount, 2, QStringLiteral("123456789"));
        bindText(m_insertSubaccount, 3, QStringLiteral("Iban123456789"));
        bindText(m_insertSubaccount, 4, QStringLiteral("123456789"));
        bindText(m_insertSubaccount, 5, QStringLiteral("Demo"));
        bindText(m_insertSubaccount, 6, QStringLiteral("Demo"));
        bindText(m_insertSubaccount, 7, QStringLiteral("KOV"));
        bindText(m_insertSubaccount, 8, QStringLiteral("KovaCurrency"));
        sqlite3_bind_double(m_insertSubaccount, 9, now / 1000.0);
        sqlite3_bind_int64(m_insertSubaccount, 10, connection);
        check(sqlite3_step(m_insertSubaccount), m_db, "insert sub-account");
        sqlite3_reset(m_insertSubaccount);
        exec("COMMIT");
    }

private:
    void prepare(const char *sql, sqlite3_stmt **statement)
    {
        check(sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr), m_db, sql);
    }

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_fetch = nullptr;
    sqlite3_stmt *m_insertConnection = nullptr;
    sqlite3_stmt *m_insertScheme = nullptr;
    sqlite3_stmt *m_insertInfo = nullptr;
    sqlite3_stmt *m_insertSubaccount = nullptr;
};

// The store side, written the way the SDK's connect road writes.
void saveNewConnection(platform::ManagedObjectContext &context, const QString &client, const QString &user)
{
    auto connection = context.insertNewObject<KOVConnection>();
    connection->setAccessCode(QStringLiteral("access"));
    connection->setConnectionID(QStringLiteral("connection-") + user);
    connection->setUserID(user);
    connection->setTokenID(QStringLiteral("token-") + user);
    connection->setClientUserID(client);
    auto info = context.insertNewObject<KOVBankInfo>();
    info->setBankID(QStringLiteral("BANKAEAD"));
    info->setBankName(QStringLiteral("Bank"));
    info->setFullLogo(QStringLiteral("https://logos.example/full.png"));
    info->setHalfLogo(QStringLiteral("https://logos.example/half.png"));
    info->setMiniLogo(QStringLiteral("https://logos.example/mini.png"));
    connection->setBankInfo(info);
    auto scheme = context.insertNewObject<KOVFinancialInstitutionColorScheme>();
    scheme->setMainColor(QStringLiteral("#0044AA"));
    scheme->setSecondaryColor(QStringLiteral("#FFCC00"));
    info->setColorScheme(scheme);
    auto placeholder = context.insertNewObject<KOVSubaccount>();
    placeholder->setAccountId(QStringLiteral("123456789"));
    placeholder->setIban(QStringLiteral("Iban123456789"));
    placeholder->setType(QStringLiteral("Demo"));
    placeholder->setNumber(QStringLiteral("123456789"));
    placeholder->setName(QStringLiteral("Demo"));
    placeholder->setSortingCreatedAt(connection->createdAt().toMSecsSinceEpoch() / 1000.0);
    placeholder->setCurrencyCode(QStringLiteral("KOV"));
    placeholder->setCurrencyName(QStringLiteral("KovaCurrency"));
    connection->addSubaccountsObject(placeholder);
    platform::Error error;
    if (!saveContextStamping(context, &error)) {
        std::fprintf(stderr, "bench_store: save failed: %s\n", qPrintable(error.localizedDescription()));
        std::exit(1);
    }
}

template <class Work>
double microsecondsPer(int count, Work &&work)
{
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        work(i);
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / count;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    platform::ProcessInfo::setDataDirectoryOverride(dir.filePath("data"));

    platform::PersistentContainer container(QStringLiteral("KovaConnect"), loadKovaConnectModel());
    container.setStoreFile(dir.filePath("store.sqlite"));
    if (!container.loadPersistentStores())
        return 1;
    RawStore raw(dir.filePath("raw.sqlite"));

    // The same 10,000 connections on both sides, oldest first per user.
    {
        platform::ManagedObjectContext &context = container.viewContext();
        raw.exec("BEGIN");
        const qint64 base = QDateTime::currentMSecsSinceEpoch() - 86400000;
        for (int n = 0; n < kConnectionsPerUser; ++n) {
            for (int u = 0; u < kClientUsers; ++u) {
                const QString client = clientName(u);
                const QString user = QStringLiteral("user-%1-%2").arg(u).arg(n);
                const bool valid = n % 5 != 4;
                const qint64 created = base + qint64(n) * kClientUsers + u;
                auto c = context.insertNewObject<KOVConnection>();
                c->setCreatedAt(QDateTime::fromMSecsSinceEpoch(created, Qt::UTC));
                c->setModifiedAt(c->createdAt());
                c->setAccessCode(QStringLiteral("access"));
                c->setClientUserID(client);
                c->setConnectionID(QStringLiteral("connection-") + user);
                c->setTokenID(QStringLiteral("token-") + user);
                c->setUserID(user);
                c->setIsValid(valid);
                raw.insertConnection(created, client, user, valid);
            }
        }
        raw.exec("COMMIT");
        if (!context.save())
            return 1;
    }
    const auto loadStart = Clock::now();
    if (!container.loadPersistentStores())
        return 1;
    const double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();
    platform::ManagedObjectContext &context = container.viewContext();

    // Both sides must find the same rows.
    for (int u : {0, 417, kClientUsers - 1}) {
        const auto ours = context.fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID(QString(), clientName(u), true));
        const auto theirs = raw.validConnections(clientName(u));
        if (ours.size() != qsizetype(theirs.size()) || ours.size() != 8) {
            std::fprintf(stderr, "bench_store: the two sides disagree (%lld vs %zu)\n", qint64(ours.size()), theirs.size());
            return 1;
        }
        for (size_t i = 0; i < theirs.size(); ++i)
            if (ours[qsizetype(i)]->userID() != theirs[i].userID)
                return 1;
    }

    std::vector<double> fetchStore, fetchRaw, saveStore, saveRaw;
    volatile qsizetype sink = 0;
    int saved = 0;
    for (int round = 0; round < kRounds; ++round) {
        fetchRaw.push_back(microsecondsPer(kFetchesPerRound, [&](int i) {
            const auto rows = raw.validConnections(clientName((i * 7919 + round) % kClientUsers));
            sink = sink + qsizetype(rows.size()) + rows.front().userID.size();
        }));
        fetchStore.push_back(microsecondsPer(kFetchesPerRound, [&](int i) {
            const auto rows = context.fetch<KOVConnection>(
                KOVConnection::fetchRequestWithUserID(QString(), clientName((i * 7919 + round) % kClientUsers), true));
            sink = sink + rows.size() + rows.front()->userID().size();
        }));
        saveRaw.push_back(microsecondsPer(kSavesPerRound, [&](int) {
            raw.saveNewConnection(QStringLiteral("client-new"), QStringLiteral("new-%1").arg(saved++));
        }));
        saveStore.push_back(microsecondsPer(kSavesPerRound, [&](int) {
            saveNewConnection(context, QStringLiteral("client-new"), QStringLiteral("new-%1").arg(saved++));
        }));
    }

    const double fs = median(fetchStore), fr = median(fetchRaw), ss = median(saveStore), sr = median(saveRaw);
    std::printf("bench_store: %d stored connections, %d client users; the store loads them in %.1f ms\n",
                kClientUsers * kConnectionsPerUser, kClientUsers, loadMs);
    std::printf("fetch the valid connections of one client user: store %.2f us, raw SQL %.2f us, ratio %.2f (goal <= 2)\n",
                fs, fr, fs / fr);
    std::printf("save a new connection with bank info, colour scheme and placeholder: store %.1f us, raw SQL %.1f us, "
                "ratio %.2f (goal <= 1.5)\n",
                ss, sr, ss / sr);
    return 0;
}
