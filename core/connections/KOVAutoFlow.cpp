#include "core/connections/KOVAutoFlow.h"

#include "core/KOVScreensProvider.h"

namespace kova {

std::shared_ptr<KOVAutoFlow> KOVAutoFlow::make(const KOVAutoFlowRequest &request)
{
    return KOVScreensProvider::current()->makeAutoFlow(request);
}

} // namespace kova
