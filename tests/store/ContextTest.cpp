#include <QCoreApplication>
#include <QJsonValue>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentContainer.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;
using kova::test::testModel;
using Objects = QList<std::shared_ptr<ManagedObject>>;

namespace {

class ObjectStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath("Test.sqlite");
        m_container = open();
    }

    std::unique_ptr<PersistentContainer> open(int version = 1)
    {
        auto container = std::make_unique<PersistentContainer>("Test", testModel(version));
        container->setStoreFile(m_file);
        Error error;
        EXPECT_TRUE(container->loadPersistentStores(&error)) << error.localizedDescription().toStdString();
        return container;
    }

    void reopen()
    {
        Error error;
        ASSERT_TRUE(m_container->loadPersistentStores(&error)) << error.localizedDescription().toStdString();
    }

    ManagedObjectContext &context() { return m_container->viewContext(); }

    std::shared_ptr<ManagedObject> owner(const QString &name)
    {
        auto object = context().insertNewObject("Owner");
        object->setText("name", name);
        return object;
    }

    std::shared_ptr<ManagedObject> item(const QString &title, const std::shared_ptr<ManagedObject> &owner = nullptr)
    {
        auto object = context().insertNewObject("Item");
        object->setText("title", title);
        if (owner)
            owner->addToMany("items", object);
        return object;
    }

    Objects fetch(const QString &entity, QList<FetchRequest::Term> terms = {}, QList<SortDescriptor> sorts = {})
    {
        FetchRequest request(entity);
        request.setPredicate(std::move(terms));
        request.setSortDescriptors(std::move(sorts));
        Error error;
        error.code = -1;
        auto result = context().executeFetchRequest(request, &error);
        EXPECT_EQ(error.code, -1) << error.localizedDescription().toStdString();
        return result;
    }

    static QStringList texts(const Objects &objects, const QString &key)
    {
        QStringList result;
        for (const auto &o : objects)
            result.append(o->text(key));
        return result;
    }

    QTemporaryDir m_dir;
    QString m_file;
    std::unique_ptr<PersistentContainer> m_container;
};

} // namespace

TEST_F(ObjectStore, InsertedObjectsStartFromTheModelDefaults)
{
    auto o = owner("Ann");
    EXPECT_EQ(o->entity()->name(), "Owner");
    EXPECT_EQ(o->managedObjectContext(), &context());
    EXPECT_TRUE(o->isInserted());
    EXPECT_TRUE(o->boolValue("active"));
    EXPECT_EQ(o->value("score"), QVariant(0.0));
    EXPECT_EQ(o->optionalDouble("amount"), std::nullopt);
    EXPECT_EQ(o->optionalInteger("count"), std::nullopt);
    EXPECT_EQ(o->optionalBool("flag"), std::nullopt);
    EXPECT_TRUE(o->text("note").isNull());
    EXPECT_TRUE(o->data("blob").isNull());
    EXPECT_FALSE(o->date("createdAt").isValid());

    kova::test::LogCapture log;
    EXPECT_EQ(context().insertNewObject("Base"), nullptr);
    EXPECT_EQ(context().insertNewObject("Nothing"), nullptr);
    EXPECT_EQ(log.lines(), (QStringList{"The data model Test has no concrete entity Base; nothing is inserted.",
                                        "The data model Test has no concrete entity Nothing; nothing is inserted."}));
    EXPECT_EQ(context().insertedObjects().size(), 1);
}

