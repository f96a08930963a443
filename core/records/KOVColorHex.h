#pragma once

#include <QString>
#include <QtGui/QColor>

namespace kova {

// Every colour that arrives as text goes through here: six hex digits (red,
// green, blue), bare, behind "#" or behind "0X", either case, blanks around.
// Text it cannot read gives the colour of "#719CDD"; it never fails.
QColor colorWithHexString(const QString &text);

} // namespace kova
