#include "core/internal/KOVOrphanedSecrets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <future>
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
#include "platform/store/PersistentContainer.h"
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

// Set as the process begins to end: a sweep still under way gives up at its
// next step, so that the exit waits for it only briefly and it never runs on
// while the process's statics are destroyed.
std::atomic<bool> s_ending{false};
std::atomic<pid_t> s_sweepsOwner{0};

void finishSweeps()
{
    // A child forked without exec has no sweep thread to wait for.
    if (::getpid() != s_sweepsOwner.load())
        return;
    s_ending = true;
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    sweeps().async([finished] { finished->set_value(); });
    // A disk that never answers does not hold the exit up for good.
    done.wait_for(std::chrono::seconds(2));
}

// Both before the application object goes (a host returning from main) and
// at exit (a host calling exit()), whichever comes first.
void finishSweepsBeforeExit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        s_sweepsOwner = ::getpid();
        qAddPostRoutine(finishSweeps);
        std::atexit(finishSweeps);
    });
}

// Checked character by character: the sweep runs on a worker that may still
// be at it as the process exits, and must touch no object that exit destroys.
bool isWriterName(const QString &name)
{
    return name.size() == 32 && std::all_of(name.cbegin(), name.cend(), [](QChar c) {
               return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
           });
}

// What a writer's file holds: its own device and inode. Only the writer's
// own file carries the lock the writer holds; a file put in its place (a copy
// restored, a new file under the name) holds another file's identity or
// none, and so never passes for it.
QByteArray identityOf(const struct stat &st)
{
    return QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) + '\n';
}

