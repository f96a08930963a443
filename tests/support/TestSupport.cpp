#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>

#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"

namespace kova::test {

bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline)
{
    QDeadlineTimer timer(deadline);
    while (!condition()) {
        if (timer.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

void drainMainQueue()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString dataDirectory()
{
    return platform::ProcessInfo::dataDirectory();
}

void resetDataDirectory()
{
    platform::UserDefaults::resetStandard();
    QDir dir(dataDirectory());
    dir.removeRecursively();
    QDir().mkpath(dir.path());
}

LogCapture::LogCapture()
{
    platform::setLogSink([this](const QString &line) {
        std::lock_guard lock(m_mutex);
        m_lines.append(line);
    });
}

LogCapture::~LogCapture()
{
    platform::setLogSink({});
}

QStringList LogCapture::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool LogCapture::contains(const QString &line) const
{
    return lines().contains(line);
}

StdoutCapture::StdoutCapture()
{
    platform::setStandardOutputSink([this](const QString &text) {
        std::lock_guard lock(m_mutex);
        m_chunks.append(text);
    });
}

StdoutCapture::~StdoutCapture()
{
    platform::setStandardOutputSink({});
}

QStringList StdoutCapture::chunks() const
{
    std::lock_guard lock(m_mutex);
    return m_chunks;
}

} // namespace kova::test
