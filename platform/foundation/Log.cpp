#include "platform/foundation/Log.h"

#include <cstdio>
#include <mutex>

namespace kova::platform {

Q_LOGGING_CATEGORY(logKova, "kova")
Q_LOGGING_CATEGORY(logNetwork, "kova.network")
Q_LOGGING_CATEGORY(logStore, "kova.store")
Q_LOGGING_CATEGORY(logKeychain, "kova.keychain")
Q_LOGGING_CATEGORY(logUI, "kova.ui")
Q_LOGGING_CATEGORY(logDates, "kova.dates")

namespace {
std::mutex s_mutex;
LogSink s_logSink;
LogSink s_stdoutSink;
} // namespace

void log(const QString &line, const QLoggingCategory &category)
{
    LogSink sink;
    {
        std::lock_guard lock(s_mutex);
        sink = s_logSink;
    }
    if (sink) {
        sink(line);
        return;
    }
    // Passed as an argument, never as the format: a line may hold a "%".
    if (category.isWarningEnabled())
        QMessageLogger().warning(category, "%s", line.toUtf8().constData());
}

LogSink setLogSink(LogSink sink)
{
    std::lock_guard lock(s_mutex);
    std::swap(s_logSink, sink);
    return sink;
}

void writeStandardOutput(const QString &text)
{
    LogSink sink;
    {
        std::lock_guard lock(s_mutex);
        sink = s_stdoutSink;
    }
    if (sink) {
        sink(text);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

LogSink setStandardOutputSink(LogSink sink)
{
    std::lock_guard lock(s_mutex);
    std::swap(s_stdoutSink, sink);
    return sink;
}

} // namespace kova::platform
