#include "ui/look/KOVFontColors.h"

namespace kova {

QColor KOVFontColors::b100() { return QColor::fromRgbF(0.106f, 0.115f, 0.133f); }
QColor KOVFontColors::b90() { return QColor::fromRgbF(0.196f, 0.208f, 0.243f); }
QColor KOVFontColors::b70() { return QColor::fromRgbF(0.338f, 0.363f, 0.404f); }
QColor KOVFontColors::b60() { return QColor::fromRgbF(0.447f, 0.474f, 0.524f); }
QColor KOVFontColors::b35() { return QColor::fromRgbF(0.595f, 0.628f, 0.676f); }
QColor KOVFontColors::b0() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f); }

} // namespace kova
