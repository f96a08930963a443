#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

#include "sandbox/MfaScript.h"
#include "sandbox/RecordedRequest.h"
#include "sandbox/ScriptedReply.h"

namespace kova::sandbox {

// The host app's own server: it knows the logins it issued, answers every
// action with the sandbox's fixed data and keeps what the calls change
// (new beneficiaries, delinked logins) for its lifetime.
class AppServer {
public:
    // The same bank user linked again: a new token and secret for the user ID.
    QJsonObject relinkLogin(const QString &userID);
    void setBaseUrl(const QUrl &baseUrl);
    QJsonObject issueLogin(const QString &clientUserID, const QString &bankId);
    void scriptMfa(const QString &action, QList<QJsonArray> rounds, QJsonObject expectedAnswersById,
                   bool withHlApiStep, bool withOperationID);

    ScriptedReply handle(const RecordedRequest &request);
    // The bank logos the issued logins point at.
    std::optional<ScriptedReply> asset(const RecordedRequest &request) const;

private:
    struct Login {
        QString clientUserID;
        QString userSecret;
        QString accessCode;
        QString connectionID;
        QString userID;
        QString tokenID;
        QString bankId;
        bool delinked = false;
        QJsonArray beneficiaries;     // created through the app server
        QJsonArray wireBeneficiaries; // likewise
    };

    Login &addLogin(const QString &clientUserID, const QString &bankId, const QString &connectionID,
                    const QString &accessCode);
    QJsonObject loginParameters(const Login &login) const;
    QString nextOperationID();
    QString nextReference(const QString &prefix);

    QJsonObject dispatch(const QString &action, const QJsonObject &body, bool &known);
    QJsonObject exchangeToken(const QJsonObject &body);
    QJsonObject transactions(const QJsonObject &body) const;
    QJsonObject createBeneficiary(Login &login, const QJsonObject &body, bool wire);
    QJsonObject transferToExisting(Login &login, const QJsonObject &body, bool wire);
    QJsonObject autoflowTransfer(Login &login, const QJsonObject &body, bool wire);
    QJsonObject delink(Login &login);
    // The error reply when the sender cannot pay this amount, else nothing.
    std::optional<QJsonObject> checkPayment(const QJsonObject &body) const;
    QJsonObject completedTransfer();
    static QJsonArray listFor(const Login &login, bool wire);

    QUrl m_baseUrl;
    QList<Login> m_logins;
    MfaScript m_mfa;
    quint64 m_nextLogin = 1;
    quint64 m_nextOperation = 1;
    quint64 m_nextReference = 1;
};

} // namespace kova::sandbox
