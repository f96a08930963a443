#pragma once

#include <QJsonValue>
#include <QString>

namespace kova {

// A postal address of a person, part by part, as the identity reply gives it.
class KOVAddress {
public:
    static KOVAddress initWithDictionary(const QJsonValue &dictionary);

    const QString &flat() const { return m_flat; }
    void setFlat(const QString &flat) { m_flat = flat; }
    const QString &building() const { return m_building; }
    void setBuilding(const QString &building) { m_building = building; }
    const QString &area() const { return m_area; }
    void setArea(const QString &area) { m_area = area; }
    const QString &poBox() const { return m_poBox; }
    void setPoBox(const QString &poBox) { m_poBox = poBox; }
    const QString &city() const { return m_city; }
    void setCity(const QString &city) { m_city = city; }
    const QString &state() const { return m_state; }
    void setState(const QString &state) { m_state = state; }
    const QString &country() const { return m_country; }
    void setCountry(const QString &country) { m_country = country; }
    const QString &full() const { return m_full; }
    void setFull(const QString &full) { m_full = full; }

    bool operator==(const KOVAddress &other) const = default;

private:
    QString m_flat;
    QString m_building;
    QString m_area;
    QString m_poBox;
    QString m_city;
    QString m_state;
    QString m_country;
    QString m_full;
};

} // namespace kova
