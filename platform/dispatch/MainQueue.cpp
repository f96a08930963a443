#include "platform/dispatch/MainQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>

#include "platform/foundation/Log.h"

namespace kova::platform::MainQueue {
namespace {

std::atomic<bool> s_releaseArmed{false};
std::atomic<bool> s_sawApplication{false};
void releaseQueuedWork();

// Once per application object: its destruction releases what is still queued.
void armRelease()
{
    s_sawApplication.store(true, std::memory_order_relaxed);
    if (!s_releaseArmed.exchange(true))
        qAddPostRoutine(releaseQueuedWork);
}

void dropped()
{
    // Once the host's application object has gone there is nothing left for
    // the work to do; a call before any exists is the host's mistake.
    if (!s_sawApplication.load(std::memory_order_relaxed))
        log(QStringLiteral("Main queue: no application object; work dropped"));
}

// Work that Qt's own queue carries for us (a zero-delay call, a delayed one)
// stays here; Qt's event holds only its number.
class Held {
public:
    quint64 add(std::function<void()> work)
    {
        quint64 id;
        {
            std::lock_guard lock(m_mutex);
            id = ++m_last;
            m_work.emplace(id, std::move(work));
        }
        armRelease();
        return id;
    }
    std::function<void()> take(quint64 id)
    {
        std::lock_guard lock(m_mutex);
        auto node = m_work.extract(id);
        return node ? std::move(node.mapped()) : nullptr;
    }
    std::map<quint64, std::function<void()>> takeAll()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_work, {});
    }
    // Runs the work numbered `id` unless it was released meanwhile.
    static void run(quint64 id);

private:
    std::mutex m_mutex;
    quint64 m_last = 0;
    std::map<quint64, std::function<void()>> m_work;
};

Held &held()
{
    // Never destroyed: work may be posted while statics go away.
    static Held *instance = new Held;
    return *instance;
}

void Held::run(quint64 id)
{
    if (std::function<void()> work = held().take(id))
        work();
}

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
        {
            std::lock_guard lock(m_mutex);
            const bool wake = m_pending.empty();
            m_pending.push_back(std::move(work));
            // One wake-up per batch. Its event is made inside Qt: an
            // application-wide event filter reads every posted event before
            // the drain takes the lock, and Qt's queue hands it over through
            // locks ThreadSanitizer cannot see, so an event made here would
            // look raced.
            if (wake)
                postWakeUp();
        }
        armRelease();
    }

    std::deque<std::function<void()>> takeAll()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_pending, {});
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

std::atomic<Mailbox *> s_mailbox{nullptr};

Mailbox *mailbox()
{
    // Never destroyed: work may be posted while statics go away.
    static Mailbox *instance = [] {
        auto *made = new Mailbox;
        made->moveToThread(QCoreApplication::instance()->thread());
        s_mailbox.store(made);
        return made;
    }();
    return instance;
}

// Runs as the application object's destruction begins (Qt calls the
// application's post routines first thing). What the released work held goes
// here, outside our locks; work it posts as it goes is released in turn.
void releaseQueuedWork()
{
    s_releaseArmed.store(false);
    std::deque<std::function<void()>> pending;
    if (Mailbox *box = s_mailbox.load())
        pending = box->takeAll();
    std::map<quint64, std::function<void()>> carried = held().takeAll();
    pending.clear();
    carried.clear();
}

} // namespace

void async(std::function<void()> work)
{
    if (!QCoreApplication::instance())
        return dropped();
    mailbox()->add(std::move(work));
}

void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work)
{
    // Timers belong to the thread that starts them, so the timer is started
    // from the main loop itself.
    async([delay, work = std::move(work)]() mutable {
        const quint64 id = held().add(std::move(work));
        QTimer::singleShot(delay, QCoreApplication::instance(), [id] { Held::run(id); });
    });
}

void nextTurn(std::function<void()> work)
{
    if (!work)
        return;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return dropped();
    const quint64 id = held().add(std::move(work));
    QTimer::singleShot(0, app, [id] { Held::run(id); });
}

bool isMainThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace kova::platform::MainQueue
