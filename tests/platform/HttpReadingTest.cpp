#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "platform/net/URLSession.h"
#include "platform/net/internal/HttpClient.h"
#include "tests/platform/URLSessionCalls.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;
using kova::test::Outcome;
using kova::test::requestOf;
using kova::test::run;
using namespace std::chrono_literals;

namespace {

// What the peer does with one request: writes `bytes` ('|' ends one write and
// starts the next on a later turn, so the reader meets every split), then
// stays, closes, resets, or keeps writing `filler` until the reader goes away.
struct Answer {
    enum class Then { Stay, Close, Reset, Flood };
    QByteArray bytes;
    Then then = Then::Stay;
    QByteArray filler = {};
};

const QByteArray kNext = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nnext";

// A loopback HTTP peer that answers the n-th request it reads (over all its
// connections) with the n-th answer, the last one for any beyond. "{port}"
// in an answer is its own port.
class ScriptedPeer : public QObject {
public:
    // Far beyond any bound of the reader: a reader without one meets it.
    static constexpr qint64 kFloodCap = 64 * 1024 * 1024;

    explicit ScriptedPeer(QList<Answer> answers = {}) : m_answers(std::move(answers))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                accept(socket);
        });
    }
    void setAnswers(QList<Answer> answers) { m_answers = std::move(answers); }
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString &target = QStringLiteral("/r")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(target));
    }
    int connections() const { return int(m_sockets.size()); }
    QTcpSocket *connection(int index) const { return m_sockets.value(index).data(); }
    // Each request whole as read, and the connection (from 0) it came on.
    QList<QByteArray> requests() const { return m_requests; }
    QList<int> requestConnections() const { return m_requestConnections; }
    QList<QByteArray> requestLines() const
    {
        QList<QByteArray> lines;
        for (const QByteArray &request : m_requests)
            lines.append(request.left(request.indexOf("\r\n")));
        return lines;
    }
    bool writing() const { return m_writing > 0; }
    qint64 flooded() const { return m_flooded; }
    bool floodEnded() const { return m_floodEnded; }

private:
    void accept(QTcpSocket *socket)
    {
        const int index = int(m_sockets.size());
        m_sockets.append(socket);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer, index] {
            *buffer += socket->readAll();
            while (const std::optional<kova::test::PeerRequest> request = kova::test::takeRequest(*buffer)) {
                m_requests.append(request->head + request->body);
                m_requestConnections.append(index);
                if (m_answers.isEmpty())
                    continue;
                Answer answer = m_answers.value(m_requests.size() - 1, m_answers.last());
                answer.bytes.replace("{port}", QByteArray::number(port()));
                ++m_writing;
                write(socket, answer.bytes.split('|'), answer);
            }
        });
    }

    void write(QPointer<QTcpSocket> socket, QList<QByteArray> pieces, const Answer &answer)
    {
        if (!socket) {
            --m_writing;
            return;
        }
        socket->write(pieces.takeFirst());
        socket->flush();
        if (!pieces.isEmpty()) {
            QTimer::singleShot(1ms, this, [this, socket, pieces, answer] { write(socket, pieces, answer); });
            return;
        }
        --m_writing;
        if (answer.then == Answer::Then::Close) {
            socket->disconnectFromHost();
        } else if (answer.then == Answer::Then::Reset) {
            const linger now{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
            socket->abort();
        }
        else if (answer.then == Answer::Then::Flood)
            flood(socket, answer.filler);
    }

    void flood(QTcpSocket *socket, QByteArray unit)
    {
        QByteArray filler;
        while (filler.size() < 16 * 1024)
            filler += unit;
        const auto ended = [this] { m_floodEnded = true; };
        QObject::connect(socket, &QTcpSocket::disconnected, this, ended);
        QObject::connect(socket, &QTcpSocket::errorOccurred, this, ended);
        QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this, socket, filler](qint64 written) {
            m_flooded += written;
            if (socket->bytesToWrite() > 0 || socket->state() != QAbstractSocket::ConnectedState)
                return;
            if (m_flooded >= kFloodCap)
                socket->disconnectFromHost();
            else
                socket->write(filler);
        });
        socket->write(filler);
    }

    QList<Answer> m_answers;
    QList<QPointer<QTcpSocket>> m_sockets;
    QList<QByteArray> m_requests;
    QList<int> m_requestConnections;
    int m_writing = 0;
    qint64 m_flooded = 0;
    bool m_floodEnded = false;
    QTcpServer m_server;
};

Outcome get(URLSession &session, const QUrl &url)
{
    return run(session, requestOf("GET", url));
}

QByteArray chunked(const QByteArray &chunks)
{
    return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks;
}

