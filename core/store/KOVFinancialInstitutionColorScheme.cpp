#include "core/store/KOVFinancialInstitutionColorScheme.h"

#include "core/store/KOVBankInfo.h"

namespace kova {

QString KOVFinancialInstitutionColorScheme::mainColor() const
{
    return text(QStringLiteral("mainColor"));
}

void KOVFinancialInstitutionColorScheme::setMainColor(const QString &mainColor)
{
    setText(QStringLiteral("mainColor"), mainColor);
}

QString KOVFinancialInstitutionColorScheme::secondaryColor() const
{
    return text(QStringLiteral("secondaryColor"));
}

void KOVFinancialInstitutionColorScheme::setSecondaryColor(const QString &secondaryColor)
{
    setText(QStringLiteral("secondaryColor"), secondaryColor);
}

std::shared_ptr<KOVBankInfo> KOVFinancialInstitutionColorScheme::bankInfo() const
{
    return toOne<KOVBankInfo>(QStringLiteral("bankInfo"));
}

void KOVFinancialInstitutionColorScheme::setBankInfo(const std::shared_ptr<KOVBankInfo> &bankInfo)
{
    setToOne(QStringLiteral("bankInfo"), bankInfo);
}

} // namespace kova
