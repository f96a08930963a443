#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>
#include <atomic>
#include <thread>
#include <unistd.h>

#include "core/store/KOVKeychain.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/keychain/ItemStore.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/Vault.h"
#include "tests/keychain/KeychainTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/TestSupport.h"

using namespace kova;
using platform::ItemAttributes;
using platform::ItemStore;
using platform::Vault;
using test::modeOf;
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

    // Every file of the folder by name, with its bytes.
    QMap<QString, QByteArray> folder() const
    {
        QMap<QString, QByteArray> files;
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden))
            files.insert(name, test::fileBytes(m_dir.filePath(name)));
        return files;
    }

    void emptyFolder() const
    {
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden))
            QFile::remove(m_dir.filePath(name));
    }

    // A vault holding `round` under a key file that another key replaced:
    // the next write sets that pair aside. Returns the pair as it went.
    std::pair<QByteArray, QByteArray> setAPairAside(int round)
    {
        auto vault = std::make_shared<Vault>(vaultPath());
        EXPECT_EQ(put(vault, QStringLiteral("round"), QByteArray::number(round)), Status::Success);
        const QByteArray wrongKey(32, char('a' + round));
        EXPECT_TRUE(test::writeFileBytes(vaultPath() + ".key", wrongKey));
        const QByteArray damaged = test::fileBytes(vaultPath());
        EXPECT_EQ(put(std::make_shared<Vault>(vaultPath()), QStringLiteral("next"), "x"), Status::Success);
        return {damaged, wrongKey};
    }

    // The vault copies set aside, by name.
    QStringList vaultCopies() const
    {
        return QDir(m_dir.path())
            .entryList({QStringLiteral("items.vault.damaged-*")}, QDir::Files, QDir::Name)
            .filter(QRegularExpression(QStringLiteral("Z(-\\d+)?$")));
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

TEST_F(VaultTest, DamagedVaultIsMovedAsideUnderADatedNameAndAFreshOneTakesItsPlace)
{
    struct Case {
        const char *name;
        std::function<QByteArray(QByteArray)> damage;
    };
    const Case cases[] = {
        {"one flipped byte inside an item", [](QByteArray b) { b[b.size() / 2] = char(b[b.size() / 2] ^ 0x01); return b; }},
        {"one flipped byte in the check", [](QByteArray b) { b[b.size() - 1] = char(b[b.size() - 1] ^ 0x80); return b; }},
        {"truncated", [](QByteArray b) { return b.left(b.size() - 40); }},
        {"another file", [](QByteArray) { return QByteArray("{\"not\": \"a vault\"}"); }},
        {"empty", [](QByteArray) { return QByteArray(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(name));
        writeTwoItems();
        const QByteArray key = test::fileBytes(vaultPath() + ".key");
        const QByteArray damaged = c.damage(test::fileBytes(vaultPath()));
        ASSERT_TRUE(test::writeFileBytes(vaultPath(), damaged));

        test::LogCapture log;
        auto vault = std::make_shared<Vault>(vaultPath());
        QByteArray value;
        // The items that were in it are gone for this vault: not found, so
        // their connections report their secrets as unavailable.
        EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), Status::ItemNotFound);
        const QStringList aside = QDir(m_dir.path()).entryList({QStringLiteral("items.vault.damaged-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^items\\.vault\\.damaged-\\d{8}T\\d{6}Z$")).match(aside[0]).hasMatch())
            << aside[0].toStdString();
        EXPECT_EQ(test::fileBytes(m_dir.filePath(aside[0])), damaged) << "moved, never rewritten";

        // The user can link again: the fresh vault takes new items and keeps them.
        EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), Status::Success);
        EXPECT_EQ(get(std::make_shared<Vault>(vaultPath()), QStringLiteral("carol"), &value), Status::Success);
        EXPECT_EQ(value, QByteArray("third"));
        EXPECT_EQ(test::fileBytes(vaultPath() + ".key"), key);

        const QStringList lines = log.lines();
        ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Keychain vault ") + vaultPath() + ": ")) << lines[0].toStdString();
        EXPECT_TRUE(lines[0].endsWith(QStringLiteral("; moved aside to ") + m_dir.filePath(aside[0])
                                      + " and a fresh vault takes its place"))
            << lines[0].toStdString();
    }
}

