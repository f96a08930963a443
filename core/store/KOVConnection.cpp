#include "core/store/KOVConnection.h"

#include "core/store/KOVBankCard.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVSubaccount.h"

namespace kova {

platform::FetchRequest KOVConnection::fetchRequestWithUserID(const QString &userID, const QString &clientUserID, bool onlyValid)
{
    platform::FetchRequest request = fetchRequest();
    request.setSortDescriptors({{QStringLiteral("createdAt"), true}});
    if (!clientUserID.isNull())
        request.addTerm(QStringLiteral("clientUserID"), clientUserID);
    if (!userID.isNull())
        request.addTerm(QStringLiteral("userID"), userID);
    if (onlyValid)
        request.addTerm(QStringLiteral("isValid"), true);
    return request;
}

void KOVConnection::awakeFromInsert()
{
    KOVSignature::awakeFromInsert();
    sign();
}

QString KOVConnection::accessCode() const
{
    return text(QStringLiteral("accessCode"));
}

void KOVConnection::setAccessCode(const QString &accessCode)
{
    setText(QStringLiteral("accessCode"), accessCode);
}

QString KOVConnection::clientUserID() const
{
    return text(QStringLiteral("clientUserID"));
}

void KOVConnection::setClientUserID(const QString &clientUserID)
{
    setText(QStringLiteral("clientUserID"), clientUserID);
}

QString KOVConnection::connectionID() const
{
    return text(QStringLiteral("connectionID"));
}

void KOVConnection::setConnectionID(const QString &connectionID)
{
    setText(QStringLiteral("connectionID"), connectionID);
}

bool KOVConnection::isValid() const
{
    return boolValue(QStringLiteral("isValid"));
}

void KOVConnection::setIsValid(bool isValid)
{
    setBoolValue(QStringLiteral("isValid"), isValid);
}

QString KOVConnection::tokenID() const
{
    return text(QStringLiteral("tokenID"));
}

void KOVConnection::setTokenID(const QString &tokenID)
{
    setText(QStringLiteral("tokenID"), tokenID);
}

QString KOVConnection::userID() const
{
    return text(QStringLiteral("userID"));
}

void KOVConnection::setUserID(const QString &userID)
{
    setText(QStringLiteral("userID"), userID);
}

std::shared_ptr<KOVBankInfo> KOVConnection::bankInfo() const
{
    return toOne<KOVBankInfo>(QStringLiteral("bankInfo"));
}

void KOVConnection::setBankInfo(const std::shared_ptr<KOVBankInfo> &bankInfo)
{
    setToOne(QStringLiteral("bankInfo"), bankInfo);
}

QList<std::shared_ptr<KOVSubaccount>> KOVConnection::subaccounts() const
{
    return toMany<KOVSubaccount>(QStringLiteral("subaccounts"));
}

void KOVConnection::addSubaccountsObject(const std::shared_ptr<KOVSubaccount> &subaccount)
{
    addToMany(QStringLiteral("subaccounts"), subaccount);
}

QList<std::shared_ptr<KOVBankCard>> KOVConnection::cards() const
{
    return toMany<KOVBankCard>(QStringLiteral("cards"));
}

void KOVConnection::addCardsObject(const std::shared_ptr<KOVBankCard> &card)
{
    addToMany(QStringLiteral("cards"), card);
}

} // namespace kova
