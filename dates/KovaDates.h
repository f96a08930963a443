#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimeZone>
#include <memory>

#include "dates/platform/Calendar.h"
#include "dates/platform/DateFormatter.h"

namespace kova {

inline constexpr qint64 SECONDS_IN_YEAR = 31556900;
inline constexpr qint64 SECONDS_IN_MONTH_28 = 2419200;
inline constexpr qint64 SECONDS_IN_MONTH_29 = 2505600;
inline constexpr qint64 SECONDS_IN_MONTH_30 = 2592000;
inline constexpr qint64 SECONDS_IN_MONTH_31 = 2678400;
inline constexpr qint64 SECONDS_IN_WEEK = 604800;
inline constexpr qint64 SECONDS_IN_DAY = 86400;
inline constexpr qint64 SECONDS_IN_HOUR = 3600;
inline constexpr qint64 SECONDS_IN_MINUTE = 60;
inline constexpr qint64 MILLISECONDS_IN_DAY = 86400000;

// The wording of a time-ago text. Any other code words like Words.
enum class KDTimeAgoStyle : int {
    Words = 0,        // "Last year", "Yesterday", "An hour ago", "Just now"
    Numeric = 1,      // "1 year ago", "1 hour ago"
    NumericDates = 2, // "1 day ago", but "An hour ago"
    NumericTimes = 3, // "Yesterday", but "1 hour ago"
    Short = 4,        // the number and a one-letter unit
    Weekday = 5,      // like Words, but 2 to 7 days show the weekday's name
};

// The unit a time-ago text is expressed in. Any other code has no text.
enum class KDTimeAgoUnit : int { Year = 0, Month = 1, Week = 2, Day = 3, Hour = 4, Minute = 5, Second = 6 };

// The component codes of componentForDate.
enum class KDDateComponentKind : int {
    Era = 0,
    Year = 1,
    Month = 2,
    Day = 3,
    Hour = 4,
    Minute = 5,
    Second = 6,
    Weekday = 7,
    WeekdayOrdinal = 8,
    Quarter = 9,
    WeekOfMonth = 10,
    WeekOfYear = 11,
    YearForWeekOfYear = 12,
    DayOfYear = 13,
};

// Date helpers and time-ago texts. Dates are QDateTime instants (results are
// in UTC); an invalid QDateTime is a missing date. The operations on a date
// take it as their first argument (`date`); the rest follow in order.
//
// Missing dates give neutral answers: no text, no date, 0, or false. Adding
// a count whose result falls outside the dates the calendar can compute
// (beyond about 4.75 million years from 1970) gives no date.
//
// Everything here may be called from any thread: the shared calendar and
// formatters are locked, time-ago texts use per-thread calendars.
class KovaDates {
public:
    // --- Time-ago texts ---
    // The date against the current moment.
    static QString timeAgoSinceDate(const QDateTime &date);
    static QString shortTimeAgoSinceDate(const QDateTime &date);
    static QString weekTimeAgoSinceDate(const QDateTime &date);
    static QString timeAgoSinceNow(const QDateTime &date);
    static QString shortTimeAgoSinceNow(const QDateTime &date);
    static QString weekTimeAgoSinceNow(const QDateTime &date);

    static QString timeAgoSinceDate(const QDateTime &date, const QDateTime &other);
    static QString timeAgoSinceDate(const QDateTime &date, const QDateTime &other, bool numericDates);
    static QString timeAgoSinceDate(const QDateTime &date, const QDateTime &other, bool numericDates, bool numericTimes);
    static QString shortTimeAgoSinceDate(const QDateTime &date, const QDateTime &other);
    static QString weekTimeAgoSinceDate(const QDateTime &date, const QDateTime &other);
    // The text for the distance between the two dates; which one is later
    // does not matter.
    static QString timeAgoSinceDate(const QDateTime &date, const QDateTime &other, KDTimeAgoStyle format);
    // Integers would silently pick the numeric-dates overload above.
    static QString timeAgoSinceDate(const QDateTime &, const QDateTime &, int) = delete;

    // The text for one unit and value; a null text for an unknown unit. The
    // weekday form names the weekday of `date`.
    static QString localizedStringFor(const QDateTime &date, KDTimeAgoStyle style, KDTimeAgoUnit unit, qint64 value);
    // Builds the key from a template ("%%d %@days ago": "%%" is a percent
    // sign, "%@" the plural suffix), looks it up and puts the value in place
    // of each "%d" of the text found. Nothing else in a text is a placeholder.
    static QString logicLocalizedStringFromFormat(const QString &format, qint64 value);
    // The plural suffix of the key: "__", "_" or empty. Only when the first
    // preferred localisation is exactly "ru-RU" or "uk".
    static QString getLocaleFormatUnderscoresWithValue(double value);

