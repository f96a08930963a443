#include <algorithm>
#include <random>

#include "dates/KDTimePeriodChain.h"
#include "dates/KDTimePeriodCollection.h"
#include "dates/KovaDates.h"
#include "dates/platform/DateEnvironment.h"
#include "tests/dates/DatesTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using kova::KDPeriodUnit;
using kova::KDTimePeriod;
using kova::KDTimePeriodChain;
using kova::KDTimePeriodCollection;
using kova::KDTimePeriodGroup;
using kova::KovaDates;
using kova::platform::DateEnvironment;
using Period = std::shared_ptr<KDTimePeriod>;

class SpecialPeriod : public KDTimePeriod {
public:
    using KDTimePeriod::KDTimePeriod;
};

class SpecialCollection : public KDTimePeriodCollection {};

class PeriodGroups : public kova::test::DatesTest {
protected:
    static Period period(const QDateTime &start, const QDateTime &end) { return KDTimePeriod::timePeriodWithStartDate(start, end); }
    static Period days(int day, int count) { return KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Day, count, berlin(2024, 1, day)); }
    template <typename Group>
    static QList<Period> periodsOf(const Group &group)
    {
        QList<Period> list;
        for (qint64 i = 0; i < group.count(); ++i)
            list << group.objectAtIndexedSubscript(i);
        return list;
    }
    // The error lines of a log, without the call stacks.
    static QStringList errors(const kova::test::LogCapture &log)
    {
        QStringList found;
        for (const QString &line : log.lines())
            if (line.startsWith("Error Domain="))
                found << line;
        return found;
    }
    static QString reason(const QString &error)
    {
        const qsizetype from = error.indexOf("NSLocalizedFailureReason=") + 25;
        return error.mid(from, error.indexOf(", NSLocalizedRecoverySuggestion=") - from);
    }
};

// -------------------------------------------------------------- the group

TEST_F(PeriodGroups, SubscriptsCountsAndDurations)
{
    auto collection = KDTimePeriodCollection::collection();
    EXPECT_EQ(collection->count(), 0);
    EXPECT_FALSE(collection->StartDate().isValid());
    EXPECT_EQ(collection->durationInSeconds(), 0.0);
    const Period a = days(1, 9), b = days(5, 15);
    collection->addTimePeriod(a);
    collection->addTimePeriod(b);
    EXPECT_EQ(collection->objectAtIndexedSubscript(0), a);
    EXPECT_EQ(collection->objectAtIndexedSubscript(1), b);
    EXPECT_EQ(collection->objectAtIndexedSubscript(2), nullptr);
    EXPECT_EQ(collection->objectAtIndexedSubscript(-1), nullptr);
    EXPECT_EQ(collection->durationInDays(), 19.0);
    EXPECT_EQ(collection->durationInWeeks(), 2.0);
    EXPECT_EQ(collection->durationInYears(), 0.0);
    EXPECT_EQ(collection->durationInHours(), 19.0 * 24);
    EXPECT_EQ(collection->durationInMinutes(), 19.0 * 24 * 60);
    EXPECT_EQ(collection->durationInSeconds(), 19.0 * 24 * 3600);

    // The setter replaces or appends, checks no class and leaves the bounds.
    const auto special = std::make_shared<SpecialPeriod>(berlin(2023, 1, 1), berlin(2023, 1, 2));
    collection->setObject(special, 1);
    collection->setObject(days(28, 1), 2);
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{a, special, collection->objectAtIndexedSubscript(2)}));
    EXPECT_EQ(collection->StartDate(), berlin(2024, 1, 1));
    kova::test::LogCapture log;
    collection->setObject(days(1, 1), 4);
    collection->setObject(nullptr, 0);
    EXPECT_EQ(collection->count(), 3);
    EXPECT_EQ(collection->objectAtIndexedSubscript(0), a);
    const QStringList found = errors(log);
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(reason(found[0]), "Attempted to insert KDTimePeriod at index 4 but the group is of size [0...3].");
    EXPECT_EQ(reason(found[1]), "Attempted to insert object of class (null) when expecting object of class KDTimePeriod.");
}

