#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

#include "platform/net/URLSession.h"
#include "tests/platform/URLSessionCalls.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;
using kova::test::Outcome;
using kova::test::run;
using namespace std::chrono_literals;

namespace {

// A one-shot HTTP peer whose behaviour each test picks.
class Peer : public QObject {
public:
    enum class Mode { Reply, Drop, Silent, Trickle };
    explicit Peer(Mode mode, QByteArray reply = {}) : m_mode(mode), m_reply(std::move(reply))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_received += socket->readAll();
                QByteArray whole = m_received;
                if (kova::test::takeRequest(whole))
                    respond(socket);
            });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/path?x=1").arg(m_server.serverPort())); }
    QByteArray received() const { return m_received; }

private:
    void respond(QTcpSocket *socket)
    {
        switch (m_mode) {
        case Mode::Reply: socket->write(m_reply); socket->disconnectFromHost(); break;
        case Mode::Drop: socket->abort(); break;
        case Mode::Silent: break;
        case Mode::Trickle:
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{");
            break;
        }
    }
    Mode m_mode;
    QByteArray m_reply;
    QByteArray m_received;
    QTcpServer m_server;
};

URLRequest post(const QUrl &url)
{
    URLRequest request;
    request.url = url;
    request.setValue("application/json", "Accept");
    request.setValue("first", "X-Custom");
    request.setValue("second", "x-custom"); // same field, other case: replaced, not added
    request.httpBody = "{\"a\":1}";
    return request;
}

} // namespace

TEST(URLRequestTest, HeaderNamesAreCaseInsensitive)
{
    URLRequest r = post(QUrl("http://h/"));
    EXPECT_EQ(r.headerFields.size(), 2);
    EXPECT_EQ(r.value("X-CUSTOM"), "second");
    EXPECT_TRUE(r.hasValue("accept"));
    EXPECT_FALSE(r.hasValue("Platform"));
}

TEST(URLSessionTest, ErrorStatusIsAResponseNotAnError)
{
    Peer peer(Peer::Mode::Reply, "HTTP/1.1 500 Internal Server Error\r\nContent-Type: application/json\r\nContent-Length: 15\r\n\r\n{\"accounts\":[]}");
    URLSession session;
    const Outcome o = run(session, post(peer.url()));
    ASSERT_FALSE(o.error.has_value());
    ASSERT_TRUE(o.response.has_value());
    EXPECT_EQ(o.response->statusCode, 500);
    EXPECT_EQ(o.data, "{\"accounts\":[]}");
    const QByteArray sent = peer.received();
    EXPECT_TRUE(sent.startsWith("POST /path?x=1 HTTP/1.1\r\n")) << sent.constData();
    EXPECT_TRUE(sent.contains("X-Custom: second\r\n"));
    EXPECT_TRUE(sent.endsWith("\r\n\r\n{\"a\":1}"));
}

TEST(URLSessionTest, TransportFailuresMapToPlatformCodes)
{
    {
        Peer peer(Peer::Mode::Drop);
        URLSession session;
        const Outcome o = run(session, post(peer.url()));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
        EXPECT_EQ(o.error->code, -1005);
        EXPECT_EQ(o.error->localizedDescription(), "The network connection was lost.");
        EXPECT_TRUE(o.data.isEmpty());
        EXPECT_FALSE(o.response.has_value());
    }
    {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        const quint16 port = closed.serverPort();
        closed.close();
        URLSession session;
        const Outcome o = run(session, post(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.error->code, -1004);
        EXPECT_EQ(o.error->localizedDescription(), "Could not connect to the server.");
    }
}

TEST(URLSessionTest, RequestAndResourceTimeoutsAreMinus1001)
{
    {
        Peer peer(Peer::Mode::Silent);
        URLSession session(URLSessionConfiguration{200ms, 10s});
        const Outcome o = run(session, post(peer.url()));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
        EXPECT_EQ(o.error->code, -1001);
        EXPECT_EQ(o.error->localizedDescription(), "The request timed out.");
    }
    {
        // Headers arrive, then the body stalls: only the whole-exchange limit ends it.
        Peer peer(Peer::Mode::Trickle);
        URLSession session(URLSessionConfiguration{10s, 300ms});
        const Outcome o = run(session, post(peer.url()));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.error->code, -1001);
    }
}

