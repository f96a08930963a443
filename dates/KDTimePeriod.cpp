#include "dates/KDTimePeriod.h"

#include "dates/KovaDates.h"
#include "dates/platform/DateEnvironment.h"

namespace kova {
namespace {

bool present(const QDateTime &date)
{
    return date.isValid();
}

qint64 ms(const QDateTime &date)
{
    return date.toMSecsSinceEpoch();
}

// Every date of both periods is there.
bool complete(const KDTimePeriod &a, const KDTimePeriod &b)
{
    return a.hasStartDate() && a.hasEndDate() && b.hasStartDate() && b.hasEndDate();
}

} // namespace

KDTimePeriod::KDTimePeriod(const QDateTime &startDate, const QDateTime &endDate) : m_startDate(startDate), m_endDate(endDate) {}

bool KDTimePeriod::hasStartDate() const
{
    return present(m_startDate);
}

bool KDTimePeriod::hasEndDate() const
{
    return present(m_endDate);
}

bool KDTimePeriod::isMoment() const
{
    return hasStartDate() && hasEndDate() && ms(m_startDate) == ms(m_endDate);
}

double KDTimePeriod::durationInYears() const
{
    return double(KovaDates::yearsEarlierThan(m_startDate, m_endDate));
}

double KDTimePeriod::durationInWeeks() const
{
    return double(KovaDates::weeksEarlierThan(m_startDate, m_endDate));
}

double KDTimePeriod::durationInDays() const
{
    return double(KovaDates::daysEarlierThan(m_startDate, m_endDate));
}

double KDTimePeriod::durationInHours() const
{
    return KovaDates::hoursEarlierThan(m_startDate, m_endDate);
}

double KDTimePeriod::durationInMinutes() const
{
    return KovaDates::minutesEarlierThan(m_startDate, m_endDate);
}

double KDTimePeriod::durationInSeconds() const
{
    return KovaDates::secondsEarlierThan(m_startDate, m_endDate);
}

bool KDTimePeriod::isEqualToPeriod(const std::shared_ptr<KDTimePeriod> &period) const
{
    return period && complete(*this, *period) && ms(m_startDate) == ms(period->m_startDate)
        && ms(m_endDate) == ms(period->m_endDate);
}

bool KDTimePeriod::isInside(const std::shared_ptr<KDTimePeriod> &period) const
{
    return period && complete(*this, *period) && ms(period->m_startDate) <= ms(m_startDate)
        && ms(period->m_endDate) >= ms(m_endDate);
}

bool KDTimePeriod::contains(const std::shared_ptr<KDTimePeriod> &period) const
{
    return period && complete(*this, *period) && ms(m_startDate) <= ms(period->m_startDate)
        && ms(m_endDate) >= ms(period->m_endDate);
}

bool KDTimePeriod::overlapsWith(const std::shared_ptr<KDTimePeriod> &period) const
{
    if (!period || !complete(*this, *period))
        return false;
    const qint64 pStart = ms(period->m_startDate), pEnd = ms(period->m_endDate);
    const qint64 rStart = ms(m_startDate), rEnd = ms(m_endDate);
    return (pStart < rStart && pEnd > rStart) || (pStart >= rStart && pEnd <= rEnd) || (pStart < rEnd && pEnd > rEnd);
}

bool KDTimePeriod::intersects(const std::shared_ptr<KDTimePeriod> &period) const
{
    if (!period || !complete(*this, *period))
        return false;
    const qint64 pStart = ms(period->m_startDate), pEnd = ms(period->m_endDate);
    const qint64 rStart = ms(m_startDate), rEnd = ms(m_endDate);
    return (pStart < rStart && pEnd >= rStart) || (pStart >= rStart && pEnd <= rEnd) || (pStart <= rEnd && pEnd > rEnd);
}

KDPeriodRelationCode KDTimePeriod::relationToPeriod(const std::shared_ptr<KDTimePeriod> &period) const
{
    using R = KDPeriodRelationCode;
    if (!period || !complete(*this, *period))
        return R::None;
    const qint64 pStart = ms(period->m_startDate), pEnd = ms(period->m_endDate);
    const qint64 rStart = ms(m_startDate), rEnd = ms(m_endDate);
    if (!(rStart < rEnd) || !(pStart < pEnd))
        return R::None;
    if (pEnd < rStart)
        return R::Before;
    if (pEnd == rStart)
        return R::EndTouching;
    if (pStart < rStart && pEnd < rEnd)
        return R::EndInside;
    if (pStart == rStart && pEnd > rEnd)
        return R::EnclosingStartTouching;
    if (pStart == rStart && pEnd < rEnd)
        return R::InsideStartTouching;
    if (pStart > rStart && pEnd < rEnd)
        return R::Inside;
    if (pStart > rStart && pEnd == rEnd)
        return R::InsideEndTouching;
    if (pStart == rStart && pEnd == rEnd)
        return R::ExactMatch;
    if (pStart < rStart && pEnd > rEnd)
        return R::Enclosing;
    if (pStart < rStart && pEnd == rEnd)
        return R::EnclosingEndTouching;
    if (pStart < rEnd && pEnd > rEnd)
        return R::StartInside;
    if (pStart == rEnd && pEnd > rEnd)
        return R::StartTouching;
    if (pStart > rEnd)
        return R::After;
    return R::None;
}

double KDTimePeriod::gapBetween(const std::shared_ptr<KDTimePeriod> &period) const
{
    if (!period || !complete(*this, *period))
        return 0;
    if (ms(m_endDate) < ms(period->m_startDate))
        return KovaDates::secondsFrom(period->m_startDate, m_endDate);
    if (ms(period->m_endDate) < ms(m_startDate))
        return KovaDates::secondsFrom(m_startDate, period->m_endDate);
    return 0;
}

bool KDTimePeriod::containsDate(const QDateTime &date, KDPeriodBoundsMode interval) const
{
    if (!present(date) || !hasStartDate() || !hasEndDate())
        return false;
    switch (interval) {
    case KDPeriodBoundsMode::Open: return ms(m_startDate) < ms(date) && ms(m_endDate) > ms(date);
    case KDPeriodBoundsMode::Closed: return ms(m_startDate) <= ms(date) && ms(m_endDate) >= ms(date);
    }
    return false;
}

void KDTimePeriod::shiftEarlierWithSize(KDPeriodUnit size, qint64 amount)
{
    m_startDate = dateWithSubtractedTime(size, amount, m_startDate);
    m_endDate = dateWithSubtractedTime(size, amount, m_endDate);
}

void KDTimePeriod::shiftLaterWithSize(KDPeriodUnit size, qint64 amount)
{
    m_startDate = dateWithAddedTime(size, amount, m_startDate);
    m_endDate = dateWithAddedTime(size, amount, m_endDate);
}

void KDTimePeriod::lengthenWithAnchorDate(KDPeriodAnchor anchor, KDPeriodUnit size, qint64 amount)
{
    switch (anchor) {
    case KDPeriodAnchor::Start:
        m_endDate = dateWithAddedTime(size, amount, m_endDate);
        break;
    case KDPeriodAnchor::Center:
        // Integer halves: an odd amount loses one unit.
        m_startDate = dateWithSubtractedTime(size, amount / 2, m_startDate);
        m_endDate = dateWithAddedTime(size, amount / 2, m_endDate);
        break;
    case KDPeriodAnchor::End:
        m_startDate = dateWithSubtractedTime(size, amount, m_startDate);
        break;
    }
}

void KDTimePeriod::shortenWithAnchorDate(KDPeriodAnchor anchor, KDPeriodUnit size, qint64 amount)
{
    switch (anchor) {
    case KDPeriodAnchor::Start:
        m_endDate = dateWithSubtractedTime(size, amount, m_endDate);
        break;
    case KDPeriodAnchor::Center:
        m_startDate = dateWithAddedTime(size, amount / 2, m_startDate);
        m_endDate = dateWithSubtractedTime(size, amount / 2, m_endDate);
        break;
    case KDPeriodAnchor::End:
        m_startDate = dateWithAddedTime(size, amount, m_startDate);
        break;
    }
}

std::shared_ptr<KDTimePeriod> KDTimePeriod::copy() const
{
    auto copied = [](const QDateTime &date) {
        return QDateTime::fromMSecsSinceEpoch(present(date) ? ms(date) : 0, Qt::UTC);
    };
    return std::make_shared<KDTimePeriod>(copied(m_startDate), copied(m_endDate));
}

QDateTime KDTimePeriod::dateWithAddedTime(KDPeriodUnit size, qint64 amount, const QDateTime &baseDate)
{
    switch (size) {
    case KDPeriodUnit::Second: return KovaDates::dateByAddingSeconds(baseDate, amount);
    case KDPeriodUnit::Minute: return KovaDates::dateByAddingMinutes(baseDate, amount);
    case KDPeriodUnit::Hour: return KovaDates::dateByAddingHours(baseDate, amount);
    case KDPeriodUnit::Day: return KovaDates::dateByAddingDays(baseDate, amount);
    case KDPeriodUnit::Week: return KovaDates::dateByAddingWeeks(baseDate, amount);
    case KDPeriodUnit::Month: return KovaDates::dateByAddingMonths(baseDate, amount);
    case KDPeriodUnit::Year: return KovaDates::dateByAddingYears(baseDate, amount);
    }
    return baseDate;
}

QDateTime KDTimePeriod::dateWithSubtractedTime(KDPeriodUnit size, qint64 amount, const QDateTime &baseDate)
{
    switch (size) {
    case KDPeriodUnit::Second: return KovaDates::dateBySubtractingSeconds(baseDate, amount);
    case KDPeriodUnit::Minute: return KovaDates::dateBySubtractingMinutes(baseDate, amount);
    case KDPeriodUnit::Hour: return KovaDates::dateBySubtractingHours(baseDate, amount);
    case KDPeriodUnit::Day: return KovaDates::dateBySubtractingDays(baseDate, amount);
    case KDPeriodUnit::Week: return KovaDates::dateBySubtractingWeeks(baseDate, amount);
    case KDPeriodUnit::Month: return KovaDates::dateBySubtractingMonths(baseDate, amount);
    case KDPeriodUnit::Year: return KovaDates::dateBySubtractingYears(baseDate, amount);
    }
    return baseDate;
}

QDateTime KDTimePeriod::distantPast()
{
    return platform::DateEnvironment::distantPast();
}

QDateTime KDTimePeriod::distantFuture()
{
    return platform::DateEnvironment::distantFuture();
}

} // namespace kova
