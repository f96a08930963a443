// A store file in trouble: a disk that takes no more writes, folders made
// under a permissive umask, a file damaged again and again.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "platform/foundation/DamagedFile.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"
#include "platform/store/StoreErrors.h"
#include "tests/store/StoreTestSupport.h"
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

    static QStringList ownerNames(ManagedObjectContext &context)
    {
        QStringList names;
        for (const auto &owner : context.executeFetchRequest(FetchRequest("Owner")))
            names.append(owner->text("name"));
        names.sort();
        return names;
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
        EXPECT_EQ(ownerNames(relaunched->viewContext()), QStringList{"Ann"});
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
    EXPECT_EQ(ownerNames(relaunched->viewContext()), (QStringList{"Ann", "Bo"}));
    EXPECT_EQ(relaunched->viewContext().executeFetchRequest(FetchRequest("Item")).size(), 1);
}

TEST_F(StoreTrouble, FoldersItMakesAreTheOwnersAloneWhateverTheUmask)
{
    std::unique_ptr<PersistentContainer> c;
    bool loaded = false;
    bool saveOk = false;
    {
        kova::test::Umask permissive(0);
        c = container(m_dir.filePath("outer/inner/Store.sqlite"));
        loaded = c->loadPersistentStores();
        kova::test::insertOwner(c->viewContext(), "Ann");
        saveOk = c->viewContext().save();
    }
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(saveOk);
    EXPECT_EQ(modeOf(m_dir.filePath("outer")), 0700);
    EXPECT_EQ(modeOf(m_dir.filePath("outer/inner")), 0700);
    EXPECT_EQ(modeOf(m_dir.filePath("outer/inner/Store.sqlite")), 0600);
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
    EXPECT_EQ(ownerNames(context), QStringList{"Ann"});
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
