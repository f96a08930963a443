#include "platform/ui/TableView.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "platform/foundation/Log.h"

namespace kova::platform {

TableViewReusableView::TableViewReusableView(QWidget *parent) : View(parent), m_contentView(new View(this))
{
}

void TableViewReusableView::resizeEvent(QResizeEvent *event)
{
    View::resizeEvent(event);
    m_contentView->setGeometry(rect());
}

void TableViewCell::setSelected(bool selected)
{
    m_selected = selected;
}

qreal TableViewDelegate::heightForRow(TableView &table, const IndexPath &)
{
    return table.rowHeight();
}

struct TableView::Batch {
    std::vector<int> rowCountsBefore;
    // Deletions in the positions before the batch, insertions in the
    // positions after it.
    QList<IndexPath> deletedRows;
    QList<IndexPath> insertedRows;
    QList<int> deletedSections;
    QList<int> insertedSections;

    static int rowsIn(const QList<IndexPath> &rows, int section)
    {
        return int(std::count_if(rows.begin(), rows.end(), [section](const IndexPath &ip) { return ip.section == section; }));
    }

    // The selected row's position after the batch; empty when it went.
    std::optional<IndexPath> follow(IndexPath selected) const
    {
        int rowsBefore = 0;
        for (const IndexPath &deleted : deletedRows) {
            if (deleted.section != selected.section)
                continue;
            if (deleted.row == selected.row)
                return std::nullopt;
            rowsBefore += deleted.row < selected.row;
        }
        selected.row -= rowsBefore;
        int sectionsBefore = 0;
        for (int deleted : deletedSections) {
            if (deleted == selected.section)
                return std::nullopt;
            sectionsBefore += deleted < selected.section;
        }
        selected.section -= sectionsBefore;
        QList<int> sections = insertedSections;
        std::sort(sections.begin(), sections.end());
        for (int inserted : sections)
            selected.section += inserted <= selected.section;
        QList<int> rows;
        for (const IndexPath &inserted : insertedRows)
            if (inserted.section == selected.section)
                rows.append(inserted.row);
        std::sort(rows.begin(), rows.end());
        for (int inserted : rows)
            selected.row += inserted <= selected.row;
        return selected;
    }
};

namespace {

// The canvas paints separators between rows when a colour is set.
class Canvas : public QWidget {
public:
    explicit Canvas(QWidget *parent) : QWidget(parent) {}
    QColor separator = Qt::transparent;
    std::vector<int> separatorYs;

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (separator.alpha() == 0)
            return;
        QPainter painter(this);
        for (int y : separatorYs)
            painter.fillRect(QRect(16, y, width() - 16, 1), separator);
    }
};

} // namespace

TableView::TableView(QWidget *parent) : QScrollArea(parent), m_canvas(new Canvas(this))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(m_canvas);
    setWidgetResizable(false);
    m_canvas->setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { updateVisibleViews(); });
}

TableView::~TableView()
{
    // Pooled cells are off-screen children of the canvas; they go with it.
}

void TableView::setDataSource(std::weak_ptr<TableViewDataSource> dataSource)
{
    m_dataSource = std::move(dataSource);
}

void TableView::setDelegate(std::weak_ptr<TableViewDelegate> delegate)
{
    m_delegate = std::move(delegate);
}

void TableView::setBackgroundColor(const QColor &color)
{
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Window, color);
    viewport()->setPalette(p);
    viewport()->setAutoFillBackground(color.alpha() > 0);
}

void TableView::setTableHeaderView(QWidget *view)
{
    delete m_tableHeader;
    m_tableHeader = view;
    if (view)
        view->setParent(m_canvas);
    relayout();
}

void TableView::setTableFooterView(QWidget *view)
{
    delete m_tableFooter;
    m_tableFooter = view;
    if (view)
        view->setParent(m_canvas);
    relayout();
}

void TableView::setContentInsets(const QMargins &insets)
{
    m_insets = insets;
    relayout();
}

