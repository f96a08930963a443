#pragma once

#include <memory>

#include "core/store/KOVSignature.h"

namespace kova {

class KOVBankInfo;

// A bank's two colours as the connect page gave them, as hex text.
class KOVFinancialInstitutionColorScheme : public KOVSignature {
public:
    static QString entityName() { return QStringLiteral("KOVFinancialInstitutionColorScheme"); }
    static platform::FetchRequest fetchRequest() { return platform::FetchRequest(entityName()); }

    QString mainColor() const;
    void setMainColor(const QString &mainColor);
    QString secondaryColor() const;
    void setSecondaryColor(const QString &secondaryColor);

    std::shared_ptr<KOVBankInfo> bankInfo() const;
    void setBankInfo(const std::shared_ptr<KOVBankInfo> &bankInfo);
};

} // namespace kova
