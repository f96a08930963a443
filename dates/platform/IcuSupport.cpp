#include "dates/platform/IcuSupport.h"

#include <QHash>
#include <cmath>
#include <mutex>
#include <unicode/simpletz.h>

#include "dates/platform/DateEnvironment.h"

namespace kova::platform {
namespace {
// Zone construction parses tz data; the prototypes are cached and cloned.
std::mutex s_zoneMutex;
QHash<QByteArray, std::shared_ptr<const icu::TimeZone>> s_zones;
constexpr qsizetype kMaxCachedZones = 256;

std::shared_ptr<const icu::TimeZone> makeZone(const QTimeZone &zone)
{
    const QByteArray id = zone.id();
    std::unique_ptr<icu::TimeZone> made(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(id.toStdString())));
    if (!made || *made == icu::TimeZone::getUnknown()) {
        // Qt knows zones by offset ("UTC+03:00") that ICU has no id for.
        const int offsetSeconds = zone.standardTimeOffset(QDateTime::currentDateTimeUtc());
        made = std::make_unique<icu::SimpleTimeZone>(offsetSeconds * 1000, icu::UnicodeString::fromUTF8(id.toStdString()));
    }
    return std::shared_ptr<const icu::TimeZone>(made.release());
}
} // namespace

std::optional<double> IcuSupport::toMillis(const QDateTime &date)
{
    if (!date.isValid())
        return std::nullopt;
    const double millis = double(date.toMSecsSinceEpoch());
    if (!inRange(millis))
        return std::nullopt;
    return millis;
}

QDateTime IcuSupport::fromMillis(double millis)
{
    if (!std::isfinite(millis) || !inRange(millis))
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(millis)), Qt::UTC);
}

std::unique_ptr<icu::TimeZone> IcuSupport::timeZone(const QTimeZone &zone)
{
    const QTimeZone effective = zone.isValid() ? zone : DateEnvironment::systemTimeZone();
    if (!effective.isValid())
        return std::unique_ptr<icu::TimeZone>(icu::TimeZone::getGMT()->clone());
    std::lock_guard lock(s_zoneMutex);
    auto it = s_zones.constFind(effective.id());
    if (it == s_zones.constEnd()) {
        if (s_zones.size() >= kMaxCachedZones)
            s_zones.clear();
        it = s_zones.insert(effective.id(), makeZone(effective));
    }
    return std::unique_ptr<icu::TimeZone>((*it)->clone());
}

icu::Locale IcuSupport::locale(const QLocale &locale)
{
    if (locale.language() == QLocale::C)
        return icu::Locale("en_US_POSIX");
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale result = icu::Locale::forLanguageTag(locale.bcp47Name().toStdString(), status);
    if (U_FAILURE(status) || result.isBogus())
        return icu::Locale("en_US_POSIX");
    return result;
}

} // namespace kova::platform
