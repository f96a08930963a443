#include "platform/ui/TableView.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

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
    int insertedSections = 0;
    int deletedSections = 0;
    std::map<int, int> insertedRows; // section (after) -> count
    std::map<int, int> deletedRows;  // section (before) -> count
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
        log(QStringLiteral("[Kova] No header or footer registered for \"%1\"").arg(reuseIdentifier));
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
        log(QStringLiteral("[Kova] No cell registered for \"%1\"").arg(reuseIdentifier));
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

void TableView::recycleAll()
{
    for (Section &section : m_sections) {
        for (Row &row : section.rows)
            recycle(row.cell);
        recycleSupplementary(section.header);
        recycleSupplementary(section.footer);
    }
    m_sections.clear();
}

TableView::Row TableView::buildRow(const IndexPath &indexPath)
{
    Row row;
    auto source = m_dataSource.lock();
    if (!source)
        return row;
    row.cell = source->cellForRow(*this, indexPath);
    if (row.cell && row.cell->parentWidget() != m_canvas) {
        row.cell->setParent(m_canvas);
        row.cell->installEventFilter(this);
    }
    qreal height = m_rowHeight;
    if (auto delegate = m_delegate.lock())
        height = delegate->heightForRow(*this, indexPath);
    if (height < 0 && row.cell) {
        // A cell sizes itself for the table's width when it can.
        const int width = viewport()->width() - m_insets.left() - m_insets.right();
        height = row.cell->hasHeightForWidth() ? row.cell->heightForWidth(width) : row.cell->sizeHint().height();
    }
    if (height < 0)
        height = m_rowHeight;
    row.height = height;
    return row;
}

TableView::Section TableView::buildSection(int index)
{
    Section section;
    auto source = m_dataSource.lock();
    auto delegate = m_delegate.lock();
    if (delegate) {
        section.header = delegate->viewForHeader(*this, index);
        section.headerHeight = delegate->heightForHeader(*this, index);
        section.footer = delegate->viewForFooter(*this, index);
        section.footerHeight = delegate->heightForFooter(*this, index);
        for (QWidget *w : {section.header, section.footer}) {
            if (w)
                w->setParent(m_canvas);
        }
    }
    const int rows = source ? std::max(0, source->numberOfRows(*this, index)) : 0;
    for (int r = 0; r < rows; ++r)
        section.rows.push_back(buildRow({index, r}));
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
        for (Row &row : old.rows)
            recycle(row.cell);
        recycleSupplementary(old.header);
        recycleSupplementary(old.footer);
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
        row = buildRow(ip);
    }
    relayout();
}

void TableView::insertRows(const QList<IndexPath> &rows)
{
    if (!m_batch)
        return;
    for (const IndexPath &ip : rows)
        ++m_batch->insertedRows[ip.section];
}

void TableView::deleteRows(const QList<IndexPath> &rows)
{
    if (!m_batch)
        return;
    for (const IndexPath &ip : rows)
        ++m_batch->deletedRows[ip.section];
}

void TableView::insertSections(const QList<int> &sections)
{
    if (m_batch)
        m_batch->insertedSections += static_cast<int>(sections.size());
}

void TableView::deleteSections(const QList<int> &sections)
{
    if (m_batch)
        m_batch->deletedSections += static_cast<int>(sections.size());
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
    bool consistent = sectionsAfter == before + batch->insertedSections - batch->deletedSections;
    // Row counts are checked when the sections themselves stay as they were.
    if (consistent && batch->insertedSections == 0 && batch->deletedSections == 0) {
        for (int s = 0; s < sectionsAfter && consistent; ++s) {
            const int expected = batch->rowCountsBefore[s] + batch->insertedRows[s] - batch->deletedRows[s];
            consistent = source->numberOfRows(*this, s) == expected;
        }
    }
    if (!consistent)
        log(QStringLiteral("[Kova] Table updates do not match the data; reloading the whole table"));
    // Every row is laid out, so a consistent batch and a reload end alike;
    // the reload also picks up rows whose contents changed.
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
    TableViewCell *cell = cellForRow(indexPath);
    return cell ? cell->geometry() : QRect();
}

void TableView::tapRow(const IndexPath &indexPath)
{
    if (!m_allowsSelection || !cellForRow(indexPath))
        return;
    auto delegate = m_delegate.lock();
    std::optional<IndexPath> target = indexPath;
    if (delegate)
        target = delegate->willSelectRow(*this, indexPath);
    if (!target || !cellForRow(*target))
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
    auto placeWidget = [&](QWidget *w, int height) {
        if (!w)
            return;
        w->setGeometry(m_insets.left(), y, width, height);
        w->show();
        y += height;
    };
    std::vector<int> separators;
    // The table's own header and footer keep the height they were given.
    auto ownHeight = [](QWidget *w) { return w->height() > 0 ? w->height() : std::max(0, w->sizeHint().height()); };
    if (m_tableHeader)
        placeWidget(m_tableHeader, ownHeight(m_tableHeader));
    auto delegate = m_delegate.lock();
    for (int s = 0; s < numberOfSections(); ++s) {
        Section &section = m_sections[s];
        if (section.header)
            placeWidget(section.header, qRound(section.headerHeight));
        else
            y += qRound(section.headerHeight);
        for (int r = 0; r < static_cast<int>(section.rows.size()); ++r) {
            Row &row = section.rows[r];
            if (row.cell) {
                row.cell->setSelected(m_selected == IndexPath{s, r});
                if (delegate)
                    delegate->willDisplayCell(*this, row.cell, {s, r});
            }
            placeWidget(row.cell, qRound(row.height));
            if (!row.cell)
                y += qRound(row.height);
            if (r + 1 < static_cast<int>(section.rows.size()))
                separators.push_back(y - 1);
        }
        if (section.footer)
            placeWidget(section.footer, qRound(section.footerHeight));
        else
            y += qRound(section.footerHeight);
    }
    if (m_tableFooter)
        placeWidget(m_tableFooter, ownHeight(m_tableFooter));
    y += m_insets.bottom();
    static_cast<Canvas *>(m_canvas)->separatorYs = separators;
    m_canvas->resize(viewport()->width(), std::max(y, viewport()->height()));
    m_canvas->update();
}

} // namespace kova::platform
