#pragma once

// Usage (host): `kova::installKovaUI(window);` once, before or after the
// SDK's start. It gives the UI layer the host's window (every screen of the
// SDK is presented over its root controller) and installs the screens
// provider, through which the core registers the fonts and reaches the
// screens.

#include <memory>

#include "core/KOVScreensProvider.h"

namespace kova::platform {
class Window;
}

namespace kova {

class KOVUIScreensProvider : public KOVScreensProvider {
public:
    void registerFonts() override;
    // The web connect screen's entry for this client user.
    std::shared_ptr<KOVConnect> makeConnect(const QString &clientUserID) override;
    // The prompt sheet over the top of the host's window.
    std::shared_ptr<KOVMFAPresenter> mfaPresenter() override;
    // The payment flow on the SDK's own screens.
    std::shared_ptr<KOVAutoFlow> makeAutoFlow(const KOVAutoFlowRequest &request) override;
};

void installKovaUI(platform::Window *window);

} // namespace kova
