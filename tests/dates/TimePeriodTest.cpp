#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <optional>

#include "dates/KDError.h"
#include "dates/KDTimePeriod.h"
#include "dates/KDTimePeriodCollection.h"
#include "dates/KovaDates.h"
#include "dates/platform/DateEnvironment.h"
#include "tests/dates/DatesTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using kova::KDError;
using kova::KDPeriodAnchor;
using kova::KDPeriodBoundsMode;
using kova::KDPeriodRelationCode;
using kova::KDPeriodUnit;
using kova::KDTimePeriod;
using Period = std::shared_ptr<KDTimePeriod>;

class SpecialPeriod : public KDTimePeriod {
public:
    using KDTimePeriod::KDTimePeriod;
};

class TimePeriod : public kova::test::DatesTest {
protected:
    static Period period(const QDateTime &start, const QDateTime &end) { return KDTimePeriod::timePeriodWithStartDate(start, end); }
};

// ------------------------------------------------------- relation oracle

// Where an instant lies against a period: a formulation independent of the
// table of conditions.
enum class Place { Before, AtStart, Inside, AtEnd, After };

Place place(qint64 t, qint64 start, qint64 end)
{
    if (t < start)
        return Place::Before;
    if (t == start)
        return Place::AtStart;
    if (t < end)
        return Place::Inside;
    if (t == end)
        return Place::AtEnd;
    return Place::After;
}

int oracle(const KDTimePeriod &p, const KDTimePeriod &r)
{
    if (!p.hasStartDate() || !p.hasEndDate() || !r.hasStartDate() || !r.hasEndDate())
        return 13;
    const qint64 ps = p.StartDate().toMSecsSinceEpoch(), pe = p.EndDate().toMSecsSinceEpoch();
    const qint64 rs = r.StartDate().toMSecsSinceEpoch(), re = r.EndDate().toMSecsSinceEpoch();
    if (ps >= pe || rs >= re)
        return 13;
    // Rows: where p starts; columns: where p ends.
    constexpr int kX = -1; // impossible for a forward p
    static constexpr int table[5][5] = {
        /* start Before  */ {0, 1, 2, 9, 8},
        /* start AtStart */ {kX, kX, 4, 7, 3},
        /* start Inside  */ {kX, kX, 5, 6, 10},
        /* start AtEnd   */ {kX, kX, kX, kX, 11},
        /* start After   */ {kX, kX, kX, kX, 12},
    };
    const int code = table[int(place(ps, rs, re))][int(place(pe, rs, re))];
    EXPECT_NE(code, kX);
    return code;
}

