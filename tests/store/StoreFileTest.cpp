#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QTemporaryDir>
#include <barrier>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentContainer.h"
#include "platform/store/SqliteStore.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;
using kova::test::testModel;
namespace sqlite = kova::test::sqlite;

namespace {

int modeOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 0777);
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class StoreFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath("Store.sqlite");
    }

    std::unique_ptr<PersistentContainer> container(int version = 1)
    {
        auto c = std::make_unique<PersistentContainer>("Store", testModel(version));
        c->setStoreFile(m_file);
        return c;
    }

    // A store file holding one owner "Ann" with one item "1".
    void seed(int version = 1)
    {
        auto c = container(version);
        ASSERT_TRUE(c->loadPersistentStores());
        auto owner = c->viewContext().insertNewObject("Owner");
        owner->setText("name", "Ann");
        auto item = c->viewContext().insertNewObject("Item");
        item->setText("title", "1");
        owner->addToMany("items", item);
        ASSERT_TRUE(c->viewContext().save());
    }

    // The store falls back to memory and stays fully usable.
    void expectFallback(PersistentContainer &c, qint64 code, const QString &reason)
    {
        kova::test::LogCapture log;
        Error error;
        EXPECT_FALSE(c.loadPersistentStores(&error));
        EXPECT_EQ(error.domain, NSCocoaErrorDomain);
        EXPECT_EQ(error.code, code);
        EXPECT_EQ(error.localizedDescription(), reason);
        EXPECT_TRUE(c.usesInMemoryStore());
        ASSERT_TRUE(c.fallbackReason().has_value());
        EXPECT_EQ(c.fallbackReason()->code, code);
        EXPECT_EQ(c.fallbackReason()->localizedDescription(), reason);
        EXPECT_EQ(log.lines(), QStringList{QStringLiteral("The store \"%1\" cannot be opened (%2); an in-memory store takes its place.")
                                               .arg(c.storeFile(), reason)});
        ManagedObjectContext &context = c.viewContext();
        EXPECT_TRUE(context.executeFetchRequest(FetchRequest("Owner")).isEmpty());
        auto owner = context.insertNewObject("Owner");
        ASSERT_NE(owner, nullptr);
        owner->setText("name", "Memory");
        Error saveError;
        EXPECT_TRUE(context.save(&saveError)) << saveError.localizedDescription().toStdString();
        EXPECT_EQ(context.executeFetchRequest(FetchRequest("Owner")).size(), 1);
    }

    QTemporaryDir m_dir;
    QString m_file;
};

} // namespace

TEST_F(StoreFile, IsPrivateWalJournalledAndVersioned)
{
    seed();
    EXPECT_EQ(modeOf(m_file), 0600);
    EXPECT_EQ(sqlite::scalar(m_file, "PRAGMA journal_mode"), QVariant(QString("wal")));
    EXPECT_EQ(sqlite::scalar(m_file, "PRAGMA user_version"), QVariant(qint64(1)));
    EXPECT_EQ(sqlite::scalar(m_file, "SELECT name FROM Owner"), QVariant(QString("Ann")));
    // The item keeps its owner's key; the owner's side has no column of its own.
    EXPECT_EQ(sqlite::scalar(m_file, "SELECT Item.owner = Owner.Z_PK FROM Item, Owner"), QVariant(qint64(1)));

    // An existing file that others could read is made private, and so is
    // its journal while the store is open.
    ASSERT_EQ(::chmod(QFile::encodeName(m_file).constData(), 0644), 0);
    auto c = container();
    ASSERT_TRUE(c->loadPersistentStores());
    EXPECT_EQ(modeOf(m_file), 0600);
    c->viewContext().insertNewObject("Owner");
    ASSERT_TRUE(c->viewContext().save());
    EXPECT_EQ(modeOf(m_file + "-wal"), 0600);
}

TEST_F(StoreFile, DefaultsToTheDataDirectory)
{
    EXPECT_EQ(PersistentContainer::defaultStoreFile("KovaConnect"), kova::test::dataDirectory() + "/KovaConnect.sqlite");
    PersistentContainer c("Named", testModel());
    EXPECT_EQ(c.storeFile(), kova::test::dataDirectory() + "/Named.sqlite");
}

