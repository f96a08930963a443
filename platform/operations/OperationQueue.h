#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace kova::platform {

class Operation;

// A FIFO lane of asynchronous operations on the main thread. At most
// `maxConcurrentOperationCount` run at once (0 = no limit). An operation
// added is started on a later turn of the main loop, never inside the call
// that added it or inside the `finish` of the one before, unless the queue
// was made to start at once when idle.
class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
public:
    enum class StartPolicy {
        OnALaterTurn,
        // For operations whose `execute` only sets asynchronous work going
        // and never finishes or calls back inside itself: an operation added
        // while the lane has room and nothing waits starts inside the adding
        // call, which saves its caller a turn of the loop. Operations that
        // wait, and those freed by a `finish`, still start on a later turn,
        // as do those past the first `kAtOnceStartsPerTurn` of a turn (on
        // all such queues together).
        AtOnceWhenIdle,
    };
    static constexpr int kAtOnceStartsPerTurn = 8;

    static std::shared_ptr<OperationQueue> create(QString name, int maxConcurrentOperationCount,
                                                  StartPolicy policy = StartPolicy::OnALaterTurn);

    const QString &name() const { return m_name; }
    int maxConcurrentOperationCount() const { return m_maxConcurrent; }
    // Waiting plus running operations.
    size_t operationCount() const { return m_waiting.size() + m_running.size(); }

    void addOperation(std::shared_ptr<Operation> operation);

    // Called (on the main thread) each time the queue becomes empty.
    void setOnDrained(std::function<void()> onDrained) { m_onDrained = std::move(onDrained); }

private:
    OperationQueue(QString name, int maxConcurrent, StartPolicy policy);
    bool hasRoom() const;
    static bool takeAtOnceStart();
    void scheduleStart();
    void startReady();
    void operationFinished(Operation *operation);

    QString m_name;
    int m_maxConcurrent;
    StartPolicy m_policy;
    std::deque<std::shared_ptr<Operation>> m_waiting;
    std::vector<std::shared_ptr<Operation>> m_running;
    bool m_startScheduled = false;
    std::function<void()> m_onDrained;
};

} // namespace kova::platform
