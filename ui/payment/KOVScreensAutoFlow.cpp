#include "ui/payment/KOVScreensAutoFlow.h"

#include "core/connections/KOVBankConnection.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/ui/Application.h"
#include "ui/payment/KOVPaymentAccounts.h"

namespace kova {

KOVScreensAutoFlow::KOVScreensAutoFlow(KOVAutoFlowRequest request) : KOVAutoFlow(std::move(request)) {}

KOVScreensAutoFlow::~KOVScreensAutoFlow() = default;

std::shared_ptr<KOVAutoFlow> KOVScreensAutoFlow::makePaymentFlow(const KOVAutoFlowRequest &request)
{
    return std::make_shared<KOVScreensAutoFlow>(request);
}

void KOVScreensAutoFlow::present()
{
    // One coordinator per entry: a second present while it is up is ignored.
    if (m_coordinator && (m_coordinator->presentingViewController() || m_coordinator->isBeingPresented()))
        return;
    prepareAutFlow();
    presentAutFlow();
}

void KOVScreensAutoFlow::prepareAutFlow()
{
    m_coordinator = std::make_shared<KOVAutoFlowNavigationController>(m_request);
    const auto [minimum, maximum] = KOVPaymentAccounts::resolvedBounds(m_minimumAmount, m_maximumAmount);
    m_minimumAmount = minimum;
    m_maximumAmount = maximum;
    m_coordinator->setMinimumAmount(minimum);
    m_coordinator->setMaximumAmount(maximum);
    m_coordinator->setConnectDelegate(m_connectDelegate);
    m_coordinator->setAutoFlowNavigationControllerDelegate(shared_from_this());
}

void KOVScreensAutoFlow::presentAutFlow()
{
    const auto anchor = platform::Application::shared().presentationAnchor();
    if (anchor && m_coordinator && anchor->present(m_coordinator, true))
        return;
    // Nothing can show the flow: it ends once, on the next loop turn.
    KOVTransferReferenceCompletion completion = m_request.completion;
    const KOVAutoFlowRequest request = m_request;
    m_coordinator.reset();
    platform::MainQueue::async([request, completion = std::move(completion)]() {
        if (completion)
            completion(request.account, request.amount,
                       KOVBankConnection::paymentFlowUnavailableError(),
                       QString(), QString());
    });
}

void KOVScreensAutoFlow::dismissWithCompletion(std::function<void()> completion)
{
    if (!m_coordinator || !(m_coordinator->presentingViewController() || m_coordinator->isBeingPresented()))
        return;
    m_coordinator->dismissByHost(std::move(completion));
}

void KOVScreensAutoFlow::autoflowNavigationControllerWillTransferAmount(KOVAutoFlowNavigationController &, double amount,
                                                                      const std::shared_ptr<KOVAccount> &account)
{
    if (const auto delegate = autoflowDelegate())
        delegate->autoFlowWillTransferAmount(*this, amount, account);
}

} // namespace kova
