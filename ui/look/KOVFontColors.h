#pragma once

// Usage: `KOVFontColors::b100()` — the grey scale of text colours, darkest
// (b100) to white (b0).

#include <QColor>

namespace kova {

class KOVFontColors {
public:
    static QColor b100();
    static QColor b90();
    static QColor b70();
    static QColor b60();
    static QColor b35();
    static QColor b0();
};

} // namespace kova
