#pragma once

#include <memory>
#include <optional>

#include "core/store/KOVSignature.h"

namespace kova {

class KOVAccount;
class KOVConnection;

// One account of a connection; the row named "Demo" stands in for the
// accounts while they are being fetched.
class KOVSubaccount : public KOVSignature {
public:
    static QString entityName() { return QStringLiteral("KOVSubaccount"); }
    static platform::FetchRequest fetchRequest() { return platform::FetchRequest(entityName()); }
    // Newest first; each null argument (and onlyFetchedAccounts NO) leaves
    // its term out.
    static platform::FetchRequest fetchRequestWithUserID(const QString &userID, const QString &clientUserID,
                                                         bool onlyFetchedAccounts);
    // The one account of a login, unsorted; null arguments leave their term out.
    static platform::FetchRequest subaccountWithAccountID(const QString &accountID, const QString &userID,
                                                          const QString &clientUserID);

    QString accountId() const;
    void setAccountId(const QString &accountId);
    QString iban() const;
    void setIban(const QString &iban);
    QString number() const;
    void setNumber(const QString &number);
    QString name() const;
    void setName(const QString &name);
    QString type() const;
    void setType(const QString &type);
    QString currencyCode() const;
    void setCurrencyCode(const QString &currencyCode);
    QString currencyName() const;
    void setCurrencyName(const QString &currencyName);
    // Empty until a balance is known; never read as 0.
    std::optional<double> balance() const;
    void setBalance(std::optional<double> balance);
    bool isFavourite() const;
    void setIsFavourite(bool isFavourite);
    bool isStillFetching() const;
    void setIsStillFetching(bool isStillFetching);
    // The owning connection's createdAt in seconds since 1970.
    double sortingCreatedAt() const;
    void setSortingCreatedAt(double seconds);

    std::shared_ptr<KOVConnection> connection() const;
    void setConnection(const std::shared_ptr<KOVConnection> &connection);

    // The stored row as an account record; an empty value stays absent.
    std::shared_ptr<KOVAccount> toAccount() const;
};

} // namespace kova
