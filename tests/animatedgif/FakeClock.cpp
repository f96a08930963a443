#include "tests/animatedgif/FakeClock.h"

#include <algorithm>

namespace kova::test {

KGClock::Token FakeClock::schedule(std::chrono::milliseconds delay, std::function<void()> work)
{
    const Token token = m_next++;
    m_pending.push_back({m_now + delay, token, std::move(work)});
    return token;
}

void FakeClock::cancel(Token token)
{
    std::erase_if(m_pending, [token](const Pending &pending) { return pending.token == token; });
}

void FakeClock::advance(std::chrono::milliseconds by)
{
    const std::chrono::milliseconds target = m_now + by;
    for (;;) {
        auto next = std::min_element(m_pending.begin(), m_pending.end(), [](const Pending &a, const Pending &b) {
            return a.due != b.due ? a.due < b.due : a.token < b.token;
        });
        if (next == m_pending.end() || next->due > target)
            break;
        m_now = next->due;
        auto work = std::move(next->work);
        m_pending.erase(next);
        work();
    }
    m_now = target;
}

} // namespace kova::test
