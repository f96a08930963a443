#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace kova::platform {

class OperationQueue;

// An asynchronous operation: `start` marks it executing and calls
// `execute`; it stays executing until `finish` is called, however long that
// takes, and only then lets the next operation of its queue run.
// Operations live on the main thread.
class Operation : public std::enable_shared_from_this<Operation> {
public:
    virtual ~Operation();

    bool isExecuting() const { return m_executing; }
    bool isFinished() const { return m_finished; }

    void start();
    void finish();

    // A call-once handle that finishes this operation. When every copy is
    // destroyed without a call, the operation is finished anyway, so a lost
    // handle can never stall its queue.
    std::function<void()> makeDoneHandle();

protected:
    virtual void execute() = 0;

private:
    friend class OperationQueue;
    bool m_executing = false;
    bool m_finished = false;
    std::function<void()> m_onFinished; // set by the queue
};

} // namespace kova::platform
