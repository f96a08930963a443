#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "dates/KovaDates.h"
#include "dates/platform/DateEnvironment.h"
#include "platform/foundation/Bundle.h"
#include "tests/dates/DatesTestSupport.h"

namespace {

using kova::KDTimeAgoStyle;
using kova::KDTimeAgoUnit;
using kova::KovaDates;
using kova::platform::Bundle;

class TimeAgo : public kova::test::DatesTest {
protected:
    static QString text(const QDateTime &date, const QDateTime &other, KDTimeAgoStyle style)
    {
        return KovaDates::timeAgoSinceDate(date, other, style);
    }
    // The texts of styles 0 to 5, in order.
    static QStringList allStyles(const QDateTime &date, const QDateTime &other)
    {
        QStringList texts;
        for (int style = 0; style <= 5; ++style)
            texts << text(date, other, KDTimeAgoStyle(style));
        return texts;
    }
};

TEST_F(TimeAgo, SecondsMinutesAndHoursInEveryStyle)
{
    const QDateTime noon = berlin(2024, 6, 15, 12);
    EXPECT_EQ(allStyles(noon, noon), (QStringList{"Just now", "1 second ago", "Just now", "1 second ago", "0s", "Just now"}));
    EXPECT_EQ(allStyles(noon.addSecs(-1), noon),
              (QStringList{"Just now", "1 second ago", "Just now", "1 second ago", "1s", "Just now"}));
    EXPECT_EQ(allStyles(noon.addSecs(-59), noon),
              (QStringList{"59 seconds ago", "59 seconds ago", "59 seconds ago", "59 seconds ago", "59s", "59 seconds ago"}));
    EXPECT_EQ(allStyles(noon.addSecs(-90), noon),
              (QStringList{"A minute ago", "1 minute ago", "A minute ago", "1 minute ago", "1m", "A minute ago"}));
    EXPECT_EQ(text(noon.addSecs(-3599), noon, KDTimeAgoStyle::Words), "59 minutes ago");
    EXPECT_EQ(allStyles(noon.addSecs(-3600), noon),
              (QStringList{"An hour ago", "1 hour ago", "An hour ago", "1 hour ago", "1h", "An hour ago"}));
    EXPECT_EQ(text(noon.addSecs(-(23 * 3600 + 59 * 60)), noon, KDTimeAgoStyle::Words), "23 hours ago");
    EXPECT_EQ(text(noon.addSecs(-(23 * 3600 + 59 * 60)), noon, KDTimeAgoStyle::Short), "23h");
    // Sub-second differences count as none.
    EXPECT_EQ(text(noon.addMSecs(-999), noon, KDTimeAgoStyle::Numeric), "1 second ago");
}

TEST_F(TimeAgo, TheFutureReadsLikeThePast)
{
    const QDateTime noon = berlin(2024, 6, 15, 12);
    EXPECT_EQ(allStyles(noon.addSecs(3 * 3600), noon), allStyles(noon.addSecs(-3 * 3600), noon));
    EXPECT_EQ(text(noon.addSecs(3 * 3600), noon, KDTimeAgoStyle::Words), "3 hours ago");
    EXPECT_EQ(text(noon, noon.addDays(40), KDTimeAgoStyle::Words), "Last month");
}

TEST_F(TimeAgo, DaysCountMidnightsOnceTheDistanceReachesADay)
{
    // 25 hours across one midnight, then across two.
    EXPECT_EQ(allStyles(berlin(2024, 6, 14, 11), berlin(2024, 6, 15, 12)),
              (QStringList{"Yesterday", "1 day ago", "1 day ago", "Yesterday", "1d", "Yesterday"}));
    EXPECT_EQ(text(berlin(2024, 6, 13, 23, 30), berlin(2024, 6, 15, 0, 30), KDTimeAgoStyle::Words), "2 days ago");
    // Under 24 hours stays in hours even across midnight.
    EXPECT_EQ(text(berlin(2024, 6, 14, 23), berlin(2024, 6, 15, 22), KDTimeAgoStyle::Words), "23 hours ago");
    EXPECT_EQ(text(berlin(2024, 6, 12, 9), berlin(2024, 6, 15, 8), KDTimeAgoStyle::Words), "3 days ago");
}

TEST_F(TimeAgo, DaylightSavingNights)
{
    // Spring forward: noon to noon is 23 elapsed hours, so still hours.
    EXPECT_EQ(text(berlin(2024, 3, 30, 12), berlin(2024, 3, 31, 12), KDTimeAgoStyle::Words), "23 hours ago");
    EXPECT_EQ(text(berlin(2024, 3, 30, 11), berlin(2024, 3, 31, 12), KDTimeAgoStyle::Words), "Yesterday");
    // Fall back: noon to noon is 25 elapsed hours and one calendar day.
    EXPECT_EQ(text(berlin(2024, 10, 26, 12), berlin(2024, 10, 27, 12), KDTimeAgoStyle::Words), "Yesterday");
    EXPECT_EQ(text(berlin(2024, 10, 27, 1, 30), berlin(2024, 10, 27, 23, 30), KDTimeAgoStyle::Words), "23 hours ago");
    // 00:00 to 23:00 on that day is 24 elapsed hours within one calendar
    // day: no whole day, and a count below 2 takes the singular wording.
    EXPECT_EQ(text(berlin(2024, 10, 27, 0, 0), berlin(2024, 10, 27, 23, 0), KDTimeAgoStyle::Numeric), "1 day ago");
    EXPECT_EQ(text(berlin(2024, 10, 27, 0, 0), berlin(2024, 10, 27, 23, 0), KDTimeAgoStyle::Short), "0d");
}

TEST_F(TimeAgo, WeekAndMonthBoundaries)
{
    const QDateTime saturday = berlin(2024, 6, 15, 12);
    EXPECT_EQ(text(saturday.addDays(-6), saturday, KDTimeAgoStyle::Words), "6 days ago");
    EXPECT_EQ(text(saturday.addDays(-7), saturday, KDTimeAgoStyle::Words), "Last week");
    EXPECT_EQ(text(saturday.addDays(-7), saturday, KDTimeAgoStyle::NumericDates), "1 week ago");
    EXPECT_EQ(text(saturday.addDays(-13), saturday, KDTimeAgoStyle::Words), "Last week");
    EXPECT_EQ(text(saturday.addDays(-14), saturday, KDTimeAgoStyle::Words), "2 weeks ago");
    EXPECT_EQ(text(saturday.addDays(-14), saturday, KDTimeAgoStyle::Short), "2w");
    // 29 days from the last day of January is a whole month in 2024...
    EXPECT_EQ(text(berlin(2024, 1, 31), berlin(2024, 2, 29), KDTimeAgoStyle::Words), "Last month");
    // ...while 30 days from mid-January are four weeks.
    EXPECT_EQ(text(berlin(2024, 1, 15), berlin(2024, 2, 14), KDTimeAgoStyle::Words), "4 weeks ago");
    EXPECT_EQ(text(berlin(2024, 1, 15), berlin(2024, 3, 20), KDTimeAgoStyle::Short), "2M");
    EXPECT_EQ(text(berlin(2023, 6, 15), saturday, KDTimeAgoStyle::Words), "Last year");
    EXPECT_EQ(text(berlin(2022, 6, 16), saturday, KDTimeAgoStyle::Numeric), "1 year ago");
    EXPECT_EQ(text(berlin(2021, 6, 15), saturday, KDTimeAgoStyle::Words), "3 years ago");
    EXPECT_EQ(text(berlin(2021, 6, 15), saturday, KDTimeAgoStyle::Short), "3y");
}

TEST_F(TimeAgo, WeekdayStyleNamesTheReceiversWeekday)
{
    const QDateTime wednesday = berlin(2024, 6, 12, 12);
    const QDateTime saturday = berlin(2024, 6, 15, 12);
    EXPECT_EQ(KovaDates::weekTimeAgoSinceDate(wednesday, saturday), "Wed");
    EXPECT_EQ(KovaDates::weekTimeAgoSinceDate(saturday, wednesday), "Sat");
    EXPECT_EQ(text(wednesday, saturday, KDTimeAgoStyle::Words), "3 days ago");
    EXPECT_EQ(KovaDates::weekTimeAgoSinceDate(saturday.addDays(-1), saturday), "Yesterday");
    EXPECT_EQ(KovaDates::weekTimeAgoSinceDate(saturday.addDays(-7), saturday), "Last week");
    // The weekday is the receiver's in the system time zone: 23:30 UTC on a
    // Sunday is already Monday in Berlin.
    EXPECT_EQ(KovaDates::weekTimeAgoSinceDate(utc(2024, 6, 9, 23, 30), saturday), "Mon");
    // A unit value of 7 days still takes the weekday; 8 does not.
    EXPECT_EQ(KovaDates::localizedStringFor(wednesday, KDTimeAgoStyle::Weekday, KDTimeAgoUnit::Day, 7), "Wed");
    EXPECT_EQ(KovaDates::localizedStringFor(wednesday, KDTimeAgoStyle::Weekday, KDTimeAgoUnit::Day, 8), "8 days ago");
}

TEST_F(TimeAgo, ConvenienceFormsPickTheirStyles)
{
    const QDateTime noon = berlin(2024, 6, 15, 12);
    const QDateTime before = berlin(2024, 6, 14, 10);
    EXPECT_EQ(KovaDates::timeAgoSinceDate(before, noon), "Yesterday");
    EXPECT_EQ(KovaDates::timeAgoSinceDate(before, noon, true), "1 day ago");
    EXPECT_EQ(KovaDates::timeAgoSinceDate(before, noon, false, true), "Yesterday");
    EXPECT_EQ(KovaDates::timeAgoSinceDate(noon.addSecs(-3600), noon, false, true), "1 hour ago");
    EXPECT_EQ(KovaDates::timeAgoSinceDate(noon.addSecs(-3600), noon, true, false), "An hour ago");
    EXPECT_EQ(KovaDates::timeAgoSinceDate(noon.addSecs(-3600), noon, true, true), "1 hour ago");
    EXPECT_EQ(KovaDates::shortTimeAgoSinceDate(before, noon), "1d");
}

TEST_F(TimeAgo, AgainstTheInjectedClock)
{
    setNow(berlin(2024, 6, 15, 12));
    EXPECT_EQ(KovaDates::timeAgoSinceNow(berlin(2024, 6, 15, 9)), "3 hours ago");
    EXPECT_EQ(KovaDates::timeAgoSinceDate(berlin(2024, 6, 15, 9)), "3 hours ago");
    EXPECT_EQ(KovaDates::shortTimeAgoSinceNow(berlin(2024, 6, 10, 12)), "5d");
    EXPECT_EQ(KovaDates::shortTimeAgoSinceDate(berlin(2024, 6, 10, 12)), "5d");
    EXPECT_EQ(KovaDates::weekTimeAgoSinceNow(berlin(2024, 6, 12, 12)), "Wed");
    EXPECT_EQ(KovaDates::weekTimeAgoSinceDate(berlin(2024, 6, 12, 12)), "Wed");
    setNow(berlin(2024, 6, 15, 12, 1));
    EXPECT_EQ(KovaDates::timeAgoSinceNow(berlin(2024, 6, 15, 12)), "A minute ago");
}

TEST_F(TimeAgo, UnknownUnitsAndMissingDatesHaveNoText)
{
    const QDateTime noon = berlin(2024, 6, 15, 12);
    EXPECT_TRUE(KovaDates::localizedStringFor(noon, KDTimeAgoStyle::Words, KDTimeAgoUnit(7), 3).isNull());
    EXPECT_TRUE(KovaDates::localizedStringFor(noon, KDTimeAgoStyle::Short, KDTimeAgoUnit(-1), 3).isNull());
    EXPECT_TRUE(KovaDates::timeAgoSinceDate(QDateTime(), noon, KDTimeAgoStyle::Words).isNull());
    EXPECT_TRUE(KovaDates::timeAgoSinceNow(QDateTime()).isNull());
    // An unknown style words like style 0.
    EXPECT_EQ(text(noon.addSecs(-3600), noon, KDTimeAgoStyle(9)), "An hour ago");
    EXPECT_EQ(KovaDates::localizedStringFor(noon, KDTimeAgoStyle::Words, KDTimeAgoUnit::Year, 0), "Last year");
}

TEST_F(TimeAgo, DistancesBeyondThirtyTwoBitsOfSeconds)
{
    // Far more hours than ICU counts in one step; the text still comes out.
    EXPECT_EQ(text(berlin(1000, 1, 1), berlin(2024, 1, 1), KDTimeAgoStyle::Short), "1024y");
    EXPECT_EQ(text(kova::platform::DateEnvironment::distantPast(), kova::platform::DateEnvironment::distantFuture(),
                   KDTimeAgoStyle::Short),
              "4000y");
}

TEST_F(TimeAgo, DatesBeforeTheFirstYear)
{
    // Day starts must stay in the era of the date they start: 11 BC and 6 BC
    // are five years apart, and 30 December 1 BC is three days before
    // 2 January AD 1.
    const QDateTime sixBc = KovaDates::dateBySubtractingYears(KovaDates::dateWithYear(1, 6, 1, 12, 0, 0), 6);
    const QDateTime elevenBc = KovaDates::dateBySubtractingYears(sixBc, 5);
    ASSERT_EQ(KovaDates::era(sixBc), 0);
    ASSERT_EQ(KovaDates::yearsFrom(sixBc, elevenBc), 5);
    EXPECT_EQ(text(elevenBc, sixBc, KDTimeAgoStyle::Short), "5y");
    EXPECT_EQ(text(elevenBc, sixBc, KDTimeAgoStyle::Words), "5 years ago");
    const QDateTime adJan2 = KovaDates::dateWithYear(1, 1, 2, 12, 0, 0);
    const QDateTime bcDec30 = KovaDates::dateBySubtractingDays(adJan2, 3);
    ASSERT_EQ(KovaDates::era(bcDec30), 0);
    EXPECT_EQ(text(bcDec30, adJan2, KDTimeAgoStyle::Short), "3d");
    EXPECT_EQ(text(adJan2, bcDec30, KDTimeAgoStyle::Words), "3 days ago");
}

// ------------------------------------------------------------ plural keys

class PluralSuffix : public kova::test::DatesTest {
protected:
    static QString text(const QDateTime &date, const QDateTime &other) { return KovaDates::timeAgoSinceDate(date, other); }
};

TEST_F(PluralSuffix, RussianFormsOnlyForTheExactPreferredLocalisations)
{
    Bundle::setPreferredLanguages({"ru-RU", "en"});
    for (double one : {1.0, 21.0, 101.0, 1.9, 31.0})
        EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(one), "__") << one;
    for (double few : {2.0, 3.0, 4.0, 22.0, 104.0, 4.5})
        EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(few), "_") << few;
    for (double many : {0.0, 5.0, 11.0, 12.0, 14.0, 111.0, 112.0, 25.0, -1.0, -2.0, 0.9})
        EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(many), "") << many;
    EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(1e300), "");
    EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(9007199254740993.0), "_"); // ...992 as a double

    Bundle::setPreferredLanguages({"uk"});
    EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(21), "__");
    for (const QString language : {"ru", "uk-UA", "ru_RU", "RU-RU", "en", "en-US"}) {
        Bundle::setPreferredLanguages({language, "ru-RU"});
        EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(21), "") << language.toStdString();
        EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(3), "") << language.toStdString();
    }
    Bundle::setPreferredLanguages({});
    EXPECT_EQ(KovaDates::getLocaleFormatUnderscoresWithValue(21), "");
}

