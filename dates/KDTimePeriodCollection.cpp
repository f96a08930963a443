#include "dates/KDTimePeriodCollection.h"

#include <algorithm>
#include <typeinfo>

#include "dates/KDError.h"
#include "dates/platform/DateEnvironment.h"

namespace kova {
namespace {

// Missing dates first, then by instant: a strict weak order whatever the
// periods hold.
bool startsBefore(const QDateTime &a, const QDateTime &b)
{
    if (!a.isValid() || !b.isValid())
        return !a.isValid() && b.isValid();
    return a.toMSecsSinceEpoch() < b.toMSecsSinceEpoch();
}

} // namespace

std::shared_ptr<KDTimePeriodCollection> KDTimePeriodCollection::collection()
{
    return std::make_shared<KDTimePeriodCollection>();
}

void KDTimePeriodCollection::addTimePeriod(const std::shared_ptr<KDTimePeriod> &period)
{
    if (!period) {
        KDError::throwBadTypeException(period.get(), QStringLiteral("KDTimePeriod"));
        return;
    }
    m_periods.append(period);
    updateVariables();
}

void KDTimePeriodCollection::insertTimePeriod(const std::shared_ptr<KDTimePeriod> &period, qint64 index)
{
    if (!period || !isExactly<KDTimePeriod>(*period)) {
        KDError::throwBadTypeException(period.get(), QStringLiteral("KDTimePeriod"));
        return;
    }
    if (index < 0 || index >= m_periods.size()) {
        KDError::throwInsertOutOfBoundsException(index, m_periods);
        return;
    }
    m_periods.insert(index, period);
    updateVariables();
}

void KDTimePeriodCollection::removeTimePeriodAtIndex(qint64 index)
{
    if (index < 0 || index >= m_periods.size()) {
        KDError::throwRemoveOutOfBoundsException(index, m_periods);
        return;
    }
    m_periods.removeAt(index);
    if (m_periods.isEmpty())
        setVariablesNil();
    else
        updateVariables();
}

template <typename Less>
void KDTimePeriodCollection::sortBy(Less less)
{
    std::stable_sort(m_periods.begin(), m_periods.end(), less);
}

void KDTimePeriodCollection::sortByStartAscending()
{
    sortBy([](const auto &a, const auto &b) { return startsBefore(a->StartDate(), b->StartDate()); });
}

void KDTimePeriodCollection::sortByStartDescending()
{
    sortBy([](const auto &a, const auto &b) { return startsBefore(b->StartDate(), a->StartDate()); });
}

void KDTimePeriodCollection::sortByEndAscending()
{
    sortBy([](const auto &a, const auto &b) { return startsBefore(a->EndDate(), b->EndDate()); });
}

void KDTimePeriodCollection::sortByEndDescending()
{
    sortBy([](const auto &a, const auto &b) { return startsBefore(b->EndDate(), a->EndDate()); });
}

// Equal durations keep their list order: a comparator that never calls two
// periods equal is not an order a sort can rely on.
void KDTimePeriodCollection::sortByDurationAscending()
{
    sortBy([](const auto &a, const auto &b) { return a->durationInSeconds() < b->durationInSeconds(); });
}

void KDTimePeriodCollection::sortByDurationDescending()
{
    sortBy([](const auto &a, const auto &b) { return a->durationInSeconds() > b->durationInSeconds(); });
}

template <typename Keep>
std::shared_ptr<KDTimePeriodCollection> KDTimePeriodCollection::filtered(Keep keep) const
{
    auto result = collection();
    for (const auto &period : m_periods)
        if (keep(*period))
            result->m_periods.append(period);
    if (!result->m_periods.isEmpty())
        result->updateVariables();
    return result;
}

std::shared_ptr<KDTimePeriodCollection> KDTimePeriodCollection::periodsInside(const std::shared_ptr<KDTimePeriod> &period) const
{
    if (!period) {
        KDError::throwBadTypeException(period.get(), QStringLiteral("KDTimePeriod"));
        return collection();
    }
    return filtered([&](const KDTimePeriod &p) { return p.isInside(period); });
}

std::shared_ptr<KDTimePeriodCollection> KDTimePeriodCollection::periodsIntersectedByDate(const QDateTime &date) const
{
    if (!date.isValid()) {
        KDError::throwBadTypeException(QStringLiteral("(null)"), QStringLiteral("QDateTime"));
        return collection();
    }
    return filtered([&](const KDTimePeriod &p) { return p.containsDate(date, KDPeriodBoundsMode::Closed); });
}

std::shared_ptr<KDTimePeriodCollection> KDTimePeriodCollection::periodsIntersectedByPeriod(const std::shared_ptr<KDTimePeriod> &period) const
{
    if (!period) {
        KDError::throwBadTypeException(period.get(), QStringLiteral("KDTimePeriod"));
        return collection();
    }
    return filtered([&](const KDTimePeriod &p) { return p.intersects(period); });
}

std::shared_ptr<KDTimePeriodCollection> KDTimePeriodCollection::periodsOverlappedByPeriod(const std::shared_ptr<KDTimePeriod> &period) const
{
    return filtered([&](const KDTimePeriod &p) { return p.overlapsWith(period); });
}

bool KDTimePeriodCollection::isEqualToCollection(const std::shared_ptr<KDTimePeriodGroup> &other, bool considerOrder) const
{
    if (!other || !isExactly<KDTimePeriodCollection>(*other)) {
        KDError::throwBadTypeException(other ? KDError::className(dynamicType(*other)) : QStringLiteral("(null)"),
                                       QStringLiteral("KDTimePeriodCollection"));
        return false;
    }
    if (!hasSameCharacteristicsAs(other))
        return false;
    const auto &theirs = static_cast<const KDTimePeriodCollection &>(*other).m_periods;
    if (considerOrder) {
        for (qsizetype i = 0; i < m_periods.size(); ++i)
            if (!m_periods.at(i)->isEqualToPeriod(theirs.at(i)))
                return false;
        return true;
    }
    QList<std::shared_ptr<KDTimePeriod>> unmatched = theirs;
    for (const auto &period : m_periods) {
        const auto found = std::find_if(unmatched.begin(), unmatched.end(),
                                        [&](const auto &candidate) { return period->isEqualToPeriod(candidate); });
        if (found == unmatched.end())
            return false;
        unmatched.erase(found);
    }
    return true;
}

void KDTimePeriodCollection::updateVariables()
{
    // The earliest start and latest end, even beyond the distant dates; with
    // no dated period the collection spans from the distant future to the
    // distant past.
    QDateTime start;
    QDateTime end;
    for (const auto &period : std::as_const(m_periods)) {
        const QDateTime periodStart = period->StartDate();
        const QDateTime periodEnd = period->EndDate();
        if (periodStart.isValid() && (!start.isValid() || periodStart.toMSecsSinceEpoch() < start.toMSecsSinceEpoch()))
            start = periodStart;
        if (periodEnd.isValid() && (!end.isValid() || periodEnd.toMSecsSinceEpoch() > end.toMSecsSinceEpoch()))
            end = periodEnd;
    }
    m_startDate = start.isValid() ? start : platform::DateEnvironment::distantFuture();
    m_endDate = end.isValid() ? end : platform::DateEnvironment::distantPast();
}

void KDTimePeriodCollection::setVariablesNil()
{
    m_startDate = QDateTime();
    m_endDate = QDateTime();
}

std::shared_ptr<KDTimePeriodCollection> KDTimePeriodCollection::copy() const
{
    auto result = collection();
    for (const auto &period : m_periods)
        result->addTimePeriod(period->copy());
    return result;
}

} // namespace kova
