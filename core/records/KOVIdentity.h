#pragma once

#include <QJsonValue>
#include <QList>
#include <QString>
#include <memory>

#include "core/records/KOVAddress.h"
#include "core/records/KOVIdentification.h"
#include "core/records/KOVNumber.h"
#include "core/records/KOVRecord.h"

namespace kova {

// The account holder as the bank knows them.
class KOVIdentity : public KOVRecord {
public:
    static std::shared_ptr<KOVIdentity> initWithDictionary(const QJsonValue &dictionary);

    const QString &nationality() const { return m_nationality; }
    void setNationality(const QString &nationality) { m_nationality = nationality; }
    // Kept as the bank wrote it: banks disagree on the layout.
    const QString &dateOfBirth() const { return m_dateOfBirth; }
    void setDateOfBirth(const QString &dateOfBirth) { m_dateOfBirth = dateOfBirth; }
    const QList<KOVNumber> &numbers() const { return m_numbers; }
    void setNumbers(const QList<KOVNumber> &numbers) { m_numbers = numbers; }
    const QString &emailAddress() const { return m_emailAddress; }
    void setEmailAddress(const QString &emailAddress) { m_emailAddress = emailAddress; }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const KOVAddress &address() const { return m_address; }
    void setAddress(const KOVAddress &address) { m_address = address; }
    const QList<KOVIdentification> &identifications() const { return m_identifications; }
    void setIdentifications(const QList<KOVIdentification> &identifications) { m_identifications = identifications; }

private:
    QString m_nationality;
    QString m_dateOfBirth;
    QList<KOVNumber> m_numbers;
    QString m_emailAddress;
    QString m_name;
    KOVAddress m_address;
    QList<KOVIdentification> m_identifications;
};

} // namespace kova