void TableView::setSeparatorColor(const QColor &color)
{
    m_separatorColor = color;
    static_cast<Canvas *>(m_canvas)->separator = color;
    m_canvas->update();
}

void TableView::registerHeaderFooter(const QString &reuseIdentifier, std::function<TableViewHeaderFooterView *()> factory)
{
    m_headerFactories[reuseIdentifier] = std::move(factory);
}

TableViewHeaderFooterView *TableView::dequeueReusableHeaderFooterView(const QString &reuseIdentifier)
{
    auto &pool = m_headerPool[reuseIdentifier];
    if (!pool.empty()) {
        TableViewHeaderFooterView *view = pool.back();
        pool.pop_back();
        view->prepareForReuse();
        return view;
    }
    auto factory = m_headerFactories.find(reuseIdentifier);
    if (factory == m_headerFactories.end()) {
        log(QStringLiteral("[Kova] No header or footer registered for \"%1\"").arg(reuseIdentifier), logUI());
        return nullptr;
    }
    TableViewHeaderFooterView *view = factory->second();
    if (!view)
        return nullptr;
    view->m_reuseIdentifier = reuseIdentifier;
    view->setParent(m_canvas);
    return view;
}

void TableView::recycleSupplementary(QWidget *view)
{
    if (!view || view == m_tableHeader || view == m_tableFooter)
        return;
    view->hide();
    auto *reusable = qobject_cast<TableViewHeaderFooterView *>(view);
    if (reusable && !reusable->m_reuseIdentifier.isEmpty()) {
        auto &pool = m_headerPool[reusable->m_reuseIdentifier];
        if (std::find(pool.begin(), pool.end(), reusable) == pool.end())
            pool.push_back(reusable);
        return;
    }
    // Headers made anew by the delegate each time go with the reload.
    view->deleteLater();
}

void TableView::registerCell(const QString &reuseIdentifier, std::function<TableViewCell *()> factory)
{
    m_factories[reuseIdentifier] = std::move(factory);
}

TableViewCell *TableView::dequeueReusableCell(const QString &reuseIdentifier, const IndexPath &)
{
    auto &pool = m_pool[reuseIdentifier];
    if (!pool.empty()) {
        TableViewCell *cell = pool.back();
        pool.pop_back();
        cell->setSelected(false);
        cell->prepareForReuse();
        return cell;
    }
    auto factory = m_factories.find(reuseIdentifier);
    if (factory == m_factories.end()) {
        log(QStringLiteral("[Kova] No cell registered for \"%1\"").arg(reuseIdentifier), logUI());
        return nullptr;
    }
    TableViewCell *cell = factory->second();
    if (!cell)
        return nullptr;
    cell->m_reuseIdentifier = reuseIdentifier;
    cell->setParent(m_canvas);
    cell->installEventFilter(this);
    return cell;
}

void TableView::recycle(TableViewCell *cell)
{
    if (!cell)
        return;
    cell->hide();
    if (cell->m_reuseIdentifier.isEmpty()) {
        cell->deleteLater();
        return;
    }
    m_pool[cell->m_reuseIdentifier].push_back(cell);
}

void TableView::recycleSection(Section &section)
{
    for (Row &row : section.rows) {
        recycle(row.cell);
        row.cell = nullptr;
    }
    recycleSupplementary(section.header);
    recycleSupplementary(section.footer);
    section.header = section.footer = nullptr;
    section.headerAsked = false;
}

void TableView::recycleAll()
{
    for (Section &section : m_sections)
        recycleSection(section);
    m_sections.clear();
}

TableViewCell *TableView::makeCell(const IndexPath &indexPath)
{
    auto source = m_dataSource.lock();
    if (!source)
        return nullptr;
    TableViewCell *cell = source->cellForRow(*this, indexPath);
    if (cell && cell->parentWidget() != m_canvas) {
        cell->setParent(m_canvas);
        cell->installEventFilter(this);
    }
    return cell;
}