TEST(URLSessionTest, WaitersForRequestBodiesRunOnceEveryBodyIsOut)
{
    int ran = 0;
    const auto waiter = [&ran] { ++ran; };

    // Nothing under way: on the next turn, never inside the call.
    URLSession::whenRequestBodiesSent(waiter);
    EXPECT_EQ(ran, 0);
    kova::test::drainMainQueue();
    EXPECT_EQ(ran, 1);

    // A peer that reads the whole request and never answers: the waiter runs
    // while the exchange is still open, once the body has left.
    {
        Peer peer(Peer::Mode::Silent);
        URLSession session(URLSessionConfiguration{10s, 10s});
        // The session's end still completes the exchange, on a later turn.
        const auto completed = std::make_shared<bool>(false);
        session.dataTask(post(peer.url()), [completed](auto &&...) { *completed = true; });
        URLSession::whenRequestBodiesSent(waiter);
        URLSession::whenRequestBodiesSent(waiter);
        EXPECT_EQ(ran, 1);
        ASSERT_TRUE(kova::test::waitUntil([&] { return ran == 3; }));
        EXPECT_FALSE(*completed);
        EXPECT_TRUE(kova::test::waitUntil([&] { return peer.received().endsWith("\r\n\r\n{\"a\":1}"); }));
    }
    kova::test::drainMainQueue();

    // No server: the body is never read, and the waiter runs when the
    // exchange has failed.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    URLSession session;
    std::optional<Error> failure;
    session.dataTask(post(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))),
                     [&](const QByteArray &, const std::optional<HTTPURLResponse> &, const std::optional<Error> &e) { failure = e; });
    URLSession::whenRequestBodiesSent(waiter);
    ASSERT_TRUE(kova::test::waitUntil([&] { return ran == 4; }));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->code, -1004);
    kova::test::drainMainQueue();
    EXPECT_EQ(ran, 4);
}

namespace {

// Serves requests on keep-alive connections: answers each with a fixed reply,
// except the ones whose number (from 1, over all connections) is in `drops`,
// for which it closes the connection after reading the whole request.
class KeepAlivePeer : public QObject {
public:
    explicit KeepAlivePeer(QList<int> drops) : m_drops(std::move(drops))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            ++m_connections;
            m_mostOpen = std::max(m_mostOpen, ++m_open);
            QObject::connect(socket, &QTcpSocket::disconnected, this, [this] { --m_open; });
            auto buffer = std::make_shared<QByteArray>();
            auto lastReply = std::make_shared<QElapsedTimer>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer, lastReply] {
                *buffer += socket->readAll();
                while (const std::optional<kova::test::PeerRequest> request = kova::test::takeRequest(*buffer)) {
                    m_bodies.append(request->body);
                    if (m_onRequest)
                        m_onRequest();
                    const bool pastIdleLimit =
                        m_idleLimit > 0 && lastReply->isValid() && lastReply->elapsed() >= m_idleLimit;
                    if (m_drops.contains(int(m_bodies.size())) || pastIdleLimit) {
                        socket->abort();
                        return;
                    }
                    const auto reply = [this, socket, lastReply] {
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: keep-alive\r\n" + m_keepAlive
                                      + "\r\n{}");
                        lastReply->start();
                    };
                    if (m_staggered)
                        QTimer::singleShot(std::chrono::milliseconds(m_bodies.size() % 3), socket, reply);
                    else
                        reply();
                }
            });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/pay").arg(m_server.serverPort())); }
    QList<QByteArray> bodies() const { return m_bodies; }
    int connections() const { return m_connections; }
    // The most connections it had open at any one time.
    int mostOpenAtOnce() const { return m_mostOpen; }
    // Runs as each request has been read, before its reply goes out.
    void onRequest(std::function<void()> what) { m_onRequest = std::move(what); }
    // Replies go out 0, 1 or 2 ms late in turn, so exchanges end out of step.
    void stagger() { m_staggered = true; }
    // Replies carry "Keep-Alive: `value`", and a request that comes once its
    // connection has been idle for `idleLimit` ms is dropped unanswered, as
    // by a server whose close at its idle limit crossed it on the wire.
    void announceKeepAlive(const QByteArray &value, qint64 idleLimit = 0)
    {
        m_keepAlive = "Keep-Alive: " + value + "\r\n";
        m_idleLimit = idleLimit;
    }

