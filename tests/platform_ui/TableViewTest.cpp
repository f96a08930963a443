#include <gtest/gtest.h>

#include <QScrollBar>

#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiHarness.h"

using namespace kova::platform;

namespace {

class NameCell : public TableViewCell {
    Q_OBJECT
public:
    NameCell() : label(new Label(contentView())) { label->setGeometry(0, 0, 200, 20); }
    void prepareForReuse() override
    {
        ++reuses;
        label->setText(QString());
    }
    QSize sizeHint() const override { return QSize(100, 33); }
    Label *label;
    int reuses = 0;
};

class Header : public TableViewHeaderFooterView {
    Q_OBJECT
public:
    int reuses = 0;
    void prepareForReuse() override { ++reuses; }
};

class Source : public TableViewDataSource, public TableViewDelegate {
public:
    std::vector<QStringList> sections{{"a", "b"}, {"c"}};
    std::optional<IndexPath> redirect; // willSelect answer; nullopt refuses when `refuse`
    bool refuse = false;
    QList<IndexPath> selected;

    int numberOfSections(TableView &) override { return static_cast<int>(sections.size()); }
    int numberOfRows(TableView &, int section) override { return static_cast<int>(sections[section].size()); }
    TableViewCell *cellForRow(TableView &table, const IndexPath &ip) override
    {
        auto *cell = table.dequeueReusableCell<NameCell>("NameCell", ip);
        cell->label->setText(sections[ip.section][ip.row]);
        return cell;
    }
    bool automatic = false;
    qreal heightForRow(TableView &, const IndexPath &ip) override
    {
        if (automatic)
            return TableView::AutomaticDimension;
        return ip.section == 0 ? 50 : 70;
    }
    QWidget *viewForHeader(TableView &table, int section) override
    {
        return section == 1 ? table.dequeueReusableHeaderFooterView("header") : nullptr;
    }
    qreal heightForHeader(TableView &, int section) override { return section == 1 ? 30 : 0; }
    std::optional<IndexPath> willSelectRow(TableView &, const IndexPath &ip) override
    {
        if (refuse)
            return std::nullopt;
        return redirect ? redirect : ip;
    }
    void didSelectRow(TableView &, const IndexPath &ip) override { selected << ip; }
};

struct TableViewTest : ::testing::Test {
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    kova::test::WindowPtr window = kova::test::makeWindow(root);
    std::shared_ptr<Source> source = std::make_shared<Source>();
    TableView *table = new TableView(root->view());

