#include <QJsonDocument>
#include <QProcess>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include "SandboxClient.h"
#include "sandbox/SandboxServer.h"
#include "tests/support/TestSupport.h"

using namespace kova::sandbox;
using namespace kova::sandbox::test;
using kova::test::waitUntil;

namespace {

class SandboxServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }

    QUrl url(const QString &path) const
    {
        QUrl u = server.baseUrl();
        u.setPath(path);
        return u;
    }
    QUrl configsUrl() const { return url(SandboxServer::ConfigsPath); }

    SandboxServer server;
    SandboxClient client;
};

const QJsonObject kConfigsBody{{"appKey", "app-key-1"}, {"bundleID", QJsonValue::Null}, {"userIDs", QJsonArray{}}};

} // namespace

TEST_F(SandboxServerTest, ListensOnLoopbackWithAnEphemeralPort)
{
    EXPECT_NE(server.port(), 0);
    EXPECT_EQ(server.baseUrl().toString(), QStringLiteral("http://127.0.0.1:%1").arg(server.port()));
    EXPECT_EQ(server.appServerUrl().toString(), QStringLiteral("http://127.0.0.1:%1/app-server").arg(server.port()));

    SandboxServer second;
    EXPECT_FALSE(second.start(server.port())) << "the port is taken";
    EXPECT_EQ(second.port(), 0);
}

TEST_F(SandboxServerTest, ConfigsEndpointAnswersTheDefaultConfiguration)
{
    const HttpResult result = client.post(configsUrl(), QJsonDocument(kConfigsBody).toJson(QJsonDocument::Compact));
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.error, QNetworkReply::NoError);
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.contentType, "application/json");
    const QJsonObject expected{
        {"success", true},
        {"appConfig", QJsonObject{{"serverURL", server.appServerUrl().toString()},
                                  {"countries", QJsonArray{"AE", "SA"}},
                                  {"colorScheme", "#3366FF"},
                                  {"minTransferAmount", 1},
                                  {"maxTransferAmount", 5000},
                                  {"isBenefsSet", false}}},
    };
    EXPECT_EQ(result.json(), expected);

    const auto recorded = server.requestsForPath(SandboxServer::ConfigsPath);
    ASSERT_EQ(recorded.size(), 1);
    EXPECT_EQ(recorded[0].method, "POST");
    EXPECT_EQ(recorded[0].json, kConfigsBody);
    EXPECT_EQ(recorded[0].body, QJsonDocument(kConfigsBody).toJson(QJsonDocument::Compact));
}

TEST_F(SandboxServerTest, ConfigsEndpointCanBeReconfiguredAndScripted)
{
    const QJsonObject custom{{"serverURL", "http://127.0.0.1:1/elsewhere"}, {"countries", QJsonArray{}}};
    server.setAppConfig(custom);
    server.scriptPath(SandboxServer::ConfigsPath, ScriptedReply::json(QJsonObject{{"success", false}, {"msg", "first"}}));
    server.scriptPath(SandboxServer::ConfigsPath, ScriptedReply::raw("second", 503));

    const HttpResult first = client.post(configsUrl(), kConfigsBody);
    EXPECT_EQ(first.json(), (QJsonObject{{"success", false}, {"msg", "first"}}));
    const HttpResult second = client.post(configsUrl(), kConfigsBody);
    EXPECT_EQ(second.status, 503);
    EXPECT_EQ(second.body, "second");
    // The queue is used up: the configured default answers again.
    const HttpResult third = client.post(configsUrl(), kConfigsBody);
    EXPECT_EQ(third.json(), (QJsonObject{{"success", true}, {"appConfig", custom}}));
    EXPECT_EQ(server.requestsForPath(SandboxServer::ConfigsPath).size(), 3);
}

TEST_F(SandboxServerTest, ConfigsEndpointRefusesRequestsWithoutAnApp)
{
    const HttpResult noKey = client.post(configsUrl(), QJsonObject{{"bundleID", "x"}});
    EXPECT_EQ(noKey.status, 200);
    EXPECT_EQ(noKey.json(), (QJsonObject{{"success", false}, {"msg", "No app found for this appKey"}}));
    const HttpResult blankKey = client.post(configsUrl(), QJsonObject{{"appKey", "  "}});
    EXPECT_EQ(blankKey.json().value("success"), QJsonValue(false));
    const HttpResult notJson = client.post(configsUrl(), QByteArray("appKey=1"));
    EXPECT_EQ(notJson.status, 400);
    EXPECT_EQ(notJson.json().value("success"), QJsonValue(false));
}

