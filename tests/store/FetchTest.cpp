#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentContainer.h"
#include "tests/store/StoreTestSupport.h"

using namespace kova::platform;
using kova::test::testModel;
using Objects = QList<std::shared_ptr<ManagedObject>>;

namespace {

class Fetching : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_container.setStoreFile(m_dir.filePath("Fetch.sqlite"));
        ASSERT_TRUE(m_container.loadPersistentStores());
    }

    ManagedObjectContext &context() { return m_container.viewContext(); }

    std::shared_ptr<ManagedObject> owner(const QString &name, const QString &note = {})
    {
        auto object = kova::test::insertOwner(context(), name);
        object->setText("note", note);
        return object;
    }

    std::shared_ptr<ManagedObject> item(const QString &title, const std::shared_ptr<ManagedObject> &owner)
    {
        return kova::test::insertItem(context(), title, owner);
    }

    Objects fetch(const QString &entity, QList<FetchRequest::Term> terms = {}, QList<SortDescriptor> sorts = {},
                  qsizetype limit = 0)
    {
        FetchRequest request(entity);
        request.setPredicate(std::move(terms));
        request.setSortDescriptors(std::move(sorts));
        request.setFetchLimit(limit);
        Error error;
        error.code = -1;
        auto result = context().executeFetchRequest(request, &error);
        EXPECT_EQ(error.code, -1) << error.localizedDescription().toStdString();
        return result;
    }

    Error failure(const FetchRequest &request)
    {
        Error error;
        EXPECT_TRUE(context().executeFetchRequest(request, &error).isEmpty());
        return error;
    }

    static QStringList names(const Objects &objects, const QString &key = "name")
    {
        QStringList result;
        for (const auto &o : objects)
            result.append(o->text(key));
        return result;
    }

    QTemporaryDir m_dir;
    PersistentContainer m_container{"Fetch", testModel()};
};

} // namespace

TEST_F(Fetching, SeesUnsavedInsertsAndUpdatesAndHidesPendingDeletes)
{
    auto a = owner("a");
    auto b = owner("b");
    ASSERT_TRUE(context().save());
    auto c = owner("c");
    b->setText("name", "x");
    context().deleteObject(a);

    EXPECT_EQ(fetch("Owner", {{"name", "c"}}), Objects{c});
    EXPECT_TRUE(fetch("Owner", {{"name", "b"}}).isEmpty());
    EXPECT_EQ(fetch("Owner", {{"name", "x"}}), Objects{b});
    EXPECT_TRUE(fetch("Owner", {{"name", "a"}}).isEmpty());
    EXPECT_EQ(fetch("Owner"), (Objects{b, c}));

    // Back and forth through the index, then across a reopen.
    b->setText("name", "b");
    b->setText("name", QString());
    EXPECT_TRUE(fetch("Owner", {{"name", "x"}}).isEmpty());
    EXPECT_EQ(fetch("Owner", {{"name", QVariant()}}), Objects{b});
    b->setText("name", "b");
    ASSERT_TRUE(context().save());
    ASSERT_TRUE(m_container.loadPersistentStores());
    EXPECT_EQ(names(fetch("Owner", {{"name", "b"}})), QStringList{"b"});
    EXPECT_TRUE(fetch("Owner", {{"name", "a"}}).isEmpty());
}

TEST_F(Fetching, EveryTermMustHoldWithTypedComparisons)
{
    auto a = owner("a", "same");
    a->setOptionalInteger("count", 2);
    auto b = owner("b", "same");
    b->setBoolValue("active", false);
    b->setOptionalBool("flag", false);
    auto c = owner("c", "other");

    EXPECT_EQ(fetch("Owner", {{"note", "same"}, {"active", true}}), Objects{a});
    EXPECT_EQ(fetch("Owner", {{"active", false}}), Objects{b});
    EXPECT_EQ(fetch("Owner", {{"active", 0}}), Objects{b});
    EXPECT_EQ(fetch("Owner", {{"count", 2}}), Objects{a});
    EXPECT_EQ(fetch("Owner", {{"count", 2.0}}), Objects{a});
    EXPECT_TRUE(fetch("Owner", {{"count", 2.5}}).isEmpty()) << "no integer equals 2.5";
    EXPECT_TRUE(fetch("Owner", {{"active", 2}}).isEmpty());
    EXPECT_TRUE(fetch("Owner", {{"note", 7}}).isEmpty()) << "text never equals a number";
    EXPECT_EQ(fetch("Owner", {{"count", QVariant()}}), (Objects{b, c}));
    EXPECT_EQ(fetch("Owner", {{"flag", false}}), Objects{b});
    EXPECT_EQ(fetch("Owner", {{"flag", QVariant()}}), (Objects{a, c}));
    EXPECT_TRUE(fetch("Owner", {{"name", "A"}}).isEmpty()) << "text compares exactly";
}

