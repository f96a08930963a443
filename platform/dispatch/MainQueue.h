#pragma once

#include <chrono>
#include <functional>

// The main queue is the event loop of the thread that made the
// QCoreApplication. Work posted to it runs on a later turn of that loop, in
// the order it was posted, never re-entrantly inside the poster's call.
//
// Work still queued when the application object is destroyed is released
// unrun as that destruction begins, while what it holds (screens, widgets)
// can still go. Qt's own queue never holds it: Qt clears that queue under a
// lock of its own, which a widget going then would ask for again. Work posted
// once the application object is gone is dropped.
namespace kova::platform::MainQueue {

void async(std::function<void()> work);
void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work);
// Work for the next turn among Qt's own events, as a zero-delay timer on the
// application would run it: after the events already posted, where
// async() joins a batch that may already be waiting. Main thread only.
void nextTurn(std::function<void()> work);
bool isMainThread();

} // namespace kova::platform::MainQueue
