#include "dates/KDTimePeriodGroup.h"

#include <QSet>

#include "dates/KDError.h"

namespace kova {

std::shared_ptr<KDTimePeriod> KDTimePeriodGroup::objectAtIndexedSubscript(qint64 index) const
{
    if (index < 0 || index >= m_periods.size())
        return nullptr;
    return m_periods.at(index);
}

void KDTimePeriodGroup::setObject(const std::shared_ptr<KDTimePeriod> &object, qint64 index)
{
    if (!object) {
        KDError::throwBadTypeException(object.get(), QStringLiteral("KDTimePeriod"));
        return;
    }
    if (index < 0 || index > m_periods.size()) {
        KDError::throwInsertOutOfBoundsException(index, m_periods);
        return;
    }
    if (index == m_periods.size())
        m_periods.append(object);
    else
        m_periods[index] = object;
}

double KDTimePeriodGroup::durationInYears() const { return bounds().durationInYears(); }
double KDTimePeriodGroup::durationInWeeks() const { return bounds().durationInWeeks(); }
double KDTimePeriodGroup::durationInDays() const { return bounds().durationInDays(); }
double KDTimePeriodGroup::durationInHours() const { return bounds().durationInHours(); }
double KDTimePeriodGroup::durationInMinutes() const { return bounds().durationInMinutes(); }
double KDTimePeriodGroup::durationInSeconds() const { return bounds().durationInSeconds(); }

bool KDTimePeriodGroup::hasSameCharacteristicsAs(const std::shared_ptr<KDTimePeriodGroup> &group) const
{
    if (!group || count() != group->count())
        return false;
    const bool allMissing = !m_startDate.isValid() && !m_endDate.isValid() && !group->m_startDate.isValid()
        && !group->m_endDate.isValid();
    if (allMissing)
        return true;
    auto same = [](const QDateTime &a, const QDateTime &b) {
        return a.isValid() && b.isValid() && a.toMSecsSinceEpoch() == b.toMSecsSinceEpoch();
    };
    return same(m_startDate, group->m_startDate) && same(m_endDate, group->m_endDate);
}

void KDTimePeriodGroup::shiftEarlierWithSize(KDPeriodUnit size, qint64 amount)
{
    forEachPeriodOnce([&](KDTimePeriod &period) { period.shiftEarlierWithSize(size, amount); });
    updateVariables();
}

void KDTimePeriodGroup::shiftLaterWithSize(KDPeriodUnit size, qint64 amount)
{
    forEachPeriodOnce([&](KDTimePeriod &period) { period.shiftLaterWithSize(size, amount); });
    updateVariables();
}

void KDTimePeriodGroup::forEachPeriodOnce(const std::function<void(KDTimePeriod &)> &work)
{
    // A group may hold one period object more than once; it moves once.
    QSet<const KDTimePeriod *> done;
    for (const auto &period : std::as_const(m_periods)) {
        if (period && !done.contains(period.get())) {
            done.insert(period.get());
            work(*period);
        }
    }
}

} // namespace kova
