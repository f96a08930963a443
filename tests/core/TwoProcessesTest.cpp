#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSet>

#include "core/KOVAppManager.h"
#include "core/connections/KOVBankConnection.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVKeychain.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/store/ManagedObjectContext.h"
#include "tests/core/SdkTestFixture.h"

using namespace kova;
using namespace kova::test;

// Run only as a child of TwoProcessesTest: starts the SDK on the shared data
// directory and imports every login of the file it is given, all at once.
TEST(ImportChild, ImportsItsLogins)
{
    const QString file = qEnvironmentVariable("KOVA_IMPORT_CHILD");
    if (file.isEmpty())
        GTEST_SKIP() << "only runs as a child process";
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QJsonArray logins = QJsonDocument::fromJson(in.readAll()).array();
    ASSERT_FALSE(logins.isEmpty());

    bool started = false;
    Kova::startWithAppKey("app-key-1", "client-1", [&](std::shared_ptr<Kova>, std::optional<platform::Error> error) {
        EXPECT_FALSE(error.has_value());
        started = true;
    });
    ASSERT_TRUE(waitUntil([&] { return started; }, std::chrono::seconds(60)));
    int done = 0;
    int failed = 0;
    for (const QJsonValue &login : logins)
        KOVBankConnection::create(login.toObject(), [&](std::shared_ptr<KOVBankConnection>, std::optional<platform::Error> error) {
            ++done;
            if (error) {
                ++failed;
                ADD_FAILURE() << error->localizedDescription().toStdString();
            }
        });
    ASSERT_TRUE(waitUntil([&] { return done == logins.size(); }, std::chrono::seconds(120)));
    EXPECT_EQ(failed, 0);
}

class TwoProcessesTest : public SdkTest {};

TEST_F(TwoProcessesTest, TwoHostsImportingOnOneDataDirectoryLoseNothing)
{
    constexpr int kEach = 40;
    QList<QProcess *> children;
    QSet<QString> userIDs;
    for (int c = 0; c < 2; ++c) {
        QJsonArray logins;
        for (int i = 0; i < kEach; ++i) {
            const QJsonObject login = server->issueLogin("client-1");
            userIDs.insert(login.value("userID").toString());
            logins.append(login);
        }
        const QString file = platform::ProcessInfo::dataDirectory() + QStringLiteral("/../logins-%1.json").arg(c);
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(logins).toJson(QJsonDocument::Compact));
        out.close();

        auto *child = new QProcess(this->server.get());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KOVA_IMPORT_CHILD", file);
        env.insert("KOVA_TEST_DATA_DIR", platform::ProcessInfo::dataDirectory());
        env.insert("KOVA_SERVICE_URL", server->baseUrl().toString());
        child->setProcessEnvironment(env);
        child->setProcessChannelMode(QProcess::MergedChannels);
        children.append(child);
    }
    ASSERT_EQ(userIDs.size(), 2 * kEach);
    // Both at once, while this process's loop serves them the sandbox.
    for (QProcess *child : children)
        child->start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ImportChild.*"});
    ASSERT_TRUE(waitUntil([&] {
        for (QProcess *child : children)
            if (child->state() != QProcess::NotRunning)
                return false;
        return true;
    }, std::chrono::seconds(240)));
    for (QProcess *child : children) {
        const QByteArray output = child->readAll();
        if (qEnvironmentVariableIsSet("KOVA_SHOW_CHILDREN"))
            qDebug().noquote() << output;
        EXPECT_EQ(child->exitStatus(), QProcess::NormalExit) << output.constData();
        EXPECT_EQ(child->exitCode(), 0) << output.constData();
    }

    // What a relaunch finds on the device: every login, each with its secret,
    // and no secret without its login.
    simulateRelaunch();
    platform::Error error;
    const auto stored = KOVAppManager::sharedInstance().viewContext().fetch<KOVConnection>(
        KOVConnection::fetchRequestWithUserID(QString(), "client-1", false), &error);
    EXPECT_EQ(stored.size(), 2 * kEach);
    QSet<QString> storedUserIDs;
    QSet<QString> secretKeys;
    for (const auto &connection : stored) {
        storedUserIDs.insert(connection->userID());
        const QString key = connection->tokenID() + connection->userID();
        secretKeys.insert(key);
        EXPECT_FALSE(KOVKeychain::keychain()->stringForKey(key).isNull()) << key.toStdString();
    }
    EXPECT_TRUE(storedUserIDs == userIDs) << "every imported login is stored once";
    const QStringList keys = KOVKeychain::keychain()->allKeys();
    EXPECT_EQ(keys.size(), 2 * kEach);
    EXPECT_TRUE(QSet<QString>(keys.begin(), keys.end()) == secretKeys) << "no secret without its login";
}
