#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include "core/store/KOVKeychain.h"
#include "platform/keychain/ItemStore.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/Vault.h"
#include "tests/keychain/KeychainTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kova;
using platform::ItemAttributes;
using platform::ItemStore;
using platform::Vault;
namespace Status = platform::KeychainStatus;

namespace {

class VaultTest : public ::testing::Test {
protected:
    QString vaultPath() const { return m_dir.filePath(QStringLiteral("items.vault")); }

    static qint32 put(const std::shared_ptr<Vault> &vault, const QString &account, const QByteArray &value)
    {
        ItemAttributes item = test::genericItem(QStringLiteral("svc"), account);
        item.valueData = value;
        return ItemStore(vault).add(item);
    }

    static qint32 get(const std::shared_ptr<Vault> &vault, const QString &account, QByteArray *value)
    {
        ItemAttributes query = test::genericItem(QStringLiteral("svc"), account);
        query.returnData = true;
        QList<ItemAttributes> result;
        const qint32 status = ItemStore(vault).copyMatching(query, &result);
        if (status == Status::Success)
            *value = *result.first().valueData;
        return status;
    }

    // A vault with two items, written and let go, so that the next Vault on
    // the path starts from the file.
    void writeTwoItems(std::optional<QByteArray> key = std::nullopt)
    {
        auto vault = std::make_shared<Vault>(vaultPath(), key);
        ASSERT_EQ(put(vault, QStringLiteral("alice"), "first secret"), Status::Success);
        ASSERT_EQ(put(vault, QStringLiteral("bob"), "second secret"), Status::Success);
    }

    QTemporaryDir m_dir;
};

TEST_F(VaultTest, ReopenedVaultHasEveryItemAndValue)
{
    writeTwoItems();
    auto reopened = std::make_shared<Vault>(vaultPath());
    QByteArray value;
    EXPECT_EQ(get(reopened, QStringLiteral("alice"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("first secret"));
    EXPECT_EQ(get(reopened, QStringLiteral("bob"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("second secret"));
    EXPECT_EQ(get(reopened, QStringLiteral("carol"), &value), Status::ItemNotFound);

    // An emptied vault stays a vault.
    ItemAttributes all = test::genericItem(QStringLiteral("svc"), QString());
    all.account.reset();
    EXPECT_EQ(ItemStore(reopened).remove(all), Status::Success);
    reopened.reset();
    auto again = std::make_shared<Vault>(vaultPath());
    EXPECT_EQ(get(again, QStringLiteral("alice"), &value), Status::ItemNotFound);
}

TEST_F(VaultTest, FilesAreOwnerOnlyAndHoldNoPlainText)
{
    writeTwoItems();
    for (const QString &path : {vaultPath(), vaultPath() + ".key", vaultPath() + ".lock"}) {
        struct stat st;
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
        EXPECT_EQ(st.st_mode & 0777, 0600u) << path.toStdString();
    }
    EXPECT_EQ(QFileInfo(vaultPath() + ".key").size(), 32);
    const QByteArray bytes = test::fileBytes(vaultPath());
    EXPECT_FALSE(bytes.contains("first secret"));
    EXPECT_FALSE(bytes.contains("alice"));
    EXPECT_FALSE(bytes.contains("svc"));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 3);
}

TEST_F(VaultTest, DamagedVaultFailsEveryCallAndIsNeverRewritten)
{
    struct Case {
        const char *name;
        std::function<QByteArray(QByteArray)> damage;
        qint32 status;
    };
    const Case cases[] = {
        {"one flipped byte inside an item", [](QByteArray b) { b[b.size() / 2] = char(b[b.size() / 2] ^ 0x01); return b; },
         Status::Decode},
        {"one flipped byte in the check", [](QByteArray b) { b[b.size() - 1] = char(b[b.size() - 1] ^ 0x80); return b; },
         Status::Decode},
        {"truncated", [](QByteArray b) { return b.left(b.size() - 40); }, Status::Decode},
        {"another file", [](QByteArray) { return QByteArray("{\"not\": \"a vault\"}"); }, Status::Decode},
        {"empty", [](QByteArray) { return QByteArray(); }, Status::Decode},
        {"key check altered", [](QByteArray b) { b[30] = char(b[30] ^ 0x10); return b; }, Status::AuthFailed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(vaultPath());
        QFile::remove(vaultPath() + ".key");
        writeTwoItems();
        const QByteArray damaged = c.damage(test::fileBytes(vaultPath()));
        ASSERT_TRUE(test::writeFileBytes(vaultPath(), damaged));

        test::LogCapture log;
        auto vault = std::make_shared<Vault>(vaultPath());
        QByteArray value;
        EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), c.status);
        EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), c.status);
        ItemAttributes everything = test::genericItem(QStringLiteral("svc"), QString());
        everything.account.reset();
        EXPECT_EQ(ItemStore(vault).remove(everything), c.status);
        EXPECT_EQ(test::fileBytes(vaultPath()), damaged);
        EXPECT_FALSE(log.lines().isEmpty());
        EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral("Keychain vault ") + vaultPath()));
    }
}

