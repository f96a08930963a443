#include "platform/foundation/ProcessInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <atomic>
#include <mutex>

namespace kova::platform::ProcessInfo {
namespace {
std::mutex s_mutex;
QString s_dataOverride;
std::atomic<quint64> s_dataGeneration{1};
QString s_ensuredDirectory; // created already: asking again is cheap
QString s_bundleIdentifier;
bool s_bundleIdentifierSet = false;
} // namespace

QString environmentValue(const char *name)
{
    if (!qEnvironmentVariableIsSet(name))
        return QString();
    return qEnvironmentVariable(name);
}

QString dataDirectory()
{
    QString path;
    {
        std::lock_guard lock(s_mutex);
        // The usual case, asked on every keychain and store use: a directory
        // chosen by the host and already made.
        if (!s_dataOverride.isEmpty() && s_dataOverride == s_ensuredDirectory)
            return s_ensuredDirectory;
        path = s_dataOverride;
    }
    if (path.isEmpty())
        path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (path.isEmpty())
        path = QDir::temp().filePath(QStringLiteral("kova"));
    // Created once per path: the store, the vault and the settings ask on
    // every use, and a directory creation is far too slow for that.
    std::lock_guard lock(s_mutex);
    if (path != s_ensuredDirectory) {
        QDir().mkpath(path);
        s_ensuredDirectory = path;
    }
    return path;
}

void setDataDirectoryOverride(const QString &path)
{
    std::lock_guard lock(s_mutex);
    s_dataOverride = path;
    s_dataGeneration.fetch_add(1, std::memory_order_release);
}

quint64 dataDirectoryGeneration()
{
    return s_dataGeneration.load(std::memory_order_acquire);
}

QString mainBundleIdentifier()
{
    {
        std::lock_guard lock(s_mutex);
        if (s_bundleIdentifierSet)
            return s_bundleIdentifier;
    }
    const QString domain = QCoreApplication::organizationDomain();
    const QString name = QCoreApplication::applicationName();
    if (domain.isEmpty() || name.isEmpty())
        return QString();
    QStringList parts = domain.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    std::reverse(parts.begin(), parts.end());
    parts.append(name);
    return parts.join(QLatin1Char('.'));
}

void setMainBundleIdentifier(const QString &identifier)
{
    std::lock_guard lock(s_mutex);
    s_bundleIdentifier = identifier;
    s_bundleIdentifierSet = true;
}

} // namespace kova::platform::ProcessInfo
