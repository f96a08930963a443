#pragma once

#include <QJsonValue>
#include <QList>
#include <QString>
#include <memory>

#include "core/records/KOVBeneficiary.h"
#include "core/records/KOVLinesAddress.h"
#include "core/records/KOVPair.h"
#include "core/records/KOVRecord.h"
#include "core/records/KOVTransferBound.h"

namespace kova {

// What a bank says about itself for payments: where it is, its SWIFT code,
// its transfer bounds, and how long it keeps history and holds new beneficiaries.
class KOVBankMetadata : public KOVRecord {
public:
    static std::shared_ptr<KOVBankMetadata> initWithDictionary(const QJsonValue &dictionary);

    // A new beneficiary holding the bank's own details (the country by its
    // name), for a host to complete with the payee's.
    std::shared_ptr<KOVBeneficiary> basicBeneficiaryInfo() const;

    const KOVLinesAddress &linesAddress() const { return m_linesAddress; }
    void setLinesAddress(const KOVLinesAddress &linesAddress) { m_linesAddress = linesAddress; }
    const QString &bankName() const { return m_bankName; }
    void setBankName(const QString &bankName) { m_bankName = bankName; }
    const QString &branchAddress() const { return m_branchAddress; }
    void setBranchAddress(const QString &branchAddress) { m_branchAddress = branchAddress; }
    const QString &branchName() const { return m_branchName; }
    void setBranchName(const QString &branchName) { m_branchName = branchName; }
    const QString &swiftCode() const { return m_swiftCode; }
    void setSwiftCode(const QString &swiftCode) { m_swiftCode = swiftCode; }
    // Read from "isCreateBeneficiaryEndpointRequired"; the accessor keeps the
    // spelling hosts already call.
    bool isCreateBeneficairyEndpointRequired() const { return m_isCreateBeneficairyEndpointRequired; }
    void setIsCreateBeneficairyEndpointRequired(bool required) { m_isCreateBeneficairyEndpointRequired = required; }
    const QList<KOVTransferBound> &transferBounds() const { return m_transferBounds; }
    void setTransferBounds(const QList<KOVTransferBound> &transferBounds) { m_transferBounds = transferBounds; }
    const KOVPair &country() const { return m_country; }
    void setCountry(const KOVPair &country) { m_country = country; }
    // Seconds, from "transactionRange".
    double transactionsRetentionPeriod() const { return m_transactionsRetentionPeriod; }
    void setTransactionsRetentionPeriod(double seconds) { m_transactionsRetentionPeriod = seconds; }
    // Seconds.
    double beneficiaryCoolDownPeriod() const { return m_beneficiaryCoolDownPeriod; }
    void setBeneficiaryCoolDownPeriod(double seconds) { m_beneficiaryCoolDownPeriod = seconds; }

private:
    KOVLinesAddress m_linesAddress;
    QString m_bankName;
    QString m_branchAddress;
    QString m_branchName;
    QString m_swiftCode;
    bool m_isCreateBeneficairyEndpointRequired = false;
    QList<KOVTransferBound> m_transferBounds;
    KOVPair m_country;
    double m_transactionsRetentionPeriod = 0;
    double m_beneficiaryCoolDownPeriod = 0;
};

} // namespace kova
