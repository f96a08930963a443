#include "ui/look/KOVFontManager.h"

#include <QFile>
#include <mutex>

#include "platform/foundation/Bundle.h"
#include "platform/ui/FontRegistry.h"

namespace kova {

void KOVFontManager::startLoading()
{
    static std::once_flag once;
    std::call_once(once, [] { loadFonts(); });
}

void KOVFontManager::loadFonts()
{
    const auto bundle = platform::Bundle::framework();
    for (const QString &name : allNames()) {
        const QString path = bundle->pathForResource(name, QStringLiteral("ttf"));
        if (path.isEmpty())
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // Registered with Qt as soon as a GUI application exists; a file that
        // makes no font is logged then.
        platform::FontRegistry::registerFont(name, file.readAll());
    }
}

QString KOVFontManager::black() { return QStringLiteral("Muli-Black"); }
QString KOVFontManager::blackItalic() { return QStringLiteral("Muli-BlackItalic"); }
QString KOVFontManager::bold() { return QStringLiteral("Muli-Bold"); }
QString KOVFontManager::boldItalic() { return QStringLiteral("Muli-BoldItalic"); }
QString KOVFontManager::extraBold() { return QStringLiteral("Muli-ExtraBold"); }
QString KOVFontManager::extraBoldItalic() { return QStringLiteral("Muli-ExtraBoldItalic"); }
QString KOVFontManager::extraLight() { return QStringLiteral("Muli-ExtraLight"); }
QString KOVFontManager::extraLightItalic() { return QStringLiteral("Muli-ExtraLightItalic"); }
QString KOVFontManager::italic() { return QStringLiteral("Muli-Italic"); }
QString KOVFontManager::light() { return QStringLiteral("Muli-Light"); }
QString KOVFontManager::lightItalic() { return QStringLiteral("Muli-LightItalic"); }
QString KOVFontManager::medium() { return QStringLiteral("Muli-Medium"); }
QString KOVFontManager::mediumItalic() { return QStringLiteral("Muli-MediumItalic"); }
QString KOVFontManager::regular() { return QStringLiteral("Muli-Regular"); }
QString KOVFontManager::semiBold() { return QStringLiteral("Muli-SemiBold"); }
QString KOVFontManager::semiBoldItalic() { return QStringLiteral("Muli-SemiBoldItalic"); }

QStringList KOVFontManager::allNames()
{
    return {black(),  blackItalic(), bold(),   boldItalic(),   extraBold(), extraBoldItalic(),
            extraLight(), extraLightItalic(), italic(), light(), lightItalic(), medium(),
            mediumItalic(), regular(), semiBold(), semiBoldItalic()};
}

QFont KOVFontManager::font(const QString &name, qreal pointSize)
{
    return platform::FontRegistry::font(name, pointSize);
}

} // namespace kova
