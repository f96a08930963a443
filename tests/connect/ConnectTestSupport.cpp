#include "ConnectTestSupport.h"

#include <QJsonDocument>

#include "core/KOVConstants.h"
#include "core/store/KOVKeychain.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/net/QueryString.h"
#include "platform/ui/Application.h"
#include "platform/web/WebView.h"
#include "tests/web/PageClick.h"
#include "ui/connect/KOVConnectPage.h"

namespace kova::test {

void RecordingConnectDelegate::connectDidSuccessfullyConnectToBankID(const QString &bankID,
                                                                     std::shared_ptr<KOVBankConnection> connection)
{
    events.append({QStringLiteral("success"), bankID, QString(), std::move(connection),
                   window && window->topPresentedViewController() != nullptr, KOVKeychain::keychain()->allKeys()});
}

void RecordingConnectDelegate::connectDidFailConnectingToBankID(const QString &bankID, const QString &error)
{
    events.append({QStringLiteral("failure"), bankID, error, nullptr,
                   window && window->topPresentedViewController() != nullptr, KOVKeychain::keychain()->allKeys()});
}

void RecordingConnectDelegate::connectDidDismiss()
{
    events.append({QStringLiteral("dismiss"), QString(), QString(), nullptr,
                   window && window->topPresentedViewController() != nullptr, KOVKeychain::keychain()->allKeys()});
}

QStringList RecordingConnectDelegate::kinds() const
{
    QStringList list;
    for (const Event &event : events)
        list.append(event.kind);
    return list;
}

void ConnectTest::SetUp()
{
    SdkTest::SetUp();
    qputenv("KOVA_CONNECT_URL", server->baseUrl().toString().toUtf8());
    KOVScreensProvider::install(std::make_shared<KOVUIScreensProvider>());
    platform::Application::shared().setAnimationsEnabled(false);
    platform::Application::shared().setURLOpener([this](const QUrl &url) {
        opened.append(url);
        return true;
    });
    window = makeWindow(std::make_shared<platform::ViewController>());
    delegate = std::make_shared<RecordingConnectDelegate>();
    delegate->window = window.get();
}

void ConnectTest::TearDown()
{
    if (kova)
        kova->dismissConnect();
    drainMainQueue();
    window.reset();
    // A screen kept by a reply that never came outlives the test.
    platform::WebView::releaseEngines();
    platform::Application::shared().setURLOpener({});
    qunsetenv("KOVA_CONNECT_URL");
    kova.reset();
    SdkTest::TearDown();
}

std::shared_ptr<Kova> ConnectTest::startWithOptions(const QStringList &countries)
{
    auto options = KOVConfigurations::initWithCountries(countries, KOVEnvironmentSandbox);
    auto outcome = start(QStringLiteral("app-key-1"), QStringLiteral("client-1"), options);
    EXPECT_FALSE(outcome->error.has_value());
    kova = outcome->kova;
    return kova;
}

std::shared_ptr<KOVWebConnectViewController> ConnectTest::screen() const
{
    const auto connect = kova ? std::dynamic_pointer_cast<KOVWebConnect>(kova->connect()) : nullptr;
    return connect ? connect->webConnectViewController() : nullptr;
}

platform::WebView *ConnectTest::webView() const
{
    const auto s = screen();
    return s ? s->webView() : nullptr;
}

bool ConnectTest::pageSaidLink() const
{
    return webView() && KOVConnectPage::lastPathComponent(webView()->url()) == QLatin1String("link");
}

bool ConnectTest::messageScreenShown() const
{
    const auto message = screen() ? screen()->messageViewController() : nullptr;
    return message && message->isVisible() && window->topPresentedViewController() == message
        && !message->isBeingPresented();
}

void ConnectTest::presentAndWaitForPage(const QString &bankID)
{
    if (bankID.isNull())
        kova->presentConnect(delegate);
    else
        kova->presentConnect(delegate, bankID);
    ASSERT_TRUE(screen());
    ASSERT_TRUE(waitUntil([&] { return pageSaidLink() && screen()->state() == KOVWebConnectViewController::State::PageShown; }));
}

QVariant ConnectTest::js(const QString &script)
{
    bool done = false;
    QVariant result;
    webView()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    EXPECT_TRUE(waitUntil([&] { return done; })) << script.toStdString();
    return result;
}

void ConnectTest::chooseBank(const QString &bankID)
{
    ASSERT_EQ(js(QStringLiteral("var b = document.querySelector('[data-bank=\"%1\"]'); if (b) b.click(); !!b").arg(bankID)),
              QVariant(true));
}

void ConnectTest::typeCredentials(const QString &username, const QString &password)
{
    const QJsonObject values{{"username", username}, {"password", password}};
    js(QStringLiteral("(function (v) { ['username', 'password'].forEach(function (id) {"
                      " var e = document.getElementById(id); e.focus(); e.value = v[id];"
                      " e.dispatchEvent(new Event('input', {bubbles: true})); }); return true; })(%1)")
           .arg(QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact))));
}

void ConnectTest::submit()
{
    js(QStringLiteral("document.getElementById('connect').click(); true"));
}

void ConnectTest::clickInPage(const QString &selector)
{
    js(kova::test::markFrames());
    ASSERT_TRUE(waitUntil([&] { return js(kova::test::framesDrawn()).toBool(); })) << "the page drew no frame";
    ASSERT_TRUE(kova::test::clickInPage(webView(), js(centreOf(selector)))) << selector.toStdString();
}

void ConnectTest::logIn(const QString &bankID, const QString &username, const QString &password)
{
    chooseBank(bankID);
    typeCredentials(username, password);
    submit();
}

QJsonObject ConnectTest::pageLoginItems(const QString &bankID)
{
    QJsonObject items = server->issueLogin(QString(), bankID);
    items.remove(QStringLiteral("clientUserID"));
    items.insert(QStringLiteral("color"), QString::fromUtf8(QJsonDocument(items.value("color").toObject()).toJson(QJsonDocument::Compact)));
    return items;
}

QUrl ConnectTest::outcomeURL(const QString &kind, const QJsonObject &items, const QString &host) const
{
    QUrl url = server->baseUrl();
    url.setHost(host);
    url.setPath(QStringLiteral("/v3/connection/") + kind);
    QList<platform::URLQueryItem> list;
    for (auto it = items.begin(); it != items.end(); ++it)
        list.append({it.key(), it.value().toString()});
    url.setQuery(QString::fromLatin1(platform::query::build(list)), QUrl::StrictMode);
    return url;
}

void ConnectTest::navigatePage(const QUrl &url)
{
    js(QStringLiteral("location.assign(%1); true")
           .arg(QString::fromUtf8(QJsonDocument(QJsonArray{url.toString(QUrl::FullyEncoded)}).toJson(QJsonDocument::Compact)).mid(1).chopped(1)));
}

void ConnectTest::waitForAddress(const QUrl &url)
{
    ASSERT_TRUE(waitUntil([&] { return webView() && webView()->url() == url; })) << url.toString().toStdString();
    drainMainQueue();
}

QList<sandbox::RecordedRequest> ConnectTest::appServerRequests(const QString &action) const
{
    QList<sandbox::RecordedRequest> found;
    for (const auto &request : server->requestsForPath(QString::fromLatin1(sandbox::SandboxServer::AppServerPath)))
        if (request.action == action)
            found.append(request);
    return found;
}

int ConnectTest::countOf(const QString &kind) const
{
    return delegate->kinds().count(kind);
}

} // namespace kova::test
