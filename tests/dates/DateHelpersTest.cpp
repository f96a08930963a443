#include <limits>

#include "dates/KovaDates.h"
#include "dates/platform/DateEnvironment.h"
#include "tests/dates/DatesTestSupport.h"

namespace {

using kova::KDDateComponentKind;
using kova::KovaDates;
using kova::platform::Calendar;
using kova::platform::DateEnvironment;
using kova::platform::DateFormatterStyle;

constexpr qint64 kInt64Max = std::numeric_limits<qint64>::max();
constexpr qint64 kInt64Min = std::numeric_limits<qint64>::min();

class DateHelpers : public kova::test::DatesTest {
protected:
    static QList<qint64> allComponents(const QDateTime &date, const std::shared_ptr<Calendar> &calendar = nullptr)
    {
        QList<qint64> values;
        for (int code = 0; code <= 14; ++code)
            values << KovaDates::componentForDate(date, KDDateComponentKind(code), calendar);
        return values;
    }
};

TEST(DateConstants, SecondCounts)
{
    EXPECT_EQ(kova::SECONDS_IN_YEAR, 31556900);
    EXPECT_EQ(kova::SECONDS_IN_MONTH_28, 2419200);
    EXPECT_EQ(kova::SECONDS_IN_MONTH_29, 2505600);
    EXPECT_EQ(kova::SECONDS_IN_MONTH_30, 2592000);
    EXPECT_EQ(kova::SECONDS_IN_MONTH_31, 2678400);
    EXPECT_EQ(kova::SECONDS_IN_WEEK, 604800);
    EXPECT_EQ(kova::SECONDS_IN_DAY, 86400);
    EXPECT_EQ(kova::SECONDS_IN_HOUR, 3600);
    EXPECT_EQ(kova::SECONDS_IN_MINUTE, 60);
    EXPECT_EQ(kova::MILLISECONDS_IN_DAY, 86400000);
}

// ------------------------------------------------------------- components

TEST_F(DateHelpers, ComponentCodesOnYearEndDates)
{
    // era, year, month, day, hour, minute, second, weekday, weekday ordinal,
    // quarter, week of month, week of year, year for week of year, day of
    // year, and code 14 (none).
    EXPECT_EQ(allComponents(berlin(2024, 12, 31, 23, 59, 58)),
              (QList<qint64>{1, 2024, 12, 31, 23, 59, 58, 3, 5, 4, 5, 1, 2025, 366, 0}));
    EXPECT_EQ(allComponents(berlin(2023, 12, 31, 12, 0, 0)),
              (QList<qint64>{1, 2023, 12, 31, 12, 0, 0, 1, 5, 4, 6, 1, 2024, 365, 0}));
    EXPECT_EQ(allComponents(berlin(2023, 1, 1, 0, 0, 1)),
              (QList<qint64>{1, 2023, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 2023, 1, 0}));
    // ISO weeks start on Monday and need four days: 1 January 2027 (a
    // Friday) is in week 53 of 2026.
    const auto iso = Calendar::calendarWithIdentifier(kova::platform::NSCalendarIdentifierISO8601);
    EXPECT_EQ(KovaDates::weekOfYearWithCalendar(berlin(2027, 1, 1, 12), iso), 53);
    EXPECT_EQ(KovaDates::yearForWeekOfYearWithCalendar(berlin(2027, 1, 1, 12), iso), 2026);
    EXPECT_EQ(KovaDates::weekOfYear(berlin(2027, 1, 1, 12)), 1);
    EXPECT_EQ(KovaDates::yearForWeekOfYear(berlin(2027, 1, 1, 12)), 2027);
    // Components are read in the system time zone.
    EXPECT_EQ(KovaDates::year(utc(2024, 12, 31, 23, 30)), 2025);
    EXPECT_EQ(KovaDates::dayOfYear(utc(2024, 12, 31, 23, 30)), 1);
    EXPECT_EQ(KovaDates::hour(utc(2024, 6, 1, 10)), 12);
}

TEST_F(DateHelpers, EveryNamedComponentMatchesItsCode)
{
    const QDateTime date = berlin(2024, 8, 14, 7, 8, 9);
    const auto buddhist = Calendar::calendarWithIdentifier(kova::platform::NSCalendarIdentifierBuddhist);
    const QList<qint64> named{KovaDates::era(date), KovaDates::year(date), KovaDates::month(date), KovaDates::day(date),
                              KovaDates::hour(date), KovaDates::minute(date), KovaDates::second(date), KovaDates::weekday(date),
                              KovaDates::weekdayOrdinal(date), KovaDates::quarter(date), KovaDates::weekOfMonth(date),
                              KovaDates::weekOfYear(date), KovaDates::yearForWeekOfYear(date), KovaDates::dayOfYear(date)};
    EXPECT_EQ(named, (QList<qint64>{1, 2024, 8, 14, 7, 8, 9, 4, 2, 3, 3, 33, 2024, 227}));
    const QList<qint64> inBuddhist{
        KovaDates::eraWithCalendar(date, buddhist), KovaDates::yearWithCalendar(date, buddhist),
        KovaDates::monthWithCalendar(date, buddhist), KovaDates::dayWithCalendar(date, buddhist),
        KovaDates::hourWithCalendar(date, buddhist), KovaDates::minuteWithCalendar(date, buddhist),
        KovaDates::secondWithCalendar(date, buddhist), KovaDates::weekdayWithCalendar(date, buddhist),
        KovaDates::weekdayOrdinalWithCalendar(date, buddhist), KovaDates::quarterWithCalendar(date, buddhist),
        KovaDates::weekOfMonthWithCalendar(date, buddhist), KovaDates::weekOfYearWithCalendar(date, buddhist),
        KovaDates::yearForWeekOfYearWithCalendar(date, buddhist), KovaDates::dayOfYearWithCalendar(date, buddhist)};
    // ICU numbers the week-based year of the Buddhist calendar the Gregorian way.
    EXPECT_EQ(inBuddhist, (QList<qint64>{0, 2567, 8, 14, 7, 8, 9, 4, 2, 3, 3, 33, 2024, 227}));
    EXPECT_EQ(allComponents(QDateTime()), QList<qint64>(15, 0));
}

TEST_F(DateHelpers, LeapYearsAndMonthLengths)
{
    EXPECT_TRUE(KovaDates::isLeapYear(2024));
    EXPECT_TRUE(KovaDates::isLeapYear(2000));
    EXPECT_FALSE(KovaDates::isLeapYear(2023));
    EXPECT_FALSE(KovaDates::isLeapYear(1900));
    EXPECT_TRUE(KovaDates::isLeapYear(-4));
    EXPECT_EQ(KovaDates::daysInYear(berlin(2024, 3, 1)), 366);
    EXPECT_EQ(KovaDates::daysInYear(berlin(1900, 3, 1)), 365);
    EXPECT_TRUE(KovaDates::isInLeapYear(berlin(2000, 12, 31)));
    EXPECT_FALSE(KovaDates::isInLeapYear(QDateTime()));
    EXPECT_EQ(KovaDates::daysInMonth(berlin(2024, 2, 10)), 29);
    EXPECT_EQ(KovaDates::daysInMonth(berlin(2023, 2, 10)), 28);
    EXPECT_EQ(KovaDates::daysInMonth(berlin(2024, 4, 30)), 30);
    EXPECT_EQ(KovaDates::daysInMonth(QDateTime()), 0);
    EXPECT_EQ(KovaDates::dayOfYear(berlin(2024, 1, 1)), 1);
    EXPECT_EQ(KovaDates::dayOfYear(berlin(2024, 12, 31)), 366);
}

TEST_F(DateHelpers, DayPredicatesUseTheClockAndTheSystemZone)
{
    setNow(berlin(2024, 6, 15, 0, 30)); // a Saturday, 22:30 UTC the day before
    EXPECT_TRUE(KovaDates::isToday(berlin(2024, 6, 15, 23, 59)));
    EXPECT_TRUE(KovaDates::isToday(utc(2024, 6, 14, 22, 0)));
    EXPECT_FALSE(KovaDates::isToday(berlin(2024, 6, 14, 23, 59)));
    EXPECT_TRUE(KovaDates::isYesterday(berlin(2024, 6, 14, 0, 0)));
    EXPECT_TRUE(KovaDates::isTomorrow(berlin(2024, 6, 16, 23, 59)));
    EXPECT_FALSE(KovaDates::isTomorrow(berlin(2024, 6, 17, 0, 0)));
    EXPECT_TRUE(KovaDates::isSameDay(berlin(2024, 3, 31, 0, 0), berlin(2024, 3, 31, 23, 59)));
    EXPECT_FALSE(KovaDates::isSameDay(berlin(2024, 3, 31, 0, 0), QDateTime()));
    EXPECT_TRUE(KovaDates::isWeekend(berlin(2024, 6, 15, 12)));  // Saturday
    EXPECT_TRUE(KovaDates::isWeekend(berlin(2024, 6, 16, 12)));  // Sunday
    EXPECT_FALSE(KovaDates::isWeekend(berlin(2024, 6, 14, 12))); // Friday
    EXPECT_FALSE(KovaDates::isWeekend(berlin(2024, 6, 17, 12))); // Monday
    EXPECT_FALSE(KovaDates::isToday(QDateTime()));
}

TEST_F(DateHelpers, ImplicitCalendarIdentifier)
{
    EXPECT_EQ(KovaDates::defaultCalendarIdentifier(), "gregorian");
    EXPECT_EQ(KovaDates::implicitCalendar()->calendarIdentifier(), "gregorian");
    KovaDates::setDefaultCalendarIdentifier("buddhist");
    EXPECT_EQ(KovaDates::year(berlin(2024, 6, 1)), 2567);
    KovaDates::setDefaultCalendarIdentifier(QString());
    EXPECT_TRUE(KovaDates::defaultCalendarIdentifier().isNull());
    EXPECT_EQ(KovaDates::year(berlin(2024, 6, 1)), 2024);
    // An identifier nobody knows is kept, and computes as Gregorian even
    // where the locale's own calendar is another one.
    DateEnvironment::setCurrentLocaleOverride(QLocale(QLocale::Thai, QLocale::Thailand));
    KovaDates::setDefaultCalendarIdentifier("no-such-calendar");
    EXPECT_EQ(KovaDates::defaultCalendarIdentifier(), "no-such-calendar");
    EXPECT_EQ(KovaDates::implicitCalendar()->calendarIdentifier(), "no-such-calendar");
    EXPECT_EQ(KovaDates::year(berlin(2024, 6, 1)), 2024);
    EXPECT_EQ(Calendar::currentCalendar()->calendarIdentifier(), "buddhist");
    DateEnvironment::setCurrentLocaleOverride(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(Calendar::currentCalendar()->calendarIdentifier(), "gregorian");
}

TEST_F(DateHelpers, LeapYearsOfAnotherImplicitCalendar)
{
    // Buddhist 2567 is Gregorian 2024: it has a 29 February, so 366 days.
    KovaDates::setDefaultCalendarIdentifier("buddhist");
    const QDateTime leapDay = berlin(2024, 2, 29, 12);
    ASSERT_EQ(KovaDates::year(leapDay), 2567);
    ASSERT_EQ(KovaDates::dayOfYear(berlin(2024, 12, 31, 12)), 366);
    EXPECT_TRUE(KovaDates::isInLeapYear(leapDay));
    EXPECT_EQ(KovaDates::daysInYear(leapDay), 366);
    EXPECT_EQ(KovaDates::daysInYear(berlin(2023, 6, 1)), 365);
}

// ------------------------------------------------------------- arithmetic

TEST_F(DateHelpers, MonthEndArithmeticPinsToTheLastDay)
{
    EXPECT_EQ(KovaDates::dateByAddingMonths(berlin(2024, 1, 31, 10), 1), berlin(2024, 2, 29, 10));
    EXPECT_EQ(KovaDates::dateByAddingMonths(berlin(2023, 1, 31, 10), 1), berlin(2023, 2, 28, 10));
    EXPECT_EQ(KovaDates::dateByAddingMonths(berlin(2024, 1, 31, 10), 2), berlin(2024, 3, 31, 10));
    EXPECT_EQ(KovaDates::dateBySubtractingMonths(berlin(2024, 3, 31, 10), 1), berlin(2024, 2, 29, 10));
    EXPECT_EQ(KovaDates::dateBySubtractingMonths(berlin(2024, 3, 31, 10), 13), berlin(2023, 2, 28, 10));
    EXPECT_EQ(KovaDates::dateByAddingYears(berlin(2024, 2, 29), 1), berlin(2025, 2, 28));
    EXPECT_EQ(KovaDates::dateByAddingYears(berlin(2024, 2, 29), 4), berlin(2028, 2, 29));
    EXPECT_EQ(KovaDates::dateBySubtractingYears(berlin(2024, 2, 29), 1), berlin(2023, 2, 28));
    // Month by month is not the same as two months at once.
    EXPECT_EQ(KovaDates::dateByAddingMonths(KovaDates::dateByAddingMonths(berlin(2024, 1, 31), 1), 1), berlin(2024, 3, 29));
}

TEST_F(DateHelpers, CalendarUnitsKeepTheWallClockTimeUnitsDoNot)
{
    // Across the spring-forward night.
    EXPECT_EQ(KovaDates::dateByAddingDays(berlin(2024, 3, 30, 12), 1), berlin(2024, 3, 31, 12));
    EXPECT_EQ(KovaDates::dateByAddingWeeks(berlin(2024, 3, 28, 12), 1), berlin(2024, 4, 4, 12));
    EXPECT_EQ(KovaDates::dateBySubtractingWeeks(berlin(2024, 4, 4, 12), 2), berlin(2024, 3, 21, 12));
    EXPECT_EQ(KovaDates::dateByAddingHours(berlin(2024, 3, 31, 1, 30), 1), berlin(2024, 3, 31, 3, 30));
    EXPECT_EQ(KovaDates::dateByAddingHours(berlin(2024, 3, 30, 12), 24), berlin(2024, 3, 31, 13));
    EXPECT_EQ(KovaDates::dateByAddingMinutes(berlin(2024, 3, 31, 1, 59), 1), berlin(2024, 3, 31, 3, 0));
    EXPECT_EQ(KovaDates::dateBySubtractingSeconds(berlin(2024, 1, 1), 1), berlin(2023, 12, 31, 23, 59, 59));
    EXPECT_EQ(KovaDates::dateBySubtractingHours(berlin(2024, 1, 1), 2), berlin(2023, 12, 31, 22));
    EXPECT_EQ(KovaDates::dateBySubtractingMinutes(berlin(2024, 1, 1), 90), berlin(2023, 12, 31, 22, 30));
    EXPECT_EQ(KovaDates::dateBySubtractingDays(berlin(2024, 3, 1), 1), berlin(2024, 2, 29));
    // Milliseconds survive.
    EXPECT_EQ(KovaDates::dateByAddingDays(berlin(2024, 5, 1, 8, 0, 0, 250), 1), berlin(2024, 5, 2, 8, 0, 0, 250));
    EXPECT_FALSE(KovaDates::dateByAddingDays(QDateTime(), 1).isValid());
}

TEST_F(DateHelpers, CountsBeyondThirtyTwoBitsAreAppliedWholeOrRefused)
{
    const QDateTime epoch = utc(1970, 1, 1);
    EXPECT_EQ(KovaDates::dateByAddingSeconds(epoch, 3'000'000'000), QDateTime::fromSecsSinceEpoch(3'000'000'000, Qt::UTC));
    EXPECT_EQ(KovaDates::dateBySubtractingSeconds(epoch, 5'000'000'000), QDateTime::fromSecsSinceEpoch(-5'000'000'000, Qt::UTC));
    EXPECT_EQ(KovaDates::dateByAddingHours(epoch, qint64(1) << 33), epoch.addSecs((qint64(1) << 33) * 3600));
    EXPECT_EQ(KovaDates::dateByAddingMinutes(epoch, 3'000'000'000), epoch.addSecs(3'000'000'000LL * 60));
    // Days in more than one step, in UTC so that whole days are exact.
    DateEnvironment::setSystemTimeZoneOverride(QTimeZone::utc());
    const QDateTime ancient = KovaDates::dateWithYear(-2'000'000, 1, 1);
    ASSERT_TRUE(ancient.isValid());
    const QDateTime later = KovaDates::dateByAddingDays(ancient, 1'500'000'000);
    ASSERT_TRUE(later.isValid());
    EXPECT_EQ(later.toMSecsSinceEpoch() - ancient.toMSecsSinceEpoch(), 1'500'000'000LL * 86'400'000LL);
    EXPECT_EQ(KovaDates::daysFrom(later, ancient), 1'500'000'000);
    EXPECT_EQ(KovaDates::daysFrom(ancient, later), -1'500'000'000);
    EXPECT_EQ(KovaDates::hoursFrom(later, ancient), 36'000'000'000.0);
    DateEnvironment::setSystemTimeZoneOverride(QTimeZone("Europe/Berlin"));
    // Results the calendar cannot compute are no date, never a wrapped one.
    for (qint64 count : {kInt64Max, kInt64Min, qint64(6'000'000), qint64(10'000'001)})
        EXPECT_FALSE(KovaDates::dateByAddingYears(epoch, count).isValid()) << count;
    EXPECT_FALSE(KovaDates::dateBySubtractingYears(epoch, kInt64Min).isValid());
    EXPECT_FALSE(KovaDates::dateByAddingDays(epoch, kInt64Max).isValid());
    EXPECT_FALSE(KovaDates::dateByAddingMonths(epoch, qint64(1) << 40).isValid());
    EXPECT_FALSE(KovaDates::dateByAddingWeeks(epoch, -(qint64(1) << 40)).isValid());
    EXPECT_FALSE(KovaDates::dateByAddingSeconds(epoch, kInt64Max).isValid());
    EXPECT_FALSE(KovaDates::dateBySubtractingHours(epoch, kInt64Min).isValid());
    EXPECT_FALSE(KovaDates::dateByAddingDays(KovaDates::dateWithYear(4'000'000, 1, 1), 365 * 1'000'000).isValid());
    EXPECT_TRUE(KovaDates::dateByAddingYears(epoch, 4'000'000).isValid());
}

TEST_F(DateHelpers, DatesBeyondTheCalendarsRangeGiveNeutralAnswers)
{
    // QDateTime reaches far beyond what the calendar computes.
    const QDateTime farAhead = QDateTime::fromMSecsSinceEpoch(6'000'000'000'000'000'000, Qt::UTC);
    const QDateTime farBack = QDateTime::fromMSecsSinceEpoch(-6'000'000'000'000'000'000, Qt::UTC);
    ASSERT_TRUE(farAhead.isValid());
    ASSERT_TRUE(farBack.isValid());
    const QDateTime today = berlin(2024, 6, 15, 12);
    EXPECT_EQ(KovaDates::year(farAhead), 0);
    EXPECT_EQ(KovaDates::dayOfYear(farBack), 0);
    EXPECT_FALSE(KovaDates::dateByAddingDays(farAhead, 1).isValid());
    EXPECT_FALSE(KovaDates::dateBySubtractingSeconds(farBack, 1).isValid());
    EXPECT_EQ(KovaDates::yearsFrom(farAhead, today), 0);
    EXPECT_TRUE(KovaDates::timeAgoSinceDate(farAhead, today).isNull());
    EXPECT_TRUE(KovaDates::formattedDateWithFormat(farBack, "yyyy").isNull());
    EXPECT_FALSE(KovaDates::isSameDay(farAhead, farAhead));
    EXPECT_TRUE(KovaDates::isLaterThan(farAhead, farBack));
    // Further apart than 64 bits of milliseconds: still a plain number.
    EXPECT_DOUBLE_EQ(KovaDates::secondsFrom(farAhead, farBack), 1.2e16);
    EXPECT_DOUBLE_EQ(KovaDates::secondsFrom(farBack, farAhead), -1.2e16);
}

// ------------------------------------------------------------ differences

TEST_F(DateHelpers, SignedDifferencesInBothOrders)
{
    const QDateTime a = berlin(2020, 6, 1), b = berlin(2021, 6, 1);
    EXPECT_EQ(KovaDates::yearsFrom(a, b), -1);
    EXPECT_EQ(KovaDates::yearsFrom(b, a), 1);
    EXPECT_EQ(KovaDates::yearsEarlierThan(a, b), 1);
    EXPECT_EQ(KovaDates::yearsEarlierThan(b, a), 0);
    EXPECT_EQ(KovaDates::yearsLaterThan(a, b), 0);
    EXPECT_EQ(KovaDates::yearsLaterThan(b, a), 1);
    EXPECT_EQ(KovaDates::yearsFrom(b.addSecs(-1), a), 0);

    EXPECT_EQ(KovaDates::monthsFrom(berlin(2021, 3, 15), berlin(2020, 1, 15)), 14);
    EXPECT_EQ(KovaDates::monthsFrom(berlin(2020, 1, 15), berlin(2021, 3, 15)), -14);
    EXPECT_EQ(KovaDates::monthsEarlierThan(berlin(2020, 1, 15), berlin(2021, 3, 15)), 14);
    EXPECT_EQ(KovaDates::monthsLaterThan(berlin(2020, 1, 15), berlin(2021, 3, 15)), 0);
    EXPECT_EQ(KovaDates::monthsFrom(berlin(2024, 2, 29), berlin(2024, 1, 31)), 1);
    EXPECT_EQ(KovaDates::monthsFrom(berlin(2024, 1, 31), berlin(2024, 2, 29)), -1);

    EXPECT_EQ(KovaDates::weeksFrom(berlin(2024, 1, 15), berlin(2024, 1, 1)), 2);
    EXPECT_EQ(KovaDates::weeksFrom(berlin(2024, 1, 1), berlin(2024, 1, 14)), -1);
    EXPECT_EQ(KovaDates::weeksEarlierThan(berlin(2024, 1, 1), berlin(2024, 1, 15)), 2);
    EXPECT_EQ(KovaDates::weeksLaterThan(berlin(2024, 1, 15), berlin(2024, 1, 1)), 2);
    EXPECT_EQ(KovaDates::daysFrom(berlin(2024, 3, 31, 12), berlin(2024, 3, 30, 12)), 1); // 23 hours, one day
    EXPECT_EQ(KovaDates::daysFrom(berlin(2024, 3, 30, 12), berlin(2024, 3, 31, 12)), -1);
    EXPECT_EQ(KovaDates::daysEarlierThan(berlin(2024, 3, 30, 12), berlin(2024, 3, 31, 12)), 1);
    EXPECT_EQ(KovaDates::daysLaterThan(berlin(2024, 3, 30, 12), berlin(2024, 3, 31, 12)), 0);
    EXPECT_EQ(KovaDates::daysFrom(berlin(2024, 3, 31, 11), berlin(2024, 3, 30, 12)), 0);

    const QDateTime early = berlin(2024, 5, 5, 10), late = early.addSecs(90 * 60);
    EXPECT_DOUBLE_EQ(KovaDates::hoursFrom(late, early), 1.5);
    EXPECT_DOUBLE_EQ(KovaDates::hoursFrom(early, late), -1.5);
    EXPECT_DOUBLE_EQ(KovaDates::hoursLaterThan(early, late), 0.0);
    EXPECT_DOUBLE_EQ(KovaDates::hoursEarlierThan(early, late), 1.5);
    EXPECT_DOUBLE_EQ(KovaDates::minutesFrom(late, early), 90.0);
    EXPECT_DOUBLE_EQ(KovaDates::minutesEarlierThan(late, early), 0.0);
    EXPECT_DOUBLE_EQ(KovaDates::minutesLaterThan(late, early), 90.0);
    EXPECT_DOUBLE_EQ(KovaDates::secondsFrom(late, early.addMSecs(500)), 5399.5);
    EXPECT_DOUBLE_EQ(KovaDates::secondsEarlierThan(early, late), 5400.0);
    EXPECT_DOUBLE_EQ(KovaDates::secondsLaterThan(late, early), 5400.0);
}

TEST_F(DateHelpers, DifferencesInAGivenCalendarAndWithMissingDates)
{
    const auto iso = Calendar::calendarWithIdentifier(kova::platform::NSCalendarIdentifierISO8601);
    EXPECT_EQ(KovaDates::yearsFrom(berlin(2024, 6, 1), berlin(2021, 6, 2), iso), 2);
    EXPECT_EQ(KovaDates::monthsFrom(berlin(2024, 6, 1), berlin(2021, 6, 2), iso), 35);
    EXPECT_EQ(KovaDates::weeksFrom(berlin(2024, 6, 1), berlin(2024, 6, 29), iso), -4);
    EXPECT_EQ(KovaDates::daysFrom(berlin(2024, 6, 1), berlin(2024, 6, 29), nullptr), -28);
    for (const auto &[x, y] : {std::pair{QDateTime(), berlin(2024, 1, 1)}, std::pair{berlin(2024, 1, 1), QDateTime()}}) {
        EXPECT_EQ(KovaDates::yearsFrom(x, y), 0);
        EXPECT_EQ(KovaDates::monthsFrom(x, y), 0);
        EXPECT_EQ(KovaDates::weeksFrom(x, y), 0);
        EXPECT_EQ(KovaDates::daysFrom(x, y), 0);
        EXPECT_EQ(KovaDates::secondsFrom(x, y), 0.0);
        EXPECT_FALSE(KovaDates::isEarlierThan(x, y));
        EXPECT_FALSE(KovaDates::isLaterThan(x, y));
        EXPECT_FALSE(KovaDates::isEarlierThanOrEqualTo(x, y));
        EXPECT_FALSE(KovaDates::isLaterThanOrEqualTo(x, y));
    }
}

TEST_F(DateHelpers, AgainstTheCurrentMoment)
{
    setNow(berlin(2024, 6, 15, 12));
    const QDateTime future = berlin(2024, 6, 18, 12), past = berlin(2024, 6, 1, 11, 30);
    EXPECT_EQ(KovaDates::daysUntil(future), 3);
    EXPECT_EQ(KovaDates::daysAgo(future), 0);
    EXPECT_EQ(KovaDates::weeksAgo(past), 2);
    EXPECT_EQ(KovaDates::weeksUntil(past), 0);
    EXPECT_EQ(KovaDates::daysAgo(past), 14);
    EXPECT_EQ(KovaDates::monthsAgo(berlin(2024, 3, 15, 12)), 3);
    EXPECT_EQ(KovaDates::monthsUntil(berlin(2025, 3, 15, 12)), 9);
    EXPECT_EQ(KovaDates::yearsAgo(berlin(2020, 6, 15, 12)), 4);
    EXPECT_EQ(KovaDates::yearsUntil(berlin(2030, 6, 15, 13)), 6);
    EXPECT_DOUBLE_EQ(KovaDates::hoursUntil(future), 72.0);
    EXPECT_DOUBLE_EQ(KovaDates::hoursAgo(future), 0.0);
    EXPECT_DOUBLE_EQ(KovaDates::minutesAgo(berlin(2024, 6, 15, 11, 15)), 45.0);
    EXPECT_DOUBLE_EQ(KovaDates::minutesUntil(berlin(2024, 6, 15, 11, 15)), 0.0);
    EXPECT_DOUBLE_EQ(KovaDates::secondsAgo(berlin(2024, 6, 15, 11, 59, 30)), 30.0);
    EXPECT_DOUBLE_EQ(KovaDates::secondsUntil(berlin(2024, 6, 15, 12, 0, 30)), 30.0);
}

TEST_F(DateHelpers, Comparisons)
{
    const QDateTime a = berlin(2024, 1, 1), b = a.addMSecs(1);
    EXPECT_TRUE(KovaDates::isEarlierThanOrEqualTo(a, a));
    EXPECT_FALSE(KovaDates::isEarlierThan(a, a));
    EXPECT_TRUE(KovaDates::isLaterThanOrEqualTo(a, a));
    EXPECT_FALSE(KovaDates::isLaterThan(a, a));
    EXPECT_TRUE(KovaDates::isEarlierThan(a, b));
    EXPECT_FALSE(KovaDates::isLaterThan(a, b));
    EXPECT_TRUE(KovaDates::isLaterThan(b, a));
    EXPECT_TRUE(KovaDates::isLaterThanOrEqualTo(b, a));
    EXPECT_FALSE(KovaDates::isEarlierThanOrEqualTo(b, a));
    // The same instant in another zone is the same date.
    EXPECT_TRUE(KovaDates::isEarlierThanOrEqualTo(a.toTimeZone(QTimeZone("Asia/Tokyo")), a));
}

// ---------------------------------------------------- construction, parsing

TEST_F(DateHelpers, DatesFromNumbersAreLenientWallClockTimes)
{
    EXPECT_EQ(KovaDates::dateWithYear(2024, 6, 15), berlin(2024, 6, 15));
    EXPECT_EQ(KovaDates::dateWithYear(2024, 6, 15, 13, 14, 15), berlin(2024, 6, 15, 13, 14, 15));
    EXPECT_EQ(KovaDates::dateWithYear(2024, 2, 30), berlin(2024, 3, 1));
    EXPECT_EQ(KovaDates::dateWithYear(2024, 13, 1), berlin(2025, 1, 1));
    EXPECT_EQ(KovaDates::dateWithYear(2024, 1, 1, 25, 0, 0), berlin(2024, 1, 2, 1));
    // 02:30 does not exist that night; the lenient calendar moves on an hour.
    EXPECT_EQ(KovaDates::dateWithYear(2024, 3, 31, 2, 30, 0), berlin(2024, 3, 31, 3, 30));
    EXPECT_FALSE(KovaDates::dateWithYear(kInt64Max, 1, 1).isValid());
    EXPECT_FALSE(KovaDates::dateWithYear(2024, qint64(1) << 40, 1).isValid());
    EXPECT_FALSE(KovaDates::dateWithYear(2024, 1, 1, 0, 0, kInt64Min).isValid());
    EXPECT_EQ(KovaDates::dateWithYear(2024, 6, 15).timeSpec(), Qt::UTC);
}

TEST_F(DateHelpers, ParsingIsStrictAndConsumesTheWholeText)
{
    EXPECT_EQ(KovaDates::dateWithString("2024-01-05", "yyyy-MM-dd"), berlin(2024, 1, 5));
    EXPECT_EQ(KovaDates::dateWithString("2024-01-05", "yyyy-MM-dd", QTimeZone::utc()), utc(2024, 1, 5));
    EXPECT_EQ(KovaDates::dateWithString("05 Jan 2024 13:45", "dd MMM yyyy HH:mm"), berlin(2024, 1, 5, 13, 45));
    EXPECT_EQ(KovaDates::dateWithString("2024-10-27 02:30", "yyyy-MM-dd HH:mm"), berlin(2024, 10, 27, 2, 30));
    EXPECT_EQ(KovaDates::dateWithString(" 2024-01-05", " yyyy-MM-dd"), berlin(2024, 1, 5));
    for (const char *bad : {"2024-01-05x", " 2024-01-05", "2024-01-05 ", "2024-01-05\n", "2024/01/05", "2024-02-30",
                            "2024-1-5", "2024-13-01", "20240105", "2024-01", "", "x2024-01-05", "2024-01-05 10:00"})
        EXPECT_FALSE(KovaDates::dateWithString(bad, "yyyy-MM-dd").isValid()) << bad;
    // A wall-clock time that never happened.
    EXPECT_FALSE(KovaDates::dateWithString("2024-03-31 02:30", "yyyy-MM-dd HH:mm").isValid());
    EXPECT_FALSE(KovaDates::dateWithString("2024-01-05 24:00", "yyyy-MM-dd HH:mm").isValid());
    EXPECT_FALSE(KovaDates::dateWithString(QString(), "yyyy-MM-dd").isValid());
    EXPECT_FALSE(KovaDates::dateWithString("2024-01-05", QString()).isValid());
    EXPECT_FALSE(KovaDates::dateWithString("2024-01-05", "'unclosed").isValid());
    // The parse formatter keeps no state from one call to the next.
    EXPECT_EQ(KovaDates::dateWithString("10:15", "HH:mm", QTimeZone::utc()), utc(1970, 1, 1, 10, 15));
    EXPECT_EQ(KovaDates::dateWithString("2024-01-05", "yyyy-MM-dd"), berlin(2024, 1, 5));
}

// Digits of one script: `count` times the digit four, counted from `zero`.
QString fours(int count, char32_t zero = U'0')
{
    const char32_t four = zero + 4;
    return QString::fromUcs4(&four, 1).repeated(count);
}

TEST_F(DateHelpers, ParsingRefusesAFractionOfASecondTooLongForThePlatformParser)
{
    const QString pattern = "yyyy-MM-dd HH:mm:ss.SSS";
    const QString day = "2024-01-01 00:00:00.";
    const struct {
        QString text;
        QString pattern;
    } refused[] = {
        {day + fours(60), pattern},
        {day + fours(35), pattern},
        {day + QString("0").repeated(35), pattern},
        {fours(35), "S"},
        {fours(80) + "x", "SSS'x'"},
        {day + fours(35, U'\u0660'), pattern},  // Arabic-Indic
        {day + fours(35, U'\uFF10'), pattern},  // full width
        {day + fours(35, U'\U0001D7CE'), pattern}, // outside the first plane
        {day + fours(17, U'\u0660') + fours(18), pattern},
        {day + "\u200E" + fours(35), pattern}, // a bidi mark the number reader skips
        {"00. " + fours(35), "ss.S"},          // a blank the field reader skips
        {day + "-" + fours(35), pattern},
        {"12" + fours(40), "ss" + QString("S").repeated(40)}, // abutting fields
        {fours(42), QString("S").repeated(40) + "ss"},       // abutting, the fraction first
    };
    for (const auto &row : refused)
        EXPECT_FALSE(KovaDates::dateWithString(row.text, row.pattern, QTimeZone::utc()).isValid()) << row.text.toStdString() << " / " << row.pattern.toStdString();

    // Up to 34 digits ICU copes, and what it made of them before stays.
    EXPECT_EQ(KovaDates::dateWithString(day + QString("0").repeated(34), pattern, QTimeZone::utc()), utc(2024, 1, 1));
    EXPECT_EQ(KovaDates::dateWithString(day + "999", pattern, QTimeZone::utc()), utc(2024, 1, 1).addMSecs(999));
    EXPECT_EQ(KovaDates::dateWithString(day + "12", pattern, QTimeZone::utc()), utc(2024, 1, 1).addMSecs(120));
    EXPECT_EQ(KovaDates::dateWithString(day + "1234", pattern, QTimeZone::utc()), utc(2024, 1, 1).addMSecs(123));
    // Long runs of digits in the other fields are theirs to judge.
    EXPECT_EQ(KovaDates::dateWithString(QString("0").repeated(36) + "2024-01-01 00:00:00.5", pattern, QTimeZone::utc()),
              utc(2024, 1, 1).addMSecs(500));
    EXPECT_EQ(KovaDates::dateWithString("2024-01-" + QString("0").repeated(39) + "2 00:00:00.5", pattern, QTimeZone::utc()),
              utc(2024, 1, 2).addMSecs(500));
    EXPECT_EQ(KovaDates::dateWithString("20240101000000" + QString("0").repeated(31), "yyyyMMddHHmmss" + QString("S").repeated(31),
                                        QTimeZone::utc()),
              utc(2024, 1, 1));
    // The parser refused nothing for good: the next text parses.
    EXPECT_EQ(KovaDates::dateWithString(day + "250", pattern, QTimeZone::utc()), utc(2024, 1, 1).addMSecs(250));
}

TEST_F(DateHelpers, AFormatterThatParsedFormatsTheFractionAsBefore)
{
    kova::platform::DateFormatter formatter;
    formatter.setDateFormat("HH:mm:ss.SSSS");
    formatter.setTimeZone(QTimeZone::utc());
    const QDateTime moment = utc(2024, 1, 1, 10, 15, 30).addMSecs(123);
    EXPECT_EQ(formatter.dateFromString("10:15:30.1239"), utc(1970, 1, 1, 10, 15, 30).addMSecs(123));
    EXPECT_EQ(formatter.stringFromDate(moment), "10:15:30.1230");
    // Another locale's digits, both ways.
    formatter.setLocale(QLocale(QLocale::Arabic, QLocale::Egypt));
    const QString arabic = formatter.stringFromDate(moment);
    EXPECT_EQ(arabic, QString::fromUtf8("\u0661\u0660:\u0661\u0665:\u0663\u0660.\u0661\u0662\u0663\u0660"));
    EXPECT_EQ(formatter.dateFromString(arabic), utc(1970, 1, 1, 10, 15, 30).addMSecs(123));
    EXPECT_FALSE(formatter.dateFromString(arabic + fours(31, U'\u0660')).isValid());
    EXPECT_EQ(formatter.stringFromDate(moment), arabic);
}

// -------------------------------------------------------------- formatting

TEST_F(DateHelpers, FormattingByStyleCarriesTheDateOnly)
{
    const QDateTime lateEvening = berlin(2024, 12, 31, 23, 30);
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle::MediumStyle), "Dec 31, 2024");
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle::ShortStyle), "12/31/24");
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle::LongStyle), "December 31, 2024");
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle::FullStyle), "Tuesday, December 31, 2024");
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle::NoStyle), "");
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle(42)), "");
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle::MediumStyle, QTimeZone::utc()), "Dec 31, 2024");
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle::MediumStyle, QTimeZone("Asia/Tokyo")), "Jan 1, 2025");
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle::LongStyle, QLocale(QLocale::Russian, QLocale::Russia)),
              QString::fromUtf8("31 декабря 2024\u202Fг."));
    EXPECT_EQ(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle::ShortStyle, QTimeZone::utc(),
                                                QLocale(QLocale::German, QLocale::Germany)),
              "31.12.24");
    for (int style = 1; style <= 4; ++style)
        EXPECT_FALSE(KovaDates::formattedDateWithStyle(lateEvening, DateFormatterStyle(style)).contains("23")) << style;
    EXPECT_TRUE(KovaDates::formattedDateWithStyle(QDateTime(), DateFormatterStyle::MediumStyle).isNull());
}

