#include "dates/platform/DateEnvironment.h"

#include <atomic>
#include <mutex>

namespace kova::platform {
namespace {
std::mutex s_mutex;
std::function<QDateTime()> s_clock;
std::optional<QTimeZone> s_zone;
std::optional<QLocale> s_locale;
std::atomic<quint64> s_generation{1};

constexpr qint64 kDistantPastSeconds = -62135769600;
constexpr qint64 kDistantFutureSeconds = 64092211200;
} // namespace

QDateTime DateEnvironment::now()
{
    std::function<QDateTime()> clock;
    {
        std::lock_guard lock(s_mutex);
        clock = s_clock;
    }
    if (clock)
        return clock().toUTC();
    return QDateTime::currentDateTimeUtc();
}

void DateEnvironment::setNowOverride(std::function<QDateTime()> clock)
{
    std::lock_guard lock(s_mutex);
    s_clock = std::move(clock);
}

QTimeZone DateEnvironment::systemTimeZone()
{
    {
        std::lock_guard lock(s_mutex);
        if (s_zone)
            return *s_zone;
    }
    return QTimeZone::systemTimeZone();
}

void DateEnvironment::setSystemTimeZoneOverride(std::optional<QTimeZone> zone)
{
    std::lock_guard lock(s_mutex);
    s_zone = std::move(zone);
    s_generation.fetch_add(1, std::memory_order_acq_rel);
}

QLocale DateEnvironment::currentLocale()
{
    {
        std::lock_guard lock(s_mutex);
        if (s_locale)
            return *s_locale;
    }
    return QLocale::system();
}

void DateEnvironment::setCurrentLocaleOverride(std::optional<QLocale> locale)
{
    std::lock_guard lock(s_mutex);
    s_locale = std::move(locale);
    s_generation.fetch_add(1, std::memory_order_acq_rel);
}

quint64 DateEnvironment::generation()
{
    return s_generation.load(std::memory_order_acquire);
}

QDateTime DateEnvironment::distantPast()
{
    return QDateTime::fromSecsSinceEpoch(kDistantPastSeconds, Qt::UTC);
}

QDateTime DateEnvironment::distantFuture()
{
    return QDateTime::fromSecsSinceEpoch(kDistantFutureSeconds, Qt::UTC);
}

} // namespace kova::platform
