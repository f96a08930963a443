// ICU behaviour the date library builds on. If an ICU upgrade changes any of
// these, the library's rules need another look.
#include <QLocale>
#include <memory>
#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include "tests/dates/DatesTestSupport.h"

namespace {

using namespace icu;

constexpr double kHour = 3600.0 * 1000.0;

std::unique_ptr<Calendar> berlinCalendar(const char *locale = "en_US@calendar=gregorian")
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<Calendar> cal(Calendar::createInstance(TimeZone::createTimeZone("Europe/Berlin"), Locale(locale), status));
    EXPECT_TRUE(U_SUCCESS(status));
    return cal;
}

double at(Calendar &cal, int year, int month, int day, int hour = 0, int minute = 0)
{
    UErrorCode status = U_ZERO_ERROR;
    cal.clear();
    cal.set(year, month - 1, day, hour, minute, 0);
    return cal.getTime(status);
}

double added(Calendar &cal, double from, UCalendarDateFields field, int32_t amount)
{
    UErrorCode status = U_ZERO_ERROR;
    cal.setTime(from, status);
    cal.add(field, amount, status);
    EXPECT_TRUE(U_SUCCESS(status));
    return cal.getTime(status);
}

TEST(IcuBehaviour, HoursAreElapsedTimeDaysAndWeeksKeepTheWallClock)
{
    auto cal = berlinCalendar();
    // The night of 31 March 2024 has no 02:00 in Berlin.
    const double beforeJump = at(*cal, 2024, 3, 31, 1, 30);
    EXPECT_EQ(added(*cal, beforeJump, UCAL_HOUR_OF_DAY, 1) - beforeJump, kHour);
    EXPECT_EQ(added(*cal, beforeJump, UCAL_HOUR, 1) - beforeJump, kHour);
    const double noon = at(*cal, 2024, 3, 30, 12);
    EXPECT_EQ(added(*cal, noon, UCAL_DATE, 1) - noon, 23 * kHour);
    EXPECT_EQ(added(*cal, at(*cal, 2024, 3, 28, 12), UCAL_WEEK_OF_YEAR, 1) - at(*cal, 2024, 3, 28, 12), 167 * kHour);
}

TEST(IcuBehaviour, MonthsAndYearsPinToTheMonthEnd)
{
    auto cal = berlinCalendar();
    EXPECT_EQ(added(*cal, at(*cal, 2024, 1, 31), UCAL_MONTH, 1), at(*cal, 2024, 2, 29));
    EXPECT_EQ(added(*cal, at(*cal, 2024, 2, 29), UCAL_YEAR, 1), at(*cal, 2025, 2, 28));
    const double jan31 = at(*cal, 2024, 1, 31), feb29 = at(*cal, 2024, 2, 29);
    UErrorCode status = U_ZERO_ERROR;
    cal->setTime(jan31, status);
    EXPECT_EQ(cal->fieldDifference(feb29, UCAL_MONTH, status), 1);
    EXPECT_EQ(cal->fieldDifference(feb29, UCAL_DATE, status), 0);
    // The era cannot be stepped, so its difference is never found.
    cal->setTime(jan31, status);
    EXPECT_EQ(cal->fieldDifference(feb29, UCAL_ERA, status), 0);
    EXPECT_EQ(status, U_ILLEGAL_ARGUMENT_ERROR);
}

TEST(IcuBehaviour, LargeCountsOverflowOrWrapSilently)
{
    auto cal = berlinCalendar();
    UErrorCode status = U_ZERO_ERROR;
    // A difference beyond 32 bits is an error, not a clamp...
    cal->setTime(-62135769600000.0, status);
    EXPECT_EQ(cal->fieldDifference(64092211200000.0, UCAL_SECOND, status), 0);
    EXPECT_EQ(status, U_ILLEGAL_ARGUMENT_ERROR);
    // ...while an addition far beyond the calendar's range wraps around
    // without any error: six million years later lands before 1970.
    status = U_ZERO_ERROR;
    cal->setTime(0, status);
    cal->add(UCAL_YEAR, 6'000'000, status);
    EXPECT_TRUE(U_SUCCESS(status));
    EXPECT_LT(cal->getTime(status), 0.0);
}

