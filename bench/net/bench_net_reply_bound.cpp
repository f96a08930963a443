// Memory of a bounded reply against a sender as fast as loopback allows: a
// thread streams 1 GiB (chunked, no declared length; or about 1 MB of gzip
// that unpacks to 1 GiB) to one POST of a URL session bounded like the
// service's session, and the process's peak resident size (VmHWM) is read
// once the call has failed. Each run is a child process of its own, so each
// has its own peak. Beside it, the same stream read by Qt's own reply that is
// aborted from its download progress, the way a bound decided on progress
// alone behaves.
#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <cstdio>
#include <vector>

#include "bench/support/BenchLoop.h"
#include "core/KOVConstants.h"
#include "platform/net/URLSession.h"
#include "sandbox/ScriptedReply.h"
#include "sandbox/StreamingSender.h"

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 kStreamBytes = 1024 * MiB;
constexpr int kRuns = 12;
constexpr int kBaselineRuns = 3;
// Peak resident size aimed at: the bound plus 32 MB (decimal, as the figures).
constexpr qint64 kAim = 32'000'000;
// How long the sender waits on a client that stops reading without closing.
constexpr std::chrono::seconds kSendLimit{60};

qint64 peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// The child's one run: prints "<peak bytes> <peak before the call> <sent bytes> <error code>".
int runOnce(const QByteArray &mode)
{
    int argc = 1;
    char name[] = "bench_net_reply_bound";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    using kova::sandbox::StreamingSender;
    std::unique_ptr<StreamingSender> sender;
    if (mode == "packed") {
        const QByteArray packed = kova::sandbox::ScriptedReply::gzip("{\"success\":true}", kStreamBytes).body;
        sender = std::make_unique<StreamingSender>(
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Encoding: gzip\r\n"
            "Content-Length: " + QByteArray::number(packed.size()) + "\r\n\r\n",
            [packed](StreamingSender &self, int client) { return self.write(client, packed.constData(), packed.size()); },
            kSendLimit);
    } else {
        sender = std::make_unique<StreamingSender>(StreamingSender::kChunkedHead,
                                                   StreamingSender::chunkedBlanks(kStreamBytes), kSendLimit);
    }

    // What the process holds before the call: the rest of the peak is the call's.
    const qint64 idle = peakResidentBytes();
    qint64 code = 0;
    bool done = false;
    std::unique_ptr<kova::platform::URLSession> session;
    std::unique_ptr<QNetworkAccessManager> manager;
    if (mode == "progress-abort") {
        manager = std::make_unique<QNetworkAccessManager>();
        QNetworkReply *reply = manager->get(QNetworkRequest(sender->url()));
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
            if (received > kova::KOVMaxServiceReplyBytes)
                reply->abort();
        });
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, &code, &done] {
            code = reply->error() == QNetworkReply::OperationCanceledError ? -1103 : reply->error();
            done = true;
            reply->deleteLater();
        });
    } else {
        kova::platform::URLSessionConfiguration configuration;
        configuration.maximumReplyBytes = kova::KOVMaxServiceReplyBytes;
        session = std::make_unique<kova::platform::URLSession>(configuration);
        kova::platform::URLRequest request;
        // A POST with a JSON body, as the service's calls are.
        request.url = sender->url();
        request.setValue("application/json; charset=utf-8", "Content-Type");
        request.httpBody = "{\"appKey\":\"bench\",\"userIDs\":[]}";
        session->dataTask(request, [&](const QByteArray &, const auto &, const std::optional<kova::platform::Error> &error) {
            code = error ? error->code : 0;
            done = true;
        });
    }
    if (!kova::bench::spinUntil([&] { return done; }))
        code = 1;
    const qint64 peak = peakResidentBytes();
    session.reset();
    manager.reset();
    const qint64 sent = sender->sent();
    sender.reset();
    std::printf("%lld %lld %lld %lld\n", (long long)peak, (long long)idle, (long long)sent, (long long)code);
    return 0;
}

struct Run {
    qint64 peak = -1;
    qint64 idle = -1;
    qint64 sent = 0;
    qint64 code = 0;
};

Run child(const char *self, const char *mode)
{
    Run run;
    const QByteArray command = QByteArray("'") + self + "' --run " + mode;
    FILE *out = ::popen(command.constData(), "r");
    if (!out)
        return run;
    long long peak = -1, idle = -1, sent = 0, code = 0;
    if (std::fscanf(out, "%lld %lld %lld %lld", &peak, &idle, &sent, &code) == 4) {
        run.peak = peak;
        run.idle = idle;
        run.sent = sent;
        run.code = code;
    }
    ::pclose(out);
    return run;
}

double mb(qint64 bytes)
{
    return double(bytes) / 1e6;
}

struct Summary {
    qint64 highest = 0;
    bool within = true;
};

Summary report(const char *self, const char *mode, const char *what, int runs)
{
    const qint64 bound = kova::KOVMaxServiceReplyBytes;
    std::printf("%s (bound %lld MiB = %.1f MB; aim: peak <= bound + %.0f MB = %.1f MB)\n", what,
                (long long)(bound / MiB), mb(bound), mb(kAim), mb(bound + kAim));
    bool within = true;
    qint64 highest = 0;
    for (int i = 1; i <= runs; ++i) {
        const Run run = child(self, mode);
        within = within && run.peak >= 0 && run.peak <= bound + kAim;
        highest = std::max(highest, run.peak);
        std::printf("  run %2d: peak RSS %6.1f MB = bound + %6.1f MB (%5.1f MB before the call); sender got %6.1f MB out; "
                    "result %lld\n",
                    i, mb(run.peak), mb(run.peak - bound), mb(run.idle), mb(run.sent), (long long)run.code);
        std::fflush(stdout);
    }
    std::printf("  highest %.1f MB, %.2fx the bound; every run within the aim: %s\n", mb(highest),
                double(highest) / double(bound), within ? "yes" : "no");
    return {highest, within};
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--run")
        return runOnce(argv[2]);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const Summary streamed =
        report(argv[0], "session", "1 GiB chunked, no declared length, through the bounded URL session", kRuns);
    report(argv[0], "packed", "about 1 MB of gzip unpacking to 1 GiB, through the bounded URL session", kRuns);
    report(argv[0], "progress-abort",
           "baseline: the same 1 GiB through a plain Qt reply aborted from its download progress", kBaselineRuns);
    // The figure scripts/bench repeats at its end.
    std::printf("figure: 1 GiB streamed reply: highest peak %.1f MB in %d runs, aim bound + %.0f MB = %.1f MB; "
                "every run within: %s\n",
                mb(streamed.highest), kRuns, mb(kAim), mb(kova::KOVMaxServiceReplyBytes + kAim),
                streamed.within ? "yes" : "no");
    return 0;
}
