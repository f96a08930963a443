#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "core/records/KOVFinancialInstitutionColor.h"

namespace kova {

class MFAParameter;

// What the MFA sheet is shown with.
struct MFAPresentation {
    QList<std::shared_ptr<MFAParameter>> prompts;
    std::shared_ptr<KOVFinancialInstitutionColor> colorScheme;
    QString bankLogo;
    QString bankID;
};

// Shows a bank's prompts to the user: the screens implement it; tests
// script it. `submitted` gets the same prompts with their answers filled
// in, `cancelled` nothing; call one of them, once, after the sheet has gone.
class KOVMFAPresenter {
public:
    virtual ~KOVMFAPresenter() = default;
    // False when nothing can present the sheet right now; then neither
    // callback may be called.
    virtual bool presentMFA(const MFAPresentation &presentation,
                            std::function<void(const QList<std::shared_ptr<MFAParameter>> &answered)> submitted,
                            std::function<void()> cancelled) = 0;
};

} // namespace kova
