#include "dates/platform/Calendar.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <unicode/calendar.h>

#include "dates/platform/DateEnvironment.h"
#include "dates/platform/IcuSupport.h"

namespace kova::platform {
namespace {

// The platform's identifiers and the ICU calendar types they stand for.
const QHash<QString, const char *> &knownCalendars()
{
    static const QHash<QString, const char *> known{
        {QStringLiteral("gregorian"), "gregorian"},
        {QStringLiteral("buddhist"), "buddhist"},
        {QStringLiteral("chinese"), "chinese"},
        {QStringLiteral("coptic"), "coptic"},
        {QStringLiteral("dangi"), "dangi"},
        {QStringLiteral("ethiopic"), "ethiopic"},
        {QStringLiteral("ethiopic-amete-alem"), "ethiopic-amete-alem"},
        {QStringLiteral("hebrew"), "hebrew"},
        {QStringLiteral("indian"), "indian"},
        {QStringLiteral("islamic"), "islamic"},
        {QStringLiteral("islamic-civil"), "islamic-civil"},
        {QStringLiteral("islamic-tbla"), "islamic-tbla"},
        {QStringLiteral("islamic-umalqura"), "islamic-umalqura"},
        {QStringLiteral("iso8601"), "iso8601"},
        {QStringLiteral("japanese"), "japanese"},
        {QStringLiteral("persian"), "persian"},
        {QStringLiteral("republic-of-china"), "roc"},
    };
    return known;
}

constexpr double kMillisPerSecond = 1000.0;

bool fitsInt32(qint64 value)
{
    return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
}

// ICU reports a difference that does not fit in 32 bits as an error; such a
// difference is walked in large steps instead of being lost.
std::optional<qint64> fieldDifference(icu::Calendar &cal, double target, UCalendarDateFields field)
{
    constexpr int32_t kStep = 1 << 30;
    qint64 total = 0;
    for (int guard = 0; guard < 128; ++guard) {
        UErrorCode status = U_ZERO_ERROR;
        const double start = cal.getTime(status);
        const int32_t n = cal.fieldDifference(target, field, status);
        if (U_SUCCESS(status))
            return total + n;
        status = U_ZERO_ERROR;
        cal.setTime(start, status);
        const int32_t step = target > start ? kStep : -kStep;
        cal.add(field, step, status);
        const double moved = cal.getTime(status);
        if (U_FAILURE(status) || !IcuSupport::inRange(moved) || (step > 0) != (moved > start))
            return std::nullopt;
        total += step;
    }
    return std::nullopt;
}

// The largest count of a calendar field that can stay inside the window of
// dates ICU computes correctly; larger counts are refused up front.
qint64 maxCount(UCalendarDateFields field)
{
    switch (field) {
    case UCAL_YEAR: return 10'000'000;
    case UCAL_MONTH: return 120'000'000;
    case UCAL_WEEK_OF_YEAR: return 500'000'000;
    default: return 3'500'000'000;
    }
}

// Adds in steps that fit ICU's 32-bit counts, refusing a result that leaves
// the window or wraps around.
bool addField(icu::Calendar &cal, UCalendarDateFields field, qint64 count)
{
    if (count == 0)
        return true;
    if (count > maxCount(field) || count < -maxCount(field))
        return false;
    constexpr qint64 kStep = 1 << 30;
    while (count != 0) {
        const qint64 step = std::clamp(count, -kStep, kStep);
        UErrorCode status = U_ZERO_ERROR;
        const double before = cal.getTime(status);
        cal.add(field, int32_t(step), status);
        const double after = cal.getTime(status);
        if (U_FAILURE(status) || !IcuSupport::inRange(after) || (step > 0 ? after < before : after > before))
            return false;
        count -= step;
    }
    return true;
}

} // namespace

struct Calendar::Impl {
    std::unique_ptr<icu::Calendar> cal;
    quint64 generation = 0;
};

std::shared_ptr<Calendar> Calendar::calendarWithIdentifier(const QString &identifier)
{
    return std::shared_ptr<Calendar>(new Calendar(identifier, false));
}

std::shared_ptr<Calendar> Calendar::currentCalendar()
{
    thread_local const std::shared_ptr<Calendar> current(new Calendar(QString(), true));
    return current;
}

Calendar::Calendar(QString identifier, bool followsLocale)
    : m_identifier(std::move(identifier)), m_followsLocale(followsLocale), d(std::make_unique<Impl>())
{
}

Calendar::~Calendar() = default;

Calendar::Impl &Calendar::synced() const
{
    // The generation is read before the defaults it describes, so a change
    // made meanwhile is picked up on the next call at the latest.
    const quint64 generation = DateEnvironment::generation();
    if (d->cal && d->generation == generation)
        return *d;
    icu::Locale locale = IcuSupport::locale(DateEnvironment::currentLocale());
    UErrorCode status = U_ZERO_ERROR;
    if (!m_followsLocale) {
        const char *type = knownCalendars().value(m_identifier, "gregorian");
        locale.setKeywordValue("calendar", type, status);
        status = U_ZERO_ERROR;
    }
    std::unique_ptr<icu::Calendar> cal(
        icu::Calendar::createInstance(IcuSupport::timeZone(DateEnvironment::systemTimeZone()).release(), locale, status));
    if (U_FAILURE(status) || !cal) {
        status = U_ZERO_ERROR;
        cal.reset(icu::Calendar::createInstance(icu::TimeZone::getGMT()->clone(), icu::Locale("en_US_POSIX@calendar=gregorian"), status));
    }
    d->cal = std::move(cal);
    d->generation = generation;
    return *d;
}

QString Calendar::calendarIdentifier() const
{
    if (!m_followsLocale)
        return m_identifier;
    std::lock_guard lock(m_mutex);
    const QString type = QString::fromLatin1(synced().cal->getType());
    return type == QLatin1String("roc") ? QStringLiteral("republic-of-china") : type;
}

DateComponents Calendar::components(CalendarUnits units, const QDateTime &date) const
{
    DateComponents result;
    const auto millis = IcuSupport::toMillis(date);
    if (!millis)
        return result;
    std::lock_guard lock(m_mutex);
    icu::Calendar &cal = *synced().cal;
    UErrorCode status = U_ZERO_ERROR;
    cal.setTime(*millis, status);
    auto read = [&](UCalendarDateFields field) { return qint64(cal.get(field, status)); };
    if (units & CalendarUnit::Era)
        result.era = read(UCAL_ERA);
    if (units & CalendarUnit::Year)
        result.year = read(UCAL_YEAR);
    if (units & CalendarUnit::Month)
        result.month = read(UCAL_MONTH) + 1;
    if (units & CalendarUnit::Day)
        result.day = read(UCAL_DATE);
    if (units & CalendarUnit::Hour)
        result.hour = read(UCAL_HOUR_OF_DAY);
    if (units & CalendarUnit::Minute)
        result.minute = read(UCAL_MINUTE);
    if (units & CalendarUnit::Second)
        result.second = read(UCAL_SECOND);
    if (units & CalendarUnit::Weekday)
        result.weekday = read(UCAL_DAY_OF_WEEK);
    if (units & CalendarUnit::WeekdayOrdinal)
        result.weekdayOrdinal = read(UCAL_DAY_OF_WEEK_IN_MONTH);
    if (units & CalendarUnit::Quarter)
        result.quarter = read(UCAL_MONTH) / 3 + 1;
    if (units & CalendarUnit::WeekOfMonth)
        result.weekOfMonth = read(UCAL_WEEK_OF_MONTH);
    if (units & CalendarUnit::WeekOfYear)
        result.weekOfYear = read(UCAL_WEEK_OF_YEAR);
    if (units & CalendarUnit::YearForWeekOfYear)
        result.yearForWeekOfYear = read(UCAL_YEAR_WOY);
    if (U_FAILURE(status))
        return DateComponents();
    return result;
}

DateComponents Calendar::components(CalendarUnits units, const QDateTime &from, const QDateTime &to) const
{
    DateComponents result;
    const auto start = IcuSupport::toMillis(from);
    const auto end = IcuSupport::toMillis(to);
    if (!start || !end)
        return result;
    std::lock_guard lock(m_mutex);
    icu::Calendar &cal = *synced().cal;
    UErrorCode status = U_ZERO_ERROR;
    cal.setTime(*start, status);
    if (U_FAILURE(status))
        return result;
    // Largest unit first: each difference advances the calendar, and the
    // smaller units count what remains.
    bool ok = true;
    auto take = [&](CalendarUnits wanted, UCalendarDateFields field, std::optional<qint64> &into) {
        if (!ok || !(units & wanted))
            return;
        into = fieldDifference(cal, *end, field);
        ok = into.has_value();
    };
    if (units & CalendarUnit::Era) {
        // ICU cannot step eras, so their difference is read off the two dates.
        const int32_t startEra = cal.get(UCAL_ERA, status);
        cal.setTime(*end, status);
        const int32_t endEra = cal.get(UCAL_ERA, status);
        cal.setTime(*start, status);
        if (U_FAILURE(status))
            return DateComponents();
        result.era = qint64(endEra) - startEra;
    }
    take(CalendarUnit::Year, UCAL_YEAR, result.year);
    take(CalendarUnit::Month, UCAL_MONTH, result.month);
    if (units & CalendarUnit::WeekOfYear)
        take(CalendarUnit::WeekOfYear, UCAL_WEEK_OF_YEAR, result.weekOfYear);
    else
        take(CalendarUnit::WeekOfMonth, UCAL_WEEK_OF_MONTH, result.weekOfMonth);
    take(CalendarUnit::Day, UCAL_DATE, result.day);
    take(CalendarUnit::Hour, UCAL_HOUR_OF_DAY, result.hour);
    take(CalendarUnit::Minute, UCAL_MINUTE, result.minute);
    take(CalendarUnit::Second, UCAL_SECOND, result.second);
    if (!ok)
        return DateComponents();
    return result;
}

QDateTime Calendar::dateFromComponents(const DateComponents &components) const
{
    const std::array<std::pair<const std::optional<qint64> *, UCalendarDateFields>, 7> fields{{
        {&components.era, UCAL_ERA},
        {&components.year, UCAL_YEAR},
        {&components.month, UCAL_MONTH},
        {&components.day, UCAL_DATE},
        {&components.hour, UCAL_HOUR_OF_DAY},
        {&components.minute, UCAL_MINUTE},
        {&components.second, UCAL_SECOND},
    }};
    for (const auto &[value, field] : fields)
        if (value->has_value() && !fitsInt32(**value))
            return QDateTime();
    std::lock_guard lock(m_mutex);
    icu::Calendar &cal = *synced().cal;
    cal.clear();
    for (const auto &[value, field] : fields)
        if (value->has_value())
            cal.set(field, int32_t(field == UCAL_MONTH ? **value - 1 : **value));
    UErrorCode status = U_ZERO_ERROR;
    const double millis = cal.getTime(status);
    if (U_FAILURE(status))
        return QDateTime();
    return IcuSupport::fromMillis(millis);
}

QDateTime Calendar::dateByAddingComponents(const DateComponents &components, const QDateTime &date) const
{
    const auto millis = IcuSupport::toMillis(date);
    if (!millis)
        return QDateTime();
    std::lock_guard lock(m_mutex);
    icu::Calendar &cal = *synced().cal;
    UErrorCode status = U_ZERO_ERROR;
    cal.setTime(*millis, status);
    auto add = [&](const std::optional<qint64> &count, UCalendarDateFields field) {
        return !count || addField(cal, field, *count);
    };
    if (!add(components.year, UCAL_YEAR) || !add(components.month, UCAL_MONTH)
        || !add(components.weekOfYear, UCAL_WEEK_OF_YEAR) || !add(components.weekOfMonth, UCAL_WEEK_OF_YEAR)
        || !add(components.day, UCAL_DATE))
        return QDateTime();
    double result = cal.getTime(status);
    if (U_FAILURE(status))
        return QDateTime();
    // ICU adds hours, minutes and seconds as exact elapsed time; doing the
    // same here needs no 32-bit steps.
    for (const auto &[count, seconds] : {std::pair{components.hour, 3600.0}, std::pair{components.minute, 60.0},
                                         std::pair{components.second, 1.0}}) {
        if (!count)
            continue;
        const double delta = double(*count) * seconds * kMillisPerSecond;
        if (!std::isfinite(delta) || std::fabs(delta) > 2 * IcuSupport::kMaxMillis)
            return QDateTime();
        result += delta;
        if (!IcuSupport::inRange(result))
            return QDateTime();
    }
    return IcuSupport::fromMillis(result);
}

qint64 Calendar::ordinalityOfDayInYear(const QDateTime &date) const
{
    const auto millis = IcuSupport::toMillis(date);
    if (!millis)
        return 0;
    std::lock_guard lock(m_mutex);
    icu::Calendar &cal = *synced().cal;
    UErrorCode status = U_ZERO_ERROR;
    cal.setTime(*millis, status);
    const int32_t day = cal.get(UCAL_DAY_OF_YEAR, status);
    return U_SUCCESS(status) ? day : 0;
}

qint64 Calendar::numberOfDaysInMonth(const QDateTime &date) const
{
    const auto millis = IcuSupport::toMillis(date);
    if (!millis)
        return 0;
    std::lock_guard lock(m_mutex);
    icu::Calendar &cal = *synced().cal;
    UErrorCode status = U_ZERO_ERROR;
    cal.setTime(*millis, status);
    const int32_t last = cal.getActualMaximum(UCAL_DATE, status);
    const int32_t first = cal.getActualMinimum(UCAL_DATE, status);
    return U_SUCCESS(status) ? qint64(last) - first + 1 : 0;
}

std::pair<qint64, qint64> Calendar::maximumRangeOfWeekday() const
{
    std::lock_guard lock(m_mutex);
    icu::Calendar &cal = *synced().cal;
    const qint64 first = cal.getMinimum(UCAL_DAY_OF_WEEK);
    return {first, qint64(cal.getMaximum(UCAL_DAY_OF_WEEK)) - first + 1};
}

} // namespace kova::platform
