#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <gtest/gtest.h>

#include "platform/net/URLSession.h"
#include "tests/platform/URLSessionCalls.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;
using kova::test::Outcome;
using kova::test::run;

// The certificates these tests use are committed next to them (tls/, made by
// tls/make-certificates.sh), not made at run time: the run then needs no
// openssl program, spawns nothing, and sees the same bytes every time. They
// are valid until 2126; the keys guard nothing but these tests.

namespace {

QByteArray tlsFile(const char *name)
{
    QFile file(QStringLiteral(KOVA_TLS_TEST_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << file.fileName().toStdString();
    return file.readAll();
}

QSslCertificate testCa()
{
    const QSslCertificate ca(tlsFile("ca.pem"), QSsl::Pem);
    EXPECT_FALSE(ca.isNull());
    return ca;
}

// Adds the tests' CA to what every new TLS connection trusts, for as long as
// it lives.
class TrustedTestCa {
public:
    TrustedTestCa() : m_saved(QSslConfiguration::defaultConfiguration())
    {
        QSslConfiguration trusting = m_saved;
        trusting.addCaCertificate(testCa());
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    ~TrustedTestCa() { QSslConfiguration::setDefaultConfiguration(m_saved); }
    TrustedTestCa(const TrustedTestCa &) = delete;
    TrustedTestCa &operator=(const TrustedTestCa &) = delete;

private:
    QSslConfiguration m_saved;
};

// An HTTPS server on loopback presenting the certificate `name` (tls/<name>.pem).
// It serves requests on keep-alive connections, answering request number n
// (from 1, over all connections) with 201 and the body {"n":n}, unless its
// mode says otherwise.
class TlsPeer : public QTcpServer {
public:
    enum class Mode {
        Serve,
        // Closes each connection once its first reply is out, though the
        // reply says keep-alive.
        CloseAfterReply,
        // Closes (close_notify, then the TCP end) as soon as the handshake is done.
        CloseAfterHandshake,
        // Drops the TCP connection as soon as the handshake is done.
        AbortAfterHandshake,
        // Reads the whole request number `lastServed` + 1, then closes
        // (close_notify, then the TCP end) without a reply.
        CloseAfterRequest,
        // The same, but drops the TCP connection.
        AbortAfterRequest,
    };

    TlsPeer(const char *name, Mode mode, int lastServed = 0) : m_mode(mode), m_lastServed(lastServed)
    {
        m_configuration = QSslConfiguration::defaultConfiguration();
        m_configuration.setLocalCertificate(QSslCertificate(tlsFile((QByteArray(name) + ".pem").constData()), QSsl::Pem));
        m_configuration.setPrivateKey(QSslKey(tlsFile((QByteArray(name) + ".key").constData()), QSsl::Ec, QSsl::Pem));
        m_configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        EXPECT_FALSE(m_configuration.localCertificate().isNull());
        EXPECT_FALSE(m_configuration.privateKey().isNull());
        EXPECT_TRUE(listen(QHostAddress::LocalHost));
    }
    ~TlsPeer() override
    {
        // The connections' handlers reach into this object: they go first.
        for (QSslSocket *socket : findChildren<QSslSocket *>(Qt::FindDirectChildrenOnly)) {
            socket->disconnect();
            delete socket;
        }
    }

    QUrl url(const QString &host = QStringLiteral("localhost")) const
    {
        return QUrl(QStringLiteral("https://%1:%2/path").arg(host).arg(serverPort()));
    }
    // TCP connections accepted, and how many of them finished the handshake.
    int connections() const { return m_connections; }
    int handshakes() const { return m_handshakes; }
    // Every byte the server read in the clear, and the requests whole in it.
    QByteArray received() const { return m_received; }
    QList<QByteArray> heads() const { return m_heads; }
    QList<QByteArray> bodies() const { return m_bodies; }
    int closed() const { return m_closed; }
    // Every request is answered with a redirect to `location` from now on.
    void redirectTo(const QUrl &location) { m_location = location.toEncoded(); }
    // Every request is answered with `body` from now on: with its length when
    // `chunk` is 0, in chunks of `chunk` bytes when it is more, and ended by
    // closing the connection when it is less.
    void answerWith(const QByteArray &body, int chunk = 0)
    {
        m_body = body;
        m_chunk = chunk;
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            ADD_FAILURE() << "cannot take the connection";
            delete socket;
            return;
        }
        ++m_connections;
        socket->setSslConfiguration(m_configuration);
        QObject::connect(socket, &QSslSocket::encrypted, socket, [this, socket] {
            ++m_handshakes;
            if (m_mode == Mode::CloseAfterHandshake)
                socket->disconnectFromHost();
            else if (m_mode == Mode::AbortAfterHandshake)
                socket->abort();
        });
        QObject::connect(socket, &QSslSocket::disconnected, socket, [this, socket] {
            ++m_closed;
            socket->deleteLater();
        });
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QSslSocket::readyRead, socket, [this, socket, buffer] {
            const QByteArray bytes = socket->readAll();
            m_received += bytes;
            *buffer += bytes;
            while (const std::optional<kova::test::PeerRequest> request = kova::test::takeRequest(*buffer)) {
                m_heads.append(request->head);
                m_bodies.append(request->body);
                if (m_bodies.size() == m_lastServed + 1) {
                    if (m_mode == Mode::CloseAfterRequest) {
                        socket->disconnectFromHost();
                        return;
                    }
                    if (m_mode == Mode::AbortAfterRequest) {
                        socket->abort();
                        return;
                    }
                }
                if (!m_location.isEmpty()) {
                    socket->write("HTTP/1.1 302 Found\r\nLocation: " + m_location + "\r\nContent-Length: 0\r\n\r\n");
                    continue;
                }
                if (!m_body.isEmpty()) {
                    writeBody(socket);
                    continue;
                }
                const QByteArray body = "{\"n\":" + QByteArray::number(m_bodies.size()) + "}";
                socket->write("HTTP/1.1 201 Created\r\nContent-Type: application/json\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\nConnection: keep-alive\r\n\r\n" + body);
                if (m_mode == Mode::CloseAfterReply) {
                    socket->disconnectFromHost();
                    return;
                }
            }
        });
        socket->startServerEncryption();
    }

private:
    void writeBody(QSslSocket *socket) const
    {
        if (m_chunk < 0) {
            socket->write("HTTP/1.1 200 OK\r\n\r\n" + m_body);
            socket->disconnectFromHost();
            return;
        }
        if (m_chunk == 0) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body);
            return;
        }
        socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
        for (qsizetype at = 0; at < m_body.size(); at += m_chunk) {
            const QByteArray part = m_body.mid(at, m_chunk);
            socket->write(QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n");
        }
        socket->write("0\r\n\r\n");
    }

    Mode m_mode;
    int m_lastServed;
    QByteArray m_location;
    QByteArray m_body;
    int m_chunk = 0;
    QSslConfiguration m_configuration;
    int m_connections = 0;
    int m_handshakes = 0;
    int m_closed = 0;
    QByteArray m_received;
    QList<QByteArray> m_heads;
    QList<QByteArray> m_bodies;
};

URLRequest post(const QUrl &url, const QByteArray &body)
{
    return kova::test::requestOf("POST", url, body, {{"Content-Type", "application/json"}});
}

URLRequest get(const QUrl &url)
{
    return kova::test::requestOf("GET", url);
}

std::string describe(const Outcome &o)
{
    if (o.error)
        return "error " + std::to_string(o.error->code) + " " + o.error->localizedDescription().toStdString();
    if (o.response)
        return "status " + std::to_string(o.response->statusCode) + " body " + o.data.toStdString();
    return "nothing";
}

} // namespace

