#include "ui/mfa/MFANavigationController.h"

#include "ui/look/ViewStyling.h"

namespace kova {

std::shared_ptr<MFANavigationController> MFANavigationController::initWithUserInput(
    MFAViewController::Prompts userInput, KOVFinancialInstitutionColor colorScheme, const QString &bankLogo,
    const QString &bankID)
{
    return std::make_shared<MFANavigationController>(
        MFAViewController::initWithUserInput(std::move(userInput), std::move(colorScheme), bankLogo, bankID));
}

MFANavigationController::MFANavigationController(std::shared_ptr<MFAViewController> mfaViewController)
    : platform::NavigationController(mfaViewController), m_mfaViewController(std::move(mfaViewController))
{
}

void MFANavigationController::viewDidLoad()
{
    platform::NavigationController::viewDidLoad();
    setTransparentNavigationBar();
}

void MFANavigationController::viewDidDisappear(bool animated)
{
    const bool leaving = isBeingDismissed();
    platform::NavigationController::viewDidDisappear(animated);
    if (leaving && !m_mfaViewController->hasFinished())
        m_mfaViewController->cancel();
}

void MFANavigationController::setMfaValuesSubmitted(MFAViewController::SubmittedBlock block)
{
    m_mfaValuesSubmitted = block;
    m_mfaViewController->setMfaValuesSubmitted(std::move(block));
}

void MFANavigationController::setMfaCancelled(MFAViewController::CancelledBlock block)
{
    m_mfaCancelled = block;
    m_mfaViewController->setMfaCancelled(std::move(block));
}

} // namespace kova
