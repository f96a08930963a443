#include "platform/ui/Anchors.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <optional>
#include <vector>
#include <cmath>

#include "platform/ui/ViewHelpers.h"

namespace kova::platform {

struct Constraint::Data {
    QPointer<QWidget> view;
    Attr attr;
    QPointer<QWidget> other; // null: a fixed size
    Attr otherAttr = Attr::Width;
    qreal constant = 0;
    qreal multiplier = 1;
    Guide guide = Guide::Bounds;
    bool active = true;
};

namespace {

bool isHorizontal(Attr attr)
{
    return attr == Attr::Leading || attr == Attr::Trailing || attr == Attr::Width || attr == Attr::CenterX;
}

// Solves the constraints of one parent's children whenever it resizes or a
// constant changes.
class Solver : public QObject {
public:
    explicit Solver(QWidget *parent) : QObject(parent), m_parent(parent)
    {
        parent->installEventFilter(this);
    }

    static Solver *of(QWidget *parent)
    {
        for (QObject *child : parent->children()) {
            if (auto *solver = dynamic_cast<Solver *>(child))
                return solver;
        }
        return new Solver(parent);
    }

    void add(std::shared_ptr<Constraint::Data> data)
    {
        QWidget *view = data->view;
        if (!m_order.contains(view))
            m_order.append(view);
        m_constraints.push_back(std::move(data));
        if (!m_watched.contains(view)) {
            m_watched.append(view);
            view->installEventFilter(this);
        }
        schedule();
    }

    void remove(QWidget *view)
    {
        std::erase_if(m_constraints, [view](const auto &c) { return c->view == view; });
        m_order.removeAll(view);
    }

    void schedule()
    {
        if (m_scheduled)
            return;
        m_scheduled = true;
        QTimer::singleShot(0, this, [this] { solve(); });
    }

    void solve()
    {
        m_scheduled = false;
        std::erase_if(m_constraints, [](const auto &c) { return !c->view; });
        // Two passes let a view anchored to a later sibling settle too.
        for (int pass = 0; pass < 2; ++pass) {
            for (const QPointer<QWidget> &view : m_order) {
                if (view && view->parentWidget() == m_parent)
                    solveView(view);
            }
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_parent && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
            schedule();
        if (watched != m_parent && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show ||
                                    event->type() == QEvent::Hide))
            schedule();
        if (watched == m_parent && event->type() == QEvent::Resize)
            solve();
        return false;
    }

private:
    // The value of another view's attribute in the parent's coordinates.
    qreal valueOf(const Constraint::Data &c) const
    {
        QWidget *other = c.other;
        if (!other)
            return 0;
        QRectF box;
        if (other == m_parent) {
            box = QRectF(QPointF(0, 0), QSizeF(m_parent->size()));
            if (c.guide == Guide::SafeArea)
                box = box.marginsRemoved(QMarginsF(safeAreaInsets(m_parent)));
        } else {
            box = QRectF(other->geometry());
            if (c.guide == Guide::SafeArea)
                box = box.marginsRemoved(QMarginsF(safeAreaInsets(other)));
        }
        switch (c.otherAttr) {
        case Attr::Leading: return box.left();
        case Attr::Trailing: return box.right();
        case Attr::Top: return box.top();
        case Attr::Bottom: return box.bottom();
        case Attr::Width: return box.width();
        case Attr::Height: return box.height();
        case Attr::CenterX: return box.center().x();
        case Attr::CenterY: return box.center().y();
        }
        return 0;
    }

