#include "platform/store/SqliteStore.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/PrivateDirectory.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/StoreErrors.h"

namespace kova::platform {
namespace {

// Long enough to ride out another connection's short write, short enough
// that the main thread is never held for long.
constexpr int kBusyTimeoutMs = 2000;

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

QString columnType(AttributeType type)
{
    switch (type) {
    case AttributeType::String:
        return QStringLiteral("TEXT");
    case AttributeType::Binary:
        return QStringLiteral("BLOB");
    case AttributeType::Double:
        return QStringLiteral("REAL");
    case AttributeType::Date:
    case AttributeType::Boolean:
    case AttributeType::Integer:
        return QStringLiteral("INTEGER");
    }
    return QStringLiteral("BLOB");
}

// Every column of an entity's table but the key, as (name, type), in the
// order rows are read and written: attributes, then link keys.
QList<std::pair<QString, QString>> columnsOf(const EntityDescription &entity)
{
    QList<std::pair<QString, QString>> columns;
    for (const AttributeDescription &a : entity.attributes())
        columns.append({a.name, columnType(a.type)});
    for (const RelationshipDescription &r : entity.relationships())
        if (r.storesKey)
            columns.append({r.name, QStringLiteral("INTEGER")});
    return columns;
}

// 2^63 is exactly representable; anything at or beyond it would overflow.
bool fitsInt64(double d)
{
    return std::isfinite(d) && d < 9223372036854775808.0 && d >= -9223372036854775808.0;
}

QVariant readColumn(sqlite3_stmt *statement, int column, AttributeType type)
{
    const int storage = sqlite3_column_type(statement, column);
    switch (type) {
    case AttributeType::String:
        if (storage != SQLITE_TEXT)
            return QVariant();
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    case AttributeType::Binary: {
        if (storage != SQLITE_BLOB)
            return QVariant();
        const void *blob = sqlite3_column_blob(statement, column);
        const int bytes = sqlite3_column_bytes(statement, column);
        return QByteArray(blob ? static_cast<const char *>(blob) : "", bytes);
    }
    case AttributeType::Date: {
        qint64 ms = 0;
        if (storage == SQLITE_INTEGER) {
            ms = sqlite3_column_int64(statement, column);
        } else if (storage == SQLITE_FLOAT) {
            const double d = std::round(sqlite3_column_double(statement, column));
            if (!fitsInt64(d))
                return QVariant();
            ms = qint64(d);
        } else {
            return QVariant();
        }
        const QDateTime date = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    case AttributeType::Boolean:
        if (storage == SQLITE_INTEGER)
            return QVariant(sqlite3_column_int64(statement, column) != 0);
        if (storage == SQLITE_FLOAT)
            return QVariant(sqlite3_column_double(statement, column) != 0.0);
        return QVariant();
    case AttributeType::Double:
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
            return QVariant(sqlite3_column_double(statement, column));
        return QVariant();
    case AttributeType::Integer:
        if (storage == SQLITE_INTEGER)
            return QVariant(qint64(sqlite3_column_int64(statement, column)));
        if (storage == SQLITE_FLOAT) {
            const double d = std::trunc(sqlite3_column_double(statement, column));
            return fitsInt64(d) ? QVariant(qint64(d)) : QVariant();
        }
        return QVariant();
    }
    return QVariant();
}

// Leaves a cached statement ready for its next use, whatever happened.
struct StatementReset {
    sqlite3_stmt *statement;
    ~StatementReset()
    {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
};

} // namespace

SqliteStore::SqliteStore(sqlite3 *db, QString path) : m_db(db), m_path(std::move(path)) {}

SqliteStore::~SqliteStore()
{
    for (const Statements &s : std::as_const(m_statements)) {
        sqlite3_finalize(s.insert);
        sqlite3_finalize(s.update);
        sqlite3_finalize(s.remove);
    }
    for (sqlite3_stmt *kept : {m_begin, m_commit, m_largestKey})
        sqlite3_finalize(kept);
    sqlite3_close_v2(m_db);
}

Error SqliteStore::sqliteError(qint64 code, const QString &what) const
{
    Error error = Error::withDescription(NSCocoaErrorDomain, code,
                                         QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db))));
    error.userInfo.insert(StoreErrors::SQLiteErrorKey, sqlite3_extended_errcode(m_db));
    return error;
}