TEST_F(PeriodGroups, SameCharacteristics)
{
    auto a = KDTimePeriodCollection::collection(), b = KDTimePeriodCollection::collection();
    EXPECT_TRUE(a->hasSameCharacteristicsAs(b));
    a->addTimePeriod(days(1, 3));
    EXPECT_FALSE(a->hasSameCharacteristicsAs(b));
    b->addTimePeriod(days(1, 3));
    EXPECT_TRUE(a->hasSameCharacteristicsAs(b));
    b->addTimePeriod(days(2, 1));
    a->addTimePeriod(days(1, 2));
    EXPECT_TRUE(a->hasSameCharacteristicsAs(b)); // same count, start and end; other periods
    EXPECT_FALSE(a->hasSameCharacteristicsAs(nullptr));
    auto chain = KDTimePeriodChain::chain();
    chain->addTimePeriod(days(1, 3));
    chain->addTimePeriod(period(berlin(2024, 1, 1), berlin(2024, 1, 1)));
    EXPECT_TRUE(a->hasSameCharacteristicsAs(chain));
}

TEST_F(PeriodGroups, ShiftingEveryPeriod)
{
    auto collection = KDTimePeriodCollection::collection();
    collection->addTimePeriod(days(31, 1));
    collection->addTimePeriod(period(berlin(2024, 1, 10), berlin(2024, 1, 31)));
    collection->shiftLaterWithSize(KDPeriodUnit::Month);
    EXPECT_EQ(collection->objectAtIndexedSubscript(0)->StartDate(), berlin(2024, 2, 29));
    EXPECT_EQ(collection->objectAtIndexedSubscript(0)->EndDate(), berlin(2024, 3, 1));
    EXPECT_EQ(collection->StartDate(), berlin(2024, 2, 10));
    EXPECT_EQ(collection->EndDate(), berlin(2024, 3, 1));
    collection->shiftEarlierWithSize(KDPeriodUnit::Week, 2);
    EXPECT_EQ(collection->StartDate(), berlin(2024, 1, 27));
    collection->shiftLaterWithSize(KDPeriodUnit(9), 2);
    EXPECT_EQ(collection->StartDate(), berlin(2024, 1, 27));
    // An empty collection that is shifted takes the collection's extremes.
    auto empty = KDTimePeriodCollection::collection();
    empty->shiftLaterWithSize(KDPeriodUnit::Day);
    EXPECT_EQ(empty->StartDate(), DateEnvironment::distantFuture());
    EXPECT_EQ(empty->EndDate(), DateEnvironment::distantPast());
    EXPECT_EQ(empty->durationInSeconds(), 0.0);
}

TEST_F(PeriodGroups, ShiftingMovesAPeriodHeldTwiceOnce)
{
    // A collection may hold the same period object twice; shifting the
    // collection by an hour moves that period by an hour, not two.
    auto collection = KDTimePeriodCollection::collection();
    const Period hour = KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Hour, berlin(2024, 1, 1, 9));
    collection->addTimePeriod(hour);
    collection->addTimePeriod(hour);
    collection->shiftLaterWithSize(KDPeriodUnit::Hour);
    EXPECT_EQ(hour->StartDate(), berlin(2024, 1, 1, 10));
    EXPECT_EQ(hour->EndDate(), berlin(2024, 1, 1, 11));
    collection->shiftEarlierWithSize(KDPeriodUnit::Day, 1);
    EXPECT_EQ(hour->StartDate(), berlin(2023, 12, 31, 10));
    EXPECT_EQ(collection->StartDate(), berlin(2023, 12, 31, 10));
}

// --------------------------------------------------------- the collection

TEST_F(PeriodGroups, CollectionBoundsFollowAddsAndRemoves)
{
    auto collection = KDTimePeriodCollection::collection();
    collection->addTimePeriod(period(berlin(2024, 1, 1), berlin(2024, 1, 10)));
    collection->addTimePeriod(period(berlin(2024, 1, 5), berlin(2024, 1, 20)));
    EXPECT_EQ(collection->StartDate(), berlin(2024, 1, 1));
    EXPECT_EQ(collection->EndDate(), berlin(2024, 1, 20));
    collection->removeTimePeriodAtIndex(0);
    EXPECT_EQ(collection->StartDate(), berlin(2024, 1, 5));
    collection->removeTimePeriodAtIndex(0);
    EXPECT_FALSE(collection->StartDate().isValid());
    EXPECT_FALSE(collection->EndDate().isValid());
    // Periods without dates leave the extremes in place.
    collection->addTimePeriod(Period(new KDTimePeriod));
    EXPECT_EQ(collection->StartDate(), DateEnvironment::distantFuture());
    EXPECT_EQ(collection->EndDate(), DateEnvironment::distantPast());
    collection->addTimePeriod(period(QDateTime(), berlin(2024, 3, 1)));
    EXPECT_EQ(collection->StartDate(), DateEnvironment::distantFuture());
    EXPECT_EQ(collection->EndDate(), berlin(2024, 3, 1));
}

