// A store file in trouble: a disk that takes no more writes, folders made
// under any umask, a file damaged again and again, two processes that find
// it damaged at once.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/DamagedFile.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"
#include "platform/store/StoreErrors.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/FullDisk.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;
using kova::test::FullDisk;
using kova::test::modeOf;
using kova::test::readFile;
using kova::test::writeFile;
using kova::test::testModel;
namespace sqlite = kova::test::sqlite;

namespace {

QStringList ownerNamesIn(ManagedObjectContext &context)
{
    QStringList names;
    for (const auto &owner : context.executeFetchRequest(FetchRequest("Owner")))
        names.append(owner->text("name"));
    names.sort();
    return names;
}

class StoreTrouble : public ::testing::Test {
protected:
    void SetUp() override
    {
        FullDisk::install();
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath("Store.sqlite");
    }

    std::unique_ptr<PersistentContainer> container(const QString &file)
    {
        auto c = std::make_unique<PersistentContainer>("Store", testModel());
        c->setStoreFile(file);
        return c;
    }

    QTemporaryDir m_dir;
    QString m_file;
};

} // namespace

TEST_F(StoreTrouble, ASaveTheDiskRefusesFailsClearlyAndWhatWasStoredStaysWhole)
{
    auto c = container(m_file);
    ASSERT_TRUE(c->loadPersistentStores());
    auto ann = kova::test::insertOwner(c->viewContext(), "Ann");
    kova::test::insertItem(c->viewContext(), "1", ann);
    ASSERT_TRUE(c->viewContext().save());

    // A save with a new owner and its item, a change and a deletion.
    auto bo = kova::test::insertOwner(c->viewContext(), "Bo");
    kova::test::insertItem(c->viewContext(), "2", bo);
    ann->setText("note", "changed");
    c->viewContext().deleteObject(ann->toMany("items").first());
    Error error;
    {
        FullDisk::Scope full;
        EXPECT_FALSE(c->viewContext().save(&error));
    }
    EXPECT_EQ(error.domain, NSCocoaErrorDomain);
    EXPECT_EQ(error.code, StoreErrors::PersistentStoreSave);
    EXPECT_EQ(error.userInfo.value(StoreErrors::SQLiteErrorKey).toInt() & 0xff, SQLITE_FULL);
    EXPECT_TRUE(error.localizedDescription().endsWith("database or disk is full")) << error.localizedDescription().toStdString();
    EXPECT_TRUE(c->viewContext().hasChanges()) << "nothing is lost: the changes wait for the next save";

    // The next launch finds the store as it was before that save, whole.
    {
        auto relaunched = container(m_file);
        ASSERT_TRUE(relaunched->loadPersistentStores());
        EXPECT_EQ(ownerNamesIn(relaunched->viewContext()), QStringList{"Ann"});
        const auto owners = relaunched->viewContext().executeFetchRequest(FetchRequest("Owner"));
        EXPECT_TRUE(owners.first()->text("note").isNull());
        EXPECT_EQ(owners.first()->toMany("items").size(), 1);
        EXPECT_EQ(relaunched->viewContext().executeFetchRequest(FetchRequest("Item")).size(), 1);
    }
    EXPECT_EQ(sqlite::scalar(m_file, "PRAGMA integrity_check"), QVariant(QString("ok")));

    // With room again, the same save goes through.
    ASSERT_TRUE(c->viewContext().save(&error)) << error.localizedDescription().toStdString();
    auto relaunched = container(m_file);
    ASSERT_TRUE(relaunched->loadPersistentStores());
    EXPECT_EQ(ownerNamesIn(relaunched->viewContext()), (QStringList{"Ann", "Bo"}));
    EXPECT_EQ(relaunched->viewContext().executeFetchRequest(FetchRequest("Item")).size(), 1);
}

