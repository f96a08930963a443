#pragma once

// Internal to the date library: the bridge between Qt's date, zone and locale
// values and ICU's. Never included from a public header.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimeZone>
#include <memory>
#include <optional>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace kova::platform {

class IcuSupport {
public:
    // ICU's calendar arithmetic silently wraps far outside roughly +/-5.8
    // million years; dates and results beyond this window are refused.
    static constexpr double kMaxMillis = 150'000'000'000'000'000.0; // ~4.75 million years
    static constexpr double kMinMillis = -kMaxMillis;

    // The instant as ICU milliseconds, or nothing for a missing date or one
    // outside the window above.
    static std::optional<double> toMillis(const QDateTime &date);
    // A UTC date for ICU milliseconds (truncated to whole milliseconds, as
    // QDateTime holds them), or a null date outside the window.
    static QDateTime fromMillis(double millis);
    static bool inRange(double millis) { return millis >= kMinMillis && millis <= kMaxMillis; }

    // A new ICU zone for the Qt zone; an invalid zone means the system zone.
    // Zones ICU does not know by id (Qt's fixed "UTC+03:00" forms) become
    // fixed-offset zones.
    static std::unique_ptr<icu::TimeZone> timeZone(const QTimeZone &zone);
    // The ICU locale for a Qt locale; the C locale is ICU's POSIX English.
    static icu::Locale locale(const QLocale &locale);

    static icu::UnicodeString toUnicode(const QString &text)
    {
        return icu::UnicodeString(reinterpret_cast<const char16_t *>(text.utf16()), int32_t(text.size()));
    }
    static QString fromUnicode(const icu::UnicodeString &text)
    {
        return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
    }
};

} // namespace kova::platform