TEST_F(PluralSuffix, RussianTextsUseTheSuffixedKeys)
{
    Bundle::setPreferredLanguages({"ru-RU"});
    const QString days = QStringLiteral("%%d %@days ago");
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(days, 1), "1 день назад");
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(days, 21), "21 день назад");
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(days, 101), "101 день назад");
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(days, 2), "2 дня назад");
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(days, 22), "22 дня назад");
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(days, 104), "104 дня назад");
    for (int many : {5, 11, 12, 14, 111})
        EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(days, many), QString::number(many) + " дней назад");

    const QDateTime noon = berlin(2024, 6, 15, 12);
    EXPECT_EQ(text(noon.addSecs(-21 * 60), noon), "21 минуту назад");
    EXPECT_EQ(text(noon.addSecs(-3 * 3600), noon), "3 часа назад");
    EXPECT_EQ(text(noon.addSecs(-11), noon), "11 секунд назад");
    EXPECT_EQ(text(noon.addDays(-1), noon), "Вчера");
    EXPECT_EQ(KovaDates::timeAgoSinceDate(noon.addDays(-1), noon, true), "1 день назад");
    EXPECT_EQ(KovaDates::shortTimeAgoSinceDate(noon.addDays(-3), noon), "3 д");
    // The weekday comes from the formatter's locale (US English) and is
    // then translated by the table.
    EXPECT_EQ(KovaDates::weekTimeAgoSinceDate(berlin(2024, 6, 12, 12), noon), "Ср");
}

