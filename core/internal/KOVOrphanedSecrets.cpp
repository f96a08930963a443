#include "core/internal/KOVOrphanedSecrets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/KOVAppManager.h"
#include "core/connections/KOVConnectManager.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVKeychain.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateDirectory.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/Vault.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/SqliteStore.h"

namespace kova::internal {
namespace {

platform::SerialQueue &sweeps()
{
    static platform::SerialQueue *const queue = new platform::SerialQueue(QStringLiteral("kova.keychain.leftovers"));
    return *queue;
}

std::atomic<qint64> s_clockOffsetMs{0};
std::atomic<pid_t> s_markedProcess{0};
std::atomic<quint64> s_writes{0};

bool isWriterName(const QString &name)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{32}$"));
    return form.match(name).hasMatch();
}

bool sameFile(int fd, const QByteArray &path)
{
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.constData(), &named) == 0 && held.st_dev == named.st_dev
        && held.st_ino == named.st_ino;
}

// This process's writer: a file of its own, locked from when it is made
// until the process ends (the system lets go of the lock then, however it
// ends). Made again should the data folder change or the file go.
struct Writer {
    std::mutex mutex;
    QString id;
    QByteArray path;
    int fd = -1;
    quint64 generation = 0;
    QSet<QString> ownIds; // every writer this process has been

    QString current()
    {
        std::lock_guard lock(mutex);
        if (fd >= 0 && generation == platform::ProcessInfo::dataDirectoryGeneration() && sameFile(fd, path))
            return id;
        if (fd >= 0)
            ::close(fd); // its file is gone: nobody can take its lock any more
        fd = -1;
        generation = platform::ProcessInfo::dataDirectoryGeneration();
        const QString folder = KOVOrphanedSecrets::writersFolder();
        if (!platform::makePrivateDirectory(folder))
            return QString();
        for (int attempt = 0; attempt < 8; ++attempt) {
            const quint64 parts[2] = {QRandomGenerator::system()->generate64(), QRandomGenerator::system()->generate64()};
            const QString name = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(parts), sizeof parts).toHex());
            const QByteArray file = QFile::encodeName(QDir(folder).filePath(name));
            const int made = ::open(file.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (made < 0)
                continue;
            // A sweep may take it for an ended writer's and remove it between
            // the creation and the lock: then it is no longer at its name.
            if (::flock(made, LOCK_EX | LOCK_NB) == 0 && sameFile(made, file)) {
                fd = made;
                id = name;
                path = file;
                ownIds.insert(name);
                return id;
            }
            ::close(made);
        }
        return QString();
    }

    bool isOwn(const QString &writer)
    {
        std::lock_guard lock(mutex);
        return ownIds.contains(writer);
    }
};

Writer &processWriter()
{
    static Writer *const writer = new Writer; // lives for the process, as its lock must
    return *writer;
}

enum class WriterState { Alive, Ended };

// Whether the writer has provably ended: its lock can be taken, or its file
// is gone (only ever removed under that lock once its writer has ended).
// `removeFile` removes the file of an ended writer.
WriterState writerState(const QString &folder, const QString &writer, bool removeFile)
{
    if (!isWriterName(writer) || processWriter().isOwn(writer))
        return WriterState::Alive;
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(writer));
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENOENT ? WriterState::Ended : WriterState::Alive;
    WriterState state = WriterState::Alive;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        state = WriterState::Ended;
        if (removeFile && sameFile(fd, path))
            ::unlink(path.constData());
    }
    ::close(fd);
    return state;
}

struct Mark {
    QString writer;
    bool valid = false;
};

Mark parseMark(const QString &mark)
{
    const QStringList parts = mark.split(QLatin1Char(' '));
    Mark parsed;
    if (parts.size() != 4)
        return parsed; // an older form names no writer: nobody can prove it gone
    bool timeOk = false, pidOk = false, numberOk = false;
    parts[0].toLongLong(&timeOk);
    parts[1].toLongLong(&pidOk);
    parts[3].toULongLong(&numberOk);
    parsed.writer = parts[2];
    parsed.valid = timeOk && pidOk && numberOk && isWriterName(parsed.writer);
    return parsed;
}

// Whether the item is one of the SDK's secrets whose writer has ended.
bool mayBeLeftOver(const platform::ItemAttributes &item, const QString &service, const QString &writers)
{
    if (item.itemClass != platform::ItemClass::GenericPassword || item.service != service
        || item.label != KOVOrphanedSecrets::label() || !item.comment || !item.account)
        return false;
    const Mark mark = parseMark(*item.comment);
    return mark.valid && writerState(writers, mark.writer, false) == WriterState::Ended;
}

