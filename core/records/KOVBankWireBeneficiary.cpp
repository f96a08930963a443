#include "core/records/KOVBankWireBeneficiary.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

namespace {

QJsonValue anyValue(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return value.isNull() ? QJsonValue(QJsonValue::Undefined) : value;
}

} // namespace

KOVBankWireBeneficiary::KOVBankWireBeneficiary()
    : m_address(std::make_shared<KOVWireAddress>())
{
}

std::shared_ptr<KOVBankWireBeneficiary> KOVBankWireBeneficiary::initWithDictionary(const QJsonValue &dictionary)
{
    auto beneficiary = std::make_shared<KOVBankWireBeneficiary>();
    beneficiary->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return beneficiary;
    const QJsonObject object = dictionary.toObject();
    beneficiary->m_accountNumber = json::readIdentifier(object, QStringLiteral("accountNumber"));
    beneficiary->m_address = KOVWireAddress::initWithDictionary(object.value(QStringLiteral("address")));
    beneficiary->m_bankName = json::readText(object, QStringLiteral("bankName"));
    beneficiary->m_accountID = json::readIdentifier(object, QStringLiteral("id"));
    beneficiary->m_name = json::readText(object, QStringLiteral("name"));
    beneficiary->m_routingNumber = json::readIdentifier(object, QStringLiteral("routingNumber"));
    beneficiary->m_status = anyValue(object, QStringLiteral("status"));
    beneficiary->m_type = anyValue(object, QStringLiteral("type"));
    return beneficiary;
}

} // namespace kova
