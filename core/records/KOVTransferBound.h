#pragma once

#include <QJsonValue>
#include <QString>
#include <optional>

#include "core/records/KOVPair.h"

namespace kova {

// The smallest transfer a bank accepts in one currency for one kind of transfer.
class KOVTransferBound {
public:
    static KOVTransferBound initWithDictionary(const QJsonValue &dictionary);

    const KOVPair &currency() const { return m_currency; }
    void setCurrency(const KOVPair &currency) { m_currency = currency; }
    const std::optional<double> &minimum() const { return m_minimum; }
    void setMinimum(std::optional<double> minimum) { m_minimum = minimum; }
    const QString &type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }

    bool operator==(const KOVTransferBound &other) const = default;

private:
    KOVPair m_currency;
    std::optional<double> m_minimum;
    QString m_type;
};

} // namespace kova