bool loginKeys(platform::SqliteStore &store, const platform::ManagedObjectModel &model, QSet<QString> *keys)
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
    return store.loadRows(*entity, [&](platform::SqliteStore::Row &&row) {
        keys->insert(row.values[size_t(tokenSlot)].toString() + row.values[size_t(userSlot)].toString());
    }, &error);
}

// The keychain keys of every login stored in the file now and in every copy
// of it kept aside (whose logins someone may yet recover); false when any of
// them cannot be read.
bool keysInUse(const QString &storeFile, const platform::ManagedObjectModel &model, QSet<QString> *keys)
{
    platform::Error error;
    const auto store = platform::SqliteStore::open(storeFile, model, &error);
    if (!store || !loginKeys(*store, model, keys))
        return false;
    const QFileInfo info(storeFile);
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    const QDir dir = info.dir();
    for (const QString &name : dir.entryList(QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (!name.startsWith(prefix) || name.endsWith(QLatin1String("-wal")) || name.endsWith(QLatin1String("-shm"))
            || name.endsWith(QLatin1String("-journal")) || name.endsWith(QLatin1String(".key")))
            continue;
        const auto copy = platform::SqliteStore::openReadOnly(dir.filePath(name), &error);
        if (!copy || !loginKeys(*copy, model, keys))
            return false;
    }
    return true;
}

bool isOwnSecret(const platform::ItemAttributes &item, const QString &service, const QString &key)
{
    return item.itemClass == platform::ItemClass::GenericPassword && item.service == service && item.account == key
        && item.label == KOVOrphanedSecrets::label();
}

// The marks of this process's writes that were taken back, with what each
// had replaced.
struct TakenBack {
    std::mutex mutex;
    QHash<QString, std::optional<platform::VaultItem>> replaced;
};

TakenBack &takenBack()
{
    static TakenBack *const state = new TakenBack;
    return *state;
}

} // namespace

QString KOVOrphanedSecrets::label()
{
    return QStringLiteral("Kova login secret");
}

QString KOVOrphanedSecrets::mark(const QDateTime &written, pid_t process, const QString &writer, quint64 number)
{
    return QStringLiteral("%1 %2 %3 %4").arg(written.toMSecsSinceEpoch()).arg(qint64(process)).arg(writer).arg(number);
}

QString KOVOrphanedSecrets::writersFolder()
{
    return QDir(platform::ProcessInfo::dataDirectory()).filePath(QStringLiteral("kova-writers"));
}

QString KOVOrphanedSecrets::writer()
{
    return processWriter().current();
}

bool KOVOrphanedSecrets::writeSecret(KOVKeychain &keychain, const QString &secret, const QString &key, Write *write,
                                     platform::Error *error)
{
    write->key = key;
    write->mark.clear();
    write->replaced.reset();
    const QString writer = KOVOrphanedSecrets::writer();
    if (writer.isEmpty()) {
        // Unmarked, any other process could take the secret for a leftover.
        if (error)
            *error = KOVKeychain::securityError(platform::KeychainStatus::IO);
        return false;
    }
    const QByteArray value = secret.toUtf8();
    std::optional<platform::ItemAttributes> attributes = keychain.attributesWithKey(key, value, error);
    if (!attributes)
        return false;
    const pid_t marked = s_markedProcess.load();
    const QString mark = KOVOrphanedSecrets::mark(QDateTime::currentDateTimeUtc().addMSecs(s_clockOffsetMs.load()),
                                                  marked ? marked : ::getpid(), writer, ++s_writes);
    attributes->label = label();
    attributes->comment = mark;
    attributes->valueData.reset();
    const QByteArray identity = attributes->identity();
    std::optional<platform::VaultItem> replaced;
    const qint32 status = platform::Vault::standard()->write([&](platform::Vault::Items &items) {
        replaced.reset();
        const platform::VaultItem item(*attributes, value);
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (std::as_const(items)[i].attributes().identity() == identity) {
                replaced = std::as_const(items)[i];
                items[i] = item;
                return platform::KeychainStatus::Success;
            }
        }
        items.append(item);
        return platform::KeychainStatus::Success;
    });
    if (status != platform::KeychainStatus::Success) {
        if (error)
            *error = KOVKeychain::securityError(status);
        return false;
    }
    write->mark = mark;
    write->replaced = std::move(replaced);
    return true;
}

