#pragma once

#include <QString>
#include <QVariantMap>
#include <functional>

namespace kova {

// The last uncaught exception of the process, kept in the user defaults
// until the service has received it.
inline const QString kUnhandledExceptionName = QStringLiteral("unhandledExceptionName");
inline const QString kUnhandledExceptionReason = QStringLiteral("unhandledExceptionReason");
inline const QString kUnhandledExceptionStacktrace = QStringLiteral("unhandledExceptionStacktrace");
inline const QString kUnhandledExceptionUserDate = QStringLiteral("unhandledExceptionUserDate");
inline const QString kUnhandledExceptionUtcDate = QStringLiteral("unhandledExceptionUtcDate");

// Installs the SDK's terminate handler in place of any other: an uncaught
// exception is recorded (type, what(), call stack, local and UTC time), then
// the process ends as it would have.
void installUncaughtExceptionHandler();
// The handler itself, exposed for hosts that chain their own.
[[noreturn]] void uncaughtExceptionHandler();

// The current time as "yyyy-MM-dd HH:mm:ss", in UTC or the device's zone.
QString getExceptionDate(bool utc);

// Records an exception the way the handler does (name, optional reason, stack).
void recordException(const QString &name, const QString &reason, const QStringList &stack);

// The report as the logs endpoint's "content" text: a plain key = value
// listing, not JSON.
QString describeReport(const QVariantMap &report);

// Posts the stored report, if there is one, and forgets it once the service
// has accepted it; a transport error or a refusal keeps it for the next good
// start. `replied`, when given, runs on the main thread once the reply has
// been dealt with, saying whether the report was delivered.
void uploadStoredCrashReport(const QString &appKey, std::function<void(bool delivered)> replied = {});

} // namespace kova
