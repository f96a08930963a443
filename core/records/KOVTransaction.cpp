#include "core/records/KOVTransaction.h"

#include "core/records/KOVRecordDate.h"
#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

std::shared_ptr<KOVTransaction> KOVTransaction::initWithDictionary(const QJsonValue &dictionary)
{
    auto transaction = std::make_shared<KOVTransaction>();
    transaction->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return transaction;
    const QJsonObject object = dictionary.toObject();
    transaction->m_beforeAmount = json::readNumberValue(object, QStringLiteral("beforeAmount"));
    transaction->m_afterAmount = json::readNumberValue(object, QStringLiteral("afterAmount"));
    transaction->m_amount = json::readNumberValue(object, QStringLiteral("amount"));
    transaction->m_currency = KOVPair::initWithDictionary(object.value(QStringLiteral("currency")));
    transaction->m_date = parseRecordDate(json::readText(object, QStringLiteral("date")),
                                          KOVRecordDateFormat::WithMilliseconds);
    transaction->m_transactionDescription = json::readText(object, QStringLiteral("description"));
    transaction->m_details = json::readText(object, QStringLiteral("details"));
    transaction->m_type = json::readText(object, QStringLiteral("type"));
    return transaction;
}

} // namespace kova
