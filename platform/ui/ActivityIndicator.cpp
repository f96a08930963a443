#include "platform/ui/ActivityIndicator.h"

#include <QPainter>
#include <QVariantAnimation>

namespace kova::platform {

ActivityIndicator::ActivityIndicator(QWidget *parent, Style style)
    : QWidget(parent), m_style(style), m_color(142, 142, 147), m_animation(new QVariantAnimation(this))
{
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(360.0);
    m_animation->setDuration(1000);
    m_animation->setLoopCount(-1);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        // Steps of one spoke, as the platform's spinner turns.
        m_angle = std::floor(value.toDouble() / 30.0) * 30.0;
        update();
    });
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void ActivityIndicator::startAnimating()
{
    m_animating = true;
    m_animation->start();
    show();
}

void ActivityIndicator::stopAnimating()
{
    m_animating = false;
    m_animation->stop();
    if (m_hidesWhenStopped)
        hide();
}

void ActivityIndicator::setHidesWhenStopped(bool hides)
{
    m_hidesWhenStopped = hides;
    if (!m_animating)
        setVisible(!hides);
}

void ActivityIndicator::setColor(const QColor &color)
{
    m_color = color;
    update();
}

QSize ActivityIndicator::sizeHint() const
{
    return m_style == Style::Large ? QSize(37, 37) : QSize(20, 20);
}

void ActivityIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    painter.rotate(m_angle);
    const qreal outer = side / 2;
    const qreal inner = outer * 0.45;
    QPen pen(m_color, std::max(1.5, side / 11), Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < 12; ++i) {
        QColor c = m_color;
        c.setAlphaF(0.25 + 0.75 * (i / 11.0));
        pen.setColor(c);
        painter.setPen(pen);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + pen.widthF() / 2));
        painter.rotate(30);
    }
}

} // namespace kova::platform
