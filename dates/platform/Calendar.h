#pragma once

#include <QDateTime>
#include <QFlags>
#include <QString>
#include <memory>
#include <mutex>
#include <utility>

#include "dates/platform/DateComponents.h"

namespace kova::platform {

// Calendar identifiers under the platform's own names.
inline const QString NSCalendarIdentifierGregorian = QStringLiteral("gregorian");
inline const QString NSCalendarIdentifierBuddhist = QStringLiteral("buddhist");
inline const QString NSCalendarIdentifierISO8601 = QStringLiteral("iso8601");

enum class CalendarUnit : quint32 {
    Era = 1u << 1,
    Year = 1u << 2,
    Month = 1u << 3,
    Day = 1u << 4,
    Hour = 1u << 5,
    Minute = 1u << 6,
    Second = 1u << 7,
    Weekday = 1u << 9,
    WeekdayOrdinal = 1u << 10,
    Quarter = 1u << 11,
    WeekOfMonth = 1u << 12,
    WeekOfYear = 1u << 13,
    YearForWeekOfYear = 1u << 14,
};
Q_DECLARE_FLAGS(CalendarUnits, CalendarUnit)
Q_DECLARE_OPERATORS_FOR_FLAGS(CalendarUnits)

// A calendar over ICU. Its time zone is the system time zone and its week
// rules (first weekday, minimal days in the first week) come from the current
// locale; both follow DateEnvironment. Every operation is locked, so one
// calendar may be shared between threads.
//
// Missing dates (invalid QDateTime) and dates or results outside the range
// the calendar can compute give empty components and null dates.
class Calendar {
public:
    // An identifier ICU does not know keeps its name but computes as Gregorian.
    static std::shared_ptr<Calendar> calendarWithIdentifier(const QString &identifier);
    // The user's calendar: the current locale's own calendar system. Each
    // thread gets its own instance, rebuilt when the defaults change.
    static std::shared_ptr<Calendar> currentCalendar();

    ~Calendar();
    Calendar(const Calendar &) = delete;
    Calendar &operator=(const Calendar &) = delete;

    QString calendarIdentifier() const;

    DateComponents components(CalendarUnits units, const QDateTime &date) const;
    // The difference from `from` to `to`, largest unit first (negative when
    // `to` is earlier). Supports era, year, month, week of year or of month,
    // day, hour, minute and second.
    DateComponents components(CalendarUnits units, const QDateTime &from, const QDateTime &to) const;
    // Fields are lenient (month 13 is January of the next year). Uses era,
    // year, month, day, hour, minute and second.
    QDateTime dateFromComponents(const DateComponents &components) const;
    // Adds year, month, week of year (or of month), day, hour, minute and
    // second counts, largest first. Days and larger keep the wall-clock time;
    // hours and smaller are exact elapsed time.
    QDateTime dateByAddingComponents(const DateComponents &components, const QDateTime &date) const;

    // The day's ordinal in its year, 1 for the first day; 0 for a missing date.
    qint64 ordinalityOfDayInYear(const QDateTime &date) const;
    // The length of the range of days in the date's month; 0 for a missing date.
    qint64 numberOfDaysInMonth(const QDateTime &date) const;
    // The maximum range of the weekday unit: (first value, length).
    std::pair<qint64, qint64> maximumRangeOfWeekday() const;

private:
    struct Impl;
    Calendar(QString identifier, bool followsLocale);
    Impl &synced() const;

    const QString m_identifier;
    const bool m_followsLocale;
    mutable std::mutex m_mutex;
    std::unique_ptr<Impl> d;
};

} // namespace kova::platform