private:
    QByteArray m_keepAlive;
    qint64 m_idleLimit = 0;
    std::function<void()> m_onRequest;
    bool m_staggered = false;
    QList<int> m_drops;
    QList<QByteArray> m_bodies;
    int m_connections = 0;
    int m_open = 0;
    int m_mostOpen = 0;
    QTcpServer m_server;
};

class EnvironmentValue {
public:
    EnvironmentValue(const char *name, const QByteArray &value) : m_name(name), m_old(qgetenv(name)),
                                                                  m_wasSet(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~EnvironmentValue()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    QByteArray m_old;
    bool m_wasSet;
};

} // namespace

TEST(URLSessionTest, PostOnADroppedReusedConnectionReachesTheServerOnceAndFails)
{
    KeepAlivePeer peer({2});
    URLSession session;
    URLRequest first = post(peer.url());
    first.httpBody = "{\"transfer\":1}";
    const Outcome one = run(session, first);
    ASSERT_FALSE(one.error.has_value());
    EXPECT_EQ(one.data, "{}");

    URLRequest second = post(peer.url());
    second.httpBody = "{\"transfer\":2}";
    const Outcome two = run(session, second);
    ASSERT_TRUE(two.error.has_value());
    EXPECT_EQ(two.error->domain, "NSURLErrorDomain");
    EXPECT_EQ(two.error->code, -1005);
    EXPECT_FALSE(two.response.has_value());
    kova::test::drainMainQueue();
    // The second request went out on the first one's connection and only once.
    EXPECT_EQ(peer.bodies(), (QList<QByteArray>{"{\"transfer\":1}", "{\"transfer\":2}"}));
    EXPECT_EQ(peer.connections(), 1);

    // The session goes on with a fresh connection.
    URLRequest third = post(peer.url());
    third.httpBody = "{\"transfer\":3}";
    const Outcome three = run(session, third);
    ASSERT_FALSE(three.error.has_value());
    EXPECT_EQ(peer.bodies().size(), 3);
    EXPECT_EQ(peer.bodies().last(), "{\"transfer\":3}");
}

TEST(URLSessionTest, KeepAliveConnectionIsReusedForConsecutivePosts)
{
    KeepAlivePeer peer({});
    URLSession session;
    for (int i = 0; i < 5; ++i)
        ASSERT_FALSE(run(session, post(peer.url())).error.has_value());
    EXPECT_EQ(peer.bodies().size(), 5);
    EXPECT_EQ(peer.connections(), 1);
}

TEST(URLSessionTest, ReusedConnectionsLeaveNoTimersBehind)
{
    KeepAlivePeer peer({});
    URLSession session;
    ASSERT_FALSE(run(session, post(peer.url())).error.has_value());
    // A one-off timer stays with the loop's dispatcher until it fires: one
    // left by each call would outlive the call.
    const QAbstractEventDispatcher *loop = QAbstractEventDispatcher::instance();
    const qsizetype before = loop->children().size();
    for (int i = 0; i < 50; ++i)
        ASSERT_FALSE(run(session, post(peer.url())).error.has_value());
    EXPECT_EQ(peer.connections(), 1);
    EXPECT_LE(loop->children().size(), before);
}

