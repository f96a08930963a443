#include "ui/payment/KOVTransferLoaderSchedule.h"

namespace kova {

KOVTransferLoaderSchedule::Step KOVTransferLoaderSchedule::tick()
{
    if (m_secNumber >= ticksPerMessage && m_secNumber % ticksPerMessage == 0) {
        ++m_lastMessageIndex;
        m_secNumber = 0;
    }
    if (m_lastMessageIndex >= messageCount) {
        m_secNumber = 0;
        m_lastMessageIndex = messageCount - 1;
    }
    const Step step{m_lastMessageIndex, m_secNumber % 4};
    ++m_secNumber;
    return step;
}

void KOVTransferLoaderSchedule::reset()
{
    m_lastMessageIndex = 0;
    m_secNumber = 0;
}

} // namespace kova
