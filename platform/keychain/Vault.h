#pragma once

#include <QByteArray>
#include <sys/stat.h>
#include <QHash>
#include <QList>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/FunctionRef.h"
#include "platform/keychain/VaultItem.h"

namespace kova::platform {

class VaultKeys;

// The file the keychain's items live in. Every item's attributes and value
// are sealed with XChaCha20-Poly1305 (the value with the item's identity as
// associated data) and the whole file carries a keyed BLAKE2b check, all under
// a 256-bit key that the host supplies or that lives in "<path>.key" (mode
// 0600). Writes replace the file atomically (temporary file, fsync, rename)
// under a lock across threads (mutex) and processes (flock on "<path>.lock").
// A vault file that is damaged (not a vault, truncated, failing its check) is
// moved aside under a dated name, never deleted or rewritten, and a fresh
// vault takes its place. So is a vault whose key file is gone, damaged or
// replaced by one that does not open it: nothing could ever read it again,
// and keeping it would fail every later call. It is moved aside with the key
// file found beside it ("<dated name>.key"), and a fresh pair is made at the
// next write. A key the host supplies that does not open the vault makes
// every call fail and the vault is kept: the host may yet supply the right one.
// A file the disk fails to read (an I/O error, a failed stat) fails the call
// with KeychainStatus::IO and nothing on disk changes: only a file read whole
// and proven wrong goes aside. Temporary files that a writer killed mid-write
// left beside the vault are removed at the next write.
class Vault {
public:
    using Items = QList<VaultItem>;
    // The positions of each account's items, in order: from first(account)
    // on through next(position), until -1.
    class AccountIndex {
    public:
        qsizetype first(const QString &account) const { return m_first.value(account, -1); }
        qsizetype next(qsizetype position) const { return m_next.at(position); }

    private:
        friend class Vault;
        QHash<QString, qsizetype> m_first;
        QList<qsizetype> m_next;
    };

    // The vault at `path`; with a `key` (32 bytes) the key file is not used.
    explicit Vault(QString path, std::optional<QByteArray> key = std::nullopt);
    ~Vault();
    Vault(const Vault &) = delete;
    Vault &operator=(const Vault &) = delete;

    // The process-wide vault: the one a host set, else the default in the
    // app's data directory.
    static std::shared_ptr<Vault> standard();
    // Null goes back to the default.
    static void setStandard(std::shared_ptr<Vault> vault);
    static QString defaultPath();

    QString path() const { return m_path; }
    QString keyPath() const;
    QString lockPath() const;

    // How sure a read must be that no other process has replaced the file.
    // Exact asks the file system on every read. Recent trusts what this
    // process last found there for kRecentFor, so that a run of reads pays
    // for one look: another process's write may then go unseen that long.
    // What this process writes is seen at once either way.
    enum class Freshness { Exact, Recent };
    static constexpr std::chrono::microseconds kRecentFor{1000};
    // How long a write waits for another process to let go of the vault
    // before it fails with KeychainStatus::IO.
    static constexpr std::chrono::milliseconds kProcessLockWait{2000};

    // Runs `reader` on the current items and returns its status, or the
    // vault's own failure without running it.
    qint32 read(FunctionRef<qint32(const Items &items, const AccountIndex &byAccount)> reader,
                Freshness freshness = Freshness::Exact);
    // Runs `writer` on a copy of the current items, holding the write lock;
    // when it succeeds, the copy replaces the vault. Concurrent writers in
    // any process see each other's items.
    qint32 write(const std::function<qint32(Items &items)> &writer);

    // The largest vault file read or written.
    static constexpr qint64 kMaxFileBytes = 256ll * 1024 * 1024;

private:
    struct State;

    struct ProcessLock {
        int fd = -1;
        ~ProcessLock();
    };
    qint32 lockAcrossProcesses(State &state, ProcessLock *held);
    qint32 replaceDamaged(State &state);
    void removeEndedWritersFiles();
    qint32 damagedFile(State &state, const struct stat &st, const QString &reason);
    bool sameKeys(const State &state) const;
    qint32 ensureCurrent(State &state);
    qint32 reload(State &state);
    // With `lost`, a key file that is missing, damaged or a link is not
    // logged: why it cannot be used is put there instead.
    qint32 fileKeys(bool createIfMissing, std::shared_ptr<const VaultKeys> *keys, QString *lost = nullptr);
    qint32 store(State &state, Items &items, const std::shared_ptr<const VaultKeys> &keys, const QByteArray &vaultId);
    qint32 fail(qint32 status, const QString &reason) const;

    QString m_path;
    QByteArray m_nativePath;
    std::shared_ptr<const VaultKeys> m_suppliedKeys;
    bool m_keySupplied = false;
    std::shared_ptr<State> m_state;
};

} // namespace kova::platform
