#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

namespace kova::platform {

class EntityDescription;
class ManagedObjectContext;
class ManagedObjectModel;
struct AttributeDescription;
struct RelationshipDescription;

// One record of the object store, always held by std::shared_ptr. Values are
// read and written by attribute name; a name the entity lacks, or a value of
// a type the attribute cannot hold, reads and stores as empty, so a bad value
// can never poison a later save. The context tracks every change and keeps
// relationships and their inverses in step.
//
// A deleted object stays safe to use: it keeps the values it had, has no
// relationships any more, and ignores every write.
class ManagedObject : public std::enable_shared_from_this<ManagedObject> {
public:
    ManagedObject();
    virtual ~ManagedObject();
    ManagedObject(const ManagedObject &) = delete;
    ManagedObject &operator=(const ManagedObject &) = delete;

    // Null for an object that no context made.
    const EntityDescription *entity() const { return m_entity; }
    // Null once the context has let the object go (deleted and saved, or the
    // context itself is gone).
    ManagedObjectContext *managedObjectContext() const { return m_context; }
    bool isInserted() const { return m_inserted; }
    bool isUpdated() const { return m_updated; }
    bool isDeleted() const { return m_deleted; }

    // Called once, right after the object has been inserted into a context.
    virtual void awakeFromInsert() {}

    QVariant value(const QString &key) const;
    void setValue(const QString &key, const QVariant &value);

    // Typed access; a value of another type reads as empty (null, 0, NO).
    QString text(const QString &key) const;
    void setText(const QString &key, const QString &value);
    QDateTime date(const QString &key) const;
    void setDate(const QString &key, const QDateTime &value);
    QByteArray data(const QString &key) const;
    void setData(const QString &key, const QByteArray &value);
    bool boolValue(const QString &key) const;
    void setBoolValue(const QString &key, bool value);
    double doubleValue(const QString &key) const;
    void setDoubleValue(const QString &key, double value);
    std::optional<bool> optionalBool(const QString &key) const;
    void setOptionalBool(const QString &key, std::optional<bool> value);
    std::optional<double> optionalDouble(const QString &key) const;
    void setOptionalDouble(const QString &key, std::optional<double> value);
    std::optional<qint64> optionalInteger(const QString &key) const;
    void setOptionalInteger(const QString &key, std::optional<qint64> value);

    std::shared_ptr<ManagedObject> toOne(const QString &key) const;
    // Links `object` (or unlinks, with null) and updates the inverse sides.
    void setToOne(const QString &key, const std::shared_ptr<ManagedObject> &object);
    // The members in the order they joined.
    QList<std::shared_ptr<ManagedObject>> toMany(const QString &key) const;
    void addToMany(const QString &key, const std::shared_ptr<ManagedObject> &object);
    void removeFromMany(const QString &key, const std::shared_ptr<ManagedObject> &object);

    template <class T>
    std::shared_ptr<T> toOne(const QString &key) const
    {
        return std::dynamic_pointer_cast<T>(toOne(key));
    }
    template <class T>
    QList<std::shared_ptr<T>> toMany(const QString &key) const
    {
        QList<std::shared_ptr<T>> result;
        for (const auto &object : toMany(key))
            if (auto typed = std::dynamic_pointer_cast<T>(object))
                result.append(std::move(typed));
        return result;
    }

private:
    friend class ManagedObjectContext;
    friend class SqliteStore;

    struct Link {
        ManagedObject *one = nullptr;
        std::vector<ManagedObject *> many;
    };

    const AttributeDescription *attributeNamed(const QString &key) const;
    const RelationshipDescription *relationshipNamed(const QString &key) const;
    // Whether a write may change this object: it belongs to a live context
    // and is not deleted.
    bool writable() const;

    // The model is kept alive for as long as any of its objects: an object
    // may outlive its context and container and must stay readable.
    std::shared_ptr<const ManagedObjectModel> m_model;
    const EntityDescription *m_entity = nullptr;
    ManagedObjectContext *m_context = nullptr;
    qint64 m_id = 0;
    bool m_inserted = false;
    bool m_updated = false;
    bool m_deleted = false;
    bool m_persisted = false; // a row exists in the store file
    std::vector<QVariant> m_values;
    std::vector<Link> m_links;
};

} // namespace kova::platform
