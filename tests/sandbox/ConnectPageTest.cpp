#include <QJsonDocument>
#include <gtest/gtest.h>

#include "SandboxClient.h"
#include "sandbox/SandboxServer.h"

using namespace kova::sandbox;
using namespace kova::sandbox::test;

namespace {

class ConnectPageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }

    QUrl url(const QString &path) const
    {
        QUrl u = server.baseUrl();
        u.setPath(path);
        return u;
    }
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

    SandboxServer server;
    SandboxClient client;
};

} // namespace

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
