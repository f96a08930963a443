#include "core/internal/KOVFontRegistration.h"

#include <mutex>

#include "core/KOVScreensProvider.h"
#include "core/internal/KOVProcessState.h"

namespace kova {
namespace {
std::mutex s_mutex;
bool s_started = false;
bool s_registered = false;
} // namespace

void startFontRegistration()
{
    {
        std::lock_guard lock(s_mutex);
        if (s_started)
            return;
        s_started = true;
    }
    const std::shared_ptr<KOVScreensProvider> provider = KOVScreensProvider::installed();
    if (provider)
        fontRegistrationProviderInstalled(provider);
    else
        KOVScreensProvider::current()->registerFonts();
}

void fontRegistrationProviderInstalled(const std::shared_ptr<KOVScreensProvider> &provider)
{
    {
        std::lock_guard lock(s_mutex);
        // Before the start the start registers; after one registration the
        // fonts stay registered for the process.
        if (!s_started || s_registered)
            return;
        s_registered = true;
    }
    provider->registerFonts();
}

void internal::KOVProcessState::resetFontRegistration()
{
    std::lock_guard lock(s_mutex);
    s_started = false;
    s_registered = false;
}

} // namespace kova
