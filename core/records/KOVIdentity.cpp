#include "core/records/KOVIdentity.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

namespace {

// One part per object of the list, in order; a value that is not a list, and
// elements that are not objects, give nothing.
template <typename Part>
QList<Part> partsIn(const QJsonObject &object, const QString &key)
{
    QList<Part> parts;
    const QJsonArray list = json::readList(object, key).value_or(QJsonArray());
    for (const QJsonObject &element : json::objectsIn(list))
        parts.append(Part::initWithDictionary(element));
    return parts;
}

} // namespace

std::shared_ptr<KOVIdentity> KOVIdentity::initWithDictionary(const QJsonValue &dictionary)
{
    auto identity = std::make_shared<KOVIdentity>();
    identity->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return identity;
    const QJsonObject object = dictionary.toObject();
    identity->m_nationality = json::readText(object, QStringLiteral("nationality"));
    identity->m_dateOfBirth = json::readText(object, QStringLiteral("dateOfBirth"));
    identity->m_numbers = partsIn<KOVNumber>(object, QStringLiteral("numbers"));
    identity->m_emailAddress = json::readText(object, QStringLiteral("emailAddress"));
    identity->m_name = json::readText(object, QStringLiteral("name"));
    identity->m_address = KOVAddress::initWithDictionary(object.value(QStringLiteral("address")));
    identity->m_identifications = partsIn<KOVIdentification>(object, QStringLiteral("identifications"));
    return identity;
}

} // namespace kova
