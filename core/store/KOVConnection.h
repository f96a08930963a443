#pragma once

#include <QList>
#include <memory>

#include "core/store/KOVSignature.h"

namespace kova {

class KOVBankCard;
class KOVBankInfo;
class KOVSubaccount;

// One linked bank login of one client user. Its user secret is not kept
// here but in the keychain, under tokenID followed by userID.
class KOVConnection : public KOVSignature {
public:
    static QString entityName() { return QStringLiteral("KOVConnection"); }
    static platform::FetchRequest fetchRequest() { return platform::FetchRequest(entityName()); }
    // Oldest first; each null argument (and onlyValid NO) leaves its term
    // out, so (null, null, NO) matches every connection.
    static platform::FetchRequest fetchRequestWithUserID(const QString &userID, const QString &clientUserID, bool onlyValid);

    // Stamped at once, so createdAt is the insertion time before any save.
    void awakeFromInsert() override;

    QString accessCode() const;
    void setAccessCode(const QString &accessCode);
    QString clientUserID() const;
    void setClientUserID(const QString &clientUserID);
    QString connectionID() const;
    void setConnectionID(const QString &connectionID);
    // YES for a new record.
    bool isValid() const;
    void setIsValid(bool isValid);
    QString tokenID() const;
    void setTokenID(const QString &tokenID);
    QString userID() const;
    void setUserID(const QString &userID);

    std::shared_ptr<KOVBankInfo> bankInfo() const;
    void setBankInfo(const std::shared_ptr<KOVBankInfo> &bankInfo);
    QList<std::shared_ptr<KOVSubaccount>> subaccounts() const;
    void addSubaccountsObject(const std::shared_ptr<KOVSubaccount> &subaccount);
    QList<std::shared_ptr<KOVBankCard>> cards() const;
    void addCardsObject(const std::shared_ptr<KOVBankCard> &card);
};

} // namespace kova
