#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "core/api/KOVCompletions.h"

namespace kova {

class KOVBankConnection;
class KOVConnection;
class KOVSubaccount;

// The payment flow's dealings with accounts and stored logins: matching an
// account to the login that holds it, the amount bounds, and refreshing a
// login's accounts with the tidying of its "Demo" placeholder.
class KOVPaymentAccounts {
public:
    // A refresh of one stored login: (success, error).
    using ConnectionRefreshCompletion = std::function<void(bool success, OptionalError error)>;
    // A refresh of every stored login of a user ID: the last error, or the save's.
    using RefreshCompletion = std::function<void(OptionalError error)>;

    // An absent or empty ID matches nothing, so a placeholder row or an
    // account record without an ID is never taken for another.
    static bool sameAccountID(const QString &lhs, const QString &rhs);

    template <class Connection>
    static bool holdsAccount(const Connection &connection, const QString &accountID)
    {
        for (const auto &account : connection.accounts()) {
            if (account && sameAccountID(account->accountID(), accountID))
                return true;
        }
        return false;
    }

    // The login that holds the account: the flow's own login when it does,
    // else the first listed one, in order; null when none does.
    template <class Connection>
    static std::shared_ptr<Connection> ownerOfAccount(const QString &accountID,
                                                      const std::shared_ptr<Connection> &flowConnection,
                                                      const QList<std::shared_ptr<Connection>> &listed)
    {
        if (flowConnection && holdsAccount(*flowConnection, accountID))
            return flowConnection;
        for (const auto &connection : listed) {
            if (connection && holdsAccount(*connection, accountID))
                return connection;
        }
        return nullptr;
    }

    // A host bound other than 0 stands; 0 takes the stored configuration's,
    // where one of 0 or below means no bound.
    static quint64 resolvedBound(quint64 hostBound, std::optional<qint64> storedBound);
    // The bounds for the started instance's stored configuration.
    static std::pair<quint64, quint64> resolvedBounds(quint64 hostMinimum, quint64 hostMaximum);

    // The sub-accounts of the stored login's user ID and the client user,
    // optionally only the ones still marked as being fetched. Empty, with no
    // fetch at all, for a login without a user ID: an absent ID would match
    // every user's rows.
    static QList<std::shared_ptr<KOVSubaccount>> fetchDemoAccounts(const std::shared_ptr<KOVConnection> &connection,
                                                                   const QString &clientUserID,
                                                                   bool onlyStillFetching);
    // Deletes (unsaved) the login's rows still marked as being fetched.
    static void removeDemoAccounts(const std::shared_ptr<KOVConnection> &connection, const QString &clientUserID);

    // Asks the listed bank login of the stored login's user ID for its
    // accounts, then marks the placeholder rows and removes them, saves and
    // completes once on the main queue, whatever happened.
    static void refreshAccountsForConnection(const std::shared_ptr<KOVConnection> &connection,
                                             const QString &clientUserID, ConnectionRefreshCompletion completion);
    // Refreshes every stored login of the user ID and reports, once on the
    // main queue, the error of the refresh that ended last, else the save's.
    static void refreshAccountsForUserID(const QString &userID, const QString &clientUserID,
                                         RefreshCompletion completion);

    // The errors after which the service has already removed the login.
    static bool removesLogin(const OptionalError &error);

    // Marks each row of the login as still being fetched exactly when it is
    // the placeholder, removes those and saves; skipped for a login that is
    // gone. Returns the save's error.
    static OptionalError tidyPlaceholders(const std::shared_ptr<KOVConnection> &connection, const QString &clientUserID);
};

} // namespace kova
