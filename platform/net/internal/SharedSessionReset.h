#pragma once

namespace kova::platform::internal {

// Ends the shared URL session (its exchanges fail as cancelled); the next
// use makes a new one. Main thread only; tests end it between cases. Not
// part of the installed headers.
void resetSharedURLSession();

} // namespace kova::platform::internal
