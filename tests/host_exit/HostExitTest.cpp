// A host may delete its window and quit at any moment of the SDK's screens:
// its process then ends, with no hang, crash or sanitizer report, whatever
// the screens still had queued.
#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

#include "sandbox/SandboxServer.h"
#include "tests/support/TestSupport.h"

using namespace kova;

namespace {

struct Moment {
    const char *name; // the host's argument
    const char *testName;
    // Whether the bank's server ever answers the transfer.
    enum class Transfer { Answered, Never } transfer = Transfer::Answered;
    // Whether the bank asks for a one-time code when the accounts are fetched.
    bool mfa = false;
    // Lines the host also prints.
    QStringList says = {};
};

void PrintTo(const Moment &moment, std::ostream *out)
{
    *out << moment.name;
}

class HostExitTest : public ::testing::TestWithParam<Moment> {};

TEST_P(HostExitTest, TheProcessEndsCleanly)
{
    sandbox::SandboxServer server;
    ASSERT_TRUE(server.start());
    if (GetParam().mfa)
        server.scriptMfa(QStringLiteral("/data/accounts/get"),
                         {QJsonArray{QJsonObject{{"id", "otp"}, {"query", "Enter the code"}, {"index", 0}}}},
                         QJsonObject{{"otp", "482913"}});
    if (GetParam().transfer == Moment::Transfer::Never) {
        sandbox::ScriptedReply never;
        never.fault = sandbox::ScriptedReply::Fault::NoReply;
        server.scriptAction(QStringLiteral("/payment/transfer/autoflow"), never);
    }
    const QJsonObject login = server.issueLogin(QStringLiteral("exit-host-user"));

    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KOVA_SERVICE_URL", server.baseUrl().toString());
    env.insert("KOVA_CONNECT_URL", server.baseUrl().toString());
    env.insert("KOVA_EXIT_HOST_LOGIN", QString::fromUtf8(QJsonDocument(login).toJson(QJsonDocument::Compact)));
    env.remove("KOVA_TEST_DATA_DIR");
    host.setProcessEnvironment(env);
    host.setProcessChannelMode(QProcess::MergedChannels);
    host.start(QStringLiteral(KOVA_EXIT_HOST), {QString::fromLatin1(GetParam().name)});
    ASSERT_TRUE(host.waitForStarted());
    // The sandbox answers on this loop while the host runs.
    const bool ended = test::waitUntil([&] { return host.state() == QProcess::NotRunning; }, std::chrono::seconds(90));
    if (!ended) {
        host.kill();
        host.waitForFinished();
    }
    const QString output = QString::fromLocal8Bit(host.readAll());
    ASSERT_TRUE(ended) << "the host never ended:\n" << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("quitting at %1").arg(GetParam().name))) << output.toStdString();
    for (const QString &line : GetParam().says)
        EXPECT_TRUE(output.contains(line + '\n')) << line.toStdString() << "\n" << output.toStdString();
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(host.exitCode(), 0) << output.toStdString();
    for (const char *report : {"Sanitizer", "runtime error", "Main queue"})
        EXPECT_FALSE(output.contains(QLatin1String(report))) << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Moments, HostExitTest,
                         ::testing::Values(Moment{"work-queued", "WorkQueued", Moment::Transfer::Answered, false,
                                                  {"queued work released before the application",
                                                   "next-turn work released before the application",
                                                   "delayed work released before the application"}},
                                           Moment{"sheet-sliding-in", "SheetSlidingIn"},
                                           Moment{"sheet-sliding-out", "SheetSlidingOut"},
                                           Moment{"connect-page-loading", "ConnectPageLoading"},
                                           Moment{"mfa-sheet-up", "MfaSheetUp", Moment::Transfer::Answered, true},
                                           Moment{"loader-up", "LoaderUp", Moment::Transfer::Never},
                                           Moment{"result-closing", "ResultClosing"},
                                           Moment{"result-up-kept", "ResultUpWithTheHomeKeptPastMain"},
                                           Moment{"result-closed-kept", "ResultClosedWithTheHomeKeptPastMain"}),
                         [](const auto &info) { return std::string(info.param.testName); });

} // namespace
