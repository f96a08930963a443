#include "platform/ui/ImageView.h"

#include <QPainter>

namespace kova::platform {

ImageView::ImageView(QWidget *parent) : QWidget(parent)
{
}

ImageView::ImageView(const QImage &image, QWidget *parent) : QWidget(parent), m_image(image)
{
}

void ImageView::setImage(const QImage &image)
{
    m_image = image;
    updateGeometry();
    update();
    emit imageChanged();
}

void ImageView::setHighlightedImage(const QImage &image)
{
    m_highlightedImage = image;
    update();
}

void ImageView::setHighlighted(bool highlighted)
{
    m_highlighted = highlighted;
    update();
}

void ImageView::setContentMode(ContentMode mode)
{
    m_mode = mode;
    update();
}

QSize ImageView::intrinsicContentSize() const
{
    const QImage shown = image();
    if (shown.isNull())
        return QSize(-1, -1);
    return (QSizeF(shown.size()) / shown.devicePixelRatio()).toSize();
}

QSize ImageView::sizeHint() const
{
    const QSize size = intrinsicContentSize();
    return size.isValid() ? size : QSize(0, 0);
}

QImage ImageView::displayedImage() const
{
    if (m_highlighted && !m_highlightedImage.isNull())
        return m_highlightedImage;
    return image();
}

void ImageView::paintEvent(QPaintEvent *)
{
    const QImage shown = displayedImage();
    if (shown.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF points = QSizeF(shown.size()) / shown.devicePixelRatio();
    const QRectF box(rect());
    QRectF target = box;
    switch (m_mode) {
    case ContentMode::ScaleToFill:
        break;
    case ContentMode::ScaleAspectFit:
    case ContentMode::ScaleAspectFill: {
        const QSizeF scaled = points.scaled(box.size(), m_mode == ContentMode::ScaleAspectFit ? Qt::KeepAspectRatio
                                                                                             : Qt::KeepAspectRatioByExpanding);
        target = QRectF(box.center() - QPointF(scaled.width() / 2, scaled.height() / 2), scaled);
        break;
    }
    case ContentMode::Center:
        target = QRectF(box.center() - QPointF(points.width() / 2, points.height() / 2), points);
        break;
    }
    painter.setClipRect(box);
    painter.drawImage(target, shown);
}

} // namespace kova::platform
