#include "core/KOVScreensProvider.h"

#include <mutex>

#include "core/internal/KOVFontRegistration.h"
#include "core/api/KOVMFAPresenter.h"
#include "core/connections/KOVAutoFlow.h"
#include "core/KOVConnect.h"
#include "platform/foundation/Log.h"

namespace kova {
namespace {
std::mutex s_mutex;
std::shared_ptr<KOVScreensProvider> s_provider;
} // namespace

std::shared_ptr<KOVConnect> KOVScreensProvider::makeConnect(const QString &)
{
    return nullptr;
}

std::shared_ptr<KOVMFAPresenter> KOVScreensProvider::mfaPresenter()
{
    return nullptr;
}

std::shared_ptr<KOVAutoFlow> KOVScreensProvider::makeAutoFlow(const KOVAutoFlowRequest &)
{
    return nullptr;
}

void KOVScreensProvider::registerFonts()
{
    // A host without the screens needs no fonts, and hears that the screens
    // are missing when it asks for one.
    platform::debugLog(QStringLiteral("[Kova] Fonts are not available yet"), platform::logUI());
}

void KOVScreensProvider::install(std::shared_ptr<KOVScreensProvider> provider)
{
    {
        std::lock_guard lock(s_mutex);
        s_provider = provider;
    }
    if (provider)
        fontRegistrationProviderInstalled(provider);
}

std::shared_ptr<KOVScreensProvider> KOVScreensProvider::current()
{
    static const auto s_none = std::make_shared<KOVScreensProvider>();
    std::shared_ptr<KOVScreensProvider> provider = installed();
    return provider ? provider : s_none;
}

std::shared_ptr<KOVScreensProvider> KOVScreensProvider::installed()
{
    std::lock_guard lock(s_mutex);
    return s_provider;
}

} // namespace kova
