// Arbitrary bytes as the settings file a crashed process left behind: the
// stored report is formatted and posted to the service's logs endpoint (a
// sandbox on loopback), and every stored value, whatever its type, goes
// through the report's formatting. A report that is there is posted exactly
// once, as a JSON object carrying the listing; none is posted otherwise.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "core/KOVCrashReport.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "sandbox/SandboxServer.h"

namespace {

using namespace kova;

volatile std::size_t g_sink = 0;
sandbox::SandboxServer *g_server = nullptr;

const QStringList &reportKeys()
{
    static const QStringList keys{kUnhandledExceptionName, kUnhandledExceptionReason, kUnhandledExceptionStacktrace,
                                  kUnhandledExceptionUserDate, kUnhandledExceptionUtcDate};
    return keys;
}

void waitFor(const std::function<bool()> &condition)
{
    const QDeadlineTimer deadline(10000);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    platform::setLogSink([](const QString &) {});
    g_server = new sandbox::SandboxServer; // lives for the process
    if (!g_server->start())
        __builtin_trap();
    qputenv("KOVA_SERVICE_URL", g_server->baseUrl().toString().toUtf8());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QTemporaryDir home;
    if (!home.isValid())
        return 0;
    // A directory of its own: a reply to the last input's post cannot reach
    // this input's settings.
    platform::ProcessInfo::setDataDirectoryOverride(home.path());
    {
        QFile file(QDir(home.path()).filePath(QStringLiteral("UserDefaults.ini")));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    platform::UserDefaults::resetStandard();
    platform::UserDefaults &defaults = platform::UserDefaults::standard();

    QVariantMap stored;
    for (const QString &key : reportKeys())
        stored.insert(key, defaults.value(key));
    const QVariantMap nested{{QStringLiteral("stored"), stored}, {QStringLiteral("list"), defaults.value(kUnhandledExceptionStacktrace)}};
    g_sink = g_sink + std::size_t(describeReport(nested).size());

    const bool expectPost = defaults.contains(kUnhandledExceptionName) || defaults.contains(kUnhandledExceptionReason)
        || defaults.contains(kUnhandledExceptionStacktrace);
    g_server->clearRequests();
    uploadStoredCrashReport(QStringLiteral("fuzz-app-key"));
    if (expectPost) {
        waitFor([] { return !g_server->requestsForPath(sandbox::SandboxServer::LogsPath).isEmpty(); });
        const auto posts = g_server->requestsForPath(sandbox::SandboxServer::LogsPath);
        if (posts.size() != 1)
            __builtin_trap();
        const QJsonObject body = posts.first().json;
        if (!body.value(QStringLiteral("content")).isString()
            || body.value(QStringLiteral("appKey")).toString() != QStringLiteral("fuzz-app-key")
            || body.value(QStringLiteral("sdkType")).toString() != QStringLiteral("ios"))
            __builtin_trap();
        const QJsonValue fileName = body.value(QStringLiteral("fileName"));
        if (!fileName.isString() && !fileName.isNull())
            __builtin_trap();
    } else {
        QCoreApplication::processEvents();
        if (!g_server->requestsForPath(sandbox::SandboxServer::LogsPath).isEmpty())
            __builtin_trap();
    }
    platform::UserDefaults::resetStandard();
    home.remove();
    return 0;
}
