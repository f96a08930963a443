#include "platform/dispatch/MainQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <deque>
#include <iterator>
#include <mutex>

#include "platform/foundation/Log.h"

namespace kova::platform::MainQueue {
namespace {

// Work travels through a list of our own under a std::mutex, and only a
// payload-free event crosses Qt's queue: Qt's own locks are invisible to
// ThreadSanitizer, so work made on one thread and run on another must meet
// under a lock it can see. One list for every poster keeps the posting order.
class Mailbox;
Mailbox *mailbox();

class Mailbox final : public QObject {
public:
    // Short enough that the work Qt queues for what a slice started (a
    // network request's own start, say) still leaves the timers their turn.
    static constexpr qint64 kSliceNanoseconds = 250'000;

    void add(std::function<void()> work)
    {
        std::lock_guard lock(m_mutex);
        const bool wake = m_pending.empty();
        m_pending.push_back(std::move(work));
        // One wake-up per batch. Its event is made inside Qt: an
        // application-wide event filter reads every posted event before the
        // drain takes the lock, and Qt's queue hands it over through locks
        // ThreadSanitizer cannot see, so an event made here would look raced.
        if (wake)
            postWakeUp();
    }

private:
    void postWakeUp()
    {
        QMetaObject::invokeMethod(this, [] { mailbox()->drain(); }, Qt::QueuedConnection);
    }

    void drain()
    {
        // Reached through the instance's guard, which orders its making
        // (perhaps on another thread) before this use.
        Mailbox *self = mailbox();
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(self->m_mutex);
            batch.swap(self->m_pending);
        }
        // Work posted while this batch runs waits for a later turn. A long
        // batch (thousands of calls issued at once) is run in slices, so the
        // loop's timers and input are served in between; what is left goes
        // back in front of anything posted meanwhile.
        QElapsedTimer slice;
        slice.start();
        while (!batch.empty()) {
            std::function<void()> work = std::move(batch.front());
            batch.pop_front();
            work();
            if (!batch.empty() && slice.nsecsElapsed() >= kSliceNanoseconds) {
                std::lock_guard lock(self->m_mutex);
                std::move(self->m_pending.begin(), self->m_pending.end(), std::back_inserter(batch));
                self->m_pending.swap(batch);
                self->postWakeUp();
                return;
            }
        }
    }

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_pending;
};

Mailbox *mailbox()
{
    // Never destroyed: work may be posted while statics go away.
    static Mailbox *instance = [] {
        auto *made = new Mailbox;
        made->moveToThread(QCoreApplication::instance()->thread());
        return made;
    }();
    return instance;
}

} // namespace

void async(std::function<void()> work)
{
    if (!QCoreApplication::instance()) {
        log(QStringLiteral("Main queue: no application object; work dropped"));
        return;
    }
    mailbox()->add(std::move(work));
}

void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work)
{
    // Timers belong to the thread that starts them, so the timer is started
    // from the main loop itself.
    async([delay, work = std::move(work)]() mutable {
        QTimer::singleShot(delay, QCoreApplication::instance(), std::move(work));
    });
}

bool isMainThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace kova::platform::MainQueue
