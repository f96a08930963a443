#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// What the start takes: the options and the environments, and the error
// codes its completion may carry.
#include "core/KOVConfigurations.h"
#include "core/KOVConstants.h"
#include "platform/foundation/Error.h"

namespace kova {

class KOVAppConfigsModel;
class KOVBankConnection;
class KOVConnect;
class KOVConnectDelegate;

// The host's way in: starts the SDK once per process with the app key, the
// host's own user identifier and its options, and then lists the user's
// bank connections and presents the connect screen.
class Kova : public std::enable_shared_from_this<Kova> {
public:
    using StartCompletion = std::function<void(std::shared_ptr<Kova> kova, std::optional<platform::Error> error)>;

    // Call on the main thread. The completion runs once, later, on the main queue.
    static void startWithAppKey(const QString &appKey, const QString &clientUserID,
                                std::shared_ptr<KOVConfigurations> configuration, StartCompletion completion);
    static void startWithAppKey(const QString &appKey, const QString &clientUserID, StartCompletion completion);
    // The started instance; null before the first start.
    static std::shared_ptr<Kova> sharedInstance();
    static void updateCacheConfigs(const KOVAppConfigsModel &configs, const QString &appKey);
    // Uploads a stored crash report, if there is one.
    static void pushExceptionStacktrace(const QString &appKey);

    Kova(QString appKey, QString clientUserID);

    const QString &appKey() const { return m_appKey; }
    const QString &clientUserID() const { return m_clientUserID; }
    const std::shared_ptr<KOVConfigurations> &configurations() const { return m_configurations; }
    // Stores the options and copies their countries and environment into the app-wide state.
    void setConfigurations(std::shared_ptr<KOVConfigurations> configurations);

    void presentConnect(std::weak_ptr<KOVConnectDelegate> delegate);
    void presentConnect(std::weak_ptr<KOVConnectDelegate> delegate, const QString &bankID);
    void dismissConnect();
    const std::shared_ptr<KOVConnect> &connect() const { return m_connect; }

    // The valid stored connections of this instance's client user, freshly built.
    QList<std::shared_ptr<KOVBankConnection>> getConnections() const;

private:
    QString m_appKey;
    QString m_clientUserID;
    std::shared_ptr<KOVConfigurations> m_configurations;
    std::shared_ptr<KOVConnect> m_connect;
};

} // namespace kova
