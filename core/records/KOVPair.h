#pragma once

#include <QJsonValue>
#include <QString>

namespace kova {

// A code and its name: a currency (ISO code and name) or a country.
class KOVPair {
public:
    // Anything but an object gives an empty pair.
    static KOVPair initWithDictionary(const QJsonValue &dictionary);

    const QString &code() const { return m_code; }
    void setCode(const QString &code) { m_code = code; }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }

    bool operator==(const KOVPair &other) const = default;

private:
    QString m_code;
    QString m_name;
};

} // namespace kova
