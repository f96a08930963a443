#include "core/store/KOVBankInfo.h"

#include "core/store/KOVConnection.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"

namespace kova {

QString KOVBankInfo::bankID() const
{
    return text(QStringLiteral("bankID"));
}

void KOVBankInfo::setBankID(const QString &bankID)
{
    setText(QStringLiteral("bankID"), bankID);
}

QString KOVBankInfo::bankName() const
{
    return text(QStringLiteral("bankName"));
}

void KOVBankInfo::setBankName(const QString &bankName)
{
    setText(QStringLiteral("bankName"), bankName);
}

QString KOVBankInfo::swiftCode() const
{
    return text(QStringLiteral("swiftCode"));
}

void KOVBankInfo::setSwiftCode(const QString &swiftCode)
{
    setText(QStringLiteral("swiftCode"), swiftCode);
}

QString KOVBankInfo::countryName() const
{
    return text(QStringLiteral("countryName"));
}

void KOVBankInfo::setCountryName(const QString &countryName)
{
    setText(QStringLiteral("countryName"), countryName);
}

double KOVBankInfo::beneficiaryCoolDownPeriod() const
{
    return doubleValue(QStringLiteral("beneficiaryCoolDownPeriod"));
}

void KOVBankInfo::setBeneficiaryCoolDownPeriod(double seconds)
{
    setDoubleValue(QStringLiteral("beneficiaryCoolDownPeriod"), seconds);
}

QString KOVBankInfo::fullLogo() const
{
    return text(QStringLiteral("fullLogo"));
}

void KOVBankInfo::setFullLogo(const QString &fullLogo)
{
    setText(QStringLiteral("fullLogo"), fullLogo);
}

QString KOVBankInfo::halfLogo() const
{
    return text(QStringLiteral("halfLogo"));
}

void KOVBankInfo::setHalfLogo(const QString &halfLogo)
{
    setText(QStringLiteral("halfLogo"), halfLogo);
}

QString KOVBankInfo::miniLogo() const
{
    return text(QStringLiteral("miniLogo"));
}

void KOVBankInfo::setMiniLogo(const QString &miniLogo)
{
    setText(QStringLiteral("miniLogo"), miniLogo);
}

std::shared_ptr<KOVFinancialInstitutionColorScheme> KOVBankInfo::colorScheme() const
{
    return toOne<KOVFinancialInstitutionColorScheme>(QStringLiteral("colorScheme"));
}

void KOVBankInfo::setColorScheme(const std::shared_ptr<KOVFinancialInstitutionColorScheme> &colorScheme)
{
    setToOne(QStringLiteral("colorScheme"), colorScheme);
}

std::shared_ptr<KOVConnection> KOVBankInfo::connection() const
{
    return toOne<KOVConnection>(QStringLiteral("connection"));
}

void KOVBankInfo::setConnection(const std::shared_ptr<KOVConnection> &connection)
{
    setToOne(QStringLiteral("connection"), connection);
}

} // namespace kova
