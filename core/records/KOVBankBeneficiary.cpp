#include "core/records/KOVBankBeneficiary.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

std::shared_ptr<KOVBankBeneficiary> KOVBankBeneficiary::initWithDictionary(const QJsonValue &dictionary)
{
    auto beneficiary = std::make_shared<KOVBankBeneficiary>();
    beneficiary->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return beneficiary;
    const QJsonObject object = dictionary.toObject();
    beneficiary->m_name = json::readText(object, QStringLiteral("name"));
    beneficiary->m_accountNumber = json::readIdentifier(object, QStringLiteral("accountNumber"));
    beneficiary->m_iban = json::readText(object, QStringLiteral("iban"));
    beneficiary->m_type = json::readText(object, QStringLiteral("type"));
    beneficiary->m_status = json::readText(object, QStringLiteral("status"));
    beneficiary->m_accountID = json::readIdentifier(object, QStringLiteral("id"));
    return beneficiary;
}

} // namespace kova
