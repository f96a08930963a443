#pragma once

#include <chrono>

namespace kova::internal {

// Puts process-wide state back to how a new process finds it, so that test
// cases start alike. Not part of the installed headers.
struct KOVProcessState {
    // Forgets the started instance, the applied configuration, the start's
    // memory and the store, as a new process would.
    static void resetAppState();
    // Time-outs of the two request sessions; shortened before first use.
    static void setSessionTimeouts(std::chrono::milliseconds defaultTimeout, std::chrono::milliseconds autoFlowTimeout);
    // Ends both request sessions, so that no connection of theirs is left
    // open; the next request makes them again.
    static void resetSessions();
    // The configs and logs calls' session: its time-outs, and its end (while
    // the application object still exists; the next call makes a new one).
    static void setServiceSessionTimeouts(std::chrono::milliseconds idle, std::chrono::milliseconds overall);
    static void resetServiceSession();
    // Back to before the font registration started.
    static void resetFontRegistration();

private:
    static void resetStartState();
};

} // namespace kova::internal
