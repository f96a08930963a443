#include "core/api/KOVAPI.h"

#include "core/KOVAppManager.h"
#include "core/connections/KOVConnectManager.h"
#include "core/KOVConstants.h"
#include "core/api/KOVRepository.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVKeychain.h"
#include "platform/store/ManagedObjectContext.h"

namespace kova {

KOVAPI::KOVAPI(const QString &userID, const QString &clientUserID) : m_userID(userID), m_clientUserID(clientUserID) {}

bool KOVAPI::load(std::shared_ptr<KOVConnection> record, platform::Error *error)
{
    m_connection = record ? std::move(record) : fetchConnectionForUserID(m_userID);
    if (!m_connection)
        return false;
    const QString tokenID = m_connection->tokenID();
    if (tokenID.isEmpty())
        return false;
    // A login just linked may still have its secret on the way to the disk.
    QString secret = KOVConnectManager::secretUnderWay(tokenID + m_userID);
    platform::Error readError;
    if (secret.isNull())
        secret = KOVKeychain::keychain()->stringForKey(tokenID + m_userID, &readError);
    if (secret.isNull()) {
        if (error && !readError.domain.isEmpty())
            *error = readError;
        return false;
    }
    m_tokenID = tokenID;
    m_userSecret = secret;
    m_repo = KOVRepository::initWithConnection(m_connection);
    return true;
}

QString KOVAPI::bankID() const
{
    const auto bankInfo = m_connection ? m_connection->bankInfo() : nullptr;
    return bankInfo ? bankInfo->bankID() : QString();
}

std::shared_ptr<KOVConnection> KOVAPI::fetchConnectionForUserID(const QString &userID) const
{
    platform::Error error;
    const auto found = KOVAppManager::sharedInstance().viewContext().fetch<KOVConnection>(
        KOVConnection::fetchRequestWithUserID(userID, m_clientUserID, false), &error);
    return found.isEmpty() ? nullptr : found.first();
}

void KOVAPI::deleteConnectionWithUserID(const QString &userID) const
{
    // This facade's own record goes, never some other record of the same
    // user: a handle whose record was replaced by a relink must not remove
    // the login that replaced it.
    std::shared_ptr<KOVConnection> connection;
    if (!m_connection)
        connection = fetchConnectionForUserID(userID);
    else if (!m_connection->isDeleted() && m_connection->userID() == userID)
        connection = m_connection;
    KOVAppManager &manager = KOVAppManager::sharedInstance();
    // A record not in the app's store (an import's, still being checked) is
    // not a stored login: its import takes back what it wrote.
    if (!connection || connection->managedObjectContext() != &manager.viewContext())
        return;
    const QString key = KOVConnectManager::secretKey(*connection);
    manager.viewContext().deleteObject(connection);
    // The secret leaves with its login once the removal is stored.
    if (manager.saveContext())
        KOVConnectManager::removeUnusedSecrets({key});
}

void KOVAPI::deleteConnectionWithError(const platform::Error &error, const QString &userID) const
{
    const bool fromReply = error.domain == KOVErrorDomain && error.userInfo.contains(KOVErrorInfoKey);
    if (fromReply && (error.code == KOVErrorInvalidCredentials || error.code == KOVErrorUserDelinked))
        deleteConnectionWithUserID(userID);
}

} // namespace kova
