#include "core/records/KOVWireAddress.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

std::shared_ptr<KOVWireAddress> KOVWireAddress::initWithDictionary(const QJsonValue &dictionary)
{
    auto address = std::make_shared<KOVWireAddress>();
    address->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return address;
    const QJsonObject object = dictionary.toObject();
    address->m_city = json::readText(object, QStringLiteral("city"));
    address->m_country = json::readText(object, QStringLiteral("country"));
    address->m_full = json::readText(object, QStringLiteral("full"));
    address->m_poBox = json::readText(object, QStringLiteral("poBox"));
    address->m_state = json::readText(object, QStringLiteral("state"));
    address->m_zipCode = json::readText(object, QStringLiteral("zipCode"));
    return address;
}

} // namespace kova
