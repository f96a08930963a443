#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include "platform/store/SortDescriptor.h"

namespace kova::platform {

// What to fetch: the objects of an entity (its sub-entities included) that
// satisfy every equality term, in the order of the sort descriptors, at most
// fetchLimit of them (0 = no limit). With no term every object matches.
class FetchRequest {
public:
    // `keyPath == value`; the key path may go through to-one relationships
    // ("connection.userID"). A null value matches an empty attribute.
    struct Term {
        QString keyPath;
        QVariant value;

        bool operator==(const Term &other) const
        {
            return keyPath == other.keyPath && value == other.value && value.metaType() == other.value.metaType();
        }
    };

    FetchRequest() = default;
    explicit FetchRequest(QString entityName) : m_entityName(std::move(entityName)) {}

    const QString &entityName() const { return m_entityName; }

    const QList<Term> &predicate() const { return m_terms; }
    void setPredicate(QList<Term> terms) { m_terms = std::move(terms); }
    // ANDs one more term onto the predicate.
    void addTerm(const QString &keyPath, const QVariant &value) { m_terms.append(Term{keyPath, value}); }

    const QList<SortDescriptor> &sortDescriptors() const { return m_sortDescriptors; }
    void setSortDescriptors(QList<SortDescriptor> descriptors) { m_sortDescriptors = std::move(descriptors); }

    qsizetype fetchLimit() const { return m_fetchLimit; }
    void setFetchLimit(qsizetype limit) { m_fetchLimit = limit < 0 ? 0 : limit; }

private:
    QString m_entityName;
    QList<Term> m_terms;
    QList<SortDescriptor> m_sortDescriptors;
    qsizetype m_fetchLimit = 0;
};

} // namespace kova::platform
