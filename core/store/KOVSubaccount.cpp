#include "core/store/KOVSubaccount.h"

#include <QJsonObject>

#include "core/records/KOVAccount.h"
#include "core/store/KOVConnection.h"
#include "platform/foundation/Json.h"

namespace kova {

platform::FetchRequest KOVSubaccount::fetchRequestWithUserID(const QString &userID, const QString &clientUserID,
                                                             bool onlyFetchedAccounts)
{
    platform::FetchRequest request = fetchRequest();
    request.setSortDescriptors({{QStringLiteral("createdAt"), false}});
    if (!clientUserID.isNull())
        request.addTerm(QStringLiteral("connection.clientUserID"), clientUserID);
    if (onlyFetchedAccounts)
        request.addTerm(QStringLiteral("isStillFetching"), false);
    if (!userID.isNull())
        request.addTerm(QStringLiteral("connection.userID"), userID);
    return request;
}

platform::FetchRequest KOVSubaccount::subaccountWithAccountID(const QString &accountID, const QString &userID,
                                                              const QString &clientUserID)
{
    platform::FetchRequest request = fetchRequest();
    if (!accountID.isNull())
        request.addTerm(QStringLiteral("accountId"), accountID);
    if (!userID.isNull())
        request.addTerm(QStringLiteral("connection.userID"), userID);
    if (!clientUserID.isNull())
        request.addTerm(QStringLiteral("connection.clientUserID"), clientUserID);
    return request;
}

QString KOVSubaccount::accountId() const
{
    return text(QStringLiteral("accountId"));
}

void KOVSubaccount::setAccountId(const QString &accountId)
{
    setText(QStringLiteral("accountId"), accountId);
}

QString KOVSubaccount::iban() const
{
    return text(QStringLiteral("iban"));
}

void KOVSubaccount::setIban(const QString &iban)
{
    setText(QStringLiteral("iban"), iban);
}

QString KOVSubaccount::number() const
{
    return text(QStringLiteral("number"));
}

void KOVSubaccount::setNumber(const QString &number)
{
    setText(QStringLiteral("number"), number);
}

QString KOVSubaccount::name() const
{
    return text(QStringLiteral("name"));
}

void KOVSubaccount::setName(const QString &name)
{
    setText(QStringLiteral("name"), name);
}

QString KOVSubaccount::type() const
{
    return text(QStringLiteral("type"));
}

void KOVSubaccount::setType(const QString &type)
{
    setText(QStringLiteral("type"), type);
}

QString KOVSubaccount::currencyCode() const
{
    return text(QStringLiteral("currencyCode"));
}

void KOVSubaccount::setCurrencyCode(const QString &currencyCode)
{
    setText(QStringLiteral("currencyCode"), currencyCode);
}

QString KOVSubaccount::currencyName() const
{
    return text(QStringLiteral("currencyName"));
}

void KOVSubaccount::setCurrencyName(const QString &currencyName)
{
    setText(QStringLiteral("currencyName"), currencyName);
}

std::optional<double> KOVSubaccount::balance() const
{
    return optionalDouble(QStringLiteral("balance"));
}

void KOVSubaccount::setBalance(std::optional<double> balance)
{
    setOptionalDouble(QStringLiteral("balance"), balance);
}

bool KOVSubaccount::isFavourite() const
{
    return boolValue(QStringLiteral("isFavourite"));
}

void KOVSubaccount::setIsFavourite(bool isFavourite)
{
    setBoolValue(QStringLiteral("isFavourite"), isFavourite);
}

bool KOVSubaccount::isStillFetching() const
{
    return boolValue(QStringLiteral("isStillFetching"));
}

void KOVSubaccount::setIsStillFetching(bool isStillFetching)
{
    setBoolValue(QStringLiteral("isStillFetching"), isStillFetching);
}

double KOVSubaccount::sortingCreatedAt() const
{
    return doubleValue(QStringLiteral("sortingCreatedAt"));
}

void KOVSubaccount::setSortingCreatedAt(double seconds)
{
    setDoubleValue(QStringLiteral("sortingCreatedAt"), seconds);
}

std::shared_ptr<KOVConnection> KOVSubaccount::connection() const
{
    return toOne<KOVConnection>(QStringLiteral("connection"));
}

void KOVSubaccount::setConnection(const std::shared_ptr<KOVConnection> &connection)
{
    setToOne(QStringLiteral("connection"), connection);
}

std::shared_ptr<KOVAccount> KOVSubaccount::toAccount() const
{
    const std::optional<double> amount = balance();
    const QJsonObject dictionary{
        {QStringLiteral("iban"), platform::json::textOrNull(iban())},
        {QStringLiteral("number"), platform::json::textOrNull(number())},
        {QStringLiteral("currency"),
         QJsonObject{{QStringLiteral("code"), platform::json::textOrNull(currencyCode())}, {QStringLiteral("name"), platform::json::textOrNull(currencyName())}}},
        {QStringLiteral("balance"),
         QJsonObject{{QStringLiteral("amount"), amount ? QJsonValue(*amount) : QJsonValue(QJsonValue::Null)}}},
        {QStringLiteral("type"), platform::json::textOrNull(type())},
        {QStringLiteral("name"), platform::json::textOrNull(name())},
        {QStringLiteral("id"), platform::json::textOrNull(accountId())},
    };
    return KOVAccount::initWithDictionary(dictionary);
}

} // namespace kova
