#include "platform/keychain/Vault.h"

#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <future>
#include <fcntl.h>
#include <mutex>
#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/DamagedFile.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateDirectory.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/VaultFileCalls.h"
#include "platform/keychain/VaultItemData.h"
#include "platform/keychain/VaultKeys.h"

namespace kova::platform {
namespace {

// File layout: magic, format version, vault id, key check, item count, then
// per item the sealed attributes and the sealed value (each a 32-bit length
// and its bytes), and last a keyed check over everything before it.
constexpr char kMagic[8] = {'K', 'O', 'V', 'A', 'V', 'L', 'T', '1'};
constexpr quint32 kFormatVersion = 1;
constexpr qsizetype kVaultIdBytes = 16;
constexpr int kKeyCheckBytes = 16;
constexpr int kFileMacBytes = 32;
constexpr qsizetype kHeaderBytes = sizeof kMagic + 4 + kVaultIdBytes + kKeyCheckBytes + 4;
constexpr qsizetype kMinValueBox = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES
    + crypto_aead_xchacha20poly1305_ietf_ABYTES;

const QByteArray kKeyCheckLabel = QByteArrayLiteral("kova vault key check");
const QByteArray kAttributesLabel = QByteArrayLiteral("kova vault attributes");

const QString kDefaultFileName = QStringLiteral("kova-keychain.vault");

struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileStamp of(const struct stat &st)
    {
        return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const FileStamp &o) const
    {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec
            && modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec
            && changed.tv_nsec == o.changed.tv_nsec;
    }
};

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

std::atomic<VaultFileCalls::Read> s_read{&::read};
std::atomic<VaultFileCalls::Fstat> s_fstat{&::fstat};

int inspect(int fd, struct stat *st)
{
    return s_fstat.load(std::memory_order_relaxed)(fd, st);
}

bool readAll(int fd, char *data, qint64 size)
{
    const VaultFileCalls::Read read = s_read.load(std::memory_order_relaxed);
    while (size > 0) {
        const ssize_t got = read(fd, data, size_t(size));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0) {
            errno = EIO; // the file shrank under us
            return false;
        }
        data += got;
        size -= got;
    }
    return true;
}

void syncDirectory(const QString &dir)
{
    const int fd = ::open(nativePath(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // some file systems cannot sync a directory; the rename itself is still atomic
    ::close(fd);
}

QString randomSuffix()
{
    unsigned char bytes[8];
    randombytes_buf(bytes, sizeof bytes);
    return QStringLiteral("%1-%2")
        .arg(::getpid())
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes).toHex()));
}

void appendU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendBlock(QByteArray &out, const QByteArray &block)
{
    appendU32(out, quint32(block.size()));
    out.append(block);
}

// Reads the file's fields in order; any read past the end fails.
class FieldReader {
public:
    FieldReader(const QByteArray &data, qsizetype end) : m_data(data), m_end(end) {}
    bool u32(quint32 *value)
    {
        if (m_end - m_pos < 4)
            return false;
        *value = qFromLittleEndian<quint32>(m_data.constData() + m_pos);
        m_pos += 4;
        return true;
    }
    bool bytes(qsizetype size, QByteArray *out)
    {
        if (size < 0 || m_end - m_pos < size)
            return false;
        *out = m_data.mid(m_pos, size);
        m_pos += size;
        return true;
    }
    bool block(QByteArray *out)
    {
        quint32 size = 0;
        return u32(&size) && bytes(qsizetype(size), out);
    }
    bool atEnd() const { return m_pos == m_end; }

private:
    const QByteArray &m_data;
    qsizetype m_end;
    qsizetype m_pos = 0;
};

QByteArray keyCheck(const VaultKeys &keys, const QByteArray &vaultId)
{
    const QByteArray input = kKeyCheckLabel + vaultId;
    return keys.mac(input.constData(), input.size(), kKeyCheckBytes);
}

SerialQueue &afterWrites();

// A process that ends normally first lets the after-writes thread finish, so
// that the renames of its last writes reach the disk before it goes (for a
// while at most: a stuck disk does not hold the exit up for good). A child
// forked without exec has no such thread and does not wait for one.
void finishAfterWrites(pid_t owner)
{
    if (::getpid() != owner)
        return;
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    afterWrites().async([finished] { finished->set_value(); });
    done.wait_for(std::chrono::seconds(2));
}

