#include "dates/KovaDates.h"

#include <QtNumeric>
#include <cmath>
#include <limits>
#include <mutex>

#include "dates/platform/DateEnvironment.h"
#include "platform/foundation/Bundle.h"

namespace kova {
namespace {

using platform::Calendar;
using platform::CalendarUnit;
using platform::DateComponents;
using platform::DateEnvironment;
using platform::DateFormatter;

const QString kTable = QStringLiteral("KovaDates");
const QString kBundleName = QStringLiteral("KovaDates.bundle");

// --- Texts ---

// Without the bundle or its table the English key is the text.
QString lookup(const QString &key)
{
    const auto bundle = platform::Bundle::framework()->nestedBundle(kBundleName);
    if (!bundle)
        return key;
    const QString text = bundle->localizedString(key, QString(), kTable);
    return text.isNull() ? key : text;
}

// Builds a key from one of our templates: "%%" is a percent sign and "%@"
// the suffix; anything else is kept as it is.
QString fillTemplate(const QString &format, const QString &suffix)
{
    QString key;
    key.reserve(format.size() + suffix.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'%' && i + 1 < format.size()) {
            const QChar next = format.at(i + 1);
            if (next == u'%') {
                key += u'%';
                ++i;
                continue;
            }
            if (next == u'@') {
                key += suffix;
                ++i;
                continue;
            }
        }
        key += c;
    }
    return key;
}

// Puts the value into a looked-up text. Texts come from translators, so
// they are never a printf format: only "%d" (the value) and "%%" (a percent
// sign) mean anything; "%@", "%n", "%s" and the rest stay literal.
QString fillValue(const QString &text, qint64 value)
{
    const QString number = QString::number(value);
    QString result;
    result.reserve(text.size() + number.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'%' && i + 1 < text.size()) {
            const QChar next = text.at(i + 1);
            if (next == u'd') {
                result += number;
                ++i;
                continue;
            }
            if (next == u'%') {
                result += u'%';
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}

QString weekdayAbbreviation(const QDateTime &date)
{
    // One formatter per thread: the weekday form may be asked for from any
    // thread, and a formatter is costly to build per call.
    thread_local DateFormatter formatter;
    thread_local bool configured = false;
    if (!configured) {
        formatter.setDateFormat(QStringLiteral("EEE"));
        configured = true;
    }
    return formatter.stringFromDate(date);
}

// --- The implicit calendar and the shared formatters ---

struct ImplicitCalendar {
    std::mutex mutex;
    QString identifier = platform::NSCalendarIdentifierGregorian;
    std::shared_ptr<Calendar> calendar;
};

ImplicitCalendar &implicitState()
{
    static ImplicitCalendar state;
    return state;
}

struct SharedFormatter {
    std::mutex mutex;
    DateFormatter formatter;
};

SharedFormatter &parseFormatter()
{
    static SharedFormatter shared;
    return shared;
}

SharedFormatter &styleFormatter()
{
    static SharedFormatter shared;
    return shared;
}

SharedFormatter &formatFormatter()
{
    static SharedFormatter shared;
    return shared;
}

const std::shared_ptr<Calendar> &orImplicit(const std::shared_ptr<Calendar> &calendar, std::shared_ptr<Calendar> &holder)
{
    if (calendar)
        return calendar;
    holder = KovaDates::implicitCalendar();
    return holder;
}

bool isMissing(const QDateTime &date)
{
    return !date.isValid();
}

// The start of the date's calendar day, from its era, year, month and day.
QDateTime normalised(const std::shared_ptr<Calendar> &calendar, const QDateTime &date)
{
    const DateComponents parts = calendar->components(CalendarUnit::Era | CalendarUnit::Year | CalendarUnit::Month | CalendarUnit::Day, date);
    if (!parts.year)
        return QDateTime();
    DateComponents day;
    day.era = parts.era;
    day.year = parts.year;
    day.month = parts.month;
    day.day = parts.day;
    return calendar->dateFromComponents(day);
}

QDateTime addOne(const QDateTime &date, std::optional<qint64> DateComponents::*field, qint64 count)
{
    if (isMissing(date))
        return QDateTime();
    DateComponents components;
    components.*field = count;
    return KovaDates::implicitCalendar()->dateByAddingComponents(components, date);
}

QDateTime subtractOne(const QDateTime &date, std::optional<qint64> DateComponents::*field, qint64 count)
{
    // The negation of the smallest count does not exist; no date can be
    // that far away anyway.
    if (count == std::numeric_limits<qint64>::min())
        return QDateTime();
    return addOne(date, field, -count);
}

// The signed difference in one unit, counted from the earlier date.
qint64 signedDifference(const QDateTime &date, const QDateTime &other, const std::shared_ptr<Calendar> &given,
                        platform::CalendarUnits units, qint64 (*pick)(const DateComponents &))
{
    if (isMissing(date) || isMissing(other))
        return 0;
    std::shared_ptr<Calendar> holder;
    const auto &calendar = orImplicit(given, holder);
    const bool dateIsEarlier = date.toMSecsSinceEpoch() <= other.toMSecsSinceEpoch();
    const QDateTime &earlier = dateIsEarlier ? date : other;
    const QDateTime &later = dateIsEarlier ? other : date;
    const qint64 magnitude = pick(calendar->components(units, earlier, later));
    return dateIsEarlier ? -magnitude : magnitude;
}

template <typename T>
T earlierPart(T signedValue)
{
    return signedValue < 0 ? -signedValue : T(0);
}

template <typename T>
T laterPart(T signedValue)
{
    return signedValue >= 0 ? signedValue : T(0);
}

} // namespace

// ---------------------------------------------------------------- time ago

QString KovaDates::timeAgoSinceDate(const QDateTime &date)
{
    return timeAgoSinceDate(date, DateEnvironment::now());
}

QString KovaDates::shortTimeAgoSinceDate(const QDateTime &date)
{
    return shortTimeAgoSinceDate(date, DateEnvironment::now());
}

QString KovaDates::weekTimeAgoSinceDate(const QDateTime &date)
{
    return weekTimeAgoSinceDate(date, DateEnvironment::now());
}

QString KovaDates::timeAgoSinceNow(const QDateTime &date)
{
    return timeAgoSinceDate(date, DateEnvironment::now());
}

QString KovaDates::shortTimeAgoSinceNow(const QDateTime &date)
{
    return shortTimeAgoSinceDate(date, DateEnvironment::now());
}

QString KovaDates::weekTimeAgoSinceNow(const QDateTime &date)
{
    return weekTimeAgoSinceDate(date, DateEnvironment::now());
}

QString KovaDates::timeAgoSinceDate(const QDateTime &date, const QDateTime &other)
{
    return timeAgoSinceDate(date, other, false);
}

QString KovaDates::timeAgoSinceDate(const QDateTime &date, const QDateTime &other, bool numericDates)
{
    return timeAgoSinceDate(date, other, numericDates, false);
}

QString KovaDates::timeAgoSinceDate(const QDateTime &date, const QDateTime &other, bool numericDates, bool numericTimes)
{
    KDTimeAgoStyle style = KDTimeAgoStyle::Words;
    if (numericDates && numericTimes)
        style = KDTimeAgoStyle::Numeric;
    else if (numericDates)
        style = KDTimeAgoStyle::NumericDates;
    else if (numericTimes)
        style = KDTimeAgoStyle::NumericTimes;
    return timeAgoSinceDate(date, other, style);
}

QString KovaDates::shortTimeAgoSinceDate(const QDateTime &date, const QDateTime &other)
{
    return timeAgoSinceDate(date, other, KDTimeAgoStyle::Short);
}

QString KovaDates::weekTimeAgoSinceDate(const QDateTime &date, const QDateTime &other)
{
    return timeAgoSinceDate(date, other, KDTimeAgoStyle::Weekday);
}

QString KovaDates::timeAgoSinceDate(const QDateTime &date, const QDateTime &other, KDTimeAgoStyle format)
{
    if (isMissing(date) || isMissing(other))
        return QString();
    const std::shared_ptr<Calendar> calendar = Calendar::currentCalendar();
    const bool dateIsEarlier = date.toMSecsSinceEpoch() <= other.toMSecsSinceEpoch();
    const QDateTime &earlier = dateIsEarlier ? date : other;
    const QDateTime &later = dateIsEarlier ? other : date;

    const DateComponents elapsed = calendar->components(CalendarUnit::Hour | CalendarUnit::Minute | CalendarUnit::Second, earlier, later);
    if (!elapsed.hour)
        return QString();
    KDTimeAgoUnit unit;
    qint64 value;
    if (*elapsed.hour >= 24) {
        // Whole calendar days between the two day starts, so that 25 hours
        // across one midnight is one day and across two midnights two.
        // The era too: without it a day before year 1 would start in the year
        // of the same number after it.
        const platform::CalendarUnits dayParts = CalendarUnit::Era | CalendarUnit::Year | CalendarUnit::Month | CalendarUnit::Day;
        auto dayStart = [&](const QDateTime &moment) {
            const DateComponents parts = calendar->components(dayParts, moment);
            DateComponents start;
            start.era = parts.era;
            start.year = parts.year;
            start.month = parts.month;
            start.day = parts.day;
            return calendar->dateFromComponents(start);
        };
        const DateComponents days = calendar->components(
            CalendarUnit::Year | CalendarUnit::Month | CalendarUnit::WeekOfYear | CalendarUnit::Day, dayStart(earlier), dayStart(later));
        if (!days.year)
            return QString();
        if (*days.year >= 1) {
            unit = KDTimeAgoUnit::Year;
            value = *days.year;
        } else if (*days.month >= 1) {
            unit = KDTimeAgoUnit::Month;
            value = *days.month;
        } else if (*days.weekOfYear >= 1) {
            unit = KDTimeAgoUnit::Week;
            value = *days.weekOfYear;
        } else {
            unit = KDTimeAgoUnit::Day;
            value = *days.day;
        }
    } else if (*elapsed.hour >= 1) {
        unit = KDTimeAgoUnit::Hour;
        value = *elapsed.hour;
    } else if (*elapsed.minute >= 1) {
        unit = KDTimeAgoUnit::Minute;
        value = *elapsed.minute;
    } else {
        unit = KDTimeAgoUnit::Second;
        value = *elapsed.second;
    }
    return localizedStringFor(date, format, unit, value);
}

QString KovaDates::localizedStringFor(const QDateTime &date, KDTimeAgoStyle style, KDTimeAgoUnit unit, qint64 value)
{
    const bool isShort = style == KDTimeAgoStyle::Short;
    const bool isPlural = value >= 2;
    const bool numericDates = style == KDTimeAgoStyle::Numeric || style == KDTimeAgoStyle::NumericDates;
    const bool numericTimes = style == KDTimeAgoStyle::Numeric || style == KDTimeAgoStyle::NumericTimes;

    struct Wording {
        const char *shortTemplate;
        const char *pluralTemplate;
        const char *numeric;
        const char *words;
        bool isDate;
    };
    static constexpr Wording kWordings[] = {
        {"%%d%@y", "%%d %@years ago", "1 year ago", "Last year", true},
        {"%%d%@M", "%%d %@months ago", "1 month ago", "Last month", true},
        {"%%d%@w", "%%d %@weeks ago", "1 week ago", "Last week", true},
        {"%%d%@d", "%%d %@days ago", "1 day ago", "Yesterday", true},
        {"%%d%@h", "%%d %@hours ago", "1 hour ago", "An hour ago", false},
        {"%%d%@m", "%%d %@minutes ago", "1 minute ago", "A minute ago", false},
        {"%%d%@s", "%%d %@seconds ago", "1 second ago", "Just now", false},
    };
    const int code = int(unit);
    if (code < 0 || code > 6)
        return QString();
    const Wording &wording = kWordings[code];
    if (isShort)
        return logicLocalizedStringFromFormat(QString::fromLatin1(wording.shortTemplate), value);
    if (isPlural) {
        if (unit == KDTimeAgoUnit::Day && style == KDTimeAgoStyle::Weekday && value <= 7)
            return lookup(weekdayAbbreviation(date));
        return logicLocalizedStringFromFormat(QString::fromLatin1(wording.pluralTemplate), value);
    }
    const bool numeric = wording.isDate ? numericDates : numericTimes;
    return lookup(QString::fromLatin1(numeric ? wording.numeric : wording.words));
}

QString KovaDates::logicLocalizedStringFromFormat(const QString &format, qint64 value)
{
    const QString key = fillTemplate(format, getLocaleFormatUnderscoresWithValue(double(value)));
    return fillValue(lookup(key), value);
}

QString KovaDates::getLocaleFormatUnderscoresWithValue(double value)
{
    const QStringList languages = platform::Bundle::preferredLanguages();
    if (languages.isEmpty())
        return QString();
    const QString &language = languages.first();
    if (language != QLatin1String("ru-RU") && language != QLatin1String("uk"))
        return QString();
    // fmod keeps the sign and copes with values beyond 64 bits; NaN matches
    // nothing and takes the empty suffix.
    const double n = std::floor(value);
    const double lastDigit = std::fmod(n, 10.0);
    const double lastTwo = std::fmod(n, 100.0);
    if (lastDigit == 1 && lastTwo != 11)
        return QStringLiteral("__");
    if (lastDigit >= 2 && lastDigit <= 4 && (lastTwo < 12 || lastTwo > 14))
        return QStringLiteral("_");
    return QString();
}

// -------------------------------------------------------------- components

qint64 KovaDates::era(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::Era, nullptr); }
qint64 KovaDates::year(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::Year, nullptr); }
qint64 KovaDates::month(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::Month, nullptr); }
qint64 KovaDates::day(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::Day, nullptr); }
qint64 KovaDates::hour(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::Hour, nullptr); }
qint64 KovaDates::minute(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::Minute, nullptr); }
qint64 KovaDates::second(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::Second, nullptr); }
qint64 KovaDates::weekday(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::Weekday, nullptr); }
qint64 KovaDates::weekdayOrdinal(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::WeekdayOrdinal, nullptr); }
qint64 KovaDates::quarter(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::Quarter, nullptr); }
qint64 KovaDates::weekOfMonth(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::WeekOfMonth, nullptr); }
qint64 KovaDates::weekOfYear(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::WeekOfYear, nullptr); }
qint64 KovaDates::yearForWeekOfYear(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::YearForWeekOfYear, nullptr); }
qint64 KovaDates::dayOfYear(const QDateTime &date) { return componentForDate(date, KDDateComponentKind::DayOfYear, nullptr); }

