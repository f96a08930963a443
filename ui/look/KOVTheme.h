#pragma once

// Usage: `label->setTextColor(KOVTheme::backgroundColor());` Screens never
// spell colours: they take them from here, from KOVFontColors, or from hex text
// through colorWithHexString. Colours are computed on every call;
// activeColor() reads the stored app configuration (main thread).

#include <QColor>

namespace kova {

class KOVFontColors;

class KOVTheme {
public:
    static QColor limitLabel();
    static QColor amountLabel();
    static QColor currencyLabel();
    static QColor autoFlowLoaderBackground();
    static QColor loaderDotsColor();
    static QColor errorBorderViewbackgroundColor();
    static QColor errorViewbackgroundColor();
    static QColor navigationViewBackgroundColor();
    static QColor backgroundColor();
    static QColor darkBackgroundColor();
    // The accent of the started instance's stored app configuration, or the
    // colour of "#719CDD" before one is stored.
    static QColor activeColor();
    static QColor textField();
    static QColor shimmerView();
    // Not a colour: the grey text scale.
    using FontColors = KOVFontColors;
    static QColor subaccountsBackground();
};

} // namespace kova
