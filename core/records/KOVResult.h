#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <memory>

#include "core/records/KOVRecord.h"

namespace kova {

// Whether a reply carries "success" at all, whatever its value: the pipeline
// has already turned a failed reply into an error, so a record made from a
// reply that went through must not read as a failure.
bool replyCarriesSuccess(const QJsonObject &reply);

// The outcome of a beneficiary creation, a transfer or a delink, made from
// the whole reply.
class KOVResult : public KOVRecord {
public:
    static std::shared_ptr<KOVResult> initWithDictionary(const QJsonValue &dictionary);

    const QString &operationID() const { return m_operationID; }
    void setOperationID(const QString &operationID) { m_operationID = operationID; }
    const QString &status() const { return m_status; }
    void setStatus(const QString &status) { m_status = status; }
    bool success() const { return m_success; }
    void setSuccess(bool success) { m_success = success; }
    // The reply's "msg".
    const QString &message() const { return m_message; }
    void setMessage(const QString &message) { m_message = message; }
    // The reply's "reference".
    const QString &referenceNumber() const { return m_referenceNumber; }
    void setReferenceNumber(const QString &referenceNumber) { m_referenceNumber = referenceNumber; }

private:
    QString m_operationID;
    QString m_status;
    bool m_success = false;
    QString m_message;
    QString m_referenceNumber;
};

} // namespace kova
