#include "platform/operations/OperationQueue.h"

#include <algorithm>

#include "platform/dispatch/MainQueue.h"
#include "platform/operations/Operation.h"

namespace kova::platform {

std::shared_ptr<OperationQueue> OperationQueue::create(QString name, int maxConcurrentOperationCount,
                                                       StartPolicy policy)
{
    return std::shared_ptr<OperationQueue>(new OperationQueue(std::move(name), maxConcurrentOperationCount, policy));
}

OperationQueue::OperationQueue(QString name, int maxConcurrent, StartPolicy policy)
    : m_name(std::move(name)), m_maxConcurrent(std::max(0, maxConcurrent)), m_policy(policy)
{
}

bool OperationQueue::hasRoom() const
{
    return m_maxConcurrent == 0 || int(m_running.size()) < m_maxConcurrent;
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation)
{
    if (!operation || operation->isExecuting() || operation->isFinished())
        return;
    m_waiting.push_back(std::move(operation));
    // Only when nothing is waiting or scheduled, so the lane's order holds.
    if (m_policy == StartPolicy::AtOnceWhenIdle && m_waiting.size() == 1 && !m_startScheduled && hasRoom()
        && takeAtOnceStart()) {
        startReady();
        return;
    }
    scheduleStart();
}

bool OperationQueue::takeAtOnceStart()
{
    // What an operation sets going inside the caller's turn is often
    // finished by work the toolkit queues for the loop's next turn, and that
    // work runs there in one go. Past a few starts in one turn, the rest wait
    // for the main queue, which runs them in slices the loop's timers can
    // come between.
    static int s_startedThisTurn = 0;
    if (s_startedThisTurn >= kAtOnceStartsPerTurn)
        return false;
    if (s_startedThisTurn++ == 0)
        MainQueue::async([] { s_startedThisTurn = 0; });
    return true;
}

void OperationQueue::scheduleStart()
{
    if (m_startScheduled)
        return;
    m_startScheduled = true;
    // The queue keeps itself alive until its scheduled turn has run.
    MainQueue::async([self = shared_from_this()]() {
        self->m_startScheduled = false;
        self->startReady();
    });
}

void OperationQueue::startReady()
{
    while (!m_waiting.empty() && hasRoom()) {
        std::shared_ptr<Operation> operation = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_running.push_back(operation);
        Operation *raw = operation.get();
        operation->m_onFinished = [self = shared_from_this(), raw]() { self->operationFinished(raw); };
        operation->start();
    }
}

void OperationQueue::operationFinished(Operation *operation)
{
    auto it = std::find_if(m_running.begin(), m_running.end(),
                           [operation](const auto &running) { return running.get() == operation; });
    if (it == m_running.end())
        return;
    m_running.erase(it);
    if (!m_waiting.empty())
        scheduleStart();
    else if (m_running.empty() && m_onDrained)
        m_onDrained();
}

} // namespace kova::platform
