#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "core/internal/KOVOrphanedSecrets.h"
#include "platform/foundation/Error.h"

namespace kova::platform {
class ManagedObjectContext;
class PersistentContainer;
}

namespace kova {

class KOVConnection;
class KOVLogin;

// Stores one bank login: its secret in the keychain, then a connection
// record with its bank info and a "Demo" placeholder account in the view
// context (not saved), replacing older records of the same login.
class KOVConnectManager {
public:
    using Completion = std::function<void(std::shared_ptr<KOVConnection> connection, std::optional<platform::Error> error)>;

    KOVConnectManager(QString clientUserID, std::shared_ptr<KOVLogin> loginItems);

    const QString &clientUserID() const { return m_clientUserID; }
    const std::shared_ptr<KOVLogin> &loginItems() const { return m_loginItems; }

    // Completes before it returns, on the caller's thread. While the store
    // works in memory only it fails at once, writing nothing. After
    // storeSecretInBackground it writes nothing itself: it fails with that
    // write's error if it has already failed, and otherwise makes the records
    // while the write may still be under way (whenSecretStored tells how it ended).
    void createConnection(const Completion &completion);

    // Starts writing the login's secret to the keychain on a worker thread,
    // so that its trip to the disk overlaps whatever the caller waits for
    // next (the token exchange). A login without a secret, token ID or user
    // ID fails at once, writing nothing, and so does every login while the
    // store works in memory only.
    void storeSecretInBackground();
    // Runs `done` on the main thread once the background write has ended,
    // with its error if it failed; at once when it has already ended or was
    // never started.
    void whenSecretStored(std::function<void(std::optional<platform::Error> error)> done);
    // The secret that a background write is storing under `key` right now,
    // or null. The keychain would hold a reader until that write reaches the
    // disk; main thread only (null elsewhere).
    static QString secretUnderWay(const QString &key);
    // The records are made in a store of this manager's own, in memory,
    // which no save of the app's reaches, until storeCheckedConnection puts
    // the login in the app's store once its check has passed; older records
    // are left for that step to remove.
    void checkOutsideTheAppsStore();
    // In the app's store, in one transaction (with whatever else is
    // pending): the login's record, its bank's colours, what its check
    // learnt of the bank on `checked`, and the removal of the older records
    // it replaces, so that after a kill there is the older login or the new
    // one, never both. A failed save leaves the context as it was and
    // returns null with its error (taking the secret back is the caller's);
    // once stored, the replaced records' secrets go.
    std::shared_ptr<KOVConnection> storeCheckedConnection(const std::shared_ptr<KOVConnection> &checked,
                                                          platform::Error *error);
    // Takes back the secret this manager wrote, and only that (see
    // KOVOrphanedSecrets::takeBack); after a background write still under
    // way, once that write has ended.
    void restoreKeychain();

    // Removes the keychain items under these keys unless a stored connection
    // still reads one of them: a bank secret with no login left to use it is
    // sensitive data kept for nothing. Another process's secret under the
    // same key is never among them (see KOVOrphanedSecrets::removeUnused).
    static void removeUnusedSecrets(const QStringList &keys);
    static QString secretKey(const KOVConnection &connection);

private:
    struct SecretWrite;
    // The connection record with its bank info and placeholder account, in
    // the manager's context; no secret is written.
    std::shared_ptr<KOVConnection> insertConnection();
    void createDemoSubaccountToConnection(const std::shared_ptr<KOVConnection> &connection);
    // Deletes every other record of the connection's user ID and this client
    // user ID in the manager's context; the given record itself always stays.
    void removeSameConnectionIfAvailable(const std::shared_ptr<KOVConnection> &connection);
    // Once the removal of older records is saved: their secrets go too.
    void forgetReplacedSecrets();
    // Why this login's secret cannot be stored, if it cannot.
    std::optional<platform::Error> unstorableLogin() const;
    // Why no login can be stored now: the store works in memory only.
    static std::optional<platform::Error> unusableStore();
    QString secretKeyOfLogin() const;
    platform::ManagedObjectContext &context() const;

    QString m_clientUserID;
    std::shared_ptr<KOVLogin> m_loginItems;
    platform::ManagedObjectContext *m_context = nullptr;
    std::shared_ptr<platform::PersistentContainer> m_checkStore; // checkOutsideTheAppsStore's
    internal::KOVOrphanedSecrets::Write m_write; // createConnection's own; its mark null when none or taken back
    QStringList m_replacedKeys; // secrets of the older records removed
    std::shared_ptr<SecretWrite> m_secretWrite; // set by storeSecretInBackground
    bool m_puttingBack = false;                 // restoreKeychain after it
};

} // namespace kova
