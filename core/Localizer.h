#pragma once

#include <QString>

namespace kova {

// Texts of the SDK's own string table "KovaConnect", in the framework's
// "KovaConnect.bundle". A missing key reads as the key itself; without the
// resource bundle there is no text (a null QString).
class Localizer {
public:
    static QString getLocalizedStringByKey(const QString &key);
};

} // namespace kova
