#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>

#include "platform/foundation/Error.h"
#include "platform/keychain/VaultItem.h"

namespace kova::platform {
class ManagedObjectModel;
}

namespace kova {
class KOVKeychain;
}

namespace kova::internal {

// A login's secret reaches the keychain before its record reaches the store;
// a process that ends in between (killed, crashed, a failed save) leaves the
// secret with no login to use it. Each secret the SDK writes is marked with
// the writer that wrote it: a file of the writing process in the data folder,
// locked for as long as that process lives. Only a secret whose writer's lock
// this process has taken on that very file (its process has ended, in
// whatever pid namespace, whatever the clocks say) and that no stored login
// uses is a leftover; a writer's file that is missing or was replaced proves
// nothing.
struct KOVOrphanedSecrets {
    // Labels the SDK's own secrets, so that items a host keeps under the same
    // service are never taken for leftovers.
    static QString label();
    // "<milliseconds since 1970> <process id> <writer> <write number>": the
    // time and process are for people reading the vault; the writer and the
    // number tell one write from every other.
    static QString mark(const QDateTime &written, pid_t process, const QString &writer, quint64 number);

    // This process's writer, whose file it holds locked while it lives (made
    // on first use, in the current data folder).
    static QString writer();
    // The folder of the writers' files.
    static QString writersFolder();

    // One secret written for a login, as the import that wrote it knows it.
    struct Write {
        QString key;
        QString mark; // null when nothing was written
        std::optional<platform::VaultItem> replaced;
    };
    // Stores a login's secret under `key`, marked as this process's, in one
    // step under the vault's lock: what it replaces is what was there at
    // that very moment.
    static bool writeSecret(KOVKeychain &keychain, const QString &secret, const QString &key, Write *write,
                            platform::Error *error);
    // Takes an import's secret back, main thread: only while the item still
    // carries this write's mark (a later writer's secret is theirs), putting
    // back what it replaced, or removing it when it replaced nothing and no
    // stored login uses the key. A replaced secret whose own import was taken
    // back goes the way that import's would have.
    static void takeBack(const Write &write);

    // Once the store file is loaded: on a worker, removes the secrets whose
    // writers have ended and that no login uses, reading the file afresh for
    // the logins stored by then, and the copies of it kept aside; only what
    // is still exactly as it was found. Nothing is removed when the file
    // cannot be read; a kept copy that cannot be read keeps the secrets the
    // vault held when that was first found. Then the files of ended writers
    // go. The process waits for it (briefly) before it exits.
    static void removeLeftovers(const QString &storeFile, std::shared_ptr<const platform::ManagedObjectModel> model);
    // Removes the secrets under `keys` of logins this process removed or
    // replaced and no longer uses, main thread: each only while it is still
    // the one found here, written by this process or by a writer that has
    // provably ended, and used by no login in the store file as read now.
    static void removeUnused(const QStringList &keys);
    // Runs `done` on the main thread after every removal started so far.
    static void whenSettled(std::function<void()> done);

    // Fault injection for tests: a clock this far off in the marks this
    // process writes, and a process id in them that others cannot see.
    static void setClockOffset(std::chrono::milliseconds offset);
    static void setMarkedProcess(pid_t process); // 0: the real one
};

} // namespace kova::internal