TEST_F(StoreFile, InMemoryStoresWriteNoFileAndForgetOnReopen)
{
    auto c = container();
    c->setInMemory();
    ASSERT_TRUE(c->loadPersistentStores());
    EXPECT_TRUE(c->usesInMemoryStore());
    c->viewContext().insertNewObject("Owner");
    EXPECT_TRUE(c->viewContext().save());
    EXPECT_EQ(c->viewContext().executeFetchRequest(FetchRequest("Owner")).size(), 1);
    EXPECT_FALSE(QFile::exists(m_file));
    ASSERT_TRUE(c->loadPersistentStores());
    EXPECT_TRUE(c->viewContext().executeFetchRequest(FetchRequest("Owner")).isEmpty());
}

TEST_F(StoreFile, ViewContextLoadsOnFirstUse)
{
    seed();
    auto c = container();
    EXPECT_FALSE(c->isLoaded());
    EXPECT_EQ(c->viewContext().executeFetchRequest(FetchRequest("Owner")).size(), 1);
    EXPECT_TRUE(c->isLoaded());
    EXPECT_FALSE(c->usesInMemoryStore());
}

TEST_F(StoreFile, CorruptFileIsKeptAsideAndANewStoreTakesItsPlace)
{
    QByteArray garbage;
    for (int i = 0; i < 512; ++i)
        garbage.append("this is not a database ");
    {
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    kova::test::LogCapture log;
    {
        auto c = container();
        Error error;
        EXPECT_TRUE(c->loadPersistentStores(&error));
        EXPECT_FALSE(c->usesInMemoryStore());
        auto owner = c->viewContext().insertNewObject("Owner");
        owner->setText("name", "Bea");
        ASSERT_TRUE(c->viewContext().save());
    }
    // The damaged file is kept whole under a dated name, never deleted.
    const QStringList aside = QDir(m_dir.path()).entryList({QStringLiteral("Store.sqlite.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Store\\.sqlite\\.damaged-\\d{8}T\\d{6}Z$")).match(aside.first()).hasMatch())
        << aside.first().toStdString();
    EXPECT_EQ(contentsOf(m_dir.filePath(aside.first())), garbage);
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("The store \"%1\" is damaged (The store cannot run \"PRAGMA "
                                                      "journal_mode=WAL\": file is not a database); it is kept as \"%2\" "
                                                      "and a new store takes its place.")
                                           .arg(m_file, m_dir.filePath(aside.first()))});
    // What was saved after the damage is there at the next launch.
    auto relaunched = container();
    ASSERT_TRUE(relaunched->loadPersistentStores());
    EXPECT_EQ(sqlite::scalar(m_file, "SELECT COUNT(*) FROM Owner"), QVariant(qint64(1)));
}