std::unique_ptr<SqliteStore> SqliteStore::open(const QString &path, const ManagedObjectModel &model, Error *error)
{
    auto fail = [&](const QString &message) {
        if (error)
            *error = Error::withDescription(NSCocoaErrorDomain, StoreErrors::PersistentStoreOpen, message);
        return nullptr;
    };
    QByteArray target = QByteArrayLiteral(":memory:");
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (!makePrivateDirectory(info.absolutePath()))
            return fail(QStringLiteral("The folder of the store \"%1\" cannot be created.").arg(path));
        target = QFile::encodeName(info.absoluteFilePath());
        // Made private before SQLite ever writes to it; its journal files
        // take the same mode.
        const int fd = ::open(target.constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0)
            return fail(QStringLiteral("The store \"%1\" cannot be opened: %2.")
                            .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        ::fchmod(fd, 0600);
        ::close(fd);
    }

    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(target.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        return fail(QStringLiteral("The store \"%1\" cannot be opened: %2.").arg(path, message));
    }
    std::unique_ptr<SqliteStore> store(new SqliteStore(db, path));
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);

    Error failure;
    if (!path.isEmpty()) {
        // A file that is not a database shows itself at the first statement.
        if (!store->switchToWriteAheadLog(&failure)
            // Under WAL a commit is in the log, in the system's page cache,
            // before it returns: it survives the process being killed at any
            // point, and the database stays whole across a power cut (the log
            // is synced at every checkpoint). Only the last commits before a
            // power cut can be lost, which syncing the log on every commit
            // would add a disk flush to each save to prevent. The keychain,
            // written before a record that needs it, still syncs every write,
            // so a record that survives always finds its secret.
            || !store->exec(QStringLiteral("PRAGMA synchronous=NORMAL"), &failure, StoreErrors::PersistentStoreOpen)
            // Deleted rows are overwritten, not left readable in free pages.
            || !store->exec(QStringLiteral("PRAGMA secure_delete=ON"), &failure, StoreErrors::PersistentStoreOpen)) {
            if (error)
                *error = failure;
            return nullptr;
        }
    }
    if (!store->prepareSchema(model, &failure)) {
        if (error)
            *error = failure;
        return nullptr;
    }
    return store;
}

std::unique_ptr<SqliteStore> SqliteStore::openReadOnly(const QString &path, Error *error)
{
    sqlite3 *db = nullptr;
    const QByteArray target = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const int rc = sqlite3_open_v2(target.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        if (error)
            *error = Error::withDescription(NSCocoaErrorDomain, StoreErrors::PersistentStoreOpen,
                                            QStringLiteral("The store \"%1\" cannot be opened: %2.").arg(path, message));
        return nullptr;
    }
    std::unique_ptr<SqliteStore> store(new SqliteStore(db, path));
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    return store;
}

bool SqliteStore::exec(const QString &sql, Error *error, qint64 code)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc == SQLITE_OK)
        return true;
    if (error)
        *error = sqliteError(code, QStringLiteral("The store cannot run \"%1\"").arg(sql));
    return false;
}

bool SqliteStore::execKept(sqlite3_stmt **slot, const char *sql, Error *error, qint64 code)
{
    // Compiling costs more than running these: every save pays for both.
    const bool ok = (*slot || sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, slot, nullptr) == SQLITE_OK)
        && sqlite3_step(*slot) == SQLITE_DONE;
    // Described before the reset, which keeps the code but may change the text.
    if (!ok && error)
        *error = sqliteError(code, QStringLiteral("The store cannot run \"%1\"").arg(QLatin1String(sql)));
    if (*slot)
        sqlite3_reset(*slot);
    return ok;
}

bool SqliteStore::switchToWriteAheadLog(Error *error)
{
    // Two connections that open a new file at once may both hold a read
    // lock while each needs the file to itself to change its journal: SQLite
    // answers one of them "busy" at once, without waiting, since neither
    // could get further by waiting. The other finishes the switch, so
    // asking again, briefly, succeeds.
    const QDeadlineTimer deadline(kBusyTimeoutMs);
    for (int pause = 1;; pause = std::min(pause * 2, 50)) {
        if (exec(QStringLiteral("PRAGMA journal_mode=WAL"), error, StoreErrors::PersistentStoreOpen))
            return true;
        const int rc = sqlite3_errcode(m_db) & 0xff;
        if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || deadline.hasExpired())
            return false;
        sqlite3_sleep(pause);
    }
}

