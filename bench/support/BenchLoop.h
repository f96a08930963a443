#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

// What the end-to-end benchmarks share: running the main loop until work is
// done, and the figures of a run's samples.
namespace kova::bench {

// Runs the main loop as a host's would: asleep in the loop until there is
// something to do. (processEvents with a time limit never waits: it would
// spin a core and take it from the server's and the network's threads.)
inline bool spinUntil(const std::function<bool()> &done, int seconds = 120)
{
    QDeadlineTimer deadline(seconds * 1000);
    // Wakes the loop now and then so the deadline is seen when nothing comes.
    QTimer wake;
    wake.start(50);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

inline double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

inline double median(std::vector<double> values)
{
    return percentile(std::move(values), 0.5);
}

} // namespace kova::bench
