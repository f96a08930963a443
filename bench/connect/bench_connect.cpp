// Connect screen benchmarks against the sandbox (in process, on a thread of
// its own), in the web engine offscreen:
//  - page: from presentConnect to the page's "link", as a ratio to a bare web
//    engine view loading the same address until the same "link";
//  - login: from the page's "success" to the host's success call, as a ratio
//    to the raw sum of the exchange and metadata round trips (plain POSTs of
//    the same requests to the same server, on its own thread).
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <optional>
#include <unistd.h>

#include "bench/support/BenchLoop.h"
#include "bench/support/ServerThread.h"
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
using kova::bench::ServerThread;
using kova::bench::spinUntil;

namespace {

constexpr int kRounds = 25;

qint64 steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class Delegate : public KOVConnectDelegate {
public:
    void connectDidSuccessfullyConnectToBankID(const QString &, std::shared_ptr<KOVBankConnection>) override
    {
        // Stamped in the call itself, not when the waiting loop next looks.
        succeededAtNs = steadyNanoseconds();
        ++successes;
    }
    void connectDidFailConnectingToBankID(const QString &, const QString &error) override
    {
        std::fprintf(stderr, "bench_connect: the login failed: %s\n", qPrintable(error));
        ++failures;
    }
    int successes = 0;
    int failures = 0;
    qint64 succeededAtNs = 0;
};

// One login, split where the server saw it: the steps between the start, the
// two calls' arrival and answer at the server, and the end.
struct Steps {
    static constexpr int kCount = 5;
    std::array<double, kCount> ms{};
    double total() const { return std::accumulate(ms.begin(), ms.end(), 0.0); }
};

std::optional<Steps> split(qint64 startNs, qint64 endNs, const QList<sandbox::RecordedRequest> &requests)
{
    const auto find = [&](const char *action) -> const sandbox::RecordedRequest * {
        for (const auto &request : requests)
            if (request.action == QLatin1String(action))
                return &request;
        return nullptr;
    };
    const auto *exchange = find("/auth/ExchangeToken");
    const auto *metadata = find("/metadata/accounts/get");
    if (!exchange || !metadata)
        return std::nullopt;
    const qint64 marks[] = {startNs, exchange->receivedNs, exchange->answeredNs, metadata->receivedNs, metadata->answeredNs, endNs};
    Steps steps;
    for (int i = 0; i < Steps::kCount; ++i)
        steps.ms[size_t(i)] = double(marks[i + 1] - marks[i]) / 1e6;
    return steps;
}

QJsonObject pageItems(ServerThread &server)
{
    QJsonObject items = server.get<QJsonObject>(
        [](sandbox::SandboxServer &s) { return s.issueLogin(QString(), QStringLiteral("SANDBOXBANK")); });
    items.remove(QStringLiteral("clientUserID"));
    items.insert(QStringLiteral("color"),
                 QString::fromUtf8(QJsonDocument(items.value("color").toObject()).toJson(QJsonDocument::Compact)));
    return items;
}

QUrl successURL(const QUrl &pageOrigin, const QJsonObject &items)
{
    QUrl url = pageOrigin;
    url.setPath(QStringLiteral("/v3/connection/success"));
    QList<platform::URLQueryItem> list;
    for (auto it = items.begin(); it != items.end(); ++it)
        list.append({it.key(), it.value().toString()});
    url.setQuery(QString::fromLatin1(platform::query::build(list)), QUrl::StrictMode);
    return url;
}

// Posts as the SDK does: its headers and its indented body, so the baseline
// carries the same request, not a leaner one. Returns when the reply is whole.
void post(QNetworkAccessManager &network, const QUrl &url, const QJsonObject &body, qint64 *finishedNs = nullptr)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("Content-Type", "application/json; charset=utf-8");
    request.setRawHeader("Platform", "iOS-SDK");
    request.setRawHeader("SDKVersion", KovaVersionString.toUtf8());
    QNetworkReply *reply = network.post(request, QJsonDocument(body).toJson(QJsonDocument::Indented));
    qint64 finished = 0;
    QObject::connect(reply, &QNetworkReply::finished, [&] { finished = steadyNanoseconds(); });
    spinUntil([&] { return finished != 0; });
    if (finishedNs)
        *finishedNs = finished;
    reply->deleteLater();
}

