#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include "platform/net/URLSession.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;
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
                if (!m_received.contains("\r\n\r\n"))
                    return;
                const int headerEnd = m_received.indexOf("\r\n\r\n") + 4;
                const int length = contentLength();
                if (m_received.size() - headerEnd < length)
                    return;
                respond(socket);
            });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/path?x=1").arg(m_server.serverPort())); }
    QByteArray received() const { return m_received; }

private:
    int contentLength() const
    {
        for (const QByteArray &line : m_received.split('\n'))
            if (line.toLower().startsWith("content-length:"))
                return line.mid(15).trimmed().toInt();
        return 0;
    }
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

struct Outcome {
    bool done = false;
    QByteArray data;
    std::optional<HTTPURLResponse> response;
    std::optional<Error> error;
};

Outcome run(URLSession &session, const URLRequest &request)
{
    Outcome outcome;
    int calls = 0;
    session.dataTask(request, [&](const QByteArray &d, const std::optional<HTTPURLResponse> &r, const std::optional<Error> &e) {
        ++calls;
        outcome.done = true;
        outcome.data = d;
        outcome.response = r;
        outcome.error = e;
    });
    EXPECT_FALSE(outcome.done) << "completion must not run inside dataTask";
    EXPECT_TRUE(kova::test::waitUntil([&] { return outcome.done; }));
    kova::test::drainMainQueue();
    EXPECT_EQ(calls, 1);
    return outcome;
}

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
