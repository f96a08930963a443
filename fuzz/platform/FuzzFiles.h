#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Parsers that read files get each input through a file of their own, in a
// directory that lives as long as the fuzzing process.
namespace kova::fuzz {

inline const QDir &scratchDirectory()
{
    static QTemporaryDir *dir = new QTemporaryDir();
    static const QDir path(dir->path());
    return path;
}

inline QString writeScratchFile(const QString &relativePath, const QByteArray &bytes)
{
    const QString path = scratchDirectory().filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

} // namespace kova::fuzz
