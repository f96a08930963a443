#include <QUrlQuery>
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "ui/connect/KOVConnectPage.h"

using kova::KOVConnectPage;
using Action = kova::KOVConnectPage::Action;

namespace {

const QUrl kBase(QStringLiteral("https://connect.kova.dev"));

KOVConnectPage::Parameters parameters()
{
    KOVConnectPage::Parameters p;
    p.appKey = QStringLiteral("app-key-1");
    p.countries = QStringList{QStringLiteral("AE"), QStringLiteral("SA")};
    p.environment = QStringLiteral("sandbox");
    p.showLogo = true;
    return p;
}

// The query as sent, item by item, in order.
QStringList sentItems(const QUrl &url)
{
    return url.query(QUrl::FullyEncoded).split(QLatin1Char('&'));
}

class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const QByteArray &value) : m_name(name) { qputenv(name, value); }
    ~ScopedEnvironment() { qunsetenv(m_name); }

private:
    const char *m_name;
};

} // namespace

TEST(ConnectPageTest, AddressCarriesTheSevenItemsEscaped)
{
    const QUrl url = KOVConnectPage::initializationURL(kBase, parameters());
    EXPECT_EQ(url.scheme(), QStringLiteral("https"));
    EXPECT_EQ(url.host(), QStringLiteral("connect.kova.dev"));
    EXPECT_EQ(url.path(), QStringLiteral("/v3/connection"));
    EXPECT_EQ(sentItems(url), (QStringList{"appKey=app-key-1", "isMobile=false", "isWebview=true",
                                           "countries=%5B%22AE%22%2C%22SA%22%5D", "environment=sandbox",
                                           "showLogo=true", "bankID"}));
}

TEST(ConnectPageTest, MissingValuesAreSentAsTheNameAlone)
{
    const struct {
        const char *what;
        std::function<void(KOVConnectPage::Parameters &)> change;
        QStringList expected;
    } cases[] = {
        {"no countries known", [](auto &p) { p.countries.reset(); },
         {"appKey=app-key-1", "isMobile=false", "isWebview=true", "countries", "environment=sandbox", "showLogo=true",
          "bankID"}},
        {"an empty country list", [](auto &p) { p.countries = QStringList(); },
         {"appKey=app-key-1", "isMobile=false", "isWebview=true", "countries=%5B%5D", "environment=sandbox",
          "showLogo=true", "bankID"}},
        {"no app key, no environment, no logos", [](auto &p) {
             p.appKey = QString();
             p.environment = QString();
             p.showLogo = false;
         },
         {"appKey", "isMobile=false", "isWebview=true", "countries=%5B%22AE%22%2C%22SA%22%5D", "environment=production",
          "showLogo=false", "bankID"}},
        {"a preselected bank", [](auto &p) { p.bankID = QStringLiteral("SANDBOXBANK"); },
         {"appKey=app-key-1", "isMobile=false", "isWebview=true", "countries=%5B%22AE%22%2C%22SA%22%5D",
          "environment=sandbox", "showLogo=true", "bankID=SANDBOXBANK"}},
    };
    for (const auto &c : cases) {
        KOVConnectPage::Parameters p = parameters();
        c.change(p);
        EXPECT_EQ(sentItems(KOVConnectPage::initializationURL(kBase, p)), c.expected) << c.what;
    }
}

TEST(ConnectPageTest, ABankIDCannotAddOrOverrideItems)
{
    KOVConnectPage::Parameters p = parameters();
    p.bankID = QStringLiteral("X&appKey=evil+1#frag");
    p.appKey = QStringLiteral("key with space");
    const QUrl url = KOVConnectPage::initializationURL(kBase, p);
    EXPECT_EQ(sentItems(url).last(), QStringLiteral("bankID=X%26appKey%3Devil%2B1%23frag"));
    EXPECT_EQ(sentItems(url).first(), QStringLiteral("appKey=key%20with%20space"));
    EXPECT_TRUE(url.fragment().isNull());
    const QJsonObject items = KOVConnectPage::queryItems(url);
    EXPECT_EQ(items.value("bankID").toString(), QStringLiteral("X&appKey=evil+1#frag"));
    EXPECT_EQ(items.value("appKey").toString(), QStringLiteral("key with space"));
    EXPECT_EQ(items.size(), 7);
}

