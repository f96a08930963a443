// Time-ago texts and period relations per second, each against a raw
// baseline measured in the same run:
//  - time ago: the ICU calendar calls that find the same distance (hours,
//    minutes, seconds; past a day, the calendar-day difference in years,
//    months, weeks and days) on one prepared calendar, without any text;
//  - relations: the same comparisons made directly on the four instants as
//    ICU millisecond values.
// Prints each figure and its ratio to the baseline.
#include <QDateTime>
#include <QTimeZone>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <unicode/calendar.h>
#include <unicode/timezone.h>
#include <vector>

#include "dates/KDTimePeriod.h"
#include "dates/KovaDates.h"
#include "dates/platform/DateEnvironment.h"
#include "platform/foundation/Bundle.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile long long g_sink = 0;

// Operations per second of the best of a few runs.
double rate(std::size_t operations, const std::function<long long()> &run)
{
    double best = 0;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        g_sink = g_sink + run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        best = std::max(best, double(operations) / seconds);
    }
    return best;
}

struct Pair {
    QDateTime earlier;
    QDateTime later;
};

std::vector<Pair> pairs(std::mt19937_64 &random, qint64 minSeconds, qint64 maxSeconds, std::size_t count)
{
    const qint64 base = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    std::uniform_int_distribution<qint64> start(0, 3LL * 365 * 86400), span(minSeconds, maxSeconds);
    std::vector<Pair> result;
    for (std::size_t i = 0; i < count; ++i) {
        const QDateTime earlier = QDateTime::fromSecsSinceEpoch(base + start(random), Qt::UTC);
        result.push_back({earlier, earlier.addSecs(span(random))});
    }
    return result;
}

// The distance the time-ago text is made from, with ICU alone.
long long rawDistance(icu::Calendar &cal, double earlier, double later)
{
    UErrorCode status = U_ZERO_ERROR;
    cal.setTime(earlier, status);
    const int32_t hours = cal.fieldDifference(later, UCAL_HOUR_OF_DAY, status);
    const int32_t minutes = cal.fieldDifference(later, UCAL_MINUTE, status);
    const int32_t seconds = cal.fieldDifference(later, UCAL_SECOND, status);
    if (hours < 24)
        return hours ? hours : minutes ? minutes : seconds;
    auto dayStart = [&](double at) {
        cal.setTime(at, status);
        const int32_t y = cal.get(UCAL_YEAR, status), m = cal.get(UCAL_MONTH, status), d = cal.get(UCAL_DATE, status);
        cal.clear();
        cal.set(y, m, d);
        return cal.getTime(status);
    };
    const double from = dayStart(earlier), to = dayStart(later);
    cal.setTime(from, status);
    const int32_t years = cal.fieldDifference(to, UCAL_YEAR, status);
    const int32_t months = cal.fieldDifference(to, UCAL_MONTH, status);
    const int32_t weeks = cal.fieldDifference(to, UCAL_WEEK_OF_YEAR, status);
    const int32_t days = cal.fieldDifference(to, UCAL_DATE, status);
    return years ? years : months ? months : weeks ? weeks : days;
}

int rawRelation(double ps, double pe, double rs, double re)
{
    if (!(rs < re) || !(ps < pe))
        return 13;
    if (pe < rs) return 0;
    if (pe == rs) return 1;
    if (ps < rs && pe < re) return 2;
    if (ps == rs && pe > re) return 3;
    if (ps == rs && pe < re) return 4;
    if (ps > rs && pe < re) return 5;
    if (ps > rs && pe == re) return 6;
    if (ps == rs && pe == re) return 7;
    if (ps < rs && pe > re) return 8;
    if (ps < rs && pe == re) return 9;
    if (ps < re && pe > re) return 10;
    if (ps == re && pe > re) return 11;
    if (ps > re) return 12;
    return 13;
}

} // namespace

int main()
{
    using namespace kova;
    platform::DateEnvironment::setSystemTimeZoneOverride(QTimeZone("Europe/Berlin"));
    platform::DateEnvironment::setCurrentLocaleOverride(QLocale(QLocale::English, QLocale::UnitedStates));
    platform::Bundle::setPreferredLanguages({QStringLiteral("en")});

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> cal(
        icu::Calendar::createInstance(icu::TimeZone::createTimeZone("Europe/Berlin"), icu::Locale("en_US@calendar=gregorian"), status));
    if (U_FAILURE(status)) {
        std::fprintf(stderr, "no ICU calendar\n");
        return 1;
    }

    std::mt19937_64 random(20240615);
    constexpr std::size_t kPairs = 20000;
    const struct {
        const char *name;
        std::vector<Pair> pairs;
    } sets[] = {
        {"under a day", pairs(random, 0, 86399, kPairs)},
        {"days", pairs(random, 86400, 27 * 86400, kPairs)},
        {"months", pairs(random, 31 * 86400, 730 * 86400, kPairs)},
    };

    std::printf("time-ago texts (style 0, Europe/Berlin, en)\n");
    double worst = 1e9;
    for (const auto &set : sets) {
        const double ours = rate(set.pairs.size(), [&] {
            long long total = 0;
            for (const Pair &p : set.pairs)
                total += KovaDates::timeAgoSinceDate(p.earlier, p.later, KDTimeAgoStyle::Words).size();
            return total;
        });
        const double raw = rate(set.pairs.size(), [&] {
            long long total = 0;
            for (const Pair &p : set.pairs)
                total += rawDistance(*cal, double(p.earlier.toMSecsSinceEpoch()), double(p.later.toMSecsSinceEpoch()));
            return total;
        });
        worst = std::min(worst, ours / raw);
        std::printf("  %-12s %10.0f texts/s   raw ICU %10.0f/s   ratio %.2f\n", set.name, ours, raw, ours / raw);
    }

    // Periods over a small span so that every relation occurs.
    std::uniform_int_distribution<int> hour(0, 48);
    std::vector<std::pair<std::shared_ptr<KDTimePeriod>, std::shared_ptr<KDTimePeriod>>> periods;
    std::vector<std::array<double, 4>> instants;
    const QDateTime origin(QDate(2024, 6, 1), QTime(0, 0), Qt::UTC);
    for (std::size_t i = 0; i < kPairs * 5; ++i) {
        std::array<int, 4> h{hour(random), hour(random), hour(random), hour(random)};
        if (h[0] > h[1]) std::swap(h[0], h[1]);
        if (h[2] > h[3]) std::swap(h[2], h[3]);
        auto at = [&](int hours) { return origin.addSecs(hours * 3600LL); };
        periods.emplace_back(KDTimePeriod::timePeriodWithStartDate(at(h[0]), at(h[1])),
                             KDTimePeriod::timePeriodWithStartDate(at(h[2]), at(h[3])));
        instants.push_back({double(at(h[0]).toMSecsSinceEpoch()), double(at(h[1]).toMSecsSinceEpoch()),
                            double(at(h[2]).toMSecsSinceEpoch()), double(at(h[3]).toMSecsSinceEpoch())});
    }
    const double ours = rate(periods.size(), [&] {
        long long total = 0;
        for (const auto &[p, r] : periods)
            total += int(r->relationToPeriod(p));
        return total;
    });
    const double raw = rate(instants.size(), [&] {
        long long total = 0;
        for (const auto &i : instants)
            total += rawRelation(i[0], i[1], i[2], i[3]);
        return total;
    });
    std::printf("period relations\n  %-12s %10.0f checks/s  raw      %10.0f/s   ratio %.2f\n", "", ours, raw, ours / raw);
    std::printf("time-ago worst ratio %.2f (goal >= 0.50)\n", worst);
    return 0;
}
