#include "core/connections/KOVAutoFlow.h"

#include <mutex>

namespace kova {
namespace {
std::mutex s_mutex;
KOVAutoFlow::Factory s_factory;
} // namespace

std::shared_ptr<KOVAutoFlow> KOVAutoFlow::make(const KOVAutoFlowRequest &request)
{
    Factory factory;
    {
        std::lock_guard lock(s_mutex);
        factory = s_factory;
    }
    return factory ? factory(request) : nullptr;
}

void KOVAutoFlow::setFactory(Factory factory)
{
    std::lock_guard lock(s_mutex);
    s_factory = std::move(factory);
}

} // namespace kova
