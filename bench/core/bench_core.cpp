// Request pipeline benchmarks against the in-process sandbox:
//  - overhead: median round trip of an accounts call through the SDK's whole
//    pipeline, as a ratio to a raw QNetworkAccessManager POST of the same
//    body and header fields to the same server, and to that POST with its reply parsed,
//    measured in the same run (the SDK speaks HTTP on its own, Qt's stack is
//    the raw baseline); beside them the reply's parse and records timed alone;
//  - load: 100 logins x 20 calls issued at once: all complete, per-login
//    order holds, and the longest main-loop stall seen by a 1 ms probe,
//    beside the longest the same probe sees on an idle loop (the machine's
//    own share).
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "bench/support/BenchLoop.h"
#include "bench/support/ServerThread.h"
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

using kova::bench::median;
using kova::bench::percentile;
using kova::bench::ServerThread;
using kova::bench::spinUntil;

namespace {

// Each round's SDK time over the same round's baseline: rounds run back to
// back, so a busy spell of the machine weighs on both sides of one ratio.
std::vector<double> pairedRatios(const std::vector<double> &sdk, const std::vector<double> &base)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(sdk.size(), base.size()); ++i)
        ratios.push_back(base[i] > 0 ? sdk[i] / base[i] : 0);
    return ratios;
}

struct Login {
    QJsonObject parameters;
    std::shared_ptr<KOVConnection> connection;
};

