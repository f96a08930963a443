#include "platform/store/ManagedObject.h"

#include "platform/foundation/Log.h"
#include "platform/store/AttributeValue.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObjectContext.h"

namespace kova::platform {

ManagedObject::ManagedObject() = default;
ManagedObject::~ManagedObject() = default;

const AttributeDescription *ManagedObject::attributeNamed(const QString &key) const
{
    return m_entity ? m_entity->attribute(key) : nullptr;
}

const RelationshipDescription *ManagedObject::relationshipNamed(const QString &key) const
{
    return m_entity ? m_entity->relationship(key) : nullptr;
}

bool ManagedObject::writable() const
{
    return m_context && !m_deleted;
}

QVariant ManagedObject::value(const QString &key) const
{
    const AttributeDescription *attribute = attributeNamed(key);
    return attribute ? m_values[size_t(attribute->index)] : QVariant();
}

void ManagedObject::setValue(const QString &key, const QVariant &value)
{
    if (!writable())
        return;
    const AttributeDescription *attribute = attributeNamed(key);
    if (!attribute) {
        log(QStringLiteral("The entity %1 has no attribute \"%2\"; the value is not kept.").arg(m_entity->name(), key), logStore());
        return;
    }
    m_context->changeAttribute(this, *attribute, AttributeValue::coerce(attribute->type, value));
}

namespace {
template <class T>
std::optional<T> typed(const QVariant &value, QMetaType type)
{
    if (value.metaType() != type)
        return std::nullopt;
    return value.value<T>();
}
} // namespace

QString ManagedObject::text(const QString &key) const
{
    return typed<QString>(value(key), QMetaType::fromType<QString>()).value_or(QString());
}

void ManagedObject::setText(const QString &key, const QString &value)
{
    setValue(key, value.isNull() ? QVariant() : QVariant(value));
}

QDateTime ManagedObject::date(const QString &key) const
{
    return typed<QDateTime>(value(key), QMetaType::fromType<QDateTime>()).value_or(QDateTime());
}

void ManagedObject::setDate(const QString &key, const QDateTime &value)
{
    setValue(key, value.isValid() ? QVariant(value) : QVariant());
}

QByteArray ManagedObject::data(const QString &key) const
{
    return typed<QByteArray>(value(key), QMetaType::fromType<QByteArray>()).value_or(QByteArray());
}

void ManagedObject::setData(const QString &key, const QByteArray &value)
{
    setValue(key, value.isNull() ? QVariant() : QVariant(value));
}

bool ManagedObject::boolValue(const QString &key) const
{
    return optionalBool(key).value_or(false);
}

void ManagedObject::setBoolValue(const QString &key, bool value)
{
    setValue(key, QVariant(value));
}

double ManagedObject::doubleValue(const QString &key) const
{
    return optionalDouble(key).value_or(0.0);
}

void ManagedObject::setDoubleValue(const QString &key, double value)
{
    setValue(key, QVariant(value));
}

std::optional<bool> ManagedObject::optionalBool(const QString &key) const
{
    return typed<bool>(value(key), QMetaType::fromType<bool>());
}

void ManagedObject::setOptionalBool(const QString &key, std::optional<bool> value)
{
    setValue(key, value ? QVariant(*value) : QVariant());
}

std::optional<double> ManagedObject::optionalDouble(const QString &key) const
{
    return typed<double>(value(key), QMetaType::fromType<double>());
}

void ManagedObject::setOptionalDouble(const QString &key, std::optional<double> value)
{
    setValue(key, value ? QVariant(*value) : QVariant());
}

std::optional<qint64> ManagedObject::optionalInteger(const QString &key) const
{
    return typed<qint64>(value(key), QMetaType::fromType<qint64>());
}

void ManagedObject::setOptionalInteger(const QString &key, std::optional<qint64> value)
{
    setValue(key, value ? QVariant(*value) : QVariant());
}

std::shared_ptr<ManagedObject> ManagedObject::toOne(const QString &key) const
{
    const RelationshipDescription *relationship = relationshipNamed(key);
    if (!relationship || relationship->toMany)
        return nullptr;
    ManagedObject *target = m_links[size_t(relationship->index)].one;
    return target ? target->shared_from_this() : nullptr;
}

void ManagedObject::setToOne(const QString &key, const std::shared_ptr<ManagedObject> &object)
{
    if (!writable())
        return;
    const RelationshipDescription *relationship = relationshipNamed(key);
    if (!relationship || relationship->toMany) {
        log(QStringLiteral("The entity %1 has no to-one relationship \"%2\".").arg(m_entity->name(), key), logStore());
        return;
    }
    if (!m_context->canLink(this, *relationship, object.get()))
        return;
    m_context->link(this, *relationship, object.get());
}

QList<std::shared_ptr<ManagedObject>> ManagedObject::toMany(const QString &key) const
{
    QList<std::shared_ptr<ManagedObject>> result;
    const RelationshipDescription *relationship = relationshipNamed(key);
    if (!relationship || !relationship->toMany)
        return result;
    for (ManagedObject *member : m_links[size_t(relationship->index)].many)
        result.append(member->shared_from_this());
    return result;
}

void ManagedObject::addToMany(const QString &key, const std::shared_ptr<ManagedObject> &object)
{
    if (!writable() || !object)
        return;
    const RelationshipDescription *relationship = relationshipNamed(key);
    if (!relationship || !relationship->toMany) {
        log(QStringLiteral("The entity %1 has no to-many relationship \"%2\".").arg(m_entity->name(), key), logStore());
        return;
    }
    if (!m_context->canLink(this, *relationship, object.get()))
        return;
    m_context->link(object.get(), *relationship->inverse, this);
}

void ManagedObject::removeFromMany(const QString &key, const std::shared_ptr<ManagedObject> &object)
{
    if (!writable() || !object)
        return;
    const RelationshipDescription *relationship = relationshipNamed(key);
    if (!relationship || !relationship->toMany || object->m_context != m_context || object->m_deleted
        || !object->m_entity->isKindOf(relationship->destination))
        return;
    const RelationshipDescription &inverse = *relationship->inverse;
    if (object->m_links[size_t(inverse.index)].one == this)
        m_context->link(object.get(), inverse, nullptr);
}

} // namespace kova::platform
