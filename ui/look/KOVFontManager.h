#pragma once

// Usage: `label->setFont(KOVFontManager::font(KOVFontManager::semiBold(), 16));`
// startLoading() hands the sixteen Muli files to the font registry once per
// process (the app-wide state calls it through the screens provider); the
// registry registers them with Qt as soon as a GUI application exists.

#include <QFont>
#include <QString>
#include <QStringList>

namespace kova {

class KOVFontManager {
public:
    static void startLoading();
    static void loadFonts();

    static QString black();
    static QString blackItalic();
    static QString bold();
    static QString boldItalic();
    static QString extraBold();
    static QString extraBoldItalic();
    static QString extraLight();
    static QString extraLightItalic();
    static QString italic();
    static QString light();
    static QString lightItalic();
    static QString medium();
    static QString mediumItalic();
    static QString regular();
    static QString semiBold();
    static QString semiBoldItalic();

    // The sixteen names in getter order.
    static QStringList allNames();
    // The platform's font-by-name lookup: the registered font at a point size.
    static QFont font(const QString &name, qreal pointSize);
};

} // namespace kova
