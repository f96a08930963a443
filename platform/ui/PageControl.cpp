#include "platform/ui/PageControl.h"

#include <QMouseEvent>
#include <QPainter>

namespace kova::platform {

constexpr int kDot = 7;
constexpr int kGap = 9;

PageControl::PageControl(QWidget *parent) : QWidget(parent)
{
}

void PageControl::setNumberOfPages(int pages)
{
    m_pages = std::max(0, pages);
    m_current = std::clamp(m_current, 0, std::max(0, m_pages - 1));
    setVisible(!(m_hidesForSinglePage && m_pages <= 1));
    updateGeometry();
    update();
}

void PageControl::setCurrentPage(int page)
{
    m_current = std::clamp(page, 0, std::max(0, m_pages - 1));
    update();
}

void PageControl::setPageIndicatorTintColor(const QColor &color)
{
    m_tint = color;
    update();
}

void PageControl::setCurrentPageIndicatorTintColor(const QColor &color)
{
    m_currentTint = color;
    update();
}

void PageControl::setHidesForSinglePage(bool hides)
{
    m_hidesForSinglePage = hides;
    setVisible(!(hides && m_pages <= 1));
}

QSize PageControl::sizeHint() const
{
    return QSize(std::max(0, m_pages * kDot + (m_pages - 1) * kGap) + 2 * kGap, 26);
}

void PageControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const int total = m_pages * kDot + std::max(0, m_pages - 1) * kGap;
    qreal x = (width() - total) / 2.0;
    for (int i = 0; i < m_pages; ++i) {
        painter.setBrush(i == m_current ? m_currentTint : m_tint);
        painter.drawEllipse(QRectF(x, (height() - kDot) / 2.0, kDot, kDot));
        x += kDot + kGap;
    }
}

void PageControl::mouseReleaseEvent(QMouseEvent *event)
{
    const int before = m_current;
    if (event->position().x() < width() / 2.0)
        setCurrentPage(m_current - 1);
    else
        setCurrentPage(m_current + 1);
    if (m_current != before)
        emit valueChanged(m_current);
}

} // namespace kova::platform