TEST(IcuBehaviour, UnknownCalendarKeywordFallsBackToTheLocalesCalendar)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<Calendar> cal(Calendar::createInstance(TimeZone::getGMT()->clone(), Locale("th_TH@calendar=no-such"), status));
    EXPECT_STREQ(cal->getType(), "buddhist");
}

TEST(IcuBehaviour, WeekRulesOfUsEnglishAndIso)
{
    auto us = berlinCalendar();
    UErrorCode status = U_ZERO_ERROR;
    us->setTime(at(*us, 2024, 12, 31, 12), status);
    EXPECT_EQ(us->getFirstDayOfWeek(status), UCAL_SUNDAY);
    EXPECT_EQ(us->getMinimalDaysInFirstWeek(), 1);
    EXPECT_EQ(us->get(UCAL_WEEK_OF_YEAR, status), 1);
    EXPECT_EQ(us->get(UCAL_YEAR_WOY, status), 2025);
    auto iso = berlinCalendar("en_US@calendar=iso8601");
    iso->setTime(at(*iso, 2027, 1, 1, 12), status);
    EXPECT_EQ(iso->get(UCAL_WEEK_OF_YEAR, status), 53);
    EXPECT_EQ(iso->get(UCAL_YEAR_WOY, status), 2026);
}

TEST(IcuBehaviour, NonLenientParsingStillSkipsLeadingBlanksAndStopsShortOfTrailingText)
{
    UErrorCode status = U_ZERO_ERROR;
    SimpleDateFormat format(UnicodeString("yyyy-MM-dd HH:mm"), Locale("en_US"), status);
    format.setLenient(false);
    format.setBooleanAttribute(UDAT_PARSE_ALLOW_WHITESPACE, false, status);
    format.adoptTimeZone(TimeZone::createTimeZone("Europe/Berlin"));
    auto parse = [&](const char *text, int32_t &index) {
        ParsePosition position(0);
        const UDate date = format.parse(UnicodeString(text), position);
        index = position.getErrorIndex() >= 0 ? -1 : position.getIndex();
        return date;
    };
    int32_t index = 0;
    parse(" 2024-01-05 10:00", index);
    EXPECT_EQ(index, 17); // accepted with the blank: checked by hand in the library
    parse("2024-01-05 10:00 and more", index);
    EXPECT_EQ(index, 16); // a success that did not consume the text
    parse("2024-03-31 02:30", index);
    EXPECT_EQ(index, -1); // a wall-clock time that never happened in Berlin
    parse("2024-02-30 10:00", index);
    EXPECT_EQ(index, -1);
}

TEST(IcuBehaviour, BothStylesNoneStillFormatSomething)
{
    std::unique_ptr<DateFormat> format(DateFormat::createDateTimeInstance(DateFormat::kNone, DateFormat::kNone, Locale("en_US")));
    ASSERT_NE(format, nullptr);
    UnicodeString text;
    format->format(0.0, text);
    EXPECT_FALSE(text.isEmpty());
}

TEST(IcuBehaviour, UnknownZoneIdsAreTheUnknownZone)
{
    std::unique_ptr<TimeZone> zone(TimeZone::createTimeZone("UTC+03:00"));
    EXPECT_TRUE(*zone == TimeZone::getUnknown());
}

TEST(IcuBehaviour, QtLocaleTagsReachIcu)
{
    EXPECT_EQ(QLocale(QLocale::English, QLocale::UnitedStates).bcp47Name(), "en");
    EXPECT_EQ(QLocale(QLocale::English, QLocale::UnitedKingdom).bcp47Name(), "en-GB");
    EXPECT_EQ(QLocale(QLocale::Russian, QLocale::Russia).bcp47Name(), "ru");
    UErrorCode status = U_ZERO_ERROR;
    const Locale gb = Locale::forLanguageTag("en-GB", status);
    EXPECT_STREQ(gb.getCountry(), "GB");
}

} // namespace