TEST_F(ObjectStore, ValuesOfTheWrongTypeAreKeptAsEmpty)
{
    auto o = owner("Ann");
    o->setText("note", "kept");
    o->setValue("note", QJsonValue(QJsonValue::Null).toVariant());
    EXPECT_FALSE(o->value("note").isValid());
    o->setText("note", "kept");
    o->setValue("note", QVariant::fromValue(QJsonValue()));
    EXPECT_FALSE(o->value("note").isValid());
    o->setValue("note", 42);
    EXPECT_FALSE(o->value("note").isValid());
    o->setValue("note", QVariant::fromValue(QJsonValue("from json")));
    EXPECT_EQ(o->text("note"), "from json");

    o->setOptionalDouble("amount", 3.5);
    o->setValue("amount", "3.5");
    EXPECT_EQ(o->optionalDouble("amount"), std::nullopt);
    o->setValue("amount", std::nan(""));
    EXPECT_EQ(o->optionalDouble("amount"), std::nullopt);
    o->setValue("count", 2500.75);
    EXPECT_EQ(o->optionalInteger("count"), 2500);
    o->setValue("count", 1e300);
    EXPECT_EQ(o->optionalInteger("count"), std::nullopt);
    o->setValue("flag", 0);
    EXPECT_EQ(o->optionalBool("flag"), false);
    o->setValue("blob", QString("text is not data"));
    EXPECT_TRUE(o->data("blob").isNull());

    // A scalar that may not be empty falls back to its default.
    o->setBoolValue("active", false);
    o->setValue("active", QString("yes"));
    EXPECT_TRUE(o->boolValue("active"));
    o->setDoubleValue("score", 9.25);
    o->setValue("score", QVariant());
    EXPECT_EQ(o->doubleValue("score"), 0.0);

    // Reading through the wrong typed accessor reads as empty too.
    o->setOptionalDouble("amount", 12.5);
    EXPECT_TRUE(o->text("amount").isNull());
    EXPECT_EQ(o->optionalInteger("amount"), std::nullopt);
    EXPECT_EQ(o->optionalDouble("name"), std::nullopt);

    kova::test::LogCapture log;
    o->setText("nickname", "x");
    EXPECT_FALSE(o->value("nickname").isValid());
    EXPECT_EQ(log.lines(), QStringList{"The entity Owner has no attribute \"nickname\"; the value is not kept."});

    // None of it stops a save.
    Error error;
    EXPECT_TRUE(context().save(&error)) << error.localizedDescription().toStdString();
}

TEST_F(ObjectStore, TracksInsertsUpdatesAndDeletes)
{
    EXPECT_FALSE(context().hasChanges());
    auto a = owner("A");
    auto b = owner("B");
    EXPECT_TRUE(context().hasChanges());
    EXPECT_EQ(context().insertedObjects(), (Objects{a, b}));
    EXPECT_TRUE(context().updatedObjects().isEmpty());
    // Changes to an inserted object keep it an insert.
    a->setText("note", "n");
    EXPECT_TRUE(context().updatedObjects().isEmpty());
    ASSERT_TRUE(context().save());
    EXPECT_FALSE(context().hasChanges());
    EXPECT_FALSE(a->isInserted());

    a->setText("name", "A");
    EXPECT_FALSE(context().hasChanges()) << "writing the same value is no change";
    a->setText("name", "A2");
    EXPECT_TRUE(a->isUpdated());
    EXPECT_EQ(context().updatedObjects(), Objects{a});

    context().deleteObject(b);
    EXPECT_EQ(context().deletedObjects(), Objects{b});
    context().deleteObject(a);
    EXPECT_TRUE(context().updatedObjects().isEmpty());
    EXPECT_EQ(context().deletedObjects(), (Objects{a, b}));
    ASSERT_TRUE(context().save());
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(a->managedObjectContext(), nullptr);

    // An object deleted before it was ever saved leaves nothing to do.
    auto c = owner("C");
    context().deleteObject(c);
    EXPECT_FALSE(context().hasChanges());
    EXPECT_TRUE(c->isDeleted());
}

TEST_F(ObjectStore, RelationshipsKeepTheirInversesInStep)
{
    auto a = owner("A");
    auto b = owner("B");
    auto profile = context().insertNewObject("Profile");
    a->setToOne("profile", profile);
    EXPECT_EQ(profile->toOne("owner"), a);
    // One-to-one: giving the profile to B takes it from A.
    b->setToOne("profile", profile);
    EXPECT_EQ(a->toOne("profile"), nullptr);
    EXPECT_EQ(profile->toOne("owner"), b);
    profile->setToOne("owner", nullptr);
    EXPECT_EQ(b->toOne("profile"), nullptr);

    auto i1 = item("1", a);
    auto i2 = item("2", a);
    EXPECT_EQ(a->toMany("items"), (Objects{i1, i2}));
    EXPECT_EQ(i1->toOne("owner"), a);
    // Moving an item from one owner to another.
    b->addToMany("items", i1);
    EXPECT_EQ(a->toMany("items"), Objects{i2});
    EXPECT_EQ(b->toMany("items"), Objects{i1});
    i2->setToOne("owner", b);
    EXPECT_TRUE(a->toMany("items").isEmpty());
    EXPECT_EQ(b->toMany("items"), (Objects{i1, i2}));
    b->removeFromMany("items", i1);
    EXPECT_EQ(i1->toOne("owner"), nullptr);
    EXPECT_EQ(b->toMany("items"), Objects{i2});
    a->removeFromMany("items", i2); // not A's: nothing happens
    EXPECT_EQ(i2->toOne("owner"), b);

    ASSERT_TRUE(context().save());
    // Changing a link updates both ends.
    a->addToMany("items", i2);
    EXPECT_EQ(context().updatedObjects(), (Objects{a, b, i2}));
}

