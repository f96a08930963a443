#include "platform/ui/View.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>

namespace kova::platform {

View::View(QWidget *parent) : QWidget(parent)
{
}

void View::setBackgroundColor(const QColor &color)
{
    m_backgroundColor = color;
    updateOpaque();
    update();
}

void View::setCornerRadius(qreal radius)
{
    m_cornerRadius = radius;
    updateClipMask();
    updateOpaque();
    update();
}

void View::setBorder(const QColor &color, qreal width)
{
    m_borderColor = color;
    m_borderWidth = width;
    updateOpaque();
    update();
}

bool View::coversItsRect() const
{
    return m_backgroundColor.alpha() == 255 && m_cornerRadius <= 0 && m_borderWidth <= 0;
}

void View::updateOpaque()
{
    // A view that covers every pixel of its rect spares the window from
    // painting whatever lies beneath it (a sheet's card, the dimmed backdrop,
    // the screen below) each time something in it changes.
    setAttribute(Qt::WA_OpaquePaintEvent, coversItsRect());
}

void View::setClipsToBounds(bool clips)
{
    m_clipsToBounds = clips;
    updateClipMask();
    update();
}

void View::setIntrinsicContentSize(const QSize &size)
{
    m_intrinsicSize = size;
    updateGeometry();
}

QSize View::sizeHint() const
{
    if (m_intrinsicSize.isValid())
        return m_intrinsicSize;
    return QWidget::sizeHint();
}

void View::paintEvent(QPaintEvent *)
{
    if (m_backgroundColor.alpha() == 0 && (m_borderWidth <= 0 || m_borderColor.alpha() == 0))
        return;
    QPainter painter(this);
    if (coversItsRect()) {
        painter.fillRect(rect(), m_backgroundColor);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = m_borderWidth / 2;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath path;
    path.addRoundedRect(box, m_cornerRadius, m_cornerRadius);
    painter.fillPath(path, m_backgroundColor);
    if (m_borderWidth > 0 && m_borderColor.alpha() > 0) {
        painter.setPen(QPen(m_borderColor, m_borderWidth));
        painter.drawPath(path);
    }
}

void View::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateClipMask();
}

void View::updateClipMask()
{
    // Children are clipped to the rounded shape only when asked: a mask cuts
    // off anything drawn outside, as clipping does.
    if (!m_clipsToBounds || m_cornerRadius <= 0 || width() <= 0 || height() <= 0) {
        clearMask();
        return;
    }
    QBitmap bitmap(size());
    bitmap.fill(Qt::color0);
    QPainter painter(&bitmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::color1);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
    painter.end();
    setMask(bitmap);
}

} // namespace kova::platform
