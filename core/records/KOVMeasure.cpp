#include "core/records/KOVMeasure.h"

#include <cmath>

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

KOVMeasure KOVMeasure::initWithDictionary(const QJsonValue &dictionary)
{
    KOVMeasure measure;
    const QJsonObject object = dictionary.toObject();
    measure.m_unit = json::readText(object, QStringLiteral("unit"));
    measure.m_value = json::readNumberValue(object, QStringLiteral("value"));
    return measure;
}

double KOVMeasure::toSeconds() const
{
    double multiplier = 1;
    if (m_unit == QLatin1String("hrs"))
        multiplier = 3600;
    else if (m_unit == QLatin1String("days"))
        multiplier = 86400;
    const double seconds = m_value.value_or(0) * multiplier;
    // A value near the largest double overflows once scaled; a period that
    // long is no period the store or a screen could use.
    return std::isfinite(seconds) ? seconds : 0;
}

} // namespace kova