// What a write leaves to finish off the caller's road, on a thread of its
// own: closing the last descriptor of the file it replaced, which frees the
// inode and costs a journal update, and syncing the directory, a second
// journal commit as long as the first. Never destroyed, so that a vault let
// go while the process exits still has it.
SerialQueue &afterWrites()
{
    static pid_t owner = 0;
    static SerialQueue *const queue = [] {
        owner = ::getpid();
        std::atexit([] { finishAfterWrites(owner); });
        return new SerialQueue(QStringLiteral("com.kova.vault.after-writes"));
    }();
    return *queue;
}

void closeLater(int fd)
{
    afterWrites().async([fd] { ::close(fd); });
}

std::mutex s_standardMutex;
std::shared_ptr<Vault> s_hostVault;
std::shared_ptr<Vault> s_defaultVault;
QString s_defaultDirectory; // the data directory s_defaultVault lives in
quint64 s_defaultGeneration = 0; // the data directory's generation it was made for

} // namespace

void VaultFileCalls::set(Read read, Fstat fstat)
{
    s_read = read ? read : &::read;
    s_fstat = fstat ? fstat : &::fstat;
}

// What one process knows of one vault file, shared by every Vault object on
// that path: flock excludes per open file, so the threads of a process must
// share one lock descriptor and take turns on it.
struct Vault::State {
    std::mutex mutex;
    int lockFd = -1;

    // The cached contents, current while the file's stamp is unchanged.
    bool loaded = false;
    bool exists = false;
    // Held open so that the file's inode cannot be reused while we trust the stamp.
    int heldFd = -1;
    FileStamp stamp;
    // Until when a Recent read may take the cache without looking at the file.
    std::chrono::steady_clock::time_point trustedUntil;
    void trustForAMoment() { trustedUntil = std::chrono::steady_clock::now() + kRecentFor; }
    QByteArray vaultId;
    std::shared_ptr<const VaultKeys> keys;
    bool keysFromFile = false;
    Items items;
    AccountIndex byAccount;
    // Set when the last reload found the file itself damaged: which file and why.
    std::optional<FileStamp> damaged;
    QString damageReason;
    bool keyLost = false; // the damage is the key file's: it goes aside too

    ~State()
    {
        if (heldFd >= 0)
            ::close(std::exchange(heldFd, -1));
        forget();
        if (lockFd >= 0)
            ::close(lockFd);
    }

    void forget()
    {
        loaded = false;
        exists = false;
        if (heldFd >= 0)
            closeLater(std::exchange(heldFd, -1));
        stamp = {};
        trustedUntil = {};
        vaultId.clear();
        keys.reset();
        keysFromFile = false;
        items.clear();
        byAccount = {};
        damaged.reset();
        damageReason.clear();
        keyLost = false;
    }

    void setItems(Items newItems)
    {
        items = std::move(newItems);
        byAccount.m_first.clear();
        byAccount.m_first.reserve(items.size());
        byAccount.m_next.resize(items.size());
        // From the back, so that each account's chain runs in order.
        for (qsizetype i = items.size() - 1; i >= 0; --i) {
            const QString account = std::as_const(items)[i].attributes().account.value_or(QString());
            const auto it = byAccount.m_first.find(account);
            if (it == byAccount.m_first.end()) {
                byAccount.m_next[i] = -1;
                byAccount.m_first.insert(account, i);
            } else {
                byAccount.m_next[i] = *it;
                *it = i;
            }
        }
    }
};

Vault::Vault(QString path, std::optional<QByteArray> key)
    : m_path(QFileInfo(path).absoluteFilePath()), m_nativePath(nativePath(m_path))
{
    if (key) {
        m_keySupplied = true;
        m_suppliedKeys = VaultKeys::derive(*key);
    }
    static std::mutex registryMutex;
    static QHash<QString, std::weak_ptr<State>> registry;
    std::lock_guard lock(registryMutex);
    for (auto it = registry.begin(); it != registry.end();)
        it = it->expired() ? registry.erase(it) : std::next(it);
    std::weak_ptr<State> &slot = registry[m_path];
    m_state = slot.lock();
    if (!m_state) {
        m_state = std::make_shared<State>();
        slot = m_state;
    }
}

Vault::~Vault() = default;

