#pragma once

#include <QHash>
#include <functional>
#include <QList>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"

namespace kova::platform {

class EntityDescription;
class ManagedObjectModel;
class SqliteStore;
struct AttributeDescription;
struct RelationshipDescription;

// The one context of a container, used on the main thread only. Every
// stored object is loaded into it when the store opens (the data is small),
// so fetches run in memory: they see unsaved inserts and changes and hide
// pending deletes. save() writes all pending changes in one SQLite
// transaction; when it fails nothing is written and the changes stay
// pending for the next save.
class ManagedObjectContext {
public:
    ~ManagedObjectContext();
    ManagedObjectContext(const ManagedObjectContext &) = delete;
    ManagedObjectContext &operator=(const ManagedObjectContext &) = delete;

    std::shared_ptr<const ManagedObjectModel> managedObjectModel() const { return m_model; }

    // A new object of a concrete entity, with the model's defaults, or null
    // (logged) when the model has no such entity.
    std::shared_ptr<ManagedObject> insertNewObject(const QString &entityName);
    // Never null: when the model lacks the entity (a missing or broken model
    // resource, already logged) the object is a detached stand-in that reads
    // as empty and ignores writes, so callers need no check to stay safe.
    template <class T>
    std::shared_ptr<T> insertNewObject()
    {
        if (auto object = std::dynamic_pointer_cast<T>(insertNewObject(T::entityName())))
            return object;
        return std::make_shared<T>();
    }

    // Deletes the object at once (it leaves every fetch) and applies the
    // delete rules: cascade deletes the related objects, nullify unlinks them.
    void deleteObject(const std::shared_ptr<ManagedObject> &object);

    bool hasChanges() const;
    // In the order the objects were made.
    QList<std::shared_ptr<ManagedObject>> insertedObjects() const;
    QList<std::shared_ptr<ManagedObject>> updatedObjects() const;
    QList<std::shared_ptr<ManagedObject>> deletedObjects() const;

    bool save(Error *error = nullptr);
    // Runs `change` and saves it with whatever else is pending, in one
    // transaction. When the save fails the context is put back as it was
    // before `change` ran (the objects it made are let go, its deletions and
    // edits undone) and what was pending before stays pending.
    bool changeAndSave(const std::function<void()> &change, Error *error = nullptr);

    // A request naming an unknown entity or key path fails with an error.
    QList<std::shared_ptr<ManagedObject>> executeFetchRequest(const FetchRequest &request, Error *error = nullptr) const;
    template <class T>
    QList<std::shared_ptr<T>> fetch(const FetchRequest &request, Error *error = nullptr) const
    {
        QList<std::shared_ptr<T>> result;
        for (const auto &object : executeFetchRequest(request, error))
            if (auto typed = std::dynamic_pointer_cast<T>(object))
                result.append(std::move(typed));
        return result;
    }

    // Changes are announced on a later turn of the main queue, once for all
    // the changes made until then (as the platform processes pending changes
    // at the end of a run-loop turn): the objects inserted, changed or
    // deleted since the last announcement, each once.
    using ChangeObserver = std::function<void(const QList<std::shared_ptr<ManagedObject>> &changed)>;
    using ObserverToken = quint64;
    ObserverToken addChangeObserver(ChangeObserver observer);
    void removeChangeObserver(ObserverToken token);
    // Expires when the context goes, for holders that may outlive it.
    std::weak_ptr<void> lifetime() const { return m_alive; }

private:
    friend class ManagedObject;
    friend class PersistentContainer;

    using Index = QHash<QString, std::vector<ManagedObject *>>;
    struct Table {
        std::map<qint64, ManagedObject *> objects; // live (not deleted), by key
        std::vector<Index> indexes;                // by attribute slot; used for indexed ones
    };

    explicit ManagedObjectContext(std::shared_ptr<const ManagedObjectModel> model);
    // Lets go of every object and of the current store, then loads every
    // object of `store` (which may be null: nothing to load or save to).
    bool reload(std::unique_ptr<SqliteStore> store, Error *error);
    void detachAll();

    Table &tableOf(const EntityDescription *entity);
    const Table *findTable(const EntityDescription *entity) const;
    void addToIndexes(ManagedObject *object);
    void removeFromIndexes(ManagedObject *object);
    void index(ManagedObject *object, const AttributeDescription &attribute);
    void unindex(ManagedObject *object, const AttributeDescription &attribute);

    void changeAttribute(ManagedObject *object, const AttributeDescription &attribute, QVariant value);
    // Points `owner`'s to-one `relationship` at `target` (or nowhere) and
    // keeps every inverse side in step.
    void link(ManagedObject *owner, const RelationshipDescription &relationship, ManagedObject *target);
    bool canLink(const ManagedObject *owner, const RelationshipDescription &relationship, const ManagedObject *target) const;
    void markUpdated(ManagedObject *object);
    void deleteNow(ManagedObject *object);
    void noteChange(ManagedObject *object);
    void announceChanges();
    void rekeyInserted(qint64 largestStoredKey);

    std::shared_ptr<const ManagedObjectModel> m_model;
    std::unique_ptr<SqliteStore> m_store;
    std::unordered_map<qint64, std::shared_ptr<ManagedObject>> m_registry;
    QHash<const EntityDescription *, Table> m_tables;
    std::map<qint64, ManagedObject *> m_inserted;
    std::map<qint64, ManagedObject *> m_updated;
    std::map<qint64, ManagedObject *> m_deleted;
    qint64 m_nextKey = 1;
    bool m_loading = false;
    std::map<ObserverToken, std::shared_ptr<ChangeObserver>> m_observers;
    ObserverToken m_nextObserver = 1;
    // By object, not key: a save may give new objects other keys meanwhile.
    std::map<const ManagedObject *, std::shared_ptr<ManagedObject>> m_pendingNotice;
    bool m_noticeScheduled = false;
    std::shared_ptr<ManagedObjectContext *> m_alive;
};

} // namespace kova::platform
