// kova-demo: a small host program that starts the SDK against the service
// named by KOVA_SERVICE_URL (the sandbox) and runs the headless roads.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "demo/DemoHost.h"
#include "platform/foundation/ProcessInfo.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("KovaDemo"));
    QCoreApplication::setApplicationName(QStringLiteral("kova-demo"));
    kova::platform::ProcessInfo::setMainBundleIdentifier(QStringLiteral("dev.kova.demo"));
    if (kova::platform::ProcessInfo::environmentValue("KOVA_SERVICE_URL").isEmpty()) {
        std::fprintf(stderr, "kova-demo: set KOVA_SERVICE_URL to the sandbox (scripts/demo does)\n");
        return 2;
    }
    DemoHost host(QStringLiteral("demo-user"));
    QTimer::singleShot(0, &host, [&host] { host.run(); });
    return app.exec();
}