TEST_F(VaultTest, DamagedVaultFoundByAWriterIsMovedAsideBeforeTheWrite)
{
    writeTwoItems();
    const QByteArray damaged = test::fileBytes(vaultPath()).left(60);
    ASSERT_TRUE(test::writeFileBytes(vaultPath(), damaged));
    auto vault = std::make_shared<Vault>(vaultPath());
    EXPECT_EQ(put(vault, QStringLiteral("dave"), "fourth"), Status::Success);
    const QStringList aside = QDir(m_dir.path()).entryList({QStringLiteral("items.vault.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(test::fileBytes(m_dir.filePath(aside[0])), damaged);
    QByteArray value;
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath()), QStringLiteral("alice"), &value), Status::ItemNotFound);
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath()), QStringLiteral("dave"), &value), Status::Success);
}

TEST_F(VaultTest, ValueReadsTrustTheFileForAMomentWhatDecidesAWriteNever)
{
    // Another process takes bob out again: it leaves the file as it was
    // before bob was added (a new file in its place, as every write does).
    auto vault = std::make_shared<Vault>(vaultPath());
    ASSERT_EQ(put(vault, QStringLiteral("alice"), "first secret"), Status::Success);
    const QByteArray withoutBob = test::fileBytes(vaultPath());
    ASSERT_EQ(put(vault, QStringLiteral("bob"), "second secret"), Status::Success);
    QByteArray value;
    ASSERT_EQ(ItemStore(vault).copyValue(test::genericItem(QStringLiteral("svc"), QStringLiteral("bob")), &value),
              Status::Success);
    ASSERT_TRUE(QFile::remove(vaultPath()));
    ASSERT_TRUE(test::writeFileBytes(vaultPath(), withoutBob));

    // Existence, updates and removals look at the file at once.
    EXPECT_EQ(get(vault, QStringLiteral("bob"), &value), Status::ItemNotFound);
    ItemAttributes change;
    change.valueData = QByteArray("changed");
    EXPECT_EQ(ItemStore(vault).update(test::genericItem(QStringLiteral("svc"), QStringLiteral("bob")), change),
              Status::ItemNotFound);

    // A value read sees it once the moment has passed; what this process
    // writes meanwhile is seen at once.
    ASSERT_EQ(put(vault, QStringLiteral("carol"), "third"), Status::Success);
    const ItemAttributes carol = test::genericItem(QStringLiteral("svc"), QStringLiteral("carol"));
    ASSERT_EQ(ItemStore(vault).copyValue(carol, &value), Status::Success);
    EXPECT_EQ(value, QByteArray("third"));
    ASSERT_TRUE(QFile::remove(vaultPath()));
    ASSERT_TRUE(test::writeFileBytes(vaultPath(), withoutBob));
    test::waitOutRecentReads();
    EXPECT_EQ(ItemStore(vault).copyValue(carol, &value), Status::ItemNotFound);
    EXPECT_EQ(ItemStore(vault).copyValue(test::genericItem(QStringLiteral("svc"), QStringLiteral("alice")), &value),
              Status::Success);
    EXPECT_EQ(value, QByteArray("first secret"));
}

TEST_F(VaultTest, FifoOrLinkInPlaceOfTheVaultOrKeyNeverBlocksAndFails)
{
    // Every call below would hang on today's blocking open of a FIFO; each
    // runs on a thread of its own so that a hang fails the test instead.
    auto callEnds = [](std::function<void()> call) {
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread([call, done] {
            call();
            *done = true;
        }).detach();
        return test::waitUntil([&] { return done->load(); }, std::chrono::seconds(5));
    };

    writeTwoItems();
    const QByteArray vaultFile = QFile::encodeName(vaultPath());
    const QByteArray keyFile = QFile::encodeName(vaultPath() + ".key");

    // The key file is a FIFO: no key, so the pair goes aside (the FIFO
    // with it, never opened for reading) and the vault starts afresh.
    ASSERT_EQ(::unlink(keyFile.constData()), 0);
    ASSERT_EQ(::mkfifo(keyFile.constData(), 0600), 0);
    auto status = std::make_shared<std::atomic<qint32>>(0);
    ASSERT_TRUE(callEnds([this, status] {
        QByteArray value;
        *status = get(std::make_shared<Vault>(vaultPath()), QStringLiteral("alice"), &value);
    }));
    EXPECT_EQ(status->load(), Status::ItemNotFound);
    const QStringList keysAside = QDir(m_dir.path()).entryList({QStringLiteral("items.vault.damaged-*.key")}, QDir::System);
    ASSERT_EQ(keysAside.size(), 1);
    struct stat fifo;
    ASSERT_EQ(::lstat(QFile::encodeName(m_dir.filePath(keysAside[0])).constData(), &fifo), 0);
    EXPECT_TRUE(S_ISFIFO(fifo.st_mode));
    writeTwoItems();

    // The vault is a FIFO: an error, and the FIFO stays where it is.
    const QByteArray saved = test::fileBytes(vaultPath());
    ASSERT_EQ(::unlink(vaultFile.constData()), 0);
    ASSERT_EQ(::mkfifo(vaultFile.constData(), 0600), 0);
    ASSERT_TRUE(callEnds([this, status] {
        QByteArray value;
        *status = get(std::make_shared<Vault>(vaultPath()), QStringLiteral("alice"), &value);
    }));
    EXPECT_EQ(status->load(), Status::Decode);
    ASSERT_TRUE(callEnds([this, status] { *status = put(std::make_shared<Vault>(vaultPath()), QStringLiteral("x"), "y"); }));
    EXPECT_EQ(status->load(), Status::Decode);
    struct stat st;
    ASSERT_EQ(::lstat(vaultFile.constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // The vault is a link to a good vault elsewhere: not followed.
    ASSERT_EQ(::unlink(vaultFile.constData()), 0);
    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere.vault"));
    ASSERT_TRUE(test::writeFileBytes(elsewhere, saved));
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), vaultFile.constData()), 0);
    QByteArray value;
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath()), QStringLiteral("alice"), &value), Status::Decode);
    EXPECT_EQ(test::fileBytes(elsewhere), saved);
}