TEST_F(VaultTest, LostOrWrongKeyFailsClearlyAndKeepsTheVault)
{
    struct Case {
        const char *name;
        std::function<void(const QString &keyPath)> change;
        qint32 status;
    };
    const Case cases[] = {
        {"key file removed", [](const QString &path) { QFile::remove(path); }, Status::NotAvailable},
        {"another vault's key", [](const QString &path) { test::writeFileBytes(path, QByteArray(32, 'k')); },
         Status::AuthFailed},
        {"damaged key file", [](const QString &path) { test::writeFileBytes(path, QByteArray("short")); },
         Status::AuthFailed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(vaultPath());
        QFile::remove(vaultPath() + ".key");
        writeTwoItems();
        const QByteArray before = test::fileBytes(vaultPath());
        c.change(vaultPath() + ".key");
        const QByteArray keyAfterChange = test::fileBytes(vaultPath() + ".key");

        auto vault = std::make_shared<Vault>(vaultPath());
        QByteArray value;
        EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), c.status);
        EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), c.status);
        EXPECT_EQ(test::fileBytes(vaultPath()), before);
        EXPECT_EQ(test::fileBytes(vaultPath() + ".key"), keyAfterChange); // never replaced by a new key
    }
}

TEST_F(VaultTest, KeyLostWhileOpenStopsWritesButNotTheItemsAlreadyRead)
{
    auto vault = std::make_shared<Vault>(vaultPath());
    ASSERT_EQ(put(vault, QStringLiteral("alice"), "first secret"), Status::Success);
    const QByteArray before = test::fileBytes(vaultPath());
    ASSERT_TRUE(QFile::remove(vaultPath() + ".key"));

    EXPECT_EQ(put(vault, QStringLiteral("bob"), "second"), Status::NotAvailable);
    EXPECT_EQ(test::fileBytes(vaultPath()), before);
    EXPECT_FALSE(QFile::exists(vaultPath() + ".key"));
    QByteArray value;
    EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("first secret"));
}

TEST_F(VaultTest, HostSuppliedKeyIsTheOnlyKey)
{
    const QByteArray key(32, '\x5a');
    writeTwoItems(key);
    EXPECT_FALSE(QFile::exists(vaultPath() + ".key"));

    QByteArray value;
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath(), key), QStringLiteral("bob"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("second secret"));
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath(), QByteArray(32, '\x5b')), QStringLiteral("bob"), &value),
              Status::AuthFailed);
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath()), QStringLiteral("bob"), &value), Status::NotAvailable);
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath(), QByteArray(16, 'x')), QStringLiteral("bob"), &value),
              Status::Param);
    EXPECT_FALSE(QFile::exists(vaultPath() + ".key"));
}