std::shared_ptr<Vault> Vault::standard()
{
    // Asked on every keychain call: while the host has not chosen another
    // data directory, the default vault is handed out without working the
    // directory out again.
    const quint64 generation = ProcessInfo::dataDirectoryGeneration();
    {
        std::lock_guard lock(s_standardMutex);
        if (s_hostVault)
            return s_hostVault;
        if (s_defaultVault && s_defaultGeneration == generation)
            return s_defaultVault;
    }
    const QString directory = ProcessInfo::dataDirectory();
    {
        std::lock_guard lock(s_standardMutex);
        if (s_hostVault)
            return s_hostVault;
        if (s_defaultVault && s_defaultDirectory == directory) {
            s_defaultGeneration = generation;
            return s_defaultVault;
        }
    }
    // The default follows the data directory.
    auto vault = std::make_shared<Vault>(QDir(directory).filePath(kDefaultFileName));
    std::lock_guard lock(s_standardMutex);
    if (!s_defaultVault || s_defaultDirectory != directory) {
        s_defaultVault = std::move(vault);
        s_defaultDirectory = directory;
    }
    s_defaultGeneration = generation;
    return s_hostVault ? s_hostVault : s_defaultVault;
}

void Vault::setStandard(std::shared_ptr<Vault> vault)
{
    std::lock_guard lock(s_standardMutex);
    s_hostVault = std::move(vault);
    s_defaultVault.reset();
}

QString Vault::defaultPath()
{
    return QDir(ProcessInfo::dataDirectory()).filePath(kDefaultFileName);
}

QString Vault::keyPath() const
{
    return m_path + QStringLiteral(".key");
}

QString Vault::lockPath() const
{
    return m_path + QStringLiteral(".lock");
}

qint32 Vault::fail(qint32 status, const QString &reason) const
{
    log(QStringLiteral("Keychain vault %1: %2 (status %3)").arg(m_path, reason).arg(status), logKeychain());
    return status;
}

qint32 Vault::read(FunctionRef<qint32(const Items &items, const AccountIndex &byAccount)> reader,
                  Freshness freshness)
{
    State &state = *m_state;
    std::lock_guard lock(state.mutex);
    if (freshness == Freshness::Recent && state.loaded && state.exists && sameKeys(state)
        && std::chrono::steady_clock::now() < state.trustedUntil)
        return reader(state.items, state.byAccount);
    qint32 status = ensureCurrent(state);
    if (status != KeychainStatus::Success && state.damaged) {
        ProcessLock processLock;
        if (const qint32 locked = lockAcrossProcesses(state, &processLock); locked != KeychainStatus::Success)
            return locked;
        status = replaceDamaged(state);
    }
    if (status != KeychainStatus::Success)
        return status;
    return reader(state.items, state.byAccount);
}

qint32 Vault::write(const std::function<qint32(Items &items)> &writer)
{
    State &state = *m_state;
    std::lock_guard lock(state.mutex);
    if (m_keySupplied && !m_suppliedKeys)
        return fail(KeychainStatus::Param, QStringLiteral("the supplied key is not 32 bytes long"));

    ProcessLock processLock;
    if (const qint32 status = lockAcrossProcesses(state, &processLock); status != KeychainStatus::Success)
        return status;
    removeEndedWritersFiles();

    // Another process may have written since we last looked: start from the file.
    qint32 current = ensureCurrent(state);
    if (current != KeychainStatus::Success && state.damaged)
        current = replaceDamaged(state);
    if (current != KeychainStatus::Success)
        return current;

    std::shared_ptr<const VaultKeys> keys;
    QByteArray vaultId;
    if (state.exists && !m_keySupplied) {
        // A vault whose key file is gone must not gain items that no later
        // process could open: looked at afresh, it is a lost pair that goes
        // aside, and this write starts the new one.
        std::shared_ptr<const VaultKeys> onDisk;
        QString lost;
        const qint32 status = fileKeys(false, &onDisk, &lost);
        if (status != KeychainStatus::Success && lost.isEmpty())
            return status;
        if (status != KeychainStatus::Success || !onDisk->sameAs(*state.keys)) {
            current = reload(state);
            if (current != KeychainStatus::Success && state.damaged)
                current = replaceDamaged(state);
            if (current != KeychainStatus::Success)
                return current;
        }
    }
    if (state.exists) {
        keys = state.keys;
        vaultId = state.vaultId;
    } else {
        if (m_keySupplied) {
            keys = m_suppliedKeys;
        } else {
            QString lost;
            qint32 status = fileKeys(true, &keys, &lost);
            if (status != KeychainStatus::Success && !lost.isEmpty()) {
                // A damaged key with no vault beside it (a process killed
                // between the two renames that set a pair aside) would fail
                // every write for good: with the lock held and still no
                // vault, it goes aside and a fresh key takes its place.
                const QString aside = moveAside(keyPath());
                if (aside.isEmpty())
                    return fail(status, QStringLiteral("%1; it cannot be moved aside: %2").arg(lost, errnoText(errno)));
                syncDirectory(QFileInfo(m_path).absolutePath());
                log(QStringLiteral("Keychain vault %1: %2 and no vault is beside it; moved aside to %3 and a fresh key takes its place")
                        .arg(m_path, lost, aside), logKeychain());
                removeOldDamagedCopies(keyPath());
                status = fileKeys(true, &keys);
            }
            if (status != KeychainStatus::Success)
                return status;
        }
        vaultId = QByteArray(kVaultIdBytes, Qt::Uninitialized);
        randombytes_buf(vaultId.data(), size_t(vaultId.size()));
    }

    Items items = state.items;
    if (const qint32 status = writer(items); status != KeychainStatus::Success)
        return status;
    return store(state, items, keys, vaultId);
}

