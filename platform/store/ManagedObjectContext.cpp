#include "platform/store/ManagedObjectContext.h"

#include <algorithm>
#include <limits>

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Log.h"
#include "platform/store/AttributeValue.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/SqliteStore.h"
#include "platform/store/StoreErrors.h"

namespace kova::platform {
namespace {

// A key path resolved against the model: to-one hops, then an attribute.
struct Path {
    std::vector<const RelationshipDescription *> hops;
    const AttributeDescription *attribute = nullptr;
};

bool compilePath(const EntityDescription *entity, const QString &keyPath, Path &path)
{
    const QStringList parts = keyPath.split(QLatin1Char('.'));
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const RelationshipDescription *hop = entity->relationship(parts[i]);
        if (!hop || hop->toMany)
            return false;
        path.hops.push_back(hop);
        entity = hop->destination;
    }
    path.attribute = entity->attribute(parts.last());
    return path.attribute != nullptr;
}

} // namespace

ManagedObjectContext::ManagedObjectContext(std::shared_ptr<const ManagedObjectModel> model)
    : m_model(std::move(model)), m_alive(std::make_shared<ManagedObjectContext *>(this))
{
}

ManagedObjectContext::ObserverToken ManagedObjectContext::addChangeObserver(ChangeObserver observer)
{
    const ObserverToken token = m_nextObserver++;
    m_observers.emplace(token, std::make_shared<ChangeObserver>(std::move(observer)));
    return token;
}

void ManagedObjectContext::removeChangeObserver(ObserverToken token)
{
    m_observers.erase(token);
}

void ManagedObjectContext::noteChange(ManagedObject *object)
{
    if (m_loading || m_observers.empty())
        return;
    m_pendingNotice.emplace(object, object->shared_from_this());
    if (m_noticeScheduled)
        return;
    m_noticeScheduled = true;
    // The context may be gone by then (a store replaced in tests).
    std::weak_ptr<ManagedObjectContext *> alive = m_alive;
    MainQueue::async([alive]() {
        if (const auto context = alive.lock())
            (*context)->announceChanges();
    });
}

void ManagedObjectContext::announceChanges()
{
    m_noticeScheduled = false;
    QList<std::shared_ptr<ManagedObject>> changed;
    for (auto &entry : m_pendingNotice)
        changed.append(std::move(entry.second));
    m_pendingNotice.clear();
    if (changed.isEmpty())
        return;
    // A copy: an observer may add or remove observers while it runs.
    std::vector<std::pair<ObserverToken, std::shared_ptr<ChangeObserver>>> observers(m_observers.begin(), m_observers.end());
    for (const auto &[token, observer] : observers) {
        if (m_observers.count(token))
            (*observer)(changed);
    }
}

ManagedObjectContext::~ManagedObjectContext()
{
    detachAll();
}

void ManagedObjectContext::detachAll()
{
    // Objects may outlive their context; they must not point at each other
    // any more once nothing keeps their partners alive.
    for (auto &[key, object] : m_registry) {
        object->m_context = nullptr;
        for (ManagedObject::Link &link : object->m_links) {
            link.one = nullptr;
            link.many.clear();
        }
    }
    m_registry.clear();
    m_tables.clear();
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    m_nextKey = 1;
}

ManagedObjectContext::Table &ManagedObjectContext::tableOf(const EntityDescription *entity)
{
    auto it = m_tables.find(entity);
    if (it == m_tables.end()) {
        it = m_tables.insert(entity, Table{});
        it->indexes.resize(entity->attributes().size());
    }
    return *it;
}

const ManagedObjectContext::Table *ManagedObjectContext::findTable(const EntityDescription *entity) const
{
    const auto it = m_tables.constFind(entity);
    return it == m_tables.constEnd() ? nullptr : &*it;
}

