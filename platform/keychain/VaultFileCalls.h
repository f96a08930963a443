#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace kova::platform {

// The calls through which the vault learns what its key file and vault file
// hold. Tests put their own in place of the system's to make one file fail
// as a failing disk would; nothing else changes them.
struct VaultFileCalls {
    using Read = ssize_t (*)(int fd, void *buffer, size_t size);
    using Fstat = int (*)(int fd, struct stat *st);
    // Null puts the system's call back.
    static void set(Read read, Fstat fstat);
};

} // namespace kova::platform
