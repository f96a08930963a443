#include "ui/mfa/MFASheetPresenter.h"

#include <optional>

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
    if (!platform::Application::shared().presentationAnchor())
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
    // A top screen on its way out (the host closed it, or the previous
    // login's sheet goes after its Confirm) is waited for rather than taken
    // as a reason to give up: the answer is then reported as usual, and a
    // sheet that still cannot go up ends the call as cancelled.
    struct Outcome {
        bool returned = false;
        std::optional<bool> shownAtOnce;
    };
    auto outcome = std::make_shared<Outcome>();
    platform::Application::shared().presentOverTop(sheet, true, [outcome, cancelled](bool shown) {
        if (!outcome->returned)
            outcome->shownAtOnce = shown;
        else if (!shown)
            cancelled();
    });
    outcome->returned = true;
    return outcome->shownAtOnce.value_or(true);
}

} // namespace kova
