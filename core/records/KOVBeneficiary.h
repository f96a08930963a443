#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

#include "core/records/KOVLinesAddress.h"

namespace kova {

// The known kinds of beneficiary.
inline const QString KOVBeneficiaryTypeSame = QStringLiteral("same");
inline const QString KOVBeneficiaryTypeLocal = QStringLiteral("local");
inline const QString KOVBeneficiaryTypeInternational = QStringLiteral("intl");

// A local or same-bank beneficiary the host fills in to create it at the bank
// or to pay it; sent as its dictionaryRepresentation. Held by std::shared_ptr:
// the bank connection sets the type on the caller's own object.
class KOVBeneficiary {
public:
    // The request body: all twelve keys, an absent field as JSON null, the
    // country in capitals, the type "local" when none is set.
    QJsonObject dictionaryRepresentation() const;

    const std::optional<KOVLinesAddress> &linesAddress() const { return m_linesAddress; }
    void setLinesAddress(std::optional<KOVLinesAddress> linesAddress) { m_linesAddress = std::move(linesAddress); }
    const QString &accountNumber() const { return m_accountNumber; }
    void setAccountNumber(const QString &accountNumber) { m_accountNumber = accountNumber; }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QString &bankName() const { return m_bankName; }
    void setBankName(const QString &bankName) { m_bankName = bankName; }
    const QString &swiftCode() const { return m_swiftCode; }
    void setSwiftCode(const QString &swiftCode) { m_swiftCode = swiftCode; }
    const QString &iban() const { return m_iban; }
    void setIban(const QString &iban) { m_iban = iban; }
    const QString &phoneNumber() const { return m_phoneNumber; }
    // Banks want UAE numbers in their national form: a leading "+971" or
    // "00971" (blanks around the number aside) becomes "0". The same digits
    // further inside the number are part of it and stay.
    void setPhoneNumber(const QString &phoneNumber);
    const QString &country() const { return m_country; }
    void setCountry(const QString &country) { m_country = country; }
    const QString &branchAddress() const { return m_branchAddress; }
    void setBranchAddress(const QString &branchAddress) { m_branchAddress = branchAddress; }
    const QString &branchName() const { return m_branchName; }
    void setBranchName(const QString &branchName) { m_branchName = branchName; }
    const QString &nickname() const { return m_nickname; }
    void setNickname(const QString &nickname) { m_nickname = nickname; }
    const QString &type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }

private:
    std::optional<KOVLinesAddress> m_linesAddress;
    QString m_accountNumber;
    QString m_name;
    QString m_bankName;
    QString m_swiftCode;
    QString m_iban;
    QString m_phoneNumber;
    QString m_country;
    QString m_branchAddress;
    QString m_branchName;
    QString m_nickname;
    QString m_type;
};

} // namespace kova
