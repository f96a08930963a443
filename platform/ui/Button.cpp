#include "platform/ui/Button.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace kova::platform {

Button::Button(QWidget *parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::pressed, this, qOverload<>(&QWidget::update));
    connect(this, &QAbstractButton::released, this, qOverload<>(&QWidget::update));
}

Button::State Button::state() const
{
    if (!isEnabled())
        return State::Disabled;
    if (isDown())
        return State::Highlighted;
    if (m_selected)
        return State::Selected;
    return State::Normal;
}

template <typename T>
T Button::lookup(const QMap<State, T> &map, State state) const
{
    auto it = map.find(state);
    if (it != map.end())
        return *it;
    return map.value(State::Normal);
}

void Button::setTitle(const QString &title, State state)
{
    m_titles.insert(state, title);
    if (state == State::Normal)
        QAbstractButton::setText(title);
    updateGeometry();
    update();
}

QString Button::titleForState(State state) const
{
    return lookup(m_titles, state);
}

void Button::setTitleColor(const QColor &color, State state)
{
    m_titleColors.insert(state, color);
    update();
}

QColor Button::titleColorForState(State state) const
{
    const QColor color = lookup(m_titleColors, state);
    return color.isValid() ? color : QColor(Qt::black);
}

void Button::setBackgroundImage(const QImage &image, State state)
{
    m_backgrounds.insert(state, image);
    update();
}

QImage Button::backgroundImageForState(State state) const
{
    return lookup(m_backgrounds, state);
}

void Button::setImage(const QImage &image, State state)
{
    m_images.insert(state, image);
    updateGeometry();
    update();
}

QImage Button::imageForState(State state) const
{
    return lookup(m_images, state);
}

void Button::setTitleFont(const QFont &font)
{
    setFont(font);
    updateGeometry();
}

void Button::setCornerRadius(qreal radius)
{
    m_cornerRadius = radius;
    update();
}

void Button::setContentEdgeInsets(const QMargins &insets)
{
    m_insets = insets;
    updateGeometry();
}

void Button::setSelected(bool selected)
{
    m_selected = selected;
    update();
}

QSize Button::titleIntrinsicSize() const
{
    const QFontMetrics metrics(font());
    const QString title = currentTitle();
    int width = title.isEmpty() ? 0 : metrics.horizontalAdvance(title);
    int height = title.isEmpty() ? 0 : metrics.height();
    const QImage image = imageForState(state());
    if (!image.isNull()) {
        const QSizeF points = QSizeF(image.size()) / image.devicePixelRatio();
        width += qRound(points.width()) + (title.isEmpty() ? 0 : 4);
        height = std::max(height, qRound(points.height()));
    }
    return QSize(width + m_insets.left() + m_insets.right(), height + m_insets.top() + m_insets.bottom());
}

QSize Button::sizeHint() const
{
    return titleIntrinsicSize();
}

void Button::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
    painter.setClipPath(clip);
    const State current = state();
    const QImage background = backgroundImageForState(current);
    if (!background.isNull())
        painter.drawImage(QRectF(rect()), background);
    const QRect content = rect().marginsRemoved(m_insets);
    const QString title = titleForState(current);
    const QImage image = imageForState(current);
    const QFontMetrics metrics(font());
    const int titleWidth = title.isEmpty() ? 0 : metrics.horizontalAdvance(title);
    QSizeF imageSize = image.isNull() ? QSizeF() : QSizeF(image.size()) / image.devicePixelRatio();
    const qreal gap = (!image.isNull() && !title.isEmpty()) ? 4 : 0;
    qreal x = content.center().x() + 1 - (imageSize.width() + gap + titleWidth) / 2;
    if (!image.isNull()) {
        painter.drawImage(QRectF(QPointF(x, content.center().y() + 1 - imageSize.height() / 2), imageSize), image);
        x += imageSize.width() + gap;
    }
    if (!title.isEmpty()) {
        painter.setFont(font());
        // The highlighted look without an image of its own: the title dims.
        QColor color = titleColorForState(current);
        if (current == State::Highlighted && !m_titleColors.contains(State::Highlighted))
            color.setAlphaF(color.alphaF() * 0.6);
        painter.setPen(color);
        painter.drawText(QRectF(x, content.top(), titleWidth + 1, content.height()), Qt::AlignVCenter | Qt::AlignLeft, title);
    }
}

void Button::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange)
        update();
}

} // namespace kova::platform