TEST_F(VaultTest, KeyFileOpenToOthersIsTightenedAndLoggedOnce)
{
    writeTwoItems();
    const QByteArray keyFile = QFile::encodeName(vaultPath() + ".key");
    ASSERT_EQ(::chmod(keyFile.constData(), 0644), 0);
    test::LogCapture log;
    QByteArray value;
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath()), QStringLiteral("alice"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("first secret"));
    struct stat st;
    ASSERT_EQ(::stat(keyFile.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(put(std::make_shared<Vault>(vaultPath()), QStringLiteral("carol"), "third"), Status::Success);
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath()), QStringLiteral("bob"), &value), Status::Success);
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Keychain vault %1: the key file was open to other users "
                                                      "(mode 644); its mode is now 600")
                                           .arg(vaultPath())});
}

// Nothing can ever open a vault whose key is gone: kept in place it would
// fail every later call, also after relaunches. It goes aside with whatever
// key file was found, and a new pair takes their place.
TEST_F(VaultTest, LostDamagedOrReplacedKeySetsThePairAsideOnceAndANewPairTakesItsPlace)
{
    struct Case {
        const char *name;
        std::function<void(const QString &vaultPath)> change;
        QString reason;
        bool keyAside; // a key file was there to move
    };
    const Case cases[] = {
        {"key file removed", [](const QString &path) { QFile::remove(path + ".key"); }, "the key file is missing", false},
        {"truncated key file", [](const QString &path) { test::writeFileBytes(path + ".key", test::fileBytes(path + ".key").left(20)); },
         "the key file is damaged", true},
        {"another vault's key", [](const QString &path) { test::writeFileBytes(path + ".key", QByteArray(32, 'k')); },
         "the key file does not open the vault", true},
        {"key file is a link",
         [](const QString &path) {
             QFile::rename(path + ".key", path + ".elsewhere");
             QFile::link(path + ".elsewhere", path + ".key");
         },
         "the key file is a symbolic link", true},
        {"key check of the vault damaged",
         [](const QString &path) {
             QByteArray bytes = test::fileBytes(path);
             bytes[30] = char(bytes[30] ^ 0x10);
             test::writeFileBytes(path, bytes);
         },
         "the key file does not open the vault", true},
    };
    for (const bool writeFirst : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (writeFirst ? ", a write comes first" : ", a read comes first"));
            for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files | QDir::System))
                QFile::remove(m_dir.filePath(name));
            writeTwoItems();
            c.change(vaultPath());
            const QByteArray vaultBefore = test::fileBytes(vaultPath());
            const QByteArray keyBefore = test::fileBytes(vaultPath() + ".key");

            test::LogCapture log;
            auto vault = std::make_shared<Vault>(vaultPath());
            QByteArray value;
            if (writeFirst) {
                EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), Status::Success);
            } else {
                EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), Status::ItemNotFound);
                EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), Status::Success);
            }
            // Later calls, here and in a relaunched process, work on the new pair.
            EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), Status::ItemNotFound);
            auto relaunched = std::make_shared<Vault>(m_dir.filePath("items.vault"));
            EXPECT_EQ(get(relaunched, QStringLiteral("carol"), &value), Status::Success);
            EXPECT_EQ(value, QByteArray("third"));
            EXPECT_EQ(put(relaunched, QStringLiteral("dave"), "fourth"), Status::Success);

            const QStringList aside = QDir(m_dir.path()).entryList({QStringLiteral("items.vault.damaged-*")},
                                                                   QDir::Files | QDir::System, QDir::Name);
            ASSERT_EQ(aside.size(), c.keyAside ? 2 : 1) << aside.join(' ').toStdString();
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^items\\.vault\\.damaged-\\d{8}T\\d{6}Z$")).match(aside[0]).hasMatch());
            EXPECT_EQ(test::fileBytes(m_dir.filePath(aside[0])), vaultBefore) << "moved, never rewritten";
            if (c.keyAside) {
                EXPECT_EQ(aside[1], aside[0] + ".key");
                EXPECT_EQ(test::fileBytes(m_dir.filePath(aside[1])), keyBefore);
            }
            const QByteArray newKey = test::fileBytes(vaultPath() + ".key");
            EXPECT_EQ(newKey.size(), 32);
            EXPECT_NE(newKey, keyBefore);
            EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Keychain vault %1: %2; moved aside to %3 and a fresh vault takes its place")
                                                   .arg(vaultPath(), c.reason, m_dir.filePath(aside[0]))});
        }
    }
}

