#include "platform/foundation/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <QSettings>

#include "platform/foundation/DamagedFile.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateDirectory.h"
#include "platform/foundation/ProcessInfo.h"

namespace kova::platform {
namespace {
std::mutex s_standardMutex;
// Never destroyed at exit, like the data directory it lives in: see
// ProcessInfo.
UserDefaults *s_standard = nullptr;
} // namespace

UserDefaults &UserDefaults::standard()
{
    std::lock_guard lock(s_standardMutex);
    if (!s_standard)
        s_standard = new UserDefaults(
            QDir(ProcessInfo::dataDirectory()).filePath(QStringLiteral("UserDefaults.ini")));
    return *s_standard;
}

void UserDefaults::resetStandard()
{
    std::lock_guard lock(s_standardMutex);
    delete std::exchange(s_standard, nullptr);
}

namespace {
// The file may hold crash reports: owner-only like the SDK's other files.
// Made so before the first write (later writes replace it keeping its mode),
// and an older file open to others is tightened.
void makeOwnerOnly(const QString &filePath)
{
    makePrivateDirectory(QFileInfo(filePath).absolutePath());
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

// Values we never write: serialized Qt data streams, which QSettings decodes
// trusting every length in them (a damaged or planted file can make it try to
// allocate gigabytes). Such a file is moved aside and a fresh one started.
void setAsideIfForeign(const QString &filePath)
{
    constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;
    QFile file(filePath);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return;
    QString reason;
    if (file.size() > kMaxFileBytes) {
        reason = QStringLiteral("is larger than the SDK ever writes");
    } else {
        const QByteArray bytes = file.readAll();
        for (const QByteArray &line : bytes.split('\n')) {
            const qsizetype equals = line.indexOf('=');
            if (equals < 0)
                continue;
            const QByteArray value = line.mid(equals + 1).trimmed();
            if (value.startsWith("@Variant(") || value.startsWith("@DateTime(")) {
                reason = QStringLiteral("holds encoded values the SDK never writes");
                break;
            }
        }
    }
    file.close();
    if (reason.isEmpty())
        return;
    const QString aside = unusedDamagedName(filePath);
    if (QFile::rename(filePath, aside)) {
        log(QStringLiteral("The settings file %1 %2; moved aside to %3").arg(filePath, reason, aside), logStore());
        removeOldDamagedCopies(filePath);
    } else {
        QFile::remove(filePath);
    }
}

UserDefaults::UserDefaults(const QString &filePath)
{
    setAsideIfForeign(filePath);
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
