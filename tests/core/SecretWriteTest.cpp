// A new login's secret written to the keychain on the connect manager's
// worker: what the main thread sees while the write is under way, and what
// is left once it has ended, well or not.
#include "core/KOVAppManager.h"
#include "core/KOVConstants.h"
#include "core/connections/KOVBankConnection.h"
#include "core/connections/KOVConnectManager.h"
#include "core/connections/KOVLogin.h"
#include "core/records/KOVBankMetadata.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVKeychain.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/store/ManagedObjectContext.h"
#include "tests/core/SdkTestFixture.h"

using namespace kova;
using namespace kova::test;

namespace {

// What one wait on the write saw.
struct Ended {
    int calls = 0;
    OptionalError error;
    bool onMainThread = true;
};

std::shared_ptr<Ended> waitForWrite(KOVConnectManager &manager)
{
    auto ended = std::make_shared<Ended>();
    manager.whenSecretStored([ended](OptionalError error) {
        ++ended->calls;
        ended->error = std::move(error);
        ended->onMainThread = platform::MainQueue::isMainThread();
    });
    return ended;
}

} // namespace

class SecretWriteTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        startDefault("client-1");
        login = server->issueLogin("client-1");
        key = login.value("tokenID").toString() + login.value("userID").toString();
        secret = login.value("userSecret").toString();
        manager = std::make_shared<KOVConnectManager>("client-1", KOVLogin::initWithDictionary(login));
    }
    void TearDown() override
    {
        manager.reset();
        SdkTest::TearDown();
    }

    QList<sandbox::RecordedRequest> appServerRequests(const QString &action) const
    {
        QList<sandbox::RecordedRequest> found;
        for (const auto &request : server->requests())
            if (request.action == action)
                found.append(request);
        return found;
    }
    int keychainFailures() const { return logs->lines().filter(QStringLiteral("[Kova] Keychain failed: ")).size(); }

    QJsonObject login;
    QString key;
    QString secret;
    std::shared_ptr<KOVConnectManager> manager;
};

TEST_F(SecretWriteTest, WhileTheWriteWaitsTheRecordsAreMadeAndTheSecretIsServedFromMemory)
{
    std::shared_ptr<Ended> ended;
    {
        VaultWriteHold hold;
        ASSERT_TRUE(hold.held());
        manager->storeSecretInBackground();
        ended = waitForWrite(*manager);
        EXPECT_EQ(KOVConnectManager::secretUnderWay(key), secret);
        EXPECT_TRUE(KOVConnectManager::secretUnderWay(key + "x").isNull());

        std::shared_ptr<KOVConnection> made;
        int calls = 0;
        manager->createConnection([&](std::shared_ptr<KOVConnection> connection, OptionalError error) {
            ++calls;
            made = std::move(connection);
            EXPECT_FALSE(error.has_value());
        });
        ASSERT_EQ(calls, 1);
        ASSERT_TRUE(made);
        EXPECT_TRUE(context().hasChanges());

        // The new login's calls carry its secret without waiting on the
        // keychain (which the held write keeps busy).
        const auto bank = KOVBankConnection::initWithConnection(made);
        ASSERT_TRUE(bank);
        int answered = 0;
        bank->getAccountMetadata([&](std::shared_ptr<KOVBankMetadata>, OptionalError error, QString) {
            ++answered;
            EXPECT_FALSE(error.has_value());
        });
        ASSERT_TRUE(waitUntil([&] { return answered == 1; }));
        const auto metadata = appServerRequests("/metadata/accounts/get");
        ASSERT_EQ(metadata.size(), 1);
        EXPECT_EQ(metadata[0].json.value("userSecret").toString(), secret);
        EXPECT_EQ(ended->calls, 0) << "the write still waits for the vault";
        hold.release();
        ASSERT_TRUE(waitUntil([&] { return ended->calls == 1; }));
    }
    EXPECT_FALSE(ended->error.has_value());
    EXPECT_TRUE(ended->onMainThread);
    EXPECT_TRUE(KOVConnectManager::secretUnderWay(key).isNull());
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(key), secret);
    EXPECT_EQ(keychainFailures(), 0);

    // Once ended, a wait is answered at once.
    const auto late = waitForWrite(*manager);
    EXPECT_EQ(late->calls, 1);
    EXPECT_FALSE(late->error.has_value());
}

