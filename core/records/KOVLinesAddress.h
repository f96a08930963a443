#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace kova {

// An address as up to three free lines: a bank's, or a beneficiary's.
class KOVLinesAddress {
public:
    static KOVLinesAddress initWithDictionary(const QJsonValue &dictionary);

    // {"line1", "line2", "line3"}, every key present, an absent line as JSON
    // null. The name is spelt as hosts already call it.
    QJsonObject dicrionaryRepresentation() const;

    const QString &line1() const { return m_line1; }
    void setLine1(const QString &line1) { m_line1 = line1; }
    const QString &line2() const { return m_line2; }
    void setLine2(const QString &line2) { m_line2 = line2; }
    const QString &line3() const { return m_line3; }
    void setLine3(const QString &line3) { m_line3 = line3; }

    bool operator==(const KOVLinesAddress &other) const = default;

private:
    QString m_line1;
    QString m_line2;
    QString m_line3;
};

} // namespace kova