// A process killed between the two renames that set a pair aside leaves the
// damaged key with no vault: the next write sets that key aside too.
TEST_F(VaultTest, ADamagedKeyLeftWithNoVaultGoesAsideAtTheNextWrite)
{
    writeTwoItems();
    const QByteArray damaged = test::fileBytes(vaultPath() + ".key").left(20);
    test::writeFileBytes(vaultPath() + ".key", damaged);
    ASSERT_TRUE(QFile::rename(vaultPath(), vaultPath() + ".damaged-20240101T000000Z"));

    test::LogCapture log;
    EXPECT_EQ(put(std::make_shared<Vault>(vaultPath()), QStringLiteral("carol"), "third"), Status::Success);
    QByteArray value;
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath()), QStringLiteral("carol"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("third"));
    EXPECT_EQ(test::fileBytes(vaultPath() + ".key").size(), 32);
    const QStringList aside = QDir(m_dir.path()).entryList({QStringLiteral("items.vault.key.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(test::fileBytes(m_dir.filePath(aside[0])), damaged);
    EXPECT_EQ(log.lines().join("\n").toStdString(),
              QStringLiteral("Keychain vault %1: the key file is damaged and no vault is beside it; moved aside to %2 and a fresh key takes its place")
                  .arg(vaultPath(), m_dir.filePath(aside[0])).toStdString());
}

TEST_F(VaultTest, KeyLostWhileOpenLeavesTheItemsAlreadyReadUntilTheNextWriteStartsANewPair)
{
    auto vault = std::make_shared<Vault>(vaultPath());
    ASSERT_EQ(put(vault, QStringLiteral("alice"), "first secret"), Status::Success);
    const QByteArray before = test::fileBytes(vaultPath());
    ASSERT_TRUE(QFile::remove(vaultPath() + ".key"));
    QByteArray value;
    EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("first secret"));

    // The write must not add to a vault no later process could open.
    EXPECT_EQ(put(vault, QStringLiteral("bob"), "second"), Status::Success);
    const QStringList aside = QDir(m_dir.path()).entryList({QStringLiteral("items.vault.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(test::fileBytes(m_dir.filePath(aside[0])), before);
    EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), Status::ItemNotFound);
    EXPECT_EQ(get(std::make_shared<Vault>(m_dir.filePath("items.vault")), QStringLiteral("bob"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("second"));
}

TEST_F(VaultTest, HostSuppliedKeyIsTheOnlyKey)
{
    const QByteArray key(32, '\x5a');
    writeTwoItems(key);
    EXPECT_FALSE(QFile::exists(vaultPath() + ".key"));

    QByteArray value;
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath(), key), QStringLiteral("bob"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("second secret"));
    // A wrong key from the host is the host's to put right: the vault stays.
    const QByteArray before = test::fileBytes(vaultPath());
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath(), QByteArray(32, '\x5b')), QStringLiteral("bob"), &value),
              Status::AuthFailed);
    EXPECT_EQ(put(std::make_shared<Vault>(vaultPath(), QByteArray(32, '\x5b')), QStringLiteral("eve"), "x"),
              Status::AuthFailed);
    EXPECT_EQ(get(std::make_shared<Vault>(vaultPath(), QByteArray(16, 'x')), QStringLiteral("bob"), &value),
              Status::Param);
    EXPECT_EQ(test::fileBytes(vaultPath()), before);
    EXPECT_FALSE(QFile::exists(vaultPath() + ".key"));
    EXPECT_TRUE(QDir(m_dir.path()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files).isEmpty());
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

TEST_F(VaultTest, AWriteWaitsForAnotherProcessOnlySoLong)
{
    writeTwoItems();
    auto vault = std::make_shared<Vault>(vaultPath());
    // Another process holding the lock: flock excludes every other open of
    // the file, this process's own included.
    const int peer = ::open(QFile::encodeName(vault->lockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(peer, 0);
    ASSERT_EQ(::flock(peer, LOCK_EX), 0);
    // The peer is mid-write: its temporary file is its own until it lets go.
    const QString peersTemp = m_dir.filePath(QStringLiteral("items.vault.tmp-1-0123456789abcdef"));
    ASSERT_TRUE(test::writeFileBytes(peersTemp, "half a vault"));

    test::LogCapture log;
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(put(vault, QStringLiteral("carol"), "third secret"), Status::IO);
    EXPECT_GE(waited.elapsed(), qint64(Vault::kProcessLockWait.count()) - 10);
    EXPECT_LT(waited.elapsed(), qint64(Vault::kProcessLockWait.count()) + 2000);
    EXPECT_TRUE(log.contains(QStringLiteral("Keychain vault %1: another process has held the lock for over 2000 ms (status -36)")
                                 .arg(vaultPath())))
        << log.lines().join('\n').toStdString();
    // What was stored is still there and readable meanwhile.
    QByteArray value;
    EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), Status::Success);
    EXPECT_EQ(value, "first secret");
    EXPECT_EQ(test::fileBytes(peersTemp), "half a vault");

    // Once the peer lets go, writes go through again; had it left its file
    // behind, it ended without finishing.
    ::flock(peer, LOCK_UN);
    ::close(peer);
    EXPECT_EQ(put(vault, QStringLiteral("carol"), "third secret"), Status::Success);
    EXPECT_FALSE(QFile::exists(peersTemp));
    EXPECT_EQ(get(vault, QStringLiteral("carol"), &value), Status::Success);
    EXPECT_EQ(value, "third secret");
}

TEST_F(VaultTest, TheStandardVaultFollowsTheDataDirectory)
{
    QTemporaryDir other;
    const QString home = test::dataDirectory();
    const auto first = Vault::standard();
    EXPECT_EQ(first->path(), QDir(home).filePath(QFileInfo(first->path()).fileName()));
    EXPECT_EQ(Vault::standard(), first) << "one vault while the directory stays";

    platform::ProcessInfo::setDataDirectoryOverride(other.path());
    const auto moved = Vault::standard();
    EXPECT_NE(moved, first);
    EXPECT_EQ(QFileInfo(moved->path()).absolutePath(), other.path());

    // Chosen again, even as the same directory: the vault is still the one there.
    platform::ProcessInfo::setDataDirectoryOverride(other.path());
    EXPECT_EQ(Vault::standard(), moved);

    auto host = std::make_shared<Vault>(vaultPath());
    Vault::setStandard(host);
    EXPECT_EQ(Vault::standard(), host);
    Vault::setStandard(nullptr);

    platform::ProcessInfo::setDataDirectoryOverride(home);
    EXPECT_EQ(QFileInfo(Vault::standard()->path()).absolutePath(), home);
}

TEST_F(VaultTest, FilesReplacedByWritesAreLetGo)
{
    // Each write renames a new file over the one the vault held open; the
    // replaced one is closed off the writer's thread, and must still be
    // closed, or every write would keep a deleted file alive.
    const auto descriptorsOnReplacedFiles = [this] {
        int count = 0;
        const QString prefix = QFileInfo(vaultPath()).canonicalFilePath();
        for (const QFileInfo &entry : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files)) {
            const QString target = entry.symLinkTarget();
            if (target.startsWith(prefix) && target.endsWith(QLatin1String("(deleted)")))
                ++count;
        }
        return count;
    };
    auto vault = std::make_shared<Vault>(vaultPath());
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(put(vault, QStringLiteral("a%1").arg(i), QByteArray::number(i)), Status::Success);
    ASSERT_TRUE(QFileInfo::exists(vaultPath()));
    const QDeadlineTimer deadline(5000);
    while (descriptorsOnReplacedFiles() > 0 && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(descriptorsOnReplacedFiles(), 0);
    QByteArray value;
    EXPECT_EQ(get(vault, QStringLiteral("a19"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("19"));
}

TEST_F(VaultTest, ProcessesWritingAtOnceLoseNothing)
{
    // Two other processes and this one add items to the same vault at once;
    // every item of every writer must be there afterwards.
    constexpr int kPerWriter = 30;
    std::vector<pid_t> children;
    for (const char *prefix : {"childA", "childB"}) {
        children.push_back(test::startChild("VaultWriterChild.*", {QStringLiteral("KOVA_VAULT_WRITER=%1|%2|%3")
                                                                       .arg(vaultPath(), QString::fromLatin1(prefix))
                                                                       .arg(kPerWriter)
                                                                       .toLocal8Bit()}));
        ASSERT_GT(children.back(), 0);
    }
    platform::Vault::setStandard(std::make_shared<Vault>(vaultPath()));
    const auto keychain = KOVKeychain::keychain();
    for (int i = 0; i < kPerWriter; ++i) {
        platform::Error error;
        const QString key = QStringLiteral("parent-%1").arg(i);
        EXPECT_TRUE(keychain->setString(QStringLiteral("value of ") + key, key, &error)) << error.code;
    }
    for (const pid_t pid : children)
        EXPECT_EQ(test::waitForChild(pid, std::chrono::minutes(1)), 0) << "a writer failed or did not finish in a minute";

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

namespace {

// Writes past `bytes` fail with EFBIG, as on a full disk, for the lifetime of
// the object (the process's file size limit; the signal it raises is ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    bool set() const { return m_set; }

private:
    rlimit m_saved{};
    void (*m_previousHandler)(int) = nullptr;
    bool m_set = false;
};

} // namespace

TEST_F(VaultTest, AWriteThatCannotReachTheDiskFailsAndLeavesTheStoredVaultReadable)
{
    writeTwoItems();
    const QByteArray before = test::fileBytes(vaultPath());
    auto vault = std::make_shared<Vault>(vaultPath());
    test::LogCapture log;
    {
        FileSizeLimit full(64);
        ASSERT_TRUE(full.set());
        EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), Status::IO);
    }
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Keychain vault %1: cannot write the vault: File too large (status -36)")
                                           .arg(vaultPath())});
    EXPECT_EQ(test::fileBytes(vaultPath()), before) << "the half-written copy never replaces the vault";
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files, QDir::Name),
              (QStringList{"items.vault", "items.vault.key", "items.vault.lock"}))
        << "no temporary file is left behind";
    QByteArray value;
    for (const auto &reader : {vault, std::make_shared<Vault>(m_dir.filePath("items.vault"))}) {
        EXPECT_EQ(get(reader, QStringLiteral("alice"), &value), Status::Success);
        EXPECT_EQ(value, QByteArray("first secret"));
        EXPECT_EQ(get(reader, QStringLiteral("carol"), &value), Status::ItemNotFound);
    }
    // Once there is room again, the same write goes through.
    EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), Status::Success);
    EXPECT_EQ(get(std::make_shared<Vault>(m_dir.filePath("items.vault")), QStringLiteral("carol"), &value), Status::Success);
}

