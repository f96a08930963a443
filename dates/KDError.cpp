#include "dates/KDError.h"

#include <cxxabi.h>
#include <cstdlib>
#include <execinfo.h>

#include "dates/KDTimePeriod.h"
#include "platform/foundation/Log.h"

namespace kova {
namespace {

QString fromMainBundle(const QString &key)
{
    const std::shared_ptr<platform::Bundle> bundle = platform::Bundle::main();
    if (!bundle)
        return key;
    const QString text = bundle->localizedString(key, QString(), QStringLiteral("Localizable"));
    return text.isNull() ? key : text;
}

} // namespace

void KDError::throwInsertOutOfBoundsException(qint64 index, const QList<std::shared_ptr<KDTimePeriod>> &array)
{
    report(0,
           QStringLiteral("Attempted to insert KDTimePeriod at index %1 but the group is of size [0...%2].").arg(index).arg(array.size()),
           QStringLiteral("Please try an index within the bounds or the group."));
}

void KDError::throwRemoveOutOfBoundsException(qint64 index, const QList<std::shared_ptr<KDTimePeriod>> &array)
{
    report(1,
           QStringLiteral("Attempted to remove KDTimePeriod at index %1 but the group is of size [0...%2].").arg(index).arg(array.size()),
           QStringLiteral("Please try an index within the bounds of the group."));
}

void KDError::throwBadTypeException(const KDTimePeriod *object, const QString &expectedClass)
{
    throwBadTypeException(object ? className(typeid(*object)) : QStringLiteral("(null)"), expectedClass);
}

void KDError::throwBadTypeException(const QString &objectClass, const QString &expectedClass)
{
    report(2,
           QStringLiteral("Attempted to insert object of class %1 when expecting object of class %2.").arg(objectClass, expectedClass),
           QStringLiteral("Please try again by inserting a KDTimePeriod object."));
}

void KDError::report(qint64 code, const QString &reason, const QString &suggestion)
{
    QVariantMap info;
    info.insert(platform::NSLocalizedDescriptionKey, fromMainBundle(QStringLiteral("Operation was unsuccessful.")));
    info.insert(NSLocalizedFailureReasonErrorKey, reason);
    info.insert(NSLocalizedRecoverySuggestionErrorKey, fromMainBundle(suggestion));
    printErrorWithCallStack(platform::Error(KDErrorDomain, code, info));
}

void KDError::printErrorWithCallStack(const platform::Error &error)
{
    platform::log(describe(error), platform::logDates());
    void *frames[128];
    const int depth = backtrace(frames, 128);
    char **symbols = backtrace_symbols(frames, depth);
    if (!symbols)
        return;
    for (int i = 0; i < depth; ++i)
        platform::log(QStringLiteral("\n\n ") + QString::fromLocal8Bit(symbols[i]), platform::logDates());
    std::free(symbols);
}

QString KDError::describe(const platform::Error &error)
{
    return error.description();
}

QString KDError::className(const std::type_info &type)
{
    int status = 0;
    char *demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    QString name = status == 0 && demangled ? QString::fromLatin1(demangled) : QString::fromLatin1(type.name());
    std::free(demangled);
    if (name.startsWith(QLatin1String("kova::")))
        name.remove(0, 6);
    return name;
}

void KDError::setMainBundle(std::shared_ptr<platform::Bundle> bundle)
{
    platform::Bundle::setMain(std::move(bundle));
}

} // namespace kova