bool SqliteStore::prepareSchema(const ManagedObjectModel &model, Error *error)
{
    const qint64 code = StoreErrors::PersistentStoreOpen;
    // The file is inspected and brought up to date in one write transaction,
    // so that two processes opening a new file at once do not both try to
    // create its tables.
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"), error, code))
        return false;
    struct Transaction {
        SqliteStore *store;
        bool open = true;
        ~Transaction()
        {
            if (open)
                store->exec(QStringLiteral("ROLLBACK"), nullptr, StoreErrors::PersistentStoreOpen);
        }
    } transaction{this};
    auto queryInt = [&](const QString &sql, qint64 *out) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
            if (error)
                *error = sqliteError(code, QStringLiteral("The store cannot be read"));
            return false;
        }
        const int rc = sqlite3_step(statement);
        *out = rc == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
        sqlite3_finalize(statement);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            if (error)
                *error = sqliteError(code, QStringLiteral("The store cannot be read"));
            return false;
        }
        return true;
    };

    qint64 version = 0;
    if (!queryInt(QStringLiteral("PRAGMA user_version"), &version))
        return false;
    if (version > model.version()) {
        if (error)
            *error = Error::withDescription(
                NSCocoaErrorDomain, StoreErrors::PersistentStoreIncompatibleVersion,
                QStringLiteral("The store was written by a newer data model (version %1; this one is %2).")
                    .arg(version)
                    .arg(model.version()));
        return false;
    }

    QStringList changes;
    for (const EntityDescription *entity : model.entities()) {
        if (entity->isAbstract())
            continue;
        m_tables.append(entity->name());
        const auto columns = columnsOf(*entity);
        QSet<QString> existing;
        sqlite3_stmt *info = nullptr;
        const QString infoSql = QStringLiteral("PRAGMA table_info(%1)").arg(quoted(entity->name()));
        if (sqlite3_prepare_v2(m_db, infoSql.toUtf8().constData(), -1, &info, nullptr) != SQLITE_OK) {
            if (error)
                *error = sqliteError(code, QStringLiteral("The store cannot be read"));
            return false;
        }
        int rc;
        while ((rc = sqlite3_step(info)) == SQLITE_ROW)
            existing.insert(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info, 1))));
        sqlite3_finalize(info);
        if (rc != SQLITE_DONE) {
            if (error)
                *error = sqliteError(code, QStringLiteral("The store cannot be read"));
            return false;
        }
        if (existing.isEmpty()) {
            QStringList definitions{QStringLiteral("\"Z_PK\" INTEGER PRIMARY KEY")};
            for (const auto &[name, type] : columns)
                definitions.append(quoted(name) + QLatin1Char(' ') + type);
            changes.append(QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(entity->name()), definitions.join(QStringLiteral(", "))));
            continue;
        }
        if (!existing.contains(QStringLiteral("Z_PK"))) {
            // Damage like a bad header: the container sets such a file aside.
            if (error)
                *error = Error::withDescription(NSCocoaErrorDomain, StoreErrors::FileReadCorruptFile,
                                                QStringLiteral("The table %1 of the store is not one of ours.").arg(entity->name()));
            return false;
        }
        for (const auto &[name, type] : columns)
            if (!existing.contains(name))
                changes.append(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3").arg(quoted(entity->name()), quoted(name), type));
    }
    if (!changes.isEmpty() || version != model.version())
        changes.append(QStringLiteral("PRAGMA user_version = %1").arg(model.version()));
    for (const QString &sql : std::as_const(changes))
        if (!exec(sql, error, code))
            return false;
    if (!exec(QStringLiteral("COMMIT"), error, code))
        return false;
    transaction.open = false;
    return true;
}

bool SqliteStore::loadRows(const EntityDescription &entity, const std::function<void(Row &&)> &sink, Error *error)
{
    const qint64 code = StoreErrors::PersistentStoreOpen;
    QStringList names{QStringLiteral("\"Z_PK\"")};
    for (const auto &[name, type] : columnsOf(entity))
        names.append(quoted(name));
    const QString sql = QStringLiteral("SELECT %1 FROM %2").arg(names.join(QStringLiteral(", ")), quoted(entity.name()));
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        if (error)
            *error = sqliteError(code, QStringLiteral("The store cannot be read"));
        return false;
    }
    const auto &attributes = entity.attributes();
    const auto &relationships = entity.relationships();
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        Row row;
        row.primaryKey = sqlite3_column_int64(statement, 0);
        row.values.resize(attributes.size());
        row.linkKeys.assign(relationships.size(), 0);
        int column = 1;
        for (size_t i = 0; i < attributes.size(); ++i)
            row.values[i] = readColumn(statement, column++, attributes[i].type);
        for (size_t i = 0; i < relationships.size(); ++i) {
            if (!relationships[i].storesKey)
                continue;
            if (sqlite3_column_type(statement, column) == SQLITE_INTEGER)
                row.linkKeys[i] = sqlite3_column_int64(statement, column);
            ++column;
        }
        sink(std::move(row));
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) {
        if (error)
            *error = sqliteError(code, QStringLiteral("The store cannot be read"));
        return false;
    }
    return true;
}