TEST_F(PluralSuffix, PlainRussianTakesTheRussianTableButNoSuffix)
{
    Bundle::setPreferredLanguages({"ru"});
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(QStringLiteral("%%d %@days ago"), 21), "21 дней назад");
    Bundle::setPreferredLanguages({"uk"});
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(QStringLiteral("%%d %@days ago"), 21), "21 день тому");
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(QStringLiteral("%%d %@days ago"), 23), "23 дні тому");
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat(QStringLiteral("%%d %@days ago"), 25), "25 днів тому");
}


// ------------------------------------------------------- the string table

class TimeAgoTable : public kova::test::DatesTest {
protected:
    void SetUp() override
    {
        DatesTest::SetUp();
        ASSERT_TRUE(m_root.isValid());
    }
    void writeTable(const QString &language, const QByteArray &json)
    {
        const QString dir = m_root.path() + "/KovaDates.bundle/" + language + ".lproj";
        QDir().mkpath(dir);
        QFile file(dir + "/KovaDates.json");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(json);
    }
    QTemporaryDir m_root;
};

TEST_F(TimeAgoTable, HostileTranslationsAreNeverFormats)
{
    writeTable("en", R"({
        "%d days ago": "%@ %n %s %ld %1$d %x 100%% %d days, %d again %",
        "Yesterday": "%@%n%d%%",
        "Wed": "%d %@ %n",
        "%d_h": "%@%d",
        "%dh": "%n%s%d"
    })");
    kova::test::ResourcesOverride resources(m_root.path());
    const QDateTime saturday = berlin(2024, 6, 15, 12);
    EXPECT_EQ(KovaDates::timeAgoSinceDate(berlin(2024, 6, 12, 12), saturday), "%@ %n %s %ld %1$d %x 100% 3 days, 3 again %");
    // Plain texts are looked up and used as they are.
    EXPECT_EQ(KovaDates::timeAgoSinceDate(saturday.addDays(-1), saturday), "%@%n%d%%");
    EXPECT_EQ(KovaDates::weekTimeAgoSinceDate(berlin(2024, 6, 12, 12), saturday), "%d %@ %n");
    EXPECT_EQ(KovaDates::shortTimeAgoSinceDate(saturday.addSecs(-7200), saturday), "%n%s2");
    // A template of the caller's own is no format either.
    EXPECT_EQ(KovaDates::logicLocalizedStringFromFormat("%%d%@h%n%s%", 4), "4h%n%s%");
}

