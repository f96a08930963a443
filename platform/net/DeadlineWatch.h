#pragma once

#include <chrono>
#include <functional>

namespace kova::platform {

// Runs work on the main queue once a moment has passed. The waiting happens
// on one thread of its own, so the main loop carries no timer for the many
// long deadlines that almost never expire (every timer the main loop holds
// costs it a clock reading on each turn).
class DeadlineWatch {
public:
    using Clock = std::chrono::steady_clock;
    static void at(Clock::time_point when, std::function<void()> work);
};

} // namespace kova::platform