TEST_F(PeriodGroups, CollectionBoundsOfPeriodsBeyondTheDistantDates)
{
    // The earliest start and the latest end, even where they lie after the
    // distant future or before the distant past.
    const Period late = period(berlin(5000, 1, 1), berlin(5000, 2, 1));
    auto collection = KDTimePeriodCollection::collection();
    collection->addTimePeriod(late);
    EXPECT_EQ(collection->StartDate(), late->StartDate());
    EXPECT_EQ(collection->EndDate(), late->EndDate());
    const QDateTime bcStart = KovaDates::dateBySubtractingYears(KovaDates::dateWithYear(1, 1, 1), 500);
    const Period early = period(bcStart, KovaDates::dateByAddingYears(bcStart, 100));
    auto old = KDTimePeriodCollection::collection();
    old->addTimePeriod(early);
    EXPECT_EQ(old->StartDate(), early->StartDate());
    EXPECT_EQ(old->EndDate(), early->EndDate());
    EXPECT_EQ(old->durationInYears(), 100.0);
}

TEST_F(PeriodGroups, CollectionInsertionAndRemovalBounds)
{
    kova::test::LogCapture log;
    auto collection = KDTimePeriodCollection::collection();
    collection->insertTimePeriod(days(1, 1), 0);
    EXPECT_EQ(collection->count(), 0);
    const Period a = days(1, 1), b = days(3, 1), c = days(5, 1);
    collection->addTimePeriod(a);
    collection->addTimePeriod(b);
    collection->insertTimePeriod(c, 2);
    collection->insertTimePeriod(c, -1);
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{a, b}));
    collection->insertTimePeriod(c, 1);
    collection->insertTimePeriod(std::make_shared<SpecialPeriod>(berlin(2023, 1, 1), berlin(2023, 1, 2)), 0);
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{a, c, b}));
    collection->removeTimePeriodAtIndex(3);
    collection->removeTimePeriodAtIndex(-1);
    EXPECT_EQ(collection->count(), 3);
    collection->removeTimePeriodAtIndex(1);
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{a, b}));
    // A subclass may be added, not inserted.
    collection->addTimePeriod(std::make_shared<SpecialPeriod>(berlin(2023, 1, 1), berlin(2023, 1, 2)));
    EXPECT_EQ(collection->count(), 3);
    EXPECT_EQ(collection->StartDate(), berlin(2023, 1, 1));
    collection->addTimePeriod(nullptr);
    EXPECT_EQ(collection->count(), 3);

    QStringList reasons;
    for (const QString &error : errors(log))
        reasons << reason(error);
    EXPECT_EQ(reasons, (QStringList{
                           "Attempted to insert KDTimePeriod at index 0 but the group is of size [0...0].",
                           "Attempted to insert KDTimePeriod at index 2 but the group is of size [0...2].",
                           "Attempted to insert KDTimePeriod at index -1 but the group is of size [0...2].",
                           "Attempted to insert object of class (anonymous namespace)::SpecialPeriod when expecting object of class KDTimePeriod.",
                           "Attempted to remove KDTimePeriod at index 3 but the group is of size [0...3].",
                           "Attempted to remove KDTimePeriod at index -1 but the group is of size [0...3].",
                           "Attempted to insert object of class (null) when expecting object of class KDTimePeriod.",
                       }));
}

