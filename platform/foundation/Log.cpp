#include "platform/foundation/Log.h"

#include <cstdio>
#include <mutex>

namespace kova::platform {
namespace {
std::mutex s_mutex;
LogSink s_logSink;
LogSink s_stdoutSink;
} // namespace

void log(const QString &line)
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
    const QByteArray utf8 = line.toUtf8();
    std::fprintf(stderr, "%s\n", utf8.constData());
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
