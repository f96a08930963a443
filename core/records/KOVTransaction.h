#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <memory>
#include <optional>

#include "core/records/KOVPair.h"
#include "core/records/KOVRecord.h"

namespace kova {

// One movement on an account or a card.
class KOVTransaction : public KOVRecord {
public:
    static std::shared_ptr<KOVTransaction> initWithDictionary(const QJsonValue &dictionary);

    const std::optional<double> &beforeAmount() const { return m_beforeAmount; }
    void setBeforeAmount(std::optional<double> beforeAmount) { m_beforeAmount = beforeAmount; }
    const std::optional<double> &afterAmount() const { return m_afterAmount; }
    void setAfterAmount(std::optional<double> afterAmount) { m_afterAmount = afterAmount; }
    const std::optional<double> &amount() const { return m_amount; }
    void setAmount(std::optional<double> amount) { m_amount = amount; }
    const KOVPair &currency() const { return m_currency; }
    void setCurrency(const KOVPair &currency) { m_currency = currency; }
    // "yyyy-MM-dd'T'HH:mm:ss.SSSZ"; null when the text is missing or not in that layout.
    const QDateTime &date() const { return m_date; }
    void setDate(const QDateTime &date) { m_date = date; }
    const QString &transactionDescription() const { return m_transactionDescription; }
    void setTransactionDescription(const QString &description) { m_transactionDescription = description; }
    const QString &details() const { return m_details; }
    void setDetails(const QString &details) { m_details = details; }
    const QString &type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }

private:
    std::optional<double> m_beforeAmount;
    std::optional<double> m_afterAmount;
    std::optional<double> m_amount;
    KOVPair m_currency;
    QDateTime m_date;
    QString m_transactionDescription;
    QString m_details;
    QString m_type;
};

} // namespace kova
