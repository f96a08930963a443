#include "core/records/KOVAddress.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

KOVAddress KOVAddress::initWithDictionary(const QJsonValue &dictionary)
{
    KOVAddress address;
    const QJsonObject object = dictionary.toObject();
    address.m_flat = json::readText(object, QStringLiteral("flat"));
    address.m_building = json::readText(object, QStringLiteral("building"));
    address.m_area = json::readText(object, QStringLiteral("area"));
    address.m_poBox = json::readText(object, QStringLiteral("poBox"));
    address.m_city = json::readText(object, QStringLiteral("city"));
    address.m_state = json::readText(object, QStringLiteral("state"));
    address.m_country = json::readText(object, QStringLiteral("country"));
    address.m_full = json::readText(object, QStringLiteral("full"));
    return address;
}

} // namespace kova