    void SetUp() override
    {
        table->setGeometry(0, 0, 390, 600);
        table->registerCell("NameCell", [] { return new NameCell; });
        table->registerHeaderFooter("header", [] { return new Header; });
        table->setDataSource(source);
        table->setDelegate(source);
        table->show();
        table->reloadData();
    }
    QString textAt(const IndexPath &ip)
    {
        auto *cell = qobject_cast<NameCell *>(table->cellForRow(ip));
        return cell ? cell->label->text() : QString("<none>");
    }
};

TEST_F(TableViewTest, LaysOutSectionsHeadersAndRowHeights)
{
    EXPECT_EQ(table->numberOfSections(), 2);
    EXPECT_EQ(table->rectForRow({0, 0}), QRect(0, 0, 390, 50));
    EXPECT_EQ(table->rectForRow({0, 1}), QRect(0, 50, 390, 50));
    ASSERT_NE(table->headerView(1), nullptr);
    EXPECT_EQ(table->headerView(1)->geometry(), QRect(0, 100, 390, 30));
    EXPECT_EQ(table->rectForRow({1, 0}), QRect(0, 130, 390, 70));
    EXPECT_EQ(textAt({1, 0}), "c");
    EXPECT_EQ(table->cellForRow({0, 0})->reuseIdentifier(), "NameCell");
}

TEST_F(TableViewTest, AutomaticHeightsComeFromTheCells)
{
    source->automatic = true;
    table->reloadData();
    EXPECT_EQ(table->rectForRow({0, 1}), QRect(0, 33, 390, 33));
}

TEST_F(TableViewTest, ReloadReusesCellsAndPreparesThem)
{
    auto *before = qobject_cast<NameCell *>(table->cellForRow({0, 0}));
    const QList<TableViewCell *> firstCells = table->visibleCells();
    table->reloadData();
    const QList<TableViewCell *> secondCells = table->visibleCells();
    const QSet<TableViewCell *> first(firstCells.begin(), firstCells.end());
    const QSet<TableViewCell *> second(secondCells.begin(), secondCells.end());
    EXPECT_EQ(first, second);
    int reuses = 0;
    for (TableViewCell *cell : table->visibleCells())
        reuses += qobject_cast<NameCell *>(cell)->reuses;
    EXPECT_EQ(reuses, 3);
    EXPECT_NE(before, nullptr);
    EXPECT_EQ(textAt({0, 1}), "b");
}

TEST_F(TableViewTest, HeadersAreReusedAcrossReloads)
{
    auto *header = qobject_cast<Header *>(table->headerView(1));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->reuseIdentifier(), "header");
    table->reloadData();
    EXPECT_EQ(table->headerView(1), header);
    EXPECT_EQ(header->reuses, 1);
    EXPECT_TRUE(header->isVisible());
    // A section that no longer has a header leaves it hidden in the pool.
    source->sections.pop_back();
    table->reloadData();
    EXPECT_FALSE(header->isVisible());
}

TEST_F(TableViewTest, NoSelectionWhileSelectionIsOff)
{
    table->setAllowsSelection(false);
    kova::test::tap(table->cellForRow({0, 0}));
    EXPECT_TRUE(source->selected.isEmpty());
    EXPECT_FALSE(table->indexPathForSelectedRow());
}

TEST_F(TableViewTest, TapAsksWillSelectAndCanBeRefusedOrRedirected)
{
    kova::test::tap(table->cellForRow({0, 1}));
    EXPECT_EQ(source->selected, (QList<IndexPath>{{0, 1}}));
    EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 1}));
    EXPECT_TRUE(table->cellForRow({0, 1})->isSelected());
    source->refuse = true;
    kova::test::tap(table->cellForRow({1, 0}));
    EXPECT_EQ(source->selected.size(), 1);
    source->refuse = false;
    source->redirect = IndexPath{0, 0};
    kova::test::tap(table->cellForRow({1, 0}));
    EXPECT_EQ(source->selected.last(), (IndexPath{0, 0}));
    EXPECT_FALSE(table->cellForRow({0, 1})->isSelected());
}

TEST_F(TableViewTest, BatchUpdatesApplyWhenConsistentAndReloadWhenNot)
{
    kova::test::LogCapture log;
    source->sections[0].append("new");
    EXPECT_TRUE(table->performBatchUpdates([&] { table->insertRows({{0, 2}}); }));
    EXPECT_EQ(table->numberOfRows(0), 3);
    EXPECT_EQ(textAt({0, 2}), "new");
    EXPECT_TRUE(log.lines().isEmpty());

    // Claims one deletion while the data lost two rows: a full reload.
    source->sections[0] = {"only"};
    EXPECT_FALSE(table->performBatchUpdates([&] { table->deleteRows({{0, 0}}); }));
    EXPECT_EQ(table->numberOfRows(0), 1);
    EXPECT_EQ(textAt({0, 0}), "only");
    EXPECT_EQ(log.lines().size(), 1);

    // Sections too.
    source->sections.push_back({"x", "y"});
    EXPECT_TRUE(table->performBatchUpdates([&] { table->insertSections({2}); }));
    EXPECT_EQ(table->numberOfRows(2), 2);
    source->sections.pop_back();
    EXPECT_FALSE(table->performBatchUpdates([] {}));
    EXPECT_EQ(table->numberOfSections(), 2);
}

