#pragma once

#include <QString>

// Codes of "NSCocoaErrorDomain" that the object store reports, under the
// platform's own numbers so hosts can match them.
namespace kova::platform::StoreErrors {

inline constexpr qint64 FileReadNoSuchFile = 260;
inline constexpr qint64 FileReadCorruptFile = 259;
inline constexpr qint64 PersistentStoreSave = 134030;
inline constexpr qint64 CoreData = 134060;
inline constexpr qint64 PersistentStoreOpen = 134080;
inline constexpr qint64 PersistentStoreIncompatibleVersion = 134100;

// The userInfo key holding SQLite's own result code.
inline const QString SQLiteErrorKey = QStringLiteral("NSSQLiteErrorDomain");

} // namespace kova::platform::StoreErrors
