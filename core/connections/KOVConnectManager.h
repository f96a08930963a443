#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"

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

    // Completes before it returns, on the caller's thread.
    void createConnection(const Completion &completion);
    void createDemoSubaccountToConnection(const std::shared_ptr<KOVConnection> &connection);
    // Deletes every other record of the connection's user ID and this client
    // user ID; the given record itself always stays.
    void removeSameConnectionIfAvailable(const std::shared_ptr<KOVConnection> &connection);

    // Whether older records are removed by createConnection (the default) or
    // left for the caller to remove once the new one has proved good.
    void setRemovesDuplicates(bool removes) { m_removesDuplicates = removes; }
    // Puts the keychain back as it was before createConnection wrote to it.
    void restoreKeychain() const;
    // Once the removal of older records is saved: their secrets go too.
    void forgetReplacedSecrets();

    // Removes the keychain items under these keys unless a stored connection
    // still reads one of them: a bank secret with no login left to use it is
    // sensitive data kept for nothing.
    static void removeUnusedSecrets(const QStringList &keys);
    static QString secretKey(const KOVConnection &connection);

private:
    QString m_clientUserID;
    std::shared_ptr<KOVLogin> m_loginItems;
    bool m_removesDuplicates = true;
    bool m_wroteSecret = false;
    QString m_previousSecret; // null when there was none
    QStringList m_replacedKeys; // secrets of the older records removed
};

} // namespace kova