TEST_F(StoreTrouble, FoldersItMakesAreTheOwnersAloneWhateverTheUmask)
{
    // 0777 and 0077 take the owner's own bits too, or every bit of the rest:
    // only setting the modes outright gives 700 and 600 under each.
    for (const mode_t mask : {mode_t(0), mode_t(077), mode_t(0777)}) {
        SCOPED_TRACE(mask);
        const QString top = m_dir.filePath(QStringLiteral("umask-%1").arg(mask, 0, 8));
        bool loaded = false;
        bool saved = false;
        {
            kova::test::Umask umask(mask);
            auto c = container(top + "/inner/Store.sqlite");
            loaded = c->loadPersistentStores();
            kova::test::insertOwner(c->viewContext(), "Ann");
            saved = c->viewContext().save();
            // A relaunch opens the file again, the lock beside it too.
            loaded = loaded && container(top + "/inner/Store.sqlite")->loadPersistentStores();
        }
        EXPECT_TRUE(loaded);
        EXPECT_TRUE(saved);
        EXPECT_EQ(modeOf(top), 0700);
        EXPECT_EQ(modeOf(top + "/inner"), 0700);
        for (const char *file : {"Store.sqlite", "Store.sqlite.lock"})
            EXPECT_EQ(modeOf(top + "/inner/" + file), 0600) << file;
    }
}

TEST_F(StoreTrouble, AFileDamagedAgainAndAgainKeepsOnlyItsNewestCopies)
{
    QList<QByteArray> damaged;
    for (int round = 0; round < 5; ++round) {
        const QByteArray garbage = QByteArray("not a database, round ").append(QByteArray::number(round)).repeated(64);
        ASSERT_TRUE(writeFile(m_file, garbage));
        damaged.append(garbage);
        auto c = container(m_file);
        ASSERT_TRUE(c->loadPersistentStores());
    }
    const QStringList all = QDir(m_dir.path()).entryList({QStringLiteral("Store.sqlite.damaged-*")}, QDir::Files, QDir::Name);
    const QStringList copies = all.filter(QRegularExpression(QStringLiteral("Z(-\\d+)?$")));
    ASSERT_EQ(copies.size(), kKeptDamagedCopies) << all.join(' ').toStdString();
    ASSERT_EQ(all.size(), kKeptDamagedCopies) << all.join(' ').toStdString();
    for (const QString &name : copies) {
        const int round = int(damaged.indexOf(readFile(m_dir.filePath(name))));
        EXPECT_GE(round, 5 - kKeptDamagedCopies) << name.toStdString();
    }
}

// Which copies stay follows the order they were set aside in, never their
// stamps: after the clock was stepped back a year, the copy just made is the
// newest, and the oldest of those stamped a year ahead goes.
TEST_F(StoreTrouble, TheCopiesKeptAreTheLastSetAsideWhateverTheClockSaid)
{
    constexpr qint64 kYear = 365ll * 24 * 3600;
    const auto copies = [this] {
        return QDir(m_dir.path())
            .entryList({QStringLiteral("Store.sqlite.damaged-*")}, QDir::Files, QDir::Name)
            .filter(QRegularExpression(QStringLiteral("Z(-\\d+)?$")));
    };
    QList<QByteArray> damaged;
    for (int round = 0; round < 4; ++round) {
        if (round == 3) {
            // The three so far were set aside while the clock was a year ahead.
            for (const QString &name : copies())
                ASSERT_TRUE(QFile::rename(m_dir.filePath(name), m_dir.filePath(kova::test::restamped(name, kYear))));
        }
        const QByteArray garbage = QByteArray("not a database, round ").append(QByteArray::number(round)).repeated(64);
        ASSERT_TRUE(writeFile(m_file, garbage));
        damaged.append(garbage);
        ASSERT_TRUE(container(m_file)->loadPersistentStores());
    }
    const QStringList kept = copies();
    ASSERT_EQ(kept.size(), kKeptDamagedCopies) << kept.join(' ').toStdString();
    QList<QByteArray> keptBytes;
    for (const QString &name : kept)
        keptBytes.append(readFile(m_dir.filePath(name)));
    EXPECT_TRUE(keptBytes.contains(damaged[3])) << "the copy just set aside stays";
    EXPECT_TRUE(keptBytes.contains(damaged[2]));
    EXPECT_TRUE(keptBytes.contains(damaged[1]));
}

