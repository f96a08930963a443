#pragma once

#include <QString>
#include <memory>

namespace kova {

class KOVAutoFlow;
class KOVConnect;
class KOVMFAPresenter;
struct KOVAutoFlowRequest;

// Everything the core asks of the screens, behind one interface: the screens
// library installs its provider once; a host without screens may install one
// that only answers the MFA prompts. Each default stands for "not available
// in this build", which is also what the core does with no provider at all.
class KOVScreensProvider {
public:
    virtual ~KOVScreensProvider() = default;

    // The hosted connect page's presenter for this user; null when none can be shown.
    virtual std::shared_ptr<KOVConnect> makeConnect(const QString &clientUserID);
    // Who shows a bank's prompts; null ends the prompt as cancelled.
    virtual std::shared_ptr<KOVMFAPresenter> mfaPresenter();
    // The payment flow for a transfer lacking an account or an amount; null
    // ends the transfer with the "payment flow unavailable" error.
    virtual std::shared_ptr<KOVAutoFlow> makeAutoFlow(const KOVAutoFlowRequest &request);
    // Called once, when the app-wide state is first made (or when the
    // provider arrives later than that).
    virtual void registerFonts();

    // Installs the provider; null removes it.
    static void install(std::shared_ptr<KOVScreensProvider> provider);
    // The installed provider, or the one that provides nothing.
    static std::shared_ptr<KOVScreensProvider> current();
    // The installed provider, or null.
    static std::shared_ptr<KOVScreensProvider> installed();
};

} // namespace kova
