#include "tests/dates/DatesTestSupport.h"

#include <mutex>

#include "dates/KovaDates.h"
#include "dates/platform/DateEnvironment.h"
#include "platform/foundation/Bundle.h"

namespace kova::test {
namespace {
std::mutex s_nowMutex;
QDateTime s_now;
} // namespace

void DatesTest::SetUp()
{
    platform::DateEnvironment::setSystemTimeZoneOverride(QTimeZone("Europe/Berlin"));
    platform::DateEnvironment::setCurrentLocaleOverride(QLocale(QLocale::English, QLocale::UnitedStates));
    platform::Bundle::setPreferredLanguages({QStringLiteral("en")});
    KovaDates::setDefaultCalendarIdentifier(platform::NSCalendarIdentifierGregorian);
    setNow(berlin(2024, 6, 15, 12, 0, 0));
    platform::DateEnvironment::setNowOverride([] { return now(); });
}

void DatesTest::TearDown()
{
    platform::DateEnvironment::setNowOverride({});
    KovaDates::setDefaultCalendarIdentifier(platform::NSCalendarIdentifierGregorian);
    platform::Bundle::setPreferredLanguages({QStringLiteral("en")});
}

QDateTime DatesTest::berlin(int year, int month, int day, int hour, int minute, int second, int msec)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec), QTimeZone("Europe/Berlin")).toUTC();
}

QDateTime DatesTest::utc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

void DatesTest::setNow(const QDateTime &now)
{
    std::lock_guard lock(s_nowMutex);
    s_now = now;
}

QDateTime DatesTest::now()
{
    std::lock_guard lock(s_nowMutex);
    return s_now;
}

ResourcesOverride::ResourcesOverride(const QString &root)
    : m_previous(qgetenv("KOVA_RESOURCES_DIR")), m_wasSet(qEnvironmentVariableIsSet("KOVA_RESOURCES_DIR"))
{
    qputenv("KOVA_RESOURCES_DIR", root.toUtf8());
}

ResourcesOverride::~ResourcesOverride()
{
    if (m_wasSet)
        qputenv("KOVA_RESOURCES_DIR", m_previous);
    else
        qunsetenv("KOVA_RESOURCES_DIR");
}

} // namespace kova::test
