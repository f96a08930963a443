#include "platform/foundation/DamagedFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace kova::platform {

namespace {

// Every file of a folder, hidden ones and whatever is not a plain file too.
constexpr QDir::Filters kEveryFile = QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;

} // namespace

QString unusedDamagedName(const QString &path)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = path + QStringLiteral(".damaged-") + stamp;
    // Numbered after the highest number of that second still there, never
    // in a gap that removing old copies left: the names alone tell which copy
    // is the newest.
    const QFileInfo info(base);
    const QString numbered = info.fileName() + QLatin1Char('-');
    int highest = QFileInfo::exists(base) || info.isSymLink() ? 1 : 0;
    for (const QString &name : info.dir().entryList(kEveryFile)) {
        bool isNumber = false;
        const int n = name.startsWith(numbered) ? name.mid(numbered.size()).toInt(&isNumber) : 0;
        if (isNumber && n > highest)
            highest = n;
    }
    QString aside = highest == 0 ? base : QStringLiteral("%1-%2").arg(base).arg(highest + 1);
    for (int n = highest + 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = QStringLiteral("%1-%2").arg(base).arg(n);
    return aside;
}

void removeOldDamagedCopies(const QString &path)
{
    const QFileInfo info(path);
    QDir dir = info.dir();
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    static const QRegularExpression copyName(QStringLiteral("^(\\d{8}T\\d{6}Z)(?:-(\\d{1,9}))?$"));
    static const QRegularExpression besideName(QStringLiteral("^(\\d{8}T\\d{6}Z(?:-\\d{1,9})?)(-wal|-shm|\\.key)$"));

    struct Copy {
        QString stamp;
        int number;
        QString name;
    };
    // A file kept beside a copy (its log, its key), by the copy it belongs to.
    struct Beside {
        QString copy;
        QString name;
    };
    std::vector<Copy> copies;
    std::vector<Beside> beside;
    for (const QString &name : dir.entryList(kEveryFile)) {
        if (!name.startsWith(prefix))
            continue;
        const QString rest = name.mid(prefix.size());
        if (const auto match = copyName.match(rest); match.hasMatch())
            copies.push_back({match.captured(1), match.captured(2).isEmpty() ? 1 : match.captured(2).toInt(), name});
        else if (const auto besideMatch = besideName.match(rest); besideMatch.hasMatch())
            beside.push_back({prefix + besideMatch.captured(1), name});
    }
    if (copies.size() <= size_t(kKeptDamagedCopies))
        return;
    // The stamp's digits sort as its time; within one second the number says
    // which came later.
    std::sort(copies.begin(), copies.end(), [](const Copy &a, const Copy &b) {
        return a.stamp != b.stamp ? a.stamp > b.stamp : a.number > b.number;
    });
    for (size_t i = size_t(kKeptDamagedCopies); i < copies.size(); ++i) {
        dir.remove(copies[i].name);
        for (const Beside &file : beside)
            if (file.copy == copies[i].name)
                dir.remove(file.name);
    }
}

} // namespace kova::platform
