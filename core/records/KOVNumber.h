#pragma once

#include <QJsonValue>
#include <QString>

namespace kova {

// A contact number of a person: its kind (mobile, home…) and the number.
class KOVNumber {
public:
    static KOVNumber initWithDictionary(const QJsonValue &dictionary);

    const QString &type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }
    const QString &value() const { return m_value; }
    void setValue(const QString &value) { m_value = value; }

    bool operator==(const KOVNumber &other) const = default;

private:
    QString m_type;
    QString m_value;
};

} // namespace kova
