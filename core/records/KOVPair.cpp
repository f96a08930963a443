#include "core/records/KOVPair.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

KOVPair KOVPair::initWithDictionary(const QJsonValue &dictionary)
{
    KOVPair pair;
    const QJsonObject object = dictionary.toObject();
    pair.m_code = json::readText(object, QStringLiteral("code"));
    pair.m_name = json::readText(object, QStringLiteral("name"));
    return pair;
}

} // namespace kova