TEST_F(SandboxServerTest, LogsEndpointAcceptsAndRecordsReports)
{
    const QJsonObject report{{"fileName", "2024-03-01 10:00:00"}, {"content", "{\n    name = Boom;\n}"},
                             {"sdkType", "ios"}, {"appKey", "k"}, {"bundleID", QJsonValue::Null}};
    const HttpResult result = client.post(url(SandboxServer::LogsPath), report);
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.json(), (QJsonObject{{"success", true}}));
    const auto recorded = server.requestsForPath(SandboxServer::LogsPath);
    ASSERT_EQ(recorded.size(), 1);
    EXPECT_EQ(recorded[0].json, report);
}

TEST_F(SandboxServerTest, ReadsLargeBodiesThatArriveInManyPieces)
{
    const QJsonObject report{{"fileName", "big"}, {"content", QString(3 * 1024 * 1024, QLatin1Char('x'))}};
    const QByteArray body = QJsonDocument(report).toJson(QJsonDocument::Compact);
    const HttpResult result = client.post(url(SandboxServer::LogsPath), body);
    EXPECT_EQ(result.json(), (QJsonObject{{"success", true}}));
    const auto recorded = server.requestsForPath(SandboxServer::LogsPath);
    ASSERT_EQ(recorded.size(), 1);
    EXPECT_EQ(recorded[0].body, body);
    EXPECT_EQ(recorded[0].json, report);
}

TEST_F(SandboxServerTest, RecordsHeadersInArrivalOrderWithTheirNamesAsSent)
{
    const QByteArray body = R"({"action":"/data/identity/get"})";
    const QByteArray request = "POST /app-server?lang=ar&lang=en&extra=1 HTTP/1.1\r\n"
                               "Host: 127.0.0.1\r\n"
                               "Accept: application/json\r\n"
                               "Content-Type: application/json; charset=utf-8\r\n"
                               "Platform: iOS-SDK\r\n"
                               "SDKVersion: 1.0.0\r\n"
                               "x-host-extra: one\r\n"
                               "X-Host-Extra: two\r\n"
                               "Connection: close\r\n"
                               "Content-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    const QByteArray response = exchangeRaw(server.port(), request);
    EXPECT_EQ(rawStatus(response), 200);

    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 1);
    const QList<QPair<QByteArray, QByteArray>> expected{
        {"Host", "127.0.0.1"},
        {"Accept", "application/json"},
        {"Content-Type", "application/json; charset=utf-8"},
        {"Platform", "iOS-SDK"},
        {"SDKVersion", "1.0.0"},
        {"x-host-extra", "one"},
        {"X-Host-Extra", "two"},
        {"Connection", "close"},
        {"Content-Length", QByteArray::number(body.size())},
    };
    EXPECT_EQ(recorded[0].headers, expected);
    EXPECT_EQ(recorded[0].query.allQueryItemValues("lang"), (QStringList{"ar", "en"}));
    EXPECT_EQ(recorded[0].query.queryItemValue("extra"), "1");
    EXPECT_EQ(recorded[0].path, "/app-server");
    EXPECT_EQ(recorded[0].body, body);
    EXPECT_EQ(recorded[0].action, "/data/identity/get");
}