TEST_F(SecretWriteTest, TakingTheSecretBackWhileItIsWrittenRestoresWhatWasThereOnceTheWriteEnds)
{
    for (const QString &previous : {QStringLiteral("older-secret"), QString()}) {
        SCOPED_TRACE(previous.isNull() ? "nothing stored before" : "a secret stored before");
        auto fresh = std::make_shared<KOVConnectManager>("client-1", KOVLogin::initWithDictionary(login));
        if (!previous.isNull()) {
            ASSERT_TRUE(KOVKeychain::keychain()->setString(previous, key));
        }
        std::shared_ptr<Ended> ended;
        {
            VaultWriteHold hold;
            ASSERT_TRUE(hold.held());
            fresh->storeSecretInBackground();
            fresh->restoreKeychain();
            fresh->restoreKeychain(); // a second call puts back nothing more
            ended = waitForWrite(*fresh);
            hold.release();
            ASSERT_TRUE(waitUntil([&] { return ended->calls == 1; }));
        }
        EXPECT_FALSE(ended->error.has_value());
        EXPECT_EQ(KOVKeychain::keychain()->stringForKey(key), previous);
        EXPECT_TRUE(KOVKeychain::keychain()->removeItemForKey(key));
    }

    // After a write that has ended, the put-back is at once.
    manager->storeSecretInBackground();
    const auto ended = waitForWrite(*manager);
    ASSERT_TRUE(waitUntil([&] { return ended->calls == 1; }));
    ASSERT_EQ(KOVKeychain::keychain()->stringForKey(key), secret);
    manager->restoreKeychain();
    EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(key).isNull());
}

TEST_F(SecretWriteTest, ALoginWithoutItsSecretFailsAtOnceAndWritesNothing)
{
    QJsonObject parameters = login;
    parameters.insert("userSecret", "");
    KOVConnectManager incomplete("client-1", KOVLogin::initWithDictionary(parameters));
    incomplete.storeSecretInBackground();
    const auto ended = waitForWrite(incomplete);
    ASSERT_EQ(ended->calls, 1) << "known before anything is written";
    ASSERT_TRUE(ended->error.has_value());
    EXPECT_EQ(ended->error->domain, KOVKeychainErrorDomain);
    EXPECT_EQ(ended->error->localizedDescription(),
              QStringLiteral("A connection needs a user secret, a token ID and a user ID"));

    int calls = 0;
    incomplete.createConnection([&](std::shared_ptr<KOVConnection> connection, OptionalError error) {
        ++calls;
        EXPECT_FALSE(connection);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->localizedDescription(), ended->error->localizedDescription());
    });
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(context().hasChanges());
    EXPECT_TRUE(KOVKeychain::keychain()->allKeys().isEmpty());
    EXPECT_EQ(keychainFailures(), 1);
}

TEST_F(SecretWriteTest, AFailedWriteIsLoggedOnceWithoutTheSecretAndLeavesNothingBehind)
{
    ASSERT_TRUE(KOVKeychain::keychain()->setString("kept", "unrelated"));
    std::shared_ptr<Ended> ended;
    {
        VaultWriteHold hold;
        ASSERT_TRUE(hold.held());
        manager->storeSecretInBackground();
        ended = waitForWrite(*manager);
        hold.failTheWaitingWrite();
        hold.release();
        ASSERT_TRUE(waitUntil([&] { return ended->calls == 1; }));
    }
    ASSERT_TRUE(ended->error.has_value());
    EXPECT_EQ(ended->error->domain, KOVKeychainErrorDomain);
    EXPECT_EQ(ended->error->code, platform::KeychainStatus::IO) << "the vault held by another process too long";
    EXPECT_TRUE(ended->onMainThread);
    EXPECT_TRUE(KOVConnectManager::secretUnderWay(key).isNull());

    int calls = 0;
    manager->createConnection([&](std::shared_ptr<KOVConnection> connection, OptionalError error) {
        ++calls;
        EXPECT_FALSE(connection);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code, ended->error->code);
    });
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(context().hasChanges());
    manager->restoreKeychain(); // nothing was written, so nothing is put back
    EXPECT_EQ(KOVKeychain::keychain()->allKeys(), QStringList{"unrelated"});

    EXPECT_EQ(keychainFailures(), 1) << logs->lines().join("\n").toStdString();
    for (const QString &line : logs->lines())
        EXPECT_FALSE(line.contains(secret)) << line.toStdString();
}
