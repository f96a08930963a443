#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"

namespace kova::platform {

class ManagedObjectContext;
class ManagedObjectModel;

// A named store with its model and its one view context. The store file is
// "<name>.sqlite" in the app's data directory unless a test points it at
// another file or keeps it in memory. A damaged file (not a database, a
// corrupt one, tables that are not ours) is kept aside under a dated name and
// a new store takes its place, under a lock across processes ("<file>.lock")
// and never over another file: of two processes that find it damaged at once,
// one moves it and both open the new store. A store that still cannot be opened (an
// unusable folder, a file from a newer model, which is left as it was for the
// app version that wrote it) is logged and replaced by an in-memory store, so
// the host always gets a usable context; fallbackReason() then says why.
class PersistentContainer {
public:
    PersistentContainer(QString name, std::shared_ptr<const ManagedObjectModel> model);
    ~PersistentContainer();
    PersistentContainer(const PersistentContainer &) = delete;
    PersistentContainer &operator=(const PersistentContainer &) = delete;

    const QString &name() const { return m_name; }
    std::shared_ptr<const ManagedObjectModel> managedObjectModel() const { return m_model; }

    static QString defaultStoreFile(const QString &name);
    QString storeFile() const { return m_storeFile; }
    void setStoreFile(const QString &path);
    // Keeps the store in memory only (nothing survives the container).
    void setInMemory();

    // Opens the store and loads its objects into the view context; called
    // again it closes the current store and opens it afresh (every object
    // fetched before is let go). Returns whether the configured store is the
    // one in use; when it is not, `error` says why and the context works on
    // an in-memory store.
    bool loadPersistentStores(Error *error = nullptr);
    bool isLoaded() const { return m_loaded; }
    // Whether the context's store lives in memory (by choice or as the
    // fallback).
    bool usesInMemoryStore() const { return m_usesMemory; }
    // Why the context works in memory although a file was asked for (or no
    // model was given): nothing saved now outlives the process. Empty while
    // the store in use is the one configured.
    const std::optional<Error> &fallbackReason() const { return m_fallbackReason; }

    // The context, the same one for the container's whole life; the stores
    // are loaded first if nobody has yet.
    ManagedObjectContext &viewContext();

private:
    QString m_name;
    std::shared_ptr<const ManagedObjectModel> m_model;
    QString m_storeFile;
    bool m_inMemory = false;
    bool m_modelMissing = false;
    bool m_usesMemory = false;
    bool m_loaded = false;
    std::optional<Error> m_fallbackReason;
    std::unique_ptr<ManagedObjectContext> m_context;
};

} // namespace kova::platform