TEST_F(SandboxServerTest, KeepsEveryRequestInArrivalOrderUntilCleared)
{
    client.post(configsUrl(), kConfigsBody);
    client.post(server.appServerUrl(), QJsonObject{{"action", "/data/accounts/get"}});
    client.post(url(SandboxServer::LogsPath), QJsonObject{{"fileName", "f"}});
    client.post(server.appServerUrl(), QJsonObject{{"action", "//wire/transfer/create"}});

    const auto all = server.requests();
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all[0].path, SandboxServer::ConfigsPath);
    EXPECT_EQ(all[1].action, "/data/accounts/get");
    EXPECT_EQ(all[2].path, SandboxServer::LogsPath);
    EXPECT_EQ(all[3].action, "//wire/transfer/create");
    const auto appServer = server.requestsForPath("/app-server");
    ASSERT_EQ(appServer.size(), 2);
    EXPECT_EQ(appServer[0].action, "/data/accounts/get");
    EXPECT_EQ(appServer[1].action, "//wire/transfer/create");

    server.clearRequests();
    EXPECT_TRUE(server.requests().isEmpty());
    client.post(configsUrl(), kConfigsBody);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(SandboxServerTest, ActionScriptsComeBeforePathScriptsAndEachQueueIsFirstInFirstOut)
{
    server.scriptPath("/app-server", ScriptedReply::json(QJsonObject{{"from", "path"}}));
    server.scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"from", "action 1"}}));
    server.scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"from", "action 2"}}));
    const QJsonObject accounts{{"action", "/data/accounts/get"}};
    const QJsonObject identity{{"action", "/data/identity/get"}};

    EXPECT_EQ(client.post(server.appServerUrl(), accounts).json().value("from"), "action 1");
    EXPECT_EQ(client.post(server.appServerUrl(), identity).json().value("from"), "path");
    EXPECT_EQ(client.post(server.appServerUrl(), accounts).json().value("from"), "action 2");
    // Scripts used up: the app server's own answer (an unknown login here).
    const QJsonObject fallback = client.post(server.appServerUrl(), accounts).json();
    EXPECT_EQ(fallback.value("type"), "INVALID_CREDENTIALS");
}

TEST_F(SandboxServerTest, ScriptedActionsMatchTheActionTextExactly)
{
    server.scriptAction("/wire/transfer/create", ScriptedReply::json(QJsonObject{{"from", "single slash"}}));
    server.scriptAction("//wire/transfer/create", ScriptedReply::json(QJsonObject{{"from", "double slash"}}));
    EXPECT_EQ(client.post(server.appServerUrl(), QJsonObject{{"action", "//wire/transfer/create"}}).json().value("from"),
              "double slash");
    EXPECT_EQ(client.post(server.appServerUrl(), QJsonObject{{"action", "/wire/transfer/create"}}).json().value("from"),
              "single slash");
}

TEST_F(SandboxServerTest, ServesEveryTransportFaultOfAReply)
{
    const QJsonObject accounts{{"action", "/data/accounts/get"}};
    server.scriptAction("/data/accounts/get", ScriptedReply::raw(QByteArray()));
    server.scriptAction("/data/accounts/get", ScriptedReply::raw("<html>oops</html>"));
    server.scriptAction("/data/accounts/get", ScriptedReply::json(QJsonArray{1, "two"}));
    server.scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"accounts", QJsonArray{}}}, 500));

    const HttpResult empty = client.post(server.appServerUrl(), accounts);
    EXPECT_EQ(empty.error, QNetworkReply::NoError);
    EXPECT_EQ(empty.status, 200);
    EXPECT_TRUE(empty.body.isEmpty());

    const HttpResult notJson = client.post(server.appServerUrl(), accounts);
    EXPECT_EQ(notJson.status, 200);
    EXPECT_EQ(notJson.body, "<html>oops</html>");

    const HttpResult list = client.post(server.appServerUrl(), accounts);
    EXPECT_EQ(list.jsonArray(), (QJsonArray{1, "two"}));

    const HttpResult serverError = client.post(server.appServerUrl(), accounts);
    EXPECT_EQ(serverError.error, QNetworkReply::InternalServerError);
    EXPECT_EQ(serverError.status, 500);
    EXPECT_EQ(serverError.json(), (QJsonObject{{"accounts", QJsonArray{}}}));
}