TEST_F(Fetching, FollowsToOneKeyPaths)
{
    auto a = owner("A", "na");
    auto b = owner("B", "nb");
    auto a1 = item("a1", a);
    auto a2 = item("a2", a);
    auto b1 = item("b1", b);
    auto loose = context().insertNewObject("Item");
    auto profile = context().insertNewObject("Profile");
    b->setToOne("profile", profile);

    EXPECT_EQ(fetch("Item", {{"owner.name", "A"}}), (Objects{a1, a2}));
    EXPECT_EQ(fetch("Item", {{"owner.note", "nb"}}), Objects{b1});
    EXPECT_EQ(fetch("Item", {{"owner.name", "A"}, {"title", "a2"}}), Objects{a2});
    EXPECT_EQ(fetch("Item", {{"owner.name", QVariant()}}), Objects{loose}) << "no owner reads as an empty name";
    EXPECT_EQ(fetch("Profile", {{"owner.name", "B"}}), Objects{profile});

    // Unsaved moves count at once.
    b->addToMany("items", a1);
    EXPECT_EQ(fetch("Item", {{"owner.name", "A"}}), Objects{a2});
    EXPECT_EQ(fetch("Item", {{"owner.name", "B"}}), (Objects{a1, b1}));
    a->setText("name", "Z");
    EXPECT_EQ(fetch("Item", {{"owner.name", "Z"}}), Objects{a2});
    context().deleteObject(b);
    EXPECT_TRUE(fetch("Item", {{"owner.name", "B"}}).isEmpty());
}

TEST_F(Fetching, SortsByEveryDescriptorThenByAge)
{
    auto a = owner("a", "2");
    auto b = owner("b", "1");
    auto c = owner("c", "2");
    auto d = owner("d");
    a->setOptionalDouble("amount", 5);
    c->setOptionalDouble("amount", -1);
    b->setOptionalDouble("amount", 5);

    EXPECT_EQ(names(fetch("Owner", {}, {{"note", true}})), (QStringList{"d", "b", "a", "c"})) << "empty first, ties by age";
    EXPECT_EQ(names(fetch("Owner", {}, {{"note", false}, {"name", false}})), (QStringList{"c", "a", "b", "d"}));
    EXPECT_EQ(names(fetch("Owner", {}, {{"amount", false}, {"name", true}})), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(names(fetch("Owner", {}, {{"amount", true}}, 2)), (QStringList{"d", "c"}));

    item("x", b);
    item("y", a);
    EXPECT_EQ(names(fetch("Item", {}, {{"owner.name", true}}), "title"), (QStringList{"y", "x"}));
}

TEST_F(Fetching, ParentEntitiesFetchEverySubEntity)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC);
    auto a = owner("a");
    a->setDate("createdAt", t);
    auto p = context().insertNewObject("Profile");
    p->setDate("createdAt", t);
    auto i = item("i", a);
    EXPECT_EQ(fetch("Base"), (Objects{a, p, i}));
    EXPECT_EQ(fetch("Base", {{"createdAt", t}}), (Objects{a, p}));
    EXPECT_EQ(fetch("Base", {}, {{"createdAt", false}}), (Objects{a, p, i}));
}

TEST_F(Fetching, UnknownNamesAreErrors)
{
    Error error = failure(FetchRequest("Nothing"));
    EXPECT_EQ(error.domain, NSCocoaErrorDomain);
    EXPECT_EQ(error.code, 134060);
    EXPECT_EQ(error.localizedDescription(), "The data model Test has no entity \"Nothing\".");

    owner("a");
    FetchRequest badTerm("Owner");
    badTerm.addTerm("nickname", "a");
    EXPECT_EQ(failure(badTerm).localizedDescription(), "The key path \"nickname\" is not an attribute of Owner.");
    FetchRequest throughMany("Owner");
    throughMany.addTerm("items.title", "a");
    EXPECT_EQ(failure(throughMany).localizedDescription(), "The key path \"items.title\" is not an attribute of Owner.");
    FetchRequest relationshipItself("Item");
    relationshipItself.addTerm("owner", "a");
    EXPECT_EQ(failure(relationshipItself).localizedDescription(), "The key path \"owner\" is not an attribute of Item.");
    FetchRequest badSort("Owner");
    badSort.setSortDescriptors({{"profile.nothing", true}});
    EXPECT_EQ(failure(badSort).localizedDescription(), "The sort key \"profile.nothing\" is not an attribute of Owner.");
}