SqliteStore::Statements *SqliteStore::statementsFor(const EntityDescription &entity, Error *error)
{
    auto it = m_statements.find(&entity);
    if (it != m_statements.end())
        return &*it;
    const qint64 code = StoreErrors::PersistentStoreSave;
    const QString table = quoted(entity.name());
    QStringList names{QStringLiteral("\"Z_PK\"")};
    QStringList placeholders{QStringLiteral("?")};
    QStringList assignments;
    for (const auto &[name, type] : columnsOf(entity)) {
        names.append(quoted(name));
        placeholders.append(QStringLiteral("?"));
        assignments.append(quoted(name) + QStringLiteral(" = ?"));
    }
    Statements s;
    auto prepare = [&](const QString &sql, sqlite3_stmt **out) {
        return sqlite3_prepare_v3(m_db, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, out, nullptr) == SQLITE_OK;
    };
    bool ok = prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(table, names.join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", "))),
                      &s.insert)
              && prepare(QStringLiteral("DELETE FROM %1 WHERE \"Z_PK\" = ?").arg(table), &s.remove);
    if (ok && !assignments.isEmpty())
        ok = prepare(QStringLiteral("UPDATE %1 SET %2 WHERE \"Z_PK\" = ?").arg(table, assignments.join(QStringLiteral(", "))),
                     &s.update);
    if (!ok) {
        if (error)
            *error = sqliteError(code, QStringLiteral("The store cannot save %1").arg(entity.name()));
        sqlite3_finalize(s.insert);
        sqlite3_finalize(s.update);
        sqlite3_finalize(s.remove);
        return nullptr;
    }
    return &*m_statements.insert(&entity, s);
}

