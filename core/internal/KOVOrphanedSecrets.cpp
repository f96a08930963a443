#include "core/internal/KOVOrphanedSecrets.h"

#include <QHash>
#include <QSet>
#include <cerrno>
#include <csignal>
#include <unistd.h>

#include "core/store/KOVKeychain.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/Log.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/Vault.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/SqliteStore.h"

namespace kova::internal {
namespace {

platform::SerialQueue &sweeps()
{
    static platform::SerialQueue *const queue = new platform::SerialQueue(QStringLiteral("kova.keychain.leftovers"));
    return *queue;
}

bool processAlive(pid_t pid)
{
    // EPERM: there, but another user's; a pid taken again by another program
    // only keeps a leftover longer.
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// Whether the item is one of the SDK's secrets that may be left over, going
// by its mark alone.
bool mayBeLeftOver(const platform::ItemAttributes &item, const QString &service, qint64 nowMs)
{
    if (item.itemClass != platform::ItemClass::GenericPassword || item.service != service
        || item.label != KOVOrphanedSecrets::label() || !item.comment || !item.account)
        return false;
    const QStringList parts = item.comment->split(QLatin1Char(' '));
    bool timeOk = false;
    bool pidOk = false;
    const qint64 written = parts.size() == 2 ? parts[0].toLongLong(&timeOk) : 0;
    const qint64 writer = parts.size() == 2 ? parts[1].toLongLong(&pidOk) : 0;
    if (!timeOk || !pidOk)
        return false;
    const qint64 longest = std::chrono::milliseconds(KOVOrphanedSecrets::kLongestLogin).count();
    return nowMs - written > longest || !processAlive(pid_t(writer));
}

// The keychain keys of every login stored in the file now; false when the
// file cannot be read.
bool keysInUse(const QString &storeFile, const platform::ManagedObjectModel &model, QSet<QString> *keys)
{
    const platform::EntityDescription *entity = model.entity(QStringLiteral("KOVConnection"));
    if (!entity)
        return false;
    int tokenSlot = -1;
    int userSlot = -1;
    const auto &attributes = entity->attributes();
    for (size_t i = 0; i < attributes.size(); ++i) {
        if (attributes[i].name == QLatin1String("tokenID"))
            tokenSlot = int(i);
        else if (attributes[i].name == QLatin1String("userID"))
            userSlot = int(i);
    }
    if (tokenSlot < 0 || userSlot < 0)
        return false;
    platform::Error error;
    const auto store = platform::SqliteStore::open(storeFile, model, &error);
    if (!store)
        return false;
    return store->loadRows(*entity, [&](platform::SqliteStore::Row &&row) {
        keys->insert(row.values[size_t(tokenSlot)].toString() + row.values[size_t(userSlot)].toString());
    }, &error);
}

} // namespace

QString KOVOrphanedSecrets::label()
{
    return QStringLiteral("Kova login secret");
}

QString KOVOrphanedSecrets::mark(const QDateTime &written, pid_t writer)
{
    return QStringLiteral("%1 %2").arg(written.toMSecsSinceEpoch()).arg(qint64(writer));
}

bool KOVOrphanedSecrets::writeSecret(KOVKeychain &keychain, const QString &secret, const QString &key,
                                     platform::Error *error)
{
    return keychain.setString(secret, key, label(), mark(QDateTime::currentDateTimeUtc(), ::getpid()), error);
}

void KOVOrphanedSecrets::removeLeftovers(const QString &storeFile, std::shared_ptr<const platform::ManagedObjectModel> model)
{
    const QString service = KOVKeychain::defaultService();
    const std::shared_ptr<platform::Vault> vault = platform::Vault::standard();
    sweeps().async([storeFile, model, service, vault] {
        // First what the marks allow: a login whose writer has ended has
        // saved its record by now, if it ever will, so the file read next
        // holds it.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QHash<QString, QString> candidates; // key -> mark
        vault->read([&](const platform::Vault::Items &items, const platform::Vault::AccountIndex &) {
            for (const platform::VaultItem &item : items)
                if (mayBeLeftOver(item.attributes(), service, now))
                    candidates.insert(*item.attributes().account, *item.attributes().comment);
            return qint32(platform::KeychainStatus::Success);
        });
        if (candidates.isEmpty())
            return;
        QSet<QString> inUse;
        if (!model || !keysInUse(storeFile, *model, &inUse))
            return; // not knowing who still uses a secret, keep them all
        for (const QString &key : std::as_const(inUse))
            candidates.remove(key);
        if (candidates.isEmpty())
            return;
        int removed = 0;
        // A secret written again meanwhile carries a new mark and stays.
        vault->write([&](platform::Vault::Items &items) {
            for (qsizetype i = items.size() - 1; i >= 0; --i) {
                const platform::ItemAttributes &item = std::as_const(items)[i].attributes();
                if (item.itemClass == platform::ItemClass::GenericPassword && item.service == service
                    && item.label == label() && item.account && item.comment
                    && candidates.value(*item.account) == *item.comment) {
                    items.removeAt(i);
                    ++removed;
                }
            }
            return qint32(removed ? platform::KeychainStatus::Success : platform::KeychainStatus::ItemNotFound);
        });
        if (removed)
            platform::log(QStringLiteral("[Kova] Keychain: removed %1 secret(s) that no stored login uses").arg(removed));
    });
}

void KOVOrphanedSecrets::whenSettled(std::function<void()> done)
{
    sweeps().async([done = std::move(done)]() mutable { platform::MainQueue::async(std::move(done)); });
}

} // namespace kova::internal
