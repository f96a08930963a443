// The shared formatters, the implicit calendar, the per-thread calendars and
// the string table, hammered from several threads at once. Built under
// ThreadSanitizer as well.
#include <atomic>
#include <thread>
#include <vector>

#include "dates/KDTimePeriodChain.h"
#include "dates/KDTimePeriodCollection.h"
#include "dates/KovaDates.h"
#include "tests/dates/DatesTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using kova::KovaDates;
using kova::platform::DateFormatterStyle;

constexpr int kThreads = 6;
constexpr int kRounds = 150;

struct Case {
    QDateTime date;
    QString pattern;
    QTimeZone zone;
    QLocale locale;
    DateFormatterStyle style;
    QString patterned;
    QString styled;
};

class DateThreads : public kova::test::DatesTest {};

TEST_F(DateThreads, SharedFormattersAndCalendarsGiveEachCallerItsOwnAnswer)
{
    const QList<QTimeZone> zones{QTimeZone("Europe/Berlin"), QTimeZone::utc(), QTimeZone("Asia/Tokyo"), QTimeZone("America/New_York")};
    const QList<QLocale> locales{QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::Russian, QLocale::Russia),
                                QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::French, QLocale::France)};
    const QStringList patterns{"yyyy-MM-dd HH:mm", "EEEE d MMMM yyyy", "HH:mm:ss EEE", "dd.MM.yy"};
    QList<Case> cases;
    for (int i = 0; i < 16; ++i) {
        Case c{berlin(2024, 1 + i % 12, 1 + i, i, 2 * i, 0), patterns[i % 4], zones[(i / 4) % 4], locales[i % 4],
               DateFormatterStyle(1 + i % 4), {}, {}};
        c.patterned = KovaDates::formattedDateWithFormat(c.date, c.pattern, c.zone, c.locale);
        c.styled = KovaDates::formattedDateWithStyle(c.date, c.style, c.zone, c.locale);
        cases << c;
    }
    const QDateTime saturday = berlin(2024, 6, 15, 12);

    std::atomic<int> mismatches{0};
    std::atomic<bool> running{true};
    auto check = [&](bool ok) {
        if (!ok)
            mismatches.fetch_add(1, std::memory_order_relaxed);
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                const Case &c = cases[(t * 5 + round) % cases.size()];
                check(KovaDates::formattedDateWithFormat(c.date, c.pattern, c.zone, c.locale) == c.patterned);
                check(KovaDates::formattedDateWithStyle(c.date, c.style, c.zone, c.locale) == c.styled);
                const QString text = KovaDates::formattedDateWithFormat(c.date, "yyyy-MM-dd'T'HH:mm:ss", c.zone);
                check(KovaDates::dateWithString(text, "yyyy-MM-dd'T'HH:mm:ss", c.zone) == c.date);
                check(!KovaDates::dateWithString(text + "x", "yyyy-MM-dd'T'HH:mm:ss", c.zone).isValid());
                // A refused fraction leaves nothing behind for the next caller.
                check(!KovaDates::dateWithString(text + "." + QString(40, u'4'), "yyyy-MM-dd'T'HH:mm:ss.SSS", c.zone).isValid());
                check(KovaDates::dateWithString(text + ".250", "yyyy-MM-dd'T'HH:mm:ss.SSS", c.zone) == c.date.addMSecs(250));
                check(KovaDates::timeAgoSinceDate(saturday.addSecs(-3 * 3600 - round), saturday) == "3 hours ago");
                check(KovaDates::timeAgoSinceDate(saturday.addDays(-1 - round % 5), saturday, true)
                      == (round % 5 ? QString::number(1 + round % 5) + " days ago" : QString("1 day ago")));
                check(KovaDates::weekTimeAgoSinceDate(berlin(2024, 6, 12, 12), saturday) == "Wed");
                check(KovaDates::dateByAddingMonths(berlin(2024, 1, 31), 1) == berlin(2024, 2, 29));
                check(KovaDates::year(c.date) == 2024 && KovaDates::month(c.date) == 1 + ((t * 5 + round) % cases.size()) % 12);
                check(KovaDates::daysFrom(saturday, berlin(2024, 6, 1, 12)) == 14);
            }
        });
    }
    // The implicit calendar is replaced while the others compute with it;
    // both identifiers agree on years, months and days.
    std::thread switcher([&] {
        for (int i = 0; running.load(); ++i)
            KovaDates::setDefaultCalendarIdentifier(i % 2 ? kova::platform::NSCalendarIdentifierISO8601
                                                          : kova::platform::NSCalendarIdentifierGregorian);
    });
    for (auto &thread : threads)
        thread.join();
    running = false;
    switcher.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST_F(DateThreads, ErrorReportsFromManyThreadsReachTheLogWhole)
{
    kova::test::LogCapture log;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            auto chain = kova::KDTimePeriodChain::chain();
            for (int round = 0; round < 20; ++round)
                chain->removeTimePeriodAtIndex(t * 100 + round);
        });
    }
    for (auto &thread : threads)
        thread.join();
    int reports = 0;
    for (const QString &line : log.lines())
        if (line.startsWith("Error Domain=com.kova.dates.ErrorDomain Code=1 "))
            ++reports;
    EXPECT_EQ(reports, kThreads * 20);
    EXPECT_TRUE(log.contains(
        "Error Domain=com.kova.dates.ErrorDomain Code=1 \"Operation was unsuccessful.\" "
        "UserInfo={NSLocalizedDescription=Operation was unsuccessful., "
        "NSLocalizedFailureReason=Attempted to remove KDTimePeriod at index 519 but the group is of size [0...0]., "
        "NSLocalizedRecoverySuggestion=Please try an index within the bounds of the group.}"));
}

} // namespace
