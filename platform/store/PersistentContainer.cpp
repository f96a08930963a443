#include "platform/store/PersistentContainer.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/SqliteStore.h"
#include "platform/store/StoreErrors.h"

namespace kova::platform {

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
    Error failure;
    if (!m_inMemory && !m_modelMissing) {
        if (auto store = SqliteStore::open(m_storeFile, *m_model, &failure)) {
            if (m_context->reload(std::move(store), &failure)) {
                m_usesMemory = false;
                return true;
            }
        }
        log(QStringLiteral("The store \"%1\" cannot be opened (%2); an in-memory store takes its place.")
                .arg(m_storeFile, failure.localizedDescription()));
        if (error)
            *error = failure;
    }
    Error memoryFailure;
    auto store = SqliteStore::open(QString(), *m_model, &memoryFailure);
    if (!store) {
        // Only an exhausted process gets here: the context still answers,
        // and each save reports that there is nowhere to write.
        log(QStringLiteral("No in-memory store can be made: %1").arg(memoryFailure.localizedDescription()));
        if (error && m_inMemory)
            *error = memoryFailure;
    }
    m_context->reload(std::move(store), nullptr);
    m_usesMemory = true;
    if (m_modelMissing && error)
        *error = Error::withDescription(NSCocoaErrorDomain, StoreErrors::PersistentStoreOpen,
                                        QStringLiteral("The container %1 has no data model.").arg(m_name));
    return m_inMemory && !m_modelMissing;
}

ManagedObjectContext &PersistentContainer::viewContext()
{
    if (!m_loaded)
        loadPersistentStores(nullptr);
    return *m_context;
}

} // namespace kova::platform
