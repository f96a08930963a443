#pragma once

#include <QJsonValue>
#include <QString>
#include <QtGui/QColor>

namespace kova {

// A bank's two brand colours, with the hex texts they came from when they
// were read from JSON.
class KOVFinancialInstitutionColor {
public:
    // Each colour is read through colorWithHexString, so unreadable or
    // missing text gives the fallback colour; anything but an object counts
    // as an object without colours.
    static KOVFinancialInstitutionColor initWithDictionary(const QJsonValue &dictionary);

    const QColor &primaryColor() const { return m_primaryColor; }
    void setPrimaryColor(const QColor &primaryColor) { m_primaryColor = primaryColor; }
    const QColor &secondaryColor() const { return m_secondaryColor; }
    void setSecondaryColor(const QColor &secondaryColor) { m_secondaryColor = secondaryColor; }
    const QString &hexPrimaryColor() const { return m_hexPrimaryColor; }
    void setHexPrimaryColor(const QString &hexPrimaryColor) { m_hexPrimaryColor = hexPrimaryColor; }
    const QString &hexSecondaryColor() const { return m_hexSecondaryColor; }
    void setHexSecondaryColor(const QString &hexSecondaryColor) { m_hexSecondaryColor = hexSecondaryColor; }

    bool operator==(const KOVFinancialInstitutionColor &other) const = default;

private:
    QColor m_primaryColor;
    QColor m_secondaryColor;
    QString m_hexPrimaryColor;
    QString m_hexSecondaryColor;
};

} // namespace kova
