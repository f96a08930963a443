#pragma once

#include <memory>

#include "platform/ui/NavigationController.h"
#include "ui/mfa/MFAViewController.h"

namespace kova {

// The sheet the bank's questions are shown in: the prompt screen under a
// clear navigation bar.
class MFANavigationController : public platform::NavigationController {
    Q_OBJECT
public:
    static std::shared_ptr<MFANavigationController> initWithUserInput(MFAViewController::Prompts userInput,
                                                                      KOVFinancialInstitutionColor colorScheme,
                                                                      const QString &bankLogo, const QString &bankID);
    explicit MFANavigationController(std::shared_ptr<MFAViewController> mfaViewController);

    void viewDidLoad() override;
    // A sheet taken off the screen by anyone else, without Confirm or
    // Cancel, counts as a cancel.
    void viewDidDisappear(bool animated) override;

    const std::shared_ptr<MFAViewController> &mfaViewController() const { return m_mfaViewController; }
    const MFAViewController::SubmittedBlock &mfaValuesSubmitted() const { return m_mfaValuesSubmitted; }
    void setMfaValuesSubmitted(MFAViewController::SubmittedBlock block);
    const MFAViewController::CancelledBlock &mfaCancelled() const { return m_mfaCancelled; }
    void setMfaCancelled(MFAViewController::CancelledBlock block);

private:
    std::shared_ptr<MFAViewController> m_mfaViewController;
    MFAViewController::SubmittedBlock m_mfaValuesSubmitted;
    MFAViewController::CancelledBlock m_mfaCancelled;
};

} // namespace kova