Vault::ProcessLock::~ProcessLock()
{
    if (fd >= 0)
        ::flock(fd, LOCK_UN);
}

qint32 Vault::lockAcrossProcesses(State &state, ProcessLock *held)
{
    // A lock on a lock file that has since been removed excludes nobody: take
    // it again on the file that is there now.
    const QByteArray lockFile = nativePath(lockPath());
    for (;;) {
        if (state.lockFd < 0) {
            makePrivateDirectory(QFileInfo(m_path).absolutePath());
            state.lockFd = ::open(lockFile.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
            if (state.lockFd < 0)
                return fail(KeychainStatus::IO, QStringLiteral("cannot open the lock file: %1").arg(errnoText(errno)));
            ::fchmod(state.lockFd, 0600); // whatever the umask: every later writer must open it again
        }
        // Bounded: a peer that keeps the lock (stopped, or stuck on a slow
        // disk) must not hang this process, whose reads wait behind its writes.
        const auto giveUp = std::chrono::steady_clock::now() + kProcessLockWait;
        auto pause = std::chrono::microseconds(200);
        while (::flock(state.lockFd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                return fail(KeychainStatus::IO, QStringLiteral("cannot take the lock: %1").arg(errnoText(errno)));
            if (std::chrono::steady_clock::now() >= giveUp)
                return fail(KeychainStatus::IO, QStringLiteral("another process has held the lock for over %1 ms")
                                                    .arg(std::chrono::milliseconds(kProcessLockWait).count()));
            std::this_thread::sleep_for(pause);
            pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(10));
        }
        struct stat lockHeld, named;
        if (::fstat(state.lockFd, &lockHeld) == 0 && ::stat(lockFile.constData(), &named) == 0
            && lockHeld.st_dev == named.st_dev && lockHeld.st_ino == named.st_ino) {
            held->fd = state.lockFd;
            return KeychainStatus::Success;
        }
        ::close(state.lockFd);
        state.lockFd = -1;
    }
}

qint32 Vault::replaceDamaged(State &state)
{
    // Called with the process lock held. Another process may have moved the
    // damaged file already and written a fresh vault: only the very file
    // found damaged is moved.
    const FileStamp damaged = *state.damaged;
    const QString reason = state.damageReason;
    bool keyLost = state.keyLost;
    state.forget();
    if (keyLost) {
        // The key may have come back (or the pair been replaced) before the
        // lock was ours: only a pair still lost goes.
        if (reload(state) == KeychainStatus::Success || !state.damaged || !(*state.damaged == damaged))
            return state.loaded ? KeychainStatus::Success : ensureCurrent(state);
        keyLost = state.keyLost;
        state.forget();
    }
    struct stat st;
    if (::lstat(m_nativePath.constData(), &st) == 0 && st.st_dev == damaged.device && st.st_ino == damaged.inode) {
        // Never over another file: a copy kept for recovery is never lost
        // to the next one.
        const QString aside = moveAside(m_path);
        if (aside.isEmpty())
            return fail(KeychainStatus::Decode, QStringLiteral("%1; it cannot be moved aside: %2")
                                                    .arg(reason, errnoText(errno)));
        // The vault first: should this process end in between, the key left
        // behind has no vault and serves the next one, or goes aside at the
        // next write if it is damaged.
        struct stat keySt;
        if (keyLost && ::lstat(nativePath(keyPath()).constData(), &keySt) == 0)
            renameWithoutReplacing(keyPath(), aside + QStringLiteral(".key"));
        syncDirectory(QFileInfo(m_path).absolutePath());
        log(QStringLiteral("Keychain vault %1: %2; moved aside to %3 and a fresh vault takes its place")
                .arg(m_path, reason, aside), logKeychain());
        removeOldDamagedCopies(m_path);
    }
    return ensureCurrent(state);
}

void Vault::removeEndedWritersFiles()
{
    // Called with the process lock held. A writer makes its temporary files
    // (a copy of the vault, a new key) only while it holds that lock, and
    // renames, links or removes them before it lets go: any found now is a
    // writer's that ended before it could, killed or cut off by a crash.
    // The lock tells that without asking whether a process is alive, which
    // another pid namespace or a reused pid would answer wrongly. Each is a
    // full copy sealed with the live key, and may hold secrets removed since.
    const QFileInfo info(m_path);
    DIR *dir = ::opendir(nativePath(info.absolutePath()).constData());
    if (!dir)
        return;
    const QByteArray vaultTemp = nativePath(info.fileName() + QStringLiteral(".tmp-"));
    const QByteArray keyTemp = nativePath(info.fileName() + QStringLiteral(".key.tmp-"));
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        QByteArray suffix;
        if (name.startsWith(vaultTemp))
            suffix = name.mid(vaultTemp.size());
        else if (name.startsWith(keyTemp))
            suffix = name.mid(keyTemp.size());
        else
            continue;
        // "<pid>-<16 hex digits>", as randomSuffix() names them.
        const qsizetype dash = suffix.indexOf('-');
        const QByteArray pid = suffix.left(dash);
        const QByteArray random = suffix.mid(dash + 1);
        const auto allOf = [](const QByteArray &text, auto accepts) {
            return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), accepts);
        };
        if (dash <= 0 || !allOf(pid, [](char c) { return c >= '0' && c <= '9'; }) || random.size() != 16
            || !allOf(random, [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }))
            continue;
        if (::unlinkat(::dirfd(dir), name.constData(), 0) == 0)
            log(QStringLiteral("Keychain vault %1: removed %2, left by a writer that ended")
                    .arg(m_path, QFile::decodeName(name)), logKeychain());
    }
    ::closedir(dir);
}

