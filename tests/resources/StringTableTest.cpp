#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "platform/foundation/Bundle.h"

using kova::platform::Bundle;

namespace {

const QString kTable = QStringLiteral("KovaConnect");

// Every key the SDK looks up in the "KovaConnect" table. A key missing from
// the table would show up on screen as the bare key, so each one must be
// there in every language we ship. Extend this list with each new lookup.
const QStringList kKeysTheCodeLooksUp = {
    // options, connect screen
    "VerifyingYourAccount", "BankConnectionsMadeSimple",
    // cancel errors (code 1003)
    "UserCanceledAuthentication", "UserCanceledAccountSelection",
    // transfer cool-down messages
    "BeneficiaryActivateAfter %@ %@", "WireBeneficiaryActivateAfter %@ %@",
    // MFA prompt screens
    "Authenticate", "Cancel", "Confirm", "Please", "Dont", "LoginIntoYourBank",
    // MFA onboarding
    "EmiratesNBDApp", "SelectSmartPass", "SmartPassCode", "Next", "Ok",
    // message screen
    "YouAreAlreadyLoggedIn", "YouDontHaveEnoughBalance", "PleaseWait", "YouWereLoggedOut", "AccountLocked", "Error",
    "SomethingWentWrong",
    // result screen
    "Continue", "TryAgain", "Close",
    // payment flow and loader
    "EnterAmount", "ConnectingWithYourBank", "TransferLoaderMessage1", "TransferLoaderMessage2",
    "TransferLoaderMessage3", "TransferLoaderMessage4", "TransferLoaderMessage5", "TransferLoaderMessage6",
    "TransferSuccessfulTitle", "SuccessfulTransferMessage",
    // amount pad
    "Available", "Send", "MinimumAmount", "MaximumAmount",
    // account picker, its section header and rows
    "Add", "Verifying", "Updated %@", "FetchingBalance", "Update", "NoAccounts", "LoadingAccount", "TimeLeft",
};

// Keys whose text is used as a format: how many "%@" each must keep.
const QHash<QString, int> kFormatArguments = {
    {"BeneficiaryActivateAfter %@ %@", 2},
    {"WireBeneficiaryActivateAfter %@ %@", 2},
    {"SuccessfulTransferMessage", 1},
    {"Updated %@", 1},
};

QString bundlePath()
{
    const auto bundle = Bundle::framework()->nestedBundle(QStringLiteral("KovaConnect.bundle"));
    return bundle ? bundle->resourcePath() : QString();
}

QStringList languages()
{
    QStringList found;
    for (const QString &dir : QDir(bundlePath()).entryList({"*.lproj"}, QDir::Dirs))
        found.append(dir.chopped(6));
    return found;
}

// The table of one language as the file holds it, before the bundle layer
// filters anything out.
QJsonObject rawTable(const QString &language, QString *problem)
{
    QFile file(QDir(bundlePath()).filePath(language + ".lproj/" + kTable + ".json"));
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = "cannot open " + file.fileName();
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        *problem = file.fileName() + ": " + error.errorString();
        return {};
    }
    return doc.object();
}

class StringTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        Bundle::setPreferredLanguages({"en"});
        ASSERT_FALSE(bundlePath().isEmpty()) << "KovaConnect.bundle missing from " << Bundle::framework()->resourcePath().toStdString();
    }
    void TearDown() override { Bundle::setPreferredLanguages({"en"}); }

    static std::shared_ptr<Bundle> bundle() { return Bundle::framework()->nestedBundle(QStringLiteral("KovaConnect.bundle")); }
    static QString text(const QString &key) { return bundle()->localizedString(key, QString(), kTable); }
};

TEST_F(StringTable, ShipsEnglishAndAtLeastOneOtherLanguage)
{
    const QStringList found = languages();
    EXPECT_TRUE(found.contains("en")) << found.join(",").toStdString();
    EXPECT_GE(found.size(), 2) << found.join(",").toStdString();
    EXPECT_TRUE(bundle()->hasTable(kTable));
}

TEST_F(StringTable, EveryLanguageIsAFlatObjectOfNonBlankTexts)
{
    for (const QString &language : languages()) {
        SCOPED_TRACE(language.toStdString());
        QString problem;
        const QJsonObject table = rawTable(language, &problem);
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        for (auto it = table.begin(); it != table.end(); ++it) {
            ASSERT_TRUE(it.value().isString()) << it.key().toStdString() << " is not text";
            EXPECT_FALSE(it.value().toString().trimmed().isEmpty()) << it.key().toStdString() << " is blank";
        }
    }
}

