#include "platform/store/AttributeValue.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <cmath>
#include <limits>

namespace kova::platform::AttributeValue {
namespace {

bool isIntegral(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isFloating(const QVariant &v)
{
    const int id = v.metaType().id();
    return id == QMetaType::Double || id == QMetaType::Float;
}

bool isBool(const QVariant &v)
{
    return v.metaType().id() == QMetaType::Bool;
}

QVariant unwrapped(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QJsonValue>())
        return value.value<QJsonValue>().toVariant();
    return value;
}

// An integral value that does not fit a signed 64-bit integer has no form.
std::optional<qint64> integralValue(const QVariant &v)
{
    const int id = v.metaType().id();
    if (id == QMetaType::ULongLong || id == QMetaType::ULong) {
        const qulonglong u = v.toULongLong();
        if (u > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(u);
    }
    return v.toLongLong();
}

// 2^63 is exactly representable; anything at or beyond it would overflow.
bool fitsInt64(double d)
{
    return std::isfinite(d) && d < 9223372036854775808.0 && d >= -9223372036854775808.0;
}

std::optional<QVariant> convert(AttributeType type, const QVariant &input, bool exact)
{
    const QVariant v = unwrapped(input);
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (type) {
    case AttributeType::String:
        if (v.metaType().id() != QMetaType::QString)
            return std::nullopt;
        return v.toString().isNull() ? QVariant() : v;
    case AttributeType::Date:
        if (v.metaType().id() == QMetaType::QDateTime && v.toDateTime().isValid())
            return QVariant(v.toDateTime().toUTC());
        return std::nullopt;
    case AttributeType::Binary:
        if (v.metaType().id() != QMetaType::QByteArray)
            return std::nullopt;
        return v.toByteArray().isNull() ? QVariant() : v;
    case AttributeType::Boolean:
        if (isBool(v))
            return v;
        if (isIntegral(v)) {
            if (exact && v.toLongLong() != 0 && v.toLongLong() != 1)
                return std::nullopt;
            return QVariant(v.toLongLong() != 0);
        }
        if (isFloating(v) && !std::isnan(v.toDouble())) {
            if (exact && v.toDouble() != 0.0 && v.toDouble() != 1.0)
                return std::nullopt;
            return QVariant(v.toDouble() != 0.0);
        }
        return std::nullopt;
    case AttributeType::Double:
        if (isBool(v))
            return QVariant(v.toBool() ? 1.0 : 0.0);
        if (isIntegral(v) || (isFloating(v) && !std::isnan(v.toDouble())))
            return QVariant(v.toDouble());
        return std::nullopt;
    case AttributeType::Integer:
        if (isBool(v))
            return QVariant(qint64(v.toBool() ? 1 : 0));
        if (isIntegral(v)) {
            if (const auto i = integralValue(v))
                return QVariant(*i);
            return std::nullopt;
        }
        if (isFloating(v)) {
            const double d = v.toDouble();
            const double t = std::trunc(d);
            if (!fitsInt64(t) || (exact && t != d))
                return std::nullopt;
            return QVariant(qint64(t));
        }
        return std::nullopt;
    }
    return std::nullopt;
}

template <class T>
int threeWay(const T &a, const T &b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

QVariant coerce(AttributeType type, const QVariant &value)
{
    return convert(type, value, false).value_or(QVariant());
}

std::optional<QVariant> forComparison(AttributeType type, const QVariant &value)
{
    return convert(type, value, true);
}

bool equals(AttributeType type, const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    switch (type) {
    case AttributeType::String:
        return a.toString() == b.toString();
    case AttributeType::Date:
        return a.toDateTime() == b.toDateTime();
    case AttributeType::Binary:
        return a.toByteArray() == b.toByteArray();
    case AttributeType::Boolean:
        return a.toBool() == b.toBool();
    case AttributeType::Double:
        return a.toDouble() == b.toDouble();
    case AttributeType::Integer:
        return a.toLongLong() == b.toLongLong();
    }
    return false;
}

int compare(AttributeType type, const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return threeWay(a.isValid(), b.isValid());
    switch (type) {
    case AttributeType::String:
        return a.toString().compare(b.toString());
    case AttributeType::Date:
        return threeWay(a.toDateTime().toMSecsSinceEpoch(), b.toDateTime().toMSecsSinceEpoch());
    case AttributeType::Binary:
        return threeWay(a.toByteArray(), b.toByteArray());
    case AttributeType::Boolean:
        return threeWay(a.toBool(), b.toBool());
    case AttributeType::Double:
        return threeWay(a.toDouble(), b.toDouble());
    case AttributeType::Integer:
        return threeWay(a.toLongLong(), b.toLongLong());
    }
    return 0;
}

QVariant zero(AttributeType type)
{
    switch (type) {
    case AttributeType::Boolean:
        return QVariant(false);
    case AttributeType::Double:
        return QVariant(0.0);
    case AttributeType::Integer:
        return QVariant(qint64(0));
    default:
        return QVariant();
    }
}

} // namespace kova::platform::AttributeValue
