#include "core/Localizer.h"

#include "platform/foundation/Bundle.h"

namespace kova {

QString Localizer::getLocalizedStringByKey(const QString &key)
{
    const auto bundle = platform::Bundle::framework()->nestedBundle(QStringLiteral("KovaConnect.bundle"));
    if (!bundle)
        return QString();
    // A table the bundle lacks reads like a table that lacks the key.
    const QString text = bundle->localizedString(key, QString(), QStringLiteral("KovaConnect"));
    return text.isNull() ? key : text;
}

} // namespace kova