// The longest gap between the ticks of a 1 ms timer: how long the main loop
// was kept from its timers.
class StallProbe {
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_timer.start(1);
    }
    // The longest gap in nanoseconds.
    qint64 stop()
    {
        m_timer.stop();
        return m_longest;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

Login storeLogin(ServerThread &server, const QString &clientUserID)
{
    Login login;
    login.parameters = server.get<QJsonObject>([&](sandbox::SandboxServer &s) { return s.issueLogin(clientUserID); });
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

    ServerThread server;
    if (!server.started())
        return 1;
    const QUrl appServerUrl = server.get<QUrl>([](sandbox::SandboxServer &s) { return s.appServerUrl(); });
    qputenv("KOVA_SERVICE_URL", server.get<QUrl>([](sandbox::SandboxServer &s) { return s.baseUrl(); }).toString().toUtf8());
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
    QList<QPair<QByteArray, QByteArray>> rawHeaders;
    {
        // The exact body the SDK sends, captured from one call.
        bool done = false;
        repo->getAccountsUserSecret(secret, token, bank, nullptr, [&](auto, auto, auto) { done = true; });
        spinUntil([&] { return done; });
        const sandbox::RecordedRequest sent = server.get<sandbox::RecordedRequest>([](sandbox::SandboxServer &s) {
            return s.requestsForPath(sandbox::SandboxServer::AppServerPath).last();
        });
        rawBody = sent.body;
        // The SDK's own header fields (the HTTP stack adds the rest itself).
        for (const QByteArray name : {"Accept", "Content-Type", "Platform", "SDKVersion"})
            rawHeaders.append({name, sent.header(name)});
    }
    const int rounds = qEnvironmentVariableIntValue("BENCH_ROUNDS") > 0 ? qEnvironmentVariableIntValue("BENCH_ROUNDS") : 400;
    std::vector<double> sdk, baseline, parsedBaseline;
    // Each round trip is timed up to the moment the caller's code has its
    // result, on both sides: what Qt does after that (taking the reply
    // apart, say) is charged to neither.
    QElapsedTimer clock;
    auto rawPost = [&](bool parse) {
        QNetworkRequest request(appServerUrl);
        for (const auto &[name, value] : rawHeaders)
            request.setRawHeader(name, value);
        QNetworkReply *reply = raw.post(request, rawBody);
        bool rawDone = false;
        qint64 elapsed = 0;
        QObject::connect(reply, &QNetworkReply::finished, [&] {
            const QByteArray body = reply->readAll();
            if (parse) {
                // What any client does with the reply: parse it and walk the list.
                const QJsonArray accounts = QJsonDocument::fromJson(body).object().value("accounts").toArray();
                rawDone = accounts.size() == 3;
            } else {
                rawDone = !body.isEmpty();
            }
            elapsed = clock.nsecsElapsed();
            reply->deleteLater();
        });
        spinUntil([&] { return rawDone; });
        return elapsed / 1000.0;
    };
    auto sdkCall = [&]() {
        bool done = false;
        qint64 elapsed = 0;
        repo->getAccountsUserSecret(secret, token, bank, nullptr, [&](QList<std::shared_ptr<KOVAccount>> accounts, auto error, auto) {
            done = !error && accounts.size() == 3;
            elapsed = clock.nsecsElapsed();
        });
        spinUntil([&] { return done; });
        return elapsed / 1000.0;
    };
    for (int i = 0; i < rounds; ++i) {
        // Interleaved so all three see the same machine state, and each takes
        // its turn at every place in the round: whichever comes first after
        // the server's bookkeeping below pays for it, so a fixed order would
        // weigh on one side only.
        for (int turn = 0; turn < 3; ++turn) {
            const int which = (i + turn) % 3;
            clock.start();
            if (which == 0)
                sdk.push_back(sdkCall());
            else if (which == 1)
                baseline.push_back(rawPost(false));
            else
                parsedBaseline.push_back(rawPost(true));
        }
        server.get<bool>([](sandbox::SandboxServer &s) {
            s.clearRequests();
            return true;
        });
    }
    const double sdkMedian = median(sdk), rawMedian = median(baseline), parsedMedian = median(parsedBaseline);
    std::printf("overhead: accounts call median %.1f us through the SDK, %.1f us raw POST, %.1f us raw POST with the "
                "reply parsed; ratio %.2f to the raw POST (aim <= 1.10), %.2f to the parsed one\n",
                sdkMedian, rawMedian, parsedMedian, sdkMedian / rawMedian, sdkMedian / parsedMedian);
    const auto spread = [](const char *what, const std::vector<double> &values, const char *unit) {
        std::printf("  %-28s p10 %7.2f  median %7.2f  p90 %7.2f %s\n", what, percentile(values, 0.1),
                    percentile(values, 0.5), percentile(values, 0.9), unit);
    };
    // What the SDK does with every reply beyond what the parsed POST does:
    // build the records. Timed alone and warm: the part of a call that is
    // neither the exchange nor the loop's turns.
    QByteArray replyBody;
    {
        QNetworkRequest request(appServerUrl);
        for (const auto &[name, value] : rawHeaders)
            request.setRawHeader(name, value);
        QNetworkReply *reply = raw.post(request, rawBody);
        QObject::connect(reply, &QNetworkReply::finished, [&] { replyBody = reply->readAll(); });
        spinUntil([&] { return reply->isFinished(); });
        reply->deleteLater();
    }
    std::vector<double> replyWork;
    for (int i = 0; i < 2000; ++i) {
        QElapsedTimer work;
        work.start();
        const auto parsed = platform::json::parseObject(replyBody);
        qsizetype records = 0;
        if (const QJsonObject *reply = std::get_if<QJsonObject>(&parsed)) {
            const QJsonArray list = platform::json::readList(*reply, QStringLiteral("accounts")).value_or(QJsonArray());
            for (const QJsonObject &element : platform::json::objectsIn(list)) {
                KOVAccount::initWithDictionary(element)->setDictionaryRepresentation(*reply);
                ++records;
            }
        }
        replyWork.push_back(work.nsecsElapsed() / 1000.0);
        if (records != 3)
            return 1;
    }
    const double replyFloor = median(replyWork);
    std::printf("  reply parse + 3 account records alone: %.1f us, %.1f%% of the raw POST\n", replyFloor,
                100 * replyFloor / rawMedian);
    spread("SDK call", sdk, "us");
    spread("raw POST", baseline, "us");
    spread("raw POST, reply parsed", parsedBaseline, "us");
    spread("SDK / raw, per round", pairedRatios(sdk, baseline), "x");
    spread("SDK / parsed, per round", pairedRatios(sdk, parsedBaseline), "x");

    if (qEnvironmentVariableIsSet("BENCH_OVERHEAD_ONLY"))
        return 0;

    // Load.
    const int logins = 100, calls = 20;
    std::vector<Login> many;
    for (int i = 0; i < logins; ++i)
        many.push_back(storeLogin(server, "bench-user"));
    std::vector<std::vector<int>> completed(logins);
    int total = 0, failures = 0;
    StallProbe probe;
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
    probe.start();
    const bool allDone = spinUntil([&] { return total == logins * calls; });
    const qint64 loadMs = wall.elapsed();
    const qint64 longestStall = probe.stop();
    // The machine's own share: the same probe over an idle loop for as long.
    StallProbe idleProbe;
    QElapsedTimer idle;
    idle.start();
    idleProbe.start();
    spinUntil([&] { return idle.elapsed() >= std::max<qint64>(loadMs, 200); });
    const qint64 idleStall = idleProbe.stop();
    bool ordered = true;
    for (const auto &sequence : completed)
        ordered = ordered && std::is_sorted(sequence.begin(), sequence.end()) && int(sequence.size()) == calls;
    std::printf("load: %d logins x %d calls: %s in %.0f ms, %d failed, per-login order %s; issuing them took %.2f ms "
                "of the caller's turn; longest main-loop stall afterwards %.2f ms (aim <= 4 ms), %.2f ms on an idle "
                "loop as long\n",
                logins, calls, allDone ? "all completed" : "NOT all completed", loadMs * 1.0, failures,
                ordered ? "held" : "BROKEN", issuing / 1e6, longestStall / 1e6, idleStall / 1e6);
    return allDone && ordered && failures == 0 ? 0 : 1;
}
