#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/net/URLSession.h"
#include "platform/net/internal/ReplyBody.h"
#include "sandbox/StreamingSender.h"
#include "tests/platform/URLSessionCalls.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;
using kova::test::Outcome;
using kova::test::start;
using kova::sandbox::StreamingSender;
using namespace std::chrono_literals;

namespace {

constexpr qint64 MiB = 1024 * 1024;

// Answers the first request with fixed bytes and closes.
class OneReply : public QObject {
public:
    explicit OneReply(QByteArray reply) : m_reply(std::move(reply))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_received += socket->readAll();
                if (!m_received.contains("\r\n\r\n") || m_answered)
                    return;
                m_answered = true;
                socket->write(m_reply);
                socket->disconnectFromHost();
            });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/r").arg(m_server.serverPort())); }
    QByteArray received() const { return m_received; }

private:
    QByteArray m_reply;
    QByteArray m_received;
    bool m_answered = false;
    QTcpServer m_server;
};

// `head` then blanks up to `size` bytes, packed with zlib's gzip (31) or
// zlib (15) wrapping, or bare (-15).
QByteArray packed(const QByteArray &head, qint64 size, int windowBits)
{
    z_stream stream{};
    deflateInit2(&stream, 1, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
    QByteArray piece = head;
    piece.append(QByteArray(std::min(MiB, size) - head.size(), ' '));
    QByteArray out;
    char buffer[64 * 1024];
    qint64 left = size;
    while (left > 0) {
        stream.next_in = reinterpret_cast<Bytef *>(piece.data());
        stream.avail_in = uInt(piece.size());
        left -= piece.size();
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, left > 0 ? Z_NO_FLUSH : Z_FINISH);
            out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
        piece = QByteArray(std::min(MiB, left), ' ');
    }
    deflateEnd(&stream);
    return out;
}

QByteArray reply(const QByteArray &encoding, const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Encoding: " + encoding
        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray blanksAfter(const QByteArray &head, qint64 size)
{
    return head + QByteArray(size - head.size(), ' ');
}

} // namespace

TEST(URLSessionBoundTest, PackedReplyIsBoundByWhatItUnpacksTo)
{
    const QByteArray head = "{\"accounts\":[]}";
    struct Case {
        const char *name;
        qint64 bound;
        QByteArray encoding;
        QByteArray body;        // as sent
        QByteArray expected;    // as read; empty when the call fails
        qint64 expectedError;   // 0: a reply
    };
    const QByteArray within = blanksAfter(head, MiB);
    QByteArray damaged = packed(head, 64 * 1024, 31);
    for (int i = 12; i < damaged.size(); i += 5)
        damaged[i] = char(damaged[i] ^ 0x5a);
    const std::vector<Case> cases{
        {"a small packed body that unpacks far beyond the bound", MiB, "gzip", packed(head, 64 * MiB, 31), {}, -1103},
        {"exactly the bound once unpacked", MiB, "gzip", packed(head, MiB, 31), within, 0},
        {"zlib-wrapped deflate within the bound", MiB, "deflate", packed(head, MiB, 15), within, 0},
        {"bare deflate, as some servers send it", MiB, "deflate", packed(head, MiB, -15), within, 0},
        {"bare deflate unpacking beyond the bound", MiB, "deflate", packed(head, 64 * MiB, -15), {}, -1103},
        {"packed a thousandfold, unpacked still within the bound", 32 * MiB, "gzip", packed(head, 12 * MiB, 31),
         blanksAfter(head, 12 * MiB), 0},
        {"a damaged packed body", MiB, "gzip", damaged, {}, -1016},
        {"a packed body cut short", MiB, "gzip", packed(head, MiB, 31).left(200), {}, -1016},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OneReply peer(reply(c.encoding, c.body));
        URLSessionConfiguration bounded;
        bounded.maximumReplyBytes = c.bound;
        URLSession session(bounded);
        const Outcome o = kova::test::run(session, kova::test::requestOf("GET", peer.url()));
        ASSERT_TRUE(o.done);
        EXPECT_TRUE(peer.received().contains("\r\nAccept-Encoding: gzip, deflate\r\n")) << peer.received().constData();
        if (c.expectedError) {
            ASSERT_TRUE(o.error.has_value());
            EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
            EXPECT_EQ(o.error->code, c.expectedError);
            EXPECT_EQ(o.error->localizedDescription(), c.expectedError == -1103 ? "resource exceeds maximum size"
                                                                               : "cannot decode content data");
            EXPECT_EQ(o.error->userInfo.value("NSErrorFailingURLStringKey").toString(), peer.url().toString());
            EXPECT_TRUE(o.data.isEmpty());
            EXPECT_FALSE(o.response.has_value());
        } else {
            EXPECT_FALSE(o.error.has_value()) << o.error->code;
            ASSERT_TRUE(o.response.has_value());
            EXPECT_EQ(o.response->statusCode, 200);
            EXPECT_EQ(o.data.size(), c.expected.size());
            EXPECT_TRUE(o.data == c.expected);
        }
    }
}

