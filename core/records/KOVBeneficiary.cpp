#include "core/records/KOVBeneficiary.h"

namespace kova {

namespace {

QJsonValue textOrNull(const QString &text)
{
    return text.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

} // namespace

QJsonObject KOVBeneficiary::dictionaryRepresentation() const
{
    QJsonObject body;
    body.insert(QStringLiteral("address"),
                m_linesAddress ? QJsonValue(m_linesAddress->dicrionaryRepresentation()) : QJsonValue(QJsonValue::Null));
    body.insert(QStringLiteral("accountNumber"), textOrNull(m_accountNumber));
    body.insert(QStringLiteral("name"), textOrNull(m_name));
    body.insert(QStringLiteral("bankName"), textOrNull(m_bankName));
    body.insert(QStringLiteral("swiftCode"), textOrNull(m_swiftCode));
    body.insert(QStringLiteral("iban"), textOrNull(m_iban));
    body.insert(QStringLiteral("phoneNumber"), textOrNull(m_phoneNumber));
    body.insert(QStringLiteral("country"), m_country.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(m_country.toUpper()));
    body.insert(QStringLiteral("branchAddress"), textOrNull(m_branchAddress));
    body.insert(QStringLiteral("branchName"), textOrNull(m_branchName));
    body.insert(QStringLiteral("nickname"), textOrNull(m_nickname));
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