TEST_F(SandboxServerTest, ADroppedConnectionIsRecordedWithEveryResendOfIt)
{
    ScriptedReply drop;
    drop.fault = ScriptedReply::Fault::DropConnection;
    server.scriptAction("/data/accounts/get", drop);

    // A plain QNetworkAccessManager sends a request again on its own when its
    // connection closes before the reply: the sandbox records that copy as
    // the second request it is, and answers it as usual.
    const HttpResult result = client.post(server.appServerUrl(), QJsonObject{{"action", "/data/accounts/get"}});
    ASSERT_TRUE(result.finished);
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests().at(0).body, server.requests().at(1).body);
    EXPECT_NE(server.requests().at(0).connection, server.requests().at(1).connection);
    EXPECT_EQ(result.error, QNetworkReply::NoError);
    EXPECT_EQ(result.json().value("type"), "INVALID_CREDENTIALS");

    // Requests that share a keep-alive connection say so.
    const HttpResult next = client.post(server.appServerUrl(), QJsonObject{{"action", "/data/accounts/get"}});
    EXPECT_EQ(next.error, QNetworkReply::NoError);
    ASSERT_EQ(server.requests().size(), 3);
    EXPECT_EQ(server.requests().at(2).connection, server.requests().at(1).connection);
    EXPECT_EQ(server.requests().at(1).placeOnConnection, 1);
    EXPECT_EQ(server.requests().at(2).placeOnConnection, 2);

    // Seen from a plain socket: closed, with not a byte of reply.
    server.scriptAction("/data/accounts/get", drop);
    const QByteArray body = R"({"action":"/data/accounts/get"})";
    const QByteArray raw = exchangeRaw(server.port(), "POST /app-server HTTP/1.1\r\nContent-Length: "
                                                          + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    EXPECT_TRUE(raw.isEmpty());
}

TEST_F(SandboxServerTest, ADelayedReplyDoesNotHoldUpOtherRequests)
{
    ScriptedReply late = ScriptedReply::json(QJsonObject{{"late", true}});
    late.delay = std::chrono::milliseconds(400);
    server.scriptAction("/data/accounts/get", late);

    QNetworkReply *slow = client.start(server.appServerUrl(), R"({"action":"/data/accounts/get"})");
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    const HttpResult quick = client.post(configsUrl(), kConfigsBody);
    EXPECT_EQ(quick.json().value("success"), QJsonValue(true));
    EXPECT_FALSE(slow->isFinished()) << "the delayed reply came before the delay ran out";

    const HttpResult delayed = SandboxClient::finish(slow);
    EXPECT_EQ(delayed.error, QNetworkReply::NoError);
    EXPECT_EQ(delayed.json(), (QJsonObject{{"late", true}}));
}

TEST_F(SandboxServerTest, ARequestThatIsNeverAnsweredStaysOpenWhileOthersAreServed)
{
    ScriptedReply silent;
    silent.fault = ScriptedReply::Fault::NoReply;
    server.scriptAction("/data/accounts/get", silent);

    QNetworkReply *pending = client.start(server.appServerUrl(), R"({"action":"/data/accounts/get"})");
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(client.post(configsUrl(), kConfigsBody).status, 200);
    EXPECT_FALSE(pending->isFinished());
    pending->abort();
    EXPECT_EQ(pending->error(), QNetworkReply::OperationCanceledError);
    pending->deleteLater();
}

TEST_F(SandboxServerTest, AnswersPipelinedRequestsInOrderEvenWhenTheFirstIsLate)
{
    ScriptedReply late = ScriptedReply::json(QJsonObject{{"n", 1}});
    late.delay = std::chrono::milliseconds(100);
    server.scriptPath("/one", late);
    server.scriptPath("/two", ScriptedReply::json(QJsonObject{{"n", 2}}));

    const QByteArray bytes = "POST /one HTTP/1.1\r\nContent-Length: 0\r\n\r\n"
                             "POST /two HTTP/1.1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    const QByteArray response = exchangeRaw(server.port(), bytes);
    const qsizetype first = response.indexOf(R"({"n":1})");
    const qsizetype second = response.indexOf(R"({"n":2})");
    ASSERT_GE(first, 0) << response.constData();
    ASSERT_GE(second, 0) << response.constData();
    EXPECT_LT(first, second);
    EXPECT_EQ(response.count("HTTP/1.1 200 OK"), 2);
}

