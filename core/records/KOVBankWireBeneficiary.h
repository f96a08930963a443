#pragma once

#include <QJsonValue>
#include <QString>
#include <memory>

#include "core/records/KOVRecord.h"
#include "core/records/KOVWireAddress.h"

namespace kova {

// A wire beneficiary that the bank already lists for the user.
class KOVBankWireBeneficiary : public KOVRecord {
public:
    KOVBankWireBeneficiary();

    static std::shared_ptr<KOVBankWireBeneficiary> initWithDictionary(const QJsonValue &dictionary);

    const QString &accountNumber() const { return m_accountNumber; }
    void setAccountNumber(const QString &accountNumber) { m_accountNumber = accountNumber; }
    // Never null: a missing or null "address" gives an empty one.
    const std::shared_ptr<KOVWireAddress> &address() const { return m_address; }
    void setAddress(std::shared_ptr<KOVWireAddress> address) { m_address = std::move(address); }
    const QString &bankName() const { return m_bankName; }
    void setBankName(const QString &bankName) { m_bankName = bankName; }
    const QString &accountID() const { return m_accountID; }
    void setAccountID(const QString &accountID) { m_accountID = accountID; }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QString &routingNumber() const { return m_routingNumber; }
    void setRoutingNumber(const QString &routingNumber) { m_routingNumber = routingNumber; }
    // Banks send these as text, numbers or objects, so they are kept as sent;
    // undefined when missing or null.
    const QJsonValue &status() const { return m_status; }
    void setStatus(const QJsonValue &status) { m_status = status; }
    const QJsonValue &type() const { return m_type; }
    void setType(const QJsonValue &type) { m_type = type; }

private:
    QString m_accountNumber;
    std::shared_ptr<KOVWireAddress> m_address;
    QString m_bankName;
    QString m_accountID;
    QString m_name;
    QString m_routingNumber;
    QJsonValue m_status{QJsonValue::Undefined};
    QJsonValue m_type{QJsonValue::Undefined};
};

} // namespace kova