TEST_F(TimePeriod, RelationOracleOverEveryPairOfAGrid)
{
    // Four instants, every ordered pair of them (forward, moments and
    // reversed periods), and periods with missing dates.
    const std::array<QDateTime, 4> t{berlin(2024, 1, 1), berlin(2024, 1, 2), berlin(2024, 1, 3), berlin(2024, 1, 4)};
    QList<Period> grid;
    for (const QDateTime &start : t)
        for (const QDateTime &end : t)
            grid << period(start, end);
    grid << period(QDateTime(), t[1]) << period(t[1], QDateTime()) << period(QDateTime(), QDateTime());
    const QSet<int> intersecting{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const QSet<int> overlapping{2, 3, 4, 5, 6, 7, 8, 9, 10};
    const QSet<int> apart{0, 12};
    // p relative to r, seen from the other side.
    const QMap<int, int> mirror{{0, 12}, {1, 11}, {2, 10}, {3, 4}, {4, 3}, {5, 8}, {6, 9}, {7, 7},
                                {8, 5},  {9, 6},  {10, 2}, {11, 1}, {12, 0}, {13, 13}};
    int checked = 0;
    QSet<int> seen;
    for (const Period &r : grid) {
        for (const Period &p : grid) {
            const int code = int(r->relationToPeriod(p));
            const int expected = oracle(*p, *r);
            ASSERT_EQ(code, expected) << "p " << p->StartDate().toString().toStdString() << " - "
                                      << p->EndDate().toString().toStdString() << ", r "
                                      << r->StartDate().toString().toStdString() << " - " << r->EndDate().toString().toStdString();
            seen.insert(code);
            EXPECT_EQ(int(p->relationToPeriod(r)), mirror.value(code));
            if (code == 13) {
                if (!p->hasStartDate() || !p->hasEndDate() || !r->hasStartDate() || !r->hasEndDate()) {
                    EXPECT_FALSE(r->intersects(p));
                    EXPECT_FALSE(r->overlapsWith(p));
                    EXPECT_FALSE(r->isInside(p));
                    EXPECT_FALSE(r->contains(p));
                    EXPECT_EQ(r->gapBetween(p), 0.0);
                    EXPECT_FALSE(r->isEqualToPeriod(p));
                }
                continue;
            }
            EXPECT_EQ(r->intersects(p), intersecting.contains(code)) << code;
            EXPECT_EQ(p->intersects(r), intersecting.contains(code)) << code;
            EXPECT_EQ(r->overlapsWith(p), overlapping.contains(code)) << code;
            EXPECT_EQ(p->overlapsWith(r), overlapping.contains(code)) << code;
            EXPECT_EQ(r->gapBetween(p) > 0, apart.contains(code)) << code;
            EXPECT_EQ(r->gapBetween(p), p->gapBetween(r));
            EXPECT_EQ(r->isInside(p), QSet<int>({3, 7, 8, 9}).contains(code)) << code;
            EXPECT_EQ(r->contains(p), QSet<int>({4, 5, 6, 7}).contains(code)) << code;
            EXPECT_EQ(r->isEqualToPeriod(p), code == 7);
            ++checked;
        }
    }
    EXPECT_EQ(checked, 36); // the 6 forward periods against each other
    EXPECT_TRUE(seen.contains(13));
}

TEST_F(TimePeriod, AllThirteenRelationsAppearOnAFinerGrid)
{
    std::array<QDateTime, 8> t;
    for (int i = 0; i < 8; ++i)
        t[i] = berlin(2024, 1, 1 + i);
    const Period r = period(t[2], t[5]);
    QSet<int> seen;
    for (const QDateTime &start : t)
        for (const QDateTime &end : t)
            if (start < end) {
                const Period p = period(start, end);
                const int code = int(r->relationToPeriod(p));
                EXPECT_EQ(code, oracle(*p, *r));
                seen.insert(code);
            }
    EXPECT_EQ(seen.size(), 13);
    EXPECT_FALSE(seen.contains(13));
}

TEST_F(TimePeriod, TouchingMomentsAndGaps)
{
    const QDateTime nine = berlin(2024, 5, 1, 9), ten = berlin(2024, 5, 1, 10), eleven = berlin(2024, 5, 1, 11);
    const Period r = period(ten, eleven), before = period(nine, ten);
    EXPECT_EQ(r->relationToPeriod(before), KDPeriodRelationCode::EndTouching);
    EXPECT_TRUE(r->intersects(before));
    EXPECT_FALSE(r->overlapsWith(before));
    EXPECT_EQ(r->gapBetween(before), 0.0);

    const Period later = period(berlin(2024, 5, 1, 12), berlin(2024, 5, 1, 13));
    EXPECT_EQ(r->gapBetween(later), 3600.0);
    EXPECT_EQ(later->gapBetween(r), 3600.0);
    EXPECT_EQ(period(nine, nine.addMSecs(1500))->gapBetween(period(nine.addMSecs(2000), ten)), 0.5);

    const Period moment = period(ten, ten);
    EXPECT_TRUE(moment->isMoment());
    EXPECT_FALSE(r->isMoment());
    EXPECT_FALSE(period(ten, QDateTime())->isMoment());
    EXPECT_EQ(r->relationToPeriod(moment), KDPeriodRelationCode::None);
    EXPECT_EQ(moment->relationToPeriod(r), KDPeriodRelationCode::None);
    EXPECT_EQ(r->relationToPeriod(nullptr), KDPeriodRelationCode::None);
    EXPECT_FALSE(r->intersects(nullptr));
    EXPECT_EQ(r->gapBetween(nullptr), 0.0);
}

TEST_F(TimePeriod, ContainsDateByBoundsMode)
{
    const QDateTime start = berlin(2024, 5, 1), end = berlin(2024, 5, 2);
    const Period p = period(start, end);
    EXPECT_FALSE(p->containsDate(start, KDPeriodBoundsMode::Open));
    EXPECT_TRUE(p->containsDate(start, KDPeriodBoundsMode::Closed));
    EXPECT_FALSE(p->containsDate(start, KDPeriodBoundsMode(2)));
    EXPECT_TRUE(p->containsDate(end, KDPeriodBoundsMode::Closed));
    EXPECT_FALSE(p->containsDate(end, KDPeriodBoundsMode::Open));
    EXPECT_TRUE(p->containsDate(start.addSecs(1), KDPeriodBoundsMode::Open));
    EXPECT_FALSE(p->containsDate(end.addSecs(1), KDPeriodBoundsMode::Closed));
    EXPECT_FALSE(p->containsDate(QDateTime(), KDPeriodBoundsMode::Closed));
    EXPECT_FALSE(period(start, QDateTime())->containsDate(start, KDPeriodBoundsMode::Closed));
}

TEST_F(TimePeriod, Durations)
{
    const Period p = period(berlin(2020, 1, 1), berlin(2022, 6, 1));
    EXPECT_EQ(p->durationInYears(), 2.0);
    EXPECT_EQ(period(berlin(2022, 6, 1), berlin(2020, 1, 1))->durationInYears(), 0.0);
    EXPECT_EQ(p->durationInWeeks(), 126.0);
    EXPECT_EQ(p->durationInDays(), 882.0);
    // Elapsed time, with one more spring-forward than fall-back night inside.
    EXPECT_EQ(p->durationInHours(), 882.0 * 24 - 1);
    EXPECT_EQ(p->durationInMinutes(), (882.0 * 24 - 1) * 60);
    EXPECT_EQ(p->durationInSeconds(), (882.0 * 24 - 1) * 3600);
    EXPECT_EQ(period(berlin(2024, 1, 1), berlin(2024, 1, 1, 0, 0, 1, 500))->durationInSeconds(), 1.5);
    for (const Period &partial : {period(QDateTime(), berlin(2024, 1, 1)), period(berlin(2024, 1, 1), QDateTime()), Period(new KDTimePeriod)}) {
        EXPECT_EQ(partial->durationInYears(), 0.0);
        EXPECT_EQ(partial->durationInWeeks(), 0.0);
        EXPECT_EQ(partial->durationInDays(), 0.0);
        EXPECT_EQ(partial->durationInHours(), 0.0);
        EXPECT_EQ(partial->durationInMinutes(), 0.0);
        EXPECT_EQ(partial->durationInSeconds(), 0.0);
        EXPECT_FALSE(partial->hasStartDate() && partial->hasEndDate());
    }
}

TEST_F(TimePeriod, EqualityInsideAndContains)
{
    const Period a = period(berlin(2024, 1, 1), berlin(2024, 1, 10));
    EXPECT_TRUE(a->isEqualToPeriod(period(berlin(2024, 1, 1), berlin(2024, 1, 10))));
    EXPECT_TRUE(a->isEqualToPeriod(period(berlin(2024, 1, 1).toTimeZone(QTimeZone("Asia/Tokyo")), berlin(2024, 1, 10))));
    EXPECT_FALSE(a->isEqualToPeriod(period(berlin(2024, 1, 1), berlin(2024, 1, 11))));
    EXPECT_FALSE(period(QDateTime(), QDateTime())->isEqualToPeriod(period(QDateTime(), QDateTime())));
    EXPECT_FALSE(a->isEqualToPeriod(nullptr));
    const Period inner = period(berlin(2024, 1, 2), berlin(2024, 1, 10));
    EXPECT_TRUE(inner->isInside(a));
    EXPECT_TRUE(a->contains(inner));
    EXPECT_FALSE(a->isInside(inner));
    EXPECT_TRUE(a->isInside(a));
    EXPECT_FALSE(inner->isInside(nullptr));
}

TEST_F(TimePeriod, FactoriesByUnit)
{
    const QDateTime jan31 = berlin(2024, 1, 31, 10);
    const Period month = KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Month, jan31);
    EXPECT_EQ(month->StartDate(), jan31);
    EXPECT_EQ(month->EndDate(), berlin(2024, 2, 29, 10));
    const Period days = KDTimePeriod::timePeriodWithSizeEndingAt(KDPeriodUnit::Day, 2, jan31);
    EXPECT_EQ(days->StartDate(), berlin(2024, 1, 29, 10));
    EXPECT_EQ(days->EndDate(), jan31);
    EXPECT_EQ(KDTimePeriod::timePeriodWithSizeEndingAt(KDPeriodUnit::Week, jan31)->StartDate(), berlin(2024, 1, 24, 10));
    const QList<std::pair<KDPeriodUnit, QDateTime>> ends{
        {KDPeriodUnit::Second, jan31.addSecs(3)},          {KDPeriodUnit::Minute, jan31.addSecs(180)},
        {KDPeriodUnit::Hour, jan31.addSecs(3 * 3600)},     {KDPeriodUnit::Day, berlin(2024, 2, 3, 10)},
        {KDPeriodUnit::Week, berlin(2024, 2, 21, 10)},     {KDPeriodUnit::Month, berlin(2024, 4, 30, 10)},
        {KDPeriodUnit::Year, berlin(2027, 1, 31, 10)},     {KDPeriodUnit(7), jan31},
        {KDPeriodUnit(-1), jan31}};
    for (const auto &[unit, end] : ends) {
        EXPECT_EQ(KDTimePeriod::timePeriodWithSize(unit, 3, jan31)->EndDate(), end) << int(unit);
        EXPECT_EQ(KDTimePeriod::dateWithAddedTime(unit, 3, jan31), end) << int(unit);
    }
    EXPECT_EQ(KDTimePeriod::dateWithSubtractedTime(KDPeriodUnit::Month, 1, berlin(2024, 3, 31)), berlin(2024, 2, 29));
    EXPECT_EQ(KDTimePeriod::dateWithSubtractedTime(KDPeriodUnit(7), 1, jan31), jan31);

    const Period all = KDTimePeriod::timePeriodWithAllTime();
    EXPECT_EQ(all->StartDate().toSecsSinceEpoch(), -62135769600);
    EXPECT_EQ(all->EndDate().toSecsSinceEpoch(), 64092211200);

    // Factories make the class they are asked for; copies are plain periods.
    const auto special = KDTimePeriod::timePeriodWithSize<SpecialPeriod>(KDPeriodUnit::Day, jan31);
    static_assert(std::is_same_v<decltype(special), const std::shared_ptr<SpecialPeriod>>);
    EXPECT_EQ(special->EndDate(), berlin(2024, 2, 1, 10));
    EXPECT_EQ(typeid(*KDTimePeriod::timePeriodWithAllTime<SpecialPeriod>()), typeid(SpecialPeriod));
    EXPECT_EQ(typeid(*special->copy()), typeid(KDTimePeriod));
}

