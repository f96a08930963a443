#pragma once

// Usage:
//   auto link = DisplayLink::create([weak](DisplayLink &l) { ... });
//   link->setPreferredFramesPerSecond(10);
//   link->add(RunLoopMode::Common);   // starts firing (unless paused)
//   link->setPaused(true); link->invalidate();
// A refresh source ticks at the screen's rate (60 Hz by default, a precise
// timer); the link fires on the ticks that keep it at its preferred rate.
// Tests and benchmarks inject a ManualRefreshSource and step time themselves.
// The callback is the link's only reference to its target: capture a weak one.

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace kova::platform {

namespace RunLoopMode {
inline const QString Default = QStringLiteral("kCFRunLoopDefaultMode");
inline const QString Common = QStringLiteral("kCFRunLoopCommonModes");
} // namespace RunLoopMode

// The screen's refresh: a media clock and a tick at its rate.
class RefreshSource {
public:
    using Tick = std::function<void()>;
    virtual ~RefreshSource() = default;
    virtual double currentMediaTime() const = 0; // seconds
    virtual double refreshInterval() const = 0;  // seconds between ticks
    // Starts calling `tick` (main thread) on every refresh; stop() ends it.
    virtual void start(Tick tick) = 0;
    virtual void stop() = 0;

    // A QTimer::PreciseTimer at 60 Hz over a monotonic clock, shared.
    static std::shared_ptr<RefreshSource> system();
};

// A source whose time only moves when told; refresh() advances one interval
// and ticks.
class ManualRefreshSource : public RefreshSource {
public:
    explicit ManualRefreshSource(double hz = 60.0) : m_interval(1.0 / hz) {}
    double currentMediaTime() const override { return m_now; }
    double refreshInterval() const override { return m_interval; }
    void start(Tick tick) override { m_tick = std::move(tick); }
    void stop() override { m_tick = nullptr; }
    void refresh(int count = 1);
    void advance(double seconds) { m_now += seconds; }

private:
    double m_now = 1000.0;
    double m_interval;
    Tick m_tick;
};

class DisplayLink : public std::enable_shared_from_this<DisplayLink> {
    struct Passkey {};

public:
    using Callback = std::function<void(DisplayLink &)>;

    DisplayLink(Passkey, Callback callback, std::shared_ptr<RefreshSource> source);
    ~DisplayLink();
    static std::shared_ptr<DisplayLink> create(Callback callback,
                                               std::shared_ptr<RefreshSource> source = nullptr);

    // Starts delivery in a run-loop mode; the default mode waits while the
    // application is tracking a drag.
    void add(const QString &mode);
    QString mode() const { return m_mode; }
    bool isPaused() const { return m_paused; }
    void setPaused(bool paused);
    int preferredFramesPerSecond() const { return m_fps; }
    // 0 = the screen's rate.
    void setPreferredFramesPerSecond(int fps) { m_fps = fps; }
    void invalidate();
    bool isValid() const { return m_valid; }

    // Time of the refresh being delivered, and of the next one at the link's rate.
    double timestamp() const { return m_timestamp; }
    double targetTimestamp() const { return m_targetTimestamp; }
    double duration() const;
    const std::shared_ptr<RefreshSource> &source() const { return m_source; }
    quint64 fireCount() const { return m_fires; }

    // For a source that ticks the link directly: one refresh of the screen.
    void onRefresh();

private:
    void updateRunning();

    Callback m_callback;
    std::shared_ptr<RefreshSource> m_source;
    QString m_mode;
    bool m_added = false;
    bool m_paused = false;
    bool m_valid = true;
    bool m_running = false;
    int m_fps = 0;
    double m_timestamp = 0;
    double m_targetTimestamp = 0;
    double m_lastFire = -1;
    quint64 m_fires = 0;
};

} // namespace kova::platform
