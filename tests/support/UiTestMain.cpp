// The main of the screen tests: a QApplication (widgets need one) on the main
// thread, offscreen, with animations off so transitions end on the next loop
// turns; otherwise as every test main.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/ui/Application.h"
#include "platform/web/EngineStartupReport.h"
#include "tests/support/TestSupport.h"

int main(int argc, char **argv)
{
    kova::platform::leaveOutWebEngineStartupReport();
    QTemporaryDir home;
    kova::test::prepareEnvironment(home.path());
    // The web engine's own sandbox cannot run as root; the engine shares its
    // GL contexts only when told before the application exists.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    kova::test::prepareApplication(home.path());
    kova::platform::Application::shared().setAnimationsEnabled(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
