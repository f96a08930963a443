#include "core/connections/KOVConnectManager.h"

#include "core/KOVAppManager.h"
#include "core/internal/KOVOrphanedSecrets.h"
#include "core/connections/KOVLogin.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"
#include "core/store/KOVKeychain.h"
#include "core/store/KOVSubaccount.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/Log.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"
#include "platform/store/StoreErrors.h"
#include "platform/store/SortDescriptor.h"

#include <QHash>
#include <QSet>
#include <utility>
#include <vector>

namespace kova {

namespace {

// New logins' secrets are written here, off the main thread, one at a time.
platform::SerialQueue &secretWrites()
{
    static platform::SerialQueue queue(QStringLiteral("kova.keychain.write"));
    return queue;
}

} // namespace

// A background write as the main thread sees it: its outcome arrives there,
// and so does every wait on it.
struct KOVConnectManager::SecretWrite {
    QString key;
    QString secret;
    internal::KOVOrphanedSecrets::Write written; // set as it ends
    bool ended = false;
    std::optional<platform::Error> error;
    std::vector<std::function<void(std::optional<platform::Error>)>> waiting;

    // Secrets under way, by key, for the main thread's readers meanwhile.
    static QHash<QString, QString> &underWay()
    {
        static QHash<QString, QString> secrets;
        return secrets;
    }