TEST_F(PeriodGroups, SortingIsStableAndPutsMissingDatesFirst)
{
    auto collection = KDTimePeriodCollection::collection();
    const Period hour = KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Hour, berlin(2024, 1, 10));
    const Period day = KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Day, berlin(2024, 1, 5));
    const Period week = KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Week, berlin(2024, 1, 1));
    const Period otherDay = KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Day, berlin(2024, 1, 20));
    const Period noStart = period(QDateTime(), berlin(2024, 1, 3));
    for (const Period &p : {hour, day, week, otherDay, noStart})
        collection->addTimePeriod(p);
    const QDateTime start = collection->StartDate();

    collection->sortByStartAscending();
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{noStart, week, day, hour, otherDay}));
    collection->sortByStartDescending();
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{otherDay, hour, day, week, noStart}));
    collection->sortByEndAscending();
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{noStart, day, week, hour, otherDay}));
    collection->sortByEndDescending();
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{otherDay, hour, week, day, noStart}));
    // Equal durations keep the order they had (otherDay was before day).
    collection->sortByDurationAscending();
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{noStart, hour, otherDay, day, week}));
    collection->sortByDurationDescending();
    EXPECT_EQ(periodsOf(*collection), (QList<Period>{week, otherDay, day, hour, noStart}));
    EXPECT_EQ(collection->StartDate(), start);

    // Many equal keys: a comparator that never answers "equal" would be
    // undefined behaviour for the sort; these keep their order.
    auto many = KDTimePeriodCollection::collection();
    QList<Period> order;
    for (int i = 0; i < 200; ++i) {
        order << (i % 3 ? KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Hour, berlin(2024, 1, 1 + i % 7))
                        : period(QDateTime(), QDateTime()));
        many->addTimePeriod(order.last());
    }
    many->sortByDurationAscending();
    QList<Period> expected;
    for (const Period &p : order)
        if (p->durationInSeconds() == 0)
            expected << p;
    for (const Period &p : order)
        if (p->durationInSeconds() > 0)
            expected << p;
    EXPECT_EQ(periodsOf(*many), expected);
}

TEST_F(PeriodGroups, QueriesHoldTheSamePeriodObjects)
{
    auto collection = KDTimePeriodCollection::collection();
    const Period early = period(berlin(2024, 1, 1), berlin(2024, 1, 5));
    const Period middle = period(berlin(2024, 1, 4), berlin(2024, 1, 8));
    const Period late = period(berlin(2024, 1, 8), berlin(2024, 1, 12));
    for (const Period &p : {early, middle, late})
        collection->addTimePeriod(p);
    const Period window = period(berlin(2024, 1, 1), berlin(2024, 1, 8));

    const auto inside = collection->periodsInside(window);
    EXPECT_EQ(periodsOf(*inside), (QList<Period>{early, middle}));
    EXPECT_EQ(inside->StartDate(), berlin(2024, 1, 1));
    EXPECT_EQ(inside->EndDate(), berlin(2024, 1, 8));
    EXPECT_EQ(periodsOf(*collection->periodsIntersectedByDate(berlin(2024, 1, 8))), (QList<Period>{middle, late}));
    EXPECT_EQ(periodsOf(*collection->periodsIntersectedByDate(berlin(2024, 1, 4, 12))), (QList<Period>{early, middle}));
    EXPECT_EQ(periodsOf(*collection->periodsIntersectedByPeriod(window)), (QList<Period>{early, middle, late}));
    EXPECT_EQ(periodsOf(*collection->periodsOverlappedByPeriod(window)), (QList<Period>{early, middle}));
    const auto none = collection->periodsOverlappedByPeriod(period(berlin(2025, 1, 1), berlin(2025, 1, 2)));
    EXPECT_EQ(none->count(), 0);
    EXPECT_FALSE(none->StartDate().isValid());

    kova::test::LogCapture log;
    EXPECT_EQ(collection->periodsInside(nullptr)->count(), 0);
    EXPECT_EQ(collection->periodsIntersectedByDate(QDateTime())->count(), 0);
    EXPECT_EQ(collection->periodsIntersectedByPeriod(nullptr)->count(), 0);
    EXPECT_EQ(collection->periodsOverlappedByPeriod(nullptr)->count(), 0);
    QStringList reasons;
    for (const QString &error : errors(log))
        reasons << reason(error);
    EXPECT_EQ(reasons, (QStringList{"Attempted to insert object of class (null) when expecting object of class KDTimePeriod.",
                                    "Attempted to insert object of class (null) when expecting object of class QDateTime.",
                                    "Attempted to insert object of class (null) when expecting object of class KDTimePeriod."}));
}

