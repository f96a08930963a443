#include "core/records/KOVCardBalance.h"

#include "core/records/KOVRecordDate.h"
#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

std::shared_ptr<KOVCardBalance> KOVCardBalance::initWithDictionary(const QJsonValue &dictionary)
{
    auto balance = std::make_shared<KOVCardBalance>();
    balance->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return balance;
    const QJsonObject object = dictionary.toObject();
    balance->m_amountDue = json::readNumberValue(object, QStringLiteral("amountDue"));
    balance->m_availableBalance = json::readNumberValue(object, QStringLiteral("availableBalance"));
    balance->m_outstandingBalance = json::readNumberValue(object, QStringLiteral("outstandingBalance"));
    balance->m_dueDate = parseRecordDate(json::readText(object, QStringLiteral("dueDate")),
                                         KOVRecordDateFormat::WithSeconds);
    return balance;
}

} // namespace kova
