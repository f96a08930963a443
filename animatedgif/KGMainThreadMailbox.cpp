#include "animatedgif/KGMainThreadMailbox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <deque>
#include <mutex>

#include "platform/foundation/Log.h"

namespace kova {

namespace {

class Receiver;
Receiver *receiver();

class Receiver final : public QObject {
public:
    void add(std::function<void()> work)
    {
        std::lock_guard lock(m_mutex);
        const bool wake = m_pending.empty();
        m_pending.push_back(std::move(work));
        // One wake-up per batch: the drain takes everything queued by then.
        // Made under the lock, so the drain's lock orders Qt's deleting the
        // event after its making.
        if (wake)
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

protected:
    void customEvent(QEvent *) override
    {
        // Going through the instance's guard orders its making, perhaps on
        // another thread, before this use.
        Receiver *self = receiver();
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(self->m_mutex);
            batch.swap(self->m_pending);
        }
        for (auto &work : batch)
            work();
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_pending;
};

Receiver *receiver()
{
    // Never destroyed: work may be posted while statics go away. Made on
    // whichever thread first posts, and handed to the main thread.
    static Receiver *instance = [] {
        auto *made = new Receiver;
        made->moveToThread(QCoreApplication::instance()->thread());
        return made;
    }();
    return instance;
}

} // namespace

void KGMainThreadMailbox::prepare()
{
    if (QCoreApplication::instance())
        receiver();
}

void KGMainThreadMailbox::post(std::function<void()> work)
{
    if (!QCoreApplication::instance()) {
        platform::log(QStringLiteral("Animated GIF: no application object; main-thread work dropped"));
        return;
    }
    receiver()->add(std::move(work));
}

} // namespace kova
