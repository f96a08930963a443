#include "core/records/KOVBalance.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

std::shared_ptr<KOVBalance> KOVBalance::initWithDictionary(const QJsonValue &dictionary)
{
    auto balance = std::make_shared<KOVBalance>();
    balance->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return balance;
    const QJsonObject object = dictionary.toObject();
    balance->m_amount = json::readNumberValue(object, QStringLiteral("amount"));
    balance->m_currency = KOVPair::initWithDictionary(object.value(QStringLiteral("currency")));
    balance->m_accountNumber = json::readIdentifier(object, QStringLiteral("accountNumber"));
    return balance;
}

} // namespace kova
