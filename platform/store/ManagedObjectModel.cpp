#include "platform/store/ManagedObjectModel.h"

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <limits>

#include "platform/foundation/Json.h"
#include "platform/store/AttributeValue.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/StoreErrors.h"

namespace kova::platform {
namespace {

// Models are small; anything larger is not one of ours.
constexpr qint64 kMaxModelBytes = 1024 * 1024;

struct Failure {
    QString message;
};

// Names become SQL identifiers, so they are kept to plain identifiers; "Z_"
// is reserved for the store's own columns.
void checkName(const QString &name, const QString &what)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,99}$"));
    if (!pattern.match(name).hasMatch() || name.startsWith(QStringLiteral("Z_")))
        throw Failure{QStringLiteral("%1 has an invalid name \"%2\"").arg(what, name)};
}

std::optional<AttributeType> typeNamed(const QString &name)
{
    if (name == QLatin1String("string"))
        return AttributeType::String;
    if (name == QLatin1String("date"))
        return AttributeType::Date;
    if (name == QLatin1String("binary"))
        return AttributeType::Binary;
    if (name == QLatin1String("boolean"))
        return AttributeType::Boolean;
    if (name == QLatin1String("double"))
        return AttributeType::Double;
    if (name == QLatin1String("integer"))
        return AttributeType::Integer;
    return std::nullopt;
}

bool isScalar(AttributeType type)
{
    return type == AttributeType::Boolean || type == AttributeType::Double || type == AttributeType::Integer;
}

AttributeDescription readAttribute(const QJsonObject &o, const QString &entity)
{
    AttributeDescription a;
    a.name = json::readText(o, QStringLiteral("name"));
    checkName(a.name, QStringLiteral("An attribute of %1").arg(entity));
    const QString where = entity + QLatin1Char('.') + a.name;
    const auto type = typeNamed(json::readText(o, QStringLiteral("type")));
    if (!type)
        throw Failure{QStringLiteral("%1 has an unknown type").arg(where)};
    a.type = *type;
    a.optional = json::readBool(o, QStringLiteral("optional")).value_or(true);
    if (!a.optional && !isScalar(a.type))
        throw Failure{QStringLiteral("%1 cannot be mandatory: only scalars can").arg(where)};
    a.indexed = json::readBool(o, QStringLiteral("indexed")).value_or(false);
    if (a.indexed && a.type != AttributeType::String)
        throw Failure{QStringLiteral("%1 cannot be indexed: only text can").arg(where)};
    if (o.contains(QStringLiteral("default")) && !o.value(QStringLiteral("default")).isNull()) {
        a.defaultValue = AttributeValue::coerce(a.type, o.value(QStringLiteral("default")).toVariant());
        if (!a.defaultValue.isValid())
            throw Failure{QStringLiteral("%1 has a default of the wrong type").arg(where)};
    }
    if (!a.optional && !a.defaultValue.isValid())
        a.defaultValue = AttributeValue::zero(a.type);
    return a;
}

RelationshipDescription readRelationship(const QJsonObject &o, const QString &entity)
{
    RelationshipDescription r;
    r.name = json::readText(o, QStringLiteral("name"));
    checkName(r.name, QStringLiteral("A relationship of %1").arg(entity));
    const QString where = entity + QLatin1Char('.') + r.name;
    r.destinationName = json::readText(o, QStringLiteral("destination"));
    r.inverseName = json::readText(o, QStringLiteral("inverse"));
    if (r.destinationName.isEmpty() || r.inverseName.isEmpty())
        throw Failure{QStringLiteral("%1 needs a destination and an inverse").arg(where)};
    r.toMany = json::readBool(o, QStringLiteral("toMany")).value_or(false);
    const QString rule = json::readText(o, QStringLiteral("deleteRule"));
    if (rule.isNull() || rule == QLatin1String("nullify"))
        r.deleteRule = DeleteRule::Nullify;
    else if (rule == QLatin1String("cascade"))
        r.deleteRule = DeleteRule::Cascade;
    else
        throw Failure{QStringLiteral("%1 has an unknown delete rule \"%2\"").arg(where, rule)};
    return r;
}

} // namespace

