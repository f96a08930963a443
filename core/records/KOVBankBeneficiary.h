#pragma once

#include <QJsonValue>
#include <QString>
#include <memory>

#include "core/records/KOVRecord.h"

namespace kova {

// A local or same-bank beneficiary that the bank already lists for the user.
class KOVBankBeneficiary : public KOVRecord {
public:
    static std::shared_ptr<KOVBankBeneficiary> initWithDictionary(const QJsonValue &dictionary);

    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QString &accountNumber() const { return m_accountNumber; }
    void setAccountNumber(const QString &accountNumber) { m_accountNumber = accountNumber; }
    const QString &iban() const { return m_iban; }
    void setIban(const QString &iban) { m_iban = iban; }
    const QString &type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }
    const QString &status() const { return m_status; }
    void setStatus(const QString &status) { m_status = status; }
    // The beneficiary's ID at the bank, under "id".
    const QString &accountID() const { return m_accountID; }
    void setAccountID(const QString &accountID) { m_accountID = accountID; }

private:
    QString m_name;
    QString m_accountNumber;
    QString m_iban;
    QString m_type;
    QString m_status;
    QString m_accountID;
};

} // namespace kova
