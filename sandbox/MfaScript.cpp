#include "sandbox/MfaScript.h"

namespace kova::sandbox {

namespace {

// Prompts may number their "index" as text or as a number; the SDK echoes it
// back in its own reading, so both spellings of one value are the same index.
QString indexText(const QJsonValue &value)
{
    if (value.isDouble())
        return QString::number(value.toDouble());
    if (value.isString()) {
        bool ok = false;
        const double number = value.toString().toDouble(&ok);
        return ok ? QString::number(number) : value.toString();
    }
    return {};
}

QJsonObject rejection(const QString &message, const QString &operationID)
{
    QJsonObject reply{{"success", false}, {"type", MfaScript::RejectedType}, {"msg", message}};
    if (!operationID.isEmpty())
        reply.insert("operationID", operationID);
    return reply;
}

} // namespace

void MfaScript::add(const QString &action, QList<QJsonArray> rounds, QJsonObject expectedAnswersById,
                    bool withHlApiStep, bool withOperationID)
{
    if (rounds.isEmpty())
        return;
    Session session;
    session.action = action;
    session.rounds = std::move(rounds);
    session.expected = std::move(expectedAnswersById);
    session.withStep = withHlApiStep;
    session.withOperationID = withOperationID;
    m_pending.append(std::move(session));
}

QString MfaScript::stepOf(const Session &session) const
{
    return QStringLiteral("mfa-step-%1").arg(session.round + 1);
}

QJsonObject MfaScript::prompts(const Session &session) const
{
    QJsonObject reply{
        {"status", "user_input_required"},
        {"msg", "The bank needs more information"},
        {"userInputs", session.rounds.at(session.round)},
    };
    if (session.withOperationID)
        reply.insert("operationID", session.operationID);
    if (session.withStep)
        reply.insert("hlAPIStep", stepOf(session));
    return reply;
}

QString MfaScript::checkAnswers(const Session &session, const QJsonObject &body) const
{
    const QJsonValue step = body.value("hlAPIStep");
    if (session.withStep ? step != QJsonValue(stepOf(session)) : !(step.isNull() || step.isUndefined()))
        return QStringLiteral("The hlAPIStep does not match the pending step");

    const QJsonArray asked = session.rounds.at(session.round);
    const QJsonValue given = body.value("userInputs");
    if (!given.isArray() || given.toArray().size() != asked.size())
        return QStringLiteral("Every prompt needs exactly one answer");
    const QJsonArray answers = given.toArray();
    for (qsizetype i = 0; i < asked.size(); ++i) {
        const QJsonObject prompt = asked.at(i).toObject();
        const QJsonObject answer = answers.at(i).toObject();
        const QString id = prompt.value("id").toString();
        if (answer.value("id").toString() != id || indexText(answer.value("index")) != indexText(prompt.value("index")))
            return QStringLiteral("The answers are not in the order of the prompts");
        const QJsonValue text = answer.value("answer");
        if (!text.isString() || text.toString().trimmed().isEmpty())
            return QStringLiteral("The answer for %1 is missing").arg(id);
        const QJsonValue wanted = session.expected.value(id);
        if (wanted.isString() && text.toString() != wanted.toString())
            return QStringLiteral("The answer for %1 is incorrect").arg(id);
    }
    return {};
}

MfaScript::Outcome MfaScript::handle(const QString &action, const QJsonObject &body,
                                     const std::function<QString()> &newOperationID)
{
    const QString resumed = body.value("operationID").toString();
    if (!resumed.isEmpty()) {
        auto it = m_active.find(resumed);
        if (it != m_active.end() && it->action == action) {
            Session session = *it;
            const QString problem = checkAnswers(session, body);
            if (!problem.isEmpty()) {
                // A rejected answer ends the operation, as a bank would.
                m_active.erase(it);
                return {Outcome::Kind::Reply, rejection(problem, session.operationID), session.operationID};
            }
            if (session.round + 1 < session.rounds.size()) {
                ++it->round;
                return {Outcome::Kind::Reply, prompts(*it), session.operationID};
            }
            m_active.erase(it);
            return {Outcome::Kind::Proceed, {}, session.operationID};
        }
    }

    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        Session &session = m_pending[i];
        if (session.action != action)
            continue;
        if (session.withOperationID) {
            Session started = m_pending.takeAt(i);
            started.operationID = newOperationID();
            const QJsonObject reply = prompts(started);
            const QString id = started.operationID;
            m_active.insert(id, std::move(started));
            return {Outcome::Kind::Reply, reply, id};
        }
        // Without an operation ID the answers cannot be tied to the prompts,
        // so each call of the action simply takes the next round.
        const QJsonObject reply = prompts(session);
        if (++session.round >= session.rounds.size())
            m_pending.removeAt(i);
        return {Outcome::Kind::Reply, reply, {}};
    }
    return {};
}

} // namespace kova::sandbox
