#include "dates/KDTimePeriodChain.h"

#include <QtNumeric>
#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "dates/KDError.h"

namespace kova {
namespace {

bool isExactlyPeriod(const std::shared_ptr<KDTimePeriod> &period)
{
    return period && isExactly<KDTimePeriod>(*period);
}

qint64 wholeSeconds(const KDTimePeriod &period)
{
    const double seconds = std::trunc(period.durationInSeconds());
    return std::isfinite(seconds) ? qint64(seconds) : 0;
}

// The span of a period in milliseconds; 0 when a date is missing, the span
// does not fit in 64 bits, or the end lies before the start (a reversed
// member must never push the rest of the chain later).
qint64 span(const KDTimePeriod &period)
{
    qint64 millis = 0;
    if (!period.hasStartDate() || !period.hasEndDate()
        || qSubOverflow(period.EndDate().toMSecsSinceEpoch(), period.StartDate().toMSecsSinceEpoch(), &millis))
        return 0;
    return std::max<qint64>(millis, 0);
}

void moveEarlier(KDTimePeriod &period, qint64 millis)
{
    if (period.hasStartDate())
        period.setStartDate(period.StartDate().addMSecs(-millis));
    if (period.hasEndDate())
        period.setEndDate(period.EndDate().addMSecs(-millis));
}

} // namespace

std::shared_ptr<KDTimePeriodChain> KDTimePeriodChain::chain()
{
    return std::make_shared<KDTimePeriodChain>();
}

void KDTimePeriodChain::addTimePeriod(const std::shared_ptr<KDTimePeriod> &period)
{
    if (!isExactlyPeriod(period)) {
        KDError::throwBadTypeException(period.get(), QStringLiteral("KDTimePeriod"));
        return;
    }
    if (m_periods.isEmpty())
        m_periods.append(period);
    else
        m_periods.append(KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Second, wholeSeconds(*period), m_periods.last()->EndDate()));
    updateVariables();
}

void KDTimePeriodChain::insertTimePeriod(const std::shared_ptr<KDTimePeriod> &period, qint64 index)
{
    if (!isExactlyPeriod(period)) {
        KDError::throwBadTypeException(period.get(), QStringLiteral("KDTimePeriod"));
        return;
    }
    const qint64 seconds = wholeSeconds(*period);
    if (index == 0 && !m_periods.isEmpty()) {
        m_periods.prepend(KDTimePeriod::timePeriodWithSizeEndingAt(KDPeriodUnit::Second, seconds, m_periods.first()->StartDate()));
    } else if (index >= 1 && index < m_periods.size()) {
        for (qsizetype i = index; i < m_periods.size(); ++i)
            m_periods.at(i)->shiftLaterWithSize(KDPeriodUnit::Second, seconds);
        m_periods.insert(index, KDTimePeriod::timePeriodWithSize(KDPeriodUnit::Second, seconds, m_periods.at(index - 1)->EndDate()));
    } else {
        KDError::throwInsertOutOfBoundsException(index, m_periods);
        return;
    }
    updateVariables();
}

void KDTimePeriodChain::removeTimePeriodAtIndex(qint64 index)
{
    if (index < 0 || index >= m_periods.size()) {
        KDError::throwRemoveOutOfBoundsException(index, m_periods);
        return;
    }
    removeAndCloseGap(index);
}

void KDTimePeriodChain::removeLatestTimePeriod()
{
    if (m_periods.isEmpty())
        return;
    m_periods.removeLast();
    updateVariables();
}

void KDTimePeriodChain::removeEarliestTimePeriod()
{
    if (m_periods.isEmpty())
        return;
    // Every period, the first included, moves back; then the first goes, so
    // the chain starts where the removed period started.
    const qint64 millis = span(*m_periods.first());
    for (const auto &period : std::as_const(m_periods))
        moveEarlier(*period, millis);
    m_periods.removeFirst();
    updateVariables();
}

// The gap is closed by the removed period's exact span, not its whole
// seconds: a period the chain was started with may last a fraction of a
// second, and rounding would leave its neighbours apart.
void KDTimePeriodChain::removeAndCloseGap(qsizetype index)
{
    const qint64 millis = span(*m_periods.at(index));
    for (qsizetype i = index + 1; i < m_periods.size(); ++i)
        moveEarlier(*m_periods.at(i), millis);
    m_periods.removeAt(index);
    updateVariables();
}

bool KDTimePeriodChain::isEqualToChain(const std::shared_ptr<KDTimePeriodGroup> &other) const
{
    if (!other || !isExactly<KDTimePeriodChain>(*other)) {
        KDError::throwBadTypeException(other ? KDError::className(dynamicType(*other)) : QStringLiteral("(null)"),
                                       QStringLiteral("KDTimePeriodChain"));
        return false;
    }
    if (!hasSameCharacteristicsAs(other))
        return false;
    const auto &theirs = static_cast<const KDTimePeriodChain &>(*other).m_periods;
    for (qsizetype i = 0; i < m_periods.size(); ++i)
        if (!m_periods.at(i)->isEqualToPeriod(theirs.at(i)))
            return false;
    return true;
}

void KDTimePeriodChain::updateVariables()
{
    if (m_periods.isEmpty()) {
        setVariablesNil();
        return;
    }
    m_first = m_periods.first();
    m_last = m_periods.last();
    m_startDate = m_first->StartDate();
    m_endDate = m_last->EndDate();
}

void KDTimePeriodChain::setVariablesNil()
{
    m_first.reset();
    m_last.reset();
    m_startDate = QDateTime();
    m_endDate = QDateTime();
}

} // namespace kova
