// kova-demo: a small host program that starts the SDK against the service
// named by KOVA_SERVICE_URL (the sandbox) and runs the headless roads.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "demo/DemoHost.h"
#include "core/KOVScreensProvider.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "ui/mfa/MFASheetPresenter.h"

namespace {

// The screens this host uses: the SDK's own prompt sheet for the bank's questions.
class DemoScreens : public kova::KOVScreensProvider {
public:
    std::shared_ptr<kova::KOVMFAPresenter> mfaPresenter() override { return m_presenter; }

private:
    std::shared_ptr<kova::MFASheetPresenter> m_presenter = std::make_shared<kova::MFASheetPresenter>();
};

} // namespace

int main(int argc, char **argv)
{
    // The prompt screens need a widget application; the demo runs it offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("KovaDemo"));
    QCoreApplication::setApplicationName(QStringLiteral("kova-demo"));
    kova::platform::ProcessInfo::setMainBundleIdentifier(QStringLiteral("dev.kova.demo"));
    if (kova::platform::ProcessInfo::environmentValue("KOVA_SERVICE_URL").isEmpty()) {
        std::fprintf(stderr, "kova-demo: set KOVA_SERVICE_URL to the sandbox (scripts/demo does)\n");
        return 2;
    }
    // The host's window, which the SDK presents its screens over.
    kova::platform::Window window;
    window.setRootViewController(std::make_shared<kova::platform::ViewController>());
    kova::platform::Application::shared().setKeyWindow(&window);
    window.show();
    kova::KOVScreensProvider::install(std::make_shared<DemoScreens>());
    DemoHost host(QStringLiteral("demo-user"));
    QTimer::singleShot(0, &host, [&host] { host.run(); });
    return app.exec();
}
