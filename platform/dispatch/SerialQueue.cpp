#include "platform/dispatch/SerialQueue.h"

#include <pthread.h>

namespace kova::platform {

SerialQueue::SerialQueue(QString label)
    : m_label(std::move(label))
{
    m_thread = std::thread([this] { run(); });
}

SerialQueue::~SerialQueue()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_pending);
    }
    m_wake.notify_all();
    // Blocks hold what they need themselves; dropping them releases it here.
    dropped.clear();
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else if (m_thread.joinable())
        m_thread.join();
}

void SerialQueue::async(std::function<void()> block)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_pending.push_back(std::move(block));
    }
    m_wake.notify_one();
}

bool SerialQueue::isCurrent() const
{
    return m_thread.get_id() == std::this_thread::get_id();
}

void SerialQueue::run()
{
    // Thread names are limited to 15 characters; the label's tail is the telling part.
    const QByteArray name = m_label.right(15).toUtf8();
    pthread_setname_np(pthread_self(), name.constData());
    for (;;) {
        std::function<void()> block;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
            if (m_stopping)
                return;
            block = std::move(m_pending.front());
            m_pending.pop_front();
        }
        block();
    }
}

} // namespace kova::platform
