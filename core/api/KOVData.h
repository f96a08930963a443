#pragma once

#include <QDateTime>

#include "core/api/KOVAPI.h"
#include "core/api/KOVCompletions.h"

namespace kova {

// Identity, accounts, cards and transactions of one login; fetched accounts
// and cards are kept in the on-device store.
class KOVData : public KOVAPI {
public:
    // Null when the login cannot be used (no record, token ID or secret).
    static std::shared_ptr<KOVData> initWithUserID(const QString &userID, const QString &clientUserID,
                                         std::shared_ptr<KOVConnection> record = nullptr,
                                         platform::Error *error = nullptr);

    void getIdentity(KOVIdentityCompletion completion);
    void getAccounts(KOVAccountsCompletion completion);
    void getTransactionsForAccountID(const QString &accountID, const QDateTime &fromDate, const QDateTime &toDate,
                                     KOVTransactionsCompletion completion);
    void getCards(KOVCardsCompletion completion);
    void getTransactionsForCardID(const QString &cardID, const QDateTime &fromDate, const QDateTime &toDate,
                                  KOVTransactionsCompletion completion);

    // The store writes of a good reply.
    static void storeAccounts(const std::shared_ptr<KOVConnection> &connection,
                              const QList<std::shared_ptr<KOVAccount>> &accounts);
    static void storeCards(const std::shared_ptr<KOVConnection> &connection,
                           const QList<std::shared_ptr<KOVCard>> &cards);

private:
    using KOVAPI::KOVAPI;
    // Runs the removal check on an error, then hands the outcome on.
    template <typename Result>
    KOVDataCompletion<Result> checked(KOVDataCompletion<Result> completion);
};

} // namespace kova