qint32 Vault::damagedFile(State &state, const struct stat &st, const QString &reason)
{
    state.damaged = FileStamp::of(st);
    state.damageReason = reason;
    return KeychainStatus::Decode;
}

bool Vault::sameKeys(const State &state) const
{
    return m_keySupplied
        ? (m_suppliedKeys && !state.keysFromFile && state.keys && state.keys->sameAs(*m_suppliedKeys))
        : state.keysFromFile;
}

qint32 Vault::ensureCurrent(State &state)
{
    if (m_keySupplied && !m_suppliedKeys)
        return fail(KeychainStatus::Param, QStringLiteral("the supplied key is not 32 bytes long"));
    const bool sameKeys = this->sameKeys(state);
    const auto trusted = [&state] {
        state.trustForAMoment();
        return qint32(KeychainStatus::Success);
    };
    struct stat st;
    // The file we read is held open: while it is still linked and unchanged,
    // nothing has replaced it (every write renames a new file into place).
    // Asking the descriptor spares a path lookup on every read.
    if (state.loaded && state.exists && sameKeys && ::fstat(state.heldFd, &st) == 0 && st.st_nlink > 0
        && state.stamp == FileStamp::of(st))
        return trusted();
    if (::stat(m_nativePath.constData(), &st) != 0) {
        if (errno != ENOENT)
            return fail(KeychainStatus::IO, QStringLiteral("cannot inspect the vault: %1").arg(errnoText(errno)));
        if (!state.loaded || state.exists) {
            state.forget();
            state.loaded = true;
        }
        return KeychainStatus::Success;
    }
    if (state.loaded && state.exists && sameKeys && state.stamp == FileStamp::of(st))
        return trusted();
    const qint32 status = reload(state);
    return status == KeychainStatus::Success && state.exists ? trusted() : status;
}