TEST(URLSessionTest, ConnectionIsNotReusedPastWhatTheServerAnnounced)
{
    {
        KeepAlivePeer peer({});
        peer.announceKeepAlive("timeout=1, max=100", 1000);
        URLSession session;
        ASSERT_FALSE(run(session, post(peer.url())).error.has_value());
        ASSERT_FALSE(run(session, post(peer.url())).error.has_value());
        EXPECT_EQ(peer.connections(), 1);
        QElapsedTimer idle;
        idle.start();
        ASSERT_TRUE(kova::test::waitUntil([&] { return idle.elapsed() > 1000; }));
        const Outcome late = run(session, post(peer.url()));
        ASSERT_FALSE(late.error.has_value()) << late.code();
        EXPECT_EQ(late.data, "{}");
        EXPECT_EQ(peer.connections(), 2);
        EXPECT_EQ(peer.bodies().size(), 3);
    }
    {
        // No requests left on it.
        KeepAlivePeer peer({});
        peer.announceKeepAlive("timeout=5, max=0");
        URLSession session;
        ASSERT_FALSE(run(session, post(peer.url())).error.has_value());
        ASSERT_FALSE(run(session, post(peer.url())).error.has_value());
        EXPECT_EQ(peer.connections(), 2);
    }
}

TEST(URLSessionTest, PlainHttpGoesOnlyToLoopbackUnlessTheHostOptsIn)
{
    EXPECT_TRUE(isAllowedByTransportSecurity(QUrl("http://127.0.0.1:8/")));
    EXPECT_TRUE(isAllowedByTransportSecurity(QUrl("http://127.8.0.1/")));
    EXPECT_TRUE(isAllowedByTransportSecurity(QUrl("http://[::1]:80/")));
    EXPECT_TRUE(isAllowedByTransportSecurity(QUrl("http://LocalHost/")));
    EXPECT_TRUE(isAllowedByTransportSecurity(QUrl("https://bank.example/")));
    EXPECT_FALSE(isAllowedByTransportSecurity(QUrl("http://bank.example/")));
    EXPECT_FALSE(isAllowedByTransportSecurity(QUrl("HTTP://10.0.0.1/")));
    EXPECT_FALSE(isAllowedByTransportSecurity(QUrl("http://localhost.bank.example/")));

    URLSession session;
    {
        EnvironmentValue off("KOVA_ALLOWS_ARBITRARY_LOADS", "1");
        const Outcome o = run(session, post(QUrl("http://bank.invalid/app-server")));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
        EXPECT_EQ(o.error->code, -1022);
        EXPECT_EQ(o.error->localizedDescription(),
                  "The resource could not be loaded because the App Transport Security policy requires the use of a "
                  "secure connection.");
        EXPECT_EQ(o.error->userInfo.value("NSErrorFailingURLStringKey").toString(), "http://bank.invalid/app-server");
    }
    {
        EnvironmentValue on("KOVA_ALLOWS_ARBITRARY_LOADS", "yes");
        EXPECT_TRUE(isAllowedByTransportSecurity(QUrl("http://bank.example/")));
        const Outcome o = run(session, post(QUrl("http://bank.invalid/app-server")));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_NE(o.error->code, -1022); // it was sent: the name does not resolve
    }
}

TEST(URLSessionTest, ReplyLongerThanTheBoundFailsWithoutBeingReadWhole)
{
    URLSessionConfiguration bounded;
    bounded.maximumReplyBytes = 1024 * 1024;
    {
        // Declared too long: refused on the headers alone.
        Peer peer(Peer::Mode::Reply, "HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n{\"a\":");
        URLSession session(bounded);
        const Outcome o = run(session, post(peer.url()));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
        EXPECT_EQ(o.error->code, -1103);
        EXPECT_EQ(o.error->localizedDescription(), "resource exceeds maximum size");
        EXPECT_TRUE(o.data.isEmpty());
        EXPECT_FALSE(o.response.has_value());
    }
    {
        // No declared length: stopped once more than the bound has come.
        QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        const QByteArray chunk(64 * 1024, 'x');
        for (int i = 0; i < 24; ++i)
            chunked += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
        chunked += "0\r\n\r\n";
        Peer peer(Peer::Mode::Reply, chunked);
        URLSession session(bounded);
        const Outcome o = run(session, post(peer.url()));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.error->code, -1103);
    }
    {
        // Exactly the bound is still a reply.
        const QByteArray body(1024 * 1024, 'y');
        Peer peer(Peer::Mode::Reply, "HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n" + body);
        URLSession session(bounded);
        const Outcome o = run(session, post(peer.url()));
        ASSERT_FALSE(o.error.has_value());
        EXPECT_EQ(o.data.size(), body.size());
    }
}

