#pragma once

#include <atomic>
#include <functional>

namespace kova::platform {

// Ends a piece of work exactly once, whichever of its callbacks gets there
// first and on whatever thread. The callbacks share one CallOnce; when the
// last of them lets go without any having claimed it, `ifAbandoned` runs
// instead, so a lost callback can never leave the work hanging.
class CallOnce {
public:
    explicit CallOnce(std::function<void()> ifAbandoned) : m_ifAbandoned(std::move(ifAbandoned)) {}
    ~CallOnce()
    {
        if (!m_claimed.exchange(true) && m_ifAbandoned)
            m_ifAbandoned();
    }
    CallOnce(const CallOnce &) = delete;
    CallOnce &operator=(const CallOnce &) = delete;

    // True for the first caller only.
    bool claim() { return !m_claimed.exchange(true); }

private:
    std::atomic<bool> m_claimed{false};
    std::function<void()> m_ifAbandoned;
};

} // namespace kova::platform
