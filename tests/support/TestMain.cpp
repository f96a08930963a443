// The main of every test executable: a Qt application object on the main
// thread (the SDK's main queue) and a private data directory, so that no test
// ever touches the real home directory.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("KovaTests"));
    QCoreApplication::setApplicationName(QStringLiteral("KovaTests"));
    // A child process a test starts (to crash it, say) shares its parent's device.
    const QString shared = qEnvironmentVariable("KOVA_TEST_DATA_DIR");
    kova::platform::ProcessInfo::setDataDirectoryOverride(shared.isEmpty() ? home.path() + "/appdata" : shared);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
