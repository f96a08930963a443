#include "platform/foundation/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QSettings>

#include "platform/foundation/ProcessInfo.h"

namespace kova::platform {
namespace {
std::mutex s_standardMutex;
std::unique_ptr<UserDefaults> s_standard;
} // namespace

UserDefaults &UserDefaults::standard()
{
    std::lock_guard lock(s_standardMutex);
    if (!s_standard)
        s_standard = std::make_unique<UserDefaults>(
            QDir(ProcessInfo::dataDirectory()).filePath(QStringLiteral("UserDefaults.ini")));
    return *s_standard;
}

void UserDefaults::resetStandard()
{
    std::lock_guard lock(s_standardMutex);
    s_standard.reset();
}

namespace {
// The file may hold crash reports: owner-only like the SDK's other files.
// Made so before the first write (later writes replace it keeping its mode),
// and an older file open to others is tightened.
void makeOwnerOnly(const QString &filePath)
{
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    const int fd = ::open(QFile::encodeName(filePath).constData(),
                          O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
        ::fchmod(fd, 0600);
    ::close(fd);
}
} // namespace

UserDefaults::UserDefaults(const QString &filePath)
{
    makeOwnerOnly(filePath);
    m_settings = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
}

UserDefaults::~UserDefaults() = default;

QVariant UserDefaults::value(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return m_settings->value(key);
}

QString UserDefaults::string(const QString &key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

bool UserDefaults::boolean(const QString &key) const
{
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return v.toBool();
    case QMetaType::QString: // INI files read booleans back as text
        return v.toString() == QLatin1String("true") || v.toString() == QLatin1String("1");
    default:
        return false;
    }
}

void UserDefaults::setValue(const QString &key, const QVariant &value)
{
    std::lock_guard lock(m_mutex);
    m_settings->setValue(key, value);
    m_settings->sync();
}

void UserDefaults::removeObject(const QString &key)
{
    std::lock_guard lock(m_mutex);
    m_settings->remove(key);
    m_settings->sync();
}

bool UserDefaults::contains(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return m_settings->contains(key);
}

} // namespace kova::platform