bool holdsItsOwnIdentity(int fd)
{
    struct stat st {};
    char text[64];
    const ssize_t got = ::fstat(fd, &st) == 0 ? ::pread(fd, text, sizeof text, 0) : -1;
    return got > 0 && QByteArray(text, got) == identityOf(st);
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
            // A sweep may take it for a file no writer holds and remove it
            // between the creation and the lock: then it is no longer at its
            // name.
            struct stat st {};
            if (::flock(made, LOCK_EX | LOCK_NB) == 0 && sameFile(made, file) && ::fstat(made, &st) == 0) {
                const QByteArray identity = identityOf(st);
                if (::pwrite(made, identity.constData(), size_t(identity.size()), 0) != identity.size()) {
                    ::unlink(file.constData());
                    ::close(made);
                    continue;
                }
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

// What a secret's mark says of its writer. Once an ended writer's file is
// removed, its secrets that stay carry kEndedWriter in its place: a writer
// named by a mark whose file is missing may be alive still (a clean-up may
// have removed the file under it), and proves nothing.
constexpr QLatin1String kEndedWriter("ended");

struct Mark {
    QString writer;
    bool valid = false;
    bool writerEnded = false;
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
    parsed.writerEnded = parsed.writer == kEndedWriter;
    parsed.valid = timeOk && pidOk && numberOk && (parsed.writerEnded || isWriterName(parsed.writer));
    return parsed;
}

QString endedWritersMark(const QString &mark)
{
    QStringList parts = mark.split(QLatin1Char(' '));
    parts[2] = kEndedWriter;
    return parts.join(QLatin1Char(' '));
}

// A password of the SDK's service, whoever wrote it (an SDK version that
// marked none among them).
bool isServiceItem(const platform::ItemAttributes &item, const QString &service)
{
    return item.itemClass == platform::ItemClass::GenericPassword && item.service == service;
}

bool isSdkSecret(const platform::ItemAttributes &item, const QString &service)
{
    return isServiceItem(item, service) && item.label == KOVOrphanedSecrets::label() && item.comment && item.account;
}

// The files in the writers' folder whose locks were free, held by this
// process from now until the object goes. `ended` are the ones that are
// their writers' own files: those writers have provably ended. The others
// (a file put in a writer's place, one whose writer died as it made it) are
// no writer's lock and prove nothing of anyone.
struct FreeWriterFiles {
    QHash<QString, int> held;
    QSet<QString> ended;

    FreeWriterFiles() = default;
    FreeWriterFiles(const FreeWriterFiles &) = delete;
    FreeWriterFiles &operator=(const FreeWriterFiles &) = delete;
    ~FreeWriterFiles()
    {
        for (const int fd : std::as_const(held))
            ::close(fd);
    }

    // Takes the lock of one writer's file if it is free; whether it is.
    bool take(const QString &folder, const QString &writer)
    {
        if (held.contains(writer))
            return true;
        if (!isWriterName(writer) || processWriter().isOwn(writer))
            return false;
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(writer));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        held.insert(writer, fd);
        if (holdsItsOwnIdentity(fd))
            ended.insert(writer);
        return true;
    }

    // Removes the held files, each only while it is still at its name; of
    // ended writers only with `endedToo` (once no secret names them).
    void remove(const QString &folder, bool endedToo)
    {
        for (auto it = held.cbegin(); it != held.cend(); ++it) {
            if (!endedToo && ended.contains(it.key()))
                continue;
            const QByteArray path = QFile::encodeName(QDir(folder).filePath(it.key()));
            if (sameFile(it.value(), path))
                ::unlink(path.constData());
        }
    }
};

// Whether the mark's writer has provably ended.
bool writerEnded(const Mark &mark, const QString &folder, FreeWriterFiles &free)
{
    return mark.valid && (mark.writerEnded || (free.take(folder, mark.writer) && free.ended.contains(mark.writer)));
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

bool storedLoginKeys(const QString &storeFile, const platform::ManagedObjectModel &model, QSet<QString> *keys)
{
    platform::Error error;
    const auto store = platform::SqliteStore::open(storeFile, model, &error);
    return store && loginKeys(*store, model, keys);
}

// What stands for the logins of a kept copy of the store that cannot be
// read: the keys of every SDK secret the vault held when that was first
// found, listed beside the copy. Its logins were stored before it was set
// aside, so their secrets were in the vault then; a secret written since
// cannot be theirs. Made once, without ever replacing a list another
// process made first.
bool keysKeptForCopy(const QString &copy, platform::Vault &vault, const QString &service, QSet<QString> *keys)
{
    const QString list = copy + QStringLiteral(".in-use");
    QFile existing(list);
    if (!existing.exists()) {
        QJsonArray listed;
        const qint32 status = vault.read([&](const platform::Vault::Items &items, const platform::Vault::AccountIndex &) {
            for (const platform::VaultItem &item : items)
                if (isSdkSecret(item.attributes(), service))
                    listed.append(*item.attributes().account);
            return qint32(platform::KeychainStatus::Success);
        });
        if (status != platform::KeychainStatus::Success)
            return false;
        const QByteArray temp = QFile::encodeName(list + QStringLiteral(".tmp-%1").arg(QRandomGenerator::system()->generate64(), 0, 16));
        const QByteArray text = QJsonDocument(listed).toJson(QJsonDocument::Compact);
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        const bool written = fd >= 0 && ::write(fd, text.constData(), size_t(text.size())) == text.size() && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        // A link never replaces: of two processes listing at once, the first one's list stands.
        const bool linked = written && (::link(temp.constData(), QFile::encodeName(list).constData()) == 0 || errno == EEXIST);
        ::unlink(temp.constData());
        if (!linked)
            return false;
    }
    if (!existing.open(QIODevice::ReadOnly))
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(existing.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return false;
    for (const QJsonValue &key : document.array())
        keys->insert(key.toString());
    return true;
}

// The keychain keys of every login stored in the file now and in every copy
// of it kept aside (whose logins someone may yet recover); false when any of
// them cannot be told.
bool keysInUse(const QString &storeFile, const platform::ManagedObjectModel &model, platform::Vault &vault,
               const QString &service, QSet<QString> *keys)
{
    if (!storedLoginKeys(storeFile, model, keys))
        return false;
    const QFileInfo info(storeFile);
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    const QDir dir = info.dir();
    for (const QString &name : dir.entryList(QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (!name.startsWith(prefix) || name.endsWith(QLatin1String("-wal")) || name.endsWith(QLatin1String("-shm"))
            || name.endsWith(QLatin1String("-journal")) || name.endsWith(QLatin1String(".key"))
            || name.endsWith(QLatin1String(".in-use")) || name.contains(QLatin1String(".in-use.tmp-")))
            continue;
        platform::Error error;
        const auto copy = platform::SqliteStore::openReadOnly(dir.filePath(name), &error);
        if (!(copy && loginKeys(*copy, model, keys)) && !keysKeptForCopy(dir.filePath(name), vault, service, keys))
            return false;
    }
    return true;
}

bool isOwnSecret(const platform::ItemAttributes &item, const QString &service, const QString &key)
{
    return isSdkSecret(item, service) && item.account == key;
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
    finishSweepsBeforeExit();
    const QString service = KOVKeychain::defaultService();
    const std::shared_ptr<platform::Vault> vault = platform::Vault::standard();
    const QString writers = writersFolder();
    sweeps().async([storeFile, model, service, vault, writers] {
        if (s_ending)
            return;
        // The locks of every writer's file that is free, held to the end: a
        // writer that has ended stays ended, and no file of a live one is
        // among them.
        FreeWriterFiles free;
        for (const QString &name : QDir(writers).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (s_ending)
                return;
            free.take(writers, name);
        }
        // First what the marks allow: a login whose writer has ended has
        // saved its record by now, if it ever will, so the file read next
        // holds it.
        QHash<QString, QString> candidates; // key -> mark
        bool endedWritersNamed = false;
        vault->read([&](const platform::Vault::Items &items, const platform::Vault::AccountIndex &) {
            for (const platform::VaultItem &item : items) {
                const platform::ItemAttributes &attributes = item.attributes();
                if (s_ending || !isSdkSecret(attributes, service))
                    continue;
                const Mark mark = parseMark(*attributes.comment);
                if (writerEnded(mark, writers, free)) {
                    candidates.insert(*attributes.account, *attributes.comment);
                    endedWritersNamed = endedWritersNamed || !mark.writerEnded;
                }
            }
            return qint32(platform::KeychainStatus::Success);
        });
        if (s_ending)
            return;
        // Not knowing who still uses a secret, none goes; the files of ended
        // writers still do, once the secrets that stay no longer name them.
        QSet<QString> inUse;
        const bool usesKnown = !candidates.isEmpty() && model && keysInUse(storeFile, *model, *vault, service, &inUse);
        if (s_ending)
            return;
        bool unused = false;
        for (auto it = candidates.cbegin(); usesKnown && !unused && it != candidates.cend(); ++it)
            unused = !inUse.contains(it.key());
        int removed = 0;
        bool namesEndedWriters = endedWritersNamed;
        if (unused || endedWritersNamed) {
            // A secret written again meanwhile carries a new mark and stays.
            const qint32 status = vault->write([&](platform::Vault::Items &items) {
                removed = 0;
                int renamed = 0;
                for (qsizetype i = items.size() - 1; i >= 0; --i) {
                    const platform::ItemAttributes &item = std::as_const(items)[i].attributes();
                    if (!isSdkSecret(item, service))
                        continue;
                    if (usesKnown && !inUse.contains(*item.account) && candidates.value(*item.account) == *item.comment) {
                        items.removeAt(i);
                        ++removed;
                        continue;
                    }
                    const Mark mark = parseMark(*item.comment);
                    if (mark.valid && free.ended.contains(mark.writer)) {
                        items[i].attributes().comment = endedWritersMark(*item.comment);
                        ++renamed;
                    }
                }
                return qint32(removed || renamed ? platform::KeychainStatus::Success : platform::KeychainStatus::ItemNotFound);
            });
            if (status != platform::KeychainStatus::Success && status != platform::KeychainStatus::ItemNotFound)
                removed = 0;
            else
                namesEndedWriters = false;
        }
        if (removed)
            platform::log(QStringLiteral("[Kova] Keychain: removed %1 secret(s) that no stored login uses").arg(removed));
        // No secret of theirs can still be written: the files of ended
        // writers go once no secret names them, and files that are no
        // writer's lock go at once.
        free.remove(writers, !namesEndedWriters);
    });
}

void KOVOrphanedSecrets::removeUnused(const QStringList &keys)
{
    const QString service = KOVKeychain::defaultService();
    const QString writers = writersFolder();
    const std::shared_ptr<platform::Vault> vault = platform::Vault::standard();
    // Which secret each key holds now, and whether this process may judge
    // it: one it wrote itself, or one whose writer has provably ended. A
    // live writer's (another process importing the same login again) may yet
    // be stored, or has been since this process loaded its logins: it stays
    // for a later sweep to judge once its writer has ended.
    FreeWriterFiles free;
    QHash<QString, std::optional<QString>> removable; // key -> mark
    bool othersToo = false;
    const qint32 found = vault->read([&](const platform::Vault::Items &items, const platform::Vault::AccountIndex &byAccount) {
        for (const QString &key : keys) {
            for (qsizetype i = byAccount.first(key); i >= 0; i = byAccount.next(i)) {
                const platform::ItemAttributes &item = items[i].attributes();
                if (!isServiceItem(item, service))
                    continue;
                // Secrets of an SDK version that marked none were removed by name, as ever.
                const Mark mark = parseMark(item.comment.value_or(QString()));
                const bool own = mark.valid && processWriter().isOwn(mark.writer);
                if (item.label == label() && mark.valid && !own && !writerEnded(mark, writers, free))
                    continue;
                removable.insert(key, item.comment);
                othersToo = othersToo || !own;
            }
        }
        return qint32(platform::KeychainStatus::Success);
    });
    if (found != platform::KeychainStatus::Success || removable.isEmpty())
        return;
    // Another process may have stored a login with one of these secrets
    // since this one loaded its logins: the file tells.
    if (othersToo) {
        const auto container = KOVAppManager::sharedInstance().persistentContainer();
        QSet<QString> stored;
        if (container->usesInMemoryStore() || !storedLoginKeys(container->storeFile(), *container->managedObjectModel(), &stored))
            return;
        for (const QString &key : std::as_const(stored))
            removable.remove(key);
    }
    const qint32 status = vault->write([&](platform::Vault::Items &items) {
        int removed = 0;
        for (qsizetype i = items.size() - 1; i >= 0; --i) {
            const platform::ItemAttributes &item = std::as_const(items)[i].attributes();
            if (isServiceItem(item, service) && item.account && removable.contains(*item.account)
                && removable.value(*item.account) == item.comment) {
                items.removeAt(i);
                ++removed;
            }
        }
        return qint32(removed ? platform::KeychainStatus::Success : platform::KeychainStatus::ItemNotFound);
    });
    if (status != platform::KeychainStatus::Success && status != platform::KeychainStatus::ItemNotFound)
        platform::log(QStringLiteral("[Kova] Keychain failed: %1").arg(KOVKeychain::securityError(status).localizedDescription()),
                      platform::logKeychain());
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
