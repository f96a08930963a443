#pragma once

// Usage: `button->setBackgroundImage(imageWithColor(KOVTheme::activeColor()));`
// A one-point square image (at the screen's scale) filled with the colour.

#include <QColor>
#include <QImage>

namespace kova {

QImage imageWithColor(const QColor &color);

} // namespace kova
