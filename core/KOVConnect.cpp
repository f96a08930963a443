#include "core/KOVConnect.h"

#include <mutex>

#include "platform/foundation/Log.h"

namespace kova {
namespace {
std::mutex s_mutex;
KOVConnect::Factory s_factory;
} // namespace

std::shared_ptr<KOVConnect> KOVConnect::initWithClientUserID(const QString &clientUserID)
{
    Factory factory;
    {
        std::lock_guard lock(s_mutex);
        factory = s_factory;
    }
    if (!factory) {
        platform::log(QStringLiteral("[Kova] The connect screen is not available yet"));
        return nullptr;
    }
    return factory(clientUserID);
}

void KOVConnect::setFactory(Factory factory)
{
    std::lock_guard lock(s_mutex);
    s_factory = std::move(factory);
}

} // namespace kova
