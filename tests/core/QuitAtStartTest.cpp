// A host may quit in the very turn it started the SDK (a command-line tool, a
// user closing the app at once): its process still ends cleanly, whatever the
// SDK's workers were doing.
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/internal/KOVOrphanedSecrets.h"
#include "core/store/KOVKeychain.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/Vault.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/support/ChildProcess.h"

using namespace kova;
using namespace kova::test;
using internal::KOVOrphanedSecrets;

// Run only as a child of QuitAtStartTest: starts the SDK and returns at once,
// so that the process ends while the start's work is still under way.
TEST(QuitAtStartChild, StartsAndQuits)
{
    if (!qEnvironmentVariableIsSet("KOVA_QUIT_AT_START_CHILD"))
        GTEST_SKIP() << "only runs as a child process";
    Kova::startWithAppKey("app-key-1", "client-1", nullptr);
}

class QuitAtStartTest : public SdkTest {};

TEST_F(QuitAtStartTest, AHostThatQuitsInTheTurnItStartedEndsCleanly)
{
    startDefault("client-1");
    // Secrets of a writer that lives on (this process): every launch's sweep
    // reads them all and keeps them.
    const auto keychain = KOVKeychain::keychain();
    const QString mark = KOVOrphanedSecrets::mark(QDateTime::currentDateTimeUtc(), ::getpid(), KOVOrphanedSecrets::writer(), 1);
    ASSERT_EQ(platform::Vault::standard()->write([&](platform::Vault::Items &items) {
        for (int i = 0; i < 50; ++i) {
            std::optional<platform::ItemAttributes> item = keychain->attributesWithKey(QStringLiteral("key-%1").arg(i), "secret", nullptr);
            item->label = KOVOrphanedSecrets::label();
            item->comment = mark;
            items.append(platform::VaultItem(*item, "secret"));
        }
        return qint32(platform::KeychainStatus::Success);
    }), platform::KeychainStatus::Success);

#if defined(__SANITIZE_THREAD__)
    constexpr int kLaunches = 40; // each launch takes long there; it looks for races at the exit
#else
    constexpr int kLaunches = 300; // enough for the exit to meet the sweep under way many times over
#endif
    constexpr int kAtOnce = 6;
    const QByteArray dataDir = "KOVA_TEST_DATA_DIR=" + QFile::encodeName(platform::ProcessInfo::dataDirectory());
    const QByteArray service = "KOVA_SERVICE_URL=" + server->baseUrl().toString().toUtf8();
    // What every launch says, one after the other.
    const QString said = platform::ProcessInfo::dataDirectory() + QStringLiteral("/../quit-children.txt");
    const int out = ::open(QFile::encodeName(said).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(out, 0);
    const QDeadlineTimer deadline(std::chrono::seconds(60));
    QList<pid_t> running;
    int started = 0;
    int ended = 0;
    while (ended < kLaunches && !deadline.hasExpired()) {
        while (started < kLaunches && running.size() < kAtOnce) {
            running.append(startChild("QuitAtStartChild.*", {"KOVA_QUIT_AT_START_CHILD=1", dataDir, service}, {}, out));
            ASSERT_GT(running.last(), 0);
            ++started;
        }
        EXPECT_EQ(waitForChild(running.takeFirst(), std::chrono::seconds(10)), 0) << "launch " << ended;
        ++ended;
    }
    ::close(out);
    EXPECT_EQ(ended, kLaunches) << "launches that ended before the deadline";
    QFile output(said);
    ASSERT_TRUE(output.open(QIODevice::ReadOnly));
    const QByteArray text = output.readAll();
    for (const char *report : {"Sanitizer", "runtime error", "QMutex", "QRegularExpression", "corrupted"})
        EXPECT_FALSE(text.contains(report)) << text.constData();
}
