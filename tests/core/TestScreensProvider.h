#pragma once

#include <functional>
#include <memory>

#include "core/KOVScreensProvider.h"
#include "core/api/KOVMFAPresenter.h"
#include "core/connections/KOVAutoFlow.h"

namespace kova::test {

// Stands in for the screens library: each role is whatever the test sets,
// and nothing (the core's "not available" path) when it sets none.
class TestScreensProvider : public KOVScreensProvider {
public:
    std::function<std::shared_ptr<KOVConnect>(const QString &)> connect;
    std::shared_ptr<KOVMFAPresenter> presenter;
    std::function<std::shared_ptr<KOVAutoFlow>(const KOVAutoFlowRequest &)> autoFlow;
    int fontRegistrations = 0;

    std::shared_ptr<KOVConnect> makeConnect(const QString &clientUserID) override
    {
        return connect ? connect(clientUserID) : nullptr;
    }
    std::shared_ptr<KOVMFAPresenter> mfaPresenter() override { return presenter; }
    std::shared_ptr<KOVAutoFlow> makeAutoFlow(const KOVAutoFlowRequest &request) override
    {
        return autoFlow ? autoFlow(request) : nullptr;
    }
    void registerFonts() override { ++fontRegistrations; }
};

} // namespace kova::test
