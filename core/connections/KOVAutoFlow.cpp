#include "core/connections/KOVAutoFlow.h"

#include "core/KOVScreensProvider.h"
#include "platform/dispatch/MainQueue.h"

namespace kova {

std::shared_ptr<KOVAutoFlow> KOVAutoFlow::make(const KOVAutoFlowRequest &request)
{
    return KOVScreensProvider::current()->makeAutoFlow(request);
}

void KOVAutoFlow::dismissWithCompletion(std::function<void()> completion)
{
    if (completion)
        platform::MainQueue::async(std::move(completion));
}

} // namespace kova