TEST_F(PeriodGroups, CollectionEquality)
{
    const Period a = days(1, 2), b = days(3, 2), c = days(1, 4);
    auto first = KDTimePeriodCollection::collection(), second = KDTimePeriodCollection::collection();
    first->addTimePeriod(a);
    first->addTimePeriod(b);
    second->addTimePeriod(b->copy());
    second->addTimePeriod(a->copy());
    EXPECT_TRUE(first->isEqualToCollection(second, false));
    EXPECT_FALSE(first->isEqualToCollection(second, true));
    second->sortByStartAscending();
    EXPECT_TRUE(first->isEqualToCollection(second, true));

    // Duplicates count: [a, a] against [a, c], same count, start and end.
    const Period a1 = days(1, 4), a2 = days(1, 4), other = period(berlin(2024, 1, 2), berlin(2024, 1, 5));
    auto twice = KDTimePeriodCollection::collection(), mixed = KDTimePeriodCollection::collection();
    twice->addTimePeriod(a1);
    twice->addTimePeriod(a2);
    mixed->addTimePeriod(c);
    mixed->addTimePeriod(other);
    ASSERT_TRUE(twice->hasSameCharacteristicsAs(mixed));
    EXPECT_FALSE(twice->isEqualToCollection(mixed, false));
    EXPECT_FALSE(mixed->isEqualToCollection(twice, false));
    EXPECT_EQ(mixed->count(), 2); // the argument is not consumed

    kova::test::LogCapture log;
    auto chain = KDTimePeriodChain::chain();
    EXPECT_FALSE(first->isEqualToCollection(chain, false));
    EXPECT_FALSE(first->isEqualToCollection(std::make_shared<SpecialCollection>(), false));
    EXPECT_FALSE(first->isEqualToCollection(nullptr, true));
    QStringList reasons;
    for (const QString &error : errors(log))
        reasons << reason(error);
    EXPECT_EQ(reasons, (QStringList{
                           "Attempted to insert object of class KDTimePeriodChain when expecting object of class KDTimePeriodCollection.",
                           "Attempted to insert object of class (anonymous namespace)::SpecialCollection when expecting object of class KDTimePeriodCollection.",
                           "Attempted to insert object of class (null) when expecting object of class KDTimePeriodCollection.",
                       }));
    EXPECT_TRUE(KDTimePeriodCollection::collection()->isEqualToCollection(KDTimePeriodCollection::collection(), true));
}

TEST_F(PeriodGroups, CollectionCopiesCopyThePeriods)
{
    auto collection = KDTimePeriodCollection::collection();
    collection->addTimePeriod(days(1, 2));
    collection->addTimePeriod(std::make_shared<SpecialPeriod>(QDateTime(), berlin(2024, 2, 1)));
    const auto copied = collection->copy();
    ASSERT_EQ(copied->count(), 2);
    EXPECT_NE(copied->objectAtIndexedSubscript(0), collection->objectAtIndexedSubscript(0));
    EXPECT_TRUE(copied->objectAtIndexedSubscript(0)->isEqualToPeriod(collection->objectAtIndexedSubscript(0)));
    EXPECT_EQ(typeid(*copied->objectAtIndexedSubscript(1)), typeid(KDTimePeriod));
    EXPECT_EQ(copied->objectAtIndexedSubscript(1)->StartDate(), QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    EXPECT_EQ(copied->StartDate(), QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    EXPECT_EQ(copied->EndDate(), berlin(2024, 2, 1));
}

// -------------------------------------------------------------- the chain

class PeriodChains : public PeriodGroups {
protected:
    static void expectBackToBack(const KDTimePeriodChain &chain)
    {
        const QList<Period> periods = periodsOf(chain);
        for (qsizetype i = 1; i < periods.size(); ++i)
            EXPECT_EQ(periods[i]->StartDate(), periods[i - 1]->EndDate()) << "at " << i;
        if (periods.isEmpty()) {
            EXPECT_EQ(chain.First(), nullptr);
            EXPECT_EQ(chain.Last(), nullptr);
            EXPECT_FALSE(chain.StartDate().isValid());
            EXPECT_FALSE(chain.EndDate().isValid());
        } else {
            EXPECT_EQ(chain.First(), periods.first());
            EXPECT_EQ(chain.Last(), periods.last());
            EXPECT_EQ(chain.StartDate(), periods.first()->StartDate());
            EXPECT_EQ(chain.EndDate(), periods.last()->EndDate());
        }
    }
};

TEST_F(PeriodChains, AddingAppendsBackToBackInWholeSeconds)
{
    auto chain = KDTimePeriodChain::chain();
    const Period hour = KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Hour, berlin(2024, 1, 1, 9));
    chain->addTimePeriod(hour);
    EXPECT_EQ(chain->First(), hour); // the first is the object itself
    chain->addTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Day, berlin(2025, 1, 1)));
    ASSERT_EQ(chain->count(), 2);
    const Period second = chain->objectAtIndexedSubscript(1);
    EXPECT_EQ(second->StartDate(), berlin(2024, 1, 1, 10));
    EXPECT_EQ(second->durationInSeconds(), 86400.0);
    EXPECT_EQ(chain->EndDate(), berlin(2024, 1, 2, 10));
    chain->addTimePeriod(period(berlin(2024, 1, 1), berlin(2024, 1, 1, 0, 0, 1, 500)));
    EXPECT_EQ(chain->Last()->durationInSeconds(), 1.0);
    chain->addTimePeriod(period(berlin(2024, 1, 2), berlin(2024, 1, 1))); // runs backwards: 0 seconds
    EXPECT_TRUE(chain->Last()->isMoment());
    expectBackToBack(*chain);
    EXPECT_EQ(chain->durationInSeconds(), 3600.0 + 86400.0 + 1.0);
}