TEST_F(DateHelpers, FormattingByPattern)
{
    const QDateTime date = berlin(2024, 12, 31, 9, 5, 7);
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, "yyyy-MM-dd HH:mm:ss EEE"), "2024-12-31 09:05:07 Tue");
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, "HH:mm", QTimeZone::utc()), "08:05");
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, "HH:mm", QTimeZone("America/New_York")), "03:05");
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, "HH:mm", QTimeZone(3 * 3600)), "11:05");
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, "EEEE d MMMM", QLocale(QLocale::Russian, QLocale::Russia)), "вторник 31 декабря");
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, "EEE", QTimeZone::utc(), QLocale(QLocale::German, QLocale::Germany)), "Di.");
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, "'at' h a"), "at 9 AM");
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, ""), "");
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, "'unclosed"), "unclosed"); // the quote runs to the end
    EXPECT_TRUE(KovaDates::formattedDateWithFormat(QDateTime(), "yyyy").isNull());
    // The shorter forms follow the system zone and current locale.
    DateEnvironment::setSystemTimeZoneOverride(QTimeZone("Asia/Tokyo"));
    DateEnvironment::setCurrentLocaleOverride(QLocale(QLocale::French, QLocale::France));
    EXPECT_EQ(KovaDates::formattedDateWithFormat(date, "EEEE HH:mm"), "mardi 17:05");
}

} // namespace
