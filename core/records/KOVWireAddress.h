#pragma once

#include <QJsonValue>
#include <QString>
#include <memory>

#include "core/records/KOVRecord.h"

namespace kova {

// The address of a wire beneficiary that the bank lists.
class KOVWireAddress : public KOVRecord {
public:
    static std::shared_ptr<KOVWireAddress> initWithDictionary(const QJsonValue &dictionary);

    const QString &city() const { return m_city; }
    void setCity(const QString &city) { m_city = city; }
    const QString &country() const { return m_country; }
    void setCountry(const QString &country) { m_country = country; }
    const QString &full() const { return m_full; }
    void setFull(const QString &full) { m_full = full; }
    const QString &poBox() const { return m_poBox; }
    void setPoBox(const QString &poBox) { m_poBox = poBox; }
    const QString &state() const { return m_state; }
    void setState(const QString &state) { m_state = state; }
    const QString &zipCode() const { return m_zipCode; }
    void setZipCode(const QString &zipCode) { m_zipCode = zipCode; }

private:
    QString m_city;
    QString m_country;
    QString m_full;
    QString m_poBox;
    QString m_state;
    QString m_zipCode;
};

} // namespace kova
