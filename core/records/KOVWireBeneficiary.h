#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>

#include "core/records/DictionaryRepresentable.h"
#include "core/records/KOVLinesAddress.h"

namespace kova {

// A wire beneficiary the host fills in (or reads from JSON) to create it at
// the bank or to pay it. Its dictionaryRepresentation is always the request
// body built from its fields, never the JSON it was read from.
class KOVWireBeneficiary : public DictionaryRepresentable {
public:
    KOVWireBeneficiary() = default;
    KOVWireBeneficiary(const KOVWireBeneficiary &) = delete;
    KOVWireBeneficiary &operator=(const KOVWireBeneficiary &) = delete;

    static std::shared_ptr<KOVWireBeneficiary> initWithDictionary(const QJsonValue &dictionary);

    // The request body: all fifteen keys, an absent field as JSON null, the
    // country in capitals, the type "local" when none is set.
    QJsonObject dictionaryRepresentation() const override;
    // Keeps the JSON the object was read from; the body never uses it.
    void setDictionaryRepresentation(const QJsonObject &dictionary) override;

    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QString &firstName() const { return m_firstName; }
    void setFirstName(const QString &firstName) { m_firstName = firstName; }
    const QString &lastName() const { return m_lastName; }
    void setLastName(const QString &lastName) { m_lastName = lastName; }
    const QString &nickname() const { return m_nickname; }
    void setNickname(const QString &nickname) { m_nickname = nickname; }
    const QString &accountNumber() const { return m_accountNumber; }
    void setAccountNumber(const QString &accountNumber) { m_accountNumber = accountNumber; }
    const QString &routingNumber() const { return m_routingNumber; }
    void setRoutingNumber(const QString &routingNumber) { m_routingNumber = routingNumber; }
    const QString &receiverAccountType() const { return m_receiverAccountType; }
    void setReceiverAccountType(const QString &type) { m_receiverAccountType = type; }
    const QString &receiverType() const { return m_receiverType; }
    void setReceiverType(const QString &receiverType) { m_receiverType = receiverType; }
    const QString &zipCode() const { return m_zipCode; }
    void setZipCode(const QString &zipCode) { m_zipCode = zipCode; }
    const QString &country() const { return m_country; }
    void setCountry(const QString &country) { m_country = country; }
    const QString &state() const { return m_state; }
    void setState(const QString &state) { m_state = state; }
    const QString &city() const { return m_city; }
    void setCity(const QString &city) { m_city = city; }
    const QString &bankName() const { return m_bankName; }
    void setBankName(const QString &bankName) { m_bankName = bankName; }
    const std::optional<KOVLinesAddress> &linesAddress() const { return m_linesAddress; }
    void setLinesAddress(std::optional<KOVLinesAddress> linesAddress) { m_linesAddress = std::move(linesAddress); }
    const QString &type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }

private:
    mutable std::mutex m_keptMutex;
    QJsonObject m_keptDictionary;

    QString m_name;
    QString m_firstName;
    QString m_lastName;
    QString m_nickname;
    QString m_accountNumber;
    QString m_routingNumber;
    QString m_receiverAccountType;
    QString m_receiverType;
    QString m_zipCode;
    QString m_country;
    QString m_state;
    QString m_city;
    QString m_bankName;
    std::optional<KOVLinesAddress> m_linesAddress;
    QString m_type;
};

} // namespace kova