TEST_F(TimeAgoTable, MissingKeysAndMissingBundleFallBackToTheEnglishKey)
{
    writeTable("en", R"({"Yesterday": "The day before"})");
    {
        kova::test::ResourcesOverride resources(m_root.path());
        const QDateTime saturday = berlin(2024, 6, 15, 12);
        EXPECT_EQ(KovaDates::timeAgoSinceDate(saturday.addDays(-1), saturday), "The day before");
        EXPECT_EQ(KovaDates::timeAgoSinceDate(saturday.addDays(-3), saturday), "3 days ago");
        EXPECT_EQ(KovaDates::shortTimeAgoSinceDate(saturday.addDays(-3), saturday), "3d");
        Bundle::setPreferredLanguages({"ru-RU"});
        // The suffixed key is not in the table: it comes back as the key.
        EXPECT_EQ(KovaDates::timeAgoSinceDate(saturday.addDays(-3), saturday), "3 _days ago");
    }
    QTemporaryDir empty;
    kova::test::ResourcesOverride resources(empty.path());
    Bundle::setPreferredLanguages({"en"});
    const QDateTime saturday = berlin(2024, 6, 15, 12);
    EXPECT_EQ(KovaDates::timeAgoSinceDate(saturday.addDays(-1), saturday), "Yesterday");
    EXPECT_EQ(KovaDates::timeAgoSinceDate(saturday.addDays(-3), saturday), "3 days ago");
    EXPECT_EQ(KovaDates::weekTimeAgoSinceDate(berlin(2024, 6, 12, 12), saturday), "Wed");
}

TEST_F(TimeAgoTable, ShippedTablesHoldEveryKeyInEveryLanguage)
{
    const auto bundle = Bundle::framework()->nestedBundle("KovaDates.bundle");
    ASSERT_NE(bundle, nullptr);
    QStringList expected{"Last year", "Last month", "Last week", "Yesterday", "An hour ago", "A minute ago", "Just now",
                         "1 year ago", "1 month ago", "1 week ago", "1 day ago", "1 hour ago", "1 minute ago", "1 second ago",
                         "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const QStringList units{"years", "months", "weeks", "days", "hours", "minutes", "seconds"};
    const QStringList letters{"y", "M", "w", "d", "h", "m", "s"};
    for (const QString suffix : {"", "_", "__"}) {
        for (const QString &unit : units)
            expected << "%d " + suffix + unit + " ago";
        for (const QString &letter : letters)
            expected << "%d" + suffix + letter;
    }
    expected.sort();
    for (const QString language : {"en", "ru", "uk"}) {
        Bundle::setPreferredLanguages({language});
        EXPECT_EQ(bundle->keysInTable("KovaDates"), expected) << language.toStdString();
    }
}

} // namespace
