#pragma once

#include <chrono>
#include <functional>

// The main queue is the event loop of the thread that made the
// QCoreApplication. Work posted to it runs on a later turn of that loop, in
// the order it was posted, never re-entrantly inside the poster's call.
namespace kova::platform::MainQueue {

void async(std::function<void()> work);
void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work);
bool isMainThread();

} // namespace kova::platform::MainQueue
