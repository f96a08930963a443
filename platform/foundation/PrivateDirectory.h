#pragma once

#include <QString>

namespace kova::platform {

// Makes `path` and every missing folder above it, each one the owner's alone
// (0700) whatever the process's umask: they hold the store, the keychain
// vault and the settings. Folders that already exist keep their mode.
// Returns whether `path` is a folder afterwards.
bool makePrivateDirectory(const QString &path);

} // namespace kova::platform
