#include "platform/foundation/DamagedFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace kova::platform {

namespace {

// Every file of a folder, hidden ones and whatever is not a plain file too.
constexpr QDir::Filters kEveryFile = QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;

// What follows "<path>.damaged-": a copy's stamp and number, or the name of
// a copy and what a file kept beside it adds (a store's journal, a vault's
// key, the keys of the secrets kept for a store copy that cannot be read).
// Made on each use, never static: the keychain's workers set files aside
// too, and may still be at it while the process exits.
QRegularExpression copyName()
{
    return QRegularExpression(QStringLiteral("^(\\d{8}T\\d{6}Z)(?:-(\\d{1,9}))?$"));
}

QRegularExpression besideName()
{
    return QRegularExpression(QStringLiteral("^(\\d{8}T\\d{6}Z(?:-\\d{1,9})?)(-wal|-shm|\\.key|\\.in-use)$"));
}

// The order a copy was set aside in: its number, 1 when it has none.
int copyNumber(const QRegularExpressionMatch &match)
{
    return match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
}

} // namespace

QString unusedDamagedName(const QString &path)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = path + QStringLiteral(".damaged-") + stamp;
    // Numbered on from the highest number there, of any time: the clock may
    // have been stepped back since an earlier copy was stamped, and which
    // copy is the newest must not depend on it. Files kept beside a copy
    // count too, so that a new copy never meets one left by another.
    const QFileInfo info(path);
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    int highest = 0;
    const QRegularExpression copyForm = copyName();
    const QRegularExpression besideForm = besideName();
    for (const QString &name : info.dir().entryList(kEveryFile)) {
        if (!name.startsWith(prefix))
            continue;
        QString rest = name.mid(prefix.size());
        if (const auto beside = besideForm.match(rest); beside.hasMatch())
            rest = beside.captured(1);
        if (const auto copy = copyForm.match(rest); copy.hasMatch())
            highest = std::max(highest, copyNumber(copy));
    }
    QString aside = highest == 0 ? base : QStringLiteral("%1-%2").arg(base).arg(highest + 1);
    for (int n = highest + 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = QStringLiteral("%1-%2").arg(base).arg(n);
    return aside;
}

bool renameWithoutReplacing(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system that cannot refuse to replace in one step: a second
    // link fails as well when the name is taken, and the first then goes.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    if (::unlink(source.constData()) != 0) {
        const int error = errno;
        ::unlink(target.constData());
        errno = error;
        return false;
    }
    return true;
}

QString moveAside(const QString &path)
{
    // A name taken between choosing it and the rename (a copy that someone
    // set aside without our lock) only costs another try.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString aside = unusedDamagedName(path);
        if (renameWithoutReplacing(path, aside))
            return aside;
        if (errno != EEXIST)
            return QString();
    }
    errno = EEXIST;
    return QString();
}

void removeOldDamagedCopies(const QString &path)
{
    const QFileInfo info(path);
    QDir dir = info.dir();
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");

    struct Copy {
        int number;
        QString stamp;
        QString name;
    };
    // A file kept beside a copy (its log, its key, its list), by the copy it belongs to.
    struct Beside {
        QString copy;
        QString name;
    };
    std::vector<Copy> copies;
    std::vector<Beside> beside;
    const QRegularExpression copyForm = copyName();
    const QRegularExpression besideForm = besideName();
    for (const QString &name : dir.entryList(kEveryFile)) {
        if (!name.startsWith(prefix))
            continue;
        const QString rest = name.mid(prefix.size());
        if (const auto match = copyForm.match(rest); match.hasMatch())
            copies.push_back({copyNumber(match), match.captured(1), name});
        else if (const auto besideMatch = besideForm.match(rest); besideMatch.hasMatch())
            beside.push_back({prefix + besideMatch.captured(1), name});
    }
    if (copies.size() <= size_t(kKeptDamagedCopies))
        return;
    // The number says which was set aside later, whatever the stamps say.
    // Copies named when numbers only counted within one second may rank out
    // of order among themselves; a copy set aside since ranks above them all.
    std::sort(copies.begin(), copies.end(), [](const Copy &a, const Copy &b) {
        return a.number != b.number ? a.number > b.number : a.stamp > b.stamp;
    });
    for (size_t i = size_t(kKeptDamagedCopies); i < copies.size(); ++i) {
        dir.remove(copies[i].name);
        for (const Beside &file : beside)
            if (file.copy == copies[i].name)
                dir.remove(file.name);
    }
}

} // namespace kova::platform
