#include "animatedgif/KGClock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <map>

namespace kova {

namespace {

class TimerClock final : public KGClock {
public:
    Token schedule(std::chrono::milliseconds delay, std::function<void()> work) override
    {
        const Token token = m_next++;
        auto *timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(true);
        m_timers.emplace(token, timer);
        QObject::connect(timer, &QTimer::timeout, timer, [this, token, work = std::move(work)]() mutable {
            auto found = m_timers.find(token);
            if (found == m_timers.end())
                return;
            QPointer<QTimer> fired = found->second;
            m_timers.erase(found);
            // The work may schedule or cancel; it runs after the timer is forgotten.
            auto run = std::move(work);
            if (fired)
                fired->deleteLater();
            run();
        });
        timer->start(delay);
        return token;
    }

    void cancel(Token token) override
    {
        auto found = m_timers.find(token);
        if (found == m_timers.end())
            return;
        delete found->second.data();
        m_timers.erase(found);
    }

private:
    Token m_next = 1;
    // Timers belong to the application object and go with it.
    std::map<Token, QPointer<QTimer>> m_timers;
};

} // namespace

std::shared_ptr<KGClock> KGClock::systemClock()
{
    // Never destroyed: images may cancel their calls while statics go away.
    static const auto *clock = new std::shared_ptr<KGClock>(std::make_shared<TimerClock>());
    return *clock;
}

} // namespace kova
