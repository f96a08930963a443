#include "platform/store/FetchedResultsController.h"

#include <QHash>
#include <QSet>

namespace kova::platform {
namespace {

using ChangeType = FetchedResultsControllerDelegate::ChangeType;
using ObjectIndex = FetchedResultsControllerDelegate::ObjectIndex;

QVariant valueAtKeyPath(const std::shared_ptr<ManagedObject> &object, const QString &keyPath)
{
    const QStringList parts = keyPath.split(QLatin1Char('.'));
    std::shared_ptr<ManagedObject> current = object;
    for (qsizetype i = 0; current && i + 1 < parts.size(); ++i)
        current = current->toOne(parts.at(i));
    return current ? current->value(parts.last()) : QVariant();
}

bool sameKey(const QVariant &lhs, const QVariant &rhs)
{
    if (lhs.isNull() || rhs.isNull())
        return lhs.isNull() == rhs.isNull();
    return lhs == rhs;
}

int sectionIndexOf(const QList<FetchedResultsController::Section> &sections, const QVariant &key)
{
    for (qsizetype i = 0; i < sections.size(); ++i)
        if (sameKey(sections.at(i).key, key))
            return int(i);
    return -1;
}

QHash<const ManagedObject *, ObjectIndex> positions(const QList<FetchedResultsController::Section> &sections)
{
    QHash<const ManagedObject *, ObjectIndex> result;
    for (qsizetype s = 0; s < sections.size(); ++s)
        for (qsizetype r = 0; r < sections.at(s).objects.size(); ++r)
            result.insert(sections.at(s).objects.at(r).get(), ObjectIndex{int(s), int(r)});
    return result;
}

} // namespace

FetchedResultsController::FetchedResultsController(FetchRequest request, ManagedObjectContext &context,
                                                   QString sectionNameKeyPath)
    : m_request(std::move(request)), m_context(&context), m_sectionNameKeyPath(std::move(sectionNameKeyPath))
{
}

FetchedResultsController::~FetchedResultsController()
{
    if (m_token && !m_lifetime.expired())
        m_context->removeChangeObserver(m_token);
}

bool FetchedResultsController::performFetch(Error *error)
{
    if (!m_token) {
        m_lifetime = m_context->lifetime();
        // The observer is removed with the controller, so `this` stays valid.
        m_token = m_context->addChangeObserver([this](const QList<std::shared_ptr<ManagedObject>> &changed) {
            contextChanged(changed);
        });
    }
    Error fetchError;
    const QList<std::shared_ptr<ManagedObject>> objects = m_context->executeFetchRequest(m_request, &fetchError);
    const bool ok = fetchError.domain.isEmpty() && fetchError.code == 0;
    if (!ok && error)
        *error = fetchError;
    m_sections = ok ? group(objects) : QList<Section>();
    m_fetched = true;
    return ok;
}

QList<FetchedResultsController::Section>
FetchedResultsController::group(const QList<std::shared_ptr<ManagedObject>> &objects) const
{
    QList<Section> sections;
    for (const auto &object : objects) {
        const QVariant key = m_sectionNameKeyPath.isEmpty() ? QVariant() : valueAtKeyPath(object, m_sectionNameKeyPath);
        if (sections.isEmpty() || !sameKey(sections.last().key, key))
            sections.append(Section{key, {}});
        sections.last().objects.append(object);
    }
    return sections;
}

QList<std::shared_ptr<ManagedObject>> FetchedResultsController::fetchedObjects() const
{
    QList<std::shared_ptr<ManagedObject>> result;
    for (const Section &section : m_sections)
        result += section.objects;
    return result;
}

std::shared_ptr<ManagedObject> FetchedResultsController::objectAt(int section, int row) const
{
    if (section < 0 || section >= m_sections.size() || row < 0 || row >= m_sections.at(section).objects.size())
        return nullptr;
    return m_sections.at(section).objects.at(row);
}

ObjectIndex FetchedResultsController::indexPathForObject(const ManagedObject *object) const
{
    return positions(m_sections).value(object, ObjectIndex{});
}

void FetchedResultsController::contextChanged(const QList<std::shared_ptr<ManagedObject>> &changed)
{
    if (!m_fetched)
        return;
    Error fetchError;
    const QList<std::shared_ptr<ManagedObject>> objects = m_context->executeFetchRequest(m_request, &fetchError);
    QList<Section> now = fetchError.code == 0 && fetchError.domain.isEmpty() ? group(objects) : QList<Section>();
    const QList<Section> before = std::exchange(m_sections, now);

    const QHash<const ManagedObject *, ObjectIndex> oldPositions = positions(before);
    const QHash<const ManagedObject *, ObjectIndex> newPositions = positions(now);
    QSet<const ManagedObject *> touched;
    for (const auto &object : changed)
        touched.insert(object.get());

    struct SectionChange {
        int index;
        ChangeType type;
    };
    struct ObjectChange {
        std::shared_ptr<ManagedObject> object;
        ObjectIndex from;
        ChangeType type;
        ObjectIndex to;
    };
    QList<SectionChange> sectionChanges;
    QList<ObjectChange> objectChanges;
    for (qsizetype s = 0; s < before.size(); ++s)
        if (sectionIndexOf(now, before.at(s).key) < 0)
            sectionChanges.append({int(s), ChangeType::Delete});
    for (qsizetype s = 0; s < now.size(); ++s)
        if (sectionIndexOf(before, now.at(s).key) < 0)
            sectionChanges.append({int(s), ChangeType::Insert});

    for (const Section &section : before) {
        for (const auto &object : section.objects) {
            if (!newPositions.contains(object.get()))
                objectChanges.append({object, oldPositions.value(object.get()), ChangeType::Delete, {}});
        }
    }
    for (const Section &section : now) {
        for (const auto &object : section.objects) {
            const ObjectIndex to = newPositions.value(object.get());
            if (!oldPositions.contains(object.get())) {
                objectChanges.append({object, {}, ChangeType::Insert, to});
                continue;
            }
            // Only a changed object can have moved: the sort keys of the
            // others are as they were, so their order among themselves is too.
            if (!touched.contains(object.get()))
                continue;
            const ObjectIndex from = oldPositions.value(object.get());
            const bool sectionMoved = !sameKey(before.at(from.section).key, now.at(to.section).key);
            // Its rank among the objects that were listed before and after,
            // so that rows shifted by inserts and deletes are not moves.
            auto rank = [](const Section &section, int row, const QHash<const ManagedObject *, ObjectIndex> &other) {
                int result = 0;
                for (int r = 0; r < row; ++r)
                    result += other.contains(section.objects.at(r).get());
                return result;
            };
            const bool orderChanged = rank(before.at(from.section), from.row, newPositions) !=
                                      rank(now.at(to.section), to.row, oldPositions);
            objectChanges.append({object, from, sectionMoved || orderChanged ? ChangeType::Move : ChangeType::Update, to});
        }
    }
    if (sectionChanges.isEmpty() && objectChanges.isEmpty())
        return;
    const std::shared_ptr<FetchedResultsControllerDelegate> delegate = m_delegate.lock();
    if (!delegate)
        return;
    delegate->controllerWillChangeContent(*this);
    for (const SectionChange &change : sectionChanges)
        delegate->controllerDidChangeSection(*this, change.index, change.type);
    for (const ObjectChange &change : objectChanges)
        delegate->controllerDidChangeObject(*this, change.object, change.from, change.type, change.to);
    delegate->controllerDidChangeContent(*this);
}

} // namespace kova::platform