    // --- Components (implicit calendar) ---
    static qint64 era(const QDateTime &date);
    static qint64 year(const QDateTime &date);
    static qint64 month(const QDateTime &date);
    static qint64 day(const QDateTime &date);
    static qint64 hour(const QDateTime &date);
    static qint64 minute(const QDateTime &date);
    static qint64 second(const QDateTime &date);
    static qint64 weekday(const QDateTime &date);
    static qint64 weekdayOrdinal(const QDateTime &date);
    static qint64 quarter(const QDateTime &date);
    static qint64 weekOfMonth(const QDateTime &date);
    static qint64 weekOfYear(const QDateTime &date);
    static qint64 yearForWeekOfYear(const QDateTime &date);
    static qint64 dayOfYear(const QDateTime &date);

    // Days in the date's month, in the user's current calendar.
    static qint64 daysInMonth(const QDateTime &date);
    static qint64 daysInYear(const QDateTime &date);
    static bool isInLeapYear(const QDateTime &date);

    // Day predicates, in the user's current calendar.
    static bool isToday(const QDateTime &date);
    static bool isTomorrow(const QDateTime &date);
    static bool isYesterday(const QDateTime &date);
    static bool isWeekend(const QDateTime &date);
    static bool isSameDay(const QDateTime &date, const QDateTime &asDate);

    // --- Components in a given calendar (null: the implicit calendar) ---
    using CalendarPtr = std::shared_ptr<platform::Calendar>;
    static qint64 eraWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 yearWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 monthWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 dayWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 hourWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 minuteWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 secondWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 weekdayWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 weekdayOrdinalWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 quarterWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 weekOfMonthWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 weekOfYearWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 yearForWeekOfYearWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    static qint64 dayOfYearWithCalendar(const QDateTime &date, const CalendarPtr &calendar);
    // 0 for a code outside 0 to 13 and for a missing date.
    static qint64 componentForDate(const QDateTime &date, KDDateComponentKind type, const CalendarPtr &calendar);

    // --- Arithmetic (implicit calendar) ---
    static QDateTime dateByAddingYears(const QDateTime &date, qint64 years);
    static QDateTime dateByAddingMonths(const QDateTime &date, qint64 months);
    static QDateTime dateByAddingWeeks(const QDateTime &date, qint64 weeks);
    static QDateTime dateByAddingDays(const QDateTime &date, qint64 days);
    static QDateTime dateByAddingHours(const QDateTime &date, qint64 hours);
    static QDateTime dateByAddingMinutes(const QDateTime &date, qint64 minutes);
    static QDateTime dateByAddingSeconds(const QDateTime &date, qint64 seconds);
    static QDateTime dateBySubtractingYears(const QDateTime &date, qint64 years);
    static QDateTime dateBySubtractingMonths(const QDateTime &date, qint64 months);
    static QDateTime dateBySubtractingWeeks(const QDateTime &date, qint64 weeks);
    static QDateTime dateBySubtractingDays(const QDateTime &date, qint64 days);
    static QDateTime dateBySubtractingHours(const QDateTime &date, qint64 hours);
    static QDateTime dateBySubtractingMinutes(const QDateTime &date, qint64 minutes);
    static QDateTime dateBySubtractingSeconds(const QDateTime &date, qint64 seconds);

    // --- Signed differences: positive when `date` is the later one ---
    static qint64 yearsFrom(const QDateTime &date, const QDateTime &other);
    static qint64 monthsFrom(const QDateTime &date, const QDateTime &other);
    static qint64 weeksFrom(const QDateTime &date, const QDateTime &other);
    static qint64 daysFrom(const QDateTime &date, const QDateTime &other);
    static double hoursFrom(const QDateTime &date, const QDateTime &other);
    static double minutesFrom(const QDateTime &date, const QDateTime &other);
    static double secondsFrom(const QDateTime &date, const QDateTime &other);
    static qint64 yearsFrom(const QDateTime &date, const QDateTime &other, const CalendarPtr &calendar);
    static qint64 monthsFrom(const QDateTime &date, const QDateTime &other, const CalendarPtr &calendar);
    static qint64 weeksFrom(const QDateTime &date, const QDateTime &other, const CalendarPtr &calendar);
    static qint64 daysFrom(const QDateTime &date, const QDateTime &other, const CalendarPtr &calendar);