TEST_F(VaultTest, FoldersItMakesAreTheOwnersAloneWhateverTheUmask)
{
    // 0777 and 0077 take the owner's own bits too, or every bit of the rest:
    // only setting the modes outright gives 700 and 600 under each.
    for (const mode_t mask : {mode_t(0), mode_t(022), mode_t(077), mode_t(0777)}) {
        SCOPED_TRACE(mask);
        const QString top = m_dir.filePath(QStringLiteral("umask-%1").arg(mask, 0, 8));
        qint32 status = 0;
        {
            test::Umask umask(mask);
            status = put(std::make_shared<Vault>(top + "/inner/items.vault"), QStringLiteral("alice"), "first");
        }
        EXPECT_EQ(status, Status::Success);
        EXPECT_EQ(modeOf(top), 0700);
        EXPECT_EQ(modeOf(top + "/inner"), 0700);
        for (const char *file : {"items.vault", "items.vault.key", "items.vault.lock"})
            EXPECT_EQ(modeOf(top + "/inner/" + file), 0600) << file;
    }
    EXPECT_EQ(modeOf(m_dir.path()), 0700) << "a folder that was there keeps its mode";
}

// A disk that fails to give back the key or the vault fails the call and
// changes nothing: only a file read whole and proven wrong goes aside.
TEST_F(VaultTest, ReadErrorsOnTheKeyOrTheVaultFailTheCallAndChangeNothing)
{
    using Call = test::ReadErrorsOn::Call;
    struct Case {
        const char *name;
        const char *file;
        Call call;
        QString reason;
    };
    const Case cases[] = {
        {"the key file's read fails", ".key", Call::Read, "cannot read the key file: Input/output error"},
        {"the key file's stat fails", ".key", Call::Fstat, "cannot inspect the key file: Input/output error"},
        {"the vault's read fails", "", Call::Read, "cannot read the vault: Input/output error"},
        {"the vault's stat fails", "", Call::Fstat, "cannot inspect the vault: Input/output error"},
    };
    for (const bool writeFirst : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (writeFirst ? ", a write comes first" : ", a read comes first"));
            emptyFolder();
            writeTwoItems();
            const QMap<QString, QByteArray> before = folder();
            {
                const test::ReadErrorsOn errors(vaultPath() + c.file, c.call);
                test::LogCapture log;
                auto vault = std::make_shared<Vault>(vaultPath());
                QByteArray value;
                if (writeFirst) {
                    EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), Status::IO);
                }
                EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), Status::IO);
                EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), Status::IO);
                const QString line = QStringLiteral("Keychain vault %1: %2 (status -36)").arg(vaultPath(), c.reason);
                EXPECT_EQ(log.lines(), QStringList(writeFirst ? 3 : 2, line));
            }
            EXPECT_EQ(folder(), before) << "nothing set aside, nothing written";
            // Once the disk answers again, every item is there.
            QByteArray value;
            EXPECT_EQ(get(std::make_shared<Vault>(vaultPath()), QStringLiteral("alice"), &value), Status::Success);
            EXPECT_EQ(value, QByteArray("first secret"));
        }
    }
}