qint64 KovaDates::daysInMonth(const QDateTime &date)
{
    return Calendar::currentCalendar()->numberOfDaysInMonth(date);
}

qint64 KovaDates::daysInYear(const QDateTime &date)
{
    if (isMissing(date))
        return 365;
    // Counted in the implicit calendar itself: its year numbers need not be
    // the Gregorian ones (Buddhist 2567 is 2024, a leap year).
    const std::shared_ptr<Calendar> calendar = Calendar::currentCalendar();
    const DateComponents parts = calendar->components(CalendarUnit::Era | CalendarUnit::Year, date);
    if (!parts.year)
        return 365;
    DateComponents first;
    first.era = parts.era;
    first.year = parts.year;
    first.month = 1;
    first.day = 1;
    const QDateTime start = calendar->dateFromComponents(first);
    DateComponents oneYear;
    oneYear.year = 1;
    const DateComponents days = calendar->components(CalendarUnit::Day, start, calendar->dateByAddingComponents(oneYear, start));
    return days.day.value_or(365);
}

bool KovaDates::isInLeapYear(const QDateTime &date)
{
    // A year with a day more than a common year of 365.
    return daysInYear(date) > 365;
}

bool KovaDates::isToday(const QDateTime &date)
{
    return isSameDay(date, DateEnvironment::now());
}

