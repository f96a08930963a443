#include "platform/ui/Overhang.h"

#include <QAbstractScrollArea>
#include <QEvent>

#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace kova::platform {

QWidget *clippingAncestor(QWidget *anchor)
{
    for (QWidget *w = anchor->parentWidget(); w; w = w->parentWidget()) {
        if (w->isWindow() || qobject_cast<Window *>(w))
            return w;
        // A scroll view clips what scrolls out of it.
        if (auto *area = qobject_cast<QAbstractScrollArea *>(w->parentWidget()); area && area->viewport() == w)
            return w;
        if (auto *view = qobject_cast<View *>(w); view && view->clipsToBounds())
            return w;
    }
    return anchor;
}

Overhang::Overhang(QWidget *content, QWidget *anchor, const QSize &size)
    : m_anchor(anchor), m_content(content), m_size(size)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    content->setParent(this);
    content->setGeometry(QRect(QPoint(0, 0), size));
    // The anchor is never the frame's child (unless it is a window of its
    // own), so the frame can go at once; a view going away is still this
    // frame's child while it says so, so the frame waits for the next turn.
    connect(anchor, &QObject::destroyed, this, [this] { delete this; });
    connect(content, &QObject::destroyed, this, [this] { deleteLater(); });
    rehost();
}

Overhang::~Overhang()
{
    if (m_content)
        disconnect(m_content, nullptr, this, nullptr);
    unwatch();
}

void Overhang::unwatch()
{
    for (const QPointer<QWidget> &w : std::as_const(m_watched)) {
        if (w)
            w->removeEventFilter(this);
    }
    m_watched.clear();
}

void Overhang::rehost()
{
    if (!m_anchor)
        return;
    unwatch();
    QWidget *host = clippingAncestor(m_anchor);
    // Everything from the anchor up to the host can move the anchor within it.
    for (QWidget *w = m_anchor; w && w != host; w = w->parentWidget()) {
        w->installEventFilter(this);
        m_watched.append(w);
    }
    if (host == m_anchor && m_watched.isEmpty()) {
        m_anchor->installEventFilter(this);
        m_watched.append(m_anchor.data());
    }
    if (parentWidget() != host)
        setParent(host);
    raise();
    follow();
    updateVisibility();
}

void Overhang::follow()
{
    if (!m_anchor || !parentWidget())
        return;
    const QPoint origin = m_anchor->mapTo(parentWidget(), QPoint(0, 0));
    const QPoint offset((m_anchor->width() - m_size.width()) / 2, (m_anchor->height() - m_size.height()) / 2);
    setGeometry(QRect(origin + offset, m_size));
}

void Overhang::updateVisibility()
{
    if (!m_anchor || !parentWidget())
        return;
    const bool shown = m_anchor == parentWidget() ? !m_anchor->isHidden() : m_anchor->isVisibleTo(parentWidget());
    if (shown)
        follow();
    if (shown != !isHidden())
        setVisible(shown);
}

bool Overhang::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        follow();
        break;
    case QEvent::Show:
    case QEvent::Hide:
        updateVisibility();
        break;
    case QEvent::ParentChange:
        rehost();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void Overhang::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_content)
        m_content->setGeometry(rect());
}

Overhang *overhang(QWidget *content, QWidget *anchor, const QSize &size)
{
    return new Overhang(content, anchor, size);
}

} // namespace kova::platform
