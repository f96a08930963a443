#include "platform/foundation/Json.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocale>
#include <cmath>
#include <limits>

namespace kova::platform::json {

namespace {

// Where a text's first character other than white space is.
qsizetype firstNonSpace(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return i;
}

bool isDigitAt(const QString &text, qsizetype at)
{
    return at < text.size() && text.at(at) >= u'0' && text.at(at) <= u'9';
}

// Where the run of ASCII digits starting at `from` ends.
qsizetype digitsEnd(const QString &text, qsizetype from)
{
    while (isDigitAt(text, from))
        ++from;
    return from;
}

} // namespace

std::optional<bool> readBool(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool();
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (std::isnan(d))
            return std::nullopt;
        return d != 0.0;
    }
    return std::nullopt;
}

std::optional<qint64> readInt64(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = std::trunc(value.toDouble());
    // 2^63 is exactly representable; anything at or beyond it would overflow.
    if (!std::isfinite(d) || d >= 9223372036854775808.0 || d < -9223372036854775808.0)
        return std::nullopt;
    return static_cast<qint64>(d);
}

std::optional<qint64> readIntegerValue(const QJsonValue &value)
{
    if (!value.isString())
        return readInt64(value);
    const QString text = value.toString();
    qsizetype i = firstNonSpace(text);
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-'))
        negative = text.at(i++) == u'-';
    const qsizetype digitsStart = i;
    i = digitsEnd(text, i);
    if (i == digitsStart)
        return std::nullopt;
    bool ok = false;
    const qint64 magnitude = QStringView(text).mid(digitsStart, i - digitsStart).toLongLong(&ok);
    if (!ok)
        return std::nullopt; // beyond 64 bits
    return negative ? -magnitude : magnitude;
}

std::optional<double> readDouble(const QJsonValue &value)
{
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        return std::nullopt;
    return value.toDouble();
}

std::optional<double> readNumberValue(const QJsonValue &value)
{
    if (!value.isString())
        return readDouble(value);
    const QString text = value.toString();
    const qsizetype start = firstNonSpace(text);
    qsizetype i = start;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    const qsizetype wholeEnd = digitsEnd(text, i);
    qsizetype digits = wholeEnd - i;
    i = wholeEnd;
    if (i < text.size() && text.at(i) == u'.') {
        const qsizetype fractionEnd = digitsEnd(text, i + 1);
        digits += fractionEnd - (i + 1);
        i = fractionEnd;
    }
    if (digits == 0)
        return std::nullopt;
    // An exponent counts only when digits follow it: "12e" is 12.
    if (i < text.size() && (text.at(i) == u'e' || text.at(i) == u'E')) {
        qsizetype exponent = i + 1;
        if (exponent < text.size() && (text.at(exponent) == u'+' || text.at(exponent) == u'-'))
            ++exponent;
        if (isDigitAt(text, exponent))
            i = digitsEnd(text, exponent);
    }
    // The C locale's reading whatever the device's locale.
    bool ok = false;
    const double number = QStringView(text).mid(start, i - start).toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt; // beyond the range of a double
    return number;
}

bool readTruthValue(const QJsonValue &value)
{
    if (!value.isString())
        return readBool(value).value_or(false);
    const QString text = value.toString();
    const qsizetype i = firstNonSpace(text);
    if (i == text.size())
        return false;
    const QChar first = text.at(i);
    return (first >= u'1' && first <= u'9') || first == u'y' || first == u'Y' || first == u't' || first == u'T';
}

QString readIdentifier(const QJsonValue &value)
{
    if (!value.isDouble())
        return readText(value);
    // A whole number within 64 bits is written from the integer the parser
    // kept, so an identifier beyond 2^53 keeps every digit it arrived with.
    constexpr qint64 notWhole = std::numeric_limits<qint64>::min();
    if (const qint64 whole = value.toInteger(notWhole); whole != notWhole)
        return QString::number(whole);
    const double d = value.toDouble();
    if (!std::isfinite(d))
        return QString();
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

QString readText(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString();
}

std::optional<QJsonArray> readList(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    return value.toArray();
}

std::optional<QJsonObject> readObject(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    return value.toObject();
}

QList<QJsonObject> objectsIn(const QJsonArray &list)
{
    QList<QJsonObject> out;
    out.reserve(list.size());
    for (const QJsonValue &v : list)
        if (v.isObject())
            out.append(v.toObject());
    return out;
}

QStringList textsIn(const QJsonArray &list)
{
    QStringList out;
    for (const QJsonValue &v : list)
        if (v.isString())
            out.append(v.toString());
    return out;
}

Error malformedError(const QString &detail)
{
    QVariantMap info{{NSLocalizedDescriptionKey,
                      QStringLiteral("The data couldn\u2019t be read because it isn\u2019t in the correct format.")}};
    if (!detail.isEmpty())
        info.insert(QStringLiteral("NSDebugDescription"), detail);
    return Error(NSCocoaErrorDomain, 3840, info);
}

std::variant<QJsonValue, Error> parse(const QByteArray &data)
{
    if (data.isEmpty())
        return malformedError(QStringLiteral("Unable to parse empty data."));
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return malformedError(QStringLiteral("%1 around offset %2.").arg(parseError.errorString()).arg(parseError.offset));
    if (doc.isObject())
        return QJsonValue(doc.object());
    if (doc.isArray())
        return QJsonValue(doc.array());
    return malformedError(QStringLiteral("No top-level object or list."));
}

std::variant<QJsonObject, Error> parseObject(const QByteArray &data)
{
    auto parsed = parse(data);
    if (auto *error = std::get_if<Error>(&parsed))
        return *error;
    const QJsonValue &value = std::get<QJsonValue>(parsed);
    if (!value.isObject())
        return malformedError(QStringLiteral("The top-level value is not an object."));
    return value.toObject();
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray compact(const QJsonArray &list)
{
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

QByteArray pretty(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

} // namespace kova::platform::json
