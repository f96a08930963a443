#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <functional>

namespace kova::sandbox {

// The bank's demands for more input: scripted rounds of prompts for the next
// call of an action, and the check of the answers sent back with the
// round's "operationID" and "hlAPIStep".
class MfaScript {
public:
    struct Outcome {
        enum class Kind {
            NotScripted, // no MFA involved: answer the call as usual
            Reply,       // answer with `reply` (prompts, or a rejected answer)
            Proceed,     // every round answered: answer the call as usual under `operationID`
        } kind = Kind::NotScripted;
        QJsonObject reply;
        QString operationID;
    };

    // The error type of a rejected answer. Deliberately not the one for bad
    // credentials: a mistyped code must not cost the user the stored login.
    static constexpr const char *RejectedType = "INVALID_USER_INPUT";

    void add(const QString &action, QList<QJsonArray> rounds, QJsonObject expectedAnswersById, bool withHlApiStep,
             bool withOperationID);

    // `newOperationID` makes the identifier of a session that starts now.
    Outcome handle(const QString &action, const QJsonObject &body, const std::function<QString()> &newOperationID);

private:
    struct Session {
        QString action;
        QList<QJsonArray> rounds;
        QJsonObject expected;
        bool withStep = true;
        bool withOperationID = true;
        qsizetype round = 0; // the round whose prompts went out last
        QString operationID;
    };

    QJsonObject prompts(const Session &session) const;
    QString stepOf(const Session &session) const;
    // Empty when every prompt of the current round is answered as expected.
    QString checkAnswers(const Session &session, const QJsonObject &body) const;

    QList<Session> m_pending;              // scripted, waiting for their call
    QHash<QString, Session> m_active;      // prompted, by operation ID
};

} // namespace kova::sandbox