TableView::Row TableView::measureRow(const IndexPath &indexPath)
{
    Row row;
    qreal height = m_rowHeight;
    if (auto delegate = m_delegate.lock())
        height = delegate->heightForRow(*this, indexPath);
    if (height < 0) {
        // A cell sizes itself for the table's width when it can; it stays as
        // the row's view until the row is found out of view.
        row.cell = makeCell(indexPath);
        const int width = viewport()->width() - m_insets.left() - m_insets.right();
        if (row.cell)
            height = row.cell->hasHeightForWidth() ? row.cell->heightForWidth(width) : row.cell->sizeHint().height();
    }
    row.height = height < 0 ? m_rowHeight : height;
    return row;
}

TableView::Section TableView::buildSection(int index)
{
    Section section;
    auto source = m_dataSource.lock();
    if (auto delegate = m_delegate.lock()) {
        section.headerHeight = delegate->heightForHeader(*this, index);
        section.footerHeight = delegate->heightForFooter(*this, index);
    }
    const int rows = source ? std::max(0, source->numberOfRows(*this, index)) : 0;
    section.rows.reserve(rows);
    for (int r = 0; r < rows; ++r)
        section.rows.push_back(measureRow({index, r}));
    return section;
}

void TableView::reloadData()
{
    ++m_reloads;
    recycleAll();
    auto source = m_dataSource.lock();
    const int sections = source ? std::max(0, source->numberOfSections(*this)) : 0;
    for (int s = 0; s < sections; ++s)
        m_sections.push_back(buildSection(s));
    if (m_selected && (m_selected->section >= sections || m_selected->row >= numberOfRows(m_selected->section)))
        m_selected.reset();
    relayout();
}

void TableView::reloadSections(const QList<int> &sections)
{
    for (int s : sections) {
        if (s < 0 || s >= numberOfSections())
            continue;
        Section &old = m_sections[s];
        recycleSection(old);
        old = buildSection(s);
    }
    relayout();
}

void TableView::reloadRows(const QList<IndexPath> &rows)
{
    for (const IndexPath &ip : rows) {
        if (ip.section < 0 || ip.section >= numberOfSections() || ip.row < 0 || ip.row >= numberOfRows(ip.section))
            continue;
        Row &row = m_sections[ip.section].rows[ip.row];
        recycle(row.cell);
        row = measureRow(ip);
    }
    relayout();
}

void TableView::insertRows(const QList<IndexPath> &rows)
{
    if (!m_batch)
        return;
    m_batch->insertedRows.append(rows);
}

void TableView::deleteRows(const QList<IndexPath> &rows)
{
    if (!m_batch)
        return;
    m_batch->deletedRows.append(rows);
}

void TableView::insertSections(const QList<int> &sections)
{
    if (m_batch)
        m_batch->insertedSections.append(sections);
}

void TableView::deleteSections(const QList<int> &sections)
{
    if (m_batch)
        m_batch->deletedSections.append(sections);
}

bool TableView::performBatchUpdates(const std::function<void()> &updates)
{
    m_batch = std::make_unique<Batch>();
    for (int s = 0; s < numberOfSections(); ++s)
        m_batch->rowCountsBefore.push_back(numberOfRows(s));
    if (updates)
        updates();
    std::unique_ptr<Batch> batch = std::move(m_batch);
    auto source = m_dataSource.lock();
    const int sectionsAfter = source ? source->numberOfSections(*this) : 0;
    const int before = static_cast<int>(batch->rowCountsBefore.size());
    bool consistent = sectionsAfter == before + batch->insertedSections.size() - batch->deletedSections.size();
    // Row counts are checked when the sections themselves stay as they were.
    if (consistent && batch->insertedSections.isEmpty() && batch->deletedSections.isEmpty()) {
        for (int s = 0; s < sectionsAfter && consistent; ++s) {
            const int expected = batch->rowCountsBefore[s] + Batch::rowsIn(batch->insertedRows, s)
                - Batch::rowsIn(batch->deletedRows, s);
            consistent = source->numberOfRows(*this, s) == expected;
        }
    }
    if (!consistent)
        log(QStringLiteral("[Kova] Table updates do not match the data; reloading the whole table"), logUI());
    // The selection stays with the row that was picked, wherever the batch
    // moves it, and goes with it when it is deleted.
    if (consistent && m_selected)
        m_selected = batch->follow(*m_selected);
    // Rows have no animation here, so a consistent batch and a reload end
    // alike; the reload also picks up rows whose contents changed.
    reloadData();
    return consistent;
}