TEST_F(TimePeriod, ShiftsMoveStartThenEndByTheFullAmount)
{
    const Period p = period(berlin(2024, 1, 31), berlin(2024, 2, 29));
    p->shiftLaterWithSize(KDPeriodUnit::Month);
    EXPECT_EQ(p->StartDate(), berlin(2024, 2, 29));
    EXPECT_EQ(p->EndDate(), berlin(2024, 3, 29));
    p->shiftEarlierWithSize(KDPeriodUnit::Day, 29);
    EXPECT_EQ(p->StartDate(), berlin(2024, 1, 31));
    EXPECT_EQ(p->EndDate(), berlin(2024, 2, 29));
    p->shiftLaterWithSize(KDPeriodUnit::Hour, 2);
    EXPECT_EQ(p->StartDate(), berlin(2024, 1, 31, 2));
    p->shiftEarlierWithSize(KDPeriodUnit::Hour, 2);
    for (int unit : {7, 8, -1, 100}) {
        p->shiftLaterWithSize(KDPeriodUnit(unit), 5);
        p->shiftEarlierWithSize(KDPeriodUnit(unit));
        p->lengthenWithAnchorDate(KDPeriodAnchor::Center, KDPeriodUnit(unit), 4);
        p->shortenWithAnchorDate(KDPeriodAnchor::Start, KDPeriodUnit(unit), 4);
    }
    EXPECT_EQ(p->StartDate(), berlin(2024, 1, 31));
    EXPECT_EQ(p->EndDate(), berlin(2024, 2, 29));
    // More seconds than 32 bits hold, exactly; years beyond the calendar's
    // range leave no date rather than a wrapped one.
    p->shiftLaterWithSize(KDPeriodUnit::Second, 5'000'000'000);
    EXPECT_EQ(p->StartDate(), berlin(2024, 1, 31).addSecs(5'000'000'000));
    p->shiftLaterWithSize(KDPeriodUnit::Year, std::numeric_limits<qint64>::max());
    EXPECT_FALSE(p->hasStartDate());
    EXPECT_FALSE(p->hasEndDate());
    const Period empty(new KDTimePeriod);
    empty->shiftLaterWithSize(KDPeriodUnit::Day, 1);
    EXPECT_FALSE(empty->hasStartDate());
}

TEST_F(TimePeriod, LengthenAndShortenAroundAnAnchor)
{
    const QDateTime start = berlin(2024, 5, 10), end = berlin(2024, 5, 20);
    auto resized = [&](bool lengthen, KDPeriodAnchor anchor, KDPeriodUnit unit, qint64 amount) {
        const Period p = period(start, end);
        if (lengthen)
            p->lengthenWithAnchorDate(anchor, unit, amount);
        else
            p->shortenWithAnchorDate(anchor, unit, amount);
        return std::pair{p->StartDate(), p->EndDate()};
    };
    EXPECT_EQ(resized(true, KDPeriodAnchor::Start, KDPeriodUnit::Day, 2), std::pair(start, berlin(2024, 5, 22)));
    EXPECT_EQ(resized(true, KDPeriodAnchor::Center, KDPeriodUnit::Day, 3), std::pair(berlin(2024, 5, 9), berlin(2024, 5, 21)));
    EXPECT_EQ(resized(true, KDPeriodAnchor::Center, KDPeriodUnit::Day, -3), std::pair(berlin(2024, 5, 11), berlin(2024, 5, 19)));
    EXPECT_EQ(resized(true, KDPeriodAnchor::End, KDPeriodUnit::Week, 1), std::pair(berlin(2024, 5, 3), end));
    EXPECT_EQ(resized(false, KDPeriodAnchor::Start, KDPeriodUnit::Day, 2), std::pair(start, berlin(2024, 5, 18)));
    EXPECT_EQ(resized(false, KDPeriodAnchor::Center, KDPeriodUnit::Day, 5), std::pair(berlin(2024, 5, 12), berlin(2024, 5, 18)));
    EXPECT_EQ(resized(false, KDPeriodAnchor::End, KDPeriodUnit::Day, 12), std::pair(berlin(2024, 5, 22), end));
    EXPECT_EQ(resized(true, KDPeriodAnchor(3), KDPeriodUnit::Day, 2), std::pair(start, end));
    EXPECT_EQ(resized(false, KDPeriodAnchor(-1), KDPeriodUnit::Day, 2), std::pair(start, end));
    const Period one = period(start, end);
    one->lengthenWithAnchorDate(KDPeriodAnchor::Start, KDPeriodUnit::Month);
    one->shortenWithAnchorDate(KDPeriodAnchor::End, KDPeriodUnit::Day);
    EXPECT_EQ(one->StartDate(), berlin(2024, 5, 11));
    EXPECT_EQ(one->EndDate(), berlin(2024, 6, 20));
}

TEST_F(TimePeriod, CopiesAreNewDatesAndMissingOnesBecomeNineteenSeventy)
{
    const Period p = period(berlin(2024, 1, 1, 0, 0, 0, 5), QDateTime());
    const Period c = p->copy();
    EXPECT_NE(c.get(), p.get());
    EXPECT_EQ(c->StartDate(), p->StartDate());
    EXPECT_EQ(c->EndDate(), QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    const Period none = KDTimePeriod().copy();
    EXPECT_EQ(none->StartDate(), QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    EXPECT_EQ(none->EndDate(), QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    c->shiftLaterWithSize(KDPeriodUnit::Day);
    EXPECT_EQ(p->StartDate(), berlin(2024, 1, 1, 0, 0, 0, 5));
}

// ----------------------------------------------------------------- errors

class DateErrors : public kova::test::DatesTest {};

TEST_F(DateErrors, OutOfBoundsInsertLogsTheErrorAndTheCallStack)
{
    auto collection = kova::KDTimePeriodCollection::collection();
    collection->addTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Day, berlin(2024, 1, 1)));
    collection->addTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Day, berlin(2024, 1, 2)));
    kova::test::LogCapture log;
    collection->insertTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Day, berlin(2024, 1, 3)), 5);
    EXPECT_EQ(collection->count(), 2);
    const QStringList lines = log.lines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.first(),
              "Error Domain=com.kova.dates.ErrorDomain Code=0 \"Operation was unsuccessful.\" "
              "UserInfo={NSLocalizedDescription=Operation was unsuccessful., "
              "NSLocalizedFailureReason=Attempted to insert KDTimePeriod at index 5 but the group is of size [0...2]., "
              "NSLocalizedRecoverySuggestion=Please try an index within the bounds or the group.}");
    for (qsizetype i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(lines.at(i).startsWith("\n\n ") && lines.at(i).size() > 3) << lines.at(i).toStdString();
}