namespace {

// SQLite's reads of one file, paused once at one offset: the process stops
// there, tells its parent through one pipe and goes on when the other says so.
class PauseAtRead {
public:
    static void install(const QByteArray &file, sqlite3_int64 offset, int readyFd, int goFd)
    {
        s_file = file;
        s_offset = offset;
        s_readyFd = readyFd;
        s_goFd = goFd;
        s_real = sqlite3_vfs_find(nullptr);
        s_vfs = *s_real;
        s_vfs.zName = "kova-pause-at-read";
        s_vfs.pNext = nullptr;
        s_vfs.xOpen = &open;
        ASSERT_EQ(sqlite3_vfs_register(&s_vfs, 1), SQLITE_OK);
    }

private:
    static int open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
    {
        const int rc = s_real->xOpen(s_real, name, file, flags, outFlags);
        if (rc != SQLITE_OK || !file->pMethods || !name || s_file != name)
            return rc;
        s_methods = *file->pMethods;
        s_realMethods = file->pMethods;
        s_methods.xRead = &read;
        file->pMethods = &s_methods;
        return rc;
    }
    static int read(sqlite3_file *file, void *buffer, int amount, sqlite3_int64 offset)
    {
        if (offset == s_offset && !s_paused) {
            s_paused = true;
            char byte = 'r';
            EXPECT_EQ(::write(s_readyFd, &byte, 1), 1);
            EXPECT_EQ(::read(s_goFd, &byte, 1), 1);
        }
        return s_realMethods->xRead(file, buffer, amount, offset);
    }

    static inline QByteArray s_file;
    static inline sqlite3_int64 s_offset = 0;
    static inline int s_readyFd = -1;
    static inline int s_goFd = -1;
    static inline bool s_paused = false;
    static inline sqlite3_vfs *s_real = nullptr;
    static inline sqlite3_vfs s_vfs{};
    static inline sqlite3_io_methods s_methods{};
    static inline const sqlite3_io_methods *s_realMethods = nullptr;
};

} // namespace

// Run only as a child of the test below: finds the store damaged, stops just
// before it would set it aside until told to go on, then opens what is there.
TEST(StoreAsideChild, OpensTheStoreThatTookTheDamagedOnesPlace)
{
    const QStringList job = qEnvironmentVariable("KOVA_STORE_ASIDE_CHILD").split(QLatin1Char('|'));
    if (job.size() != 4)
        GTEST_SKIP() << "only runs as a child process";
    PauseAtRead::install(QFile::encodeName(job[0]), job[1].toLongLong(), job[2].toInt(), job[3].toInt());
    PersistentContainer c("Store", testModel());
    c.setStoreFile(job[0]);
    Error error;
    EXPECT_TRUE(c.loadPersistentStores(&error)) << error.localizedDescription().toStdString();
    EXPECT_FALSE(c.usesInMemoryStore());
    EXPECT_EQ(ownerNamesIn(c.viewContext()), QStringList{"Ann"});
    kova::test::insertOwner(c.viewContext(), "Bo");
    EXPECT_TRUE(c.viewContext().save(&error)) << error.localizedDescription().toStdString();
}

