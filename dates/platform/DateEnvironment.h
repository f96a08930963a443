#pragma once

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <functional>
#include <optional>

namespace kova::platform {

// The process-wide facts dates depend on: the current moment, the system time
// zone and the user's locale. Each can be overridden (tests pin them so that
// results do not depend on the machine). Safe to use from any thread.
class DateEnvironment {
public:
    // The current moment, in UTC.
    static QDateTime now();
    // Replaces the clock; an empty function restores the real one.
    static void setNowOverride(std::function<QDateTime()> clock);

    static QTimeZone systemTimeZone();
    static void setSystemTimeZoneOverride(std::optional<QTimeZone> zone);

    // The user's locale as the auto-updating current locale reports it.
    static QLocale currentLocale();
    static void setCurrentLocaleOverride(std::optional<QLocale> locale);

    // Changes whenever the zone or locale override changes, so that cached
    // calendars and formatters that follow the defaults know to refresh.
    static quint64 generation();

    // The platform's earliest and latest representable dates
    // (0001-01-01 and 4001-01-01 in the Julian/Gregorian calendar, UTC).
    static QDateTime distantPast();
    static QDateTime distantFuture();
};

} // namespace kova::platform