TEST_F(VaultTest, KeyFileReplacedWhileTheVaultIsOpenNeverGetsAVaultItDoesNotOpen)
{
    auto vault = std::make_shared<Vault>(vaultPath());
    ASSERT_EQ(put(vault, QStringLiteral("alice"), "first secret"), Status::Success);
    const QByteArray vaultBefore = test::fileBytes(vaultPath());
    const QByteArray otherKey(32, 'k');
    ASSERT_TRUE(test::writeFileBytes(vaultPath() + ".key", otherKey));

    // What was read stays readable in this process.
    QByteArray value;
    EXPECT_EQ(get(vault, QStringLiteral("alice"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("first secret"));

    // The next write is not sealed under a key no file holds any more: the
    // pair as found goes aside and the write starts a new one.
    EXPECT_EQ(put(vault, QStringLiteral("bob"), "second"), Status::Success);
    const QStringList copies = vaultCopies();
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(test::fileBytes(m_dir.filePath(copies[0])), vaultBefore);
    EXPECT_EQ(test::fileBytes(m_dir.filePath(copies[0] + ".key")), otherKey);
    const QByteArray newKey = test::fileBytes(vaultPath() + ".key");
    EXPECT_EQ(newKey.size(), 32);
    EXPECT_NE(newKey, otherKey);

    // A relaunched process opens the vault on disk with the key beside it.
    auto relaunched = std::make_shared<Vault>(m_dir.filePath("items.vault"));
    EXPECT_EQ(get(relaunched, QStringLiteral("bob"), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("second"));
    EXPECT_EQ(get(relaunched, QStringLiteral("alice"), &value), Status::ItemNotFound);
}

// A writer makes its temporary files only while it holds the vault's lock:
// any found by the next writer were left by one that ended mid-write.
TEST_F(VaultTest, AWriteRemovesWhatWritersThatEndedLeftAndNothingElse)
{
    writeTwoItems();
    const QByteArray copy = test::fileBytes(vaultPath());
    const QStringList leftovers{
        "items.vault.tmp-4242-0123456789abcdef",
        "items.vault.key.tmp-77-fedcba9876543210",
        // Whether a process of that number runs says nothing: in another pid
        // namespace, or after the number was reused, it is not the writer.
        QStringLiteral("items.vault.tmp-%1-00000000000000ff").arg(::getpid()),
    };
    const QStringList bystanders{"items.vault.tmp-notes", "items.vault.tmp-12-0123",
                                 "items.vault.tmp-12-0123456789ABCDEF", "other.vault.tmp-4242-0123456789abcdef"};
    for (const QString &name : leftovers + bystanders)
        ASSERT_TRUE(test::writeFileBytes(m_dir.filePath(name), copy));

    test::LogCapture log;
    auto vault = std::make_shared<Vault>(vaultPath());
    QByteArray value;
    ASSERT_EQ(get(vault, QStringLiteral("alice"), &value), Status::Success);
    EXPECT_TRUE(QFile::exists(m_dir.filePath(leftovers[0]))) << "a read takes no write lock and removes nothing";
    EXPECT_EQ(put(vault, QStringLiteral("carol"), "third"), Status::Success);

    QStringList expected = bystanders + QStringList{"items.vault", "items.vault.key", "items.vault.lock"};
    expected.sort();
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files, QDir::Name), expected);
    QStringList lines = log.lines();
    lines.sort();
    QStringList removed;
    for (const QString &name : leftovers)
        removed.append(QStringLiteral("Keychain vault %1: removed %2, left by a writer that ended").arg(vaultPath(), name));
    removed.sort();
    EXPECT_EQ(lines, removed);
}

TEST_F(VaultTest, OnlyTheNewestDamagedPairsAreKept)
{
    QList<std::pair<QByteArray, QByteArray>> pairs;
    for (int round = 0; round < 5; ++round)
        pairs.append(setAPairAside(round));
    const QStringList aside = QDir(m_dir.path()).entryList({QStringLiteral("items.vault.damaged-*")}, QDir::Files);
    const QStringList vaults = vaultCopies();
    ASSERT_EQ(vaults.size(), 3) << aside.join(' ').toStdString();
    ASSERT_EQ(aside.size(), 6) << aside.join(' ').toStdString();
    QList<std::pair<QByteArray, QByteArray>> kept;
    for (const QString &name : vaults)
        kept.append({test::fileBytes(m_dir.filePath(name)), test::fileBytes(m_dir.filePath(name + ".key"))});
    for (int round = 2; round < 5; ++round)
        EXPECT_TRUE(kept.contains(pairs[round])) << round << ": each key beside its vault";
}

// Which copies stay follows the order they were set aside in, never their
// stamps: after the clock was stepped back a year, the pair just set aside is
// the newest, and the oldest of those stamped a year ahead goes.
TEST_F(VaultTest, ThePairsKeptAreTheLastSetAsideWhateverTheClockSaid)
{
    constexpr qint64 kYear = 365ll * 24 * 3600;
    struct Case {
        const char *name;
        // The name a copy made in `round` had under a clock a year ahead.
        std::function<QString(const QString &name, int round)> aheadName;
    };
    const Case cases[] = {
        {"named as made", [](const QString &name, int) { return test::restamped(name, kYear); }},
        {"named before copies were numbered across seconds, each first in its second",
         [](const QString &name, int round) {
             return test::restamped(name.left(name.indexOf(QLatin1Char('Z')) + 1), kYear + round);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        emptyFolder();
        QList<std::pair<QByteArray, QByteArray>> pairs;
        for (int round = 0; round < 3; ++round)
            pairs.append(setAPairAside(round));
        const QStringList made = vaultCopies();
        ASSERT_EQ(made.size(), 3);
        for (const QString &name : made) {
            const int round = int(pairs.indexOf({test::fileBytes(m_dir.filePath(name)), test::fileBytes(m_dir.filePath(name + ".key"))}));
            ASSERT_GE(round, 0) << name.toStdString();
            const QString ahead = c.aheadName(name, round);
            ASSERT_TRUE(QFile::rename(m_dir.filePath(name), m_dir.filePath(ahead)));
            ASSERT_TRUE(QFile::rename(m_dir.filePath(name + ".key"), m_dir.filePath(ahead + ".key")));
        }

        pairs.append(setAPairAside(3));
        const QStringList copies = vaultCopies();
        ASSERT_EQ(copies.size(), 3) << copies.join(' ').toStdString();
        QList<std::pair<QByteArray, QByteArray>> kept;
        for (const QString &name : copies)
            kept.append({test::fileBytes(m_dir.filePath(name)), test::fileBytes(m_dir.filePath(name + ".key"))});
        EXPECT_TRUE(kept.contains(pairs[3])) << "the pair just set aside stays";
        EXPECT_TRUE(kept.contains(pairs[2]));
        EXPECT_TRUE(kept.contains(pairs[1]));
        EXPECT_EQ(QDir(m_dir.path()).entryList({QStringLiteral("items.vault.damaged-*")}, QDir::Files).size(), 6)
            << "the copy removed took its key along";
    }
}