bool KovaDates::isTomorrow(const QDateTime &date)
{
    return isSameDay(date, dateByAddingDays(DateEnvironment::now(), 1));
}

bool KovaDates::isYesterday(const QDateTime &date)
{
    return isSameDay(date, dateBySubtractingDays(DateEnvironment::now(), 1));
}

bool KovaDates::isWeekend(const QDateTime &date)
{
    if (isMissing(date))
        return false;
    const auto calendar = Calendar::currentCalendar();
    const auto [first, length] = calendar->maximumRangeOfWeekday();
    const std::optional<qint64> day = calendar->components(CalendarUnit::Weekday, date).weekday;
    return day && (*day == first || *day == length);
}

bool KovaDates::isSameDay(const QDateTime &date, const QDateTime &asDate)
{
    if (isMissing(date) || isMissing(asDate))
        return false;
    const auto calendar = Calendar::currentCalendar();
    const QDateTime a = normalised(calendar, date);
    const QDateTime b = normalised(calendar, asDate);
    return a.isValid() && a == b;
}

qint64 KovaDates::eraWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::Era, calendar); }
qint64 KovaDates::yearWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::Year, calendar); }
qint64 KovaDates::monthWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::Month, calendar); }
qint64 KovaDates::dayWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::Day, calendar); }
qint64 KovaDates::hourWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::Hour, calendar); }
qint64 KovaDates::minuteWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::Minute, calendar); }
qint64 KovaDates::secondWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::Second, calendar); }
qint64 KovaDates::weekdayWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::Weekday, calendar); }
qint64 KovaDates::weekdayOrdinalWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::WeekdayOrdinal, calendar); }
qint64 KovaDates::quarterWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::Quarter, calendar); }
qint64 KovaDates::weekOfMonthWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::WeekOfMonth, calendar); }
qint64 KovaDates::weekOfYearWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::WeekOfYear, calendar); }
qint64 KovaDates::yearForWeekOfYearWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::YearForWeekOfYear, calendar); }
qint64 KovaDates::dayOfYearWithCalendar(const QDateTime &date, const CalendarPtr &calendar) { return componentForDate(date, KDDateComponentKind::DayOfYear, calendar); }

