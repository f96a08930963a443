#include "ui/payment/KOVPaymentAccounts.h"

#include <limits>

#include "core/KOVAppManager.h"
#include "core/KOVConstants.h"
#include "core/Kova.h"
#include "core/connections/KOVBankConnection.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVSubaccount.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/store/ManagedObjectContext.h"

namespace kova {
namespace {
const QString s_placeholderName = QStringLiteral("Demo");
} // namespace

bool KOVPaymentAccounts::sameAccountID(const QString &lhs, const QString &rhs)
{
    return !lhs.isEmpty() && lhs == rhs;
}

quint64 KOVPaymentAccounts::resolvedBound(quint64 hostBound, std::optional<qint64> storedBound)
{
    if (hostBound != 0)
        return hostBound;
    if (!storedBound || *storedBound <= 0)
        return 0;
    return quint64(*storedBound);
}

std::pair<quint64, quint64> KOVPaymentAccounts::resolvedBounds(quint64 hostMinimum, quint64 hostMaximum)
{
    std::optional<qint64> storedMinimum;
    std::optional<qint64> storedMaximum;
    if (const std::shared_ptr<Kova> kova = Kova::sharedInstance()) {
        if (const auto configs =
                KOVAppConfigs::getConfigsForAppKey(kova->appKey(), KOVAppManager::sharedInstance().viewContext())) {
            storedMinimum = configs->minTransferAmount();
            storedMaximum = configs->maxTransferAmount();
        }
    }
    return {resolvedBound(hostMinimum, storedMinimum), resolvedBound(hostMaximum, storedMaximum)};
}

QList<std::shared_ptr<KOVSubaccount>> KOVPaymentAccounts::fetchDemoAccounts(const std::shared_ptr<KOVConnection> &connection,
                                                                            const QString &clientUserID,
                                                                            bool onlyStillFetching)
{
    if (!connection || connection->userID().isEmpty())
        return {};
    platform::FetchRequest request = KOVSubaccount::fetchRequestWithUserID(connection->userID(), clientUserID, false);
    if (onlyStillFetching)
        request.addTerm(QStringLiteral("isStillFetching"), true);
    return KOVAppManager::sharedInstance().viewContext().fetch<KOVSubaccount>(request);
}

void KOVPaymentAccounts::removeDemoAccounts(const std::shared_ptr<KOVConnection> &connection, const QString &clientUserID)
{
    platform::ManagedObjectContext &context = KOVAppManager::sharedInstance().viewContext();
    for (const auto &subaccount : fetchDemoAccounts(connection, clientUserID, true))
        context.deleteObject(subaccount);
}

bool KOVPaymentAccounts::removesLogin(const OptionalError &error)
{
    return error && error->domain == KOVErrorDomain &&
           (error->code == KOVErrorInvalidCredentials || error->code == KOVErrorUserDelinked);
}

OptionalError KOVPaymentAccounts::tidyPlaceholders(const std::shared_ptr<KOVConnection> &connection,
                                                   const QString &clientUserID)
{
    if (connection && !connection->isDeleted() && !connection->userID().isEmpty()) {
        const QList<std::shared_ptr<KOVSubaccount>> subaccounts = connection->subaccounts();
        for (const auto &subaccount : subaccounts)
            subaccount->setIsStillFetching(subaccount->name() == s_placeholderName);
        removeDemoAccounts(connection, clientUserID);
    }
    platform::Error saveError;
    if (!KOVAppManager::sharedInstance().saveContext(&saveError))
        return saveError;
    return std::nullopt;
}

void KOVPaymentAccounts::refreshAccountsForConnection(const std::shared_ptr<KOVConnection> &connection,
                                                      const QString &clientUserID,
                                                      ConnectionRefreshCompletion completion)
{
    std::shared_ptr<KOVBankConnection> bankConnection;
    if (connection && !connection->userID().isEmpty()) {
        if (const std::shared_ptr<Kova> kova = Kova::sharedInstance()) {
            for (const auto &listed : kova->getConnections()) {
                if (listed->userID() == connection->userID()) {
                    bankConnection = listed;
                    break;
                }
            }
        }
    }
    if (!bankConnection) {
        // No listed login can make the call; the refresh still has to end.
        platform::MainQueue::async([completion = std::move(completion)]() mutable {
            auto call = std::move(completion);
            if (call)
                call(false, KOVBankConnection::credentialsUnavailableError());
        });
        return;
    }
    // The bank connection is built afresh for this call; the completion
    // keeps it alive until the call has answered.
    bankConnection->getAccounts([connection, clientUserID, bankConnection, completion = std::move(completion)](
                                    QList<std::shared_ptr<KOVAccount>>, OptionalError error, QString) mutable {
        const bool loginRemoved = removesLogin(error);
        const OptionalError saveError = tidyPlaceholders(loginRemoved ? nullptr : connection, clientUserID);
        auto call = std::move(completion);
        if (!call)
            return;
        if (!error && !saveError)
            call(true, std::nullopt);
        else
            call(false, error ? error : saveError);
    });
}

void KOVPaymentAccounts::refreshAccountsForUserID(const QString &userID, const QString &clientUserID,
                                                  RefreshCompletion completion)
{
    struct Join {
        int pending = 1; // the loop below holds one until every refresh is started
        OptionalError slot;
        RefreshCompletion completion;

        void leave()
        {
            if (--pending != 0)
                return;
            OptionalError result = slot;
            if (!result) {
                platform::Error saveError;
                if (!KOVAppManager::sharedInstance().saveContext(&saveError))
                    result = saveError;
            }
            auto call = std::move(completion);
            platform::MainQueue::async([call = std::move(call), result]() {
                if (call)
                    call(result);
            });
        }
    };
    auto join = std::make_shared<Join>();
    join->completion = std::move(completion);

    QList<std::shared_ptr<KOVConnection>> connections;
    if (!userID.isEmpty())
        connections = KOVAppManager::sharedInstance().viewContext().fetch<KOVConnection>(
            KOVConnection::fetchRequestWithUserID(userID, clientUserID, false));
    for (const auto &connection : connections) {
        ++join->pending;
        refreshAccountsForConnection(connection, clientUserID, [join](bool, OptionalError error) {
            join->slot = std::move(error);
            join->leave();
        });
    }
    join->leave();
}

} // namespace kova
