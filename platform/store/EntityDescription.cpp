#include "platform/store/EntityDescription.h"

namespace kova::platform {

const AttributeDescription *EntityDescription::attribute(const QString &name) const
{
    const auto it = m_attributeByName.constFind(name);
    return it == m_attributeByName.constEnd() ? nullptr : &m_attributes[size_t(*it)];
}

const RelationshipDescription *EntityDescription::relationship(const QString &name) const
{
    const auto it = m_relationshipByName.constFind(name);
    return it == m_relationshipByName.constEnd() ? nullptr : &m_relationships[size_t(*it)];
}

bool EntityDescription::isKindOf(const EntityDescription *other) const
{
    for (const EntityDescription *e = this; e; e = e->m_superentity)
        if (e == other)
            return true;
    return false;
}

std::vector<const EntityDescription *> EntityDescription::concreteEntities() const
{
    std::vector<const EntityDescription *> result;
    if (!m_abstract)
        result.push_back(this);
    for (const EntityDescription *sub : m_subentities) {
        const auto below = sub->concreteEntities();
        result.insert(result.end(), below.begin(), below.end());
    }
    return result;
}

} // namespace kova::platform