TEST_F(PeriodChains, OnlyPlainPeriodsJoin)
{
    kova::test::LogCapture log;
    auto chain = KDTimePeriodChain::chain();
    chain->addTimePeriod(std::make_shared<SpecialPeriod>(berlin(2024, 1, 1), berlin(2024, 1, 2)));
    chain->addTimePeriod(nullptr);
    chain->insertTimePeriod(std::make_shared<SpecialPeriod>(berlin(2024, 1, 1), berlin(2024, 1, 2)), 0);
    EXPECT_EQ(chain->count(), 0);
    QStringList reasons;
    for (const QString &error : errors(log))
        reasons << reason(error);
    EXPECT_EQ(reasons, (QStringList{
                           "Attempted to insert object of class (anonymous namespace)::SpecialPeriod when expecting object of class KDTimePeriod.",
                           "Attempted to insert object of class (null) when expecting object of class KDTimePeriod.",
                           "Attempted to insert object of class (anonymous namespace)::SpecialPeriod when expecting object of class KDTimePeriod.",
                       }));
}

TEST_F(PeriodChains, InsertingMovesTheRestAndRemovingMovesItBack)
{
    auto chain = KDTimePeriodChain::chain();
    chain->addTimePeriod(period(berlin(2024, 1, 1, 9), berlin(2024, 1, 1, 10)));
    chain->addTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Hour, 2, berlin(2000, 1, 1)));
    chain->addTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Minute, 30, berlin(2000, 1, 1)));
    const Period second = chain->objectAtIndexedSubscript(1), third = chain->objectAtIndexedSubscript(2);
    EXPECT_EQ(second->StartDate(), berlin(2024, 1, 1, 10));
    EXPECT_EQ(third->EndDate(), berlin(2024, 1, 1, 12, 30));

    chain->insertTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Hour, berlin(2030, 1, 1)), 1);
    ASSERT_EQ(chain->count(), 4);
    EXPECT_EQ(chain->objectAtIndexedSubscript(1)->StartDate(), berlin(2024, 1, 1, 10));
    EXPECT_EQ(chain->objectAtIndexedSubscript(1)->EndDate(), berlin(2024, 1, 1, 11));
    EXPECT_EQ(second->StartDate(), berlin(2024, 1, 1, 11));
    EXPECT_EQ(third->EndDate(), berlin(2024, 1, 1, 13, 30));
    expectBackToBack(*chain);

    chain->removeTimePeriodAtIndex(1);
    EXPECT_EQ(periodsOf(*chain).mid(1), (QList<Period>{second, third}));
    EXPECT_EQ(second->StartDate(), berlin(2024, 1, 1, 10));
    EXPECT_EQ(third->EndDate(), berlin(2024, 1, 1, 12, 30));
    expectBackToBack(*chain);

    chain->insertTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Minute, 15, berlin(2030, 1, 1)), 0);
    EXPECT_EQ(chain->StartDate(), berlin(2024, 1, 1, 8, 45));
    EXPECT_EQ(chain->objectAtIndexedSubscript(1)->StartDate(), berlin(2024, 1, 1, 9));
    expectBackToBack(*chain);

    kova::test::LogCapture log;
    chain->insertTimePeriod(days(1, 1), 4);
    chain->insertTimePeriod(days(1, 1), -1);
    chain->removeTimePeriodAtIndex(4);
    KDTimePeriodChain::chain()->insertTimePeriod(days(1, 1), 0);
    EXPECT_EQ(chain->count(), 4);
    QStringList reasons;
    for (const QString &error : errors(log))
        reasons << reason(error);
    EXPECT_EQ(reasons, (QStringList{"Attempted to insert KDTimePeriod at index 4 but the group is of size [0...4].",
                                    "Attempted to insert KDTimePeriod at index -1 but the group is of size [0...4].",
                                    "Attempted to remove KDTimePeriod at index 4 but the group is of size [0...4].",
                                    "Attempted to insert KDTimePeriod at index 0 but the group is of size [0...0]."}));
}

