#include "platform/operations/Operation.h"

#include "platform/dispatch/CallOnce.h"
#include "platform/dispatch/MainQueue.h"

namespace kova::platform {

Operation::~Operation() = default;

void Operation::start()
{
    if (m_executing || m_finished)
        return;
    m_executing = true;
    execute();
}

void Operation::finish()
{
    if (m_finished)
        return;
    m_executing = false;
    m_finished = true;
    // The queue lets go of this operation as it hears of it; this call
    // keeps it alive until it returns.
    const std::shared_ptr<Operation> self = weak_from_this().lock();
    if (auto onFinished = std::move(m_onFinished))
        onFinished();
}

std::function<void()> Operation::makeDoneHandle()
{
    const std::weak_ptr<Operation> weak = weak_from_this();
    auto finish = [weak]() {
        if (auto op = weak.lock())
            op->finish();
    };
    // Dropped without a call: finish on a later turn, whatever thread let go.
    auto once = std::make_shared<CallOnce>([finish]() { MainQueue::async(finish); });
    return [once, finish]() {
        if (!once->claim())
            return;
        if (MainQueue::isMainThread())
            finish();
        else
            MainQueue::async(finish);
    };
}

} // namespace kova::platform