namespace {

// An HTTP proxy that opens a tunnel on CONNECT and then plays the server at
// its far end itself: it answers the request that comes through the tunnel.
class TunnellingProxy : public QObject {
public:
    TunnellingProxy()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            auto buffer = std::make_shared<QByteArray>();
            auto tunnelled = std::make_shared<bool>(false);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer, tunnelled] {
                *buffer += socket->readAll();
                while (const std::optional<kova::test::PeerRequest> request = kova::test::takeRequest(*buffer)) {
                    if (!std::exchange(*tunnelled, true)) {
                        m_connects.append(request->head.left(request->head.indexOf("\r\n")));
                        socket->write("HTTP/1.1 200 Connection established\r\n\r\n");
                        continue;
                    }
                    m_requests.append(request->head + request->body);
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n{\"via\":\"p\"}");
                }
            });
        });
    }
    QNetworkProxy proxy(QNetworkProxy::ProxyType type = QNetworkProxy::HttpProxy) const
    {
        return QNetworkProxy(type, QStringLiteral("127.0.0.1"), m_server.serverPort());
    }
    QList<QByteArray> connects() const { return m_connects; }
    QList<QByteArray> requests() const { return m_requests; }

private:
    QTcpServer m_server;
    QList<QByteArray> m_connects;
    QList<QByteArray> m_requests;
};

class ApplicationProxy {
public:
    explicit ApplicationProxy(const QNetworkProxy &proxy) : m_old(QNetworkProxy::applicationProxy())
    {
        QNetworkProxy::setApplicationProxy(proxy);
    }
    ~ApplicationProxy() { QNetworkProxy::setApplicationProxy(m_old); }

private:
    QNetworkProxy m_old;
};

} // namespace

TEST(URLSessionTest, AnApplicationProxyCarriesRequestsThroughATunnelAndLeavesLoopbackAlone)
{
    EnvironmentValue on("KOVA_ALLOWS_ARBITRARY_LOADS", "YES");
    TunnellingProxy tunnel;
    URLSession session;
    {
        ApplicationProxy proxied(tunnel.proxy());
        const Outcome o = run(session, post(QUrl("http://bank.example:8080/app-server")));
        ASSERT_FALSE(o.error.has_value()) << o.error->code;
        EXPECT_EQ(o.data, "{\"via\":\"p\"}");
        EXPECT_EQ(tunnel.connects(), (QList<QByteArray>{"CONNECT bank.example:8080 HTTP/1.1"}));
        ASSERT_EQ(tunnel.requests().size(), 1);
        EXPECT_TRUE(tunnel.requests()[0].startsWith("POST /app-server HTTP/1.1\r\nHost: bank.example:8080\r\n"))
            << tunnel.requests()[0].constData();

        // Loopback never goes through it.
        Peer peer(Peer::Mode::Reply, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}");
        const Outcome local = run(session, post(peer.url()));
        ASSERT_FALSE(local.error.has_value());
        EXPECT_EQ(local.data, "{}");
        EXPECT_EQ(tunnel.connects().size(), 1);
    }
    {
        // A proxy that can only forward plain requests is never a tunnel: the
        // call fails rather than going around it.
        ApplicationProxy caching(tunnel.proxy(QNetworkProxy::HttpCachingProxy));
        const Outcome o = run(session, post(QUrl("http://bank.example:8080/app-server")));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.error->code, -1);
        EXPECT_EQ(tunnel.connects().size(), 1);
    }
}

TEST(URLSessionTest, CallsToOneServerShareAtMostSixConnections)
{
    KeepAlivePeer peer({});
    URLSession session;
    int done = 0;
    QList<QByteArray> replies;
    for (int i = 0; i < 20; ++i) {
        URLRequest request = post(peer.url());
        request.httpBody = "{\"n\":" + QByteArray::number(i) + "}";
        session.dataTask(request, [&](const QByteArray &data, const auto &, const std::optional<Error> &error) {
            ++done;
            if (!error)
                replies.append(data);
        });
    }
    ASSERT_TRUE(kova::test::waitUntil([&] { return done == 20; }));
    EXPECT_EQ(replies, QList<QByteArray>(20, "{}"));
    EXPECT_EQ(peer.bodies().size(), 20);
    // The six opened first carry the rest once they are free.
    EXPECT_EQ(peer.connections(), 6);
}

