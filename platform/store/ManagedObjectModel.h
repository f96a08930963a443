#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/store/EntityDescription.h"

namespace kova::platform {

class ManagedObject;

// The schema of a store, read from a JSON data-model resource:
//
//   {"name": "...", "version": 1, "entities": [
//     {"name": "Parent", "abstract": true, "attributes": [...]},
//     {"name": "Child", "parent": "Parent",
//      "attributes": [{"name": "title", "type": "string", "indexed": true},
//                     {"name": "flag", "type": "boolean", "optional": false, "default": true}],
//      "relationships": [{"name": "items", "destination": "Item", "inverse": "owner",
//                         "toMany": true, "deleteRule": "cascade"}]}]}
//
// Types: "string", "date", "binary", "boolean", "double", "integer". The
// version becomes the store file's `PRAGMA user_version`; raise it whenever
// the entities change.
class ManagedObjectModel {
public:
    using ClassFactory = std::function<std::shared_ptr<ManagedObject>()>;

    static std::shared_ptr<ManagedObjectModel> fromJson(const QByteArray &json, Error *error = nullptr);
    static std::shared_ptr<ManagedObjectModel> fromFile(const QString &path, Error *error = nullptr);

    const QString &name() const { return m_name; }
    int version() const { return m_version; }
    const EntityDescription *entity(const QString &name) const;
    std::vector<const EntityDescription *> entities() const;

    // The class whose objects stand for an entity's records; an entity with
    // none gets plain ManagedObject instances. Set these before a container
    // uses the model.
    void setClassFactory(const QString &entityName, ClassFactory factory);
    template <class T>
    void registerClass()
    {
        setClassFactory(T::entityName(), [] { return std::make_shared<T>(); });
    }
    std::shared_ptr<ManagedObject> makeObject(const EntityDescription &entity) const;

private:
    QString m_name;
    int m_version = 0;
    std::vector<std::unique_ptr<EntityDescription>> m_entities;
    QHash<QString, EntityDescription *> m_byName;
    QHash<QString, ClassFactory> m_factories;
};

} // namespace kova::platform