qint64 KovaDates::componentForDate(const QDateTime &date, KDDateComponentKind type, const CalendarPtr &given)
{
    if (isMissing(date))
        return 0;
    std::shared_ptr<Calendar> holder;
    const auto &calendar = orImplicit(given, holder);
    switch (type) {
    case KDDateComponentKind::Era: return calendar->components(CalendarUnit::Era, date).era.value_or(0);
    case KDDateComponentKind::Year: return calendar->components(CalendarUnit::Year, date).year.value_or(0);
    case KDDateComponentKind::Month: return calendar->components(CalendarUnit::Month, date).month.value_or(0);
    case KDDateComponentKind::Day: return calendar->components(CalendarUnit::Day, date).day.value_or(0);
    case KDDateComponentKind::Hour: return calendar->components(CalendarUnit::Hour, date).hour.value_or(0);
    case KDDateComponentKind::Minute: return calendar->components(CalendarUnit::Minute, date).minute.value_or(0);
    case KDDateComponentKind::Second: return calendar->components(CalendarUnit::Second, date).second.value_or(0);
    case KDDateComponentKind::Weekday: return calendar->components(CalendarUnit::Weekday, date).weekday.value_or(0);
    case KDDateComponentKind::WeekdayOrdinal: return calendar->components(CalendarUnit::WeekdayOrdinal, date).weekdayOrdinal.value_or(0);
    case KDDateComponentKind::Quarter: return calendar->components(CalendarUnit::Quarter, date).quarter.value_or(0);
    case KDDateComponentKind::WeekOfMonth: return calendar->components(CalendarUnit::WeekOfMonth, date).weekOfMonth.value_or(0);
    case KDDateComponentKind::WeekOfYear: return calendar->components(CalendarUnit::WeekOfYear, date).weekOfYear.value_or(0);
    case KDDateComponentKind::YearForWeekOfYear: return calendar->components(CalendarUnit::YearForWeekOfYear, date).yearForWeekOfYear.value_or(0);
    case KDDateComponentKind::DayOfYear: return calendar->ordinalityOfDayInYear(date);
    }
    return 0;
}