int TableView::numberOfRows(int section) const
{
    if (section < 0 || section >= numberOfSections())
        return 0;
    return static_cast<int>(m_sections[section].rows.size());
}

TableViewCell *TableView::cellForRow(const IndexPath &indexPath) const
{
    if (indexPath.row < 0 || indexPath.row >= numberOfRows(indexPath.section))
        return nullptr;
    return m_sections[indexPath.section].rows[indexPath.row].cell;
}

QWidget *TableView::headerView(int section) const
{
    return section >= 0 && section < numberOfSections() ? m_sections[section].header : nullptr;
}

QWidget *TableView::footerView(int section) const
{
    return section >= 0 && section < numberOfSections() ? m_sections[section].footer : nullptr;
}

QList<TableViewCell *> TableView::visibleCells() const
{
    QList<TableViewCell *> cells;
    for (const Section &section : m_sections) {
        for (const Row &row : section.rows) {
            if (row.cell)
                cells.append(row.cell);
        }
    }
    return cells;
}

void TableView::selectRow(const std::optional<IndexPath> &indexPath)
{
    if (m_selected) {
        if (TableViewCell *cell = cellForRow(*m_selected))
            cell->setSelected(false);
    }
    m_selected = indexPath;
    if (m_selected) {
        if (TableViewCell *cell = cellForRow(*m_selected))
            cell->setSelected(true);
    }
}

void TableView::deselectRow(const IndexPath &indexPath)
{
    if (m_selected == indexPath)
        selectRow(std::nullopt);
}

QRect TableView::rectForRow(const IndexPath &indexPath) const
{
    if (indexPath.row < 0 || indexPath.row >= numberOfRows(indexPath.section))
        return QRect();
    const Row &row = m_sections[indexPath.section].rows[indexPath.row];
    return QRect(m_insets.left(), row.y, viewport()->width() - m_insets.left() - m_insets.right(), qRound(row.height));
}

void TableView::tapRow(const IndexPath &indexPath)
{
    auto valid = [this](const IndexPath &ip) { return ip.row >= 0 && ip.row < numberOfRows(ip.section); };
    if (!m_allowsSelection || !valid(indexPath))
        return;
    auto delegate = m_delegate.lock();
    std::optional<IndexPath> target = indexPath;
    if (delegate)
        target = delegate->willSelectRow(*this, indexPath);
    if (!target || !valid(*target))
        return;
    selectRow(target);
    if (delegate)
        delegate->didSelectRow(*this, *target);
}

bool TableView::eventFilter(QObject *watched, QEvent *event)
{
    auto *cell = qobject_cast<TableViewCell *>(watched);
    if (cell && event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && cell->rect().contains(mouse->position().toPoint())) {
            for (int s = 0; s < numberOfSections(); ++s) {
                for (int r = 0; r < numberOfRows(s); ++r) {
                    if (m_sections[s].rows[r].cell == cell) {
                        tapRow({s, r});
                        return true;
                    }
                }
            }
        }
    }
    return QScrollArea::eventFilter(watched, event);
}

void TableView::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    relayout();
}