std::shared_ptr<ManagedObjectModel> ManagedObjectModel::fromFile(const QString &path, Error *error)
{
    QFile file(path);
    if (path.isEmpty() || !file.exists()) {
        if (error)
            *error = Error::withDescription(NSCocoaErrorDomain, StoreErrors::FileReadNoSuchFile,
                                            QStringLiteral("The data model \"%1\" does not exist.").arg(path));
        return nullptr;
    }
    if (file.size() > kMaxModelBytes || !file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = Error::withDescription(NSCocoaErrorDomain, StoreErrors::FileReadCorruptFile,
                                            QStringLiteral("The data model \"%1\" cannot be read.").arg(path));
        return nullptr;
    }
    return fromJson(file.readAll(), error);
}

std::shared_ptr<ManagedObjectModel> ManagedObjectModel::fromJson(const QByteArray &data, Error *error)
{
    auto model = std::make_shared<ManagedObjectModel>();
    try {
        auto parsed = json::parseObject(data);
        if (std::holds_alternative<Error>(parsed))
            throw Failure{QStringLiteral("it is not a JSON object")};
        const QJsonObject root = std::get<QJsonObject>(parsed);
        model->m_name = json::readText(root, QStringLiteral("name"));
        const auto version = json::readInt64(root, QStringLiteral("version"));
        if (!version || *version < 1 || *version > std::numeric_limits<qint32>::max()
            || json::readDouble(root, QStringLiteral("version")) != double(*version))
            throw Failure{QStringLiteral("its version must be a whole number from 1")};
        model->m_version = int(*version);
        const auto entities = json::readList(root, QStringLiteral("entities"));
        if (!entities)
            throw Failure{QStringLiteral("it has no entity list")};

        // Declared parts first; inheritance and links once every entity is known.
        struct Declared {
            std::vector<AttributeDescription> attributes;
            std::vector<RelationshipDescription> relationships;
        };
        QHash<QString, Declared> declared;
        for (const QJsonValue &value : *entities) {
            const auto o = json::readObject(value);
            if (!o)
                throw Failure{QStringLiteral("an entity is not an object")};
            auto entity = std::make_unique<EntityDescription>();
            entity->m_name = json::readText(*o, QStringLiteral("name"));
            checkName(entity->m_name, QStringLiteral("An entity"));
            if (model->m_byName.contains(entity->m_name))
                throw Failure{QStringLiteral("the entity %1 is declared twice").arg(entity->m_name)};
            entity->m_abstract = json::readBool(*o, QStringLiteral("abstract")).value_or(false);
            entity->m_superentityName = json::readText(*o, QStringLiteral("parent"));
            Declared parts;
            if (o->contains(QStringLiteral("attributes"))) {
                const auto list = json::readList(*o, QStringLiteral("attributes"));
                if (!list)
                    throw Failure{QStringLiteral("the attributes of %1 are not a list").arg(entity->m_name)};
                for (const QJsonValue &a : *list) {
                    const auto ao = json::readObject(a);
                    if (!ao)
                        throw Failure{QStringLiteral("an attribute of %1 is not an object").arg(entity->m_name)};
                    parts.attributes.push_back(readAttribute(*ao, entity->m_name));
                }
            }
            if (o->contains(QStringLiteral("relationships"))) {
                const auto list = json::readList(*o, QStringLiteral("relationships"));
                if (!list)
                    throw Failure{QStringLiteral("the relationships of %1 are not a list").arg(entity->m_name)};
                for (const QJsonValue &r : *list) {
                    const auto ro = json::readObject(r);
                    if (!ro)
                        throw Failure{QStringLiteral("a relationship of %1 is not an object").arg(entity->m_name)};
                    parts.relationships.push_back(readRelationship(*ro, entity->m_name));
                }
            }
            declared.insert(entity->m_name, std::move(parts));
            model->m_byName.insert(entity->m_name, entity.get());
            model->m_entities.push_back(std::move(entity));
        }

        // Parents before children, so each entity can start from its parent's parts.
        std::vector<EntityDescription *> ordered;
        QSet<QString> placed;
        while (ordered.size() < model->m_entities.size()) {
            const size_t before = ordered.size();
            for (const auto &entity : model->m_entities) {
                if (placed.contains(entity->m_name))
                    continue;
                const QString &parent = entity->m_superentityName;
                if (!parent.isEmpty() && !model->m_byName.contains(parent))
                    throw Failure{QStringLiteral("the parent %1 of %2 does not exist").arg(parent, entity->m_name)};
                if (!parent.isEmpty() && !placed.contains(parent))
                    continue;
                ordered.push_back(entity.get());
                placed.insert(entity->m_name);
            }
            if (ordered.size() == before)
                throw Failure{QStringLiteral("its entities inherit in a circle")};
        }

        for (EntityDescription *entity : ordered) {
            if (!entity->m_superentityName.isEmpty()) {
                EntityDescription *parent = model->m_byName.value(entity->m_superentityName);
                entity->m_superentity = parent;
                parent->m_subentities.push_back(entity);
                entity->m_attributes = parent->m_attributes;
                entity->m_relationships = parent->m_relationships;
            }
            const Declared &parts = declared[entity->m_name];
            for (const AttributeDescription &a : parts.attributes)
                entity->m_attributes.push_back(a);
            for (const RelationshipDescription &r : parts.relationships)
                entity->m_relationships.push_back(r);
            QSet<QString> names;
            for (size_t i = 0; i < entity->m_attributes.size(); ++i) {
                AttributeDescription &a = entity->m_attributes[i];
                a.index = int(i);
                if (names.contains(a.name))
                    throw Failure{QStringLiteral("%1 has two properties named %2").arg(entity->m_name, a.name)};
                names.insert(a.name);
                entity->m_attributeByName.insert(a.name, int(i));
            }
            for (size_t i = 0; i < entity->m_relationships.size(); ++i) {
                RelationshipDescription &r = entity->m_relationships[i];
                r.index = int(i);
                if (names.contains(r.name))
                    throw Failure{QStringLiteral("%1 has two properties named %2").arg(entity->m_name, r.name)};
                names.insert(r.name);
                entity->m_relationshipByName.insert(r.name, int(i));
            }
        }

        // Every vector is final now, so links between descriptions stay valid.
        for (EntityDescription *entity : ordered) {
            for (RelationshipDescription &r : entity->m_relationships) {
                const QString where = entity->m_name + QLatin1Char('.') + r.name;
                const EntityDescription *destination = model->m_byName.value(r.destinationName);
                if (!destination)
                    throw Failure{QStringLiteral("the destination of %1 does not exist").arg(where)};
                const RelationshipDescription *inverse = destination->relationship(r.inverseName);
                if (!inverse || inverse->inverseName != r.name)
                    throw Failure{QStringLiteral("%1 has no matching inverse").arg(where)};
                const EntityDescription *back = model->m_byName.value(inverse->destinationName);
                if (!back || !entity->isKindOf(back))
                    throw Failure{QStringLiteral("the inverse of %1 leads elsewhere").arg(where)};
                if (r.toMany && inverse->toMany)
                    throw Failure{QStringLiteral("%1 and its inverse are both to-many").arg(where)};
                r.destination = destination;
                r.inverse = inverse;
                if (r.toMany) {
                    r.storesKey = false;
                } else if (inverse->toMany) {
                    r.storesKey = true;
                } else {
                    // One-to-one: one side keeps the key, chosen the same way on both.
                    const QString self = back->name() + QLatin1Char('.') + r.name;
                    const QString other = destination->name() + QLatin1Char('.') + inverse->name;
                    r.storesKey = self < other;
                }
            }
        }
    } catch (const Failure &failure) {
        if (error)
            *error = Error::withDescription(NSCocoaErrorDomain, StoreErrors::FileReadCorruptFile,
                                            QStringLiteral("The data model cannot be used: %1.").arg(failure.message));
        return nullptr;
    }
    return model;
}

const EntityDescription *ManagedObjectModel::entity(const QString &name) const
{
    return m_byName.value(name, nullptr);
}

std::vector<const EntityDescription *> ManagedObjectModel::entities() const
{
    std::vector<const EntityDescription *> result;
    for (const auto &entity : m_entities)
        result.push_back(entity.get());
    return result;
}

void ManagedObjectModel::setClassFactory(const QString &entityName, ClassFactory factory)
{
    m_factories.insert(entityName, std::move(factory));
}

std::shared_ptr<ManagedObject> ManagedObjectModel::makeObject(const EntityDescription &entity) const
{
    // The nearest entity up the tree with a class decides, as a sub-entity
    // without a class of its own is still one of its parent's kind.
    for (const EntityDescription *e = &entity; e; e = e->superentity()) {
        const auto it = m_factories.constFind(e->name());
        if (it != m_factories.constEnd() && *it) {
            if (auto object = (*it)())
                return object;
        }
    }
    return std::make_shared<ManagedObject>();
}

} // namespace kova::platform
