#include "core/api/KOVData.h"

#include "core/KOVAppManager.h"
#include "core/api/KOVRepository.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVCard.h"
#include "core/store/KOVBankCard.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVSubaccount.h"
#include "platform/foundation/Json.h"
#include "platform/store/ManagedObjectContext.h"

namespace kova {

std::shared_ptr<KOVData> KOVData::initWithUserID(const QString &userID, const QString &clientUserID,
                                                std::shared_ptr<KOVConnection> record, platform::Error *error)
{
    std::shared_ptr<KOVData> facade(new KOVData(userID, clientUserID));
    return facade->load(std::move(record), error) ? facade : nullptr;
}

template <typename Result>
KOVDataCompletion<Result> KOVData::checked(KOVDataCompletion<Result> completion)
{
    return [self = shared_from_this(), connection = connection(), completion](Result result, OptionalError error, QString operationID) {
        if (error)
            self->deleteConnectionWithError(*error, connection ? connection->userID() : QString());
        completion(std::move(result), std::move(error), std::move(operationID));
    };
}

void KOVData::getIdentity(KOVIdentityCompletion completion)
{
    m_repo->getIdentityUserSecret(userSecret(), tokenID(), bankID(), nullptr, checked(std::move(completion)));
}

void KOVData::getAccounts(KOVAccountsCompletion completion)
{
    m_repo->getAccountsUserSecret(
        userSecret(), tokenID(), bankID(), nullptr,
        checked<QList<std::shared_ptr<KOVAccount>>>(
            [connection = connection(), completion](QList<std::shared_ptr<KOVAccount>> accounts, OptionalError error,
                                                    QString operationID) {
                if (!error)
                    storeAccounts(connection, accounts);
                completion(std::move(accounts), std::move(error), std::move(operationID));
            }));
}

void KOVData::getTransactionsForAccountID(const QString &accountID, const QDateTime &fromDate, const QDateTime &toDate,
                                          KOVTransactionsCompletion completion)
{
    m_repo->getTransactionsForAccountID(accountID, userSecret(), tokenID(), fromDate, toDate, bankID(), nullptr,
                                        checked(std::move(completion)));
}

void KOVData::getCards(KOVCardsCompletion completion)
{
    m_repo->getCardsUserSecret(
        userSecret(), tokenID(), bankID(), nullptr,
        checked<QList<std::shared_ptr<KOVCard>>>(
            [connection = connection(), completion](QList<std::shared_ptr<KOVCard>> cards, OptionalError error,
                                                    QString operationID) {
                if (!error)
                    storeCards(connection, cards);
                completion(std::move(cards), std::move(error), std::move(operationID));
            }));
}

void KOVData::getTransactionsForCardID(const QString &cardID, const QDateTime &fromDate, const QDateTime &toDate,
                                       KOVTransactionsCompletion completion)
{
    m_repo->getTransactionsForCardID(cardID, userSecret(), tokenID(), fromDate, toDate, bankID(), nullptr,
                                     checked(std::move(completion)));
}

void KOVData::storeAccounts(const std::shared_ptr<KOVConnection> &connection,
                            const QList<std::shared_ptr<KOVAccount>> &accounts)
{
    // A record removed while the call was out (a delink, a duplicate) is not
    // brought back by its late reply.
    if (!connection || connection->isDeleted() || !connection->managedObjectContext())
        return;
    platform::ManagedObjectContext &context = KOVAppManager::sharedInstance().viewContext();
    platform::Error error;
    for (const auto &account : accounts) {
        // An account without an ID cannot be told apart from another: it is
        // handed to the caller but never stored.
        if (!account || account->accountID().isEmpty())
            continue;
        const auto found = context.fetch<KOVSubaccount>(
            KOVSubaccount::subaccountWithAccountID(account->accountID(), connection->userID(), connection->clientUserID()),
            &error);
        std::shared_ptr<KOVSubaccount> subaccount = found.isEmpty() ? nullptr : found.first();
        const bool isNew = !subaccount;
        if (isNew)
            subaccount = context.insertNewObject<KOVSubaccount>();
        subaccount->setAccountId(account->accountID());
        subaccount->setIban(account->iban());
        subaccount->setType(account->type());
        subaccount->setNumber(account->number());
        subaccount->setName(account->name());
        subaccount->setCurrencyCode(account->currency().code());
        subaccount->setCurrencyName(account->currency().name());
        subaccount->setBalance(account->balance());
        if (isNew) {
            const QDateTime createdAt = connection->createdAt();
            subaccount->setSortingCreatedAt(createdAt.isValid() ? createdAt.toMSecsSinceEpoch() / 1000.0 : 0.0);
            subaccount->setIsStillFetching(true);
            connection->addSubaccountsObject(subaccount);
        }
    }
    for (const auto &subaccount : connection->subaccounts())
        subaccount->setIsStillFetching(subaccount->name() == QLatin1String("Demo"));
    KOVAppManager::sharedInstance().saveContext();
}

void KOVData::storeCards(const std::shared_ptr<KOVConnection> &connection, const QList<std::shared_ptr<KOVCard>> &cards)
{
    if (!connection || connection->isDeleted() || !connection->managedObjectContext())
        return;
    platform::ManagedObjectContext &context = KOVAppManager::sharedInstance().viewContext();
    platform::Error error;
    for (const auto &card : cards) {
        if (!card || card->cardID().isEmpty())
            continue;
        const auto found = context.fetch<KOVBankCard>(
            KOVBankCard::subaccountWithCardID(card->cardID(), connection->userID(), connection->clientUserID()), &error);
        std::shared_ptr<KOVBankCard> stored = found.isEmpty() ? nullptr : found.first();
        const bool isNew = !stored;
        if (isNew)
            stored = context.insertNewObject<KOVBankCard>();
        stored->setCardID(card->cardID());
        stored->setJsonResponse(QString::fromUtf8(platform::json::compact(card->dictionaryRepresentation())));
        if (isNew)
            connection->addCardsObject(stored);
    }
    KOVAppManager::sharedInstance().saveContext();
}

} // namespace kova