TEST_F(TableViewTest, ALongTableHasViewsOnlyNearWhatIsShownAndReusesThemWhileScrolling)
{
    QStringList names;
    for (int i = 0; i < 300; ++i)
        names << QString("row %1").arg(i);
    source->sections = {names, {"tail"}};
    table->reloadData();
    const int shownAtOnce = static_cast<int>(table->visibleCells().size());
    EXPECT_GT(shownAtOnce, 600 / 50);
    EXPECT_LT(shownAtOnce, 40);
    EXPECT_EQ(table->cellForRow({0, 299}), nullptr);
    EXPECT_EQ(table->headerView(1), nullptr);
    // Positions are known for rows that have no view.
    EXPECT_EQ(table->rectForRow({0, 299}), QRect(0, 299 * 50, 390, 50));

    // Picked while out of view: the row is selected and shows it once it is in view.
    QScrollBar *bar = table->verticalScrollBar();
    for (int value = 0; value <= bar->maximum(); value += 50)
        bar->setValue(value);
    EXPECT_EQ(textAt({0, 299}), "row 299");
    EXPECT_EQ(textAt({1, 0}), "tail");
    ASSERT_NE(table->headerView(1), nullptr);
    EXPECT_EQ(table->headerView(1)->geometry(), QRect(0, 300 * 50, 390, 30));
    EXPECT_EQ(table->cellForRow({0, 0}), nullptr);
    table->tapRow({0, 3});
    ASSERT_EQ(source->selected.size(), 1);
    EXPECT_EQ(source->selected.first(), (IndexPath{0, 3}));
    bar->setValue(0);
    EXPECT_EQ(textAt({0, 3}), "row 3");
    EXPECT_TRUE(table->cellForRow({0, 3})->isSelected());
    EXPECT_FALSE(table->cellForRow({0, 2})->isSelected());
    EXPECT_EQ(table->cellForRow({1, 0}), nullptr);
    // The whole trip made no more cells than a screenful and its edges.
    EXPECT_LE(table->findChildren<NameCell *>().size(), shownAtOnce + 2);
}

TEST_F(TableViewTest, ADataSourceThatIsGoneEmptiesTheTable)
{
    source.reset();
    table->reloadData();
    EXPECT_EQ(table->numberOfSections(), 0);
    table->tapRow({0, 0}); // nothing there, nothing happens
}

} // namespace

#include "TableViewTest.moc"

// The selection belongs to the row the user picked, not to its position: rows
// coming and going above it carry it along, and when its row goes it goes too.
TEST_F(TableViewTest, ASelectionStaysWithItsRowThroughBatchUpdates)
{
    source->sections[0] = {"a", "picked", "c"};
    table->reloadData();
    kova::test::tap(table->cellForRow({0, 1}));
    ASSERT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 1}));

    // A row above goes: "c" moves up into the picked row's place.
    source->sections[0].removeFirst();
    ASSERT_TRUE(table->performBatchUpdates([&] { table->deleteRows({{0, 0}}); }));
    EXPECT_EQ(textAt({0, 0}), "picked");
    EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 0}));
    EXPECT_TRUE(table->cellForRow({0, 0})->isSelected());
    EXPECT_FALSE(table->cellForRow({0, 1})->isSelected()) << "\"c\" shows as picked";

    // A row comes in above it.
    source->sections[0] = {"new", "picked", "c"};
    ASSERT_TRUE(table->performBatchUpdates([&] { table->insertRows({{0, 0}}); }));
    EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 1}));
    EXPECT_FALSE(table->cellForRow({0, 0})->isSelected()) << "\"new\" shows as picked";

    // The picked row itself goes: nothing else becomes selected in its place.
    source->sections[0] = {"new", "c"};
    ASSERT_TRUE(table->performBatchUpdates([&] { table->deleteRows({{0, 1}}); }));
    EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);
    for (TableViewCell *cell : table->visibleCells())
        EXPECT_FALSE(cell->isSelected()) << qobject_cast<NameCell *>(cell)->label->text().toStdString();
}