QByteArray withLength(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// `count` fields, then a two-byte body.
QByteArray manyFields(int count)
{
    QByteArray reply = "HTTP/1.1 200 OK\r\n";
    for (int i = 1; i < count; ++i)
        reply += "X-F" + QByteArray::number(i) + ": v\r\n";
    return reply + "Content-Length: 2\r\n\r\nok";
}

QByteArray eachByteAlone(const QByteArray &bytes)
{
    QByteArray split;
    for (const char byte : bytes)
        split += QByteArray(1, byte) + '|';
    split.chop(1);
    return split;
}

template <typename Row>
std::string rowName(const testing::TestParamInfo<Row> &info)
{
    return info.param.name;
}

// A reply whose end is known from its framing leaves its connection ready
// for the next exchange, which must read cleanly.
struct FramedRow {
    std::string name;
    QByteArray method;
    QByteArray reply;
    int status;
    QByteArray body;
};

std::vector<FramedRow> framedRows()
{
    const QByteArray hex = "a\r\n" + QByteArray(10, 'a') + "\r\nA\r\n" + QByteArray(10, 'b') + "\r\n1f\r\n"
        + QByteArray(31, 'c') + "\r\n1F\r\n" + QByteArray(31, 'd') + "\r\n0\r\n\r\n";
    return {
        {"ChunkExtensions", "GET", chunked("5;a=b\r\nhello\r\n6 ; name=\"v;w\";x\r\n world\r\n0;end=1\r\n\r\n"), 200,
         "hello world"},
        {"HexInEitherCase", "GET", chunked(hex), 200,
         QByteArray(10, 'a') + QByteArray(10, 'b') + QByteArray(31, 'c') + QByteArray(31, 'd')},
        {"LeadingZerosInSize", "GET", chunked("0005\r\nhello\r\n000\r\n\r\n"), 200, "hello"},
        {"SplitInsideSizeLine", "GET", chunked("1|0\r\n0123456789abcdef\r\n0\r\n\r\n"), 200, "0123456789abcdef"},
        {"SplitInsideExtension", "GET", chunked("5;na|me=va|lue\r\nhello\r\n0\r\n\r\n"), 200, "hello"},
        {"SplitBetweenCrAndLf", "GET", chunked("5\r|\nhello\r\n0\r|\n\r\n"), 200, "hello"},
        {"SplitInsideData", "GET", chunked("5\r\nhe|llo\r\n3\r\n|abc\r\n0\r\n\r\n"), 200, "helloabc"},
        {"SplitInsideTrailingCrlf", "GET", chunked("5\r\nhello|\r|\n3\r\nabc\r\n0\r\n\r\n"), 200, "helloabc"},
        {"SplitInTrailer", "GET", chunked("2\r\nhi\r\n0\r\nX-Tr|ailer: 1\r|\n|\r|\n"), 200, "hi"},
        {"TrailerFields", "GET", chunked("2\r\nhi\r\n0\r\nX-Checksum: abc\r\nX-Other: 2\r\n\r\n"), 200, "hi"},
        {"ChunkedOneBytePerWrite", "GET",
         chunked(eachByteAlone("3;a=b\r\nabc\r\nA\r\n0123456789\r\n0\r\nX-T: 1\r\n\r\n")), 200, "abc0123456789"},
        {"EmptyChunkedBody", "GET", chunked("0\r\n\r\n"), 200, ""},
        {"ContentLength", "GET", withLength("hello"), 200, "hello"},
        {"ContentLengthSplit", "GET", "HTTP/1.1 200 OK\r\nContent-|Length: 5\r|\n\r|\nhe|llo", 200, "hello"},
        {"ContentLengthOneBytePerWrite", "GET", eachByteAlone(withLength("hello")), 200, "hello"},
        {"ContentLengthRepeatedEqual", "GET", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-length: 5\r\n\r\nhello",
         200, "hello"},
        {"ContentLengthListEqual", "GET", "HTTP/1.1 200 OK\r\nContent-Length: 5, 5\r\n\r\nhello", 200, "hello"},
        {"ZeroLength", "GET", withLength(""), 200, ""},
        {"InterimRepliesSkipped", "GET",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX-P: 1\r\n\r\n" + withLength("ok"), 200, "ok"},
        {"InterimRepliesSplit", "GET",
         "HTTP/1.1 100 Continue\r\n|\r\nHTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r|\nok",
         201, "ok"},
        {"HeadWithLengthHasNoBody", "HEAD", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", 200, ""},
        {"HeadChunkedHasNoBody", "HEAD", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", 200, ""},
        {"NoContentHasNoBody", "GET", "HTTP/1.1 204 No Content\r\n\r\n", 204, ""},
        {"NotModifiedHasNoBody", "GET", "HTTP/1.1 304 Not Modified\r\nContent-Length: 1000\r\n\r\n", 304, ""},
        {"Http10KeepAlive", "GET", "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok", 200,
         "ok"},
        {"ThousandFields", "GET", manyFields(1000), 200, "ok"},
    };
}

class FramedReply : public testing::TestWithParam<FramedRow> {};

TEST_P(FramedReply, IsReadExactlyAndItsConnectionCarriesTheNextExchange)
{
    const FramedRow &row = GetParam();
    ScriptedPeer peer({{row.reply}, {kNext}});
    URLSession session;
    const Outcome first = run(session, requestOf(row.method, peer.url()));
    ASSERT_FALSE(first.error.has_value()) << first.code();
    EXPECT_EQ(first.status(), row.status);
    EXPECT_EQ(first.data, row.body);

    const Outcome second = get(session, peer.url(QStringLiteral("/second")));
    ASSERT_FALSE(second.error.has_value()) << second.code();
    EXPECT_EQ(second.data, "next");
    EXPECT_EQ(peer.connections(), 1);
    EXPECT_EQ(peer.requestLines(), (QList<QByteArray>{row.method + " /r HTTP/1.1", "GET /second HTTP/1.1"}));
}

INSTANTIATE_TEST_SUITE_P(HttpReading, FramedReply, testing::ValuesIn(framedRows()), rowName<FramedRow>);

// A reply that ends with its connection, or leaves it unfit: the next call
// opens a new one and reads its own reply.
struct EndingRow {
    std::string name;
    Answer reply;
    QByteArray body;
};

class ReplyEndingItsConnection : public testing::TestWithParam<EndingRow> {};

TEST_P(ReplyEndingItsConnection, NextCallGoesOnANewConnection)
{
    const EndingRow &row = GetParam();
    ScriptedPeer peer({row.reply, {kNext}});
    URLSession session;
    const Outcome first = get(session, peer.url());
    ASSERT_FALSE(first.error.has_value()) << first.code();
    EXPECT_EQ(first.status(), 200);
    EXPECT_EQ(first.data, row.body);

    const Outcome second = get(session, peer.url());
    ASSERT_FALSE(second.error.has_value()) << second.code();
    EXPECT_EQ(second.data, "next");
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_EQ(peer.requestConnections(), (QList<int>{0, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    HttpReading, ReplyEndingItsConnection,
    testing::Values(
        EndingRow{"Http10UntilClose", {"HTTP/1.0 200 OK\r\n\r\nuntil| close", Answer::Then::Close}, "until close"},
        EndingRow{"Http11UntilClose", {"HTTP/1.1 200 OK\r\nX-A: 1\r\n\r\nuntil| close", Answer::Then::Close},
                  "until close"},
        // The peer leaves these open: the reader must not take them up again.
        EndingRow{"ConnectionClose", {"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok"}, "ok"},
        // Framing in doubt: read as chunked, but the connection is not trusted again.
        EndingRow{"ChunkedWithContentLength",
                  {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"},
                  "hello"},
        EndingRow{"Http10Chunked",
                  {"HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"},
                  "hello"},
        EndingRow{"Http10WithoutKeepAlive", {"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"}, "ok"},
        EndingRow{"BodyLongerThanDeclared",
                  {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"
                   "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nWRONG"},
                  "hello"}),
    rowName<EndingRow>);

// A reply the reader cannot trust fails the call, and its connection is not
// taken up again.
struct BadRow {
    std::string name;
    QByteArray reply;
};

class BadReply : public testing::TestWithParam<BadRow> {};

TEST_P(BadReply, FailsWithBadServerResponse)
{
    ScriptedPeer peer({{GetParam().reply}, {kNext}});
    URLSession session;
    const Outcome first = get(session, peer.url());
    ASSERT_TRUE(first.error.has_value()) << first.data.constData();
    EXPECT_EQ(first.error->domain, "NSURLErrorDomain");
    EXPECT_EQ(first.code(), -1011);
    EXPECT_FALSE(first.response.has_value());
    EXPECT_TRUE(first.data.isEmpty());

    const Outcome second = get(session, peer.url());
    EXPECT_EQ(second.data, "next");
    EXPECT_EQ(peer.requestConnections(), (QList<int>{0, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    HttpReading, BadReply,
    testing::Values(BadRow{"ChunkSizeNotHex", chunked("zz\r\nhello\r\n0\r\n\r\n")},
                    BadRow{"ChunkSizeNegative", chunked("-1\r\nhello\r\n0\r\n\r\n")},
                    BadRow{"ChunkSizeSigned", chunked("+5\r\nhello\r\n0\r\n\r\n")},
                    BadRow{"ChunkSizeHexPrefix", chunked("0x5\r\nhello\r\n0\r\n\r\n")},
                    BadRow{"ChunkSizeEmpty", chunked("\r\nhello\r\n0\r\n\r\n")},
                    BadRow{"ChunkSizeOverflows", chunked("10000000000000005\r\nhello\r\n0\r\n\r\n")},
                    BadRow{"ChunkSizeLine5000Bytes", chunked(QByteArray(4999, '0') + "5\r\nhello\r\n0\r\n\r\n")},
                    BadRow{"ChunkExtension5000Bytes", chunked("5;" + QByteArray(5000, 'e') + "\r\nhello\r\n0\r\n\r\n")},
                    BadRow{"NoCrlfAfterChunkData", chunked("5\r\nhelloX\r\n0\r\n\r\n")},
                    BadRow{"NextSizeRightAfterChunkData", chunked("5\r\nhello0\r\n\r\n")},
                    BadRow{"ConflictingContentLengths",
                           "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!"},
                    BadRow{"ConflictingContentLengthList", "HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\nhello!"},
                    BadRow{"NegativeContentLength", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nhello"},
                    BadRow{"SignedContentLength", "HTTP/1.1 200 OK\r\nContent-Length: +5\r\n\r\nhello"},
                    BadRow{"ContentLengthNotANumber", "HTTP/1.1 200 OK\r\nContent-Length: five\r\n\r\nhello"},
                    BadRow{"StatusOfFourDigits", "HTTP/1.1 2000 OK\r\nContent-Length: 2\r\n\r\nok"},
                    BadRow{"StatusLineNotHttp", "FOO\r\nContent-Length: 2\r\n\r\nok"},
                    BadRow{"StatusMissing", "HTTP/1.1 OK\r\nContent-Length: 2\r\n\r\nok"},
                    BadRow{"StatusBelow100", "HTTP/1.1 099 Low\r\nContent-Length: 2\r\n\r\nok"},
                    BadRow{"ThousandAndOneFields", manyFields(1001)},
                    BadRow{"WhitespaceBeforeFirstField",
                           "HTTP/1.1 200 OK\r\n Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"},
                    BadRow{"FoldAfterLineWithoutColon", "HTTP/1.1 200 OK\r\nX-Junk\r\n Content-Length: 5\r\n\r\nhello"},
                    BadRow{"FieldLineWithoutColon", "HTTP/1.1 200 OK\r\nX-Junk\r\nContent-Length: 2\r\n\r\nok"},
                    // Codings this client cannot undo: the bytes would reach the caller still coded.
                    BadRow{"GzipThenChunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"
                                              "4\r\n\x1f\x8b\x08\x04\r\n0\r\n\r\n"},
                    BadRow{"ChunkedThenDeflate", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, deflate\r\n\r\n"
                                                 "5\r\nhello\r\n0\r\n\r\n"},
                    BadRow{"ChunkedTwice", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n"
                                           "f\r\n5\r\nhello\r\n0\r\n\r\n\r\n0\r\n\r\n"},
                    BadRow{"UnaskedSwitchingProtocols",
                           "HTTP/1.1 101 Switching Protocols\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n\r\n"}),
    rowName<BadRow>);

// A head (or chunk line, or trailer) that never ends fails once past its
// bound; the reader stops there instead of taking in all the peer sends.
struct EndlessRow {
    std::string name;
    QByteArray prefix;
    QByteArray unit;
};

class EndlessHead : public testing::TestWithParam<EndlessRow> {};

TEST_P(EndlessHead, FailsWithoutBeingReadOnAndOn)
{
    const EndlessRow &row = GetParam();
    ScriptedPeer peer({{row.prefix, Answer::Then::Flood, row.unit}});
    URLSession session;
    const Outcome o = get(session, peer.url());
    ASSERT_TRUE(o.error.has_value());
    EXPECT_EQ(o.code(), -1011);
    ASSERT_TRUE(kova::test::waitUntil([&] { return peer.floodEnded(); }));
    EXPECT_LT(peer.flooded(), 4 * 1024 * 1024);
}

INSTANTIATE_TEST_SUITE_P(
    HttpReading, EndlessHead,
    testing::Values(EndlessRow{"StatusLine", "HTTP/1.1 200 OK", "x"},
                    EndlessRow{"OneField", "HTTP/1.1 200 OK\r\nX-Long: ", "a"},
                    EndlessRow{"LongFields", "HTTP/1.1 200 OK\r\n", "X-F: " + QByteArray(2000, 'f') + "\r\n"},
                    EndlessRow{"FoldedField", "HTTP/1.1 200 OK\r\nX-F: a\r\n", " " + QByteArray(500, 'b') + "\r\n"},
                    EndlessRow{"BlankLines", "", "\r\n"},
                    EndlessRow{"InterimReplies", "", "HTTP/1.1 100 Continue\r\n\r\n"},
                    EndlessRow{"ChunkSizeLine", chunked(""), "0"},
                    EndlessRow{"Trailer", chunked("0\r\n"), "X-T: " + QByteArray(1000, 't') + "\r\n"}),
    rowName<EndlessRow>);

TEST(HttpReadingTest, BodyEndedByItsConnectionIsLostWhenThatEndIsAReset)
{
    ScriptedPeer peer({{"HTTP/1.1 200 OK\r\n\r\npart of| the body", Answer::Then::Reset}});
    URLSession session;
    const Outcome o = get(session, peer.url());
    ASSERT_TRUE(o.error.has_value()) << o.data.constData();
    EXPECT_EQ(o.code(), -1005);
    EXPECT_FALSE(o.response.has_value());
    EXPECT_TRUE(o.data.isEmpty());
}

TEST(HttpReadingTest, RepeatedReplyFieldsAreJoinedInTheOrderFirstSeen)
{
    ScriptedPeer peer({{"HTTP/1.1 200 OK\r\nX-A: 1\r\nSet-Cookie: a=1; Path=/\r\nx-a:2\r\nX-B:  b  \r\n"
                        "SET-COOKIE: b=2\r\nX-A: 3\r\nX-C: c\r\n  folded\r\nX-B: d\r\n\tmore\r\n"
                        "Content-Length: 2\r\n\r\nok"}});
    URLSession session;
    const Outcome o = get(session, peer.url());
    ASSERT_TRUE(o.response.has_value()) << o.code();
    EXPECT_EQ(o.response->headerFields, (HeaderFields{{"X-A", "1, 2, 3"},
                                                      {"Set-Cookie", "a=1; Path=/\nb=2"},
                                                      {"X-B", "b, d more"},
                                                      {"X-C", "c folded"},
                                                      {"Content-Length", "2"}}));
    EXPECT_EQ(o.data, "ok");
}

// The request head exactly as the peer reads it. "{port}" is the peer's port;
// the Accept-Language line follows the system's locale, so only its place
// and presence are checked.
struct HeadRow {
    std::string name;
    QByteArray method;
    QString target;
    HeaderFields fields;
    QByteArray body;
    QByteArray expected;
};

class RequestHead : public testing::TestWithParam<HeadRow> {};

TEST_P(RequestHead, IsExactlyWhatThePeerReads)
{
    const HeadRow &row = GetParam();
    ScriptedPeer peer({{kNext}});
    URLSession session;
    const Outcome o = run(session, requestOf(row.method, peer.url(row.target), row.body, row.fields));
    ASSERT_FALSE(o.error.has_value()) << o.code();
    ASSERT_EQ(peer.requests().size(), 1);
    QByteArray seen = peer.requests().first();
    const qsizetype language = seen.indexOf("\r\nAccept-Language: ");
    if (!row.expected.contains("Accept-Language: {locale}")) {
        EXPECT_EQ(seen, QByteArray(row.expected).replace("{port}", QByteArray::number(peer.port())));
        return;
    }
    ASSERT_GE(language, 0) << seen.constData();
    const qsizetype valueAt = language + 19;
    const QByteArray locale = seen.mid(valueAt, seen.indexOf("\r\n", valueAt) - valueAt);
    EXPECT_FALSE(locale.isEmpty());
    EXPECT_EQ(seen.replace("Accept-Language: " + locale + "\r\n", "Accept-Language: {locale}\r\n"),
              QByteArray(row.expected).replace("{port}", QByteArray::number(peer.port())));
}

INSTANTIATE_TEST_SUITE_P(
    HttpReading, RequestHead,
    testing::Values(
        HeadRow{"GetWithoutBodyHasNoLength", "GET", "/r?x=1", {}, {},
                "GET /r?x=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nConnection: Keep-Alive\r\n"
                "Accept-Language: {locale}\r\nUser-Agent: Mozilla/5.0\r\n\r\n"},
        HeadRow{"GetDropsTheCallersLength", "GET", "/", {{"Accept", "*/*"}, {"Content-Length", "7"}}, {},
                "GET / HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nAccept: */*\r\nConnection: Keep-Alive\r\n"
                "Accept-Language: {locale}\r\nUser-Agent: Mozilla/5.0\r\n\r\n"},
        HeadRow{"PostWithEmptyBody", "POST", "/r", {}, {},
                "POST /r HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nContent-Length: 0\r\nConnection: Keep-Alive\r\n"
                "Accept-Language: {locale}\r\nUser-Agent: Mozilla/5.0\r\n\r\n"},
        HeadRow{"CallersLengthAndCodingReplaced", "PUT", "/r",
                {{"content-length", "999"}, {"X-A", "1"}, {"Transfer-Encoding", "chunked"}}, "abc",
                "PUT /r HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nX-A: 1\r\nContent-Length: 3\r\nConnection: Keep-Alive\r\n"
                "Accept-Language: {locale}\r\nUser-Agent: Mozilla/5.0\r\n\r\nabc"},
        HeadRow{"CallersOwnFieldsKept", "POST", "/r",
                {{"User-Agent", "Kova"},
                 {"Accept-Language", "fr"},
                 {"Host", "example.test"},
                 {"Connection", "keep-alive"}},
                "{}",
                "POST /r HTTP/1.1\r\nUser-Agent: Kova\r\nAccept-Language: fr\r\nHost: example.test\r\n"
                "Connection: keep-alive\r\nContent-Length: 2\r\n\r\n{}"}),
    rowName<HeadRow>);

TEST(HttpReadingTest, HostFieldNamesThePortOnlyWhenTheUrlDoes)
{
    using kova::platform::internal::hostField;
    EXPECT_EQ(hostField(QUrl("http://example.test/a")), "example.test");
    EXPECT_EQ(hostField(QUrl("https://Example.TEST/a")), "example.test");
    EXPECT_EQ(hostField(QUrl("http://example.test:80/a")), "example.test:80");
    EXPECT_EQ(hostField(QUrl("https://127.0.0.1:8443/")), "127.0.0.1:8443");
    EXPECT_EQ(hostField(QUrl("http://[::1]/")), "[::1]");
    EXPECT_EQ(hostField(QUrl("http://[::1]:8080/")), "[::1]:8080");
    EXPECT_EQ(hostField(QUrl(QString::fromUtf8("http://b\xc3\xbc" "cher.example/"))), "xn--bcher-kva.example");
}

// A request that would break its own framing, or one this client does not
// speak, fails before anything reaches the peer.
struct UnsafeRow {
    std::string name;
    QString url;
    HeaderFields fields;
    QByteArray method = "GET";
};

class UnsafeRequest : public testing::TestWithParam<UnsafeRow> {};

TEST_P(UnsafeRequest, FailsWithUnsupportedURLAndSendsNothing)
{
    const UnsafeRow &row = GetParam();
    ScriptedPeer peer({{kNext}});
    URLSession session;
    const QUrl url(QString(row.url).replace(QLatin1String("{port}"), QString::number(peer.port())));
    const Outcome o = run(session, requestOf(row.method, url, {}, row.fields));
    ASSERT_TRUE(o.error.has_value());
    EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
    EXPECT_EQ(o.code(), -1002);
    EXPECT_FALSE(o.response.has_value());
    kova::test::drainMainQueue();
    EXPECT_EQ(peer.connections(), 0);
    EXPECT_TRUE(peer.requests().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    HttpReading, UnsafeRequest,
    testing::Values(UnsafeRow{"ValueWithCrLf", "http://127.0.0.1:{port}/r", {{"X-A", "1\r\nX-Injected: 2"}}},
                    UnsafeRow{"ValueWithLf", "http://127.0.0.1:{port}/r", {{"X-A", "1\nX-Injected: 2"}}},
                    UnsafeRow{"ValueWithNul", "http://127.0.0.1:{port}/r", {{"X-A", QByteArray("1\0002", 3)}}},
                    UnsafeRow{"NameWithColon", "http://127.0.0.1:{port}/r", {{"X-A:B", "1"}}},
                    UnsafeRow{"NameWithCr", "http://127.0.0.1:{port}/r", {{"X-A\rB", "1"}}},
                    UnsafeRow{"EmptyName", "http://127.0.0.1:{port}/r", {{"", "1"}}},
                    UnsafeRow{"FtpScheme", "ftp://127.0.0.1:{port}/r", {}},
                    UnsafeRow{"MethodWithCrLf", "http://127.0.0.1:{port}/r", {}, "GET /a HTTP/1.1\r\nX-A: 1\r\n\r\nGET"},
                    UnsafeRow{"MethodWithSpace", "http://127.0.0.1:{port}/r", {}, "GET /admin"},
                    UnsafeRow{"MethodWithSeparator", "http://127.0.0.1:{port}/r", {}, "GE\"T"},
                    UnsafeRow{"EmptyMethod", "http://127.0.0.1:{port}/r", {}, ""}),
    rowName<UnsafeRow>);

// A call after a keep-alive exchange, when the connection went wrong in
// between or under the call. `before` is what the peer does to the idle
// connection right before the call, with no turn of the loop in between.
struct DroppedRow {
    enum class Before { Nothing, PeerCloses, PeerSendsMore };
    std::string name;
    QByteArray method;
    QByteArray body;
    QList<Answer> answers; // for the second request on
    Before before;
    qint64 code;          // 0: the reply below
    QByteArray data;
    QList<int> requestConnections;
};

class DroppedConnection : public testing::TestWithParam<DroppedRow> {};

TEST_P(DroppedConnection, FetchGoesOutOnceMoreAndABodyNeverTwice)
{
    const DroppedRow &row = GetParam();
    ScriptedPeer peer(QList<Answer>{{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}} + row.answers);
    URLSession session;
    ASSERT_EQ(get(session, peer.url()).data, "ok");

    if (row.before != DroppedRow::Before::Nothing) {
        ASSERT_FALSE(peer.writing());
        QTcpSocket *idle = peer.connection(0);
        ASSERT_NE(idle, nullptr);
        if (row.before == DroppedRow::Before::PeerCloses) {
            idle->abort();
        } else {
            idle->write(withLength("WRONG"));
            idle->flush();
        }
    }
    const Outcome o = run(session, requestOf(row.method, peer.url(QStringLiteral("/call")), row.body));
    if (row.code != 0) {
        ASSERT_TRUE(o.error.has_value()) << o.data.constData();
        EXPECT_EQ(o.code(), row.code);
        EXPECT_FALSE(o.response.has_value());
    } else {
        ASSERT_FALSE(o.error.has_value()) << o.code();
        EXPECT_EQ(o.data, row.data);
    }
    kova::test::drainMainQueue();
    // The first request, then the call once on each connection it went on.
    EXPECT_EQ(peer.requestConnections(), row.requestConnections);
    for (const QByteArray &request : peer.requests().mid(1)) {
        EXPECT_TRUE(request.startsWith(row.method + " /call HTTP/1.1\r\n")) << request.constData();
        EXPECT_TRUE(request.endsWith("\r\n\r\n" + row.body));
    }
}

const Answer kDrop{"", Answer::Then::Close};
const Answer kRight{withLength("right")};

INSTANTIATE_TEST_SUITE_P(
    HttpReading, DroppedConnection,
    testing::Values(
        DroppedRow{"GetClosedUnansweredGoesOutAgain", "GET", {}, {kDrop, kRight}, DroppedRow::Before::Nothing, 0,
                   "right", {0, 0, 1}},
        DroppedRow{"GetClosedUnansweredTwiceFails", "GET", {}, {kDrop, kDrop}, DroppedRow::Before::Nothing, -1005, {},
                   {0, 0, 1}},
        DroppedRow{"GetClosedAfterPartOfItsReplyFails", "GET", {},
                   {{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf", Answer::Then::Close}},
                   DroppedRow::Before::Nothing, -1005, {}, {0, 0}},
        DroppedRow{"GetAfterIdleCloseNotYetHeard", "GET", {}, {kRight}, DroppedRow::Before::PeerCloses, 0, "right",
                   {0, 1}},
        DroppedRow{"PostAfterIdleCloseNotYetHeard", "POST", "{\"pay\":1}", {kRight}, DroppedRow::Before::PeerCloses, 0,
                   "right", {0, 1}},
        DroppedRow{"GetAfterStrayBytesNotYetHeard", "GET", {}, {kRight}, DroppedRow::Before::PeerSendsMore, 0,
                   "right", {0, 1}},
        DroppedRow{"PostAfterStrayBytesNotYetHeard", "POST", "{\"pay\":1}", {kRight},
                   DroppedRow::Before::PeerSendsMore, 0, "right", {0, 1}}),
    rowName<DroppedRow>);

TEST(HttpReadingTest, ConnectionClosedWhileIdleIsNotUsedAgain)
{
    // The peer closes right after its keep-alive reply; the session hears it
    // while idle and sends even a body on a new connection.
    ScriptedPeer peer({{withLength("ok"), Answer::Then::Close}, {kRight}});
    URLSession session;
    ASSERT_EQ(get(session, peer.url()).data, "ok");
    ASSERT_TRUE(kova::test::waitUntil([&] {
        return !peer.connection(0) || peer.connection(0)->state() == QAbstractSocket::UnconnectedState;
    }));
    kova::test::drainMainQueue();
    const Outcome o = run(session, requestOf("POST", peer.url(), "{\"pay\":1}"));
    ASSERT_FALSE(o.error.has_value()) << o.code();
    EXPECT_EQ(o.data, "right");
    EXPECT_EQ(peer.requestConnections(), (QList<int>{0, 1}));
}

// Redirects: a fetch follows them, resolving the address against the one it
// asked; a call with a body takes the 3xx as its reply.
struct RedirectRow {
    std::string name;
    QByteArray method;
    QString target;
    QList<Answer> answers;
    qint64 code;
    int status;
    QByteArray data;
    QString finalTarget;
    QList<QByteArray> requestLines;
};

class Redirect : public testing::TestWithParam<RedirectRow> {};

TEST_P(Redirect, IsFollowedOnlyWhereItMay)
{
    const RedirectRow &row = GetParam();
    ScriptedPeer peer(row.answers);
    URLSession session;
    const Outcome o = run(session, requestOf(row.method, peer.url(row.target), row.method == "POST" ? "{}" : ""));
    if (row.code != 0) {
        ASSERT_TRUE(o.error.has_value());
        EXPECT_EQ(o.code(), row.code);
    } else {
        ASSERT_FALSE(o.error.has_value()) << o.code();
        EXPECT_EQ(o.status(), row.status);
        EXPECT_EQ(o.data, row.data);
        EXPECT_EQ(o.response->url, peer.url(row.finalTarget));
    }
    kova::test::drainMainQueue();
    EXPECT_EQ(peer.requestLines(), row.requestLines);
}

QList<QByteArray> loopLines()
{
    QList<QByteArray> lines{"GET /r HTTP/1.1"};
    for (int i = 0; i < 50; ++i)
        lines.append("GET /loop HTTP/1.1");
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    HttpReading, Redirect,
    testing::Values(
        RedirectRow{"RelativeLocation", "GET", "/a/x?y=1",
                    {{"HTTP/1.1 302 Found\r\nLocation: ../b?c=1\r\nContent-Length: 3\r\n\r\nold"}, {withLength("new")}},
                    0, 200, "new", "/b?c=1", {"GET /a/x?y=1 HTTP/1.1", "GET /b?c=1 HTTP/1.1"}},
        RedirectRow{"AbsoluteLocation301", "GET", "/r",
                    {{"HTTP/1.1 301 Moved\r\nLocation: http://127.0.0.1:{port}/b\r\nContent-Length: 0\r\n\r\n"},
                     {withLength("new")}},
                    0, 200, "new", "/b", {"GET /r HTTP/1.1", "GET /b HTTP/1.1"}},
        RedirectRow{"SeeOther303", "GET", "/a/x",
                    {{"HTTP/1.1 303 See Other\r\nLocation: /c\r\nContent-Length: 0\r\n\r\n"}, {withLength("new")}}, 0,
                    200, "new", "/c", {"GET /a/x HTTP/1.1", "GET /c HTTP/1.1"}},
        RedirectRow{"Temporary307ThenPermanent308", "GET", "/a/x",
                    {{"HTTP/1.1 307 Temporary\r\nLocation: y\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n"},
                     {"HTTP/1.1 308 Permanent\r\nLocation: ?q=2\r\nContent-Length: 0\r\n\r\n"},
                     {withLength("new")}},
                    0, 200, "new", "/a/y?q=2", {"GET /a/x HTTP/1.1", "GET /a/y HTTP/1.1", "GET /a/y?q=2 HTTP/1.1"}},
        RedirectRow{"HeadStaysHead", "HEAD", "/r",
                    {{"HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n"},
                     {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"}},
                    0, 200, "", "/b", {"HEAD /r HTTP/1.1", "HEAD /b HTTP/1.1"}},
        RedirectRow{"ToAnotherSchemeIsNotSpokenTo", "GET", "/r",
                    {{"HTTP/1.1 302 Found\r\nLocation: ftp://127.0.0.1:{port}/file\r\nContent-Length: 0\r\n\r\n"},
                     {withLength("spoken to")}},
                    -1002, 0, {}, {}, {"GET /r HTTP/1.1"}},
        RedirectRow{"PostTakesItsRedirectAsTheReply", "POST", "/r",
                    {{"HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 5\r\n\r\nmoved"}, {withLength("new")}}, 0,
                    302, "moved", "/r", {"POST /r HTTP/1.1"}},
        RedirectRow{"LoopEndsAfterFiftyHops", "GET", "/r",
                    {{"HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n"}}, -1007, 0, {}, {},
                    loopLines()}),
    rowName<RedirectRow>);

TEST(HttpReadingTest, AuthorizationFollowsARedirectOnlyWithinItsOrigin)
{
    ScriptedPeer peer({{"HTTP/1.1 302 Found\r\nLocation: /same\r\nContent-Length: 0\r\n\r\n"},
                       {"HTTP/1.1 302 Found\r\nLocation: http://localhost:{port}/away\r\nContent-Length: 0\r\n\r\n"},
                       {"HTTP/1.1 307 Temporary\r\nLocation: http://127.0.0.1:{port}/back\r\nContent-Length: 0\r\n\r\n"},
                       {withLength("back")}});
    URLSession session;
    const Outcome o = run(session, requestOf("GET", peer.url(QStringLiteral("/start")), {},
                                             {{"Authorization", "Bearer t0k"}, {"X-Trace", "7"}}));
    ASSERT_FALSE(o.error.has_value()) << o.code();
    EXPECT_EQ(o.data, "back");
    kova::test::drainMainQueue();
    ASSERT_EQ(peer.requestLines(), (QList<QByteArray>{"GET /start HTTP/1.1", "GET /same HTTP/1.1", "GET /away HTTP/1.1",
                                                      "GET /back HTTP/1.1"}));
    // Once another host has been asked, not even the way back carries it;
    // the caller's other fields go everywhere.
    QList<bool> carried;
    for (const QByteArray &request : peer.requests()) {
        carried.append(request.contains("\r\nAuthorization: Bearer t0k\r\n"));
        EXPECT_TRUE(request.contains("\r\nX-Trace: 7\r\n"));
    }
    EXPECT_EQ(carried, (QList<bool>{true, true, false, false}));
}

} // namespace