    // --- Against the current moment ---
    static qint64 yearsUntil(const QDateTime &date);
    static qint64 monthsUntil(const QDateTime &date);
    static qint64 weeksUntil(const QDateTime &date);
    static qint64 daysUntil(const QDateTime &date);
    static double hoursUntil(const QDateTime &date);
    static double minutesUntil(const QDateTime &date);
    static double secondsUntil(const QDateTime &date);
    static qint64 yearsAgo(const QDateTime &date);
    static qint64 monthsAgo(const QDateTime &date);
    static qint64 weeksAgo(const QDateTime &date);
    static qint64 daysAgo(const QDateTime &date);
    static double hoursAgo(const QDateTime &date);
    static double minutesAgo(const QDateTime &date);
    static double secondsAgo(const QDateTime &date);

    // --- One-sided differences: how far `date` lies before (earlier) or
    // after (later) the other one, else 0 ---
    static qint64 yearsEarlierThan(const QDateTime &date, const QDateTime &other);
    static qint64 monthsEarlierThan(const QDateTime &date, const QDateTime &other);
    static qint64 weeksEarlierThan(const QDateTime &date, const QDateTime &other);
    static qint64 daysEarlierThan(const QDateTime &date, const QDateTime &other);
    static double hoursEarlierThan(const QDateTime &date, const QDateTime &other);
    static double minutesEarlierThan(const QDateTime &date, const QDateTime &other);
    static double secondsEarlierThan(const QDateTime &date, const QDateTime &other);
    static qint64 yearsLaterThan(const QDateTime &date, const QDateTime &other);
    static qint64 monthsLaterThan(const QDateTime &date, const QDateTime &other);
    static qint64 weeksLaterThan(const QDateTime &date, const QDateTime &other);
    static qint64 daysLaterThan(const QDateTime &date, const QDateTime &other);
    static double hoursLaterThan(const QDateTime &date, const QDateTime &other);
    static double minutesLaterThan(const QDateTime &date, const QDateTime &other);
    static double secondsLaterThan(const QDateTime &date, const QDateTime &other);

    // --- Comparisons (false when either date is missing) ---
    static bool isEarlierThan(const QDateTime &date, const QDateTime &other);
    static bool isLaterThan(const QDateTime &date, const QDateTime &other);
    static bool isEarlierThanOrEqualTo(const QDateTime &date, const QDateTime &other);
    static bool isLaterThanOrEqualTo(const QDateTime &date, const QDateTime &other);

    // --- Formatting through the shared formatters (null text for a missing
    // date); the shorter forms use the system time zone and current locale ---
    static QString formattedDateWithStyle(const QDateTime &date, platform::DateFormatterStyle style);
    static QString formattedDateWithStyle(const QDateTime &date, platform::DateFormatterStyle style, const QTimeZone &timeZone);
    static QString formattedDateWithStyle(const QDateTime &date, platform::DateFormatterStyle style, const QLocale &locale);
    static QString formattedDateWithStyle(const QDateTime &date, platform::DateFormatterStyle style, const QTimeZone &timeZone,
                                          const QLocale &locale);
    static QString formattedDateWithFormat(const QDateTime &date, const QString &format);
    static QString formattedDateWithFormat(const QDateTime &date, const QString &format, const QTimeZone &timeZone);
    static QString formattedDateWithFormat(const QDateTime &date, const QString &format, const QLocale &locale);
    static QString formattedDateWithFormat(const QDateTime &date, const QString &format, const QTimeZone &timeZone,
                                           const QLocale &locale);

    // --- Construction ---
    static QDateTime dateWithYear(qint64 year, qint64 month, qint64 day);
    static QDateTime dateWithYear(qint64 year, qint64 month, qint64 day, qint64 hour, qint64 minute, qint64 second);
    // Strict: the whole string must match the pattern; otherwise no date.
    static QDateTime dateWithString(const QString &dateString, const QString &formatString);
    static QDateTime dateWithString(const QString &dateString, const QString &formatString, const QTimeZone &timeZone);

    static bool isLeapYear(qint64 year);

    // The implicit calendar's identifier ("gregorian" from the start). A null
    // identifier reads back null while the calendar computes as Gregorian.
    static QString defaultCalendarIdentifier();
    static void setDefaultCalendarIdentifier(const QString &identifier);
    static CalendarPtr implicitCalendar();
};

} // namespace kova
