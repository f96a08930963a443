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
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/support/BenchLoop.h"
#include "core/KOVConstants.h"
#include "platform/net/URLSession.h"
#include "sandbox/ScriptedReply.h"

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 kStreamBytes = 1024 * MiB;
constexpr int kRuns = 12;
constexpr int kBaselineRuns = 3;
// Peak resident size aimed at: the bound plus 32 MB (decimal, as the figures).
constexpr qint64 kAim = 32'000'000;

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

// One connection: the request is read, then `head` and the body are written
// as fast as the socket takes them until the client goes away.
class Sender {
public:
    using Body = std::function<bool(Sender &, int)>;
    Sender(QByteArray head, Body body) : m_head(std::move(head)), m_body(std::move(body))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 1);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~Sender()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/stream").arg(m_port)); }
    qint64 sent() const { return m_sent; }

    // Writes all of `bytes`; false once the client has gone.
    bool write(int client, const char *bytes, qint64 size)
    {
        for (qint64 offset = 0; offset < size;) {
            const ssize_t n = ::send(client, bytes + offset, size_t(size - offset), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            offset += n;
            m_sent += n;
        }
        return true;
    }

private:
    // The headers and the declared body, as a server reads before it answers.
    static bool wholeRequest(const QByteArray &request)
    {
        const qsizetype end = request.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        qint64 length = 0;
        for (const QByteArray &line : request.left(end).split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        return request.size() - (end + 4) >= length;
    }

    void serve()
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        timeval limit{60, 0};
        ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        QByteArray request;
        char in[4096];
        while (!wholeRequest(request)) {
            const ssize_t n = ::recv(client, in, sizeof in, 0);
            if (n <= 0)
                break;
            request.append(in, n);
        }
        if (write(client, m_head.constData(), m_head.size()))
            m_body(*this, client);
        ::close(client);
    }

    QByteArray m_head;
    Body m_body;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<qint64> m_sent{0};
};

// The child's one run: prints "<peak bytes> <peak before the call> <sent bytes> <error code>".
int runOnce(const QByteArray &mode)
{
    int argc = 1;
    char name[] = "bench_net_reply_bound";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    std::unique_ptr<Sender> sender;
    if (mode == "packed") {
        const QByteArray packed = kova::sandbox::ScriptedReply::gzip("{\"success\":true}", kStreamBytes).body;
        sender = std::make_unique<Sender>("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Encoding: gzip\r\n"
                                          "Content-Length: " + QByteArray::number(packed.size()) + "\r\n\r\n",
                                          [packed](Sender &self, int client) { return self.write(client, packed.constData(), packed.size()); });
    } else {
        const QByteArray payload(64 * 1024, ' ');
        const QByteArray chunk = QByteArray::number(payload.size(), 16) + "\r\n" + payload + "\r\n";
        sender = std::make_unique<Sender>(
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n",
            [chunk, payload](Sender &self, int client) {
                for (qint64 left = kStreamBytes; left > 0; left -= payload.size())
                    if (!self.write(client, chunk.constData(), chunk.size()))
                        return false;
                return self.write(client, "0\r\n\r\n", 5);
            });
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

bool report(const char *self, const char *mode, const char *what, int runs)
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
    return within;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--run")
        return runOnce(argv[2]);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    report(argv[0], "session", "1 GiB chunked, no declared length, through the bounded URL session", kRuns);
    report(argv[0], "packed", "about 1 MB of gzip unpacking to 1 GiB, through the bounded URL session", kRuns);
    report(argv[0], "progress-abort",
           "baseline: the same 1 GiB through a plain Qt reply aborted from its download progress", kBaselineRuns);
    return 0;
}