// -------------------------------------------------------------- arithmetic

QDateTime KovaDates::dateByAddingYears(const QDateTime &date, qint64 years) { return addOne(date, &DateComponents::year, years); }
QDateTime KovaDates::dateByAddingMonths(const QDateTime &date, qint64 months) { return addOne(date, &DateComponents::month, months); }
QDateTime KovaDates::dateByAddingWeeks(const QDateTime &date, qint64 weeks) { return addOne(date, &DateComponents::weekOfYear, weeks); }
QDateTime KovaDates::dateByAddingDays(const QDateTime &date, qint64 days) { return addOne(date, &DateComponents::day, days); }
QDateTime KovaDates::dateByAddingHours(const QDateTime &date, qint64 hours) { return addOne(date, &DateComponents::hour, hours); }
QDateTime KovaDates::dateByAddingMinutes(const QDateTime &date, qint64 minutes) { return addOne(date, &DateComponents::minute, minutes); }
QDateTime KovaDates::dateByAddingSeconds(const QDateTime &date, qint64 seconds) { return addOne(date, &DateComponents::second, seconds); }
QDateTime KovaDates::dateBySubtractingYears(const QDateTime &date, qint64 years) { return subtractOne(date, &DateComponents::year, years); }
QDateTime KovaDates::dateBySubtractingMonths(const QDateTime &date, qint64 months) { return subtractOne(date, &DateComponents::month, months); }
QDateTime KovaDates::dateBySubtractingWeeks(const QDateTime &date, qint64 weeks) { return subtractOne(date, &DateComponents::weekOfYear, weeks); }
QDateTime KovaDates::dateBySubtractingDays(const QDateTime &date, qint64 days) { return subtractOne(date, &DateComponents::day, days); }
QDateTime KovaDates::dateBySubtractingHours(const QDateTime &date, qint64 hours) { return subtractOne(date, &DateComponents::hour, hours); }
QDateTime KovaDates::dateBySubtractingMinutes(const QDateTime &date, qint64 minutes) { return subtractOne(date, &DateComponents::minute, minutes); }
QDateTime KovaDates::dateBySubtractingSeconds(const QDateTime &date, qint64 seconds) { return subtractOne(date, &DateComponents::second, seconds); }

