#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/Error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kova::platform {

class EntityDescription;
class ManagedObject;
class ManagedObjectModel;

// The SQLite file behind a context: one table per concrete entity, named
// after it, with the primary key "Z_PK", a column per attribute and one per
// to-one relationship that keeps the key of its link. The model's version is
// the file's `PRAGMA user_version`; an older file gains the tables and
// columns it lacks, a newer one is refused.
class SqliteStore {
public:
    struct Row {
        qint64 primaryKey = 0;
        std::vector<QVariant> values;     // by attribute slot, already typed
        std::vector<qint64> linkKeys;     // by relationship slot, 0 = none
    };

    // An empty path opens a store that lives in memory only.
    static std::unique_ptr<SqliteStore> open(const QString &path, const ManagedObjectModel &model, Error *error);
    // A file opened for reading its rows only: nothing in it (schema, journal
    // mode) is changed, so a copy kept for recovery stays as it was kept.
    static std::unique_ptr<SqliteStore> openReadOnly(const QString &path, Error *error);
    ~SqliteStore();
    SqliteStore(const SqliteStore &) = delete;
    SqliteStore &operator=(const SqliteStore &) = delete;

    bool isInMemory() const { return m_path.isEmpty(); }
    const QString &path() const { return m_path; }

    // Every row of a concrete entity. A stored value of the wrong type reads
    // as empty.
    bool loadRows(const EntityDescription &entity, const std::function<void(Row &&)> &sink, Error *error);

    // Called inside the write transaction with the largest key any table of
    // the file holds, so that new rows take keys above it: another process
    // may have added rows since this one loaded the file.
    using KeyAllocator = std::function<void(qint64 largestStoredKey)>;

    // One transaction: all of it or nothing. A transaction that meets
    // another process's (busy past the time-out, or a key taken meanwhile)
    // is rolled back and tried again with keys allocated afresh.
    bool write(const std::vector<const ManagedObject *> &deleted, const std::vector<const ManagedObject *> &inserted,
               const std::vector<const ManagedObject *> &updated, const KeyAllocator &allocateKeys, Error *error);

private:
    struct Statements {
        sqlite3_stmt *insert = nullptr;
        sqlite3_stmt *update = nullptr;
        sqlite3_stmt *remove = nullptr;
    };

    SqliteStore(sqlite3 *db, QString path);
    bool exec(const QString &sql, Error *error, qint64 code);
    // Runs a statement of the transaction's own (begin, commit), compiled
    // once and kept in `slot`.
    bool execKept(sqlite3_stmt **slot, const char *sql, Error *error, qint64 code);
    bool switchToWriteAheadLog(Error *error);
    bool writeOnce(const std::vector<const ManagedObject *> &deleted, const std::vector<const ManagedObject *> &inserted,
                   const std::vector<const ManagedObject *> &updated, const KeyAllocator &allocateKeys,
                   int *failedCode, Error *error);
    qint64 largestStoredKey(bool *ok);
    bool prepareSchema(const ManagedObjectModel &model, Error *error);
    Statements *statementsFor(const EntityDescription &entity, Error *error);
    bool bindRow(sqlite3_stmt *statement, const ManagedObject &object, int firstParameter, Error *error);
    bool step(sqlite3_stmt *statement, Error *error);
    Error sqliteError(qint64 code, const QString &what) const;

    sqlite3 *m_db = nullptr;
    QString m_path;
    QHash<const EntityDescription *, Statements> m_statements;
    QStringList m_tables;
    sqlite3_stmt *m_begin = nullptr;
    sqlite3_stmt *m_commit = nullptr;
    sqlite3_stmt *m_largestKey = nullptr;
};

} // namespace kova::platform