TEST(URLSessionTlsTest, TrustedServerGetsEachPostOnceOnOneConnection)
{
    // By name and by address: the certificate names both.
    for (const QString &host : {QStringLiteral("localhost"), QStringLiteral("127.0.0.1")}) {
        SCOPED_TRACE(host.toStdString());
        const TrustedTestCa trusted;
        TlsPeer peer("localhost", TlsPeer::Mode::Serve);
        URLSession session;

        const Outcome one = run(session, post(peer.url(host), "{\"transfer\":1}"));
        ASSERT_FALSE(one.error.has_value()) << describe(one);
        ASSERT_TRUE(one.response.has_value());
        EXPECT_EQ(one.response->statusCode, 201);
        EXPECT_EQ(one.response->url, peer.url(host));
        EXPECT_EQ(one.data, "{\"n\":1}");

        const Outcome two = run(session, post(peer.url(host), "{\"transfer\":2}"));
        ASSERT_FALSE(two.error.has_value()) << describe(two);
        EXPECT_EQ(two.response->statusCode, 201);
        EXPECT_EQ(two.data, "{\"n\":2}");

        EXPECT_EQ(peer.bodies(), (QList<QByteArray>{"{\"transfer\":1}", "{\"transfer\":2}"}));
        EXPECT_EQ(peer.connections(), 1);
        EXPECT_EQ(peer.handshakes(), 1);
        ASSERT_EQ(peer.heads().size(), 2);
        const QByteArray head = peer.heads().first();
        EXPECT_TRUE(head.startsWith("POST /path HTTP/1.1\r\nHost: " + host.toLatin1() + ':'
                                    + QByteArray::number(peer.serverPort()) + "\r\n"))
            << head.constData();
        EXPECT_TRUE(head.contains("\r\nContent-Length: 14\r\n")) << head.constData();
        EXPECT_TRUE(head.contains("\r\nContent-Type: application/json\r\n")) << head.constData();
        // Nothing but the two requests went over the connection.
        EXPECT_EQ(peer.received(), peer.heads()[0] + peer.bodies()[0] + peer.heads()[1] + peer.bodies()[1]);
    }
}