void printSteps(const std::vector<Steps> &sdk, const std::vector<Steps> &raw)
{
    static const char *const names[Steps::kCount] = {
        "until the exchange reaches the server (SDK: the loading state, the request queue)",
        "the exchange at the server",
        "its answer until the metadata call arrives (SDK: verifying state drawn, keychain write, record)",
        "the metadata call at the server",
        "its answer until the end (SDK: store save, dismissal, the host's call)"};
    const auto column = [](const std::vector<Steps> &rounds, int step) {
        std::vector<double> values;
        for (const Steps &steps : rounds)
            values.push_back(step < 0 ? steps.total() : steps.ms[size_t(step)]);
        return median(values);
    };
    const double sdkTotal = column(sdk, -1), rawTotal = column(raw, -1);
    std::printf("  step medians, ms and share of the median total:        SDK            raw\n");
    for (int i = 0; i < Steps::kCount; ++i) {
        const double s = column(sdk, i), r = column(raw, i);
        std::printf("    %-80s %6.2f %5.1f%%  %6.2f %5.1f%%\n", names[i], s, sdkTotal > 0 ? 100 * s / sdkTotal : 0.0, r,
                    rawTotal > 0 ? 100 * r / rawTotal : 0.0);
    }
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

    ServerThread server;
    if (!server.started())
        return 1;
    const QUrl baseUrl = server.get<QUrl>([](sandbox::SandboxServer &s) { return s.baseUrl(); });
    const QUrl appServerUrl = server.get<QUrl>([](sandbox::SandboxServer &s) { return s.appServerUrl(); });
    const auto clearRequests = [&] {
        server.get<bool>([](sandbox::SandboxServer &s) {
            s.clearRequests();
            return true;
        });
    };
    const auto requests = [&] {
        return server.get<QList<sandbox::RecordedRequest>>([](sandbox::SandboxServer &s) { return s.requests(); });
    };
    qputenv("KOVA_SERVICE_URL", baseUrl.toString().toUtf8());
    qputenv("KOVA_CONNECT_URL", baseUrl.toString().toUtf8());
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

    std::vector<double> sdkPage, barePage;
    std::vector<Steps> sdkLogin, rawLogin;
    // The SDK reaches the app server on a connection its start-up already
    // opened to this origin; the baseline gets the same head start.
    QNetworkAccessManager network;
    post(network, appServerUrl, QJsonObject{{"action", "/metadata/accounts/get"}});
    for (int round = 0; round < kRounds; ++round) {
        // The SDK's screen, from the host's call to the page's "link".
        QElapsedTimer timer;
        timer.start();
        kova->presentConnect(delegate);
        if (!spinUntil([&] { return screen()->webView() && saidLink(screen()->webView()->url()); }))
            return 1;
        sdkPage.push_back(timer.nsecsElapsed() / 1e6);

        // A person takes seconds over the bank login: the page has long been
        // painted and the screen is at rest when its "success" comes.
        QElapsedTimer typing;
        typing.start();
        spinUntil([&] { return typing.hasExpired(300); });

        // From the page's "success" to the host's success call.
        const QJsonObject items = pageItems(server);
        const int before = delegate->successes;
        // The address is made before the clock starts: the page hands it over whole.
        const QUrl success = successURL(baseUrl, items);
        clearRequests();
        const qint64 sdkStart = steadyNanoseconds();
        screen()->handleURLChange(success);
        if (!spinUntil([&] { return delegate->successes > before || delegate->failures > 0; }) || delegate->failures)
            return 1;
        const auto sdkSteps = split(sdkStart, delegate->succeededAtNs, requests());
        if (!sdkSteps)
            return 1;
        sdkLogin.push_back(*sdkSteps);
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

        // The same two calls, posted plainly one after the other.
        const QJsonObject login = pageItems(server);
        const QJsonObject exchange{{"connectionID", login.value("connectionID")}, {"accessCode", login.value("accessCode")},
                                   {"tokenID", login.value("tokenID")},           {"userID", login.value("userID")},
                                   {"appKey", "bench-key"},                       {"action", "/auth/ExchangeToken"},
                                   {"bundleID", QJsonValue::Null}};
        const QJsonObject metadata{{"userSecret", login.value("userSecret")}, {"tokenID", login.value("tokenID")},
                                   {"userID", login.value("userID")},         {"bankID", "SANDBOXBANK"},
                                   {"appKey", "bench-key"},                   {"action", "/metadata/accounts/get"},
                                   {"bundleID", QJsonValue::Null}};
        clearRequests();
        const qint64 rawStart = steadyNanoseconds();
        qint64 rawEnd = 0;
        post(network, appServerUrl, exchange);
        post(network, appServerUrl, metadata, &rawEnd);
        const auto rawSteps = split(rawStart, rawEnd, requests());
        if (!rawSteps)
            return 1;
        rawLogin.push_back(*rawSteps);
    }

    const double page = median(sdkPage), bare = median(barePage);
    std::vector<double> sdkTotals, rawTotals;
    for (const Steps &steps : sdkLogin)
        sdkTotals.push_back(steps.total());
    for (const Steps &steps : rawLogin)
        rawTotals.push_back(steps.total());
    const double login = median(sdkTotals), raw = median(rawTotals);
    std::printf("connect page: presentConnect to \"link\" %.1f ms, bare web view %.1f ms, ratio %.2f (aim <= 1.2)\n",
                page, bare, bare > 0 ? page / bare : 0.0);
    std::printf("connect login: \"success\" to the host's success %.2f ms (%.2f-%.2f), raw exchange + metadata %.2f ms "
                "(%.2f-%.2f), ratio %.2f (aim <= 1.3)\n",
                login, kova::bench::percentile(sdkTotals, 0), kova::bench::percentile(sdkTotals, 1), raw,
                kova::bench::percentile(rawTotals, 0), kova::bench::percentile(rawTotals, 1), raw > 0 ? login / raw : 0.0);
    printSteps(sdkLogin, rawLogin);
    return 0;
}
