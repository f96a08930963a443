// kova-demo: a small host program that starts the SDK against the service
// named by KOVA_SERVICE_URL (the sandbox) and runs the headless roads.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

#include "demo/DemoHost.h"
#include "demo/DemoScreens.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/EngineStartupReport.h"
#include "ui/KovaUI.h"

int main(int argc, char **argv)
{
    kova::platform::leaveOutWebEngineStartupReport();
    // The screens need a widget application: in a window when there is a
    // display, offscreen otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The connect page runs in the web engine, whose own sandbox cannot run
    // as root, and which shares its GL contexts only when told this early.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
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
    window.show();
    kova::installKovaUI(&window);
    const QStringList arguments = QCoreApplication::arguments();
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--screens")); at >= 0) {
        if (at + 1 >= arguments.size()) {
            std::fprintf(stderr, "kova-demo: --screens needs a folder\n");
            return 2;
        }
        setDemoScreensDirectory(arguments.at(at + 1));
    }
    DemoHost host(QStringLiteral("demo-user"));
    QTimer::singleShot(0, &host, [&host] { host.run(); });
    return app.exec();
}
