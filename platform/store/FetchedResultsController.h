#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <memory>

#include "platform/foundation/Error.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObjectContext.h"

namespace kova::platform {

class FetchedResultsController;

// Told about each batch of changes to what the controller lists: a will,
// then every section and object change, then a did.
class FetchedResultsControllerDelegate {
public:
    enum class ChangeType { Insert, Delete, Move, Update };
    struct ObjectIndex {
        int section = -1;
        int row = -1;
        bool operator==(const ObjectIndex &other) const = default;
    };

    virtual ~FetchedResultsControllerDelegate() = default;
    virtual void controllerWillChangeContent(FetchedResultsController &) {}
    virtual void controllerDidChangeSection(FetchedResultsController &, int /*sectionIndex*/, ChangeType) {}
    // `indexPath` is the old position (delete, move, update), `newIndexPath`
    // the new one (insert, move).
    virtual void controllerDidChangeObject(FetchedResultsController &, const std::shared_ptr<ManagedObject> &,
                                           ObjectIndex /*indexPath*/, ChangeType, ObjectIndex /*newIndexPath*/)
    {
    }
    virtual void controllerDidChangeContent(FetchedResultsController &) {}
};

// The results of a fetch request kept up to date with the context and
// grouped into sections by the value of a key path (one section when there
// is none). The request's first sort descriptors must order by that key
// path so that each section is one run of objects.
class FetchedResultsController {
public:
    struct Section {
        QVariant key;
        QList<std::shared_ptr<ManagedObject>> objects;
    };

    FetchedResultsController(FetchRequest request, ManagedObjectContext &context, QString sectionNameKeyPath);
    ~FetchedResultsController();
    FetchedResultsController(const FetchedResultsController &) = delete;
    FetchedResultsController &operator=(const FetchedResultsController &) = delete;

    void setDelegate(std::weak_ptr<FetchedResultsControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    const FetchRequest &fetchRequest() const { return m_request; }

    // Fetches now; a failed fetch leaves no section.
    bool performFetch(Error *error = nullptr);
    const QList<Section> &sections() const { return m_sections; }
    QList<std::shared_ptr<ManagedObject>> fetchedObjects() const;
    std::shared_ptr<ManagedObject> objectAt(int section, int row) const;
    // The position of an object, or {-1, -1}.
    FetchedResultsControllerDelegate::ObjectIndex indexPathForObject(const ManagedObject *object) const;

private:
    QList<Section> group(const QList<std::shared_ptr<ManagedObject>> &objects) const;
    void contextChanged(const QList<std::shared_ptr<ManagedObject>> &changed);

    FetchRequest m_request;
    ManagedObjectContext *m_context;
    QString m_sectionNameKeyPath;
    std::weak_ptr<FetchedResultsControllerDelegate> m_delegate;
    QList<Section> m_sections;
    ManagedObjectContext::ObserverToken m_token = 0;
    std::weak_ptr<void> m_lifetime;
    bool m_fetched = false;
};

} // namespace kova::platform
