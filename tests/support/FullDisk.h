#pragma once

#include <atomic>
#include <mutex>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace kova::test {

// One set of SQLite's file methods and our copy of it.
struct MethodsSlot {
    const sqlite3_io_methods *real = nullptr;
    sqlite3_io_methods copy{};
};

// SQLite's own files, as a full disk would treat them: while failing, every
// write is refused with SQLITE_FULL.
// Installed as the default file system for the tests' lifetime; stores
// opened before it keep the one they had.
class FullDisk {
public:
    static void install()
    {
        static const bool installed = [] {
            s_real = sqlite3_vfs_find(nullptr);
            s_vfs = *s_real;
            s_vfs.zName = "kova-full-disk";
            s_vfs.pNext = nullptr;
            s_vfs.xOpen = &open;
            return sqlite3_vfs_register(&s_vfs, 1) == SQLITE_OK;
        }();
        EXPECT_TRUE(installed);
    }
    static void setFailing(bool failing) { s_failing = failing; }

    // Fails writes for its lifetime.
    struct Scope {
        Scope() { setFailing(true); }
        ~Scope() { setFailing(false); }
    };

private:
    // The file stays SQLite's own: only its writes go through here first.
    // SQLite gives a database and its journals different methods; each set
    // gets a copy of its own.
    static int open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
    {
        const int rc = s_real->xOpen(s_real, name, file, flags, outFlags);
        if (rc != SQLITE_OK || !file->pMethods)
            return rc;
        // Stores are opened from several threads at once.
        std::lock_guard lock(s_mutex);
        for (MethodsSlot &slot : s_slots) {
            if (!slot.real) {
                slot.copy = *file->pMethods;
                slot.copy.xWrite = &write;
                slot.real = file->pMethods;
            }
            if (slot.real == file->pMethods) {
                file->pMethods = &slot.copy;
                break;
            }
        }
        return rc;
    }
    static int write(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset)
    {
        if (s_failing)
            return SQLITE_FULL;
        const sqlite3_io_methods *real = nullptr;
        {
            std::lock_guard lock(s_mutex);
            for (const MethodsSlot &slot : s_slots)
                if (&slot.copy == file->pMethods)
                    real = slot.real;
        }
        return real ? real->xWrite(file, data, amount, offset) : SQLITE_IOERR_WRITE;
    }

    static inline sqlite3_vfs *s_real = nullptr;
    static inline sqlite3_vfs s_vfs{};
    static inline std::mutex s_mutex;
    static inline MethodsSlot s_slots[8];
    static inline std::atomic<bool> s_failing{false};
};

} // namespace kova::test
