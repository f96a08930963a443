#pragma once

#include <QString>

namespace kova::platform {

// Where a damaged file is kept instead of being deleted: beside it, under
// "<path>.damaged-<UTC time>", with "-2", "-3" … when that name is taken.
QString unusedDamagedName(const QString &path);

// How many damaged copies of one file are kept: enough to look into what
// went wrong, bounded so that a file damaged again and again cannot fill
// the disk.
inline constexpr int kKeptDamagedCopies = 3;

// Removes all but the newest kKeptDamagedCopies copies that unusedDamagedName
// named for `path`, each with the files kept beside it under its name (a
// store's "-wal" and "-shm", a vault's ".key").
void removeOldDamagedCopies(const QString &path);

} // namespace kova::platform
