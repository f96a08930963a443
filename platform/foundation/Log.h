#pragma once

#include <QLoggingCategory>
#include <QString>
#include <functional>

// The system log. Lines go through Qt's message system as warnings under the
// logging category of the area that wrote them, so a host filters and routes
// them (QT_LOGGING_RULES, its own message handler) as it does Qt's own. An
// installed sink takes every line instead (tests capture them that way).
// Safe to call from any thread.
namespace kova::platform {

// "kova": start-up, the connect road and anything without an area of its own.
Q_DECLARE_LOGGING_CATEGORY(logKova)
// "kova.network": requests to the app server and the service.
Q_DECLARE_LOGGING_CATEGORY(logNetwork)
// "kova.store": the on-device store and the settings file.
Q_DECLARE_LOGGING_CATEGORY(logStore)
// "kova.keychain": the keychain and its vault.
Q_DECLARE_LOGGING_CATEGORY(logKeychain)
// "kova.ui": screens, presentation, fonts and the web view.
Q_DECLARE_LOGGING_CATEGORY(logUI)
// "kova.dates": the date library.
Q_DECLARE_LOGGING_CATEGORY(logDates)

void log(const QString &line, const QLoggingCategory &category = logKova());
// A line only a host looking into the SDK wants: a debug message, off unless
// the category's debug messages are turned on.
void debugLog(const QString &line, const QLoggingCategory &category = logKova());

using LogSink = std::function<void(const QString &line)>;
// Installs a sink (empty to restore Qt's message system); returns the previous one.
LogSink setLogSink(LogSink sink);

// Standard output, for traces the host opts into; also capturable.
void writeStandardOutput(const QString &text);
LogSink setStandardOutputSink(LogSink sink);

} // namespace kova::platform
