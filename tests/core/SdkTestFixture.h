#pragma once

#include <QJsonObject>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

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
