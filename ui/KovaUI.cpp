#include "ui/KovaUI.h"

#include "platform/ui/Application.h"
#include "ui/look/KOVFontManager.h"

namespace kova {

void KOVUIScreensProvider::registerFonts()
{
    KOVFontManager::startLoading();
}

void installKovaUI(platform::Window *window)
{
    platform::Application::shared().setKeyWindow(window);
    KOVScreensProvider::install(std::make_shared<KOVUIScreensProvider>());
}

} // namespace kova
