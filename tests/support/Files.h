#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <sys/stat.h>

namespace kova::test {

// The permission bits of a file or folder; -1 when it is not there.
inline int modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A damaged copy's name with its UTC stamp moved by `seconds`: the name a
// clock that far off would have given it.
inline QString restamped(const QString &name, qint64 seconds)
{
    static const QRegularExpression stamp(QStringLiteral("\\d{8}T\\d{6}Z"));
    const QRegularExpressionMatch found = stamp.match(name);
    const QString format = QStringLiteral("yyyyMMdd'T'HHmmss'Z'");
    QDateTime time = QDateTime::fromString(found.captured(), format);
    time.setTimeSpec(Qt::UTC);
    return QString(name).replace(found.capturedStart(), found.capturedLength(), time.addSecs(seconds).toString(format));
}

// The umask for one scope.
class Umask {
public:
    explicit Umask(mode_t mask) : m_saved(::umask(mask)) {}
    ~Umask() { ::umask(m_saved); }
    Umask(const Umask &) = delete;
    Umask &operator=(const Umask &) = delete;

private:
    mode_t m_saved;
};

} // namespace kova::test
