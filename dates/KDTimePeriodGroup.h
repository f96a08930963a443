#pragma once

#include <QDateTime>
#include <QList>
#include <functional>
#include <memory>

#include "dates/KDTimePeriod.h"

namespace kova {

// An ordered list of periods with a start and an end that the subclasses
// keep. Misuse is reported through KDError and the operation is skipped.
class KDTimePeriodGroup {
public:
    KDTimePeriodGroup() = default;
    virtual ~KDTimePeriodGroup() = default;
    KDTimePeriodGroup(const KDTimePeriodGroup &) = delete;
    KDTimePeriodGroup &operator=(const KDTimePeriodGroup &) = delete;

    // The period at the index; null for an index outside the list.
    std::shared_ptr<KDTimePeriod> objectAtIndexedSubscript(qint64 index) const;
    // Stores the period at an index from 0 to the count (the count appends).
    // Checks no class and does not recompute the start and end. A null period
    // or an index outside that range is reported and changes nothing.
    void setObject(const std::shared_ptr<KDTimePeriod> &object, qint64 index);

    // The period rules applied to the group's start and end.
    double durationInYears() const;
    double durationInWeeks() const;
    double durationInDays() const;
    double durationInHours() const;
    double durationInMinutes() const;
    double durationInSeconds() const;

    QDateTime StartDate() const { return m_startDate; }
    QDateTime EndDate() const { return m_endDate; }
    qint64 count() const { return m_periods.size(); }

    // Same count, and either all four dates missing or equal starts and ends.
    bool hasSameCharacteristicsAs(const std::shared_ptr<KDTimePeriodGroup> &group) const;

    void shiftEarlierWithSize(KDPeriodUnit size, qint64 amount = 1);
    void shiftLaterWithSize(KDPeriodUnit size, qint64 amount = 1);

    virtual void updateVariables() {}

protected:
    KDTimePeriod bounds() const { return KDTimePeriod(m_startDate, m_endDate); }
    void forEachPeriodOnce(const std::function<void(KDTimePeriod &)> &work);

    QList<std::shared_ptr<KDTimePeriod>> m_periods;
    QDateTime m_startDate;
    QDateTime m_endDate;
};

} // namespace kova
