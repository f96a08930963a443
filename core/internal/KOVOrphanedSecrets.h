#pragma once

#include <QDateTime>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <sys/types.h>

#include "platform/foundation/Error.h"

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
// when and by which process, so that such leftovers can be told from secrets
// whose records another process of the app is about to save.
struct KOVOrphanedSecrets {
    // Labels the SDK's own secrets, so that items a host keeps under the same
    // service are never taken for leftovers.
    static QString label();
    // "<milliseconds since 1970> <process id>" of the write.
    static QString mark(const QDateTime &written, pid_t writer);

    // Stores a login's secret under `key`, marked as written now by this process.
    static bool writeSecret(KOVKeychain &keychain, const QString &secret, const QString &key, platform::Error *error);

    // A secret is left over when no stored login uses its key and either the
    // process that wrote it has ended (it can no longer save the record) or
    // it was written longer ago than any login takes to be stored.
    static constexpr std::chrono::hours kLongestLogin{24};

    // Once the store file is loaded: on a worker, removes the secrets that are
    // left over, reading the file afresh for the logins stored by then, and
    // only what is still exactly as it was found. Nothing is removed when the
    // file cannot be read.
    static void removeLeftovers(const QString &storeFile, std::shared_ptr<const platform::ManagedObjectModel> model);
    // Runs `done` on the main thread after every removal started so far.
    static void whenSettled(std::function<void()> done);
};

} // namespace kova::internal
