#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
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
    // Shared with the queue's thread, which may outlive the queue when one
    // of its own blocks lets go of it.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> pending;
        bool stopping = false;
    };
    static void run(const std::shared_ptr<State> &state, const QString &label);

    const QString m_label;
    const std::shared_ptr<State> m_state = std::make_shared<State>();
    std::thread m_thread;
};

} // namespace kova::platform
