#include "core/records/KOVBeneficiary.h"

#include "platform/foundation/Json.h"

namespace kova {

QJsonObject KOVBeneficiary::dictionaryRepresentation() const
{
    QJsonObject body;
    body.insert(QStringLiteral("address"),
                m_linesAddress ? QJsonValue(m_linesAddress->dicrionaryRepresentation()) : QJsonValue(QJsonValue::Null));
    body.insert(QStringLiteral("accountNumber"), platform::json::textOrNull(m_accountNumber));
    body.insert(QStringLiteral("name"), platform::json::textOrNull(m_name));
    body.insert(QStringLiteral("bankName"), platform::json::textOrNull(m_bankName));
    body.insert(QStringLiteral("swiftCode"), platform::json::textOrNull(m_swiftCode));
    body.insert(QStringLiteral("iban"), platform::json::textOrNull(m_iban));
    body.insert(QStringLiteral("phoneNumber"), platform::json::textOrNull(m_phoneNumber));
    body.insert(QStringLiteral("country"), platform::json::textOrNull(m_country.toUpper()));
    body.insert(QStringLiteral("branchAddress"), platform::json::textOrNull(m_branchAddress));
    body.insert(QStringLiteral("branchName"), platform::json::textOrNull(m_branchName));
    body.insert(QStringLiteral("nickname"), platform::json::textOrNull(m_nickname));
    body.insert(QStringLiteral("type"), m_type.isNull() ? KOVBeneficiaryTypeLocal : m_type);
    return body;
}

void KOVBeneficiary::setPhoneNumber(const QString &phoneNumber)
{
    const QString trimmed = phoneNumber.trimmed();
    for (const QLatin1String prefix : {QLatin1String("+971"), QLatin1String("00971")}) {
        if (trimmed.startsWith(prefix)) {
            m_phoneNumber = QLatin1Char('0') + trimmed.mid(prefix.size());
            return;
        }
    }
    m_phoneNumber = phoneNumber;
}

} // namespace kova
