#pragma once

#include <QJsonValue>
#include <QString>
#include <memory>
#include <optional>

#include "core/records/KOVPair.h"
#include "core/records/KOVRecord.h"

namespace kova {

// An amount in a currency for an account number. The SDK never builds one;
// hosts may.
class KOVBalance : public KOVRecord {
public:
    static std::shared_ptr<KOVBalance> initWithDictionary(const QJsonValue &dictionary);

    const std::optional<double> &amount() const { return m_amount; }
    void setAmount(std::optional<double> amount) { m_amount = amount; }
    const KOVPair &currency() const { return m_currency; }
    void setCurrency(const KOVPair &currency) { m_currency = currency; }
    const QString &accountNumber() const { return m_accountNumber; }
    void setAccountNumber(const QString &accountNumber) { m_accountNumber = accountNumber; }

private:
    std::optional<double> m_amount;
    KOVPair m_currency;
    QString m_accountNumber;
};

} // namespace kova