bool SqliteStore::bindRow(sqlite3_stmt *statement, const ManagedObject &object, int parameter, Error *error)
{
    const auto &attributes = object.m_entity->attributes();
    int rc = SQLITE_OK;
    for (size_t i = 0; i < attributes.size() && rc == SQLITE_OK; ++i, ++parameter) {
        const QVariant &value = object.m_values[i];
        if (!value.isValid()) {
            rc = sqlite3_bind_null(statement, parameter);
            continue;
        }
        switch (attributes[i].type) {
        case AttributeType::String: {
            const QByteArray utf8 = value.toString().toUtf8();
            rc = sqlite3_bind_text64(statement, parameter, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
            break;
        }
        case AttributeType::Binary: {
            const QByteArray bytes = value.toByteArray();
            rc = bytes.isEmpty() ? sqlite3_bind_zeroblob(statement, parameter, 0)
                                 : sqlite3_bind_blob64(statement, parameter, bytes.constData(),
                                                       sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        case AttributeType::Date:
            rc = sqlite3_bind_int64(statement, parameter, value.toDateTime().toMSecsSinceEpoch());
            break;
        case AttributeType::Boolean:
            rc = sqlite3_bind_int(statement, parameter, value.toBool() ? 1 : 0);
            break;
        case AttributeType::Double:
            rc = sqlite3_bind_double(statement, parameter, value.toDouble());
            break;
        case AttributeType::Integer:
            rc = sqlite3_bind_int64(statement, parameter, value.toLongLong());
            break;
        }
    }
    const auto &relationships = object.m_entity->relationships();
    for (size_t i = 0; i < relationships.size() && rc == SQLITE_OK; ++i) {
        if (!relationships[i].storesKey)
            continue;
        const ManagedObject *target = object.m_links[i].one;
        rc = target ? sqlite3_bind_int64(statement, parameter, target->m_id) : sqlite3_bind_null(statement, parameter);
        ++parameter;
    }
    if (rc != SQLITE_OK) {
        if (error)
            *error = sqliteError(StoreErrors::PersistentStoreSave, QStringLiteral("The store cannot save %1").arg(object.m_entity->name()));
        return false;
    }
    return true;
}

bool SqliteStore::step(sqlite3_stmt *statement, Error *error)
{
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE || rc == SQLITE_ROW)
        return true;
    if (error)
        *error = sqliteError(StoreErrors::PersistentStoreSave, QStringLiteral("The store cannot be saved"));
    return false;
}

bool SqliteStore::write(const std::vector<const ManagedObject *> &deleted, const std::vector<const ManagedObject *> &inserted,
                        const std::vector<const ManagedObject *> &updated, const KeyAllocator &allocateKeys, Error *error)
{
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        int rc = SQLITE_OK;
        if (writeOnce(deleted, inserted, updated, allocateKeys, &rc, error))
            return true;
        const bool contended = (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED
            || rc == SQLITE_CONSTRAINT_PRIMARYKEY;
        if (!contended || attempt == kAttempts)
            return false;
    }
}

qint64 SqliteStore::largestStoredKey(bool *ok)
{
    // One statement over every table, compiled once: a save that inserts
    // asks this each time.
    if (!m_largestKey) {
        QStringList parts;
        for (const QString &table : std::as_const(m_tables))
            parts.append(QStringLiteral("SELECT max(\"Z_PK\") AS k FROM %1").arg(quoted(table)));
        const QByteArray sql = QStringLiteral("SELECT max(k) FROM (%1)").arg(parts.join(QStringLiteral(" UNION ALL "))).toUtf8();
        if (m_tables.isEmpty()
            || sqlite3_prepare_v3(m_db, sql.constData(), -1, SQLITE_PREPARE_PERSISTENT, &m_largestKey, nullptr) != SQLITE_OK) {
            *ok = m_tables.isEmpty();
            return 0;
        }
    }
    qint64 largest = 0;
    const int rc = sqlite3_step(m_largestKey);
    if (rc == SQLITE_ROW)
        largest = sqlite3_column_int64(m_largestKey, 0);
    sqlite3_reset(m_largestKey);
    *ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    return largest;
}

bool SqliteStore::writeOnce(const std::vector<const ManagedObject *> &deleted,
                            const std::vector<const ManagedObject *> &inserted,
                            const std::vector<const ManagedObject *> &updated, const KeyAllocator &allocateKeys,
                            int *failedCode, Error *error)
{
    const qint64 code = StoreErrors::PersistentStoreSave;
    if (!execKept(&m_begin, "BEGIN IMMEDIATE", error, code)) {
        *failedCode = sqlite3_extended_errcode(m_db);
        return false;
    }
    // The code of the statement that failed, taken before the rollback
    // replaces it: the caller tells contention from a real failure by it.
    auto rollBack = [&] {
        *failedCode = sqlite3_extended_errcode(m_db);
        exec(QStringLiteral("ROLLBACK"), nullptr, code);
        return false;
    };
    if (!inserted.empty() && allocateKeys) {
        bool ok = false;
        const qint64 largest = largestStoredKey(&ok);
        if (!ok) {
            if (error)
                *error = sqliteError(code, QStringLiteral("The store cannot be saved"));
            return rollBack();
        }
        allocateKeys(largest);
    }
    auto insertRow = [&](const ManagedObject *object) {
        Statements *s = statementsFor(*object->m_entity, error);
        if (!s)
            return false;
        StatementReset reset{s->insert};
        return sqlite3_bind_int64(s->insert, 1, object->m_id) == SQLITE_OK && bindRow(s->insert, *object, 2, error)
               && step(s->insert, error);
    };
    bool ok = true;
    for (const ManagedObject *object : deleted) {
        Statements *s = statementsFor(*object->m_entity, error);
        if (!s) {
            ok = false;
            break;
        }
        StatementReset reset{s->remove};
        if (sqlite3_bind_int64(s->remove, 1, object->m_id) != SQLITE_OK || !step(s->remove, error)) {
            ok = false;
            break;
        }
    }
    for (size_t i = 0; ok && i < inserted.size(); ++i)
        ok = insertRow(inserted[i]);
    for (size_t i = 0; ok && i < updated.size(); ++i) {
        const ManagedObject *object = updated[i];
        Statements *s = statementsFor(*object->m_entity, error);
        if (!s) {
            ok = false;
            break;
        }
        if (!s->update)
            continue;
        {
            StatementReset reset{s->update};
            const int last = int(sqlite3_bind_parameter_count(s->update));
            ok = bindRow(s->update, *object, 1, error) && sqlite3_bind_int64(s->update, last, object->m_id) == SQLITE_OK
                 && step(s->update, error);
        }
        // A row that vanished from the file under us is written again, so
        // what the context holds is what the store holds.
        if (ok && sqlite3_changes(m_db) == 0)
            ok = insertRow(object);
    }
    if (ok && execKept(&m_commit, "COMMIT", error, code))
        return true;
    return rollBack();
}

} // namespace kova::platform
