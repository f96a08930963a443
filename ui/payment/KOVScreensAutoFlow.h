#pragma once

#include <memory>

#include "core/connections/KOVAutoFlow.h"
#include "ui/payment/KOVAutoFlowNavigationController.h"

namespace kova {

// The payment flow on the SDK's own screens: prepares the coordinator with
// the bounds, presents it over the host's top screen and passes its notice
// on to the host's delegate. The screens provider makes it for the core.
class KOVScreensAutoFlow : public KOVAutoFlow,
                           public KOVAutoFlowNavigationControllerDelegate,
                           public std::enable_shared_from_this<KOVScreensAutoFlow> {
public:
    explicit KOVScreensAutoFlow(KOVAutoFlowRequest request);
    ~KOVScreensAutoFlow() override;

    static std::shared_ptr<KOVAutoFlow> makePaymentFlow(const KOVAutoFlowRequest &request);

    void present() override;
    void dismissWithCompletion(std::function<void()> completion) override;
    void prepareAutFlow();
    void presentAutFlow();

    const std::shared_ptr<KOVAutoFlowNavigationController> &autoFlowNavigationController() const { return m_coordinator; }

    void autoflowNavigationControllerWillTransferAmount(KOVAutoFlowNavigationController &controller, double amount,
                                                        const std::shared_ptr<KOVAccount> &account) override;
    void autoflowNavigationControllerBeneficiaryInfoForBankWithID(KOVAutoFlowNavigationController &, const QString &,
                                                                  const std::shared_ptr<KOVAccount> &,
                                                                  BeneficiaryInfo) override
    {
    }
    void autoflowNavigationControllerWireBeneficiaryInfoForBankWithID(KOVAutoFlowNavigationController &, const QString &,
                                                                      const std::shared_ptr<KOVAccount> &,
                                                                      WireBeneficiaryInfo) override
    {
    }
    void autoflowNavigationControllerDidSuccessfullyTransferAmount(KOVAutoFlowNavigationController &, double,
                                                                   const std::shared_ptr<KOVAccount> &,
                                                                   const QString &) override
    {
    }
    void autoflowNavigationControllerDidFailToTransferFromAccount(KOVAutoFlowNavigationController &,
                                                                  const std::shared_ptr<KOVAccount> &, const QString &,
                                                                  const platform::Error &) override
    {
    }

private:
    enum class Phase {
        Idle,    // not presented yet
        Waiting, // presented while another flow or a leaving screen is up
        Shown,   // handed to the coordinator, which reports the end
        Ended,   // dismissed while waiting, or never shown
    };
    void show();
    // The flow could not be shown: it ends once, with "Payment flow unavailable".
    void failUnshown();
    Phase m_phase = Phase::Idle;
    std::shared_ptr<KOVAutoFlowNavigationController> m_coordinator;
};

} // namespace kova