TEST(ConnectPageTest, QueryItemsKeepPlusDecodeEscapesAndLetTheLastItemWin)
{
    const struct {
        const char *query;
        QJsonObject items;
    } cases[] = {
        {"msg=Wrong+code&bankID=B1", {{"msg", "Wrong+code"}, {"bankID", "B1"}}},
        {"msg=one&msg=two", {{"msg", "two"}}},
        {"msg=one&msg", {}},
        {"msg&msg=back", {{"msg", "back"}}},
        {"a=%zz%41&b=%", {{"a", "%zzA"}, {"b", "%"}}},
        {"color=%7B%22primaryColor%22%3A%22%23FF0000%22%7D", {{"color", "{\"primaryColor\":\"#FF0000\"}"}}},
        {"empty=&x=1=2", {{"empty", ""}, {"x", "1=2"}}},
        {"", {}},
    };
    for (const auto &c : cases) {
        const QUrl url = QUrl::fromEncoded(QByteArray("https://connect.kova.dev/v3/connection/error?") + c.query);
        EXPECT_EQ(KOVConnectPage::queryItems(url), c.items) << c.query;
    }
}

TEST(ConnectPageTest, OutcomesCountOnlyOnThePagesOwnOrigin)
{
    const QUrl origin(QStringLiteral("http://127.0.0.1:4100"));
    const struct {
        const char *url;
        Action action;
    } cases[] = {
        {"http://127.0.0.1:4100/v3/connection/link?a=1", Action::Link},
        {"http://127.0.0.1:4100/v3/connection/success?userID=u", Action::Success},
        {"http://127.0.0.1:4100/v3/connection/error?msg=x", Action::Error},
        {"http://127.0.0.1:4100/v3/connection/exit", Action::Exit},
        {"http://127.0.0.1:4100/elsewhere/success/", Action::Success},
        {"http://127.0.0.1:4100/v3/connection/Success", Action::None},
        {"http://127.0.0.1:4100/v3/connection/successful", Action::None},
        {"http://127.0.0.1:4100/v3/connection", Action::None},
        {"http://127.0.0.1:4100/", Action::None},
        {"http://127.0.0.1:4101/v3/connection/success?userID=u", Action::None},
        {"https://127.0.0.1:4100/v3/connection/success", Action::None},
        {"http://localhost:4100/v3/connection/success", Action::None},
        {"http://evil.example/v3/connection/success?userID=u", Action::None},
        {"data:text/html,success", Action::None},
        {"about:blank", Action::None},
    };
    for (const auto &c : cases)
        EXPECT_EQ(KOVConnectPage::actionForURL(QUrl(QString::fromLatin1(c.url)), origin), c.action) << c.url;

    // A default port is the same port whether it is written or not.
    EXPECT_EQ(KOVConnectPage::actionForURL(QUrl("https://connect.kova.dev:443/v3/connection/exit"), kBase),
              Action::Exit);
    EXPECT_EQ(KOVConnectPage::actionForURL(QUrl("https://connect.kova.dev:8443/v3/connection/exit"), kBase),
              Action::None);
}

TEST(ConnectPageTest, TheHostComesFromTheEnvironmentOrTheHttpsDefault)
{
    EXPECT_EQ(KOVConnectPage::baseURL(), QUrl("https://connect.kova.dev"));
    {
        ScopedEnvironment env("KOVA_CONNECT_URL", "http://127.0.0.1:4567/ignored/path?x=1");
        EXPECT_EQ(KOVConnectPage::baseURL(), QUrl("http://127.0.0.1:4567"));
        EXPECT_EQ(KOVConnectPage::initializationURL(KOVConnectPage::baseURL(), parameters()).toString(QUrl::RemoveQuery),
                  QStringLiteral("http://127.0.0.1:4567/v3/connection"));
    }
    for (const QByteArray &bad : {QByteArray("ftp://127.0.0.1:21"), QByteArray("not a url"), QByteArray("http://")}) {
        kova::test::LogCapture logs;
        ScopedEnvironment env("KOVA_CONNECT_URL", bad);
        EXPECT_EQ(KOVConnectPage::baseURL(), QUrl("https://connect.kova.dev")) << bad.toStdString();
        EXPECT_TRUE(logs.contains("[Kova] KOVA_CONNECT_URL is not an http or https address; using the default"));
    }
}
