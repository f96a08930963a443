#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <ostream>

namespace kova::test {

// Every date test runs in Berlin (it has daylight-saving nights), in US
// English, with English preferred, the Gregorian implicit calendar and a
// clock stopped at `kNow`, whatever the machine says.
class DatesTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A wall-clock time in Berlin, as a UTC instant.
    static QDateTime berlin(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int msec = 0);
    static QDateTime utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
    static void setNow(const QDateTime &now);
    static QDateTime now();
};

// Points the framework's resources somewhere else for its lifetime.
class ResourcesOverride {
public:
    explicit ResourcesOverride(const QString &root);
    ~ResourcesOverride();

private:
    QByteArray m_previous;
    bool m_wasSet;
};

} // namespace kova::test

// Readable failures for texts.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
