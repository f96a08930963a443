#include "platform/dispatch/SerialQueue.h"

#include <pthread.h>

namespace kova::platform {

SerialQueue::SerialQueue(QString label)
    : m_label(std::move(label))
{
    m_thread = std::thread([state = m_state, label = m_label] { run(state, label); });
}

SerialQueue::~SerialQueue()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
        dropped.swap(m_state->pending);
    }
    m_state->wake.notify_all();
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
        std::lock_guard lock(m_state->mutex);
        if (m_state->stopping)
            return;
        m_state->pending.push_back(std::move(block));
    }
    m_state->wake.notify_one();
}

bool SerialQueue::isCurrent() const
{
    return m_thread.get_id() == std::this_thread::get_id();
}

void SerialQueue::run(const std::shared_ptr<State> &state, const QString &label)
{
    // Thread names are limited to 15 characters; the label's tail is the telling part.
    const QByteArray name = label.right(15).toUtf8();
    pthread_setname_np(pthread_self(), name.constData());
    for (;;) {
        std::function<void()> block;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&state] { return state->stopping || !state->pending.empty(); });
            if (state->stopping)
                return;
            block = std::move(state->pending.front());
            state->pending.pop_front();
        }
        block();
    }
}

} // namespace kova::platform
