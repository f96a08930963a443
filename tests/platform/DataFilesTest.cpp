// The files the SDK keeps in the app's data directory: who may open the
// folders it makes, and how many damaged copies of a file it keeps.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/foundation/DamagedFile.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/Files.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;

using kova::test::modeOf;
using kova::test::readFile;
using kova::test::Umask;
using kova::test::writeFile;

TEST(DataFiles, FoldersTheSdkMakesAreTheOwnersAloneWhateverTheUmask)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = ProcessInfo::dataDirectory();
    for (const mode_t mask : {mode_t(0), mode_t(022), mode_t(0777)}) {
        SCOPED_TRACE(mask);
        const QString top = dir.filePath(QStringLiteral("mask-%1").arg(mask, 0, 8));
        {
            Umask umask(mask);
            ProcessInfo::setDataDirectoryOverride(top + "/data/app");
            EXPECT_EQ(ProcessInfo::dataDirectory(), top + "/data/app");
            UserDefaults defaults(top + "/settings/inner/UserDefaults.ini");
            defaults.setValue(QStringLiteral("k"), QStringLiteral("v"));
        }
        for (const char *folder : {"", "/data", "/data/app", "/settings", "/settings/inner"})
            EXPECT_EQ(modeOf(top + folder), 0700) << folder;
        EXPECT_EQ(modeOf(top + "/settings/inner/UserDefaults.ini"), 0600);
    }
    ProcessInfo::setDataDirectoryOverride(previous);
    EXPECT_EQ(ProcessInfo::dataDirectory(), previous);
}

TEST(DataFiles, ASettingsFileDamagedAgainAndAgainKeepsOnlyItsNewestCopies)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("UserDefaults.ini");
    // Files that are not damaged copies of it, which must stay.
    const QStringList bystanders{"UserDefaults.ini.damaged-notes", "Other.ini.damaged-20200101T000000Z",
                                 "UserDefaults.ini.damaged-20200101T000000Z.txt"};
    for (const QString &name : bystanders)
        ASSERT_TRUE(writeFile(dir.filePath(name), "keep"));
    QList<QByteArray> written;
    for (int round = 0; round < 6; ++round) {
        const QByteArray foreign = QByteArray("[General]\nx=@Variant(") + QByteArray::number(round) + ")\n";
        ASSERT_TRUE(writeFile(path, foreign));
        written.append(foreign);
        UserDefaults defaults(path);
        EXPECT_FALSE(defaults.contains(QStringLiteral("x")));
    }
    const QStringList copies = QDir(dir.path()).entryList({QStringLiteral("UserDefaults.ini.damaged-*")}, QDir::Files, QDir::Name)
                                   .filter(QRegularExpression(QStringLiteral("^UserDefaults\\.ini\\.damaged-\\d{8}T\\d{6}Z(-\\d+)?$")));
    ASSERT_EQ(copies.size(), kKeptDamagedCopies);
    QList<QByteArray> kept;
    for (const QString &name : copies)
        kept.append(readFile(dir.filePath(name)));
    for (int round = 0; round < 6; ++round)
        EXPECT_EQ(kept.contains(written[round]), round >= 6 - kKeptDamagedCopies) << round;
    for (const QString &name : bystanders)
        EXPECT_EQ(readFile(dir.filePath(name)), "keep") << name.toStdString();
}
