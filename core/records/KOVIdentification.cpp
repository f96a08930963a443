#include "core/records/KOVIdentification.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

KOVIdentification KOVIdentification::initWithDictionary(const QJsonValue &dictionary)
{
    KOVIdentification identification;
    const QJsonObject object = dictionary.toObject();
    identification.m_type = json::readText(object, QStringLiteral("type"));
    identification.m_value = json::readIdentifier(object, QStringLiteral("value"));
    return identification;
}

} // namespace kova
