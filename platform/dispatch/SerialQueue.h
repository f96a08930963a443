#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kova::platform {

// A private serial queue: one thread of its own running blocks one at a time,
// in the order they were added.
class SerialQueue {
public:
    explicit SerialQueue(QString label);
    // Drops the blocks that have not started and waits for the running one,
    // so nothing of the queue outlives its owner.
    ~SerialQueue();
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    void async(std::function<void()> block);
    QString label() const { return m_label; }
    // Whether the calling thread is the queue's.
    bool isCurrent() const;

private:
    void run();

    const QString m_label;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_pending;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace kova::platform
