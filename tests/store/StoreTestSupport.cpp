#include "tests/store/StoreTestSupport.h"

#include <QFile>
#include <sqlite3.h>

#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"

namespace kova::test {

std::shared_ptr<platform::ManagedObject> insertOwner(platform::ManagedObjectContext &context, const QString &name)
{
    auto object = context.insertNewObject("Owner");
    object->setText("name", name);
    return object;
}

std::shared_ptr<platform::ManagedObject> insertItem(platform::ManagedObjectContext &context, const QString &title,
                                                    const std::shared_ptr<platform::ManagedObject> &owner)
{
    auto object = context.insertNewObject("Item");
    object->setText("title", title);
    owner->addToMany("items", object);
    return object;
}

std::shared_ptr<platform::ManagedObjectModel> testModel(int version)
{
    const QString itemExtra = version > 1 ? QStringLiteral(R"(, {"name": "extra", "type": "string"})") : QString();
    const QString json = QStringLiteral(R"({
      "name": "Test", "version": %1, "entities": [
        {"name": "Base", "abstract": true, "attributes": [{"name": "createdAt", "type": "date"}]},
        {"name": "Owner", "parent": "Base",
         "attributes": [
           {"name": "name", "type": "string", "indexed": true},
           {"name": "note", "type": "string"},
           {"name": "active", "type": "boolean", "optional": false, "default": true},
           {"name": "score", "type": "double", "optional": false},
           {"name": "amount", "type": "double"},
           {"name": "count", "type": "integer"},
           {"name": "flag", "type": "boolean"},
           {"name": "blob", "type": "binary"}],
         "relationships": [
           {"name": "profile", "destination": "Profile", "inverse": "owner", "deleteRule": "cascade"},
           {"name": "items", "destination": "Item", "inverse": "owner", "toMany": true, "deleteRule": "cascade"}]},
        {"name": "Profile", "parent": "Base",
         "attributes": [{"name": "color", "type": "string"}],
         "relationships": [{"name": "owner", "destination": "Owner", "inverse": "profile"}]},
        {"name": "Item", "parent": "Base",
         "attributes": [{"name": "title", "type": "string", "indexed": true}, {"name": "rank", "type": "integer"}%2],
         "relationships": [{"name": "owner", "destination": "Owner", "inverse": "items"}]}
      ]})")
                             .arg(version)
                             .arg(itemExtra);
    platform::Error error;
    auto model = platform::ManagedObjectModel::fromJson(json.toUtf8(), &error);
    if (!model)
        qFatal("The test model is broken: %s", qPrintable(error.localizedDescription()));
    return model;
}

} // namespace kova::test

namespace kova::test::sqlite {

bool exec(const QString &file, const QString &sql, QString *message)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        if (message)
            *message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close_v2(db);
        return false;
    }
    char *error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK && message)
        *message = QString::fromUtf8(error ? error : sqlite3_errstr(rc));
    sqlite3_free(error);
    sqlite3_close_v2(db);
    return rc == SQLITE_OK;
}

QVariant scalar(const QString &file, const QString &sql)
{
    sqlite3 *db = nullptr;
    QVariant result;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW) {
            switch (sqlite3_column_type(statement, 0)) {
            case SQLITE_INTEGER:
                result = qint64(sqlite3_column_int64(statement, 0));
                break;
            case SQLITE_FLOAT:
                result = sqlite3_column_double(statement, 0);
                break;
            case SQLITE_TEXT:
                result = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
                break;
            case SQLITE_BLOB:
                result = QByteArray(static_cast<const char *>(sqlite3_column_blob(statement, 0)),
                                    sqlite3_column_bytes(statement, 0));
                break;
            default:
                break;
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close_v2(db);
    return result;
}

} // namespace kova::test::sqlite
