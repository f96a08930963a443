#include "ui/payment/KOVPaymentFlowState.h"

namespace kova {

bool KOVPaymentFlowState::cancel()
{
    if (m_phase != Phase::Choosing)
        return false;
    m_phase = Phase::Ended;
    return true;
}

bool KOVPaymentFlowState::beginTransfer()
{
    if (m_phase != Phase::Choosing)
        return false;
    m_phase = Phase::Transferring;
    return true;
}

bool KOVPaymentFlowState::finishTransfer(bool showsResult)
{
    if (m_phase != Phase::Transferring)
        return false;
    m_phase = showsResult && !m_screensSkipped ? Phase::ShowingResult : Phase::Ended;
    return true;
}

bool KOVPaymentFlowState::closeResult()
{
    if (m_phase != Phase::ShowingResult)
        return false;
    m_phase = Phase::Ended;
    return true;
}

KOVPaymentFlowState::HostDismissal KOVPaymentFlowState::hostDismissed()
{
    switch (m_phase) {
    case Phase::Choosing:
        m_phase = Phase::Ended;
        return HostDismissal::ReportCancel;
    case Phase::Transferring:
        m_screensSkipped = true;
        return HostDismissal::SkipScreens;
    case Phase::ShowingResult:
        m_phase = Phase::Ended;
        return HostDismissal::Nothing;
    case Phase::Ended:
        break;
    }
    return HostDismissal::Nothing;
}

bool KOVPaymentFlowState::beginStep()
{
    if (m_stepRunning || m_phase != Phase::Choosing)
        return false;
    m_stepRunning = true;
    return true;
}

} // namespace kova
