#pragma once

#include "core/api/KOVMFAPresenter.h"

namespace kova {

// The SDK's own way of asking the user: the prompt sheet over the
// controller on top of the host's window (once a screen that is on its way
// out has gone). Confirm and Cancel each take the sheet away first and then
// report; a sheet that cannot be shown ends the call as cancelled.
class MFASheetPresenter : public KOVMFAPresenter {
public:
    bool presentMFA(const MFAPresentation &presentation,
                    std::function<void(const QList<std::shared_ptr<MFAParameter>> &answered)> submitted,
                    std::function<void()> cancelled) override;
};

} // namespace kova
