#pragma once

#include <QJsonValue>
#include <QString>
#include <memory>

#include "core/records/KOVPair.h"
#include "core/records/KOVRecord.h"

namespace kova {

// One bank account of a login, as the accounts reply lists it.
class KOVAccount : public KOVRecord {
public:
    // Keeps `dictionary` as the record's JSON (an empty object when it is
    // not one); anything but an object gives an otherwise empty account.
    static std::shared_ptr<KOVAccount> initWithDictionary(const QJsonValue &dictionary);

    const QString &iban() const { return m_iban; }
    void setIban(const QString &iban) { m_iban = iban; }
    const QString &number() const { return m_number; }
    void setNumber(const QString &number) { m_number = number; }
    const KOVPair &currency() const { return m_currency; }
    void setCurrency(const KOVPair &currency) { m_currency = currency; }
    const QString &type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QString &accountID() const { return m_accountID; }
    void setAccountID(const QString &accountID) { m_accountID = accountID; }
    // "amount" inside "balance"; 0 when either is missing.
    double balance() const { return m_balance; }
    void setBalance(double balance) { m_balance = balance; }

private:
    QString m_iban;
    QString m_number;
    KOVPair m_currency;
    QString m_type;
    QString m_name;
    QString m_accountID;
    double m_balance = 0;
};

} // namespace kova