bool ManagedObjectContext::reload(std::unique_ptr<SqliteStore> store, Error *error)
{
    detachAll();
    m_store = std::move(store);
    for (const EntityDescription *entity : m_model->entities())
        if (!entity->isAbstract())
            tableOf(entity);
    struct Pending {
        ManagedObject *object;
        std::vector<qint64> keys;
    };
    std::vector<Pending> pending;
    if (!m_store)
        return true;
    m_loading = true;
    bool ok = true;
    for (const EntityDescription *entity : m_model->entities()) {
        if (entity->isAbstract())
            continue;
        Table &table = tableOf(entity);
        ok = m_store->loadRows(
            *entity,
            [&](SqliteStore::Row &&row) {
                // Keys are unique across the whole store; a clash or a key
                // we could not count on from is not ours to trust.
                if (row.primaryKey <= 0 || row.primaryKey == std::numeric_limits<qint64>::max()
                    || m_registry.count(row.primaryKey))
                    return;
                std::shared_ptr<ManagedObject> object = m_model->makeObject(*entity);
                object->m_model = m_model;
                object->m_entity = entity;
                object->m_context = this;
                object->m_id = row.primaryKey;
                object->m_persisted = true;
                object->m_values = std::move(row.values);
                for (const AttributeDescription &attribute : entity->attributes())
                    if (!attribute.optional && !object->m_values[size_t(attribute.index)].isValid())
                        object->m_values[size_t(attribute.index)] = attribute.defaultValue;
                object->m_links.resize(entity->relationships().size());
                m_nextKey = std::max(m_nextKey, row.primaryKey + 1);
                table.objects.emplace(row.primaryKey, object.get());
                pending.push_back({object.get(), std::move(row.linkKeys)});
                m_registry.emplace(row.primaryKey, std::move(object));
            },
            error);
        if (!ok)
            break;
    }
    if (ok) {
        for (const Pending &p : pending) {
            const auto &relationships = p.object->m_entity->relationships();
            for (size_t i = 0; i < relationships.size(); ++i) {
                if (!relationships[i].storesKey || p.keys[i] == 0)
                    continue;
                const auto target = m_registry.find(p.keys[i]);
                if (target != m_registry.end() && target->second->m_entity->isKindOf(relationships[i].destination))
                    link(p.object, relationships[i], target->second.get());
            }
        }
        for (const Pending &p : pending)
            addToIndexes(p.object);
    }
    m_loading = false;
    return ok;
}

void ManagedObjectContext::index(ManagedObject *object, const AttributeDescription &attribute)
{
    const QVariant &value = object->m_values[size_t(attribute.index)];
    if (value.isValid())
        tableOf(object->m_entity).indexes[size_t(attribute.index)][value.toString()].push_back(object);
}

void ManagedObjectContext::unindex(ManagedObject *object, const AttributeDescription &attribute)
{
    const QVariant &value = object->m_values[size_t(attribute.index)];
    if (!value.isValid())
        return;
    Index &index = tableOf(object->m_entity).indexes[size_t(attribute.index)];
    const auto it = index.find(value.toString());
    if (it == index.end())
        return;
    std::erase(*it, object);
    if (it->empty())
        index.erase(it);
}

void ManagedObjectContext::addToIndexes(ManagedObject *object)
{
    for (const AttributeDescription &attribute : object->m_entity->attributes())
        if (attribute.indexed)
            index(object, attribute);
}

void ManagedObjectContext::removeFromIndexes(ManagedObject *object)
{
    for (const AttributeDescription &attribute : object->m_entity->attributes())
        if (attribute.indexed)
            unindex(object, attribute);
}

