#pragma once

#include <QDateTime>
#include <memory>
#include <type_traits>

namespace kova {

// The calendar unit of the period factories and moves. Any other code leaves
// a date unchanged.
enum class KDPeriodUnit : int { Second = 0, Minute = 1, Hour = 2, Day = 3, Week = 4, Month = 5, Year = 6 };

// How a period p relates to a period r (p.relationToPeriod(r) is asked of r
// with p as the argument). None when a date is missing or either period does
// not run forward.
enum class KDPeriodRelationCode : int {
    Before = 0,                  // p ends before r starts
    EndTouching = 1,             // p ends where r starts
    EndInside = 2,               // p starts before r and ends inside it
    EnclosingStartTouching = 3,  // same start, p ends after r
    InsideStartTouching = 4,     // same start, p ends inside r
    Inside = 5,                  // p lies strictly inside r
    InsideEndTouching = 6,       // p starts inside r, same end
    ExactMatch = 7,              // same start, same end
    Enclosing = 8,               // p starts before and ends after r
    EnclosingEndTouching = 9,    // p starts before r, same end
    StartInside = 10,            // p starts inside r and ends after it
    StartTouching = 11,          // p starts where r ends
    After = 12,                  // p starts after r ends
    None = 13,
};

enum class KDPeriodBoundsMode : int { Open = 0, Closed = 1 };

// What stays put when a period is lengthened or shortened.
enum class KDPeriodAnchor : int { Start = 0, Center = 1, End = 2 };

// A span of time between a start and an end date. Either date may be
// missing (an invalid QDateTime) and nothing keeps the start before the end;
// each operation says what it does then. Missing dates and null periods give
// neutral answers: 0, false, or the relation None.
class KDTimePeriod {
public:
    KDTimePeriod() = default;
    KDTimePeriod(const QDateTime &startDate, const QDateTime &endDate);
    virtual ~KDTimePeriod() = default;

    QDateTime StartDate() const { return m_startDate; }
    void setStartDate(const QDateTime &date) { m_startDate = date; }
    QDateTime EndDate() const { return m_endDate; }
    void setEndDate(const QDateTime &date) { m_endDate = date; }

    bool hasStartDate() const;
    bool hasEndDate() const;
    bool isMoment() const;

    // Counts from the start to the end in the implicit calendar; 0 when a
    // date is missing or the end lies before the start.
    double durationInYears() const;
    double durationInWeeks() const;
    double durationInDays() const;
    double durationInHours() const;
    double durationInMinutes() const;
    double durationInSeconds() const;

    // All four dates present, starts equal and ends equal.
    bool isEqualToPeriod(const std::shared_ptr<KDTimePeriod> &period) const;
    bool isInside(const std::shared_ptr<KDTimePeriod> &period) const;
    bool contains(const std::shared_ptr<KDTimePeriod> &period) const;
    bool overlapsWith(const std::shared_ptr<KDTimePeriod> &period) const;
    // Like overlapsWith, but periods that only touch also intersect.
    bool intersects(const std::shared_ptr<KDTimePeriod> &period) const;
    KDPeriodRelationCode relationToPeriod(const std::shared_ptr<KDTimePeriod> &period) const;
    // Seconds between the two periods, never negative; 0 when they meet.
    double gapBetween(const std::shared_ptr<KDTimePeriod> &period) const;
    bool containsDate(const QDateTime &date, KDPeriodBoundsMode interval) const;

    void shiftEarlierWithSize(KDPeriodUnit size, qint64 amount = 1);
    void shiftLaterWithSize(KDPeriodUnit size, qint64 amount = 1);
    void lengthenWithAnchorDate(KDPeriodAnchor anchor, KDPeriodUnit size, qint64 amount = 1);
    void shortenWithAnchorDate(KDPeriodAnchor anchor, KDPeriodUnit size, qint64 amount = 1);

    // Always a KDTimePeriod; a missing date is copied as 1970-01-01 UTC.
    std::shared_ptr<KDTimePeriod> copy() const;

    // The factories make the class they are asked for
    // (KDTimePeriod::timePeriodWithAllTime<MyPeriod>()), which must be built
    // from a start and an end date.
    template <typename Period = KDTimePeriod>
    static std::shared_ptr<Period> timePeriodWithStartDate(const QDateTime &startDate, const QDateTime &endDate)
    {
        static_assert(std::is_base_of_v<KDTimePeriod, Period>);
        return std::make_shared<Period>(startDate, endDate);
    }
    template <typename Period = KDTimePeriod>
    static std::shared_ptr<Period> timePeriodWithSize(KDPeriodUnit size, const QDateTime &date)
    {
        return timePeriodWithSize<Period>(size, 1, date);
    }
    // From the date to the date plus the amount of units.
    template <typename Period = KDTimePeriod>
    static std::shared_ptr<Period> timePeriodWithSize(KDPeriodUnit size, qint64 amount, const QDateTime &date)
    {
        return timePeriodWithStartDate<Period>(date, dateWithAddedTime(size, amount, date));
    }
    template <typename Period = KDTimePeriod>
    static std::shared_ptr<Period> timePeriodWithSizeEndingAt(KDPeriodUnit size, const QDateTime &date)
    {
        return timePeriodWithSizeEndingAt<Period>(size, 1, date);
    }
    // From the date minus the amount of units to the date.
    template <typename Period = KDTimePeriod>
    static std::shared_ptr<Period> timePeriodWithSizeEndingAt(KDPeriodUnit size, qint64 amount, const QDateTime &date)
    {
        return timePeriodWithStartDate<Period>(dateWithSubtractedTime(size, amount, date), date);
    }
    // From the platform's distant past to its distant future.
    template <typename Period = KDTimePeriod>
    static std::shared_ptr<Period> timePeriodWithAllTime()
    {
        return timePeriodWithStartDate<Period>(distantPast(), distantFuture());
    }

    // The base date moved by the amount of units; an unknown unit gives the
    // base date itself.
    static QDateTime dateWithAddedTime(KDPeriodUnit size, qint64 amount, const QDateTime &baseDate);
    static QDateTime dateWithSubtractedTime(KDPeriodUnit size, qint64 amount, const QDateTime &baseDate);

private:
    static QDateTime distantPast();
    static QDateTime distantFuture();

    QDateTime m_startDate;
    QDateTime m_endDate;
};

} // namespace kova
