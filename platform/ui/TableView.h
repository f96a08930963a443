#pragma once

// Usage:
//   class Source : public TableViewDataSource, public TableViewDelegate { ... };
//   auto *table = new TableView(parent);
//   table->registerCell("AccountCell", [] { return new AccountCell; });
//   table->setDataSource(source); table->setDelegate(source);  // weak
//   table->reloadData();
//   // in cellForRow: auto *cell = table.dequeueReusableCell<AccountCell>("AccountCell", indexPath);
//   table->performBatchUpdates([&] { table->insertRows({{0, 3}}); });
// Only the rows and section headers/footers near the visible part of the
// table have views: the others are just heights until they scroll in, and a
// view that scrolls out goes back to its reuse pool (prepareForReuse() runs
// when one is taken again). cellForRow() and headerView() return nullptr for
// what has no view at the moment.
// A batch whose counts do not match the data source's new counts is logged
// and replaced by a full reload.

#include <QList>
#include <QScrollArea>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/View.h"

namespace kova::platform {

struct IndexPath {
    int section = 0;
    int row = 0;
    friend bool operator==(const IndexPath &, const IndexPath &) = default;
    friend auto operator<=>(const IndexPath &, const IndexPath &) = default;
};

class TableView;

// What the table keeps for reuse by identifier: cells, section headers and
// footers. Subviews go in the content view.
class TableViewReusableView : public View {
    Q_OBJECT
public:
    explicit TableViewReusableView(QWidget *parent = nullptr);
    QString reuseIdentifier() const { return m_reuseIdentifier; }
    View *contentView() const { return m_contentView; }
    virtual void prepareForReuse() {}

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class TableView;
    QString m_reuseIdentifier;
    View *m_contentView;
};

class TableViewCell : public TableViewReusableView {
    Q_OBJECT
public:
    using TableViewReusableView::TableViewReusableView;
    bool isSelected() const { return m_selected; }
    virtual void setSelected(bool selected);

private:
    bool m_selected = false;
};

class TableViewHeaderFooterView : public TableViewReusableView {
    Q_OBJECT
public:
    using TableViewReusableView::TableViewReusableView;
};

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual int numberOfSections(TableView & /*table*/) { return 1; }
    virtual int numberOfRows(TableView &table, int section) = 0;
    virtual TableViewCell *cellForRow(TableView &table, const IndexPath &indexPath) = 0;
};

class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
    // TableView::AutomaticDimension (any negative value): the cell's
    // heightForWidth(table width) when it has one, else its sizeHint height;
    // the table's rowHeight when neither is known.
    virtual qreal heightForRow(TableView &table, const IndexPath & /*indexPath*/);
    virtual QWidget *viewForHeader(TableView & /*table*/, int /*section*/) { return nullptr; }
    virtual qreal heightForHeader(TableView & /*table*/, int /*section*/) { return 0; }
    virtual QWidget *viewForFooter(TableView & /*table*/, int /*section*/) { return nullptr; }
    virtual qreal heightForFooter(TableView & /*table*/, int /*section*/) { return 0; }
    // The row to select instead, or nullopt to refuse the tap.
    virtual std::optional<IndexPath> willSelectRow(TableView & /*table*/, const IndexPath &indexPath) { return indexPath; }
    virtual void didSelectRow(TableView & /*table*/, const IndexPath & /*indexPath*/) {}
    virtual void willDisplayCell(TableView & /*table*/, TableViewCell * /*cell*/, const IndexPath & /*indexPath*/) {}
};

class TableView : public QScrollArea {
    Q_OBJECT
public:
    static constexpr qreal AutomaticDimension = -1;

    explicit TableView(QWidget *parent = nullptr);
    ~TableView() override;

    void setDataSource(std::weak_ptr<TableViewDataSource> dataSource);
    void setDelegate(std::weak_ptr<TableViewDelegate> delegate);
    qreal rowHeight() const { return m_rowHeight; }
    void setRowHeight(qreal height) { m_rowHeight = height; }
    void setBackgroundColor(const QColor &color);
    void setTableHeaderView(QWidget *view);
    void setTableFooterView(QWidget *view);
    void setContentInsets(const QMargins &insets);
    void setSeparatorColor(const QColor &color); // transparent (default): none

