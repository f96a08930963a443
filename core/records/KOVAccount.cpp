#include "core/records/KOVAccount.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

std::shared_ptr<KOVAccount> KOVAccount::initWithDictionary(const QJsonValue &dictionary)
{
    auto account = std::make_shared<KOVAccount>();
    account->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return account;
    const QJsonObject object = dictionary.toObject();
    account->m_iban = json::readText(object, QStringLiteral("iban"));
    account->m_number = json::readIdentifier(object, QStringLiteral("number"));
    account->m_currency = KOVPair::initWithDictionary(object.value(QStringLiteral("currency")));
    account->m_type = json::readText(object, QStringLiteral("type"));
    account->m_name = json::readText(object, QStringLiteral("name"));
    account->m_accountID = json::readIdentifier(object, QStringLiteral("id"));
    const QJsonObject balance = json::readObject(object, QStringLiteral("balance")).value_or(QJsonObject());
    account->m_balance = json::readNumberValue(balance, QStringLiteral("amount")).value_or(0);
    return account;
}

} // namespace kova