TEST(URLSessionTlsTest, CertificateTheClientCannotTrustFailsBeforeTheRequestGoesOut)
{
    struct Case {
        const char *what;
        const char *certificate;
        bool trustCa;
    };
    const Case cases[] = {
        {"issuer not trusted", "localhost", false},
        {"name does not match", "other.example", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<TrustedTestCa> trusted;
        if (c.trustCa)
            trusted.emplace();
        TlsPeer peer(c.certificate, TlsPeer::Mode::Serve);
        URLSession session;
        const Outcome o = run(session, post(peer.url(), "{\"transfer\":1}"));
        ASSERT_TRUE(o.error.has_value()) << describe(o);
        EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
        EXPECT_EQ(o.error->code, -1200);
        EXPECT_EQ(o.error->localizedDescription(),
                  "An SSL error has occurred and a secure connection to the server cannot be made.");
        EXPECT_FALSE(o.response.has_value());
        EXPECT_TRUE(o.data.isEmpty());
        // The server was reached, and heard nothing of the request.
        EXPECT_EQ(peer.connections(), 1);
        EXPECT_TRUE(kova::test::waitUntil([&] { return peer.closed() == 1; }));
        EXPECT_TRUE(peer.received().isEmpty()) << peer.received().constData();
    }
}

TEST(URLSessionTlsTest, ConnectionClosedBeforeAnyReplyLosesThePostAndNeverSendsItAgain)
{
    struct Case {
        const char *what;
        TlsPeer::Mode mode;
        // Whether the server surely reads the request before it closes.
        bool readsRequest;
    };
    const Case cases[] = {
        {"closed after the handshake", TlsPeer::Mode::CloseAfterHandshake, false},
        {"dropped after the handshake", TlsPeer::Mode::AbortAfterHandshake, false},
        {"closed after the request", TlsPeer::Mode::CloseAfterRequest, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const TrustedTestCa trusted;
        TlsPeer peer("localhost", c.mode);
        URLSession session;
        const Outcome o = run(session, post(peer.url(), "{\"transfer\":1}"));
        ASSERT_TRUE(o.error.has_value()) << describe(o);
        EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
        EXPECT_EQ(o.error->code, -1005);
        EXPECT_FALSE(o.response.has_value());
        kova::test::drainMainQueue();
        EXPECT_EQ(peer.connections(), 1);
        EXPECT_EQ(peer.handshakes(), 1);
        // One connection, so the request went out at most once. A server
        // closing right after the handshake may still have read it first.
        const QList<QByteArray> once{"{\"transfer\":1}"};
        if (c.readsRequest)
            EXPECT_EQ(peer.bodies(), once);
        else
            EXPECT_TRUE(peer.bodies().isEmpty() || peer.bodies() == once) << peer.received().constData();
    }
}

TEST(URLSessionTlsTest, FetchOnAReusedConnectionTheServerClosedGoesOutOnANewOne)
{
    const TrustedTestCa trusted;
    TlsPeer peer("localhost", TlsPeer::Mode::CloseAfterReply);
    URLSession session;
    const Outcome one = run(session, get(peer.url()));
    ASSERT_FALSE(one.error.has_value()) << describe(one);
    EXPECT_EQ(one.data, "{\"n\":1}");
    // Whether the client saw the close while the connection was idle or only
    // once it sent on it, the fetch is answered on a second connection.
    const Outcome two = run(session, get(peer.url()));
    ASSERT_FALSE(two.error.has_value()) << describe(two);
    EXPECT_EQ(two.response->statusCode, 201);
    EXPECT_EQ(two.data, "{\"n\":2}");
    EXPECT_EQ(peer.connections(), 2);
    ASSERT_EQ(peer.heads().size(), 2);
    EXPECT_TRUE(peer.heads()[1].startsWith("GET /path HTTP/1.1\r\n")) << peer.heads()[1].constData();
}

TEST(URLSessionTlsTest, ReusedConnectionClosedOnTheRequestFailsAPostButSendsAFetchAgain)
{
    struct Case {
        const char *what;
        TlsPeer::Mode mode;
        QByteArray method;
    };
    const Case cases[] = {
        {"post, closed", TlsPeer::Mode::CloseAfterRequest, "POST"},
        {"post, dropped", TlsPeer::Mode::AbortAfterRequest, "POST"},
        {"get, closed", TlsPeer::Mode::CloseAfterRequest, "GET"},
        {"get, dropped", TlsPeer::Mode::AbortAfterRequest, "GET"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const TrustedTestCa trusted;
        // The first request is served; the second, on the same connection, is
        // read whole and then the connection goes.
        TlsPeer peer("localhost", c.mode, 1);
        URLSession session;
        URLRequest first = post(peer.url(), "{\"transfer\":1}");
        first.httpMethod = c.method;
        if (c.method == "GET")
            first.httpBody.clear();
        const Outcome one = run(session, first);
        ASSERT_FALSE(one.error.has_value()) << describe(one);
        EXPECT_EQ(one.data, "{\"n\":1}");

        URLRequest second = post(peer.url(), "{\"transfer\":2}");
        second.httpMethod = c.method;
        if (c.method == "GET")
            second.httpBody.clear();
        const Outcome two = run(session, second);
        kova::test::drainMainQueue();
        if (c.method == "POST") {
            ASSERT_TRUE(two.error.has_value()) << describe(two);
            EXPECT_EQ(two.error->domain, "NSURLErrorDomain");
            EXPECT_EQ(two.error->code, -1005);
            EXPECT_FALSE(two.response.has_value());
            EXPECT_EQ(peer.bodies(), (QList<QByteArray>{"{\"transfer\":1}", "{\"transfer\":2}"}));
            EXPECT_EQ(peer.connections(), 1);
        } else {
            // Sent once more, on a new connection, and answered there.
            ASSERT_FALSE(two.error.has_value()) << describe(two);
            EXPECT_EQ(two.response->statusCode, 201);
            EXPECT_EQ(two.data, "{\"n\":3}");
            EXPECT_EQ(peer.connections(), 2);
            ASSERT_EQ(peer.heads().size(), 3);
            for (const QByteArray &head : peer.heads())
                EXPECT_TRUE(head.startsWith("GET /path HTTP/1.1\r\n")) << head.constData();
        }
    }
}

TEST(URLSessionTlsTest, FetchFollowsARedirectToHttpsButNeverDownToHttp)
{
    const TrustedTestCa trusted;
    TlsPeer target("localhost", TlsPeer::Mode::Serve);
    QTcpServer plain;
    ASSERT_TRUE(plain.listen(QHostAddress::LocalHost));
    int plainConnections = 0;
    QObject::connect(&plain, &QTcpServer::newConnection, &plain, [&] {
        while (QTcpSocket *socket = plain.nextPendingConnection()) {
            ++plainConnections;
            socket->abort();
            socket->deleteLater();
        }
    });
    const QUrl secure(QStringLiteral("https://localhost:%1/next").arg(target.serverPort()));
    // Loopback: plain http there is allowed on its own, just not after https.
    const QUrl insecure(QStringLiteral("http://127.0.0.1:%1/next").arg(plain.serverPort()));

    {
        SCOPED_TRACE("to https");
        TlsPeer source("localhost", TlsPeer::Mode::Serve);
        source.redirectTo(secure);
        URLSession session;
        const Outcome o = run(session, get(source.url()));
        ASSERT_FALSE(o.error.has_value()) << describe(o);
        EXPECT_EQ(o.response->statusCode, 201);
        EXPECT_EQ(o.response->url, secure);
        EXPECT_EQ(o.data, "{\"n\":1}");
        EXPECT_EQ(source.heads().size(), 1);
        ASSERT_EQ(target.heads().size(), 1);
        EXPECT_TRUE(target.heads()[0].startsWith("GET /next HTTP/1.1\r\nHost: localhost:"
                                                 + QByteArray::number(target.serverPort()) + "\r\n"))
            << target.heads()[0].constData();
    }
    {
        SCOPED_TRACE("to http");
        TlsPeer source("localhost", TlsPeer::Mode::Serve);
        source.redirectTo(insecure);
        URLSession session;
        const Outcome o = run(session, get(source.url()));
        ASSERT_TRUE(o.error.has_value()) << describe(o);
        EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
        EXPECT_EQ(o.error->code, -1022);
        EXPECT_FALSE(o.response.has_value());
        EXPECT_EQ(source.heads().size(), 1);
        kova::test::drainMainQueue();
        EXPECT_EQ(plainConnections, 0);
    }
    {
        // Each hop is held to the one before it, not to where the fetch began.
        SCOPED_TRACE("http, then https, then http");
        TlsPeer middle("localhost", TlsPeer::Mode::Serve);
        middle.redirectTo(insecure);
        QTcpServer start;
        ASSERT_TRUE(start.listen(QHostAddress::LocalHost));
        QObject::connect(&start, &QTcpServer::newConnection, &start, [&] {
            QTcpSocket *socket = start.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &middle] {
                if (!socket->peek(1 << 16).contains("\r\n\r\n"))
                    return;
                socket->readAll();
                socket->write("HTTP/1.1 302 Found\r\nLocation: " + middle.url().toEncoded()
                              + "\r\nContent-Length: 0\r\n\r\n");
            });
        });
        URLSession session;
        const Outcome o = run(session, get(QUrl(QStringLiteral("http://127.0.0.1:%1/start").arg(start.serverPort()))));
        ASSERT_TRUE(o.error.has_value()) << describe(o);
        EXPECT_EQ(o.error->code, -1022);
        EXPECT_EQ(middle.heads().size(), 1);
        kova::test::drainMainQueue();
        EXPECT_EQ(plainConnections, 0);
    }
}

TEST(URLSessionTlsTest, ServerThatDoesNotSpeakTlsFailsTheCall)
{
    struct Case {
        const char *what;
        // What the server writes once the client has spoken; nothing for none.
        QByteArray answer;
        qint64 code;
    };
    const Case cases[] = {
        {"never answers the handshake", {}, -1001},
        {"answers in plain http", "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", -1200},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        QByteArray heard;
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket *socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                heard += socket->readAll();
                if (!c.answer.isEmpty())
                    socket->write(c.answer);
            });
        });
        URLSession session(URLSessionConfiguration{std::chrono::milliseconds(300), std::chrono::seconds(10)});
        const Outcome o = run(session, post(QUrl(QStringLiteral("https://localhost:%1/path").arg(server.serverPort())),
                                            "{\"transfer\":1}"));
        ASSERT_TRUE(o.error.has_value()) << describe(o);
        EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
        EXPECT_EQ(o.error->code, c.code);
        EXPECT_FALSE(o.response.has_value());
        // It heard a TLS hello (a handshake record), never the request.
        ASSERT_FALSE(heard.isEmpty());
        EXPECT_EQ(heard.at(0), '\x16');
        EXPECT_FALSE(heard.contains("transfer"));
    }
}

