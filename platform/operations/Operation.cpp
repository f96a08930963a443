#include "platform/operations/Operation.h"

#include <atomic>

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

namespace {

struct DoneState {
    std::weak_ptr<Operation> operation;
    std::atomic<bool> called{false};

    void fire()
    {
        if (called.exchange(true))
            return;
        auto weak = operation;
        auto finishNow = [weak]() {
            if (auto op = weak.lock())
                op->finish();
        };
        if (MainQueue::isMainThread())
            finishNow();
        else
            MainQueue::async(finishNow);
    }

    ~DoneState()
    {
        if (called.load())
            return;
        // Dropped without a call: finish on a later turn, whatever thread let go.
        called = true;
        auto weak = operation;
        MainQueue::async([weak]() {
            if (auto op = weak.lock())
                op->finish();
        });
    }
};

} // namespace

std::function<void()> Operation::makeDoneHandle()
{
    auto state = std::make_shared<DoneState>();
    state->operation = weak_from_this();
    return [state]() { state->fire(); };
}

} // namespace kova::platform