TEST_F(DateErrors, ReasonsAndSuggestionsOfEachCode)
{
    kova::test::LogCapture log;
    KDError::throwRemoveOutOfBoundsException(-1, {});
    KDError::throwBadTypeException(static_cast<const KDTimePeriod *>(nullptr), "KDTimePeriod");
    const SpecialPeriod special;
    KDError::throwBadTypeException(&special, "KDTimePeriod");
    KDError::throwBadTypeException("%1 %2 %@", "KDTimePeriodChain");
    QStringList errors;
    for (const QString &line : log.lines())
        if (line.startsWith("Error Domain="))
            errors << line;
    ASSERT_EQ(errors.size(), 4);
    EXPECT_EQ(errors[0],
              "Error Domain=com.kova.dates.ErrorDomain Code=1 \"Operation was unsuccessful.\" "
              "UserInfo={NSLocalizedDescription=Operation was unsuccessful., "
              "NSLocalizedFailureReason=Attempted to remove KDTimePeriod at index -1 but the group is of size [0...0]., "
              "NSLocalizedRecoverySuggestion=Please try an index within the bounds of the group.}");
    EXPECT_TRUE(errors[1].contains("Code=2 "));
    EXPECT_TRUE(errors[1].contains(
        "NSLocalizedFailureReason=Attempted to insert object of class (null) when expecting object of class KDTimePeriod., "
        "NSLocalizedRecoverySuggestion=Please try again by inserting a KDTimePeriod object.}"));
    EXPECT_TRUE(errors[2].contains("object of class (anonymous namespace)::SpecialPeriod when expecting object of class KDTimePeriod."))
        << errors[2].toStdString();
    EXPECT_TRUE(errors[3].contains("object of class %1 %2 %@ when expecting object of class KDTimePeriodChain."));
    EXPECT_EQ(kova::KDErrorDomain, "com.kova.dates.ErrorDomain");
}

