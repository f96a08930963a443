#include "ui/KovaUI.h"

#include "platform/ui/Application.h"
#include "ui/connect/KOVWebConnect.h"
#include "ui/look/KOVFontManager.h"
#include "ui/mfa/MFASheetPresenter.h"
#include "ui/payment/KOVScreensAutoFlow.h"

namespace kova {

void KOVUIScreensProvider::registerFonts()
{
    KOVFontManager::startLoading();
}

std::shared_ptr<KOVConnect> KOVUIScreensProvider::makeConnect(const QString &clientUserID)
{
    return KOVWebConnect::initWithClientUserID(clientUserID);
}

std::shared_ptr<KOVMFAPresenter> KOVUIScreensProvider::mfaPresenter()
{
    static const auto presenter = std::make_shared<MFASheetPresenter>();
    return presenter;
}

std::shared_ptr<KOVAutoFlow> KOVUIScreensProvider::makeAutoFlow(const KOVAutoFlowRequest &request)
{
    return KOVScreensAutoFlow::makePaymentFlow(request);
}

void installKovaUI(platform::Window *window)
{
    platform::Application::shared().setKeyWindow(window);
    KOVScreensProvider::install(std::make_shared<KOVUIScreensProvider>());
}

} // namespace kova
