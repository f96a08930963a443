// Request pipeline benchmarks against the in-process sandbox:
//  - overhead: median round trip of an accounts call through the SDK's whole
//    pipeline, as a ratio to a raw QNetworkAccessManager POST of the same
//    body to the same server, measured in the same run;
//  - load: 100 logins x 20 calls issued at once: all complete, per-login
//    order holds, and the longest main-loop stall seen by a 1 ms probe.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "core/KOVAppManager.h"
#include "core/Kova.h"
#include "core/api/KOVRepository.h"
#include "core/connections/KOVConnectManager.h"
#include "core/connections/KOVLogin.h"
#include "core/records/KOVAccount.h"
#include "core/store/KOVConnection.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "sandbox/SandboxServer.h"

using namespace kova;

namespace {

bool spinUntil(const std::function<bool()> &done, int seconds = 120)
{
    QDeadlineTimer deadline(seconds * 1000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Login {
    QJsonObject parameters;
    std::shared_ptr<KOVConnection> connection;
};

Login storeLogin(sandbox::SandboxServer &server, const QString &clientUserID)
{
    Login login;
    login.parameters = server.issueLogin(clientUserID);
    KOVConnectManager manager(clientUserID, KOVLogin::initWithDictionary(login.parameters));
    manager.createConnection([&](std::shared_ptr<KOVConnection> c, std::optional<platform::Error>) { login.connection = c; });
    return login;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    platform::ProcessInfo::setDataDirectoryOverride(home.path());
    platform::setLogSink([](const QString &) {});

    sandbox::SandboxServer server;
    if (!server.start())
        return 1;
    qputenv("KOVA_SERVICE_URL", server.baseUrl().toString().toUtf8());
    bool started = false;
    Kova::startWithAppKey("bench-key", "bench-user", [&](std::shared_ptr<Kova>, std::optional<platform::Error> error) {
        started = !error;
    });
    if (!spinUntil([&] { return started; }))
        return 1;

    // Overhead.
    const Login login = storeLogin(server, "bench-user");
    const QString secret = login.parameters.value("userSecret").toString();
    const QString token = login.parameters.value("tokenID").toString();
    const QString bank = login.parameters.value("bankId").toString();
    auto repo = KOVRepository::initWithConnection(login.connection);

    QNetworkAccessManager raw;
    QByteArray rawBody;
    {
        // The exact body the SDK sends, captured from one call.
        bool done = false;
        repo->getAccountsUserSecret(secret, token, bank, nullptr, [&](auto, auto, auto) { done = true; });
        spinUntil([&] { return done; });
        rawBody = server.requestsForPath(sandbox::SandboxServer::AppServerPath).last().body;
    }
    const int rounds = qEnvironmentVariableIntValue("BENCH_ROUNDS") > 0 ? qEnvironmentVariableIntValue("BENCH_ROUNDS") : 400;
    std::vector<double> sdk, baseline;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        // Interleaved so both see the same machine state.
        t.start();
        bool done = false;
        repo->getAccountsUserSecret(secret, token, bank, nullptr, [&](QList<std::shared_ptr<KOVAccount>> accounts, auto error, auto) {
            done = !error && accounts.size() == 3;
        });
        spinUntil([&] { return done; });
        sdk.push_back(t.nsecsElapsed() / 1000.0);

        t.start();
        QNetworkRequest request(server.appServerUrl());
        request.setRawHeader("Content-Type", "application/json; charset=utf-8");
        QNetworkReply *reply = raw.post(request, rawBody);
        bool rawDone = false;
        QObject::connect(reply, &QNetworkReply::finished, [&] {
            rawDone = !reply->readAll().isEmpty();
            reply->deleteLater();
        });
        spinUntil([&] { return rawDone; });
        baseline.push_back(t.nsecsElapsed() / 1000.0);
        server.clearRequests();
    }
    const double sdkMedian = median(sdk), rawMedian = median(baseline);
    std::printf("overhead: accounts call median %.1f us through the SDK, %.1f us raw POST; ratio %.2f (aim <= 1.15)\n",
                sdkMedian, rawMedian, sdkMedian / rawMedian);

    if (qEnvironmentVariableIsSet("BENCH_OVERHEAD_ONLY"))
        return 0;

    // Load.
    const int logins = 100, calls = 20;
    std::vector<Login> many;
    for (int i = 0; i < logins; ++i)
        many.push_back(storeLogin(server, "bench-user"));
    std::vector<std::vector<int>> completed(logins);
    int total = 0, failures = 0;
    qint64 longestStall = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = clock.elapsed();
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
    });
    QElapsedTimer wall;
    wall.start();
    for (int c = 0; c < calls; ++c) {
        for (int l = 0; l < logins; ++l) {
            const Login &one = many[size_t(l)];
            auto r = KOVRepository::initWithConnection(one.connection);
            r->getAccountsUserSecret(one.parameters.value("userSecret").toString(), one.parameters.value("tokenID").toString(),
                                     one.parameters.value("bankId").toString(), nullptr,
                                     [&, l, c](auto, std::optional<platform::Error> error, auto) {
                                         completed[size_t(l)].push_back(c);
                                         failures += error ? 1 : 0;
                                         ++total;
                                     });
        }
    }
    // The issuing turn is the host's own; the probe watches what follows.
    const qint64 issuing = wall.nsecsElapsed();
    lastTick = clock.nsecsElapsed();
    probe.start(1);
    const bool allDone = spinUntil([&] { return total == logins * calls; });
    probe.stop();
    bool ordered = true;
    for (const auto &sequence : completed)
        ordered = ordered && std::is_sorted(sequence.begin(), sequence.end()) && int(sequence.size()) == calls;
    std::printf("load: %d logins x %d calls: %s in %.0f ms, %d failed, per-login order %s; issuing them took %.2f ms "
                "of the caller's turn; longest main-loop stall afterwards %.2f ms (aim <= 8 ms)\n",
                logins, calls, allDone ? "all completed" : "NOT all completed", wall.elapsed() * 1.0, failures,
                ordered ? "held" : "BROKEN", issuing / 1e6, longestStall / 1e6);
    return allDone && ordered && failures == 0 ? 0 : 1;
}