std::shared_ptr<ManagedObject> ManagedObjectContext::insertNewObject(const QString &entityName)
{
    const EntityDescription *entity = m_model->entity(entityName);
    if (!entity || entity->isAbstract()) {
        log(QStringLiteral("The data model %1 has no concrete entity %2; nothing is inserted.").arg(m_model->name(), entityName), logStore());
        return nullptr;
    }
    std::shared_ptr<ManagedObject> object = m_model->makeObject(*entity);
    object->m_model = m_model;
    object->m_entity = entity;
    object->m_context = this;
    object->m_id = m_nextKey++;
    object->m_inserted = true;
    object->m_values.resize(entity->attributes().size());
    for (const AttributeDescription &attribute : entity->attributes())
        object->m_values[size_t(attribute.index)] = attribute.defaultValue;
    object->m_links.resize(entity->relationships().size());
    ManagedObject *raw = object.get();
    m_registry.emplace(raw->m_id, object);
    m_inserted.emplace(raw->m_id, raw);
    tableOf(entity).objects.emplace(raw->m_id, raw);
    addToIndexes(raw);
    raw->awakeFromInsert();
    noteChange(raw);
    return object;
}

void ManagedObjectContext::changeAttribute(ManagedObject *object, const AttributeDescription &attribute, QVariant value)
{
    if (!attribute.optional && !value.isValid())
        value = attribute.defaultValue;
    QVariant &slot = object->m_values[size_t(attribute.index)];
    if (AttributeValue::equals(attribute.type, slot, value))
        return;
    if (attribute.indexed)
        unindex(object, attribute);
    slot = std::move(value);
    if (attribute.indexed)
        index(object, attribute);
    markUpdated(object);
}

void ManagedObjectContext::markUpdated(ManagedObject *object)
{
    if (!m_loading && object->m_context == this && !object->m_deleted)
        noteChange(object);
    if (m_loading || object->m_inserted || object->m_deleted || object->m_updated || object->m_context != this)
        return;
    object->m_updated = true;
    m_updated.emplace(object->m_id, object);
}

bool ManagedObjectContext::canLink(const ManagedObject *owner, const RelationshipDescription &relationship,
                                   const ManagedObject *target) const
{
    if (!target)
        return true;
    if (target->m_context != this) {
        log(QStringLiteral("%1.%2 cannot link an object of another context.").arg(owner->m_entity->name(), relationship.name), logStore());
        return false;
    }
    if (target->m_deleted)
        return false;
    if (!target->m_entity->isKindOf(relationship.destination)) {
        log(QStringLiteral("%1.%2 cannot link an object of the entity %3.")
                .arg(owner->m_entity->name(), relationship.name, target->m_entity->name()), logStore());
        return false;
    }
    return true;
}

void ManagedObjectContext::link(ManagedObject *owner, const RelationshipDescription &relationship, ManagedObject *target)
{
    const RelationshipDescription &inverse = *relationship.inverse;
    ManagedObject::Link &slot = owner->m_links[size_t(relationship.index)];
    ManagedObject *previous = slot.one;
    if (previous == target)
        return;
    if (previous) {
        ManagedObject::Link &back = previous->m_links[size_t(inverse.index)];
        if (inverse.toMany)
            std::erase(back.many, owner);
        else if (back.one == owner)
            back.one = nullptr;
        markUpdated(previous);
    }
    if (target && !inverse.toMany) {
        // One-to-one: the target's former partner loses it.
        ManagedObject *former = target->m_links[size_t(inverse.index)].one;
        if (former && former != owner) {
            former->m_links[size_t(relationship.index)].one = nullptr;
            markUpdated(former);
        }
    }
    slot.one = target;
    markUpdated(owner);
    if (target) {
        ManagedObject::Link &back = target->m_links[size_t(inverse.index)];
        if (inverse.toMany)
            back.many.push_back(owner);
        else
            back.one = owner;
        markUpdated(target);
    }
}

void ManagedObjectContext::deleteObject(const std::shared_ptr<ManagedObject> &object)
{
    if (!object || object->m_context != this || object->m_deleted)
        return;
    deleteNow(object.get());
}