TEST_F(PeriodChains, RemovingTheEndsAndTheOnlyPeriod)
{
    auto chain = KDTimePeriodChain::chain();
    chain->addTimePeriod(period(berlin(2024, 1, 1, 9), berlin(2024, 1, 1, 10)));
    chain->addTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Hour, 2, berlin(2000, 1, 1)));
    chain->removeEarliestTimePeriod();
    ASSERT_EQ(chain->count(), 1);
    EXPECT_EQ(chain->First()->StartDate(), berlin(2024, 1, 1, 9));
    EXPECT_EQ(chain->First()->EndDate(), berlin(2024, 1, 1, 11));
    expectBackToBack(*chain);
    chain->removeTimePeriodAtIndex(0);
    expectBackToBack(*chain);
    chain->removeLatestTimePeriod();
    chain->removeEarliestTimePeriod();
    EXPECT_EQ(chain->count(), 0);

    chain->addTimePeriod(days(1, 1));
    chain->addTimePeriod(days(1, 2));
    chain->removeLatestTimePeriod();
    EXPECT_EQ(chain->EndDate(), berlin(2024, 1, 2));
    chain->removeLatestTimePeriod();
    expectBackToBack(*chain);
}

TEST_F(PeriodChains, AReversedMemberNeverPushesTheRestLater)
{
    auto chain = KDTimePeriodChain::chain();
    chain->addTimePeriod(period(berlin(2024, 1, 1, 9), berlin(2024, 1, 1, 10)));
    chain->addTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Hour, 2, berlin(2000, 1, 1)));
    chain->addTimePeriod(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Hour, 1, berlin(2000, 1, 1)));
    const Period first = chain->objectAtIndexedSubscript(0), second = chain->objectAtIndexedSubscript(1),
                 third = chain->objectAtIndexedSubscript(2);
    // A caller moves a member's end before its start: its duration is 0.
    second->setEndDate(berlin(2024, 1, 1, 8));
    chain->removeTimePeriodAtIndex(1);
    ASSERT_EQ(periodsOf(*chain), (QList<Period>{first, third}));
    EXPECT_EQ(third->StartDate(), berlin(2024, 1, 1, 12)) << "a shift of at least 0, never later";
    EXPECT_EQ(third->EndDate(), berlin(2024, 1, 1, 13));

    first->setEndDate(berlin(2024, 1, 1, 7));
    chain->removeEarliestTimePeriod();
    ASSERT_EQ(periodsOf(*chain), (QList<Period>{third}));
    EXPECT_EQ(third->StartDate(), berlin(2024, 1, 1, 12));
    EXPECT_EQ(chain->EndDate(), berlin(2024, 1, 1, 13));
}

TEST_F(PeriodChains, ChainEquality)
{
    auto build = [] {
        auto chain = KDTimePeriodChain::chain();
        chain->addTimePeriod(days(1, 1));
        chain->addTimePeriod(days(9, 2));
        return chain;
    };
    EXPECT_TRUE(build()->isEqualToChain(build()));
    auto longer = build();
    longer->addTimePeriod(days(1, 1));
    EXPECT_FALSE(build()->isEqualToChain(longer));
    // Same count, start and end, different split.
    auto split = KDTimePeriodChain::chain();
    split->addTimePeriod(days(1, 2));
    split->addTimePeriod(days(9, 1));
    EXPECT_TRUE(split->hasSameCharacteristicsAs(build()));
    EXPECT_FALSE(split->isEqualToChain(build()));
    kova::test::LogCapture log;
    EXPECT_FALSE(build()->isEqualToChain(KDTimePeriodCollection::collection()));
    EXPECT_FALSE(build()->isEqualToChain(nullptr));
    ASSERT_EQ(errors(log).size(), 2);
    EXPECT_EQ(reason(errors(log)[0]),
              "Attempted to insert object of class KDTimePeriodCollection when expecting object of class KDTimePeriodChain.");
}

