#pragma once

#include <QtGlobal>
#include <chrono>
#include <functional>
#include <memory>

namespace kova {

// Runs work on the main thread after a delay: the time base of the animated
// image's delayed calls. Tests put a clock of their own in its place to step
// through time without waiting.
class KGClock {
public:
    using Token = quint64;

    virtual ~KGClock() = default;
    // Schedules `work` on the main thread `delay` from now; call on the main thread.
    virtual Token schedule(std::chrono::milliseconds delay, std::function<void()> work) = 0;
    // Cancels scheduled work that has not run yet; unknown tokens are ignored.
    virtual void cancel(Token token) = 0;

    // The main loop's timers.
    static std::shared_ptr<KGClock> systemClock();
};

} // namespace kova