void TableView::relayout()
{
    const int width = viewport()->width() - m_insets.left() - m_insets.right();
    int y = m_insets.top();
    std::vector<int> separators;
    // The table's own header and footer keep the height they were given.
    auto placeOwn = [&](QWidget *w) {
        const int height = w->height() > 0 ? w->height() : std::max(0, w->sizeHint().height());
        w->setGeometry(m_insets.left(), y, width, height);
        w->show();
        y += height;
    };
    if (m_tableHeader)
        placeOwn(m_tableHeader);
    for (Section &section : m_sections) {
        section.headerY = y;
        y += qRound(section.headerHeight);
        for (std::size_t r = 0; r < section.rows.size(); ++r) {
            section.rows[r].y = y;
            y += qRound(section.rows[r].height);
            if (r + 1 < section.rows.size())
                separators.push_back(y - 1);
        }
        section.footerY = y;
        y += qRound(section.footerHeight);
    }
    if (m_tableFooter)
        placeOwn(m_tableFooter);
    y += m_insets.bottom();
    static_cast<Canvas *>(m_canvas)->separatorYs = std::move(separators);
    m_canvas->resize(viewport()->width(), std::max(y, viewport()->height()));
    updateVisibleViews();
    m_canvas->update();
}

bool TableView::inView(int y, int height) const
{
    // A table not sized yet still shows a screenful; a little beyond each edge
    // is kept so that a small scroll step finds its rows ready.
    constexpr int kMinimumExtent = 900;
    constexpr int kOverscan = 96;
    const int top = verticalScrollBar()->value() - kOverscan;
    const int bottom = verticalScrollBar()->value() + std::max(viewport()->height(), kMinimumExtent) + kOverscan;
    return y < bottom && y + std::max(height, 1) > top;
}

void TableView::updateVisibleViews()
{
    const int width = viewport()->width() - m_insets.left() - m_insets.right();
    auto delegate = m_delegate.lock();
    auto sectionInView = [this](const Section &section) {
        const int bottom = section.footerY + qRound(section.footerHeight);
        return inView(section.headerY, bottom - section.headerY);
    };
    // What left the view goes back to its pool first, so that what comes in
    // (after a jump as well as a step) takes those views instead of new ones.
    for (Section &section : m_sections) {
        const bool shown = sectionInView(section);
        if (!shown && section.headerAsked) {
            recycleSupplementary(section.header);
            recycleSupplementary(section.footer);
            section.header = section.footer = nullptr;
            section.headerAsked = false;
        }
        for (Row &row : section.rows) {
            if (row.cell && (!shown || !inView(row.y, qRound(row.height)))) {
                recycle(row.cell);
                row.cell = nullptr;
            }
        }
    }
    for (int s = 0; s < numberOfSections(); ++s) {
        Section &section = m_sections[s];
        if (!sectionInView(section))
            continue;
        if (!section.headerAsked && delegate) {
            section.headerAsked = true;
            section.header = delegate->viewForHeader(*this, s);
            section.footer = delegate->viewForFooter(*this, s);
        }
        if (section.header) {
            section.header->setParent(m_canvas);
            section.header->setGeometry(m_insets.left(), section.headerY, width, qRound(section.headerHeight));
            section.header->show();
        }
        if (section.footer) {
            section.footer->setParent(m_canvas);
            section.footer->setGeometry(m_insets.left(), section.footerY, width, qRound(section.footerHeight));
            section.footer->show();
        }
        for (int r = 0; r < static_cast<int>(section.rows.size()); ++r) {
            Row &row = section.rows[r];
            const int height = qRound(row.height);
            if (!inView(row.y, height))
                continue;
            if (!row.cell)
                row.cell = makeCell({s, r});
            if (!row.cell)
                continue;
            const bool appearing = row.cell->isHidden();
            row.cell->setSelected(m_selected == IndexPath{s, r});
            if (appearing && delegate)
                delegate->willDisplayCell(*this, row.cell, {s, r});
            const QRect frame(m_insets.left(), row.y, width, height);
            if (row.cell->geometry() != frame)
                row.cell->setGeometry(frame);
            if (appearing)
                row.cell->show();
        }
    }
}

} // namespace kova::platform
