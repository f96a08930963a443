#include "platform/ui/DisplayLink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <cmath>
#include <map>

#include "platform/ui/Application.h"

namespace kova::platform {
namespace {

// One 60 Hz precise timer drives every link of the process.
class SystemRefreshSource : public RefreshSource {
public:
    SystemRefreshSource()
    {
        m_clock.start();
    }
    double currentMediaTime() const override { return m_clock.nsecsElapsed() / 1e9; }
    double refreshInterval() const override { return 1.0 / 60.0; }
    void start(Tick tick) override
    {
        m_tick = std::move(tick);
        // Once the application object is gone there is no screen to refresh.
        if (!m_timer && !QCoreApplication::instance())
            return;
        if (!m_timer) {
            m_timer = new QTimer(QCoreApplication::instance());
            m_timer->setTimerType(Qt::PreciseTimer);
            m_timer->setInterval(16);
            QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] {
                // The next tick is aimed at the 60 Hz grid, so the rate does
                // not drift to the timer's whole milliseconds.
                const double now = currentMediaTime();
                m_next += refreshInterval();
                if (m_next < now)
                    m_next = now + refreshInterval();
                m_timer->setInterval(std::max(1, static_cast<int>(std::lround((m_next - now) * 1000))));
                if (m_tick)
                    m_tick();
            });
        }
        m_next = currentMediaTime() + refreshInterval();
        m_timer->start();
    }
    void stop() override
    {
        m_tick = nullptr;
        if (m_timer)
            m_timer->stop();
    }

private:
    QElapsedTimer m_clock;
    // Goes with the application object, which links may outlive.
    QPointer<QTimer> m_timer;
    Tick m_tick;
    double m_next = 0;
};

// Links share one source but each source ticks one callback: a fan-out.
struct Fanout {
    std::vector<std::weak_ptr<DisplayLink>> links;
    bool running = false;
};

// Never destroyed: a link may go after the statics do, with a screen a host
// keeps in a global past main.
std::map<RefreshSource *, Fanout> &fanouts()
{
    static auto *map = new std::map<RefreshSource *, Fanout>;
    return *map;
}

void refreshAll(RefreshSource *source)
{
    auto it = fanouts().find(source);
    if (it == fanouts().end())
        return;
    const auto links = it->second.links; // a callback may add or drop links
    for (const auto &weak : links) {
        if (auto link = weak.lock())
            link->onRefresh();
    }
}

} // namespace

std::shared_ptr<RefreshSource> RefreshSource::system()
{
    static std::shared_ptr<RefreshSource> source = std::make_shared<SystemRefreshSource>();
    return source;
}

void ManualRefreshSource::refresh(int count)
{
    for (int i = 0; i < count; ++i) {
        m_now += m_interval;
        if (m_tick)
            m_tick();
    }
}

DisplayLink::DisplayLink(Passkey, Callback callback, std::shared_ptr<RefreshSource> source)
    : m_callback(std::move(callback)), m_source(source ? std::move(source) : RefreshSource::system())
{
}

DisplayLink::~DisplayLink()
{
    m_running = true; // so that updateRunning below detaches
    m_valid = false;
    auto it = fanouts().find(m_source.get());
    if (it != fanouts().end()) {
        std::erase_if(it->second.links, [](const auto &w) { return w.expired(); });
        if (it->second.links.empty()) {
            m_source->stop();
            fanouts().erase(it);
        }
    }
}

std::shared_ptr<DisplayLink> DisplayLink::create(Callback callback, std::shared_ptr<RefreshSource> source)
{
    return std::make_shared<DisplayLink>(Passkey{}, std::move(callback), std::move(source));
}

void DisplayLink::add(const QString &mode)
{
    if (!m_valid || m_added)
        return;
    m_mode = mode;
    m_added = true;
    updateRunning();
}

void DisplayLink::setPaused(bool paused)
{
    m_paused = paused;
    updateRunning();
}

void DisplayLink::invalidate()
{
    m_valid = false;
    m_callback = nullptr;
    updateRunning();
}

double DisplayLink::duration() const
{
    return m_source->refreshInterval();
}

void DisplayLink::updateRunning()
{
    const bool shouldRun = m_valid && m_added && !m_paused;
    if (shouldRun == m_running)
        return;
    m_running = shouldRun;
    RefreshSource *key = m_source.get();
    Fanout &fanout = fanouts()[key];
    std::erase_if(fanout.links, [this](const auto &w) { return w.expired() || w.lock().get() == this; });
    if (shouldRun) {
        fanout.links.push_back(weak_from_this());
        m_lastFire = -1;
    }
    if (!fanout.links.empty() && !fanout.running) {
        fanout.running = true;
        m_source->start([key] { refreshAll(key); });
    } else if (fanout.links.empty() && fanout.running) {
        fanout.running = false;
        m_source->stop();
    }
}

void DisplayLink::onRefresh()
{
    if (!m_running || !m_callback)
        return;
    if (m_mode != RunLoopMode::Common && Application::shared().isTracking())
        return;
    const double now = m_source->currentMediaTime();
    const double interval = m_source->refreshInterval();
    const int screenRate = static_cast<int>(std::lround(1.0 / interval));
    const int rate = (m_fps <= 0 || m_fps >= screenRate) ? screenRate : m_fps;
    const double period = 1.0 / rate;
    // Fires on the refreshes that keep the link at its own rate: the first
    // refresh at or after a whole period since the last firing (half a
    // refresh of slack absorbs jitter).
    if (m_lastFire >= 0 && now - m_lastFire < period - interval / 2)
        return;
    m_lastFire = (m_lastFire >= 0 && now - m_lastFire < period + interval / 2) ? m_lastFire + period : now;
    m_timestamp = now;
    m_targetTimestamp = now + period;
    ++m_fires;
    auto self = shared_from_this();
    Callback callback = m_callback;
    callback(*this);
}

} // namespace kova::platform