// Two launches find the store damaged at once. One sets it aside and stores
// a login in the new store; the other, which found the damage first but comes
// second, must neither move that new store nor give up on the disk: it opens
// the store now at the path. The damaged file is kept once, whole.
TEST_F(StoreTrouble, TwoProcessesFindingTheStoreDamagedAtOnceKeepOneCopyAndShareTheNewStore)
{
    {
        auto c = container(m_file);
        ASSERT_TRUE(c->loadPersistentStores());
        kova::test::insertOwner(c->viewContext(), "Old");
        ASSERT_TRUE(c->viewContext().save());
    }
    // Damage that shows only as the rows load, after the file is open:
    // the Owner table's page is overwritten.
    const qint64 pageSize = sqlite::scalar(m_file, "PRAGMA page_size").toLongLong();
    const qint64 page = sqlite::scalar(m_file, "SELECT rootpage FROM sqlite_master WHERE name = 'Owner'").toLongLong();
    ASSERT_GT(page, 1);
    {
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek((page - 1) * pageSize));
        ASSERT_EQ(file.write(QByteArray(int(pageSize), '\xff')), pageSize);
    }
    const QByteArray damaged = readFile(m_file);

    int ready[2];
    int go[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
    const pid_t child = kova::test::startChild(
        "StoreAsideChild.*", {QStringLiteral("KOVA_STORE_ASIDE_CHILD=%1|%2|%3|%4")
                                  .arg(m_file).arg((page - 1) * pageSize).arg(ready[1]).arg(go[0]).toLocal8Bit()},
        {ready[1], go[0]});
    ASSERT_GT(child, 0);
    ::close(ready[1]);
    ::close(go[0]);
    const auto finish = [&] {
        ::close(go[1]);
        ::close(ready[0]);
        return kova::test::waitForChild(child, std::chrono::minutes(1));
    };

    // The other process has found the damage and is about to set it aside.
    pollfd waiting{ready[0], POLLIN, 0};
    char byte = 0;
    const bool paused = ::poll(&waiting, 1, 30000) == 1 && ::read(ready[0], &byte, 1) == 1;
    if (!paused) {
        finish();
        FAIL() << "the other process never reached the damaged rows";
    }
    {
        auto c = container(m_file);
        Error error;
        EXPECT_TRUE(c->loadPersistentStores(&error)) << error.localizedDescription().toStdString();
        EXPECT_FALSE(c->usesInMemoryStore());
        kova::test::insertOwner(c->viewContext(), "Ann");
        EXPECT_TRUE(c->viewContext().save());
    }
    EXPECT_EQ(::write(go[1], "g", 1), 1);
    EXPECT_EQ(finish(), 0) << "the other process opened the new store and saved into it";

    const QStringList aside = QDir(m_dir.path()).entryList({QStringLiteral("Store.sqlite.damaged-*")}, QDir::Files);
    const QStringList copies = aside.filter(QRegularExpression(QStringLiteral("Z(-\\d+)?$")));
    ASSERT_EQ(copies.size(), 1) << aside.join(' ').toStdString();
    EXPECT_EQ(readFile(m_dir.filePath(copies[0])), damaged) << "kept whole";
    auto relaunched = container(m_file);
    ASSERT_TRUE(relaunched->loadPersistentStores());
    EXPECT_FALSE(relaunched->usesInMemoryStore());
    EXPECT_EQ(ownerNamesIn(relaunched->viewContext()), (QStringList{"Ann", "Bo"}));
}

// A change saved as one transaction with what was pending: when the disk
// refuses it, the change is undone in memory (its deletions come back with
// their links, its new objects are let go) and what was pending stays pending.
TEST_F(StoreTrouble, AChangeWhoseSaveTheDiskRefusesIsUndoneAndWhatWasPendingStays)
{
    auto c = container(m_file);
    ASSERT_TRUE(c->loadPersistentStores());
    ManagedObjectContext &context = c->viewContext();
    auto ann = kova::test::insertOwner(context, "Ann");
    auto item = kova::test::insertItem(context, "1", ann);
    ASSERT_TRUE(context.save());
    ann->setText("note", "pending before");

    std::shared_ptr<ManagedObject> bo;
    Error error;
    {
        FullDisk::Scope full;
        EXPECT_FALSE(context.changeAndSave([&] {
            bo = kova::test::insertOwner(context, "Bo");
            context.deleteObject(ann);
        }, &error));
    }
    EXPECT_EQ(error.userInfo.value(StoreErrors::SQLiteErrorKey).toInt() & 0xff, SQLITE_FULL);
    EXPECT_EQ(ownerNamesIn(context), QStringList{"Ann"});
    EXPECT_FALSE(ann->isDeleted());
    EXPECT_FALSE(item->isDeleted());
    ASSERT_EQ(ann->toMany("items").size(), 1);
    EXPECT_EQ(ann->toMany("items").first(), item);
    EXPECT_EQ(bo->managedObjectContext(), nullptr);
    EXPECT_TRUE(context.insertedObjects().isEmpty());
    EXPECT_TRUE(context.deletedObjects().isEmpty());
    ASSERT_EQ(context.updatedObjects().size(), 1);
    EXPECT_EQ(context.updatedObjects().first(), ann);

    // With room again: the change goes through, all of it in one save.
    ASSERT_TRUE(context.changeAndSave([&] { context.deleteObject(item); }, &error)) << error.localizedDescription().toStdString();
    auto relaunched = container(m_file);
    ASSERT_TRUE(relaunched->loadPersistentStores());
    const auto owners = relaunched->viewContext().executeFetchRequest(FetchRequest("Owner"));
    ASSERT_EQ(owners.size(), 1);
    EXPECT_EQ(owners.first()->text("note"), "pending before");
    EXPECT_TRUE(owners.first()->toMany("items").isEmpty());
}
