#pragma once

#include <QString>

namespace kova::platform {

// Where a damaged file is kept instead of being deleted: beside it, under
// "<path>.damaged-<UTC time>" for the first copy and "<path>.damaged-<UTC
// time>-<n>" for the later ones, where n counts on from the highest number
// kept, so that the name tells which copy was set aside last whatever the
// clock said. Asked under the lock of whoever sets the file aside.
QString unusedDamagedName(const QString &path);

// Renames `from` to `to` unless `to` exists (a file, a link, anything): never
// replaces. False with errno set otherwise (EEXIST when `to` was taken).
bool renameWithoutReplacing(const QString &from, const QString &to);

// Moves the file at `path` aside under unusedDamagedName without ever
// replacing a file; returns the name it got, or an empty string with errno
// set.
QString moveAside(const QString &path);

// How many damaged copies of one file are kept: enough to look into what
// went wrong, bounded so that a file damaged again and again cannot fill
// the disk.
inline constexpr int kKeptDamagedCopies = 3;

// Removes all but the kKeptDamagedCopies copies set aside last that
// unusedDamagedName named for `path`, each with the files kept beside it
// under its name (a store's "-wal" and "-shm", a vault's ".key").
void removeOldDamagedCopies(const QString &path);

} // namespace kova::platform
