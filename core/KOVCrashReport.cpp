#include "core/KOVCrashReport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <QSysInfo>
#include <QTimeZone>
#include <cxxabi.h>
#include <exception>
#include <execinfo.h>
#include <typeinfo>

#include "core/Kova.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "core/internal/KOVService.h"
#include "platform/net/URLSession.h"

namespace kova {
namespace {

QString demangle(const char *name)
{
    if (!name)
        return QStringLiteral("unknown exception");
    int status = 0;
    char *readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    const QString result = QString::fromUtf8(status == 0 && readable ? readable : name);
    std::free(readable);
    return result;
}

QStringList callStack()
{
    void *frames[128];
    const int count = backtrace(frames, 128);
    QStringList stack;
    if (char **symbols = backtrace_symbols(frames, count)) {
        for (int i = 0; i < count; ++i)
            stack.append(QString::fromUtf8(symbols[i]));
        std::free(symbols);
    }
    return stack;
}

void setOrRemove(platform::UserDefaults &defaults, const QString &key, const QVariant &value)
{
    if (value.isNull())
        defaults.removeObject(key);
    else
        defaults.setValue(key, value);
}

// The handler that was in place before ours (the host's own, or the
// runtime's), called once the report is recorded.
std::terminate_handler s_previousTerminateHandler = nullptr;

} // namespace

QString getExceptionDate(bool utc)
{
    const QDateTime now = QDateTime::currentDateTime();
    return (utc ? now.toUTC() : now.toLocalTime()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

namespace {
// Far more than any exception's message a person would read.
constexpr qsizetype kLongestStoredReason = 64 * 1024;
} // namespace

void recordException(const QString &name, const QString &reason, const QStringList &stack)
{
    const QString userDate = getExceptionDate(false);
    const QString utcDate = getExceptionDate(true);
    platform::UserDefaults &defaults = platform::UserDefaults::standard();
    setOrRemove(defaults, kUnhandledExceptionName, name.isNull() ? QVariant() : QVariant(name));
    // A reason of megabytes (a payload in what()) would make the settings
    // file too large to be trusted at the next launch, and the whole report
    // would be set aside with it: only its beginning is kept.
    setOrRemove(defaults, kUnhandledExceptionReason,
                reason.isNull() ? QVariant() : QVariant(reason.left(kLongestStoredReason)));
    setOrRemove(defaults, kUnhandledExceptionStacktrace, QVariant(stack));
    setOrRemove(defaults, kUnhandledExceptionUserDate, userDate);
    setOrRemove(defaults, kUnhandledExceptionUtcDate, utcDate); // every write reaches the file at once
}

void uncaughtExceptionHandler()
{
    if (std::exception_ptr current = std::current_exception()) {
        QString name = demangle(abi::__cxa_current_exception_type() ? abi::__cxa_current_exception_type()->name() : nullptr);
        QString reason;
        try {
            std::rethrow_exception(current);
        } catch (const std::exception &e) {
            reason = QString::fromUtf8(e.what());
        } catch (...) {
        }
        recordException(name, reason, callStack());
    }
    if (s_previousTerminateHandler)
        s_previousTerminateHandler(); // a terminate handler does not return
    std::abort();
}

void installUncaughtExceptionHandler()
{
    // Every start installs it again; a handler the host set meanwhile is
    // the one to chain to, never ours.
    const std::terminate_handler previous = std::set_terminate(&uncaughtExceptionHandler);
    if (previous != &uncaughtExceptionHandler)
        s_previousTerminateHandler = previous;
}

namespace {

bool isBareWord(const QString &text)
{
    static const QRegularExpression bare(QStringLiteral("^[A-Za-z0-9_.]+$"));
    return bare.match(text).hasMatch();
}

QString quoted(const QString &text)
{
    if (isBareWord(text))
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    escaped.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString describe(const QVariant &value, int depth)
{
    const QString indent(4 * depth, QLatin1Char(' '));
    const QString inner(4 * (depth + 1), QLatin1Char(' '));
    if (value.isNull())
        return QStringLiteral("\"<null>\"");
    if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap(); // keys come out sorted, as the listing expects
        QString out = QStringLiteral("{\n");
        for (auto it = map.begin(); it != map.end(); ++it) {
            const bool nested = it.value().typeId() == QMetaType::QVariantMap || it.value().typeId() == QMetaType::QStringList;
            out += inner + quoted(it.key()) + QStringLiteral(" = ") + (nested ? inner : QString())
                + describe(it.value(), depth + 1) + QStringLiteral(";\n");
        }
        return out + indent + QLatin1Char('}');
    }
    if (value.typeId() == QMetaType::QStringList) {
        const QStringList list = value.toStringList();
        QStringList items;
        for (const QString &item : list)
            items.append(inner + quoted(item));
        return QStringLiteral("(\n") + items.join(QStringLiteral(",\n")) + (items.isEmpty() ? QString() : QStringLiteral("\n"))
            + indent + QLatin1Char(')');
    }
    return quoted(value.toString());
}

QVariant stored(const QString &key)
{
    return platform::UserDefaults::standard().value(key);
}

QVariant storedText(const QString &key)
{
    const QString text = platform::UserDefaults::standard().string(key);
    return text.isNull() ? QVariant() : QVariant(text);
}

// The settings file writes an empty list as an invalid value, so a stored
// stack that reads back invalid is the empty stack that was recorded.
QVariant storedStack()
{
    platform::UserDefaults &defaults = platform::UserDefaults::standard();
    if (!defaults.contains(kUnhandledExceptionStacktrace))
        return QVariant();
    const QVariant value = defaults.value(kUnhandledExceptionStacktrace);
    if (!value.isValid())
        return QStringList();
    return value.canConvert<QStringList>() && !value.isNull() ? QVariant(value.toStringList()) : QVariant();
}

// The rule every service reply follows: a failed HTTP status counts as
// success only when the body says so in as many words, and any status is a
// failure when the body says "success": false.
bool acceptedByService(const QByteArray &data, const std::optional<platform::HTTPURLResponse> &response)
{
    const auto parsed = platform::json::parseObject(data);
    const QJsonObject *reply = std::get_if<QJsonObject>(&parsed);
    const QJsonValue success = reply ? reply->value(QStringLiteral("success")) : QJsonValue(QJsonValue::Undefined);
    if (response && !response->hasSuccessStatus())
        return success.isBool() && success.toBool();
    return platform::json::readBool(success) != false;
}

// Forgotten only if it is still the report that went: a newer one (another
// process's crash meanwhile) waits for its own post.
bool stillStored(const QStringList &keys, const QVariantList &sent)
{
    for (qsizetype i = 0; i < keys.size(); ++i)
        if (stored(keys[i]) != sent[i])
            return false;
    return true;
}

} // namespace

QString describeReport(const QVariantMap &report)
{
    return describe(report, 0);
}

void uploadStoredCrashReport(const QString &appKey, std::function<void(bool delivered)> replied)
{
    platform::UserDefaults &defaults = platform::UserDefaults::standard();
    if (!defaults.contains(kUnhandledExceptionName) && !defaults.contains(kUnhandledExceptionReason)
        && !defaults.contains(kUnhandledExceptionStacktrace))
        return;

    const QVariant stack = storedStack();
    const QString bundleID = platform::ProcessInfo::mainBundleIdentifier();
    const QVariant utcDate = storedText(kUnhandledExceptionUtcDate);
    const QVariantMap report{
        {QStringLiteral("appKey"), appKey},
        {QStringLiteral("bundleID"), bundleID.isNull() ? QVariant() : QVariant(bundleID)},
        {QStringLiteral("stacktrace"), stack},
        {QStringLiteral("reason"), storedText(kUnhandledExceptionReason)},
        {QStringLiteral("name"), storedText(kUnhandledExceptionName)},
        {QStringLiteral("userDate"), storedText(kUnhandledExceptionUserDate)},
        {QStringLiteral("utcDate"), utcDate},
        {QStringLiteral("deviceInfo"),
         QVariantMap{{QStringLiteral("deviceName"), QSysInfo::machineHostName()},
                     {QStringLiteral("systemName"), QSysInfo::productType()},
                     {QStringLiteral("model"), QSysInfo::currentCpuArchitecture()},
                     {QStringLiteral("osVersion"), QSysInfo::productVersion()}}},
    };
    const QJsonObject body{
        {QStringLiteral("fileName"), platform::json::textOrNull(utcDate.isNull() ? QString() : utcDate.toString())},
        {QStringLiteral("content"), describeReport(report)},
        {QStringLiteral("sdkType"), QStringLiteral("ios")},
        {QStringLiteral("appKey"), appKey},
        {QStringLiteral("bundleID"), platform::json::textOrNull(bundleID)},
    };

    const QStringList keys{kUnhandledExceptionName, kUnhandledExceptionReason, kUnhandledExceptionStacktrace,
                           kUnhandledExceptionUserDate, kUnhandledExceptionUtcDate};
    QVariantList sent;
    for (const QString &key : keys)
        sent.append(stored(key));
    internal::serviceSession().dataTask(
        internal::serviceRequest(QStringLiteral("/v2/sdk/apps/logs/add"), body),
        [keys, sent, replied = std::move(replied)](const QByteArray &data,
                                                   const std::optional<platform::HTTPURLResponse> &response,
                                                   const std::optional<platform::Error> &error) {
            // A refused report is kept for the next good start, as one lost
            // on the way is: the service has not got it either way.
            const bool delivered = !error && acceptedByService(data, response);
            if (delivered && stillStored(keys, sent)) {
                platform::UserDefaults &defaults = platform::UserDefaults::standard();
                for (const QString &key : keys)
                    defaults.removeObject(key);
            }
            if (replied)
                replied(delivered);
        });
}

} // namespace kova
