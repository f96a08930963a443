#pragma once

#include <memory>

#include "core/store/KOVSignature.h"

namespace kova {

class KOVConnection;
class KOVFinancialInstitutionColorScheme;

// The bank of one connection.
class KOVBankInfo : public KOVSignature {
public:
    static QString entityName() { return QStringLiteral("KOVBankInfo"); }
    static platform::FetchRequest fetchRequest() { return platform::FetchRequest(entityName()); }

    QString bankID() const;
    void setBankID(const QString &bankID);
    QString bankName() const;
    void setBankName(const QString &bankName);
    QString swiftCode() const;
    void setSwiftCode(const QString &swiftCode);
    QString countryName() const;
    void setCountryName(const QString &countryName);
    // Seconds.
    double beneficiaryCoolDownPeriod() const;
    void setBeneficiaryCoolDownPeriod(double seconds);
    QString fullLogo() const;
    void setFullLogo(const QString &fullLogo);
    QString halfLogo() const;
    void setHalfLogo(const QString &halfLogo);
    QString miniLogo() const;
    void setMiniLogo(const QString &miniLogo);

    std::shared_ptr<KOVFinancialInstitutionColorScheme> colorScheme() const;
    void setColorScheme(const std::shared_ptr<KOVFinancialInstitutionColorScheme> &colorScheme);
    std::shared_ptr<KOVConnection> connection() const;
    void setConnection(const std::shared_ptr<KOVConnection> &connection);
};

} // namespace kova
