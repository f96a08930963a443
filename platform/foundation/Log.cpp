#include "platform/foundation/Log.h"

#include <cstdio>
#include <mutex>

namespace kova::platform {

// Debug lines are off unless a rule turns them on ("kova.ui.debug=true").
Q_LOGGING_CATEGORY(logKova, "kova", QtInfoMsg)
Q_LOGGING_CATEGORY(logNetwork, "kova.network", QtInfoMsg)
Q_LOGGING_CATEGORY(logStore, "kova.store", QtInfoMsg)
Q_LOGGING_CATEGORY(logKeychain, "kova.keychain", QtInfoMsg)
Q_LOGGING_CATEGORY(logUI, "kova.ui", QtInfoMsg)
Q_LOGGING_CATEGORY(logDates, "kova.dates", QtInfoMsg)

namespace {
std::mutex s_mutex;
LogSink s_logSink;
LogSink s_stdoutSink;
} // namespace

namespace {

// Whether an installed sink took the line.
bool toSink(const QString &line)
{
    LogSink sink;
    {
        std::lock_guard lock(s_mutex);
        sink = s_logSink;
    }
    if (!sink)
        return false;
    sink(line);
    return true;
}

} // namespace

// The line is passed as an argument, never as the format: it may hold a "%".
void log(const QString &line, const QLoggingCategory &category)
{
    if (!toSink(line) && category.isWarningEnabled())
        QMessageLogger().warning(category, "%s", line.toUtf8().constData());
}

void debugLog(const QString &line, const QLoggingCategory &category)
{
    if (!toSink(line) && category.isDebugEnabled())
        QMessageLogger().debug(category, "%s", line.toUtf8().constData());
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