qint32 Vault::reload(State &state)
{
    state.forget();
    // Never blocks on a FIFO put in its place, and never follows a link.
    const int fd = ::open(m_nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ENOENT) {
            state.loaded = true;
            return KeychainStatus::Success;
        }
        if (errno == ELOOP)
            return fail(KeychainStatus::Decode, QStringLiteral("the vault is a symbolic link"));
        return fail(KeychainStatus::IO, QStringLiteral("cannot open the vault: %1").arg(errnoText(errno)));
    }
    struct Closer {
        int fd;
        bool keep = false;
        ~Closer()
        {
            if (!keep)
                ::close(fd);
        }
    } closer{fd};

    struct stat st;
    if (inspect(fd, &st) != 0)
        return fail(KeychainStatus::IO, QStringLiteral("cannot inspect the vault: %1").arg(errnoText(errno)));
    if (!S_ISREG(st.st_mode))
        return fail(KeychainStatus::Decode, QStringLiteral("the vault is not a regular file"));
    if (st.st_size > kMaxFileBytes)
        return fail(KeychainStatus::Decode, QStringLiteral("the file is larger than a vault can be"));
    QByteArray data(qsizetype(st.st_size), Qt::Uninitialized);
    if (!readAll(fd, data.data(), data.size()))
        return fail(KeychainStatus::IO, QStringLiteral("cannot read the vault: %1").arg(errnoText(errno)));

    if (data.size() < kHeaderBytes + kFileMacBytes || std::memcmp(data.constData(), kMagic, sizeof kMagic) != 0)
        return damagedFile(state, st, QStringLiteral("the file is not a keychain vault"));
    FieldReader reader(data, data.size() - kFileMacBytes);
    QByteArray magic, vaultId, check;
    quint32 version = 0;
    reader.bytes(sizeof kMagic, &magic);
    reader.u32(&version);
    if (version != kFormatVersion)
        return fail(KeychainStatus::Decode, QStringLiteral("the vault has an unknown format version %1").arg(version));
    reader.bytes(kVaultIdBytes, &vaultId);
    reader.bytes(kKeyCheckBytes, &check);

    std::shared_ptr<const VaultKeys> keys = m_suppliedKeys;
    if (!m_keySupplied) {
        QString lost;
        if (const qint32 status = fileKeys(false, &keys, &lost); status != KeychainStatus::Success) {
            if (lost.isEmpty())
                return status;
            damagedFile(state, st, lost);
            state.keyLost = true;
            return status;
        }
    }
    if (sodium_memcmp(keyCheck(*keys, vaultId).constData(), check.constData(), kKeyCheckBytes) != 0) {
        if (m_keySupplied)
            return fail(KeychainStatus::AuthFailed, QStringLiteral("the key does not open this vault"));
        damagedFile(state, st, QStringLiteral("the key file does not open the vault"));
        state.keyLost = true;
        return KeychainStatus::AuthFailed;
    }
    const QByteArray mac = keys->mac(data.constData(), data.size() - kFileMacBytes, kFileMacBytes);
    if (sodium_memcmp(mac.constData(), data.constData() + data.size() - kFileMacBytes, kFileMacBytes) != 0)
        return damagedFile(state, st, QStringLiteral("the vault failed to authenticate"));

    // Authentic from here on; the checks below only guard against our own
    // past mistakes.
    quint32 count = 0;
    if (!reader.u32(&count))
        return fail(KeychainStatus::Decode, QStringLiteral("the vault is malformed"));
    const QByteArray attributesData = kAttributesLabel + vaultId;
    Items items;
    items.reserve(qsizetype(std::min<quint32>(count, quint32(data.size() / (2 * kMinValueBox)))));
    for (quint32 i = 0; i < count; ++i) {
        QByteArray attributesBox, valueBox;
        if (!reader.block(&attributesBox) || !reader.block(&valueBox) || valueBox.size() < kMinValueBox)
            return fail(KeychainStatus::Decode, QStringLiteral("the vault is malformed"));
        const std::optional<QByteArray> plain = keys->open(attributesBox, attributesData);
        if (!plain)
            return fail(KeychainStatus::Decode, QStringLiteral("an item failed to authenticate"));
        QCborParserError parseError;
        const QCborValue cbor = QCborValue::fromCbor(*plain, &parseError);
        std::optional<ItemAttributes> attributes;
        if (parseError.error == QCborError::NoError && cbor.isMap())
            attributes = ItemAttributes::fromCbor(cbor.toMap());
        if (!attributes)
            return fail(KeychainStatus::Decode, QStringLiteral("an item's attributes are malformed"));
        VaultItem item;
        VaultItem::Data &d = *item.d;
        d.attributes = std::move(*attributes);
        d.sealedAttributes = attributesBox;
        d.attributesSealed = true;
        d.sealedValue = valueBox;
        d.sealedIdentity = d.attributes.identity();
        d.keys = keys;
        items.append(std::move(item));
    }
    if (!reader.atEnd())
        return fail(KeychainStatus::Decode, QStringLiteral("the vault is malformed"));

    closer.keep = true;
    state.loaded = true;
    state.exists = true;
    state.heldFd = fd;
    state.stamp = FileStamp::of(st);
    state.vaultId = vaultId;
    state.keys = keys;
    state.keysFromFile = !m_keySupplied;
    state.setItems(std::move(items));
    return KeychainStatus::Success;
}

