#pragma once

#include <QJsonValue>
#include <QString>
#include <optional>

namespace kova {

// A length of time as the service writes it: a number and a unit.
class KOVMeasure {
public:
    static KOVMeasure initWithDictionary(const QJsonValue &dictionary);

    // The value in seconds: "hrs" and "days" (exactly so spelt) scale it, any
    // other unit is taken as seconds; no value gives 0.
    double toSeconds() const;

    const QString &unit() const { return m_unit; }
    void setUnit(const QString &unit) { m_unit = unit; }
    const std::optional<double> &value() const { return m_value; }
    void setValue(std::optional<double> value) { m_value = value; }

    bool operator==(const KOVMeasure &other) const = default;

private:
    QString m_unit;
    std::optional<double> m_value;
};

} // namespace kova
