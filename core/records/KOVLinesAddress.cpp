#include "core/records/KOVLinesAddress.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

KOVLinesAddress KOVLinesAddress::initWithDictionary(const QJsonValue &dictionary)
{
    KOVLinesAddress address;
    const QJsonObject object = dictionary.toObject();
    address.m_line1 = json::readText(object, QStringLiteral("line1"));
    address.m_line2 = json::readText(object, QStringLiteral("line2"));
    address.m_line3 = json::readText(object, QStringLiteral("line3"));
    return address;
}

QJsonObject KOVLinesAddress::dicrionaryRepresentation() const
{
    return QJsonObject{
        {QStringLiteral("line1"), json::textOrNull(m_line1)},
        {QStringLiteral("line2"), json::textOrNull(m_line2)},
        {QStringLiteral("line3"), json::textOrNull(m_line3)},
    };
}

} // namespace kova