void ManagedObjectContext::deleteNow(ManagedObject *object)
{
    // Keeps the object alive while its relationships are taken apart.
    const std::shared_ptr<ManagedObject> keep = object->shared_from_this();
    noteChange(object);
    object->m_deleted = true;
    removeFromIndexes(object);
    tableOf(object->m_entity).objects.erase(object->m_id);
    const bool wasInserted = object->m_inserted;
    if (wasInserted) {
        m_inserted.erase(object->m_id);
        object->m_inserted = false;
    } else {
        m_updated.erase(object->m_id);
        object->m_updated = false;
        m_deleted.emplace(object->m_id, object);
    }

    const auto &relationships = object->m_entity->relationships();
    for (size_t i = 0; i < relationships.size(); ++i) {
        const RelationshipDescription &relationship = relationships[i];
        ManagedObject::Link &slot = object->m_links[i];
        std::vector<ManagedObject *> related = relationship.toMany ? std::move(slot.many) : std::vector<ManagedObject *>{};
        if (!relationship.toMany && slot.one)
            related.push_back(slot.one);
        slot.one = nullptr;
        slot.many.clear();
        const RelationshipDescription &inverse = *relationship.inverse;
        for (ManagedObject *other : related) {
            ManagedObject::Link &back = other->m_links[size_t(inverse.index)];
            if (inverse.toMany)
                std::erase(back.many, object);
            else if (back.one == object)
                back.one = nullptr;
            markUpdated(other);
        }
        if (relationship.deleteRule == DeleteRule::Cascade) {
            // Held strongly: one cascade may reach and release another's object.
            std::vector<std::shared_ptr<ManagedObject>> doomed;
            for (ManagedObject *other : related)
                doomed.push_back(other->shared_from_this());
            for (const auto &other : doomed)
                if (!other->m_deleted)
                    deleteNow(other.get());
        }
    }

    if (wasInserted) {
        // Never stored, so nothing is left to do for it at save time.
        object->m_context = nullptr;
        m_registry.erase(object->m_id);
    }
}

bool ManagedObjectContext::hasChanges() const
{
    return !m_inserted.empty() || !m_updated.empty() || !m_deleted.empty();
}

namespace {
QList<std::shared_ptr<ManagedObject>> listOf(const std::map<qint64, ManagedObject *> &objects)
{
    QList<std::shared_ptr<ManagedObject>> result;
    result.reserve(qsizetype(objects.size()));
    for (const auto &[key, object] : objects)
        result.append(object->shared_from_this());
    return result;
}
} // namespace

QList<std::shared_ptr<ManagedObject>> ManagedObjectContext::insertedObjects() const
{
    return listOf(m_inserted);
}

QList<std::shared_ptr<ManagedObject>> ManagedObjectContext::updatedObjects() const
{
    return listOf(m_updated);
}

QList<std::shared_ptr<ManagedObject>> ManagedObjectContext::deletedObjects() const
{
    return listOf(m_deleted);
}

bool ManagedObjectContext::save(Error *error)
{
    if (!hasChanges())
        return true;
    std::vector<const ManagedObject *> deleted, inserted, updated;
    for (const auto &[key, object] : m_deleted)
        deleted.push_back(object);
    for (const auto &[key, object] : m_inserted)
        inserted.push_back(object);
    for (const auto &[key, object] : m_updated)
        updated.push_back(object);
    if (!m_store) {
        if (error)
            *error = Error::withDescription(NSCocoaErrorDomain, StoreErrors::PersistentStoreSave,
                                            QStringLiteral("The context has no store to save to."));
        return false;
    }
    if (!m_store->write(deleted, inserted, updated, [this](qint64 largest) { rekeyInserted(largest); }, error))
        return false;

    for (const auto &[key, object] : m_inserted) {
        object->m_inserted = false;
        object->m_persisted = true;
    }
    for (const auto &[key, object] : m_updated)
        object->m_updated = false;
    std::vector<qint64> gone;
    for (const auto &[key, object] : m_deleted) {
        object->m_context = nullptr;
        object->m_persisted = false;
        gone.push_back(key);
    }
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    for (qint64 key : gone)
        m_registry.erase(key);
    return true;
}