TEST_F(SandboxServerTest, MalformedRequestsGetAClearErrorAndTheServerCarriesOn)
{
    const struct {
        const char *name;
        QByteArray bytes;
        int status;
    } cases[] = {
        {"garbage", "GARBAGE\r\n\r\n", 400},
        {"binary", QByteArray("\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03\r\n\r\n", 15), 400},
        {"bad length", "POST /app-server HTTP/1.1\r\nContent-Length: ten\r\n\r\n", 400},
        {"chunked", "POST /app-server HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 411},
        {"oversized head", "POST /app-server HTTP/1.1\r\nX-Big: " + QByteArray(40000, 'x') + "\r\n\r\n", 431},
        {"oversized body", "POST /app-server HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n", 413},
    };
    for (const auto &c : cases) {
        const QByteArray response = exchangeRaw(server.port(), c.bytes);
        EXPECT_EQ(rawStatus(response), c.status) << c.name << ": " << response.left(80).constData();
        EXPECT_TRUE(response.contains("Connection: close")) << c.name;
        EXPECT_TRUE(response.contains(R"("success":false)")) << c.name;
    }
    EXPECT_TRUE(server.requests().isEmpty()) << "nothing unreadable is recorded";

    // A body the app server cannot read is recorded and refused with 400.
    const HttpResult notJson = client.post(server.appServerUrl(), QByteArray("{not json"));
    EXPECT_EQ(notJson.status, 400);
    EXPECT_EQ(notJson.json().value("type"), "INVALID_REQUEST");
    const HttpResult list = client.post(server.appServerUrl(), QByteArray("[]"));
    EXPECT_EQ(list.status, 400);
    const HttpResult noAction = client.post(server.appServerUrl(), QJsonObject{{"userSecret", "s"}});
    EXPECT_EQ(noAction.status, 400);
    EXPECT_EQ(noAction.json().value("msg"), "The body names no action");
    EXPECT_EQ(server.requests().size(), 3);

    EXPECT_EQ(client.post(configsUrl(), kConfigsBody).status, 200);
}

TEST_F(SandboxServerTest, UnknownPathsAndMethodsAreRefused)
{
    const HttpResult missing = client.post(url("/v2/sdk/apps/nothing"), kConfigsBody);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.json().value("success"), QJsonValue(false));

    const HttpResult get = SandboxClient::finish(client.startGet(configsUrl()));
    EXPECT_EQ(get.status, 405);
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(SandboxServerTest, AClientWaitingForContinueGetsToSendItsBody)
{
    const QByteArray body = R"({"appKey":"k"})";
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    ASSERT_TRUE(waitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }));
    socket.write("POST /v2/sdk/apps/configs/get HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\n\r\n");
    QByteArray received;
    ASSERT_TRUE(waitUntil([&] {
        received += socket.readAll();
        return received.contains("\r\n\r\n");
    }));
    EXPECT_TRUE(received.startsWith("HTTP/1.1 100 Continue\r\n\r\n"));
    socket.write(body);
    ASSERT_TRUE(waitUntil([&] {
        received += socket.readAll();
        return received.contains(R"("success":true)");
    }));
}

TEST(SandboxExecutable, PrintsItsAddressAndServes)
{
    QProcess process;
    process.setProgram(QStringLiteral(KOVA_SANDBOX_EXECUTABLE));
    process.start();
    ASSERT_TRUE(process.waitForStarted(10000));
    QByteArray out;
    ASSERT_TRUE(waitUntil([&] {
        out += process.readAllStandardOutput();
        return out.contains('\n');
    }));
    const QByteArray line = out.left(out.indexOf('\n'));
    ASSERT_TRUE(line.startsWith("kova-sandbox listening on http://127.0.0.1:")) << line.constData();
    const quint16 port = line.mid(line.lastIndexOf(':') + 1).toUShort();
    ASSERT_NE(port, 0);

    SandboxClient client;
    QUrl configs(QString::fromLatin1(line.mid(line.indexOf("http://"))));
    configs.setPath(SandboxServer::ConfigsPath);
    const HttpResult result = client.post(configs, QJsonObject{{"appKey", "k"}});
    EXPECT_EQ(result.json().value("appConfig").toObject().value("serverURL"),
              QStringLiteral("http://127.0.0.1:%1/app-server").arg(port));

    process.kill();
    process.waitForFinished(10000);
}

TEST(SandboxExecutable, RefusesABadPort)
{
    QProcess process;
    process.start(QStringLiteral(KOVA_SANDBOX_EXECUTABLE), {QStringLiteral("--port"), QStringLiteral("70000")});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardError().contains("invalid port"));
}

// The connect page as its script drives it.
class ConnectPageTest : public SandboxServerTest {
protected:
    HttpResult get(const QString &path) { return SandboxClient::finish(client.startGet(url(path))); }
    QJsonObject login(const QJsonObject &body)
    {
        const HttpResult result = client.post(url("/v3/connection/login"), body);
        EXPECT_EQ(result.status, 200);
        return result.json();
    }
    QJsonObject exchange(const QJsonObject &items)
    {
        QJsonObject body{{"action", "/auth/ExchangeToken"}};
        for (const char *key : {"userID", "accessCode", "tokenID", "connectionID"})
            body.insert(key, items.value(key));
        return client.post(server.appServerUrl(), body).json();
    }
};

