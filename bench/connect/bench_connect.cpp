// Connect screen benchmarks against the in-process sandbox, in the web
// engine offscreen:
//  - page: from presentConnect to the page's "link", as a ratio to a bare web
//    engine view loading the same address until the same "link";
//  - login: from the page's "success" to the host's success call, as a ratio
//    to the raw sum of the exchange and metadata round trips (plain POSTs of
//    the same bodies to the same server).
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "bench/support/BenchLoop.h"
#include "core/KOVConfigurations.h"
#include "core/KOVConnectDelegate.h"
#include "core/KOVConstants.h"
#include "ui/KovaUI.h"
#include "core/Kova.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/net/QueryString.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "platform/web/WebView.h"
#include "sandbox/SandboxServer.h"
#include "ui/connect/KOVConnectPage.h"
#include "ui/connect/KOVWebConnect.h"
#include "ui/connect/KOVWebConnectViewController.h"

using namespace kova;

using kova::bench::median;
using kova::bench::spinUntil;

namespace {

constexpr int kRounds = 8;

class Delegate : public KOVConnectDelegate {
public:
    void connectDidSuccessfullyConnectToBankID(const QString &, std::shared_ptr<KOVBankConnection>) override { ++successes; }
    void connectDidFailConnectingToBankID(const QString &, const QString &error) override
    {
        std::fprintf(stderr, "bench_connect: the login failed: %s\n", qPrintable(error));
        ++failures;
    }
    int successes = 0;
    int failures = 0;
};

QJsonObject pageItems(sandbox::SandboxServer &server)
{
    QJsonObject items = server.issueLogin(QString(), QStringLiteral("SANDBOXBANK"));
    items.remove(QStringLiteral("clientUserID"));
    items.insert(QStringLiteral("color"),
                 QString::fromUtf8(QJsonDocument(items.value("color").toObject()).toJson(QJsonDocument::Compact)));
    return items;
}

QUrl successURL(sandbox::SandboxServer &server, const QJsonObject &items)
{
    QUrl url = server.baseUrl();
    url.setPath(QStringLiteral("/v3/connection/success"));
    QList<platform::URLQueryItem> list;
    for (auto it = items.begin(); it != items.end(); ++it)
        list.append({it.key(), it.value().toString()});
    url.setQuery(QString::fromLatin1(platform::query::build(list)), QUrl::StrictMode);
    return url;
}

double post(QNetworkAccessManager &network, const QUrl &url, const QJsonObject &body)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json; charset=utf-8");
    QElapsedTimer timer;
    timer.start();
    QNetworkReply *reply = network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    spinUntil([&] { return reply->isFinished(); });
    const double ms = timer.nsecsElapsed() / 1e6;
    reply->deleteLater();
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QTemporaryDir home;
    platform::ProcessInfo::setDataDirectoryOverride(home.path());
    platform::setLogSink([](const QString &) {});
    platform::Application::shared().setAnimationsEnabled(false);

    sandbox::SandboxServer server;
    if (!server.start())
        return 1;
    qputenv("KOVA_SERVICE_URL", server.baseUrl().toString().toUtf8());
    qputenv("KOVA_CONNECT_URL", server.baseUrl().toString().toUtf8());
    KOVScreensProvider::install(std::make_shared<KOVUIScreensProvider>());
    std::shared_ptr<Kova> kova;
    Kova::startWithAppKey("bench-key", "bench-user", KOVConfigurations::initWithCountries({"AE"}, KOVEnvironmentSandbox),
                          [&](std::shared_ptr<Kova> started, std::optional<platform::Error>) { kova = started; });
    if (!spinUntil([&] { return kova != nullptr; }))
        return 1;

    platform::Window window;
    window.setRootViewController(std::make_shared<platform::ViewController>());
    platform::Application::shared().setKeyWindow(&window);
    window.show();
    auto delegate = std::make_shared<Delegate>();

    const auto screen = [&] {
        return std::dynamic_pointer_cast<KOVWebConnect>(kova->connect())->webConnectViewController();
    };
    const auto saidLink = [](const QUrl &url) { return KOVConnectPage::lastPathComponent(url) == QLatin1String("link"); };

    std::vector<double> sdkPage, barePage, sdkLogin, rawLogin;
    QNetworkAccessManager network;
    for (int round = 0; round < kRounds; ++round) {
        // The SDK's screen, from the host's call to the page's "link".
        QElapsedTimer timer;
        timer.start();
        kova->presentConnect(delegate);
        if (!spinUntil([&] { return screen()->webView() && saidLink(screen()->webView()->url()); }))
            return 1;
        sdkPage.push_back(timer.nsecsElapsed() / 1e6);

        // From the page's "success" to the host's success call.
        const QJsonObject items = pageItems(server);
        const int before = delegate->successes;
        timer.restart();
        screen()->handleURLChange(successURL(server, items));
        if (!spinUntil([&] { return delegate->successes > before || delegate->failures > 0; }) || delegate->failures)
            return 1;
        sdkLogin.push_back(timer.nsecsElapsed() / 1e6);
        if (!spinUntil([&] { return window.topPresentedViewController() == nullptr; }))
            return 1;

        // A bare engine view on the same address, in the same window size.
        {
            QWebEngineView bare;
            bare.resize(390, 844);
            bare.show();
            bool linked = false;
            QObject::connect(&bare, &QWebEngineView::urlChanged, [&](const QUrl &url) { linked = linked || saidLink(url); });
            timer.restart();
            bare.load(screen()->generateConnectInitializationURL());
            if (!spinUntil([&] { return linked; }))
                return 1;
            barePage.push_back(timer.nsecsElapsed() / 1e6);
        }

        // The same two calls, posted plainly.
        const QJsonObject login = pageItems(server);
        const QJsonObject exchange{{"connectionID", login.value("connectionID")}, {"accessCode", login.value("accessCode")},
                                   {"tokenID", login.value("tokenID")},           {"userID", login.value("userID")},
                                   {"appKey", "bench-key"},                       {"action", "/auth/ExchangeToken"},
                                   {"bundleID", QJsonValue::Null}};
        const QJsonObject metadata{{"userSecret", login.value("userSecret")}, {"tokenID", login.value("tokenID")},
                                   {"userID", login.value("userID")},         {"bankID", "SANDBOXBANK"},
                                   {"appKey", "bench-key"},                   {"action", "/metadata/accounts/get"},
                                   {"bundleID", QJsonValue::Null}};
        rawLogin.push_back(post(network, server.appServerUrl(), exchange) + post(network, server.appServerUrl(), metadata));
    }

    const double page = median(sdkPage), bare = median(barePage), login = median(sdkLogin), raw = median(rawLogin);
    std::printf("connect page: presentConnect to \"link\" %.1f ms, bare web view %.1f ms, ratio %.2f (aim <= 1.2)\n",
                page, bare, bare > 0 ? page / bare : 0.0);
    std::printf("connect login: \"success\" to the host's success %.1f ms, raw exchange + metadata %.1f ms, ratio %.2f "
                "(aim <= 1.3)\n",
                login, raw, raw > 0 ? login / raw : 0.0);
    return 0;
}
