#include "core/connections/KOVConnectManager.h"

#include "core/KOVAppManager.h"
#include "core/connections/KOVLogin.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVKeychain.h"
#include "core/store/KOVSubaccount.h"
#include "platform/foundation/Log.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SortDescriptor.h"

#include <QSet>
#include <utility>

namespace kova {

KOVConnectManager::KOVConnectManager(QString clientUserID, std::shared_ptr<KOVLogin> loginItems)
    : m_clientUserID(std::move(clientUserID)), m_loginItems(std::move(loginItems))
{
}

void KOVConnectManager::createConnection(const Completion &completion)
{
    const std::shared_ptr<KOVLogin> login = m_loginItems;
    const QString key = login ? login->tokenID() + login->userID() : QString();
    const auto keychain = KOVKeychain::keychain();

    std::optional<platform::Error> failure;
    if (!login || login->userSecret().isEmpty() || login->tokenID().isEmpty() || login->userID().isEmpty()) {
        // Without all three there is no usable login, and an empty secret
        // must never replace one that is stored.
        failure = KOVKeychain::argumentError(QStringLiteral("A connection needs a user secret, a token ID and a user ID"));
    } else {
        m_previousSecret = keychain->stringForKey(key);
        platform::Error error;
        if (keychain->setString(login->userSecret(), key, &error))
            m_wroteSecret = true;
        else
            failure = error;
    }
    if (failure) {
        platform::log(QStringLiteral("[Kova] Keychain failed: %1").arg(failure->description()));
        completion(nullptr, failure);
        return;
    }

    platform::ManagedObjectContext &context = KOVAppManager::sharedInstance().viewContext();
    auto connection = context.insertNewObject<KOVConnection>();
    connection->setAccessCode(login->accessCode());
    connection->setConnectionID(login->connectionID());
    connection->setUserID(login->userID());
    connection->setTokenID(login->tokenID());
    connection->setClientUserID(m_clientUserID);

    auto bankInfo = context.insertNewObject<KOVBankInfo>();
    bankInfo->setBankID(login->bankId());
    bankInfo->setBankName(login->bankShortName());
    bankInfo->setFullLogo(login->bankFullLogoPng());
    bankInfo->setHalfLogo(login->bankHalfLogoPng());
    bankInfo->setMiniLogo(login->bankMiniLogoPng());
    connection->setBankInfo(bankInfo);

    createDemoSubaccountToConnection(connection);
    if (m_removesDuplicates)
        removeSameConnectionIfAvailable(connection);
    completion(connection, std::nullopt);
}

void KOVConnectManager::createDemoSubaccountToConnection(const std::shared_ptr<KOVConnection> &connection)
{
    auto placeholder = KOVAppManager::sharedInstance().viewContext().insertNewObject<KOVSubaccount>();
    placeholder->setAccountId(QStringLiteral("123456789"));
    placeholder->setIban(QStringLiteral("Iban123456789"));
    placeholder->setType(QStringLiteral("Demo"));
    placeholder->setNumber(QStringLiteral("123456789"));
    placeholder->setName(QStringLiteral("Demo"));
    const QDateTime createdAt = connection->createdAt();
    placeholder->setSortingCreatedAt(createdAt.isValid() ? createdAt.toMSecsSinceEpoch() / 1000.0 : 0.0);
    placeholder->setIsFavourite(false);
    placeholder->setIsStillFetching(false);
    placeholder->setCurrencyCode(QStringLiteral("KOV"));
    placeholder->setCurrencyName(QStringLiteral("KovaCurrency"));
    connection->addSubaccountsObject(placeholder);
}

void KOVConnectManager::removeSameConnectionIfAvailable(const std::shared_ptr<KOVConnection> &connection)
{
    if (!connection)
        return;
    platform::ManagedObjectContext &context = KOVAppManager::sharedInstance().viewContext();
    platform::FetchRequest request = KOVConnection::fetchRequestWithUserID(connection->userID(), m_clientUserID, false);
    request.setSortDescriptors({platform::SortDescriptor{QStringLiteral("createdAt"), false}});
    platform::Error error;
    for (const auto &other : context.fetch<KOVConnection>(request, &error)) {
        if (other != connection) {
            m_replacedKeys.append(secretKey(*other));
            context.deleteObject(other);
        }
    }
}

void KOVConnectManager::forgetReplacedSecrets()
{
    removeUnusedSecrets(std::exchange(m_replacedKeys, {}));
}

QString KOVConnectManager::secretKey(const KOVConnection &connection)
{
    return connection.tokenID() + connection.userID();
}

void KOVConnectManager::removeUnusedSecrets(const QStringList &keys)
{
    if (keys.isEmpty())
        return;
    platform::Error error;
    const auto stored = KOVAppManager::sharedInstance().viewContext().fetch<KOVConnection>(KOVConnection::fetchRequest(),
                                                                                          &error);
    if (!error.domain.isEmpty())
        return; // not knowing who still uses a secret, keep them all
    QSet<QString> inUse;
    for (const auto &connection : stored)
        inUse.insert(secretKey(*connection));
    const auto keychain = KOVKeychain::keychain();
    for (const QString &key : keys) {
        if (key.isEmpty() || inUse.contains(key))
            continue;
        platform::Error removeError;
        if (!keychain->removeItemForKey(key, &removeError))
            platform::log(QStringLiteral("[Kova] Keychain failed: %1").arg(removeError.localizedDescription()));
    }
}

void KOVConnectManager::restoreKeychain() const
{
    if (!m_wroteSecret || !m_loginItems)
        return;
    const QString key = m_loginItems->tokenID() + m_loginItems->userID();
    const auto keychain = KOVKeychain::keychain();
    platform::Error error;
    if (m_previousSecret.isNull())
        keychain->removeItemForKey(key, &error);
    else
        keychain->setString(m_previousSecret, key, &error);
}

} // namespace kova