TEST_F(ConnectPageTest, ServesThePageAtItsAddressAndEveryOutcomeAddress)
{
    for (const char *path : {"/v3/connection", "/v3/connection/link", "/v3/connection/success", "/v3/connection/exit"}) {
        const HttpResult page = get(path);
        EXPECT_EQ(page.status, 200) << path;
        EXPECT_EQ(page.contentType, "text/html; charset=utf-8") << path;
        EXPECT_TRUE(page.body.contains("id=\"username\"")) << path;
        EXPECT_TRUE(page.body.contains("history.replaceState(null, \"\", base + \"/link\"")) << path;
    }
    EXPECT_EQ(get("/v3/connectionx").status, 404);
    EXPECT_EQ(client.post(url("/v3/connection"), QByteArray("{}")).status, 405);
}

TEST_F(ConnectPageTest, ListsTheBanksWithTheirCountries)
{
    const QJsonArray banks = get("/v3/connection/banks").jsonArray();
    ASSERT_EQ(banks.size(), 4);
    EXPECT_EQ(banks[0].toObject(), (QJsonObject{{"id", "SANDBOXBANK"}, {"name", "Sandbox Bank"}, {"country", "AE"}}));
    EXPECT_EQ(banks[3].toObject().value("name").toString(), QStringLiteral("Harbour & Trust Bank"));
    EXPECT_EQ(banks[3].toObject().value("country").toString(), QStringLiteral("SA"));
}

TEST_F(ConnectPageTest, CredentialsDecideTheOutcome)
{
    EXPECT_EQ(login({{"bankId", "SANDBOXBANK"}, {"username", "alice"}, {"password", "wrong"}}),
              (QJsonObject{{"outcome", "error"}, {"msg", "Invalid user name or password"}}));
    EXPECT_EQ(login({{"bankId", "SANDBOXBANK"}, {"username", "  "}, {"password", "x"}}),
              (QJsonObject{{"outcome", "error"}, {"msg", "Enter your user name and password"}}));
    EXPECT_EQ(login({{"bankId", "NOSUCHBANK"}, {"username", "alice"}, {"password", "x"}}),
              (QJsonObject{{"outcome", "error"}, {"msg", "Unknown bank"}}));

    const QJsonObject good = login({{"bankId", "OASISBANK"}, {"username", "alice"}, {"password", "secret"}});
    ASSERT_EQ(good.value("outcome").toString(), QStringLiteral("success"));
    const QJsonObject items = good.value("items").toObject();
    const QString base = server.baseUrl().toString();
    EXPECT_EQ(items, (QJsonObject{{"userSecret", "sbx-secret-1"},
                                  {"accessCode", "sbx-access-1"},
                                  {"connectionID", "sbx-connection-1"},
                                  {"userID", "sbx-user-1"},
                                  {"tokenID", "sbx-token-1"},
                                  {"bankId", "OASISBANK"},
                                  {"fullName", "Oasis National Bank"},
                                  {"name", "Oasis National Bank"},
                                  {"fullLogoPng", base + "/banks/OASISBANK/full.png"},
                                  {"halfLogoPng", base + "/banks/OASISBANK/half.png"},
                                  {"miniLogoPng", base + "/banks/OASISBANK/mini.png"},
                                  {"color", "{\"primaryColor\":\"#0B6E4F\",\"secondaryColor\":\"#F4B942\"}"}}));
    // The app server knows the login the page handed out.
    EXPECT_EQ(exchange(items).value("success"), QJsonValue(true));
}

TEST_F(ConnectPageTest, ABadExchangeUserGetsALoginTheAppServerRejects)
{
    const QJsonObject answer = login({{"bankId", "SANDBOXBANK"}, {"username", "badexchange"}, {"password", "x"}});
    ASSERT_EQ(answer.value("outcome").toString(), QStringLiteral("success"));
    const QJsonObject reply = exchange(answer.value("items").toObject());
    EXPECT_EQ(reply.value("success"), QJsonValue(false));
    EXPECT_EQ(reply.value("msg").toString(), QStringLiteral("The connection does not match these credentials"));
}
