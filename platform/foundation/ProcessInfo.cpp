#include "platform/foundation/ProcessInfo.h"

#include "platform/foundation/PrivateDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <atomic>
#include <mutex>

namespace kova::platform::ProcessInfo {
namespace {
// Nothing here is destroyed at exit: an exception that escapes a host's
// global object while the process ends is still recorded, and the report
// is written to the data directory.
std::mutex s_mutex;
std::atomic<quint64> s_dataGeneration{1};
bool s_bundleIdentifierSet = false;

struct Texts {
    QString dataOverride;
    QString ensuredDirectory; // made already: asking again is cheap
    QString bundleIdentifier;
};
Texts &texts()
{
    static Texts *const texts = new Texts;
    return *texts;
}
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
        const Texts &known = texts();
        if (!known.dataOverride.isEmpty() && known.dataOverride == known.ensuredDirectory)
            return known.ensuredDirectory;
        path = known.dataOverride;
    }
    if (path.isEmpty())
        path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (path.isEmpty())
        path = QDir::temp().filePath(QStringLiteral("kova"));
    // Created once per path: the store, the vault and the settings ask on
    // every use, and a directory creation is far too slow for that.
    std::lock_guard lock(s_mutex);
    if (path != texts().ensuredDirectory) {
        makePrivateDirectory(path);
        texts().ensuredDirectory = path;
    }
    return path;
}

void setDataDirectoryOverride(const QString &path)
{
    std::lock_guard lock(s_mutex);
    texts().dataOverride = path;
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
            return texts().bundleIdentifier;
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
    texts().bundleIdentifier = identifier;
    s_bundleIdentifierSet = true;
}

} // namespace kova::platform::ProcessInfo