bool ManagedObjectContext::changeAndSave(const std::function<void()> &change, Error *error)
{
    struct Kept {
        std::shared_ptr<ManagedObject> object;
        qint64 id;
        std::vector<QVariant> values;
        std::vector<ManagedObject::Link> links;
        bool inserted, updated, deleted, persisted;
    };
    std::vector<Kept> kept;
    kept.reserve(m_registry.size());
    for (const auto &[key, object] : m_registry)
        kept.push_back({object, object->m_id, object->m_values, object->m_links, object->m_inserted, object->m_updated,
                        object->m_deleted, object->m_persisted});
    const auto registry = m_registry;
    const auto tables = m_tables;
    const auto inserted = m_inserted;
    const auto updated = m_updated;
    const auto deleted = m_deleted;

    change();
    if (save(error))
        return true;

    std::unordered_map<const ManagedObject *, bool> before;
    for (const Kept &k : kept)
        before.emplace(k.object.get(), true);
    for (const auto &[key, object] : m_registry) {
        if (before.count(object.get()))
            continue;
        object->m_context = nullptr;
        object->m_inserted = false;
        for (ManagedObject::Link &link : object->m_links) {
            link.one = nullptr;
            link.many.clear();
        }
    }
    for (Kept &k : kept) {
        ManagedObject *object = k.object.get();
        object->m_context = this;
        object->m_id = k.id;
        object->m_values = std::move(k.values);
        object->m_links = std::move(k.links);
        object->m_inserted = k.inserted;
        object->m_updated = k.updated;
        object->m_deleted = k.deleted;
        object->m_persisted = k.persisted;
    }
    m_registry = registry;
    m_tables = tables;
    m_inserted = inserted;
    m_updated = updated;
    m_deleted = deleted;
    return false;
}

void ManagedObjectContext::rekeyInserted(qint64 largestStoredKey)
{
    if (m_inserted.empty() || m_inserted.begin()->first > largestStoredKey)
        return;
    // Another process took these keys meanwhile: the new objects move above
    // everything the file and this context hold, in their order.
    qint64 next = std::max(largestStoredKey, m_nextKey - 1) + 1;
    std::map<qint64, ManagedObject *> renamed;
    for (const auto &[key, object] : m_inserted) {
        auto node = m_registry.extract(key);
        Table &table = tableOf(object->m_entity);
        table.objects.erase(key);
        object->m_id = next++;
        node.key() = object->m_id;
        m_registry.insert(std::move(node));
        table.objects.emplace(object->m_id, object);
        renamed.emplace(object->m_id, object);
    }
    m_inserted = std::move(renamed);
    m_nextKey = next;
}

