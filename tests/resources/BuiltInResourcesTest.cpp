#include <QByteArray>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include "platform/foundation/Bundle.h"

using kova::platform::Bundle;

namespace {

const QString kSourceResources = QStringLiteral(KOVA_SOURCE_DIR "/resources");

// The other tests here check the files as they are kept in the repository.
class SourceResources : public ::testing::Environment {
public:
    void SetUp() override { qputenv("KOVA_RESOURCES_DIR", kSourceResources.toUtf8()); }
};
[[maybe_unused]] ::testing::Environment *const s_sourceResources =
    ::testing::AddGlobalTestEnvironment(new SourceResources);

// Every file under a folder, by its path relative to the folder, with a hash
// of its bytes.
QMap<QString, QByteArray> filesUnder(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            files.insert(path.mid(root.size() + 1), QByteArrayLiteral("unreadable"));
            continue;
        }
        files.insert(path.mid(root.size() + 1), QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
    }
    return files;
}

} // namespace

TEST(BuiltInResourcesTest, WithoutAnOverrideTheSdkReadsTheResourcesTheLibrariesCarry)
{
    const QByteArray previous = qgetenv("KOVA_RESOURCES_DIR");
    qunsetenv("KOVA_RESOURCES_DIR");
    const auto bundle = Bundle::framework();
    const QString root = bundle->resourcePath();
    EXPECT_EQ(root, ":/kova/resources");

    // The same files, byte for byte, as the repository's resources folder:
    // a program that moved away from the source tree (or an installed one)
    // still has every one of them.
    const QMap<QString, QByteArray> carried = filesUnder(root);
    const QMap<QString, QByteArray> kept = filesUnder(kSourceResources);
    EXPECT_EQ(carried.keys(), kept.keys());
    for (auto it = kept.begin(); it != kept.end(); ++it)
        EXPECT_EQ(carried.value(it.key()), it.value()) << it.key().toStdString();

    // And the lookups the SDK makes find them there.
    EXPECT_EQ(bundle->pathForResource("KovaConnect", "momd"), ":/kova/resources/KovaConnect.momd");
    EXPECT_EQ(bundle->pathForResource("Muli-Regular", "ttf"), ":/kova/resources/Muli-Regular.ttf");
    EXPECT_EQ(bundle->pathForResource("connectAnimation", "gif"), ":/kova/resources/connectAnimation.gif");
    Bundle::setPreferredLanguages({"ru"});
    const auto strings = bundle->nestedBundle("KovaConnect.bundle");
    ASSERT_TRUE(strings);
    EXPECT_TRUE(strings->hasTable("KovaConnect"));
    const auto dates = bundle->nestedBundle("KovaDates.bundle");
    ASSERT_TRUE(dates);
    EXPECT_TRUE(dates->hasTable("KovaDates"));
    Bundle::setPreferredLanguages({"en"});

    // The override still wins.
    qputenv("KOVA_RESOURCES_DIR", kSourceResources.toUtf8());
    EXPECT_EQ(Bundle::framework()->resourcePath(), kSourceResources);
    qputenv("KOVA_RESOURCES_DIR", previous);
}
