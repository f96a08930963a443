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
    // One flow, one presentation: a second present while the flow waits,
    // is up or has ended would report its end a second time.
    if (m_phase != Phase::Idle)
        return;
    prepareAutFlow();
    presentAutFlow();
}

void KOVScreensAutoFlow::prepareAutFlow()
{
    if (m_phase != Phase::Idle)
        return;
    m_coordinator = std::make_shared<KOVAutoFlowNavigationController>(m_request);
    const auto [minimum, maximum] = KOVPaymentAccounts::resolvedBounds(m_minimumAmount, m_maximumAmount);
    m_minimumAmount = minimum;
    m_maximumAmount = maximum;
    m_coordinator->setMinimumAmount(minimum);
    m_coordinator->setMaximumAmount(maximum);
    m_coordinator->setConnectDelegate(m_connectDelegate);
    m_coordinator->setAutoFlowNavigationControllerDelegate(shared_from_this());
}

namespace {

// The payment flow the top screen belongs to, if any (the flow itself, one
// of its screens, or something presented over them).
std::shared_ptr<KOVAutoFlowNavigationController> flowBeneath(std::shared_ptr<platform::ViewController> screen)
{
    while (screen) {
        for (platform::ViewController *c = screen.get(); c; c = c->parentViewController())
            if (auto *flow = dynamic_cast<KOVAutoFlowNavigationController *>(c))
                return std::static_pointer_cast<KOVAutoFlowNavigationController>(flow->shared_from_this());
        platform::ViewController *presenter = screen->presentingViewController();
        screen = presenter ? presenter->shared_from_this() : nullptr;
    }
    return nullptr;
}

} // namespace

void KOVScreensAutoFlow::presentAutFlow()
{
    if (m_phase != Phase::Idle)
        return;
    if (!m_coordinator)
        return failUnshown();
    show();
}

void KOVScreensAutoFlow::show()
{
    // One payment flow at a time: over another one the new flow would leave
    // with that flow's screens (closing its loader takes everything above
    // it) and never end. It goes up once the other flow, or a screen still
    // on its way out, has gone; a dismissal meanwhile ends the wait.
    const auto anchor = platform::Application::shared().presentationAnchor();
    std::shared_ptr<platform::ViewController> blocker = flowBeneath(anchor);
    if (blocker == m_coordinator)
        blocker.reset();
    if (!blocker && anchor)
        blocker = anchor->leavingScreen();
    if (blocker) {
        m_phase = Phase::Waiting;
        blocker->runWhenDismissed([self = shared_from_this()] {
            if (self->m_phase == Phase::Waiting)
                self->show();
        });
        return;
    }
    m_phase = Phase::Shown;
    if (!anchor || !anchor->present(m_coordinator, true))
        failUnshown();
}

void KOVScreensAutoFlow::failUnshown()
{
    // Nothing can show the flow: it ends once, on the next loop turn.
    m_phase = Phase::Ended;
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
    if (m_phase == Phase::Waiting) {
        // Never shown: the host's dismissal is the cancel, and the wait
        // for the other flow ends here.
        m_phase = Phase::Ended;
    }
    if (m_coordinator && m_phase != Phase::Idle) {
        // Up, leaving, or already gone: the coordinator settles what is
        // left to report, and the block runs once it has gone.
        m_coordinator->dismissByHost(std::move(completion));
        return;
    }
    // Nothing was ever shown: the block still runs, on a later turn.
    KOVAutoFlow::dismissWithCompletion(std::move(completion));
}

void KOVScreensAutoFlow::autoflowNavigationControllerWillTransferAmount(KOVAutoFlowNavigationController &, double amount,
                                                                      const std::shared_ptr<KOVAccount> &account)
{
    if (const auto delegate = autoflowDelegate())
        delegate->autoFlowWillTransferAmount(*this, amount, account);
}

} // namespace kova
