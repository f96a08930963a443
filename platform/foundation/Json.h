#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>
#include <variant>

#include "platform/foundation/Error.h"

// One set of JSON readers for every reply the SDK reads. Foreign JSON is
// never trusted: a value of the wrong type reads exactly like an absent one,
// so no caller has to guess what a server may have sent.
namespace kova::platform::json {

// true/false, or a number (non-zero is true): JSON gives no other booleans.
std::optional<bool> readBool(const QJsonValue &value);
// A finite number inside the signed 64-bit range; a fraction is dropped.
std::optional<qint64> readInt64(const QJsonValue &value);
// A number as readInt64 reads it, or the whole number a text begins with
// (after white space, with an optional sign), as some services send numbers.
std::optional<qint64> readIntegerValue(const QJsonValue &value);
// A finite number.
std::optional<double> readDouble(const QJsonValue &value);
// A finite number, or the decimal number a text begins with (after white
// space, with an optional sign, fraction and exponent): banks send amounts as
// text to keep their decimals exact. A text that begins with no number reads
// as absent.
std::optional<double> readNumberValue(const QJsonValue &value);
// true/false; a number is true when it is not 0; a text is true when, after
// white space, it begins with a digit other than 0 or with "y", "Y", "t" or
// "T". Anything else, or nothing, is false.
bool readTruthValue(const QJsonValue &value);
// An identifier: a text as it is, or a number as its shortest decimal text
// (12345, not 12345.0), as some services send identifiers as numbers. Any
// other value is a null QString.
QString readIdentifier(const QJsonValue &value);
// Text only; anything else is a null QString.
QString readText(const QJsonValue &value);
std::optional<QJsonArray> readList(const QJsonValue &value);
std::optional<QJsonObject> readObject(const QJsonValue &value);

inline std::optional<bool> readBool(const QJsonObject &o, const QString &key) { return readBool(o.value(key)); }
inline std::optional<qint64> readInt64(const QJsonObject &o, const QString &key) { return readInt64(o.value(key)); }
inline std::optional<double> readDouble(const QJsonObject &o, const QString &key) { return readDouble(o.value(key)); }
inline std::optional<double> readNumberValue(const QJsonObject &o, const QString &key) { return readNumberValue(o.value(key)); }
inline bool readTruthValue(const QJsonObject &o, const QString &key) { return readTruthValue(o.value(key)); }
inline QString readText(const QJsonObject &o, const QString &key) { return readText(o.value(key)); }
inline QString readIdentifier(const QJsonObject &o, const QString &key) { return readIdentifier(o.value(key)); }
inline std::optional<QJsonArray> readList(const QJsonObject &o, const QString &key) { return readList(o.value(key)); }
inline std::optional<QJsonObject> readObject(const QJsonObject &o, const QString &key) { return readObject(o.value(key)); }

// Text as JSON, a null text as JSON null: how the SDK writes absent values.
inline QJsonValue textOrNull(const QString &text)
{
    return text.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// The elements of a list that are objects, in order; other elements are skipped.
QList<QJsonObject> objectsIn(const QJsonArray &list);
// The elements of a list that are text, in order; other elements are skipped.
QStringList textsIn(const QJsonArray &list);

// Parses a whole document (an object or a list at the top). Malformed or
// empty data fails with "NSCocoaErrorDomain" 3840, as the platform reports it.
std::variant<QJsonValue, Error> parse(const QByteArray &data);
// Parses a document that must be an object; anything else fails with 3840.
std::variant<QJsonObject, Error> parseObject(const QByteArray &data);
Error malformedError(const QString &detail = {});

QByteArray compact(const QJsonObject &object);
QByteArray compact(const QJsonArray &list);
QByteArray pretty(const QJsonObject &object);

} // namespace kova::platform::json
