#include "sandbox/SandboxServer.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QTcpSocket>
#include <chrono>

#include "sandbox/AppServer.h"
#include "sandbox/ConnectPage.h"
#include "sandbox/HttpConnection.h"

namespace kova::sandbox {

namespace {

qint64 steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ScriptedReply failure(int status, const QString &message)
{
    return ScriptedReply::json(QJsonObject{{"success", false}, {"msg", message}}, status);
}

} // namespace

SandboxServer::SandboxServer(QObject *parent)
    : QObject(parent), m_appServer(std::make_unique<AppServer>()),
      m_connectPage(std::make_unique<ConnectPage>(*m_appServer))
{
    connect(&m_server, &QTcpServer::newConnection, this, &SandboxServer::onNewConnection);
}

SandboxServer::~SandboxServer() = default;

bool SandboxServer::start(quint16 port)
{
    if (m_server.isListening())
        return true;
    if (!m_server.listen(QHostAddress::LocalHost, port))
        return false;
    m_appServer->setBaseUrl(baseUrl());
    return true;
}

quint16 SandboxServer::port() const
{
    return m_server.isListening() ? m_server.serverPort() : 0;
}

QUrl SandboxServer::baseUrl() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(port());
    return url;
}

QUrl SandboxServer::appServerUrl() const
{
    QUrl url = baseUrl();
    url.setPath(QString::fromLatin1(AppServerPath));
    return url;
}

QList<RecordedRequest> SandboxServer::requests() const
{
    return m_requests;
}

QList<RecordedRequest> SandboxServer::requestsForPath(const QString &path) const
{
    QList<RecordedRequest> matching;
    for (const RecordedRequest &request : m_requests) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

void SandboxServer::clearRequests()
{
    m_requests.clear();
}

void SandboxServer::scriptPath(const QString &path, ScriptedReply reply)
{
    m_pathScripts[path].append(std::move(reply));
}

void SandboxServer::scriptAction(const QString &action, ScriptedReply reply)
{
    m_actionScripts[action].append(std::move(reply));
}

void SandboxServer::setAppConfig(const QJsonObject &appConfig)
{
    m_appConfig = appConfig;
}

QJsonObject SandboxServer::issueLogin(const QString &clientUserID, const QString &bankId)
{
    return m_appServer->issueLogin(clientUserID, bankId);
}

QJsonObject SandboxServer::relinkLogin(const QString &userID)
{
    return m_appServer->relinkLogin(userID);
}

void SandboxServer::scriptMfa(const QString &action, QList<QJsonArray> rounds, QJsonObject expectedAnswersById,
                              bool withHlApiStep, bool withOperationID)
{
    m_appServer->scriptMfa(action, std::move(rounds), std::move(expectedAnswersById), withHlApiStep,
                           withOperationID);
}

bool SandboxServer::releaseHeld(int which)
{
    if (which < 0 || which >= m_held.size())
        return false;
    const auto [connection, reply] = m_held.takeAt(which);
    if (connection)
        connection->respond(reply);
    return true;
}

void SandboxServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        new HttpConnection(socket, ++m_connectionsAccepted, HttpRequestReader::Limits{},
                           [this](HttpConnection *connection, RecordedRequest request) {
                               handle(connection, std::move(request));
                           },
                           this);
    }
}

void SandboxServer::handle(HttpConnection *connection, RecordedRequest request)
{
    // Every request that arrives is recorded, a client's own resend of a
    // dropped one included: what reached the server is what a test asserts on.
    request.receivedNs = steadyNanoseconds();
    m_requests.append(request);
    ScriptedReply reply = route(m_requests.last());
    if (reply.fault == ScriptedReply::Fault::Held) {
        reply.fault = ScriptedReply::Fault::None;
        m_held.append({QPointer<HttpConnection>(connection), reply});
    } else {
        connection->respond(reply);
    }
    m_requests.last().answeredNs = steadyNanoseconds();
}