TEST_F(DateErrors, DescriptionAndSuggestionComeFromTheHostsBundle)
{
    QTemporaryDir root;
    QDir().mkpath(root.path() + "/en.lproj");
    QFile table(root.path() + "/en.lproj/Localizable.json");
    ASSERT_TRUE(table.open(QIODevice::WriteOnly));
    table.write(R"({"Operation was unsuccessful.": "Nope %d %@.",
                    "Please try again by inserting a KDTimePeriod object.": "Use a period.",
                    "Attempted to insert object of class %@ when expecting object of class %@.": "never used"})");
    table.close();
    KDError::setMainBundle(kova::platform::Bundle::atPath(root.path()));
    kova::test::LogCapture log;
    KDError::throwBadTypeException("QString", "KDTimePeriod");
    KDError::setMainBundle(nullptr);
    ASSERT_FALSE(log.lines().isEmpty());
    EXPECT_EQ(log.lines().first(),
              "Error Domain=com.kova.dates.ErrorDomain Code=2 \"Nope %d %@.\" UserInfo={NSLocalizedDescription=Nope %d %@., "
              "NSLocalizedFailureReason=Attempted to insert object of class QString when expecting object of class KDTimePeriod., "
              "NSLocalizedRecoverySuggestion=Use a period.}");
}

} // namespace