    void end(std::optional<platform::Error> outcome, internal::KOVOrphanedSecrets::Write done = {})
    {
        ended = true;
        error = std::move(outcome);
        written = std::move(done);
        if (const auto it = underWay().constFind(key); it != underWay().cend() && *it == secret)
            underWay().erase(it);
        if (error)
            platform::log(QStringLiteral("[Kova] Keychain failed: %1").arg(error->description()), platform::logKeychain());
        for (auto &done : std::exchange(waiting, {}))
            done(error);
    }
};

KOVConnectManager::KOVConnectManager(QString clientUserID, std::shared_ptr<KOVLogin> loginItems)
    : m_clientUserID(std::move(clientUserID)), m_loginItems(std::move(loginItems))
{
}

std::optional<platform::Error> KOVConnectManager::unstorableLogin() const
{
    const std::shared_ptr<KOVLogin> &login = m_loginItems;
    // Without all three there is no usable login, and an empty secret must
    // never replace one that is stored.
    if (!login || login->userSecret().isEmpty() || login->tokenID().isEmpty() || login->userID().isEmpty())
        return KOVKeychain::argumentError(QStringLiteral("A connection needs a user secret, a token ID and a user ID"));
    return std::nullopt;
}

std::optional<platform::Error> KOVConnectManager::unusableStore()
{
    const std::optional<platform::Error> &reason = KOVAppManager::sharedInstance().persistentContainer()->fallbackReason();
    if (!reason)
        return std::nullopt;
    // Reported as stored, the login would be gone at the next launch and its
    // secret left behind.
    return platform::Error::withDescription(platform::NSCocoaErrorDomain, platform::StoreErrors::PersistentStoreSave,
                                            QStringLiteral("The login cannot be stored: %1").arg(reason->localizedDescription()));
}

QString KOVConnectManager::secretKeyOfLogin() const
{
    return m_loginItems ? m_loginItems->tokenID() + m_loginItems->userID() : QString();
}

void KOVConnectManager::storeSecretInBackground()
{
    if (m_secretWrite)
        return;
    auto write = std::make_shared<SecretWrite>();
    m_secretWrite = write;
    if (std::optional<platform::Error> failure = unusableStore()) {
        // Nothing written, and not the keychain's failure: ended unlogged.
        write->ended = true;
        write->error = std::move(failure);
        return;
    }
    if (std::optional<platform::Error> failure = unstorableLogin()) {
        write->end(std::move(failure));
        return;
    }
    write->key = secretKeyOfLogin();
    write->secret = m_loginItems->userSecret();
    SecretWrite::underWay().insert(write->key, write->secret);
    // What it replaces is read there too: the main thread touches the vault
    // on this road only if the login has to be taken back.
    secretWrites().async([write, key = write->key, secret = write->secret]() {
        const auto keychain = KOVKeychain::keychain();
        internal::KOVOrphanedSecrets::Write done;
        platform::Error error;
        std::optional<platform::Error> failure;
        if (!internal::KOVOrphanedSecrets::writeSecret(*keychain, secret, key, &done, &error))
            failure = error;
        platform::MainQueue::async([write, failure, done = std::move(done)]() mutable {
            write->end(failure, std::move(done));
        });
    });
}

QString KOVConnectManager::secretUnderWay(const QString &key)
{
    if (!platform::MainQueue::isMainThread())
        return QString();
    return SecretWrite::underWay().value(key);
}

void KOVConnectManager::whenSecretStored(std::function<void(std::optional<platform::Error>)> done)
{
    if (m_secretWrite && !m_secretWrite->ended) {
        m_secretWrite->waiting.push_back(std::move(done));
        return;
    }
    done(m_secretWrite ? m_secretWrite->error : std::nullopt);
}

void KOVConnectManager::createConnection(const Completion &completion)
{
    const std::shared_ptr<KOVLogin> login = m_loginItems;
    std::optional<platform::Error> failure;
    if (m_secretWrite) {
        // Its failure was logged as it came; one still to come ends the
        // caller's wait on it instead.
        if (m_secretWrite->error)
            return completion(nullptr, m_secretWrite->error);
    } else if (std::optional<platform::Error> unusable = unusableStore()) {
        return completion(nullptr, unusable);
    } else if (!(failure = unstorableLogin())) {
        platform::Error error;
        if (!internal::KOVOrphanedSecrets::writeSecret(*KOVKeychain::keychain(), login->userSecret(), secretKeyOfLogin(),
                                                       &m_write, &error))
            failure = error;
    }
    if (failure) {
        platform::log(QStringLiteral("[Kova] Keychain failed: %1").arg(failure->description()), platform::logKeychain());
        completion(nullptr, failure);
        return;
    }

    const std::shared_ptr<KOVConnection> connection = insertConnection();
    // A login checked in a store of its own replaces the older ones only
    // once it is stored (storeCheckedConnection).
    if (!m_checkStore)
        removeSameConnectionIfAvailable(connection);
    completion(connection, std::nullopt);
}

platform::ManagedObjectContext &KOVConnectManager::context() const
{
    return m_context ? *m_context : KOVAppManager::sharedInstance().viewContext();
}

void KOVConnectManager::checkOutsideTheAppsStore()
{
    const auto container = KOVAppManager::sharedInstance().persistentContainer();
    m_checkStore = std::make_shared<platform::PersistentContainer>(container->name(), container->managedObjectModel());
    m_checkStore->setInMemory();
    m_checkStore->loadPersistentStores();
    m_context = &m_checkStore->viewContext();
}

std::shared_ptr<KOVConnection> KOVConnectManager::storeCheckedConnection(const std::shared_ptr<KOVConnection> &checked,
                                                                         platform::Error *error)
{
    platform::ManagedObjectContext &context = KOVAppManager::sharedInstance().viewContext();
    // The check's own store stays, with `checked`, as long as this manager.
    m_context = nullptr;
    std::shared_ptr<KOVConnection> created;
    const bool saved = context.changeAndSave([&] {
        created = insertConnection();
        created->setIsValid(true);
        auto scheme = context.insertNewObject<KOVFinancialInstitutionColorScheme>();
        scheme->setMainColor(m_loginItems->primaryColor());
        scheme->setSecondaryColor(m_loginItems->secondaryColor());
        if (const auto info = created->bankInfo()) {
            info->setColorScheme(scheme);
            if (const auto learnt = checked ? checked->bankInfo() : nullptr) {
                info->setSwiftCode(learnt->swiftCode());
                info->setCountryName(learnt->countryName());
                info->setBeneficiaryCoolDownPeriod(learnt->beneficiaryCoolDownPeriod());
            }
        }
        removeSameConnectionIfAvailable(created);
    }, error);
    if (!saved) {
        // Nothing was removed: their secrets stay.
        m_replacedKeys.clear();
        return nullptr;
    }
    forgetReplacedSecrets();
    return created;
}

std::shared_ptr<KOVConnection> KOVConnectManager::insertConnection()
{
    const std::shared_ptr<KOVLogin> &login = m_loginItems;
    platform::ManagedObjectContext &context = this->context();
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
    return connection;
}

void KOVConnectManager::createDemoSubaccountToConnection(const std::shared_ptr<KOVConnection> &connection)
{
    auto placeholder = context().insertNewObject<KOVSubaccount>();
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
    platform::ManagedObjectContext &context = this->context();
    platform::FetchRequest request = KOVConnection::fetchRequestWithUserID(connection->userID(), m_clientUserID, false);
    request.setSortDescriptors({platform::SortDescriptor{QStringLiteral("createdAt"), false}});
    platform::Error error;
    for (const auto &other : context.fetch<KOVConnection>(request, &error)) {
        // Without a client user ID the fetch has no client term and finds
        // every client user's record of this login; only client-less ones
        // are duplicates of this one.
        if (m_clientUserID.isNull() && !other->clientUserID().isEmpty())
            continue;
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
    QStringList unused;
    for (const QString &key : keys)
        if (!key.isEmpty() && !inUse.contains(key) && !unused.contains(key))
            unused.append(key);
    if (!unused.isEmpty())
        internal::KOVOrphanedSecrets::removeUnused(unused);
}

void KOVConnectManager::restoreKeychain()
{
    if (m_secretWrite) {
        if (std::exchange(m_puttingBack, true))
            return;
        // Once the write has ended: only what it really wrote goes.
        whenSecretStored([write = m_secretWrite](std::optional<platform::Error> error) {
            if (!error)
                internal::KOVOrphanedSecrets::takeBack(write->written);
        });
        return;
    }
    internal::KOVOrphanedSecrets::takeBack(std::exchange(m_write, {}));
}

} // namespace kova