qint32 Vault::fileKeys(bool createIfMissing, std::shared_ptr<const VaultKeys> *keys, QString *lost)
{
    const auto keyLost = [this, lost](qint32 status, const QString &reason) {
        if (!lost)
            return fail(status, reason);
        *lost = reason;
        return status;
    };
    const QByteArray path = nativePath(keyPath());
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ELOOP)
            return keyLost(KeychainStatus::AuthFailed, QStringLiteral("the key file is a symbolic link"));
        if (errno != ENOENT)
            return fail(KeychainStatus::NotAvailable, QStringLiteral("cannot read the key file: %1").arg(errnoText(errno)));
        if (!createIfMissing)
            return keyLost(KeychainStatus::NotAvailable, QStringLiteral("the key file is missing"));

        // Made aside and linked into place, so that no reader ever sees half a key.
        if (!VaultKeys::initializeSodium())
            return fail(KeychainStatus::IO, QStringLiteral("no random source for a key"));
        QByteArray master = VaultKeys::generateMasterKey();
        const QByteArray temp = nativePath(keyPath() + QStringLiteral(".tmp-") + randomSuffix());
        const int out = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        bool written = out >= 0 && ::fchmod(out, 0600) == 0 && writeAll(out, master.constData(), master.size())
            && ::fsync(out) == 0;
        const int writeError = errno;
        if (out >= 0)
            ::close(out);
        const bool linked = written && ::link(temp.constData(), path.constData()) == 0;
        const int linkError = errno;
        ::unlink(temp.constData());
        if (!linked) {
            sodium_memzero(master.data(), size_t(master.size()));
            if (written && linkError == EEXIST)
                return fileKeys(false, keys);
            return fail(KeychainStatus::IO, QStringLiteral("cannot create the key file: %1")
                                                .arg(errnoText(written ? linkError : writeError)));
        }
        syncDirectory(QFileInfo(keyPath()).absolutePath());
        *keys = VaultKeys::derive(master);
        sodium_memzero(master.data(), size_t(master.size()));
        return KeychainStatus::Success;
    }

    // Only a key that is there, whole, and proven wrong is lost: a disk that
    // fails to answer fails this call and changes nothing, or a passing read
    // error would cost every item in the vault.
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (inspect(fd, &st) != 0)
        return fail(KeychainStatus::IO, QStringLiteral("cannot inspect the key file: %1").arg(errnoText(errno)));
    const bool isFile = S_ISREG(st.st_mode);
    if (isFile && (st.st_mode & 077) != 0) {
        // Tightened rather than trusted silently; once tightened it is not
        // logged again.
        const bool tightened = ::fchmod(fd, 0600) == 0;
        log(QStringLiteral("Keychain vault %1: the key file was open to other users (mode %2); %3")
                .arg(m_path, QString::number(st.st_mode & 0777, 8),
                     tightened ? QStringLiteral("its mode is now 600")
                               : QStringLiteral("it cannot be tightened: %1").arg(errnoText(errno))), logKeychain());
    }
    if (!isFile || st.st_size != VaultKeys::kMasterKeyBytes)
        return keyLost(KeychainStatus::AuthFailed, QStringLiteral("the key file is damaged"));
    QByteArray master(VaultKeys::kMasterKeyBytes, Qt::Uninitialized);
    if (!readAll(fd, master.data(), master.size())) {
        const int error = errno;
        sodium_memzero(master.data(), size_t(master.size()));
        return fail(KeychainStatus::IO, QStringLiteral("cannot read the key file: %1").arg(errnoText(error)));
    }
    *keys = VaultKeys::derive(master);
    sodium_memzero(master.data(), size_t(master.size()));
    return KeychainStatus::Success;
}

