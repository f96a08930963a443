#include "platform/dispatch/MainQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include "platform/foundation/Log.h"

namespace kova::platform::MainQueue {

void async(std::function<void()> work)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) {
        log(QStringLiteral("Main queue: no application object; work dropped"));
        return;
    }
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
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
