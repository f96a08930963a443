#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/store/KOVConnection.h"
#include "core/store/KOVDataModel.h"
#include "core/store/KOVSubaccount.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"
#include "tests/support/TestSupport.h"

using namespace kova;

namespace {

class KovaConnectContainer : public ::testing::Test {
protected:
    void SetUp() override { kova::test::resetDataDirectory(); }
    void TearDown() override { kova::test::resetDataDirectory(); }

    static QString storeFile() { return kova::test::dataDirectory() + "/KovaConnect.sqlite"; }
};

// Points the framework's resources elsewhere for one test.
class ResourcesAt {
public:
    explicit ResourcesAt(const QString &path) : m_previous(qgetenv("KOVA_RESOURCES_DIR"))
    {
        qputenv("KOVA_RESOURCES_DIR", path.toUtf8());
    }
    ~ResourcesAt() { qputenv("KOVA_RESOURCES_DIR", m_previous); }

private:
    QByteArray m_previous;
};

} // namespace

TEST_F(KovaConnectContainer, KeepsItsStoreInTheDataDirectory)
{
    {
        auto container = makeKovaConnectContainer();
        EXPECT_EQ(container->name(), "KovaConnect");
        EXPECT_EQ(container->storeFile(), storeFile());
        EXPECT_TRUE(container->isLoaded());
        EXPECT_FALSE(container->usesInMemoryStore());
        auto connection = container->viewContext().insertNewObject<KOVConnection>();
        ASSERT_NE(connection, nullptr);
        connection->setUserID("u");
        ASSERT_TRUE(container->viewContext().save());
    }
    EXPECT_TRUE(QFile::exists(storeFile()));
    auto again = makeKovaConnectContainer();
    const auto found = again->viewContext().fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID("u", QString(), true));
    ASSERT_EQ(found.size(), 1);
}

TEST_F(KovaConnectContainer, AMissingModelLeavesAnEmptyStoreInMemory)
{
    QTemporaryDir empty;
    ResourcesAt resources(empty.path());
    kova::test::LogCapture log;
    auto container = makeKovaConnectContainer();
    EXPECT_TRUE(container->usesInMemoryStore());
    // Code written for a working store runs on without a crash.
    auto connection = container->viewContext().insertNewObject<KOVConnection>();
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->managedObjectContext(), nullptr);
    connection->setUserID("u");
    EXPECT_TRUE(connection->userID().isNull());
    connection->addSubaccountsObject(container->viewContext().insertNewObject<KOVSubaccount>());
    EXPECT_TRUE(connection->subaccounts().isEmpty());
    EXPECT_FALSE(container->viewContext().hasChanges());
    EXPECT_TRUE(container->viewContext().save());
    EXPECT_EQ(container->viewContext().insertNewObject("KOVConnection"), nullptr);
    EXPECT_TRUE(container->viewContext().fetch<KOVConnection>(KOVConnection::fetchRequest()).isEmpty());
    EXPECT_FALSE(QFile::exists(storeFile()));
    ASSERT_GE(log.lines().size(), 1);
    EXPECT_EQ(log.lines().first(), QStringLiteral("The data model KovaConnect cannot be loaded: %1 has no KovaConnect.momd.").arg(empty.path()));
}

TEST_F(KovaConnectContainer, ABrokenModelIsRefusedTheSameWay)
{
    QTemporaryDir dir;
    {
        QFile model(dir.filePath("KovaConnect.momd"));
        ASSERT_TRUE(model.open(QIODevice::WriteOnly));
        model.write("{\"name\": \"KovaConnect\", \"version\": \"one\"}");
    }
    ResourcesAt resources(dir.path());
    kova::test::LogCapture log;
    EXPECT_EQ(loadKovaConnectModel(), nullptr);
    EXPECT_EQ(log.lines(), QStringList{"The data model KovaConnect cannot be loaded: The data model cannot be used: its "
                                       "version must be a whole number from 1."});
}

TEST_F(KovaConnectContainer, LoginsSavedAfterADamagedStoreSurviveTheNextLaunch)
{
    {
        QFile file(storeFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, '\x5a'));
    }
    kova::test::LogCapture log;
    {
        // The user links a bank after the damage; the save reports success.
        auto container = makeKovaConnectContainer();
        EXPECT_FALSE(container->usesInMemoryStore());
        ASSERT_EQ(log.lines().size(), 1);
        EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral("The store \"%1\" is damaged (The store cannot run \"PRAGMA "
                                                                  "journal_mode=WAL\": file is not a database); it is kept as \"%1.damaged-")
                                                       .arg(storeFile())))
            << log.lines().first().toStdString();
        auto connection = container->viewContext().insertNewObject<KOVConnection>();
        ASSERT_NE(connection, nullptr);
        connection->setUserID("linked-after-damage");
        connection->setClientUserID("client-1");
        ASSERT_TRUE(container->viewContext().save());
    }
    auto relaunched = makeKovaConnectContainer();
    EXPECT_FALSE(relaunched->usesInMemoryStore()) << "every later launch would forget what it saves";
    const auto found = relaunched->viewContext().fetch<KOVConnection>(
        KOVConnection::fetchRequestWithUserID("linked-after-damage", "client-1", true));
    EXPECT_EQ(found.size(), 1) << "a login saved as stored is gone after a relaunch";
}