qint32 Vault::store(State &state, Items &items, const std::shared_ptr<const VaultKeys> &keys,
                    const QByteArray &vaultId)
{
    const QByteArray attributesData = kAttributesLabel + vaultId;
    QByteArray out;
    out.reserve(kHeaderBytes + kFileMacBytes + items.size() * 160);
    out.append(kMagic, sizeof kMagic);
    appendU32(out, kFormatVersion);
    out.append(vaultId);
    out.append(keyCheck(*keys, vaultId));
    appendU32(out, quint32(items.size()));

    for (VaultItem &item : items) {
        // Untouched items are written exactly as they were read.
        const VaultItem::Data &current = *std::as_const(item).d;
        const bool sameKeys = current.keys == keys;
        if (!sameKeys || !current.attributesSealed || current.pendingValue) {
            VaultItem::Data &d = *item.d;
            d.attributes.valueData.reset();
            const QByteArray identity = d.attributes.identity();
            if (!sameKeys || !d.attributesSealed) {
                d.sealedAttributes = keys->seal(d.attributes.toCbor().toCborValue().toCbor(), attributesData);
                d.attributesSealed = true;
            }
            // The value is bound to the item's identity: a new identity re-seals it.
            if (d.pendingValue) {
                d.sealedValue = keys->seal(*d.pendingValue, identity);
                d.pendingValue.reset();
            } else if (!sameKeys || identity != d.sealedIdentity) {
                QByteArray value;
                if (item.value(&value) != KeychainStatus::Success)
                    return fail(KeychainStatus::Decode, QStringLiteral("an item failed to authenticate"));
                d.sealedValue = keys->seal(value, identity);
                sodium_memzero(value.data(), size_t(value.size()));
            }
            d.sealedIdentity = identity;
            d.keys = keys;
        }
        const VaultItem::Data &sealed = *std::as_const(item).d;
        appendBlock(out, sealed.sealedAttributes);
        appendBlock(out, sealed.sealedValue);
        if (out.size() + kFileMacBytes > kMaxFileBytes)
            return fail(KeychainStatus::Param, QStringLiteral("the vault would grow beyond %1 bytes").arg(kMaxFileBytes));
    }
    out.append(keys->mac(out.constData(), out.size(), kFileMacBytes));

    const QString dir = QFileInfo(m_path).absolutePath();
    makePrivateDirectory(dir);
    const QByteArray temp = nativePath(m_path + QStringLiteral(".tmp-") + randomSuffix());
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(KeychainStatus::IO, QStringLiteral("cannot create a temporary file: %1").arg(errnoText(errno)));
    const bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, out.constData(), out.size()) && ::fsync(fd) == 0
        && ::rename(temp.constData(), m_nativePath.constData()) == 0;
    if (!ok) {
        const int error = errno;
        ::close(fd);
        ::unlink(temp.constData());
        return fail(KeychainStatus::IO, QStringLiteral("cannot write the vault: %1").arg(errnoText(error)));
    }
    // The new file's contents are on the disk before its name is: a crash
    // from here on leaves this vault or the one before it, never a part of
    // one. The name's own trip to the disk follows on the after-writes
    // thread; the caller waits only for the contents.
    afterWrites().async([dir] { syncDirectory(dir); });

    state.forget();
    // Stamped after the rename, which touches the inode's change time.
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd); // written; the next call reads it back from the file
        return KeychainStatus::Success;
    }
    state.loaded = true;
    state.exists = true;
    state.heldFd = fd;
    state.stamp = FileStamp::of(st);
    state.trustForAMoment();
    state.vaultId = vaultId;
    state.keys = keys;
    state.keysFromFile = !m_keySupplied;
    state.setItems(std::move(items));
    return KeychainStatus::Success;
}

} // namespace kova::platform