TEST(URLSessionTlsTest, LargeBodiesCrossTheConnectionWholeBothWays)
{
    // Bodies spanning many TLS records and many reads of the bounded socket
    // buffer, with no repeating pattern a lost or doubled slice could hide in.
    const auto bytes = [](qsizetype size, quint32 seed) {
        QByteArray out(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i) {
            seed = seed * 1664525u + 1013904223u;
            out[i] = char(seed >> 24);
        }
        return out;
    };
    const QByteArray request = bytes(1024 * 1024 + 3, 1);
    const QByteArray reply = bytes(4 * 1024 * 1024 + 7, 2);
    for (const int chunk : {0, 100000, -1}) {
        SCOPED_TRACE(chunk == 0 ? "with a length" : chunk > 0 ? "chunked" : "until the server closes");
        const TrustedTestCa trusted;
        TlsPeer peer("localhost", TlsPeer::Mode::Serve);
        peer.answerWith(reply, chunk);
        URLSession session;
        for (int i = 0; i < 2; ++i) {
            const Outcome o = run(session, post(peer.url(), request));
            ASSERT_FALSE(o.error.has_value()) << describe(o);
            EXPECT_EQ(o.response->statusCode, 200);
            EXPECT_EQ(o.data.size(), reply.size());
            EXPECT_TRUE(o.data == reply);
        }
        ASSERT_EQ(peer.bodies().size(), 2);
        EXPECT_TRUE(peer.bodies()[0] == request);
        EXPECT_TRUE(peer.bodies()[1] == request);
        // A reply that ends with its connection leaves none to reuse.
        EXPECT_EQ(peer.connections(), chunk < 0 ? 2 : 1);
    }
}
