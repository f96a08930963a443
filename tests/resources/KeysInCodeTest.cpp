// Every text key the code looks up must be in the SDK's string table: a
// missing key would show the key itself to the user.
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace {

QSet<QString> keysLookedUpInCode()
{
    // Direct lookups, and the keys handed to a lookup through a variable
    // (the transfer cool-down texts).
    const QRegularExpression direct(QString::fromLatin1("getLocalizedStringByKey\\(QStringLiteral\\(\"([^\"]+)\"\\)\\)"));
    const QRegularExpression coolDown(QString::fromLatin1("QStringLiteral\\(\"(\\w*ActivateAfter %@ %@)\"\\)"));
    QSet<QString> keys;
    for (const char *area : {"core", "ui"}) {
        QDirIterator it(QStringLiteral(KOVA_SOURCE_DIR "/") + area, {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (const QRegularExpression &pattern : {direct, coolDown}) {
                auto matches = pattern.globalMatch(text);
                while (matches.hasNext())
                    keys.insert(matches.next().captured(1));
            }
        }
    }
    return keys;
}

} // namespace

TEST(KeysInCode, EveryLookedUpKeyIsInEveryLanguage)
{
    const QSet<QString> keys = keysLookedUpInCode();
    ASSERT_GE(keys.size(), 4) << "the scan found the code's lookups";
    EXPECT_TRUE(keys.contains("UserCanceledAuthentication"));
    EXPECT_TRUE(keys.contains("WireBeneficiaryActivateAfter %@ %@"));
    QDirIterator languages(QStringLiteral(KOVA_SOURCE_DIR "/resources/KovaConnect.bundle"), {"*.lproj"}, QDir::Dirs);
    int tables = 0;
    while (languages.hasNext()) {
        QFile file(languages.next() + "/KovaConnect.json");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        const QJsonObject table = QJsonDocument::fromJson(file.readAll()).object();
        ++tables;
        for (const QString &key : keys)
            EXPECT_TRUE(table.value(key).isString()) << file.fileName().toStdString() << " lacks " << key.toStdString();
    }
    EXPECT_GE(tables, 1);
}
