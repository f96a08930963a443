#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <mutex>

#include "platform/foundation/Error.h"

namespace kova::platform {
class PersistentContainer;
class ManagedObjectContext;
}

namespace kova::internal {
struct KOVProcessState;
}

namespace kova {

class Kova;
class KOVConnection;

// Process-wide state: the started instance, the host's server, the
// countries and environment for the connect page, and the on-device store
// with the SDK's one save path. Used from the main thread, except that the
// store may be first touched from anywhere (it is made under a lock).
class KOVAppManager {
public:
    static KOVAppManager &sharedInstance();

    const std::shared_ptr<Kova> &kovaInstance() const { return m_kovaInstance; }
    void setKovaInstance(std::shared_ptr<Kova> instance) { m_kovaInstance = std::move(instance); }
    const QUrl &serverURL() const { return m_serverURL; }
    void setServerURL(const QUrl &url) { m_serverURL = url; }
    // Empty both when none are known and when the known list is empty; the
    // connect page tells the two apart.
    const QStringList &countries() const { return m_countries; }
    bool countriesKnown() const { return m_countriesKnown; }
    void setCountries(const QStringList &countries)
    {
        m_countries = countries;
        m_countriesKnown = true;
    }
    void forgetCountries()
    {
        m_countries.clear();
        m_countriesKnown = false;
    }
    const QString &environment() const { return m_environment; }
    void setEnvironment(const QString &environment) { m_environment = environment; }

    // Made and loaded on first access.
    std::shared_ptr<platform::PersistentContainer> persistentContainer();
    platform::ManagedObjectContext &viewContext();

    // Stamps every updated, then every inserted object, then saves the view
    // context. Nothing changed: true, nothing stamped.
    bool saveContext(platform::Error *error = nullptr);

    // Every stored connection of the client user, valid or not, oldest first.
    QList<std::shared_ptr<KOVConnection>> getConnectionsForClientUserID(const QString &clientUserID);

private:
    friend struct internal::KOVProcessState;

    KOVAppManager();

    std::shared_ptr<Kova> m_kovaInstance;
    QUrl m_serverURL;
    QStringList m_countries;
    bool m_countriesKnown = false;
    QString m_environment;
    std::mutex m_containerMutex;
    std::shared_ptr<platform::PersistentContainer> m_container;
};

} // namespace kova