// ------------------------------------------------------------- differences

qint64 KovaDates::yearsFrom(const QDateTime &date, const QDateTime &other) { return yearsFrom(date, other, nullptr); }
qint64 KovaDates::monthsFrom(const QDateTime &date, const QDateTime &other) { return monthsFrom(date, other, nullptr); }
qint64 KovaDates::weeksFrom(const QDateTime &date, const QDateTime &other) { return weeksFrom(date, other, nullptr); }
qint64 KovaDates::daysFrom(const QDateTime &date, const QDateTime &other) { return daysFrom(date, other, nullptr); }

double KovaDates::secondsFrom(const QDateTime &date, const QDateTime &other)
{
    if (isMissing(date) || isMissing(other))
        return 0;
    // Exact in 64 bits unless the dates lie further apart than that holds.
    qint64 millis = 0;
    if (qSubOverflow(date.toMSecsSinceEpoch(), other.toMSecsSinceEpoch(), &millis))
        return (double(date.toMSecsSinceEpoch()) - double(other.toMSecsSinceEpoch())) / 1000.0;
    return double(millis) / 1000.0;
}

double KovaDates::minutesFrom(const QDateTime &date, const QDateTime &other)
{
    return secondsFrom(date, other) / double(SECONDS_IN_MINUTE);
}

double KovaDates::hoursFrom(const QDateTime &date, const QDateTime &other)
{
    return secondsFrom(date, other) / double(SECONDS_IN_HOUR);
}

qint64 KovaDates::yearsFrom(const QDateTime &date, const QDateTime &other, const CalendarPtr &calendar)
{
    return signedDifference(date, other, calendar, CalendarUnit::Year, [](const DateComponents &c) { return c.year.value_or(0); });
}

qint64 KovaDates::monthsFrom(const QDateTime &date, const QDateTime &other, const CalendarPtr &calendar)
{
    // Units smaller than the month cannot change the year and month counts,
    // so only those are computed.
    return signedDifference(date, other, calendar, CalendarUnit::Year | CalendarUnit::Month,
                            [](const DateComponents &c) { return c.month.value_or(0) + 12 * c.year.value_or(0); });
}

qint64 KovaDates::weeksFrom(const QDateTime &date, const QDateTime &other, const CalendarPtr &calendar)
{
    return signedDifference(date, other, calendar, CalendarUnit::WeekOfYear, [](const DateComponents &c) { return c.weekOfYear.value_or(0); });
}

qint64 KovaDates::daysFrom(const QDateTime &date, const QDateTime &other, const CalendarPtr &calendar)
{
    return signedDifference(date, other, calendar, CalendarUnit::Day, [](const DateComponents &c) { return c.day.value_or(0); });
}

qint64 KovaDates::yearsUntil(const QDateTime &date) { return yearsLaterThan(date, DateEnvironment::now()); }
qint64 KovaDates::monthsUntil(const QDateTime &date) { return monthsLaterThan(date, DateEnvironment::now()); }
qint64 KovaDates::weeksUntil(const QDateTime &date) { return weeksLaterThan(date, DateEnvironment::now()); }
qint64 KovaDates::daysUntil(const QDateTime &date) { return daysLaterThan(date, DateEnvironment::now()); }
double KovaDates::hoursUntil(const QDateTime &date) { return hoursLaterThan(date, DateEnvironment::now()); }
double KovaDates::minutesUntil(const QDateTime &date) { return minutesLaterThan(date, DateEnvironment::now()); }
double KovaDates::secondsUntil(const QDateTime &date) { return secondsLaterThan(date, DateEnvironment::now()); }
qint64 KovaDates::yearsAgo(const QDateTime &date) { return yearsEarlierThan(date, DateEnvironment::now()); }
qint64 KovaDates::monthsAgo(const QDateTime &date) { return monthsEarlierThan(date, DateEnvironment::now()); }
qint64 KovaDates::weeksAgo(const QDateTime &date) { return weeksEarlierThan(date, DateEnvironment::now()); }
qint64 KovaDates::daysAgo(const QDateTime &date) { return daysEarlierThan(date, DateEnvironment::now()); }
double KovaDates::hoursAgo(const QDateTime &date) { return hoursEarlierThan(date, DateEnvironment::now()); }
double KovaDates::minutesAgo(const QDateTime &date) { return minutesEarlierThan(date, DateEnvironment::now()); }
double KovaDates::secondsAgo(const QDateTime &date) { return secondsEarlierThan(date, DateEnvironment::now()); }

