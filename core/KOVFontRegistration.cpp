#include "core/KOVFontRegistration.h"

#include <mutex>

#include "platform/foundation/Log.h"

namespace kova {
namespace {
std::mutex s_mutex;
std::function<void()> s_registration;
std::once_flag s_started;
} // namespace

void setFontRegistration(std::function<void()> registration)
{
    std::lock_guard lock(s_mutex);
    s_registration = std::move(registration);
}

void startFontRegistration()
{
    std::call_once(s_started, [] {
        std::function<void()> registration;
        {
            std::lock_guard lock(s_mutex);
            registration = s_registration;
        }
        if (registration)
            registration();
        else
            platform::log(QStringLiteral("[Kova] Fonts are not available yet"));
    });
}

} // namespace kova
