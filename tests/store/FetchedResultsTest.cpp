#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/store/FetchedResultsController.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;
using kova::test::testModel;
using ChangeType = FetchedResultsControllerDelegate::ChangeType;
using ObjectIndex = FetchedResultsControllerDelegate::ObjectIndex;

namespace {

// Writes every callback as one line, so a batch compares as a whole.
class Recorder : public FetchedResultsControllerDelegate {
public:
    QStringList lines;

    static QString name(ChangeType type)
    {
        switch (type) {
        case ChangeType::Insert: return "insert";
        case ChangeType::Delete: return "delete";
        case ChangeType::Move: return "move";
        case ChangeType::Update: return "update";
        }
        return {};
    }
    static QString at(ObjectIndex index) { return QString("%1.%2").arg(index.section).arg(index.row); }

    void controllerWillChangeContent(FetchedResultsController &) override { lines << "will"; }
    void controllerDidChangeSection(FetchedResultsController &, int index, ChangeType type) override
    {
        lines << QString("section %1 %2").arg(name(type)).arg(index);
    }
    void controllerDidChangeObject(FetchedResultsController &, const std::shared_ptr<ManagedObject> &object,
                                   ObjectIndex from, ChangeType type, ObjectIndex to) override
    {
        QString line = QString("%1 %2").arg(name(type), object->text("title"));
        if (type != ChangeType::Insert)
            line += " from " + at(from);
        if (type == ChangeType::Insert || type == ChangeType::Move)
            line += " to " + at(to);
        lines << line;
    }
    void controllerDidChangeContent(FetchedResultsController &) override { lines << "did"; }
};

class FetchedResults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_container.setStoreFile(m_dir.filePath("Results.sqlite"));
        ASSERT_TRUE(m_container.loadPersistentStores());
        alice = owner("alice");
        bob = owner("bob");
        a1 = item("a1", alice);
        a2 = item("a2", alice);
        b1 = item("b1", bob);
        ASSERT_TRUE(context().save());
        kova::test::drainMainQueue();

        FetchRequest request("Item");
        request.setSortDescriptors({{"owner.name", true}, {"title", true}});
        controller = std::make_unique<FetchedResultsController>(request, context(), "owner.name");
        recorder = std::make_shared<Recorder>();
        controller->setDelegate(recorder);
        ASSERT_TRUE(controller->performFetch());
    }

    ManagedObjectContext &context() { return m_container.viewContext(); }

    std::shared_ptr<ManagedObject> owner(const QString &name) { return kova::test::insertOwner(context(), name); }
    std::shared_ptr<ManagedObject> item(const QString &title, const std::shared_ptr<ManagedObject> &owner)
    {
        return kova::test::insertItem(context(), title, owner);
    }
    QStringList batch()
    {
        kova::test::drainMainQueue();
        return std::exchange(recorder->lines, {});
    }

    QTemporaryDir m_dir;
    PersistentContainer m_container{"Results", testModel()};
    std::shared_ptr<ManagedObject> alice, bob, a1, a2, b1;
    std::unique_ptr<FetchedResultsController> controller;
    std::shared_ptr<Recorder> recorder;
};

} // namespace

TEST_F(FetchedResults, SectionsFollowTheKeyPath)
{
    ASSERT_EQ(controller->sections().size(), 2);
    EXPECT_EQ(controller->sections()[0].key.toString(), "alice");
    EXPECT_EQ(controller->sections()[0].objects, (QList<std::shared_ptr<ManagedObject>>{a1, a2}));
    EXPECT_EQ(controller->objectAt(1, 0), b1);
    EXPECT_EQ(controller->objectAt(2, 0), nullptr);
    EXPECT_EQ(controller->objectAt(0, -1), nullptr);
    EXPECT_EQ(controller->indexPathForObject(a2.get()), (ObjectIndex{0, 1}));
    EXPECT_EQ(controller->indexPathForObject(alice.get()), (ObjectIndex{-1, -1}));
    EXPECT_TRUE(batch().isEmpty()) << "nothing changed since the fetch";
}

TEST_F(FetchedResults, ChangesArriveOnALaterTurnAsOneBatch)
{
    item("a0", alice);
    b1->setText("title", "b9");
    EXPECT_TRUE(recorder->lines.isEmpty()) << "never inside the caller's change";
    EXPECT_EQ(batch(), (QStringList{"will", "insert a0 to 0.0", "update b9 from 1.0", "did"}));
    EXPECT_EQ(controller->objectAt(0, 0)->text("title"), "a0");
}

TEST_F(FetchedResults, SectionsAppearAndGo)
{
    auto carol = owner("carol");
    item("c1", carol);
    EXPECT_EQ(batch(), (QStringList{"will", "section insert 2", "insert c1 to 2.0", "did"}));

    context().deleteObject(b1);
    EXPECT_EQ(batch(), (QStringList{"will", "section delete 1", "delete b1 from 1.0", "did"}));
    ASSERT_EQ(controller->sections().size(), 2);
    EXPECT_EQ(controller->sections()[1].key.toString(), "carol");
}

TEST_F(FetchedResults, ReorderingAndChangingSectionAreMoves)
{
    a1->setText("title", "a3");
    EXPECT_EQ(batch(), (QStringList{"will", "move a3 from 0.0 to 0.1", "did"}));

    bob->addToMany("items", a2);
    EXPECT_EQ(batch(), (QStringList{"will", "move a2 from 0.0 to 1.0", "did"}));

    // A change outside the fetched entity that does not move anything listed
    // still counts as an update only for the objects it touched.
    alice->setText("note", "x");
    EXPECT_TRUE(batch().isEmpty());
}

TEST_F(FetchedResults, AControllerWithoutADelegateOrGoneIsNotCalled)
{
    controller->setDelegate({});
    item("a0", alice);
    EXPECT_TRUE(batch().isEmpty());
    EXPECT_EQ(controller->sections()[0].objects.size(), 3) << "still kept up to date";

    controller.reset();
    item("a4", alice);
    kova::test::drainMainQueue(); // must not reach the destroyed controller
    EXPECT_TRUE(recorder->lines.isEmpty());
}
