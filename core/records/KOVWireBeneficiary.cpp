#include "core/records/KOVWireBeneficiary.h"

#include "core/records/KOVBeneficiary.h"
#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

std::shared_ptr<KOVWireBeneficiary> KOVWireBeneficiary::initWithDictionary(const QJsonValue &dictionary)
{
    auto beneficiary = std::make_shared<KOVWireBeneficiary>();
    beneficiary->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return beneficiary;
    const QJsonObject object = dictionary.toObject();
    beneficiary->m_name = json::readText(object, QStringLiteral("name"));
    beneficiary->m_firstName = json::readText(object, QStringLiteral("firstName"));
    beneficiary->m_lastName = json::readText(object, QStringLiteral("lastName"));
    beneficiary->m_nickname = json::readText(object, QStringLiteral("nickname"));
    beneficiary->m_accountNumber = json::readIdentifier(object, QStringLiteral("accountNumber"));
    beneficiary->m_routingNumber = json::readIdentifier(object, QStringLiteral("routingNumber"));
    beneficiary->m_receiverAccountType = json::readText(object, QStringLiteral("receiverAccountType"));
    beneficiary->m_receiverType = json::readText(object, QStringLiteral("receiverType"));
    beneficiary->m_zipCode = json::readText(object, QStringLiteral("zipCode"));
    beneficiary->m_country = json::readText(object, QStringLiteral("country"));
    beneficiary->m_state = json::readText(object, QStringLiteral("state"));
    beneficiary->m_city = json::readText(object, QStringLiteral("city"));
    beneficiary->m_bankName = json::readText(object, QStringLiteral("bankName"));
    if (const std::optional<QJsonObject> lines = json::readObject(object, QStringLiteral("linesAddress")))
        beneficiary->m_linesAddress = KOVLinesAddress::initWithDictionary(*lines);
    beneficiary->m_type = json::readText(object, QStringLiteral("type"));
    return beneficiary;
}

QJsonObject KOVWireBeneficiary::dictionaryRepresentation() const
{
    QJsonObject body;
    body.insert(QStringLiteral("name"), json::textOrNull(m_name));
    body.insert(QStringLiteral("firstName"), json::textOrNull(m_firstName));
    body.insert(QStringLiteral("lastName"), json::textOrNull(m_lastName));
    body.insert(QStringLiteral("routingNumber"), json::textOrNull(m_routingNumber));
    body.insert(QStringLiteral("receiverAccountType"), json::textOrNull(m_receiverAccountType));
    body.insert(QStringLiteral("nickname"), json::textOrNull(m_nickname));
    body.insert(QStringLiteral("accountNumber"), json::textOrNull(m_accountNumber));
    body.insert(QStringLiteral("country"), json::textOrNull(m_country.toUpper()));
    body.insert(QStringLiteral("receiverType"), json::textOrNull(m_receiverType));
    body.insert(QStringLiteral("zipCode"), json::textOrNull(m_zipCode));
    body.insert(QStringLiteral("state"), json::textOrNull(m_state));
    body.insert(QStringLiteral("city"), json::textOrNull(m_city));
    body.insert(QStringLiteral("bankName"), json::textOrNull(m_bankName));
    body.insert(QStringLiteral("address"),
                m_linesAddress ? QJsonValue(m_linesAddress->dicrionaryRepresentation()) : QJsonValue(QJsonValue::Null));
    body.insert(QStringLiteral("type"), m_type.isNull() ? KOVBeneficiaryTypeLocal : m_type);
    return body;
}

void KOVWireBeneficiary::setDictionaryRepresentation(const QJsonObject &dictionary)
{
    QJsonObject copy = dictionary;
    std::lock_guard lock(m_keptMutex);
    m_keptDictionary.swap(copy);
}

} // namespace kova