std::optional<ScriptedReply> SandboxServer::takeScripted(QHash<QString, QList<ScriptedReply>> &queues,
                                                         const QString &key)
{
    auto it = queues.find(key);
    if (it == queues.end() || it->isEmpty())
        return std::nullopt;
    ScriptedReply reply = it->takeFirst();
    if (it->isEmpty())
        queues.erase(it);
    return reply;
}

ScriptedReply SandboxServer::route(const RecordedRequest &request)
{
    const bool isAppServer = request.path == QLatin1String(AppServerPath);
    if (isAppServer && !request.action.isEmpty()) {
        if (auto scripted = takeScripted(m_actionScripts, request.action))
            return *scripted;
    }
    if (auto scripted = takeScripted(m_pathScripts, request.path))
        return *scripted;

    const bool isConfigs = request.path == QLatin1String(ConfigsPath);
    const bool isLogs = request.path == QLatin1String(LogsPath);
    if (isConfigs || isLogs || isAppServer) {
        if (request.method != QLatin1String("POST"))
            return failure(405, QStringLiteral("Only POST is served here"));
        if (isConfigs)
            return configsReply(request);
        if (isLogs)
            return ScriptedReply::json(QJsonObject{{"success", true}});
        return m_appServer->handle(request);
    }
    if (request.path == QLatin1String(IssueLoginPath) && request.method == QLatin1String("POST")) {
        const QString clientUserID = request.json.value(QStringLiteral("clientUserID")).toString();
        if (clientUserID.isEmpty())
            return failure(400, QStringLiteral("clientUserID is required"));
        const QString bankId = request.json.value(QStringLiteral("bankId")).toString(QStringLiteral("SANDBOXBANK"));
        return ScriptedReply::json(issueLogin(clientUserID, bankId));
    }
    if (request.path == QLatin1String(ScriptMfaPath) && request.method == QLatin1String("POST")) {
        const QString action = request.json.value(QStringLiteral("action")).toString();
        const QJsonArray rounds = request.json.value(QStringLiteral("rounds")).toArray();
        QList<QJsonArray> roundList;
        for (const QJsonValue &round : rounds) {
            if (!round.isArray() || round.toArray().isEmpty())
                return failure(400, QStringLiteral("every round is a non-empty list of prompts"));
            roundList.append(round.toArray());
        }
        if (action.isEmpty() || roundList.isEmpty())
            return failure(400, QStringLiteral("action and rounds are required"));
        scriptMfa(action, roundList, request.json.value(QStringLiteral("answers")).toObject(),
                  request.json.value(QStringLiteral("hlAPIStep")).toBool(true),
                  request.json.value(QStringLiteral("operationID")).toBool(true));
        return ScriptedReply::json(QJsonObject{{"success", true}});
    }
    if (auto asset = m_appServer->asset(request))
        return *asset;
    if (auto page = m_connectPage->handle(request))
        return *page;
    return failure(404, QStringLiteral("Not found: %1").arg(request.path));
}

QJsonObject SandboxServer::defaultAppConfig() const
{
    return QJsonObject{
        {"serverURL", appServerUrl().toString()},
        {"countries", QJsonArray{"AE", "SA"}},
        {"colorScheme", "#3366FF"},
        {"minTransferAmount", 1},
        {"maxTransferAmount", 5000},
        {"isBenefsSet", false},
    };
}

ScriptedReply SandboxServer::configsReply(const RecordedRequest &request) const
{
    if (request.json.isEmpty() && QJsonDocument::fromJson(request.body).isNull())
        return failure(400, QStringLiteral("The body is not a JSON object"));
    const QJsonValue appKey = request.json.value(QStringLiteral("appKey"));
    if (!appKey.isString() || appKey.toString().trimmed().isEmpty())
        return ScriptedReply::json(QJsonObject{{"success", false}, {"msg", "No app found for this appKey"}});
    return ScriptedReply::json(QJsonObject{
        {"success", true},
        {"appConfig", m_appConfig.value_or(defaultAppConfig())},
    });
}

} // namespace kova::sandbox
