#include "ui/mfa/MFASheetPresenter.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/PresentationController.h"
#include "ui/mfa/MFANavigationController.h"

namespace kova {

namespace {

// The user cannot swipe the sheet away: it ends through Confirm or Cancel.
class RefuseUserClose : public platform::PresentationControllerDelegate {
public:
    bool presentationControllerShouldDismiss(platform::PresentationController &) override { return false; }
};

const std::shared_ptr<RefuseUserClose> &refuseUserClose()
{
    static const auto delegate = std::make_shared<RefuseUserClose>();
    return delegate;
}

// Runs `then` once the sheet has left the screen (at once on the next turn
// when it is already gone).
void dismissThen(const std::weak_ptr<MFANavigationController> &weakSheet, std::function<void()> then)
{
    if (const std::shared_ptr<MFANavigationController> sheet = weakSheet.lock()) {
        sheet->dismiss(true, std::move(then));
        return;
    }
    platform::MainQueue::async(std::move(then));
}

} // namespace

bool MFASheetPresenter::presentMFA(const MFAPresentation &presentation,
                                   std::function<void(const QList<std::shared_ptr<MFAParameter>> &)> submitted,
                                   std::function<void()> cancelled)
{
    const std::shared_ptr<platform::ViewController> anchor = platform::Application::shared().presentationAnchor();
    if (!anchor)
        return false;
    if (const std::shared_ptr<platform::ViewController> leaving = anchor->leavingScreen()) {
        // The top screen is on its way out (the host closed it, or the
        // previous login's sheet goes after its Confirm): the question goes
        // over what is left once it has gone, rather than being given up.
        leaving->runAfterTransition([presentation, submitted, cancelled]() {
            if (!presentSheet(presentation, submitted, cancelled))
                cancelled();
        });
        return true;
    }
    return presentSheet(presentation, std::move(submitted), std::move(cancelled));
}

bool MFASheetPresenter::presentSheet(const MFAPresentation &presentation,
                                     std::function<void(const QList<std::shared_ptr<MFAParameter>> &)> submitted,
                                     std::function<void()> cancelled)
{
    const std::shared_ptr<platform::ViewController> anchor = platform::Application::shared().presentationAnchor();
    if (!anchor || anchor->leavingScreen())
        return false;
    auto sheet = MFANavigationController::initWithUserInput(
        presentation.prompts,
        presentation.colorScheme ? *presentation.colorScheme : KOVFinancialInstitutionColor(),
        presentation.bankLogo, presentation.bankID);
    sheet->presentationController().setDelegate(refuseUserClose());
    const std::weak_ptr<MFANavigationController> weakSheet = sheet;
    sheet->setMfaValuesSubmitted([weakSheet, submitted](const QList<std::shared_ptr<MFAParameter>> &answered) {
        dismissThen(weakSheet, [submitted, answered] { submitted(answered); });
    });
    sheet->setMfaCancelled([weakSheet, cancelled] { dismissThen(weakSheet, cancelled); });
    return anchor->present(sheet, true);
}

} // namespace kova
