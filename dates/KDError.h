#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <typeinfo>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Error.h"

namespace kova {

// The dynamic type of an object, and whether it is exactly `Exact` (not a
// subclass): the library checks the kind of period or group it is handed.
template <typename T>
const std::type_info &dynamicType(const T &object)
{
    return typeid(object);
}
template <typename Exact, typename T>
bool isExactly(const T &object)
{
    return typeid(object) == typeid(Exact);
}

class KDTimePeriod;

inline const QString KDErrorDomain = QStringLiteral("com.kova.dates.ErrorDomain");

// The date library's error reporter. Each report builds an error in
// KDErrorDomain and writes it with the call stack to the log; nothing is
// thrown or returned, and the caller skips the operation.
//
//   0  insertion index out of bounds
//   1  removal index out of bounds
//   2  object of the wrong class
class KDError {
public:
    inline static const QString NSLocalizedFailureReasonErrorKey = QStringLiteral("NSLocalizedFailureReason");
    inline static const QString NSLocalizedRecoverySuggestionErrorKey = QStringLiteral("NSLocalizedRecoverySuggestion");

    // The reason names the index and the array's count.
    static void throwInsertOutOfBoundsException(qint64 index, const QList<std::shared_ptr<KDTimePeriod>> &array);
    static void throwRemoveOutOfBoundsException(qint64 index, const QList<std::shared_ptr<KDTimePeriod>> &array);
    // A null object is reported as of class "(null)".
    static void throwBadTypeException(const KDTimePeriod *object, const QString &expectedClass);
    static void throwBadTypeException(const QString &objectClass, const QString &expectedClass);
    static void printErrorWithCallStack(const platform::Error &error);

    // The error as the log shows it.
    static QString describe(const platform::Error &error);
    // The class name of an object, without our namespace.
    static QString className(const std::type_info &type);

    // The host application's own bundle, where the description and the
    // suggestion may be translated (its default table "Localizable"); the
    // same as platform::Bundle::setMain. Without a translation the English
    // texts are used.
    static void setMainBundle(std::shared_ptr<platform::Bundle> bundle);

private:
    static void report(qint64 code, const QString &reason, const QString &suggestion);
};

} // namespace kova