qint64 KovaDates::yearsEarlierThan(const QDateTime &date, const QDateTime &other) { return earlierPart(yearsFrom(date, other)); }
qint64 KovaDates::monthsEarlierThan(const QDateTime &date, const QDateTime &other) { return earlierPart(monthsFrom(date, other)); }
qint64 KovaDates::weeksEarlierThan(const QDateTime &date, const QDateTime &other) { return earlierPart(weeksFrom(date, other)); }
qint64 KovaDates::daysEarlierThan(const QDateTime &date, const QDateTime &other) { return earlierPart(daysFrom(date, other)); }
double KovaDates::hoursEarlierThan(const QDateTime &date, const QDateTime &other) { return earlierPart(hoursFrom(date, other)); }
double KovaDates::minutesEarlierThan(const QDateTime &date, const QDateTime &other) { return earlierPart(minutesFrom(date, other)); }
double KovaDates::secondsEarlierThan(const QDateTime &date, const QDateTime &other) { return earlierPart(secondsFrom(date, other)); }
qint64 KovaDates::yearsLaterThan(const QDateTime &date, const QDateTime &other) { return laterPart(yearsFrom(date, other)); }
qint64 KovaDates::monthsLaterThan(const QDateTime &date, const QDateTime &other) { return laterPart(monthsFrom(date, other)); }
qint64 KovaDates::weeksLaterThan(const QDateTime &date, const QDateTime &other) { return laterPart(weeksFrom(date, other)); }
qint64 KovaDates::daysLaterThan(const QDateTime &date, const QDateTime &other) { return laterPart(daysFrom(date, other)); }
double KovaDates::hoursLaterThan(const QDateTime &date, const QDateTime &other) { return laterPart(hoursFrom(date, other)); }
double KovaDates::minutesLaterThan(const QDateTime &date, const QDateTime &other) { return laterPart(minutesFrom(date, other)); }
double KovaDates::secondsLaterThan(const QDateTime &date, const QDateTime &other) { return laterPart(secondsFrom(date, other)); }

// ------------------------------------------------------------- comparisons

bool KovaDates::isEarlierThan(const QDateTime &date, const QDateTime &other)
{
    return !isMissing(date) && !isMissing(other) && other.toMSecsSinceEpoch() > date.toMSecsSinceEpoch();
}

bool KovaDates::isLaterThan(const QDateTime &date, const QDateTime &other)
{
    return !isMissing(date) && !isMissing(other) && date.toMSecsSinceEpoch() > other.toMSecsSinceEpoch();
}

bool KovaDates::isEarlierThanOrEqualTo(const QDateTime &date, const QDateTime &other)
{
    return !isMissing(date) && !isMissing(other) && other.toMSecsSinceEpoch() >= date.toMSecsSinceEpoch();
}

bool KovaDates::isLaterThanOrEqualTo(const QDateTime &date, const QDateTime &other)
{
    return !isMissing(date) && !isMissing(other) && date.toMSecsSinceEpoch() >= other.toMSecsSinceEpoch();
}

// -------------------------------------------------------------- formatting

QString KovaDates::formattedDateWithStyle(const QDateTime &date, platform::DateFormatterStyle style)
{
    return formattedDateWithStyle(date, style, DateEnvironment::systemTimeZone(), DateEnvironment::currentLocale());
}

QString KovaDates::formattedDateWithStyle(const QDateTime &date, platform::DateFormatterStyle style, const QTimeZone &timeZone)
{
    return formattedDateWithStyle(date, style, timeZone, DateEnvironment::currentLocale());
}

