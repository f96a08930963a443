#include "core/KOVAppManager.h"

#include "core/Kova.h"
#include "core/internal/KOVFontRegistration.h"
#include "core/internal/KOVOrphanedSecrets.h"
#include "core/internal/KOVProcessState.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVDataModel.h"
#include "core/store/KOVStoreSave.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"

namespace kova {
namespace {
std::once_flag s_once;
KOVAppManager *s_manager = nullptr;
} // namespace

KOVAppManager &KOVAppManager::sharedInstance()
{
    std::call_once(s_once, [] {
        s_manager = new KOVAppManager(); // lives for the process
        startFontRegistration();
    });
    return *s_manager;
}

KOVAppManager::KOVAppManager() = default;

std::shared_ptr<platform::PersistentContainer> KOVAppManager::persistentContainer()
{
    std::lock_guard lock(m_containerMutex);
    if (!m_container) {
        m_container = makeKovaConnectContainer();
        // Secrets of logins that were never stored go once the logins that
        // were are known; a store in memory knows none of them.
        if (!m_container->usesInMemoryStore())
            internal::KOVOrphanedSecrets::removeLeftovers(m_container->storeFile(), m_container->managedObjectModel());
    }
    return m_container;
}

platform::ManagedObjectContext &KOVAppManager::viewContext()
{
    return persistentContainer()->viewContext();
}

bool KOVAppManager::saveContext(platform::Error *error)
{
    return saveContextStamping(viewContext(), error);
}

QList<std::shared_ptr<KOVConnection>> KOVAppManager::getConnectionsForClientUserID(const QString &clientUserID)
{
    platform::Error error;
    return viewContext().fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID(QString(), clientUserID, false),
                                              &error);
}

void internal::KOVProcessState::resetAppState()
{
    KOVAppManager &manager = KOVAppManager::sharedInstance();
    resetStartState();
    manager.m_kovaInstance.reset();
    manager.m_serverURL = QUrl();
    manager.forgetCountries();
    manager.m_environment.clear();
    std::lock_guard lock(manager.m_containerMutex);
    manager.m_container.reset();
}

} // namespace kova