// Random sequences of chain operations against a model of the periods: after
// every operation each period must lie exactly where the model says, back to
// back, until a member left reversed by a month shift is removed (it lasts 0,
// so the rest stay where they were and the chain is no longer closed).
TEST_F(PeriodChains, RandomOperationsKeepThePeriodsBackToBack)
{
    struct Span {
        qint64 start; // milliseconds since 1970
        qint64 end;
    };
    using Model = QList<Span>;
    auto shift = [](Model &model, qsizetype from, qint64 by) {
        for (qsizetype i = from; i < model.size(); ++i) {
            model[i].start += by;
            model[i].end += by;
        }
    };
    auto removeAt = [&shift](Model &model, qsizetype index, bool &closed) {
        const qint64 length = model[index].end - model[index].start;
        if (length < 0)
            closed = false;
        shift(model, index + 1, -std::max<qint64>(length, 0));
        model.removeAt(index);
    };
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        auto chain = KDTimePeriodChain::chain();
        Model model;
        bool closed = true;
        const QDateTime origin = berlin(2024, 3, 30, 22);
        for (int step = 0; step < 150; ++step) {
            // Durations in whole and in fractional seconds.
            const qint64 lengthMs = pick(0, 1) ? qint64(pick(1, 200'000)) * 1000 : qint64(pick(1, 200'000'000));
            const QDateTime from = origin.addSecs(pick(-100'000, 100'000));
            const Period candidate = period(from, from.addMSecs(lengthMs));
            const qint64 wholeMs = lengthMs / 1000 * 1000;
            const qsizetype count = model.size();
            const int operation = pick(0, 7);
            std::string what;
            switch (operation) {
            case 0: {
                what = "add";
                chain->addTimePeriod(candidate);
                if (model.isEmpty())
                    model = {Span{from.toMSecsSinceEpoch(), from.toMSecsSinceEpoch() + lengthMs}};
                else
                    model.append(Span{model.last().end, model.last().end + wholeMs});
                break;
            }
            case 1: {
                const int index = pick(-1, int(count) + 1);
                what = "insert at " + std::to_string(index);
                kova::test::LogCapture quiet;
                chain->insertTimePeriod(candidate, index);
                if (index == 0 && count > 0) {
                    model.prepend(Span{model.first().start - wholeMs, model.first().start});
                } else if (index >= 1 && index < count) {
                    shift(model, index, wholeMs);
                    const qint64 at = model[index - 1].end;
                    model.insert(index, Span{at, at + wholeMs});
                }
                break;
            }
            case 2: {
                const int index = pick(-1, int(count));
                what = "remove at " + std::to_string(index);
                kova::test::LogCapture quiet;
                chain->removeTimePeriodAtIndex(index);
                if (index >= 0 && index < count)
                    removeAt(model, index, closed);
                break;
            }
            case 3:
                what = "remove latest";
                chain->removeLatestTimePeriod();
                if (!model.isEmpty())
                    model.removeLast();
                break;
            case 4:
                what = "remove earliest";
                chain->removeEarliestTimePeriod();
                if (!model.isEmpty()) {
                    // The first period moves back along with the rest before it goes.
                    const qint64 length = std::max<qint64>(model[0].end - model[0].start, 0);
                    if (model[0].end < model[0].start)
                        closed = false;
                    shift(model, 1, -length);
                    model.removeFirst();
                }
                break;
            default: {
                // Whole-chain shifts in calendar units, across the DST night.
                const KDPeriodUnit unit = KDPeriodUnit(pick(0, 6));
                const int amount = pick(-3, 3);
                const bool later = operation == 5;
                what = std::string(later ? "shift later " : "shift earlier ") + std::to_string(int(unit)) + " by " + std::to_string(amount);
                if (later)
                    chain->shiftLaterWithSize(unit, amount);
                else
                    chain->shiftEarlierWithSize(unit, amount);
                auto moved = [&](qint64 boundary) {
                    const QDateTime at = QDateTime::fromMSecsSinceEpoch(boundary, Qt::UTC);
                    return (later ? KDTimePeriod::dateWithAddedTime(unit, amount, at)
                                  : KDTimePeriod::dateWithSubtractedTime(unit, amount, at))
                        .toMSecsSinceEpoch();
                };
                for (Span &span : model)
                    span = Span{moved(span.start), moved(span.end)};
                break;
            }
            }
            if (model.isEmpty())
                closed = true; // an emptied chain starts afresh
            SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step) + ": " + what);
            if (closed)
                expectBackToBack(*chain);
            const QList<Period> periods = periodsOf(*chain);
            ASSERT_EQ(periods.size(), model.size());
            for (qsizetype i = 0; i < periods.size(); ++i) {
                ASSERT_EQ(periods[i]->StartDate().toMSecsSinceEpoch(), model[i].start) << "period " << i;
                ASSERT_EQ(periods[i]->EndDate().toMSecsSinceEpoch(), model[i].end) << "period " << i;
            }
            if (HasFailure())
                return;
        }
    }
}

} // namespace
