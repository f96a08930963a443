#include "core/store/KOVBankCard.h"

#include "core/records/KOVCard.h"
#include "core/store/KOVConnection.h"
#include "platform/foundation/Json.h"

namespace kova {

platform::FetchRequest KOVBankCard::subaccountWithCardID(const QString &cardID, const QString &userID,
                                                         const QString &clientUserID)
{
    platform::FetchRequest request = fetchRequest();
    if (!cardID.isNull())
        request.addTerm(QStringLiteral("cardID"), cardID);
    if (!userID.isNull())
        request.addTerm(QStringLiteral("connection.userID"), userID);
    if (!clientUserID.isNull())
        request.addTerm(QStringLiteral("connection.clientUserID"), clientUserID);
    return request;
}

QString KOVBankCard::cardID() const
{
    return text(QStringLiteral("cardID"));
}

void KOVBankCard::setCardID(const QString &cardID)
{
    setText(QStringLiteral("cardID"), cardID);
}

QString KOVBankCard::jsonResponse() const
{
    return text(QStringLiteral("jsonResponse"));
}

void KOVBankCard::setJsonResponse(const QString &jsonResponse)
{
    setText(QStringLiteral("jsonResponse"), jsonResponse);
}

std::shared_ptr<KOVConnection> KOVBankCard::connection() const
{
    return toOne<KOVConnection>(QStringLiteral("connection"));
}

void KOVBankCard::setConnection(const std::shared_ptr<KOVConnection> &connection)
{
    setToOne(QStringLiteral("connection"), connection);
}

std::shared_ptr<KOVCard> KOVBankCard::toCard() const
{
    const QString stored = cardID();
    if (stored.isNull())
        return nullptr;
    auto parsed = platform::json::parseObject(jsonResponse().toUtf8());
    const QJsonObject *reply = std::get_if<QJsonObject>(&parsed);
    if (!reply)
        return nullptr;
    std::shared_ptr<KOVCard> match;
    for (const auto &card : KOVCard::initCardsWithDictionary(*reply))
        if (!card->cardID().isNull() && card->cardID() == stored)
            match = card;
    return match;
}

} // namespace kova