TEST_F(VaultTest, ThreadsWritingAtOnceLoseNothing)
{
    constexpr int kThreads = 4;
    constexpr int kItems = 25;
    std::vector<std::thread> threads;
    std::atomic<int> failures = 0;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            auto vault = std::make_shared<Vault>(vaultPath()); // one object per thread, one file
            for (int i = 0; i < kItems; ++i)
                if (put(vault, QStringLiteral("t%1-%2").arg(t).arg(i), QByteArray::number(t * 1000 + i)) != Status::Success)
                    ++failures;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);

    auto vault = std::make_shared<Vault>(vaultPath());
    ItemAttributes all = test::genericItem(QStringLiteral("svc"), QString());
    all.account.reset();
    all.matchLimit = platform::MatchLimit::All;
    all.returnData = true;
    QList<ItemAttributes> items;
    ASSERT_EQ(ItemStore(vault).copyMatching(all, &items), Status::Success);
    EXPECT_EQ(items.size(), kThreads * kItems);
}

TEST_F(VaultTest, ProcessesWritingAtOnceLoseNothing)
{
    // Two other processes and this one add items to the same vault at once;
    // every item of every writer must be there afterwards.
    constexpr int kPerWriter = 30;
    std::vector<std::unique_ptr<QProcess>> children;
    for (const char *prefix : {"childA", "childB"}) {
        auto child = std::make_unique<QProcess>();
        child->setProgram(QCoreApplication::applicationFilePath());
        child->setArguments({QStringLiteral("--gtest_filter=VaultWriterChild.*")});
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KOVA_VAULT_WRITER"),
                   QStringLiteral("%1|%2|%3").arg(vaultPath(), QString::fromLatin1(prefix)).arg(kPerWriter));
        child->setProcessEnvironment(env);
        child->setProcessChannelMode(QProcess::ForwardedChannels);
        child->start();
        ASSERT_TRUE(child->waitForStarted(20000));
        children.push_back(std::move(child));
    }
    platform::Vault::setStandard(std::make_shared<Vault>(vaultPath()));
    const auto keychain = KOVKeychain::keychain();
    for (int i = 0; i < kPerWriter; ++i) {
        platform::Error error;
        const QString key = QStringLiteral("parent-%1").arg(i);
        EXPECT_TRUE(keychain->setString(QStringLiteral("value of ") + key, key, &error)) << error.code;
    }
    for (auto &child : children) {
        ASSERT_TRUE(child->waitForFinished(60000));
        EXPECT_EQ(child->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child->exitCode(), 0);
    }

    QStringList missing;
    for (const char *prefix : {"childA", "childB", "parent"})
        for (int i = 0; i < kPerWriter; ++i) {
            const QString key = QStringLiteral("%1-%2").arg(QLatin1String(prefix)).arg(i);
            if (keychain->stringForKey(key) != QStringLiteral("value of ") + key)
                missing.append(key);
        }
    platform::Vault::setStandard(nullptr);
    EXPECT_TRUE(missing.isEmpty()) << missing.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(std::make_shared<Vault>(vaultPath())->read([](const Vault::Items &items, const Vault::AccountIndex &) {
        return items.size() == 3 * kPerWriter ? Status::Success : Status::Param;
    }), Status::Success);
}

} // namespace

// Run only as a child of the concurrent-writers test: a second process
// writing its own items into the shared vault.
TEST(VaultWriterChild, WritesItsItems)
{
    const QStringList job = qEnvironmentVariable("KOVA_VAULT_WRITER").split(QLatin1Char('|'));
    if (job.size() != 3)
        GTEST_SKIP() << "only runs as a child process";
    platform::Vault::setStandard(std::make_shared<platform::Vault>(job[0]));
    const auto keychain = KOVKeychain::keychain();
    for (int i = 0; i < job[2].toInt(); ++i) {
        platform::Error error;
        const QString key = QStringLiteral("%1-%2").arg(job[1]).arg(i);
        ASSERT_TRUE(keychain->setString(QStringLiteral("value of ") + key, key, &error)) << error.code;
    }
}
