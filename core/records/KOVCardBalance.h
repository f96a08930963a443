#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <memory>
#include <optional>

#include "core/records/KOVRecord.h"

namespace kova {

// What a card owes and can still spend.
class KOVCardBalance : public KOVRecord {
public:
    static std::shared_ptr<KOVCardBalance> initWithDictionary(const QJsonValue &dictionary);

    const std::optional<double> &amountDue() const { return m_amountDue; }
    void setAmountDue(std::optional<double> amountDue) { m_amountDue = amountDue; }
    const std::optional<double> &availableBalance() const { return m_availableBalance; }
    void setAvailableBalance(std::optional<double> availableBalance) { m_availableBalance = availableBalance; }
    const std::optional<double> &outstandingBalance() const { return m_outstandingBalance; }
    void setOutstandingBalance(std::optional<double> outstandingBalance) { m_outstandingBalance = outstandingBalance; }
    // "yyyy-MM-dd'T'HH:mm:ssZ"; null when the text is missing or not in that layout.
    const QDateTime &dueDate() const { return m_dueDate; }
    void setDueDate(const QDateTime &dueDate) { m_dueDate = dueDate; }

private:
    std::optional<double> m_amountDue;
    std::optional<double> m_availableBalance;
    std::optional<double> m_outstandingBalance;
    QDateTime m_dueDate;
};

} // namespace kova