QString KovaDates::formattedDateWithStyle(const QDateTime &date, platform::DateFormatterStyle style, const QLocale &locale)
{
    return formattedDateWithStyle(date, style, DateEnvironment::systemTimeZone(), locale);
}

QString KovaDates::formattedDateWithStyle(const QDateTime &date, platform::DateFormatterStyle style, const QTimeZone &timeZone,
                                          const QLocale &locale)
{
    if (isMissing(date))
        return QString();
    SharedFormatter &shared = styleFormatter();
    std::lock_guard lock(shared.mutex);
    // The time style is never set: the text carries the date only.
    shared.formatter.setDateStyle(style);
    shared.formatter.setTimeZone(timeZone);
    shared.formatter.setLocale(locale);
    return shared.formatter.stringFromDate(date);
}

QString KovaDates::formattedDateWithFormat(const QDateTime &date, const QString &format)
{
    return formattedDateWithFormat(date, format, DateEnvironment::systemTimeZone(), DateEnvironment::currentLocale());
}

QString KovaDates::formattedDateWithFormat(const QDateTime &date, const QString &format, const QTimeZone &timeZone)
{
    return formattedDateWithFormat(date, format, timeZone, DateEnvironment::currentLocale());
}

QString KovaDates::formattedDateWithFormat(const QDateTime &date, const QString &format, const QLocale &locale)
{
    return formattedDateWithFormat(date, format, DateEnvironment::systemTimeZone(), locale);
}

QString KovaDates::formattedDateWithFormat(const QDateTime &date, const QString &format, const QTimeZone &timeZone,
                                           const QLocale &locale)
{
    if (isMissing(date))
        return QString();
    SharedFormatter &shared = formatFormatter();
    std::lock_guard lock(shared.mutex);
    shared.formatter.setDateFormat(format);
    shared.formatter.setTimeZone(timeZone);
    shared.formatter.setLocale(locale);
    return shared.formatter.stringFromDate(date);
}

// ------------------------------------------------------------ construction

QDateTime KovaDates::dateWithYear(qint64 year, qint64 month, qint64 day)
{
    return dateWithYear(year, month, day, 0, 0, 0);
}

QDateTime KovaDates::dateWithYear(qint64 year, qint64 month, qint64 day, qint64 hour, qint64 minute, qint64 second)
{
    DateComponents components;
    components.year = year;
    components.month = month;
    components.day = day;
    components.hour = hour;
    components.minute = minute;
    components.second = second;
    return implicitCalendar()->dateFromComponents(components);
}

QDateTime KovaDates::dateWithString(const QString &dateString, const QString &formatString)
{
    return dateWithString(dateString, formatString, DateEnvironment::systemTimeZone());
}

QDateTime KovaDates::dateWithString(const QString &dateString, const QString &formatString, const QTimeZone &timeZone)
{
    SharedFormatter &shared = parseFormatter();
    std::lock_guard lock(shared.mutex);
    shared.formatter.setDateStyle(platform::DateFormatterStyle::NoStyle);
    shared.formatter.setTimeStyle(platform::DateFormatterStyle::NoStyle);
    shared.formatter.setTimeZone(timeZone);
    shared.formatter.setDateFormat(formatString);
    return shared.formatter.dateFromString(dateString);
}

bool KovaDates::isLeapYear(qint64 year)
{
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

QString KovaDates::defaultCalendarIdentifier()
{
    ImplicitCalendar &state = implicitState();
    std::lock_guard lock(state.mutex);
    return state.identifier;
}

void KovaDates::setDefaultCalendarIdentifier(const QString &identifier)
{
    auto calendar = Calendar::calendarWithIdentifier(identifier.isNull() ? platform::NSCalendarIdentifierGregorian : identifier);
    // Stored as a copy of its own, like every text the shared state keeps.
    QString stored = identifier.isNull() ? QString() : QString(identifier.constData(), identifier.size());
    ImplicitCalendar &state = implicitState();
    std::lock_guard lock(state.mutex);
    state.identifier.swap(stored);
    state.calendar = std::move(calendar);
}

KovaDates::CalendarPtr KovaDates::implicitCalendar()
{
    ImplicitCalendar &state = implicitState();
    std::lock_guard lock(state.mutex);
    if (!state.calendar)
        state.calendar = Calendar::calendarWithIdentifier(state.identifier.isNull() ? platform::NSCalendarIdentifierGregorian : state.identifier);
    return state.calendar;
}

} // namespace kova
