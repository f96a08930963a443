#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

#include "core/KOVCrashReport.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/core/SdkTestFixture.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;

// Run only as a child of CrashCapture: ends the process with an uncaught
// exception of the kind the parent asks for.
namespace {
// A host's global object whose destructor throws: it runs as the process
// ends, after the SDK's own globals are gone.
struct ThrowsAtExit {
    bool armed = false;
    ~ThrowsAtExit() noexcept(false)
    {
        if (armed)
            throw std::runtime_error("thrown while the process ends");
    }
} s_throwsAtExit;
} // namespace

TEST(CrashChild, EndsWithAnUncaughtException)
{
    const QString kind = qEnvironmentVariable("KOVA_CRASH_CHILD");
    if (kind.isEmpty())
        GTEST_SKIP() << "only runs as a child process";
    if (kind == "empty-stack") {
        // A report as a process records it, read back by the next one.
        recordException("E", "why", {});
        return;
    }
    if (kind == "host") {
        // The host's own handler, in place before the SDK starts (twice).
        std::set_terminate([] {
            QFile marker(platform::ProcessInfo::dataDirectory() + "/host-handler-ran");
            marker.open(QIODevice::WriteOnly);
            marker.write("yes");
            marker.close();
            std::_Exit(7);
        });
        installUncaughtExceptionHandler();
    }
    installUncaughtExceptionHandler();
    if (kind == "exit") {
        s_throwsAtExit.armed = true;
        return;
    }
    std::thread([kind] {
        if (kind == "std")
            throw std::runtime_error("disk on fire");
        throw 42;
    }).join();
}

namespace {

int crashChild(const QString &kind)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KOVA_CRASH_CHILD", kind);
    env.insert("KOVA_TEST_DATA_DIR", platform::ProcessInfo::dataDirectory());
    env.insert("ASAN_OPTIONS", "detect_leaks=0:handle_abort=0");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=CrashChild.*"});
    EXPECT_TRUE(child.waitForFinished(60000));
    platform::UserDefaults::resetStandard();
    return child.exitStatus() == QProcess::CrashExit ? -1 : child.exitCode();
}

} // namespace

class CrashReportTest : public SdkTest {};

TEST_F(CrashReportTest, AnExceptionAsTheProcessEndsIsRecordedToo)
{
    // Recorded with the state the report needs still there, not read from
    // memory already freed (or a lock already gone, which hung the process).
    EXPECT_EQ(crashChild("exit"), -1);
    platform::UserDefaults &defaults = platform::UserDefaults::standard();
    EXPECT_EQ(defaults.string(kUnhandledExceptionName), "std::runtime_error");
    EXPECT_EQ(defaults.string(kUnhandledExceptionReason), "thrown while the process ends");
}

TEST_F(CrashReportTest, CaptureRecordsTypeReasonStackAndBothTimes)
{
    EXPECT_EQ(crashChild("std"), -1) << "the process still ends";
    platform::UserDefaults &defaults = platform::UserDefaults::standard();
    EXPECT_EQ(defaults.string(kUnhandledExceptionName), "std::runtime_error");
    EXPECT_EQ(defaults.string(kUnhandledExceptionReason), "disk on fire");
    EXPECT_GT(defaults.value(kUnhandledExceptionStacktrace).toStringList().size(), 2);
    const QRegularExpression stamp("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$");
    EXPECT_TRUE(stamp.match(defaults.string(kUnhandledExceptionUserDate)).hasMatch());
    EXPECT_TRUE(stamp.match(defaults.string(kUnhandledExceptionUtcDate)).hasMatch());

    // An exception that is no std::exception has no reason; the old one goes.
    EXPECT_EQ(crashChild("int"), -1);
    platform::UserDefaults &after = platform::UserDefaults::standard();
    EXPECT_EQ(after.string(kUnhandledExceptionName), "int");
    EXPECT_FALSE(after.contains(kUnhandledExceptionReason));
}

