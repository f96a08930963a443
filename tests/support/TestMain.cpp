// The main of every test executable: a Qt application object on the main
// thread (the SDK's main queue) and a private data directory, so that no test
// ever touches the real home directory.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#ifdef KOVA_TEST_WEB_APP
#include <QApplication>
#endif

#include "platform/foundation/ProcessInfo.h"

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8());
#ifdef KOVA_TEST_WEB_APP
    // The web engine's own sandbox cannot run as root; the engine shares its
    // GL contexts only when told before the application exists.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    QCoreApplication::setOrganizationName(QStringLiteral("KovaTests"));
    QCoreApplication::setApplicationName(QStringLiteral("KovaTests"));
    // A child process a test starts (to crash it, say) shares its parent's device.
    const QString shared = qEnvironmentVariable("KOVA_TEST_DATA_DIR");
    kova::platform::ProcessInfo::setDataDirectoryOverride(shared.isEmpty() ? home.path() + "/appdata" : shared);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
