#include "core/records/KOVCard.h"

#include "core/records/KOVRecordDate.h"
#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

KOVCard::KOVCard()
    : m_balance(std::make_shared<KOVCardBalance>())
{
}

std::shared_ptr<KOVCard> KOVCard::initWithDictionary(const QJsonValue &dictionary)
{
    auto card = std::make_shared<KOVCard>();
    card->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return card;
    const QJsonObject object = dictionary.toObject();
    card->m_cardNumber = json::readIdentifier(object, QStringLiteral("cardNumber"));
    card->m_creditLimit = json::readNumberValue(object, QStringLiteral("creditLimit"));
    card->m_expiryDate = parseRecordDate(json::readText(object, QStringLiteral("expiryDate")),
                                         KOVRecordDateFormat::WithSeconds);
    card->m_status = json::readText(object, QStringLiteral("status"));
    card->m_name = json::readText(object, QStringLiteral("name"));
    card->m_cardID = json::readIdentifier(object, QStringLiteral("id"));
    card->m_type = json::readText(object, QStringLiteral("type"));
    card->m_currency = KOVPair::initWithDictionary(object.value(QStringLiteral("currency")));
    card->m_balance = KOVCardBalance::initWithDictionary(object.value(QStringLiteral("balance")));
    return card;
}

QList<std::shared_ptr<KOVCard>> KOVCard::initCardsWithDictionary(const QJsonObject &reply)
{
    QList<std::shared_ptr<KOVCard>> cards;
    const QJsonArray list = json::readList(reply, QStringLiteral("cards")).value_or(QJsonArray());
    for (const QJsonObject &element : json::objectsIn(list)) {
        std::shared_ptr<KOVCard> card = initWithDictionary(element);
        card->setDictionaryRepresentation(reply);
        cards.append(std::move(card));
    }
    return cards;
}

} // namespace kova
