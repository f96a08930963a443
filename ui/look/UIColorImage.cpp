#include "ui/look/UIColorImage.h"

#include <QGuiApplication>

namespace kova {

QImage imageWithColor(const QColor &color)
{
    // One point at the screen's scale.
    qreal scale = 1.0;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        scale = qGuiApp->devicePixelRatio();
    const int side = std::max(1, qRound(scale));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    image.setDevicePixelRatio(side);
    return image;
}

} // namespace kova
