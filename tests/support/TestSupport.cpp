#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <thread>

#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/keychain/Vault.h"

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

void prepareEnvironment(const QString &home)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
    qputenv("XDG_CACHE_HOME", (home + "/cache").toUtf8());
    // Private to this user (mode 0700), as Qt wants its runtime folder.
    qputenv("XDG_RUNTIME_DIR", home.toUtf8());
}

void prepareApplication(const QString &home)
{
    QCoreApplication::setOrganizationName(QStringLiteral("KovaTests"));
    QCoreApplication::setApplicationName(QStringLiteral("KovaTests"));
    // A child process a test starts (to crash it, say) shares its parent's device.
    const QString shared = qEnvironmentVariable("KOVA_TEST_DATA_DIR");
    platform::ProcessInfo::setDataDirectoryOverride(shared.isEmpty() ? home + "/appdata" : shared);
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
    waitOutRecentReads();
}

void waitOutRecentReads()
{
    std::this_thread::sleep_for(platform::Vault::kRecentFor * 2);
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