TEST_F(StoreFile, UnusableFolderFallsBackToMemory)
{
    {
        QFile file(m_dir.filePath("plain-file"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    auto c = std::make_unique<PersistentContainer>("Store", testModel());
    c->setStoreFile(m_dir.filePath("plain-file/Store.sqlite"));
    expectFallback(*c, 134080,
                   QStringLiteral("The folder of the store \"%1\" cannot be created.").arg(m_dir.filePath("plain-file/Store.sqlite")));
}

TEST_F(StoreFile, FileFromANewerModelIsNotTouched)
{
    seed();
    ASSERT_TRUE(sqlite::exec(m_file, "PRAGMA user_version = 5"));
    auto c = container();
    expectFallback(*c, 134100, "The store was written by a newer data model (version 5; this one is 1).");
    EXPECT_EQ(sqlite::scalar(m_file, "PRAGMA user_version"), QVariant(qint64(5)));
    EXPECT_EQ(sqlite::scalar(m_file, "SELECT COUNT(*) FROM Owner"), QVariant(qint64(1)));
}

TEST_F(StoreFile, ForeignTableOfTheSameNameIsDamageThatIsKeptAside)
{
    // Made by someone else: no key column.
    {
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(sqlite::exec(m_file, "CREATE TABLE Owner (name TEXT); INSERT INTO Owner VALUES ('foreign')"));
    kova::test::LogCapture log;
    {
        auto c = container();
        Error error;
        EXPECT_TRUE(c->loadPersistentStores(&error));
        EXPECT_FALSE(c->usesInMemoryStore());
        EXPECT_FALSE(c->fallbackReason().has_value());
        c->viewContext().insertNewObject("Owner")->setText("name", "Bea");
        ASSERT_TRUE(c->viewContext().save());
    }
    const QStringList aside = QDir(m_dir.path()).entryList({QStringLiteral("Store.sqlite.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(sqlite::scalar(m_dir.filePath(aside.first()), "SELECT name FROM Owner"), QVariant(QString("foreign")))
        << "kept whole";
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("The store \"%1\" is damaged (The table Owner of the store is not one "
                                                      "of ours.); it is kept as \"%2\" and a new store takes its place.")
                                           .arg(m_file, m_dir.filePath(aside.first()))});
    // What was saved after the damage is there at the next launch.
    auto relaunched = container();
    ASSERT_TRUE(relaunched->loadPersistentStores());
    auto owners = relaunched->viewContext().executeFetchRequest(FetchRequest("Owner"));
    ASSERT_EQ(owners.size(), 1);
    EXPECT_EQ(owners.first()->text("name"), "Bea");
}

TEST_F(StoreFile, OlderFileGainsWhatTheNewerModelAdds)
{
    seed(1);
    auto c = container(2);
    ASSERT_TRUE(c->loadPersistentStores());
    EXPECT_EQ(sqlite::scalar(m_file, "PRAGMA user_version"), QVariant(qint64(2)));
    auto items = c->viewContext().executeFetchRequest(FetchRequest("Item"));
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.first()->text("title"), "1");
    EXPECT_FALSE(items.first()->value("extra").isValid());
    items.first()->setText("extra", "more");
    ASSERT_TRUE(c->viewContext().save());
    ASSERT_TRUE(c->loadPersistentStores());
    items = c->viewContext().executeFetchRequest(FetchRequest("Item"));
    EXPECT_EQ(items.first()->text("extra"), "more");
    EXPECT_EQ(items.first()->toOne("owner")->text("name"), "Ann");
}

TEST_F(StoreFile, StoredValuesOfTheWrongTypeReadAsEmpty)
{
    seed();
    {
        auto c = container();
        ASSERT_TRUE(c->loadPersistentStores());
        c->viewContext().insertNewObject("Profile");
        auto stray = c->viewContext().insertNewObject("Item");
        stray->setText("title", "stray");
        ASSERT_TRUE(c->viewContext().save());
    }
    QString message;
    ASSERT_TRUE(sqlite::exec(m_file,
                             "UPDATE Owner SET name = X'4E', note = X'41', amount = 'abc', count = X'00', active = 'yes', "
                             "createdAt = 'yesterday', flag = 2.5, score = 'high', blob = 'text';"
                             "UPDATE Item SET owner = 999999 WHERE title = '1';"
                             "UPDATE Item SET owner = (SELECT Z_PK FROM Profile) WHERE title = 'stray';",
                             &message))
        << message.toStdString();

    auto c = container();
    ASSERT_TRUE(c->loadPersistentStores());
    auto owners = c->viewContext().executeFetchRequest(FetchRequest("Owner"));
    ASSERT_EQ(owners.size(), 1);
    const auto &o = owners.first();
    EXPECT_TRUE(o->text("name").isNull());
    EXPECT_TRUE(o->text("note").isNull());
    EXPECT_EQ(o->optionalDouble("amount"), std::nullopt);
    EXPECT_EQ(o->optionalInteger("count"), std::nullopt);
    EXPECT_TRUE(o->boolValue("active")) << "a mandatory scalar falls back to its default";
    EXPECT_EQ(o->doubleValue("score"), 0.0);
    EXPECT_FALSE(o->date("createdAt").isValid());
    EXPECT_EQ(o->optionalBool("flag"), true);
    EXPECT_TRUE(o->data("blob").isNull());
    EXPECT_TRUE(o->toMany("items").isEmpty());
    for (const auto &item : c->viewContext().executeFetchRequest(FetchRequest("Item")))
        EXPECT_EQ(item->toOne("owner"), nullptr) << item->text("title").toStdString();
    // Still a store that saves.
    o->setText("name", "Fixed");
    EXPECT_TRUE(c->viewContext().save());
}

TEST(StoreWithoutModel, StaysUsableInMemory)
{
    PersistentContainer c("Nothing", nullptr);
    Error error;
    EXPECT_FALSE(c.loadPersistentStores(&error));
    EXPECT_EQ(error.localizedDescription(), "The container Nothing has no data model.");
    EXPECT_TRUE(c.usesInMemoryStore());
    EXPECT_EQ(c.viewContext().insertNewObject("Owner"), nullptr);
    EXPECT_TRUE(c.viewContext().save());
    EXPECT_FALSE(QFile::exists(c.storeFile()));
}

TEST_F(StoreFile, DeletedRowsDoNotLingerInTheFile)
{
    const QByteArray marker = "secret-marker-7f3a9c";
    {
        auto c = container();
        ASSERT_TRUE(c->loadPersistentStores());
        for (int i = 0; i < 50; ++i) {
            auto owner = c->viewContext().insertNewObject("Owner");
            owner->setText("name", QString::fromLatin1(marker) + QString::number(i));
        }
        ASSERT_TRUE(c->viewContext().save());
        for (const auto &owner : c->viewContext().executeFetchRequest(FetchRequest("Owner")))
            c->viewContext().deleteObject(owner);
        ASSERT_TRUE(c->viewContext().save());
    }
    // The journal is folded back into the file when the last user lets go.
    sqlite::scalar(m_file, "PRAGMA wal_checkpoint(TRUNCATE)");
    EXPECT_FALSE(contentsOf(m_file).contains(marker));
    EXPECT_FALSE(contentsOf(m_file + "-wal").contains(marker));
}

TEST_F(StoreFile, RowsAddedByAnotherWriterMeanwhileKeepTheirKeys)
{
    seed();
    auto first = container();
    ASSERT_TRUE(first->loadPersistentStores());
    auto second = container();
    ASSERT_TRUE(second->loadPersistentStores());
    // Both loaded the same file; each adds an owner and saves in turn.
    first->viewContext().insertNewObject("Owner")->setText("name", "Bo");
    second->viewContext().insertNewObject("Owner")->setText("name", "Cy");
    Error error;
    ASSERT_TRUE(first->viewContext().save(&error)) << error.localizedDescription().toStdString();
    ASSERT_TRUE(second->viewContext().save(&error)) << error.localizedDescription().toStdString();
    EXPECT_EQ(sqlite::scalar(m_file, "SELECT group_concat(name, ',') FROM (SELECT name FROM Owner ORDER BY Z_PK)"),
              QVariant(QString("Ann,Bo,Cy")));
    // The second context's object took its new key and keeps working.
    auto cy = second->viewContext().executeFetchRequest(FetchRequest("Owner"));
    ASSERT_EQ(cy.size(), 2);
    cy.last()->setText("name", "Cyd");
    ASSERT_TRUE(second->viewContext().save(&error)) << error.localizedDescription().toStdString();
    EXPECT_EQ(sqlite::scalar(m_file, "SELECT count(*) FROM Owner WHERE name = 'Cyd'"), QVariant(qint64(1)));
    EXPECT_EQ(sqlite::scalar(m_file, "SELECT count(*) FROM Owner"), QVariant(qint64(3)));
}

// Hosts starting together on a new device open the new file at the same
// moment; each must get the file, never a store in memory that forgets.
TEST_F(StoreFile, ConnectionsOpeningANewFileAtOnceAllGetTheFile)
{
    constexpr int kRounds = 40;
    constexpr int kConnections = 4;
    const auto model = testModel();
    for (int round = 0; round < kRounds; ++round) {
        const QString file = m_dir.filePath(QStringLiteral("New-%1.sqlite").arg(round));
        std::barrier together(kConnections);
        std::vector<QString> failures(kConnections);
        std::vector<std::thread> threads;
        for (int i = 0; i < kConnections; ++i)
            threads.emplace_back([&, i] {
                together.arrive_and_wait();
                Error error;
                if (!SqliteStore::open(file, *model, &error))
                    failures[i] = error.localizedDescription();
            });
        for (std::thread &thread : threads)
            thread.join();
        for (int i = 0; i < kConnections; ++i)
            ASSERT_TRUE(failures[i].isEmpty()) << "round " << round << ": " << failures[i].toStdString();
        EXPECT_EQ(sqlite::scalar(file, "PRAGMA journal_mode"), QVariant(QString("wal")));
    }
}
