// The main of the keychain tests: a Qt application object and a private data
// directory, as every test has, and a child mode in which the binary plays a
// second process writing to a shared vault:
//   test_keychain --vault-writer <vault path> <key prefix> <count>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

#include "core/store/KOVKeychain.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/keychain/Vault.h"

namespace {

int runVaultWriter(const QString &vaultPath, const QString &prefix, int count)
{
    kova::platform::Vault::setStandard(std::make_shared<kova::platform::Vault>(vaultPath));
    const auto keychain = kova::KOVKeychain::keychain();
    for (int i = 0; i < count; ++i) {
        kova::platform::Error error;
        const QString key = QStringLiteral("%1-%2").arg(prefix).arg(i);
        keychain->setString(QStringLiteral("value of ") + key, key, &error);
        if (error.code != 0)
            return 2;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8());
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("KovaTests"));
    QCoreApplication::setApplicationName(QStringLiteral("KovaTests"));
    kova::platform::ProcessInfo::setDataDirectoryOverride(home.path() + "/appdata");
    if (argc == 5 && std::strcmp(argv[1], "--vault-writer") == 0)
        return runVaultWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
