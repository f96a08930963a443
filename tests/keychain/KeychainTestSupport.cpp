#include "tests/keychain/KeychainTestSupport.h"

#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>
#include <unistd.h>

#include "platform/keychain/ItemStore.h"
#include "platform/keychain/VaultFileCalls.h"

namespace kova::test {

namespace {

std::mutex s_failingMutex;
QByteArray s_failingFile;

// Whether the descriptor is open on the file whose calls fail.
bool failing(int fd)
{
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t size = ::readlink(link, target, sizeof target);
    std::lock_guard lock(s_failingMutex);
    return size > 0 && QByteArray(target, size) == s_failingFile;
}

ssize_t failingRead(int fd, void *buffer, size_t size)
{
    if (!failing(fd))
        return ::read(fd, buffer, size);
    errno = EIO;
    return -1;
}

int failingFstat(int fd, struct stat *st)
{
    if (!failing(fd))
        return ::fstat(fd, st);
    errno = EIO;
    return -1;
}

} // namespace

ReadErrorsOn::ReadErrorsOn(const QString &path, Call call)
{
    {
        std::lock_guard lock(s_failingMutex);
        s_failingFile = QFileInfo(path).canonicalFilePath().toLocal8Bit();
    }
    platform::VaultFileCalls::set(call == Call::Read ? &failingRead : nullptr,
                                  call == Call::Fstat ? &failingFstat : nullptr);
}

ReadErrorsOn::~ReadErrorsOn()
{
    platform::VaultFileCalls::set(nullptr, nullptr);
}

PresenceCheckScope::PresenceCheckScope(std::function<bool(const QString &prompt)> check)
{
    platform::ItemStore::setPresenceCheck(std::move(check));
}

PresenceCheckScope::~PresenceCheckScope()
{
    platform::ItemStore::setPresenceCheck({});
}

} // namespace kova::test
