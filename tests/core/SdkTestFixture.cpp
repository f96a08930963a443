#include "tests/core/SdkTestFixture.h"

#include "core/KOVAppManager.h"
#include "core/internal/KOVProcessState.h"
#include "core/KOVScreensProvider.h"
#include "core/api/KOVRepository.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Bundle.h"
#include "platform/keychain/Vault.h"
#include "platform/net/internal/SharedSessionReset.h"

#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kova::test {

void SdkTest::SetUp()
{
    platform::Bundle::setPreferredLanguages({QStringLiteral("en")});
    internal::KOVProcessState::resetAppState();
    resetDataDirectory();
    server = std::make_unique<sandbox::SandboxServer>();
    ASSERT_TRUE(server->start());
    qputenv("KOVA_SERVICE_URL", server->baseUrl().toString().toUtf8());
    logs = std::make_unique<LogCapture>();
}

void SdkTest::TearDown()
{
    drainMainQueue();
    KOVScreensProvider::install(nullptr);
    // The sessions' network threads end here, while the sandbox they talk to
    // and the application object still exist: left running, they would
    // still be reacting to the sandbox's closed connections as the process
    // exits and the application object goes.
    internal::KOVProcessState::resetSessions();
    platform::internal::resetSharedURLSession();
    internal::KOVProcessState::resetServiceSession();
    drainMainQueue();
    internal::KOVProcessState::resetAppState();
    logs.reset();
    server.reset();
    qunsetenv("KOVA_SERVICE_URL");
}

void SdkTest::simulateRelaunch()
{
    drainMainQueue();
    internal::KOVProcessState::resetAppState();
}

std::shared_ptr<SdkTest::StartOutcome> SdkTest::start(const QString &appKey, const QString &clientUserID,
                                                      std::shared_ptr<KOVConfigurations> options, bool wait)
{
    auto outcome = std::make_shared<StartOutcome>();
    Kova::startWithAppKey(appKey, clientUserID, std::move(options),
                          [outcome](std::shared_ptr<Kova> kova, std::optional<platform::Error> error) {
                              ++outcome->calls;
                              outcome->kova = std::move(kova);
                              outcome->error = std::move(error);
                              outcome->onMainThread = outcome->onMainThread && platform::MainQueue::isMainThread();
                          });
    EXPECT_EQ(outcome->calls, 0) << "the start must complete later, never inside the call";
    if (wait) {
        EXPECT_TRUE(waitUntil([&] { return outcome->calls > 0; }));
    }
    return outcome;
}

std::shared_ptr<Kova> SdkTest::startDefault(const QString &clientUserID)
{
    auto outcome = start(QStringLiteral("app-key-1"), clientUserID);
    EXPECT_FALSE(outcome->error.has_value()) << outcome->error->localizedDescription().toStdString();
    EXPECT_TRUE(outcome->kova);
    return outcome->kova;
}

VaultWriteHold::VaultWriteHold()
{
    const QByteArray lockFile = QFile::encodeName(platform::Vault::standard()->lockPath());
    m_fd = ::open(lockFile.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_held = m_fd >= 0;
    m_deadline = std::thread([this] {
        std::unique_lock lock(m_mutex);
        if (!m_wake.wait_for(lock, std::chrono::seconds(20), [this] { return m_released; }))
            ADD_FAILURE() << "the vault was held past the deadline";
        m_released = true;
        letGo();
    });
}

VaultWriteHold::~VaultWriteHold()
{
    {
        std::lock_guard lock(m_mutex);
        m_outlasting = false;
    }
    release();
    m_deadline.join();
}

void VaultWriteHold::failTheWaitingWrite()
{
    std::lock_guard lock(m_mutex);
    m_outlasting = true;
}

void VaultWriteHold::release()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_outlasting)
            return;
        m_released = true;
    }
    m_wake.notify_all();
}

void VaultWriteHold::letGo()
{
    // Called once, by the deadline thread, with the mutex held.
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

platform::ManagedObjectContext &context()
{
    return KOVAppManager::sharedInstance().viewContext();
}

} // namespace kova::test
