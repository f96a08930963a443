#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "animatedgif/KGClock.h"

namespace kova::test {

// A clock that stands still until the test moves it; due work runs in time
// order (then in the order it was scheduled) on the calling thread.
class FakeClock final : public KGClock {
public:
    Token schedule(std::chrono::milliseconds delay, std::function<void()> work) override;
    void cancel(Token token) override;

    void advance(std::chrono::milliseconds by);
    std::chrono::milliseconds now() const { return m_now; }
    size_t pendingCount() const { return m_pending.size(); }

private:
    struct Pending {
        std::chrono::milliseconds due;
        Token token;
        std::function<void()> work;
    };
    std::chrono::milliseconds m_now{0};
    Token m_next = 1;
    std::vector<Pending> m_pending;
};

} // namespace kova::test