    void solveView(QWidget *view)
    {
        std::optional<qreal> lead, trail, top, bottom, width, height, cx, cy;
        for (const auto &c : m_constraints) {
            if (c->view != view || !c->active)
                continue;
            qreal value = c->constant;
            if (c->other)
                value = valueOf(*c) * c->multiplier + c->constant;
            // QRectF right/bottom are left + width: the edge, not the last pixel.
            switch (c->attr) {
            case Attr::Leading: lead = value; break;
            case Attr::Trailing: trail = value; break;
            case Attr::Top: top = value; break;
            case Attr::Bottom: bottom = value; break;
            case Attr::Width: width = value; break;
            case Attr::Height: height = value; break;
            case Attr::CenterX: cx = value; break;
            case Attr::CenterY: cy = value; break;
            }
        }
        const QSize hint = view->sizeHint().expandedTo(view->minimumSize());
        auto axis = [](std::optional<qreal> a, std::optional<qreal> b, std::optional<qreal> len, std::optional<qreal> centre,
                       qreal current, qreal currentLen, qreal hinted, qreal &pos, qreal &size) {
            if (a && b) {
                pos = *a;
                size = *b - *a;
            } else if (a && len) {
                pos = *a;
                size = *len;
            } else if (b && len) {
                size = *len;
                pos = *b - *len;
            } else if (centre) {
                size = len ? *len : hinted;
                pos = *centre - size / 2;
            } else if (a) {
                pos = *a;
                size = hinted;
            } else if (b) {
                size = hinted;
                pos = *b - size;
            } else {
                pos = current;
                size = len ? *len : currentLen;
            }
        };
        qreal x = 0, w = 0, y = 0, h = 0;
        axis(lead, trail, width, cx, view->x(), view->width(), hint.width() > 0 ? hint.width() : view->width(), x, w);
        qreal hintedHeight = hint.height() > 0 ? hint.height() : view->height();
        if (view->hasHeightForWidth() && w > 0)
            hintedHeight = view->heightForWidth(static_cast<int>(std::lround(w)));
        axis(top, bottom, height, cy, view->y(), view->height(), hintedHeight, y, h);
        view->setGeometry(QRect(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)),
                                std::max(0, static_cast<int>(std::lround(w))), std::max(0, static_cast<int>(std::lround(h)))));
    }

    QWidget *m_parent;
    std::vector<std::shared_ptr<Constraint::Data>> m_constraints;
    QList<QPointer<QWidget>> m_order;
    QList<QWidget *> m_watched;
    bool m_scheduled = false;
};

Constraint make(QWidget *view, Attr attr, QWidget *other, Attr otherAttr, qreal constant, Guide guide, qreal multiplier)
{
    auto data = std::make_shared<Constraint::Data>();
    data->view = view;
    data->attr = attr;
    data->other = other;
    data->otherAttr = otherAttr;
    data->constant = constant;
    data->guide = guide;
    data->multiplier = multiplier;
    if (QWidget *parent = view->parentWidget())
        Solver::of(parent)->add(data);
    return Constraint(data);
}

} // namespace

qreal Constraint::constant() const
{
    return m_data ? m_data->constant : 0;
}

void Constraint::setConstant(qreal constant)
{
    if (!m_data || m_data->constant == constant)
        return;
    m_data->constant = constant;
    if (m_data->view && m_data->view->parentWidget())
        Solver::of(m_data->view->parentWidget())->schedule();
}

bool Constraint::isActive() const
{
    return m_data && m_data->active;
}

void Constraint::setActive(bool active)
{
    if (!m_data || m_data->active == active)
        return;
    m_data->active = active;
    if (m_data->view && m_data->view->parentWidget())
        Solver::of(m_data->view->parentWidget())->schedule();
}

Constraint anchor(QWidget *view, Attr attr, QWidget *other, Attr otherAttr, qreal constant, Guide guide, qreal multiplier)
{
    Q_ASSERT(isHorizontal(attr) == isHorizontal(otherAttr));
    return make(view, attr, other, otherAttr, constant, guide, multiplier);
}

Constraint size(QWidget *view, Attr attr, qreal constant)
{
    return make(view, attr, nullptr, attr, constant, Guide::Bounds, 1.0);
}

EdgeConstraints pinEdges(QWidget *view, QWidget *parent, const QMargins &insets, Guide guide)
{
    return {anchor(view, Attr::Leading, parent, Attr::Leading, insets.left(), guide),
            anchor(view, Attr::Trailing, parent, Attr::Trailing, -insets.right(), guide),
            anchor(view, Attr::Top, parent, Attr::Top, insets.top(), guide),
            anchor(view, Attr::Bottom, parent, Attr::Bottom, -insets.bottom(), guide)};
}

void centerIn(QWidget *view, QWidget *parent, Guide guide)
{
    anchor(view, Attr::CenterX, parent, Attr::CenterX, 0, guide);
    anchor(view, Attr::CenterY, parent, Attr::CenterY, 0, guide);
}

void layoutNow(QWidget *parent)
{
    Solver::of(parent)->solve();
}

void removeConstraints(QWidget *view)
{
    if (QWidget *parent = view->parentWidget())
        Solver::of(parent)->remove(view);
}

} // namespace kova::platform
