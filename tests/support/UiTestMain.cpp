// The main of the screen tests: a QApplication (widgets need one) on the main
// thread, offscreen, with animations off so transitions end on the next loop
// turns; otherwise as every test main.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/ui/Application.h"
#include "tests/support/TestSupport.h"

namespace {

QtMessageHandler s_nextHandler = nullptr;

// Offscreen the web engine has no GL: it reports its start-up at length and
// warns that it fell back to software drawing, which is what the tests want.
void leaveOutWebEngineStartupReport(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "qt.webenginecontext") == 0
        || message == QLatin1String("WebEngineContext used before QtWebEngineCore::initialize() or OpenGL context "
                                    "creation failed.")
        || message.trimmed() == QLatin1String("No suitable graphics backend found"))
        return;
    s_nextHandler(type, context, message);
}

} // namespace

int main(int argc, char **argv)
{
    s_nextHandler = qInstallMessageHandler(leaveOutWebEngineStartupReport);
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
