#include "platform/store/PersistentContainer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/foundation/DamagedFile.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/SqliteStore.h"
#include "platform/store/StoreErrors.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kova::platform {

namespace {

// A file SQLite finds is no database, or a damaged one, or one whose tables
// are not ours: nothing in it can be read, and nothing saved would ever be
// read back while it stays in place.
bool isDamaged(const Error &failure)
{
    const int code = failure.userInfo.value(StoreErrors::SQLiteErrorKey).toInt() & 0xff;
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT || failure.code == StoreErrors::FileReadCorruptFile;
}

// How long a launch waits for another process that is setting the store
// file aside or opening it: both take moments, so a peer that keeps the lock
// longer is stopped or stuck, and must not hang this one.
constexpr std::chrono::milliseconds kLockWait{2000};

// The lock across processes that keeps setting a damaged store file aside
// apart from opening it: held shared while the file is opened, exclusive
// while it is moved, on "<store>.lock" beside it (flock, which holds across
// pid namespaces and dies with its holder).
class StoreFileLock {
public:
    StoreFileLock(const QString &storeFile, int operation)
    {
        m_fd = ::open(QFile::encodeName(storeFile + QStringLiteral(".lock")).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (m_fd < 0)
            return;
        ::fchmod(m_fd, 0600); // whatever the umask: a later launch must open it again
        const QDeadlineTimer deadline(kLockWait);
        auto pause = std::chrono::microseconds(200);
        while (::flock(m_fd, operation | LOCK_NB) != 0) {
            if ((errno != EINTR && errno != EWOULDBLOCK) || deadline.hasExpired())
                return;
            std::this_thread::sleep_for(pause);
            pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(10));
        }
        m_held = true;
    }
    ~StoreFileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // lets go of the lock too
    }
    StoreFileLock(const StoreFileLock &) = delete;
    StoreFileLock &operator=(const StoreFileLock &) = delete;
    bool held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

enum class SetAside { Moved, AlreadyGone, Failed };

// Moves the damaged file (and its write-ahead log) aside under a dated name,
// never deleting it and never over another file; only the very file found
// damaged, should another process have set it aside and put a fresh store in
// its place meanwhile (the caller then opens that one).
SetAside setAside(const QString &path, const struct stat &damaged, QString *aside)
{
    const StoreFileLock lock(path, LOCK_EX);
    if (!lock.held())
        return SetAside::Failed;
    const QByteArray native = QFile::encodeName(path);
    struct stat now {};
    if (::lstat(native.constData(), &now) != 0 || now.st_dev != damaged.st_dev || now.st_ino != damaged.st_ino)
        return SetAside::AlreadyGone;
    *aside = moveAside(path);
    if (aside->isEmpty())
        return SetAside::Failed;
    renameWithoutReplacing(path + QStringLiteral("-wal"), *aside + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    removeOldDamagedCopies(path);
    return SetAside::Moved;
}

} // namespace

PersistentContainer::PersistentContainer(QString name, std::shared_ptr<const ManagedObjectModel> model)
    : m_name(std::move(name)), m_model(std::move(model)), m_storeFile(defaultStoreFile(m_name))
{
    if (!m_model) {
        // Without a model nothing can be stored; an empty one keeps every
        // call safe and the file untouched.
        const QJsonObject empty{{QStringLiteral("name"), m_name}, {QStringLiteral("version"), 1}, {QStringLiteral("entities"), QJsonArray()}};
        m_model = ManagedObjectModel::fromJson(QJsonDocument(empty).toJson(QJsonDocument::Compact));
        m_modelMissing = true;
    }
    m_context.reset(new ManagedObjectContext(m_model));
}

PersistentContainer::~PersistentContainer() = default;

QString PersistentContainer::defaultStoreFile(const QString &name)
{
    return QDir(ProcessInfo::dataDirectory()).filePath(name + QStringLiteral(".sqlite"));
}

void PersistentContainer::setStoreFile(const QString &path)
{
    m_storeFile = path;
    m_inMemory = false;
}

void PersistentContainer::setInMemory()
{
    m_inMemory = true;
}

bool PersistentContainer::loadPersistentStores(Error *error)
{
    m_loaded = true;
    m_fallbackReason.reset();
    Error failure;
    if (!m_inMemory && !m_modelMissing) {
        struct stat found {};
        const bool existed = ::lstat(QFile::encodeName(m_storeFile).constData(), &found) == 0;
        const auto openFile = [this, &failure] {
            std::unique_ptr<SqliteStore> store;
            {
                // Never by name while another process is setting the file
                // aside: between its moves of the file and of its log, a new
                // file would meet the old log. Once open, the files are read
                // through their descriptors, whatever their names become.
                const StoreFileLock opening(m_storeFile, LOCK_SH);
                store = SqliteStore::open(m_storeFile, *m_model, &failure);
            }
            m_usesMemory = !(store && m_context->reload(std::move(store), &failure));
            return !m_usesMemory;
        };
        if (openFile())
            return true;
        // A damaged file is kept aside and a new store takes its place: in
        // memory instead, every login linked from now on would be gone at the
        // next launch. A file from a newer model is never moved. When another
        // process set it aside first, the store now in its place is the one
        // to open.
        if (existed && isDamaged(failure)) {
            QString aside;
            const SetAside outcome = setAside(m_storeFile, found, &aside);
            if (outcome == SetAside::Moved)
                log(QStringLiteral("The store \"%1\" is damaged (%2); it is kept as \"%3\" and a new store takes its place.")
                        .arg(m_storeFile, failure.localizedDescription(), aside), logStore());
            if (outcome != SetAside::Failed && openFile())
                return true;
        }
        log(QStringLiteral("The store \"%1\" cannot be opened (%2); an in-memory store takes its place.")
                .arg(m_storeFile, failure.localizedDescription()), logStore());
        if (error)
            *error = failure;
        m_fallbackReason = failure;
    }
    Error memoryFailure;
    auto store = SqliteStore::open(QString(), *m_model, &memoryFailure);
    if (!store) {
        // Only an exhausted process gets here: the context still answers,
        // and each save reports that there is nowhere to write.
        log(QStringLiteral("No in-memory store can be made: %1").arg(memoryFailure.localizedDescription()), logStore());
        if (error && m_inMemory)
            *error = memoryFailure;
    }
    m_context->reload(std::move(store), nullptr);
    m_usesMemory = true;
    if (m_modelMissing) {
        m_fallbackReason = Error::withDescription(NSCocoaErrorDomain, StoreErrors::PersistentStoreOpen,
                                                  QStringLiteral("The container %1 has no data model.").arg(m_name));
        if (error)
            *error = *m_fallbackReason;
    }
    return m_inMemory && !m_modelMissing;
}

ManagedObjectContext &PersistentContainer::viewContext()
{
    if (!m_loaded)
        loadPersistentStores(nullptr);
    return *m_context;
}

} // namespace kova::platform
