#pragma once

#include <QString>
#include <functional>

// The system log. Lines go to standard error unless a sink is installed
// (tests capture them that way). Safe to call from any thread.
namespace kova::platform {

void log(const QString &line);

using LogSink = std::function<void(const QString &line)>;
// Installs a sink (empty to restore standard error); returns the previous one.
LogSink setLogSink(LogSink sink);

// Standard output, for traces the host opts into; also capturable.
void writeStandardOutput(const QString &text);
LogSink setStandardOutputSink(LogSink sink);

} // namespace kova::platform