TEST(URLSessionBoundTest, DeflateBodyIsUnpackedHoweverItsFirstBytesArrive)
{
    const QByteArray expected = blanksAfter("{\"accounts\":[]}", 256 * 1024);
    for (const int windowBits : {-15, 15}) {
        const QByteArray body = packed(expected.left(15), expected.size(), windowBits);
        for (const qsizetype second : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "window bits " << windowBits << ", second piece " << second);
            internal::ReplyBody reading(MiB);
            reading.setContentEncoding("deflate");
            EXPECT_EQ(reading.append(body.left(1)), internal::ReplyBody::State::Reading);
            EXPECT_EQ(reading.append(body.mid(1, second)), internal::ReplyBody::State::Reading);
            EXPECT_EQ(reading.append(body.mid(1 + second)), internal::ReplyBody::State::Reading);
            EXPECT_EQ(reading.finish(), internal::ReplyBody::State::Reading);
            EXPECT_TRUE(reading.take() == expected);
        }
    }
}

TEST(URLSessionBoundTest, CallerAskingForAnEncodingGetsTheBytesAsSent)
{
    const QByteArray body = packed("{}", 1024, 31);
    OneReply peer(reply("gzip", body));
    URLSessionConfiguration bounded;
    bounded.maximumReplyBytes = MiB;
    URLSession session(bounded);
    URLRequest request;
    request.url = peer.url();
    request.httpMethod = "GET";
    request.setValue("gzip", "Accept-Encoding");
    Outcome o;
    start(session, request, o);
    ASSERT_TRUE(kova::test::waitUntil([&] { return o.done; }));
    ASSERT_FALSE(o.error.has_value());
    EXPECT_TRUE(peer.received().contains("\r\nAccept-Encoding: gzip\r\n"));
    EXPECT_TRUE(o.data == body);
}

TEST(URLSessionBoundTest, FastSenderIsCutOffNearTheBound)
{
    // The reply is read only as fast as it is taken in, so what the sender
    // gets out is the bound plus what the sockets and Qt hold on the way, not
    // whatever the network thread could read before the abort reached it.
    // A fetch, and a call with a body as every call to a server is.
    for (const QByteArray &method : {QByteArray("GET"), QByteArray("POST")}) {
        SCOPED_TRACE(method.constData());
        // A client that stops reading without closing must not keep the
        // test waiting for ever.
        StreamingSender sender(StreamingSender::kChunkedHead, StreamingSender::chunkedBlanks(1024 * MiB), 30s);
        URLSessionConfiguration bounded;
        bounded.maximumReplyBytes = 4 * MiB;
        URLSession session(bounded);
        URLRequest request;
        request.url = sender.url();
        request.httpMethod = method;
        if (method == "POST")
            request.httpBody = "{\"appKey\":\"k\"}";
        Outcome o;
        start(session, request, o);
        ASSERT_TRUE(kova::test::waitUntil([&] { return o.done; }, 60s));
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.error->code, -1103);
        EXPECT_TRUE(o.data.isEmpty());
        ASSERT_TRUE(kova::test::waitUntil([&] { return sender.finished(); }, 60s));
        EXPECT_GT(sender.sent(), 4 * MiB);
        EXPECT_LE(sender.sent(), 4 * MiB + 32 * MiB) << sender.sent() / MiB << " MiB sent";
    }
}