TEST_F(StringTable, EveryLookedUpKeyIsInEveryLanguage)
{
    for (const QString &language : languages()) {
        SCOPED_TRACE(language.toStdString());
        QString problem;
        const QJsonObject table = rawTable(language, &problem);
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        for (const QString &key : kKeysTheCodeLooksUp)
            EXPECT_TRUE(table.value(key).isString()) << "missing: " << key.toStdString();
    }
}

TEST_F(StringTable, LanguagesHoldTheSameKeys)
{
    QString problem;
    const QStringList english = rawTable("en", &problem).keys();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    for (const QString &language : languages()) {
        SCOPED_TRACE(language.toStdString());
        const QStringList keys = rawTable(language, &problem).keys();
        for (const QString &key : english)
            EXPECT_TRUE(keys.contains(key)) << "missing: " << key.toStdString();
        for (const QString &key : keys)
            EXPECT_TRUE(english.contains(key)) << "not in English: " << key.toStdString();
    }
}

TEST_F(StringTable, FormatsKeepTheirPlaceholdersAndOtherTextsHaveNone)
{
    static const QRegularExpression placeholder(QStringLiteral("%@"));
    for (const QString &language : languages()) {
        SCOPED_TRACE(language.toStdString());
        QString problem;
        const QJsonObject table = rawTable(language, &problem);
        for (auto it = table.begin(); it != table.end(); ++it) {
            const QString value = it.value().toString();
            const int expected = kFormatArguments.value(it.key(), 0);
            EXPECT_EQ(value.count(placeholder), expected) << it.key().toStdString() << ": " << value.toStdString();
            // A lone "%" in a format would swallow an argument; in a plain
            // text it is harmless but confusing, so keep tables free of it.
            EXPECT_EQ(value.count(QLatin1Char('%')), expected) << it.key().toStdString();
        }
    }
}

// Texts that the code glues to other texts must carry their own separators.
TEST_F(StringTable, TextsJoinedByTheScreensReadAsSentences)
{
    for (const QString &language : languages()) {
        SCOPED_TRACE(language.toStdString());
        Bundle::setPreferredLanguages({language});
        const QString please = text("Please"), dont = text("Dont"), login = text("LoginIntoYourBank");
        // The MFA warning banner joins its three runs with nothing between.
        EXPECT_TRUE(please.endsWith(' ') != dont.startsWith(' ')) << please.toStdString() << "|" << dont.toStdString();
        EXPECT_TRUE(dont.endsWith(' ') != login.startsWith(' ')) << dont.toStdString() << "|" << login.toStdString();
        EXPECT_FALSE((please + dont + login).contains("  "));
        // The countdown appends the hours or minutes straight after it.
        EXPECT_TRUE(text("TimeLeft").endsWith(' ')) << text("TimeLeft").toStdString();
        // The amount pad puts two blanks before the sum itself.
        for (const QString &key : QStringList{"Available", "MinimumAmount", "MaximumAmount"})
            EXPECT_FALSE(text(key).endsWith(' ')) << key.toStdString();
        // The loader appends its own running dots.
        for (const QString &key : QStringList{"ConnectingWithYourBank", "TransferLoaderMessage1", "TransferLoaderMessage2",
                                   "TransferLoaderMessage3", "TransferLoaderMessage4", "TransferLoaderMessage5",
                                   "TransferLoaderMessage6"}) {
            const QString message = text(key);
            EXPECT_FALSE(message.endsWith('.') || message.endsWith(QChar(0x2026)) || message.endsWith(' '))
                << key.toStdString() << ": " << message.toStdString();
        }
    }
}

TEST_F(StringTable, LookupFollowsPreferredLanguagesAndFallsBackToEnglish)
{
    Bundle::setPreferredLanguages({"en-GB"});
    EXPECT_EQ(text("Cancel").toStdString(), "Cancel");
    EXPECT_EQ(text("SuccessfulTransferMessage").toStdString(), "Your money is on its way. Reference number: %@");

    Bundle::setPreferredLanguages({"ru-RU", "en"});
    EXPECT_EQ(text("Cancel").toStdString(), "Отмена");
    EXPECT_EQ(text("Updated %@").toStdString(), "Обновлено %@");

    // A language we do not ship reads the English table.
    Bundle::setPreferredLanguages({"fr-FR"});
    EXPECT_EQ(text("Cancel").toStdString(), "Cancel");

    // A key the table lacks comes back as the key itself.
    EXPECT_EQ(text("NoSuchKey").toStdString(), "NoSuchKey");
}

} // namespace