void KOVOrphanedSecrets::takeBack(const Write &write)
{
    if (write.mark.isNull())
        return;
    std::optional<platform::VaultItem> back = write.replaced;
    {
        TakenBack &state = takenBack();
        std::lock_guard lock(state.mutex);
        state.replaced.insert(write.mark, write.replaced);
        // Bounded: the chain of this process's own writes of one key.
        for (int hops = 0; back && hops < 1000; ++hops) {
            const std::optional<QString> &comment = back->attributes().comment;
            const auto it = comment ? state.replaced.constFind(*comment) : state.replaced.cend();
            if (it == state.replaced.cend())
                break;
            back = *it;
        }
    }
    bool used = false;
    platform::Error fetchError;
    for (const auto &connection : KOVAppManager::sharedInstance().viewContext().fetch<KOVConnection>(
             KOVConnection::fetchRequest(), &fetchError))
        used = used || (!connection->isInserted() && KOVConnectManager::secretKey(*connection) == write.key);
    const QString service = KOVKeychain::defaultService();
    const qint32 status = platform::Vault::standard()->write([&](platform::Vault::Items &items) {
        for (qsizetype i = 0; i < items.size(); ++i) {
            const platform::ItemAttributes &item = std::as_const(items)[i].attributes();
            if (!isOwnSecret(item, service, write.key) || item.comment != write.mark)
                continue;
            if (back)
                items[i] = *back;
            else if (used)
                return platform::KeychainStatus::ItemNotFound;
            else
                items.removeAt(i);
            return platform::KeychainStatus::Success;
        }
        return platform::KeychainStatus::ItemNotFound;
    });
    if (status != platform::KeychainStatus::Success && status != platform::KeychainStatus::ItemNotFound)
        platform::log(QStringLiteral("[Kova] Keychain failed: %1").arg(KOVKeychain::securityError(status).localizedDescription()),
                      platform::logKeychain());
}

void KOVOrphanedSecrets::removeLeftovers(const QString &storeFile, std::shared_ptr<const platform::ManagedObjectModel> model)
{
    const QString service = KOVKeychain::defaultService();
    const std::shared_ptr<platform::Vault> vault = platform::Vault::standard();
    const QString writers = writersFolder();
    sweeps().async([storeFile, model, service, vault, writers] {
        // First what the marks allow: a login whose writer has ended has
        // saved its record by now, if it ever will, so the file read next
        // holds it.
        QHash<QString, QString> candidates; // key -> mark
        vault->read([&](const platform::Vault::Items &items, const platform::Vault::AccountIndex &) {
            for (const platform::VaultItem &item : items)
                if (mayBeLeftOver(item.attributes(), service, writers))
                    candidates.insert(*item.attributes().account, *item.attributes().comment);
            return qint32(platform::KeychainStatus::Success);
        });
        QSet<QString> inUse;
        if (!candidates.isEmpty() && (!model || !keysInUse(storeFile, *model, &inUse)))
            return; // not knowing who still uses a secret, keep them all
        for (const QString &key : std::as_const(inUse))
            candidates.remove(key);
        int removed = 0;
        // A secret written again meanwhile carries a new mark and stays.
        if (!candidates.isEmpty())
            vault->write([&](platform::Vault::Items &items) {
                for (qsizetype i = items.size() - 1; i >= 0; --i) {
                    const platform::ItemAttributes &item = std::as_const(items)[i].attributes();
                    if (item.account && item.comment && isOwnSecret(item, service, *item.account)
                        && candidates.value(*item.account) == *item.comment) {
                        items.removeAt(i);
                        ++removed;
                    }
                }
                return qint32(removed ? platform::KeychainStatus::Success : platform::KeychainStatus::ItemNotFound);
            });
        if (removed)
            platform::log(QStringLiteral("[Kova] Keychain: removed %1 secret(s) that no stored login uses").arg(removed));
        // The files of ended writers: no secret of theirs can still be
        // written, and those left are told apart by their marks alone.
        for (const QString &name : QDir(writers).entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (isWriterName(name))
                writerState(writers, name, true);
    });
}

void KOVOrphanedSecrets::whenSettled(std::function<void()> done)
{
    sweeps().async([done = std::move(done)]() mutable { platform::MainQueue::async(std::move(done)); });
}

void KOVOrphanedSecrets::setClockOffset(std::chrono::milliseconds offset)
{
    s_clockOffsetMs = offset.count();
}

void KOVOrphanedSecrets::setMarkedProcess(pid_t process)
{
    s_markedProcess = process;
}

} // namespace kova::internal
