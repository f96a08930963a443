#include "core/records/KOVTransferBound.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

KOVTransferBound KOVTransferBound::initWithDictionary(const QJsonValue &dictionary)
{
    KOVTransferBound bound;
    const QJsonObject object = dictionary.toObject();
    bound.m_currency = KOVPair::initWithDictionary(object.value(QStringLiteral("currency")));
    bound.m_minimum = json::readNumberValue(object, QStringLiteral("minimum"));
    bound.m_type = json::readText(object, QStringLiteral("type"));
    return bound;
}

} // namespace kova
