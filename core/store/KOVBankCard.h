#pragma once

#include <memory>

#include "core/store/KOVSignature.h"

namespace kova {

class KOVCard;
class KOVConnection;

// One card of a connection, kept as the JSON of the whole cards reply it
// came in.
class KOVBankCard : public KOVSignature {
public:
    static QString entityName() { return QStringLiteral("KOVBankCard"); }
    static platform::FetchRequest fetchRequest() { return platform::FetchRequest(entityName()); }
    // The one card of a login, unsorted; null arguments leave their term out.
    static platform::FetchRequest subaccountWithCardID(const QString &cardID, const QString &userID,
                                                       const QString &clientUserID);

    QString cardID() const;
    void setCardID(const QString &cardID);
    // Compact UTF-8 JSON of the cards reply.
    QString jsonResponse() const;
    void setJsonResponse(const QString &jsonResponse);

    std::shared_ptr<KOVConnection> connection() const;
    void setConnection(const std::shared_ptr<KOVConnection> &connection);

    // The last card of the stored reply with this record's card ID; null when
    // the reply is missing, not JSON, has no "cards" or no such card.
    std::shared_ptr<KOVCard> toCard() const;
};

} // namespace kova
