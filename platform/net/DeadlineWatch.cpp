#include "platform/net/DeadlineWatch.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/dispatch/MainQueue.h"

namespace kova::platform {
namespace {

class Watcher {
public:
    Watcher() : m_thread([this] { run(); }) { m_thread.detach(); }

    void add(DeadlineWatch::Clock::time_point when, std::function<void()> work)
    {
        {
            std::lock_guard lock(m_mutex);
            m_pending.emplace(when, std::move(work));
        }
        m_wake.notify_one();
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_pending.empty()) {
                m_wake.wait(lock);
                continue;
            }
            const auto first = m_pending.begin();
            if (DeadlineWatch::Clock::now() < first->first) {
                m_wake.wait_until(lock, first->first);
                continue;
            }
            std::function<void()> work = std::move(first->second);
            m_pending.erase(first);
            lock.unlock();
            MainQueue::async(std::move(work));
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::multimap<DeadlineWatch::Clock::time_point, std::function<void()>> m_pending;
    std::thread m_thread;
};

Watcher &watcher()
{
    // Never destroyed: its thread waits for the process to end.
    static Watcher *instance = new Watcher();
    return *instance;
}

} // namespace

void DeadlineWatch::at(Clock::time_point when, std::function<void()> work)
{
    watcher().add(when, std::move(work));
}

} // namespace kova::platform