TEST_F(ObjectStore, RefusesLinksThatCannotHold)
{
    auto a = owner("A");
    auto profile = context().insertNewObject("Profile");
    kova::test::LogCapture log;
    a->setToOne("items", profile);
    a->addToMany("items", profile);
    a->setToOne("profile", a);
    EXPECT_TRUE(a->toMany("items").isEmpty());
    EXPECT_EQ(a->toOne("profile"), nullptr);

    PersistentContainer other("Other", testModel());
    other.setInMemory();
    ASSERT_TRUE(other.loadPersistentStores());
    auto stranger = other.viewContext().insertNewObject("Profile");
    a->setToOne("profile", stranger);
    EXPECT_EQ(a->toOne("profile"), nullptr);
    EXPECT_EQ(stranger->toOne("owner"), nullptr);
    EXPECT_EQ(log.lines(), (QStringList{"The entity Owner has no to-one relationship \"items\".",
                                        "Owner.items cannot link an object of the entity Profile.",
                                        "Owner.profile cannot link an object of the entity Owner.",
                                        "Owner.profile cannot link an object of another context."}));
}

TEST_F(ObjectStore, DeletingCascadesAndNullifies)
{
    auto a = owner("A");
    auto profile = context().insertNewObject("Profile");
    a->setToOne("profile", profile);
    auto i1 = item("1", a);
    auto i2 = item("2", a);
    auto keep = owner("Keep");
    auto i3 = item("3", keep);
    ASSERT_TRUE(context().save());

    // Nullify: an item goes, its owner stays and forgets it.
    context().deleteObject(i1);
    EXPECT_EQ(a->toMany("items"), Objects{i2});
    EXPECT_EQ(i1->toOne("owner"), nullptr);
    EXPECT_FALSE(a->isDeleted());
    EXPECT_EQ(context().updatedObjects(), Objects{a});

    // Cascade: the owner takes its profile and items along, nothing else.
    context().deleteObject(a);
    EXPECT_TRUE(profile->isDeleted());
    EXPECT_TRUE(i2->isDeleted());
    EXPECT_FALSE(keep->isDeleted());
    EXPECT_FALSE(i3->isDeleted());
    EXPECT_EQ(context().deletedObjects(), (Objects{a, profile, i1, i2}));
    EXPECT_EQ(fetch("Base").size(), 2);
    ASSERT_TRUE(context().save());

    reopen();
    EXPECT_EQ(texts(fetch("Owner"), "name"), QStringList{"Keep"});
    EXPECT_EQ(texts(fetch("Item"), "title"), QStringList{"3"});
    EXPECT_TRUE(fetch("Profile").isEmpty());
    EXPECT_EQ(kova::test::sqlite::scalar(m_file, "SELECT COUNT(*) FROM Item"), QVariant(qint64(1)));
}

