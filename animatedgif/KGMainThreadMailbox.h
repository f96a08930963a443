#pragma once

#include <functional>

namespace kova {

// Hands work from any thread to the main thread. The work travels through a
// list of our own under a std::mutex and only a payload-free event crosses
// Qt's queue: Qt's locks are invisible to ThreadSanitizer, so work built on
// one thread and run on another must meet under a lock it can see. Work runs
// in the order it was posted.
class KGMainThreadMailbox {
public:
    // Dropped (with a log line) when there is no application object.
    static void post(std::function<void()> work);
    // Sets the mailbox up ahead of the first post; call on the main thread.
    static void prepare();
};

} // namespace kova