TEST_F(CrashReportTest, ReportIsRecordedOwnerOnlyAndTheHostsHandlerStillRuns)
{
    EXPECT_EQ(crashChild("host"), 7) << "the host's handler ended the process";
    EXPECT_TRUE(QFile::exists(platform::ProcessInfo::dataDirectory() + "/host-handler-ran"));
    EXPECT_EQ(platform::UserDefaults::standard().string(kUnhandledExceptionName), "int");
    struct stat st;
    const QByteArray file = QFile::encodeName(platform::ProcessInfo::dataDirectory() + "/UserDefaults.ini");
    ASSERT_EQ(::stat(file.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A file left open to others by an earlier version is tightened.
    ASSERT_EQ(::chmod(file.constData(), 0644), 0);
    platform::UserDefaults::resetStandard();
    platform::UserDefaults::standard().setValue("probe", 1);
    ASSERT_EQ(::stat(file.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(CrashReportTest, StoredReportIsUploadedAfterAGoodStartAndForgottenOnceAccepted)
{
    platform::ProcessInfo::setMainBundleIdentifier("com.example.host");
    recordException("std::logic_error", QString(), {"0 frame", "1 \"quoted\" frame"});
    const QString utc = platform::UserDefaults::standard().string(kUnhandledExceptionUtcDate);
    server->scriptPath(sandbox::SandboxServer::LogsPath, ScriptedReply::json(QJsonObject{{"success", true}}));
    startDefault();
    ASSERT_TRUE(waitUntil([&] { return !server->requestsForPath(sandbox::SandboxServer::LogsPath).isEmpty(); }));
    const auto upload = server->requestsForPath(sandbox::SandboxServer::LogsPath).first();
    EXPECT_EQ(upload.json.keys(), (QStringList{"appKey", "bundleID", "content", "fileName", "sdkType"}));
    EXPECT_EQ(upload.json.value("fileName").toString(), utc);
    EXPECT_EQ(upload.json.value("sdkType").toString(), "ios");
    EXPECT_EQ(upload.json.value("appKey").toString(), "app-key-1");
    EXPECT_EQ(upload.json.value("bundleID").toString(), "com.example.host");
    const QString content = upload.json.value("content").toString();
    EXPECT_TRUE(content.startsWith("{\n    appKey = \"app-key-1\";\n")) << content.toStdString();
    EXPECT_TRUE(content.contains("    reason = \"<null>\";\n"));
    EXPECT_TRUE(content.contains("    name = \"std::logic_error\";\n"));
    EXPECT_TRUE(content.contains("\"1 \\\"quoted\\\" frame\""));
    EXPECT_TRUE(content.contains("deviceInfo =     {\n        deviceName = "));
    ASSERT_TRUE(waitUntil([] { return !platform::UserDefaults::standard().contains(kUnhandledExceptionName); }));
    EXPECT_FALSE(platform::UserDefaults::standard().contains(kUnhandledExceptionUtcDate));
    platform::ProcessInfo::setMainBundleIdentifier(QString());
}

TEST_F(CrashReportTest, ReportStaysWhenTheUploadFailsAndDatesAloneAreNeverSent)
{
    recordException("E", "why", {});
    server->scriptPath(sandbox::SandboxServer::LogsPath, dropped());
    startDefault();
    ASSERT_TRUE(waitUntil([&] { return !server->requestsForPath(sandbox::SandboxServer::LogsPath).isEmpty(); }));
    // The next good start sends the same report again, and this time it goes.
    simulateRelaunch();
    startDefault();
    ASSERT_TRUE(waitUntil([&] { return server->requestsForPath(sandbox::SandboxServer::LogsPath).size() == 2; }));
    const auto uploads = server->requestsForPath(sandbox::SandboxServer::LogsPath);
    EXPECT_EQ(uploads[0].json.value("content"), uploads[1].json.value("content"));
    ASSERT_TRUE(waitUntil([] { return !platform::UserDefaults::standard().contains(kUnhandledExceptionName); }));
    recordException("E", "why", {});

    platform::UserDefaults &defaults = platform::UserDefaults::standard();
    for (const QString &key : {kUnhandledExceptionName, kUnhandledExceptionReason, kUnhandledExceptionStacktrace})
        defaults.removeObject(key);
    server->clearRequests();
    uploadStoredCrashReport("app-key-1");
    drainMainQueue();
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::LogsPath).isEmpty());
}

TEST_F(CrashReportTest, AFailedStartSendsNothing)
{
    recordException("E", "why", {"frame"});
    server->scriptPath(sandbox::SandboxServer::ConfigsPath, ScriptedReply::json(QJsonObject{{"success", false}}));
    auto outcome = start("app-key-1", "client-1");
    ASSERT_TRUE(outcome->error.has_value());
    drainMainQueue();
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::LogsPath).isEmpty());
}

TEST_F(CrashReportTest, AReportWithAnOutsizedReasonSurvivesTheNextLaunch)
{
    // Exceptions that carry a whole payload in what() are not rare; the report
    // must still be there for the next process to send.
    const QString reason(5 * 1024 * 1024, QLatin1Char('r'));
    recordException("std::runtime_error", reason, {"0 frame", "1 frame"});
    platform::UserDefaults::resetStandard(); // the next process opens the file afresh
    platform::UserDefaults &defaults = platform::UserDefaults::standard();
    EXPECT_EQ(defaults.string(kUnhandledExceptionName), "std::runtime_error");
    EXPECT_EQ(defaults.string(kUnhandledExceptionReason), reason.left(64 * 1024)) << "its first 64 KiB are kept";
    EXPECT_EQ(defaults.value(kUnhandledExceptionStacktrace).toStringList(), (QStringList{"0 frame", "1 frame"}));
}

TEST_F(CrashReportTest, AReportRecordedWhileTheLastOneIsUploadingIsKept)
{
    using namespace std::chrono_literals;
    recordException("First", "one", {"0 first", "1 first"});
    server->scriptPath(sandbox::SandboxServer::LogsPath, delayed("{}", 500ms));
    startDefault();
    ASSERT_TRUE(waitUntil([&] { return !server->requestsForPath(sandbox::SandboxServer::LogsPath).isEmpty(); }));
    // Another process of the app, on the same data directory, crashes while
    // the first report is on its way.
    recordException("Second", "two", {"0 second", "1 second"});
    waitUntil([] { return false; }, 1500ms); // the upload's reply has long been handled
    platform::UserDefaults &defaults = platform::UserDefaults::standard();
    EXPECT_EQ(defaults.string(kUnhandledExceptionName), "Second") << "the newer report was never sent";
    EXPECT_EQ(defaults.string(kUnhandledExceptionReason), "two");
    EXPECT_TRUE(defaults.contains(kUnhandledExceptionUtcDate));
}

TEST_F(CrashReportTest, OnlyAReplyThatAcceptsTheReportForgetsIt)
{
    startDefault();
    struct ReplyCase {
        const char *label;
        ScriptedReply reply;
        bool kept;
    };
    const ReplyCase cases[] = {
        {"HTTP 500 saying it failed", ScriptedReply::json(QJsonObject{{"success", false}}, 500), true},
        {"HTTP 500 with an error page", ScriptedReply::raw("<html>down</html>", 500), true},
        {"HTTP 404 with no body", ScriptedReply::raw("", 404), true},
        {"HTTP 503 saying success as text", ScriptedReply::json(QJsonObject{{"success", "true"}}, 503), true},
        {"HTTP 200 saying it failed", ScriptedReply::json(QJsonObject{{"success", false}}), true},
        {"HTTP 500 saying success", ScriptedReply::json(QJsonObject{{"success", true}}, 500), false},
        {"HTTP 200 saying success", ScriptedReply::json(QJsonObject{{"success", true}}), false},
        {"HTTP 201 with no body", ScriptedReply::raw("", 201), false},
        {"HTTP 200 with a body that is not JSON", ScriptedReply::raw("ok"), false},
    };
    platform::UserDefaults &defaults = platform::UserDefaults::standard();
    for (const ReplyCase &c : cases) {
        SCOPED_TRACE(c.label);
        recordException("std::runtime_error", c.label, {"0 frame"});
        server->scriptPath(sandbox::SandboxServer::LogsPath, c.reply);
        std::optional<bool> delivered;
        uploadStoredCrashReport("app-key-1", [&](bool accepted) { delivered = accepted; });
        ASSERT_TRUE(waitUntil([&] { return delivered.has_value(); }));
        EXPECT_EQ(*delivered, !c.kept);
        EXPECT_EQ(defaults.string(kUnhandledExceptionName), c.kept ? "std::runtime_error" : QString());
        EXPECT_EQ(defaults.string(kUnhandledExceptionReason), c.kept ? c.label : QString());
        EXPECT_EQ(defaults.value(kUnhandledExceptionStacktrace).toStringList(),
                  c.kept ? QStringList{"0 frame"} : QStringList());
        EXPECT_EQ(defaults.contains(kUnhandledExceptionUtcDate), c.kept);
    }
}

TEST_F(CrashReportTest, AnEmptyStackIsSentAsAnEmptyListInThisProcessAndTheNext)
{
    startDefault();
    const auto upload = [&] {
        std::optional<bool> delivered;
        uploadStoredCrashReport("app-key-1", [&](bool accepted) { delivered = accepted; });
        EXPECT_TRUE(waitUntil([&] { return delivered.has_value(); }));
        const auto uploads = server->requestsForPath(sandbox::SandboxServer::LogsPath);
        return uploads.isEmpty() ? QString() : uploads.last().json.value("content").toString();
    };
    const QString emptyList = "    stacktrace =     (\n    );\n";

    recordException("E", "why", {});
    const QString here = upload();
    EXPECT_TRUE(here.contains(emptyList)) << here.toStdString();

    ASSERT_EQ(crashChild("empty-stack"), 0);
    const QString next = upload();
    EXPECT_TRUE(next.contains(emptyList)) << next.toStdString();
    EXPECT_FALSE(platform::UserDefaults::standard().contains(kUnhandledExceptionName));
}
