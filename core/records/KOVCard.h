#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

#include "core/records/KOVCardBalance.h"
#include "core/records/KOVPair.h"
#include "core/records/KOVRecord.h"

namespace kova {

// The known values of a card's status.
inline const QString KOVCardStatusActive = QStringLiteral("active");
inline const QString KOVCardStatusDisabled = QStringLiteral("disabled");
inline const QString KOVCardStatusBlocked = QStringLiteral("blocked");

// One payment card of a login.
class KOVCard : public KOVRecord {
public:
    KOVCard();

    static std::shared_ptr<KOVCard> initWithDictionary(const QJsonValue &dictionary);
    // One card per object under the reply's "cards", in order; each keeps the
    // whole reply as its JSON, so the store can find it again by its ID.
    // A missing "cards" list gives an empty list.
    static QList<std::shared_ptr<KOVCard>> initCardsWithDictionary(const QJsonObject &reply);

    const QString &cardNumber() const { return m_cardNumber; }
    void setCardNumber(const QString &cardNumber) { m_cardNumber = cardNumber; }
    const std::optional<double> &creditLimit() const { return m_creditLimit; }
    void setCreditLimit(std::optional<double> creditLimit) { m_creditLimit = creditLimit; }
    // "yyyy-MM-dd'T'HH:mm:ssZ"; null when the text is missing or not in that layout.
    const QDateTime &expiryDate() const { return m_expiryDate; }
    void setExpiryDate(const QDateTime &expiryDate) { m_expiryDate = expiryDate; }
    const QString &status() const { return m_status; }
    void setStatus(const QString &status) { m_status = status; }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QString &cardID() const { return m_cardID; }
    void setCardID(const QString &cardID) { m_cardID = cardID; }
    const QString &type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }
    const KOVPair &currency() const { return m_currency; }
    void setCurrency(const KOVPair &currency) { m_currency = currency; }
    // Never null: a card without "balance" has an empty one.
    const std::shared_ptr<KOVCardBalance> &balance() const { return m_balance; }
    void setBalance(std::shared_ptr<KOVCardBalance> balance) { m_balance = std::move(balance); }

private:
    QString m_cardNumber;
    std::optional<double> m_creditLimit;
    QDateTime m_expiryDate;
    QString m_status;
    QString m_name;
    QString m_cardID;
    QString m_type;
    KOVPair m_currency;
    std::shared_ptr<KOVCardBalance> m_balance;
};

} // namespace kova
