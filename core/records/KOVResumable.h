#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <limits>
#include <memory>
#include <optional>

#include "core/api/MFAParameter.h"

namespace kova {

// A call the bank interrupted to ask the user something: what the reply said,
// and the prompts (later the answers) to send back with the same call.
class KOVResumable {
public:
    // The reply's "status", by its text.
    enum Status : quint64 {
        StatusDone = 0,
        StatusInitialized = 1,
        StatusUserInputRequired = 2,
        StatusError = 3,
        StatusUnknown = std::numeric_limits<quint64>::max(),
    };

    static std::shared_ptr<KOVResumable> initWithDictionary(const QJsonValue &reply);

    // The keys added to the resent body: "operationID", "userInputs" (the
    // answers, when there are prompts) and "hlAPIStep" (null when missing).
    // Nothing without an operation ID: the call is then simply repeated.
    std::optional<QJsonObject> dictionary() const;

    const QString &operationID() const { return m_operationID; }
    void setOperationID(const QString &operationID) { m_operationID = operationID; }
    quint64 status() const { return m_status; }
    void setStatus(quint64 status) { m_status = status; }
    bool success() const { return m_success; }
    void setSuccess(bool success) { m_success = success; }
    const QString &hlAPIStep() const { return m_hlAPIStep; }
    void setHlAPIStep(const QString &hlAPIStep) { m_hlAPIStep = hlAPIStep; }
    // Unset when the reply had no "userInputs" list.
    const std::optional<QList<std::shared_ptr<MFAParameter>>> &userInputs() const { return m_userInputs; }
    void setUserInputs(std::optional<QList<std::shared_ptr<MFAParameter>>> userInputs) { m_userInputs = std::move(userInputs); }

private:
    QString m_operationID;
    quint64 m_status = StatusDone;
    bool m_success = false;
    QString m_hlAPIStep;
    std::optional<QList<std::shared_ptr<MFAParameter>>> m_userInputs;
};

} // namespace kova