TEST_F(ObjectStore, DeletedObjectsStaySafeAndIgnoreWrites)
{
    auto a = owner("A");
    auto i1 = item("1", a);
    ASSERT_TRUE(context().save());
    context().deleteObject(a);
    ASSERT_TRUE(context().save());

    // Written to after the delete, as a late reply would.
    a->setText("name", "late");
    a->setOptionalDouble("amount", 4.0);
    a->addToMany("items", item("2"));
    i1->setToOne("owner", a);
    context().deleteObject(a);
    EXPECT_EQ(a->text("name"), "A");
    EXPECT_EQ(a->optionalDouble("amount"), std::nullopt);
    EXPECT_TRUE(a->toMany("items").isEmpty());
    EXPECT_TRUE(a->isDeleted());
    ASSERT_TRUE(context().save());
    reopen();
    EXPECT_TRUE(fetch("Owner").isEmpty());
    EXPECT_EQ(texts(fetch("Item"), "title"), QStringList{"2"});

    // Objects outlive a context that goes away and stay readable.
    auto survivor = fetch("Item").first();
    m_container.reset();
    EXPECT_EQ(survivor->text("title"), "2");
    EXPECT_EQ(survivor->toOne("owner"), nullptr);
    survivor->setText("title", "ignored");
    EXPECT_EQ(survivor->text("title"), "2");
}

