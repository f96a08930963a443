#pragma once

#include <QJsonObject>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "core/KOVConfigurations.h"
#include "core/Kova.h"
#include "sandbox/SandboxServer.h"
#include "tests/support/TestSupport.h"

namespace kova::platform {
class ManagedObjectContext;
}

namespace kova::test {

// The app-wide store's context, where the SDK's roads keep their records.
platform::ManagedObjectContext &context();

inline sandbox::ScriptedReply dropped()
{
    sandbox::ScriptedReply reply;
    reply.fault = sandbox::ScriptedReply::Fault::DropConnection;
    return reply;
}

inline sandbox::ScriptedReply silent()
{
    sandbox::ScriptedReply reply;
    reply.fault = sandbox::ScriptedReply::Fault::NoReply;
    return reply;
}

inline sandbox::ScriptedReply delayed(const QByteArray &body, std::chrono::milliseconds delay)
{
    sandbox::ScriptedReply reply = sandbox::ScriptedReply::raw(body);
    reply.delay = delay;
    return reply;
}

// Holds the process-wide vault's lock the way another process would, so that
// a keychain write waits for release(). Let go at the latest when destroyed
// or after a deadline, so that a test gone wrong fails instead of hanging.
class VaultWriteHold {
public:
    VaultWriteHold();
    ~VaultWriteHold();
    VaultWriteHold(const VaultWriteHold &) = delete;
    VaultWriteHold &operator=(const VaultWriteHold &) = delete;

    bool held() const { return m_held; }
    // The write waiting for the lock fails: the lock is kept past the time a
    // write waits for it, as by a peer that never lets go, and release() lets
    // go only when the hold is destroyed.
    void failTheWaitingWrite();
    void release();

private:
    void letGo();

    int m_fd = -1; // the deadline thread's once it runs
    bool m_held = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_released = false;
    bool m_outlasting = false; // release() waits for the destructor
    std::thread m_deadline;
};

// A fresh device and a fresh process state for every test, with the sandbox
// playing the service and the host's server on loopback.
class SdkTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    struct StartOutcome {
        int calls = 0;
        std::shared_ptr<Kova> kova;
        std::optional<platform::Error> error;
        bool onMainThread = true;
    };
    // Starts the SDK and waits for its completion.
    std::shared_ptr<StartOutcome> start(const QString &appKey, const QString &clientUserID,
                                        std::shared_ptr<KOVConfigurations> options = nullptr, bool wait = true);
    // Starts against the sandbox's default configuration and expects success.
    std::shared_ptr<Kova> startDefault(const QString &clientUserID = QStringLiteral("client-1"));
    // Forgets the process state but keeps the device (store, vault, defaults).
    void simulateRelaunch();

    std::unique_ptr<sandbox::SandboxServer> server;
    std::unique_ptr<LogCapture> logs;
};

} // namespace kova::test
