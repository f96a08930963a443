#pragma once

namespace kova::platform {

// Without GL (offscreen, or a display without it) the web engine reports its
// start-up at length and warns that it fell back to software drawing. A
// program that draws in software on purpose (the demo, the screen tests)
// calls this first thing in main: those lines are left out and every other
// message goes on to the handler that was installed before.
void leaveOutWebEngineStartupReport();

} // namespace kova::platform