    // Taps select rows only while this is on (the default).
    void setAllowsSelection(bool allows) { m_allowsSelection = allows; }
    bool allowsSelection() const { return m_allowsSelection; }

    void registerHeaderFooter(const QString &reuseIdentifier, std::function<TableViewHeaderFooterView *()> factory);
    TableViewHeaderFooterView *dequeueReusableHeaderFooterView(const QString &reuseIdentifier);
    template <typename Header>
    Header *dequeueReusableHeaderFooterView(const QString &reuseIdentifier)
    {
        return qobject_cast<Header *>(dequeueReusableHeaderFooterView(reuseIdentifier));
    }
    void registerCell(const QString &reuseIdentifier, std::function<TableViewCell *()> factory);
    TableViewCell *dequeueReusableCell(const QString &reuseIdentifier, const IndexPath &indexPath);
    template <typename Cell>
    Cell *dequeueReusableCell(const QString &reuseIdentifier, const IndexPath &indexPath)
    {
        return qobject_cast<Cell *>(dequeueReusableCell(reuseIdentifier, indexPath));
    }

    void reloadData();
    void reloadSections(const QList<int> &sections);
    void reloadRows(const QList<IndexPath> &rows);
    // Inside performBatchUpdates only.
    void insertRows(const QList<IndexPath> &rows);
    void deleteRows(const QList<IndexPath> &rows);
    void insertSections(const QList<int> &sections);
    void deleteSections(const QList<int> &sections);
    // Returns false when the batch did not match the data and a full reload
    // was done instead.
    bool performBatchUpdates(const std::function<void()> &updates);

    int numberOfSections() const { return static_cast<int>(m_sections.size()); }
    int numberOfRows(int section) const;
    TableViewCell *cellForRow(const IndexPath &indexPath) const;
    QWidget *headerView(int section) const;
    QWidget *footerView(int section) const;
    QList<TableViewCell *> visibleCells() const;
    std::optional<IndexPath> indexPathForSelectedRow() const { return m_selected; }
    void selectRow(const std::optional<IndexPath> &indexPath);
    void deselectRow(const IndexPath &indexPath);
    QRect rectForRow(const IndexPath &indexPath) const;
    // The user's tap on a row (what a click on the cell does).
    void tapRow(const IndexPath &indexPath);
    quint64 reloadCount() const { return m_reloads; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Row {
        TableViewCell *cell = nullptr;
        qreal height = 0;
        int y = 0;
    };
    struct Section {
        QWidget *header = nullptr;
        QWidget *footer = nullptr;
        qreal headerHeight = 0;
        qreal footerHeight = 0;
        int headerY = 0;
        int footerY = 0;
        bool headerAsked = false; // the delegate was asked for the views while in view
        std::vector<Row> rows;
    };
    struct Batch;

    void recycleAll();
    void recycle(TableViewCell *cell);
    void recycleSupplementary(QWidget *view);
    void recycleSection(Section &section);
    Section buildSection(int section);
    Row measureRow(const IndexPath &indexPath);
    TableViewCell *makeCell(const IndexPath &indexPath);
    void relayout();
    // Gives views to what is near the visible part and takes them from the rest.
    void updateVisibleViews();
    bool inView(int y, int height) const;

    std::weak_ptr<TableViewDataSource> m_dataSource;
    std::weak_ptr<TableViewDelegate> m_delegate;
    qreal m_rowHeight = 44;
    QWidget *m_canvas;
    QWidget *m_tableHeader = nullptr;
    QWidget *m_tableFooter = nullptr;
    QMargins m_insets;
    QColor m_separatorColor = Qt::transparent;
    std::vector<Section> m_sections;
    std::map<QString, std::function<TableViewCell *()>> m_factories;
    std::map<QString, std::vector<TableViewCell *>> m_pool;
    std::map<QString, std::function<TableViewHeaderFooterView *()>> m_headerFactories;
    std::map<QString, std::vector<TableViewHeaderFooterView *>> m_headerPool;
    bool m_allowsSelection = true;
    std::optional<IndexPath> m_selected;
    std::unique_ptr<Batch> m_batch;
    quint64 m_reloads = 0;
};

} // namespace kova::platform
