#pragma once

#include <QDateTime>
#include <QString>

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"

namespace kova {

// The parent entity of every stored record: when it was first and last
// stamped. No record is ever made as a plain KOVSignature.
class KOVSignature : public platform::ManagedObject {
public:
    static QString entityName() { return QStringLiteral("KOVSignature"); }
    static platform::FetchRequest fetchRequest() { return platform::FetchRequest(entityName()); }

    QDateTime createdAt() const;
    void setCreatedAt(const QDateTime &createdAt);
    QDateTime modifiedAt() const;
    void setModifiedAt(const QDateTime &modifiedAt);

    // Takes the time once: sets createdAt when it is empty, and modifiedAt.
    void sign();
    // The same with a time the caller took, so that records stamped together
    // carry one moment.
    void sign(const QDateTime &now);
};

} // namespace kova
