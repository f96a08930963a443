#pragma once

#include <QHash>
#include <QString>
#include <vector>

#include "platform/store/AttributeDescription.h"
#include "platform/store/RelationshipDescription.h"

namespace kova::platform {

class ManagedObjectModel;

// An entity of the model. Attributes and relationships include those it
// inherits, the parent's first, so a slot index means the same thing in a
// parent and in each of its sub-entities.
class EntityDescription {
public:
    const QString &name() const { return m_name; }
    bool isAbstract() const { return m_abstract; }
    const EntityDescription *superentity() const { return m_superentity; }
    const std::vector<const EntityDescription *> &subentities() const { return m_subentities; }

    const std::vector<AttributeDescription> &attributes() const { return m_attributes; }
    const std::vector<RelationshipDescription> &relationships() const { return m_relationships; }
    const AttributeDescription *attribute(const QString &name) const;
    const RelationshipDescription *relationship(const QString &name) const;

    // This entity or one of its ancestors is `other`.
    bool isKindOf(const EntityDescription *other) const;
    // This entity and every descendant that can have objects of its own.
    std::vector<const EntityDescription *> concreteEntities() const;

private:
    friend class ManagedObjectModel;

    QString m_name;
    bool m_abstract = false;
    QString m_superentityName;
    const EntityDescription *m_superentity = nullptr;
    std::vector<const EntityDescription *> m_subentities;
    std::vector<AttributeDescription> m_attributes;
    std::vector<RelationshipDescription> m_relationships;
    QHash<QString, int> m_attributeByName;
    QHash<QString, int> m_relationshipByName;
};

} // namespace kova::platform