TEST(URLSessionTest, CallsStartingWhileOthersWaitNeverOpenASeventhConnection)
{
    KeepAlivePeer peer({});
    URLSession session;
    constexpr int kCalls = 150;
    int started = 0;
    int done = 0;
    int failed = 0;
    const auto startOne = [&] {
        ++started;
        session.dataTask(post(peer.url()), [&](const QByteArray &, const auto &, const std::optional<Error> &error) {
            ++done;
            failed += error ? 1 : 0;
        });
    };
    // A burst, then one more as each request reaches the server: new calls
    // meet exchanges ending and waiters being let in at every point.
    peer.stagger();
    for (int i = 0; i < 20; ++i)
        startOne();
    peer.onRequest([&] {
        if (started < kCalls)
            startOne();
    });
    ASSERT_TRUE(kova::test::waitUntil([&] { return done == kCalls; }));
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(peer.bodies().size(), kCalls);
    EXPECT_LE(peer.mostOpenAtOnce(), 6);
    EXPECT_LE(peer.connections(), 6);
}

namespace {

// Answers each request on keep-alive connections by its path, and keeps the
// heads it read.
class PathPeer : public QObject {
public:
    explicit PathPeer(std::map<QByteArray, QByteArray> replies) : m_replies(std::move(replies))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                while (const std::optional<kova::test::PeerRequest> request = kova::test::takeRequest(*buffer)) {
                    const QByteArray head = request->head;
                    m_heads.append(head);
                    const QByteArray path = head.split(' ').value(1);
                    socket->write(m_replies.count(path) ? m_replies.at(path)
                                                        : "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
                }
            });
        });
    }
    QUrl url(const char *path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(QLatin1String(path)));
    }
    QByteArray cookieSentFor(const QByteArray &path) const
    {
        for (const QByteArray &head : m_heads) {
            if (head.split(' ').value(1) != path)
                continue;
            for (const QByteArray &line : head.split('\n'))
                if (line.startsWith("Cookie: "))
                    return line.mid(8).trimmed();
            return "(none)";
        }
        return "(not asked)";
    }

private:
    std::map<QByteArray, QByteArray> m_replies;
    QList<QByteArray> m_heads;
    QTcpServer m_server;
};

} // namespace

TEST(URLSessionTest, CookiesAServerSetsGoBackToItForTheSessionsLife)
{
    PathPeer peer({
        {"/login", "HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; Path=/\r\nSet-Cookie: only=here; Path=/login\r\n"
                   "Content-Length: 2\r\n\r\n{}"},
        {"/next", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}"},
        {"/hop", "HTTP/1.1 302 Found\r\nLocation: /landing\r\nSet-Cookie: hop=1; Path=/\r\nContent-Length: 0\r\n\r\n"},
        {"/landing", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}"},
        {"/elsewhere", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}"},
    });
    URLSession session;
    ASSERT_FALSE(run(session, kova::test::requestOf("GET", peer.url("/login"))).error.has_value());
    ASSERT_FALSE(run(session, post(peer.url("/next"))).error.has_value());
    // Only the cookies for the address asked for, and a redirect's own
    // cookies reach the hop after it.
    EXPECT_EQ(peer.cookieSentFor("/login"), "(none)");
    EXPECT_EQ(peer.cookieSentFor("/next"), "sid=abc");
    ASSERT_FALSE(run(session, kova::test::requestOf("GET", peer.url("/hop"))).error.has_value());
    EXPECT_EQ(peer.cookieSentFor("/hop"), "sid=abc");
    EXPECT_EQ(peer.cookieSentFor("/landing"), "sid=abc; hop=1");

    // They belong to the session that heard them.
    URLSession other;
    ASSERT_FALSE(run(other, kova::test::requestOf("GET", peer.url("/elsewhere"))).error.has_value());
    EXPECT_EQ(peer.cookieSentFor("/elsewhere"), "(none)");
}
