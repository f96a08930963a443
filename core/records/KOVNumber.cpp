#include "core/records/KOVNumber.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

KOVNumber KOVNumber::initWithDictionary(const QJsonValue &dictionary)
{
    KOVNumber number;
    const QJsonObject object = dictionary.toObject();
    number.m_type = json::readText(object, QStringLiteral("type"));
    number.m_value = json::readIdentifier(object, QStringLiteral("value"));
    return number;
}

} // namespace kova