TEST_F(ObjectStore, ReopenedStoreKeepsEveryValueAndEmptyStaysEmpty)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
    auto full = owner("Full");
    full->setText("note", "");
    full->setDate("createdAt", when.toTimeZone(QTimeZone(3600)));
    full->setBoolValue("active", false);
    full->setDoubleValue("score", -1.25);
    full->setOptionalDouble("amount", 0.0);
    full->setOptionalInteger("count", 0);
    full->setOptionalBool("flag", false);
    full->setData("blob", QByteArray(""));
    auto profile = context().insertNewObject("Profile");
    profile->setText("color", "#FF0000");
    full->setToOne("profile", profile);
    auto i1 = item("1", full);
    auto i2 = item("2", full);
    auto bare = owner("Bare");
    auto big = owner("Big");
    big->setOptionalInteger("count", std::numeric_limits<qint64>::min());
    big->setData("blob", QByteArray("\0\1\2", 3));
    big->setText("note", QString::fromUtf8("Zürich \xF0\x9F\x8F\xA6"));
    ASSERT_TRUE(context().save());

    reopen();
    const auto owners = fetch("Owner", {}, {{"name", true}});
    ASSERT_EQ(texts(owners, "name"), (QStringList{"Bare", "Big", "Full"}));
    const auto &b = owners[0];
    EXPECT_TRUE(b->text("note").isNull());
    EXPECT_TRUE(b->boolValue("active"));
    EXPECT_EQ(b->optionalDouble("amount"), std::nullopt);
    EXPECT_EQ(b->optionalInteger("count"), std::nullopt);
    EXPECT_EQ(b->optionalBool("flag"), std::nullopt);
    EXPECT_TRUE(b->data("blob").isNull());
    EXPECT_EQ(b->toOne("profile"), nullptr);

    const auto &f = owners[2];
    EXPECT_FALSE(f->text("note").isNull());
    EXPECT_EQ(f->text("note"), "");
    EXPECT_EQ(f->date("createdAt"), when);
    EXPECT_EQ(f->date("createdAt").timeSpec(), Qt::UTC);
    EXPECT_FALSE(f->boolValue("active"));
    EXPECT_EQ(f->doubleValue("score"), -1.25);
    EXPECT_EQ(f->optionalDouble("amount"), 0.0);
    EXPECT_EQ(f->optionalInteger("count"), 0);
    EXPECT_EQ(f->optionalBool("flag"), false);
    EXPECT_FALSE(f->data("blob").isNull());
    EXPECT_TRUE(f->data("blob").isEmpty());
    ASSERT_NE(f->toOne("profile"), nullptr);
    EXPECT_EQ(f->toOne("profile")->text("color"), "#FF0000");
    EXPECT_EQ(f->toOne("profile")->toOne("owner"), f);
    EXPECT_EQ(texts(f->toMany("items"), "title"), (QStringList{"1", "2"}));
    EXPECT_EQ(f->toMany("items").first()->toOne("owner"), f);

    EXPECT_EQ(owners[1]->optionalInteger("count"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(owners[1]->data("blob"), QByteArray("\0\1\2", 3));
    EXPECT_EQ(owners[1]->text("note"), QString::fromUtf8("Zürich \xF0\x9F\x8F\xA6"));

    // New objects never reuse a stored key.
    auto later = owner("Later");
    ASSERT_TRUE(context().save());
    reopen();
    EXPECT_EQ(fetch("Owner").size(), 4);
    EXPECT_EQ(fetch("Item").size(), 2);
}

TEST_F(ObjectStore, FailedSaveWritesNothingAndKeepsItsChanges)
{
    auto kept = owner("Kept");
    ASSERT_TRUE(context().save());
    QString message;
    ASSERT_TRUE(kova::test::sqlite::exec(
        m_file, "CREATE TRIGGER refuse BEFORE INSERT ON Item BEGIN SELECT RAISE(ABORT, 'items refused'); END", &message))
        << message.toStdString();

    auto a = owner("A");
    auto i = item("1", a);
    kept->setText("note", "changed");
    context().deleteObject(kept);
    auto b = owner("B");
    b->setText("note", "pending");

    Error error;
    EXPECT_FALSE(context().save(&error));
    EXPECT_EQ(error.domain, NSCocoaErrorDomain);
    EXPECT_EQ(error.code, 134030);
    EXPECT_EQ(error.localizedDescription(), "The store cannot be saved: items refused");
    EXPECT_TRUE(error.userInfo.contains("NSSQLiteErrorDomain"));
    // Nothing reached the file: not the owners inserted before the item, not the delete.
    EXPECT_EQ(kova::test::sqlite::scalar(m_file, "SELECT group_concat(name) FROM Owner"), QVariant(QString("Kept")));
    // Everything is still pending, and fetches still see it.
    EXPECT_TRUE(context().hasChanges());
    EXPECT_EQ(context().insertedObjects(), (Objects{a, i, b}));
    EXPECT_EQ(context().deletedObjects(), Objects{kept});
    EXPECT_EQ(texts(fetch("Owner", {}, {{"name", true}}), "name"), (QStringList{"A", "B"}));

    ASSERT_TRUE(kova::test::sqlite::exec(m_file, "DROP TRIGGER refuse"));
    ASSERT_TRUE(context().save(&error)) << error.localizedDescription().toStdString();
    EXPECT_FALSE(context().hasChanges());
    reopen();
    EXPECT_EQ(texts(fetch("Owner", {}, {{"name", true}}), "name"), (QStringList{"A", "B"}));
    EXPECT_EQ(fetch("Owner", {{"name", "B"}}).first()->text("note"), "pending");
    EXPECT_EQ(texts(fetch("Item"), "title"), QStringList{"1"});
    EXPECT_EQ(fetch("Item").first()->toOne("owner")->text("name"), "A");
}

// A save that has returned is on its way to the disk whatever happens to the
// process next: a process killed straight after its last save, with the store
// never closed, leaves every saved change, the last one included.
TEST_F(ObjectStore, SavedChangesSurviveTheProcessBeingKilled)
{
    m_container.reset();
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QStringLiteral("--gtest_filter=KilledStoreChild.*")});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KOVA_KILLED_STORE"), m_file);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start();
    ASSERT_TRUE(child.waitForFinished(60000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << "the child was to be killed after its saves";

    m_container = open();
    const auto owners = fetch("Owner", {}, {{"name", true}});
    ASSERT_EQ(texts(owners, "name"), (QStringList{"First", "Second"}));
    EXPECT_EQ(owners[0]->text("note"), "changed by the last save");
    EXPECT_TRUE(fetch("Item").isEmpty()) << "a change never saved is not kept";
}

// Run only as a child of the test above: saves, then is killed with the store open.
TEST(KilledStoreChild, SavesThenIsKilled)
{
    const QString file = qEnvironmentVariable("KOVA_KILLED_STORE");
    if (file.isEmpty())
        GTEST_SKIP() << "only runs as a child process";
    PersistentContainer container("Test", testModel(1));
    container.setStoreFile(file);
    Error error;
    ASSERT_TRUE(container.loadPersistentStores(&error)) << error.localizedDescription().toStdString();
    ManagedObjectContext &context = container.viewContext();
    auto first = context.insertNewObject("Owner");
    first->setText("name", "First");
    ASSERT_TRUE(context.save());
    context.insertNewObject("Owner")->setText("name", "Second");
    first->setText("note", "changed by the last save");
    ASSERT_TRUE(context.save());
    context.insertNewObject("Item")->setText("title", "never saved");
    std::raise(SIGKILL);
}