QList<std::shared_ptr<ManagedObject>> ManagedObjectContext::executeFetchRequest(const FetchRequest &request, Error *error) const
{
    auto fail = [&](const QString &message) {
        if (error)
            *error = Error::withDescription(NSCocoaErrorDomain, StoreErrors::CoreData, message);
        return QList<std::shared_ptr<ManagedObject>>();
    };
    const EntityDescription *entity = m_model->entity(request.entityName());
    if (!entity)
        return fail(QStringLiteral("The data model %1 has no entity \"%2\".").arg(m_model->name(), request.entityName()));

    struct Term {
        Path path;
        QVariant value;
    };
    std::vector<Term> terms;
    bool satisfiable = true;
    for (const FetchRequest::Term &term : request.predicate()) {
        Term compiled;
        if (!compilePath(entity, term.keyPath, compiled.path))
            return fail(QStringLiteral("The key path \"%1\" is not an attribute of %2.").arg(term.keyPath, entity->name()));
        const auto value = AttributeValue::forComparison(compiled.path.attribute->type, term.value);
        if (!value)
            satisfiable = false; // no stored value can ever equal it
        compiled.value = value.value_or(QVariant());
        terms.push_back(std::move(compiled));
    }
    std::vector<std::pair<Path, bool>> sorts;
    for (const SortDescriptor &descriptor : request.sortDescriptors()) {
        Path path;
        if (!compilePath(entity, descriptor.key, path))
            return fail(QStringLiteral("The sort key \"%1\" is not an attribute of %2.").arg(descriptor.key, entity->name()));
        sorts.emplace_back(std::move(path), descriptor.ascending);
    }
    if (!satisfiable)
        return {};

    auto valueAt = [](const ManagedObject *object, const Path &path) -> const QVariant * {
        for (const RelationshipDescription *hop : path.hops) {
            object = object->m_links[size_t(hop->index)].one;
            if (!object)
                return nullptr;
        }
        return &object->m_values[size_t(path.attribute->index)];
    };

    const std::vector<const EntityDescription *> concrete = entity->concreteEntities();
    std::vector<ManagedObject *> candidates;
    bool narrowed = false;
    // An indexed text term, on the entity itself or one to-one hop away,
    // names the few candidates; everything else means a scan.
    for (const Term &term : terms) {
        if (term.path.hops.size() > 1 || !term.path.attribute->indexed || !term.value.isValid())
            continue;
        const QString key = term.value.toString();
        if (term.path.hops.empty()) {
            for (const EntityDescription *e : concrete) {
                const Table *table = findTable(e);
                if (!table)
                    continue;
                const Index &index = table->indexes[size_t(term.path.attribute->index)];
                const auto it = index.constFind(key);
                if (it != index.constEnd())
                    candidates.insert(candidates.end(), it->begin(), it->end());
            }
        } else {
            const RelationshipDescription *hop = term.path.hops.front();
            const RelationshipDescription *inverse = hop->inverse;
            for (const EntityDescription *e : hop->destination->concreteEntities()) {
                const Table *table = findTable(e);
                if (!table)
                    continue;
                const Index &index = table->indexes[size_t(term.path.attribute->index)];
                const auto it = index.constFind(key);
                if (it == index.constEnd())
                    continue;
                for (ManagedObject *owner : *it) {
                    const ManagedObject::Link &back = owner->m_links[size_t(inverse->index)];
                    if (inverse->toMany) {
                        for (ManagedObject *member : back.many)
                            if (member->m_entity->isKindOf(entity))
                                candidates.push_back(member);
                    } else if (back.one && back.one->m_entity->isKindOf(entity)) {
                        candidates.push_back(back.one);
                    }
                }
            }
        }
        narrowed = true;
        break;
    }
    if (!narrowed)
        for (const EntityDescription *e : concrete)
            if (const Table *table = findTable(e))
                for (const auto &[key, object] : table->objects)
                    candidates.push_back(object);

    std::erase_if(candidates, [&](const ManagedObject *object) {
        for (const Term &term : terms) {
            const QVariant *value = valueAt(object, term.path);
            if (!AttributeValue::equals(term.path.attribute->type, value ? *value : QVariant(), term.value))
                return true;
        }
        return false;
    });

    std::sort(candidates.begin(), candidates.end(), [&](const ManagedObject *a, const ManagedObject *b) {
        for (const auto &[path, ascending] : sorts) {
            const QVariant *va = valueAt(a, path);
            const QVariant *vb = valueAt(b, path);
            const int order = AttributeValue::compare(path.attribute->type, va ? *va : QVariant(), vb ? *vb : QVariant());
            if (order != 0)
                return ascending ? order < 0 : order > 0;
        }
        return a->m_id < b->m_id;
    });
    if (request.fetchLimit() > 0 && candidates.size() > size_t(request.fetchLimit()))
        candidates.resize(size_t(request.fetchLimit()));

    QList<std::shared_ptr<ManagedObject>> result;
    result.reserve(qsizetype(candidates.size()));
    for (ManagedObject *object : candidates)
        result.append(object->shared_from_this());
    return result;
}

} // namespace kova::platform
