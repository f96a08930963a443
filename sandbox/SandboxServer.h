#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QUrl>
#include <memory>
#include <optional>

#include "sandbox/RecordedRequest.h"
#include "sandbox/ScriptedReply.h"

namespace kova::sandbox {

class AppServer;
class ConnectPage;
class HttpConnection;

// Every party outside the SDK on one loopback port: the service's configs and
// logs endpoints and the host app's own server. It runs on the event loop of
// the thread that made it and never blocks it.
class SandboxServer : public QObject {
    Q_OBJECT
public:
    static constexpr const char *ConfigsPath = "/v2/sdk/apps/configs/get";
    static constexpr const char *LogsPath = "/v2/sdk/apps/logs/add";
    static constexpr const char *AppServerPath = "/app-server";
    // Issues a login to a process that cannot call issueLogin() itself (the
    // demo host): POST {"clientUserID", "bankId"?} answers the parameters.
    static constexpr const char *IssueLoginPath = "/sandbox/logins";
    // Scripts MFA rounds from another process: POST {"action", "rounds": [[prompt, ...], ...],
    // "answers": {id: answer}, "hlAPIStep"?, "operationID"?} as scriptMfa() takes them.
    static constexpr const char *ScriptMfaPath = "/sandbox/mfa";
    // The hosted connect page lives under "/v3/connection" (ConnectPage).

    explicit SandboxServer(QObject *parent = nullptr);
    ~SandboxServer() override;

    // Listens on 127.0.0.1; port 0 picks a free one.
    bool start(quint16 port = 0);
    quint16 port() const;
    QUrl baseUrl() const;
    QUrl appServerUrl() const;

    // Every request that was read completely, in arrival order.
    QList<RecordedRequest> requests() const;
    QList<RecordedRequest> requestsForPath(const QString &path) const;
    void clearRequests();

    // Queued replies, each taken first-in-first-out by the next matching
    // request before any default behaviour. For the app server a reply
    // scripted for the request's action is taken before one scripted for its
    // path.
    void scriptPath(const QString &path, ScriptedReply reply);
    void scriptAction(const QString &action, ScriptedReply reply);

    // Answers a reply held (ScriptedReply::Fault::Held), the oldest unless
    // told which (0 = oldest); false when there is no such one.
    bool releaseHeld(int which = 0);
    int heldCount() const { return int(m_held.size()); }

    // Replaces the "appConfig" object of the configs reply, exactly as given.
    void setAppConfig(const QJsonObject &appConfig);

    // Makes a login the app server knows and returns its connection
    // parameters: "clientUserID", "userSecret", "accessCode", "connectionID",
    // "userID", "tokenID", "bankId", "fullName", "name", "fullLogoPng",
    // "halfLogoPng", "miniLogoPng", "color" {"primaryColor", "secondaryColor"}.
    QJsonObject issueLogin(const QString &clientUserID, const QString &bankId = QStringLiteral("SANDBOXBANK"));
    // The same bank user linked again: new token ID and secret, same user ID.
    QJsonObject relinkLogin(const QString &userID);

    // MFA for the next call of an action: each round is a list of prompts
    // {"id", "query", "index"}, sent as {"status": "user_input_required",
    // "msg", "userInputs", "operationID", "hlAPIStep": "mfa-step-<round>"}.
    // The call comes back with that "operationID", "hlAPIStep" and one
    // {"id", "answer", "index"} per prompt in prompt order; every answer must
    // equal the one given for its id (a prompt without one takes any non-blank
    // answer). A wrong answer ends the operation with type
    // "INVALID_USER_INPUT"; the last good round is answered as usual under the
    // same operation ID. Without an operation ID the answers cannot be tied to
    // the prompts: each repeat of the call takes the next round instead.
    void scriptMfa(const QString &action, QList<QJsonArray> rounds, QJsonObject expectedAnswersById,
                   bool withHlApiStep = true, bool withOperationID = true);

private:
    void onNewConnection();
    void handle(HttpConnection *connection, RecordedRequest request);
    ScriptedReply route(const RecordedRequest &request);
    std::optional<ScriptedReply> takeScripted(QHash<QString, QList<ScriptedReply>> &queues, const QString &key);
    ScriptedReply configsReply(const RecordedRequest &request) const;
    QJsonObject defaultAppConfig() const;

    int m_connectionsAccepted = 0;
    QTcpServer m_server;
    std::unique_ptr<AppServer> m_appServer;
    std::unique_ptr<ConnectPage> m_connectPage;
    QList<RecordedRequest> m_requests;
    QHash<QString, QList<ScriptedReply>> m_pathScripts;
    QHash<QString, QList<ScriptedReply>> m_actionScripts;
    std::optional<QJsonObject> m_appConfig;
    QList<QPair<QPointer<HttpConnection>, ScriptedReply>> m_held;
};

} // namespace kova::sandbox
