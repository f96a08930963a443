#include <gtest/gtest.h>

#include "sandbox/HttpRequestReader.h"

using kova::sandbox::HttpRequestReader;
using Status = HttpRequestReader::Status;

namespace {

const QByteArray kBody = R"({"action":"/data/accounts/get","userSecret":"s"})";

QByteArray postRequest(const QByteArray &extraHeaders = {})
{
    return "POST /app-server?lang=en&x=a%20b HTTP/1.1\r\n"
           "Host: 127.0.0.1\r\n"
           "Content-Type: application/json; charset=utf-8\r\n"
           "SDKVersion: 1.0.0\r\n"
           + extraHeaders + "Content-Length: " + QByteArray::number(kBody.size()) + "\r\n\r\n" + kBody;
}

struct Failure {
    const char *name;
    QByteArray bytes;
    int status;
};

} // namespace

TEST(HttpRequestReader, ReadsARequestDeliveredByteByByte)
{
    HttpRequestReader reader;
    const QByteArray bytes = postRequest("platform: iOS-SDK\r\n");
    for (qsizetype i = 0; i + 1 < bytes.size(); ++i) {
        reader.append(bytes.mid(i, 1));
        ASSERT_EQ(reader.next(), Status::NeedMore) << "after byte " << i;
    }
    reader.append(bytes.right(1));
    ASSERT_EQ(reader.next(), Status::Ready);

    const auto request = reader.takeRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/app-server");
    EXPECT_EQ(request.query.queryItemValue("lang"), "en");
    EXPECT_EQ(request.query.queryItemValue("x"), "a b");
    const QList<QPair<QByteArray, QByteArray>> expected{
        {"Host", "127.0.0.1"},
        {"Content-Type", "application/json; charset=utf-8"},
        {"SDKVersion", "1.0.0"},
        {"platform", "iOS-SDK"},
        {"Content-Length", QByteArray::number(kBody.size())},
    };
    EXPECT_EQ(request.headers, expected);
    EXPECT_EQ(request.header("PLATFORM"), "iOS-SDK");
    EXPECT_EQ(request.body, kBody);
    EXPECT_EQ(request.action, "/data/accounts/get");
    EXPECT_EQ(request.json.value("userSecret").toString(), "s");
    EXPECT_TRUE(reader.keepAlive());
    EXPECT_EQ(reader.next(), Status::NeedMore);
}

TEST(HttpRequestReader, ReadsPipelinedRequestsOneAtATime)
{
    HttpRequestReader reader;
    reader.append(postRequest() + "\r\nPOST /v2/sdk/apps/logs/add HTTP/1.1\r\nContent-Length: 2\r\n\r\n[]");
    ASSERT_EQ(reader.next(), Status::Ready);
    EXPECT_EQ(reader.takeRequest().path, "/app-server");
    ASSERT_EQ(reader.next(), Status::Ready);
    const auto second = reader.takeRequest();
    EXPECT_EQ(second.path, "/v2/sdk/apps/logs/add");
    EXPECT_EQ(second.body, "[]");
    EXPECT_TRUE(second.json.isEmpty());
    EXPECT_TRUE(second.action.isNull());
    EXPECT_EQ(reader.next(), Status::NeedMore);
}

TEST(HttpRequestReader, BodiesAndConnectionLifetime)
{
    {
        HttpRequestReader reader; // no Content-Length: no body
        reader.append("GET /banks/X/full.png HTTP/1.1\r\nHost: a\r\n\r\n");
        ASSERT_EQ(reader.next(), Status::Ready);
        EXPECT_TRUE(reader.takeRequest().body.isEmpty());
        EXPECT_TRUE(reader.keepAlive());
    }
    {
        HttpRequestReader reader; // bare LF line ends are read too
        reader.append("POST /a HTTP/1.1\nContent-Length: 3\n\n{}x");
        ASSERT_EQ(reader.next(), Status::Ready);
        EXPECT_EQ(reader.takeRequest().body, "{}x");
    }
    {
        HttpRequestReader reader;
        reader.append("POST /a HTTP/1.1\r\nConnection: keep-alive, Close\r\nContent-Length: 0\r\n\r\n");
        ASSERT_EQ(reader.next(), Status::Ready);
        EXPECT_FALSE(reader.keepAlive());
    }
    {
        HttpRequestReader reader; // HTTP/1.0 closes unless asked to keep alive
        reader.append("POST /a HTTP/1.0\r\n\r\n");
        ASSERT_EQ(reader.next(), Status::Ready);
        EXPECT_FALSE(reader.keepAlive());
        reader.append("POST /a HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
        ASSERT_EQ(reader.next(), Status::Ready);
        EXPECT_TRUE(reader.keepAlive());
    }
    {
        HttpRequestReader reader; // same Content-Length twice is consistent
        reader.append("POST /a HTTP/1.1\r\nContent-Length: 2\r\ncontent-length: 2\r\n\r\n{}");
        ASSERT_EQ(reader.next(), Status::Ready);
        EXPECT_EQ(reader.takeRequest().body, "{}");
    }
}

TEST(HttpRequestReader, AsksForTheBodyOnceWhenTheClientExpectsContinue)
{
    HttpRequestReader reader;
    reader.append("POST /a HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\n");
    EXPECT_EQ(reader.next(), Status::NeedMore);
    EXPECT_TRUE(reader.takeContinueRequest());
    EXPECT_FALSE(reader.takeContinueRequest());
    reader.append("{}{}");
    ASSERT_EQ(reader.next(), Status::Ready);
    EXPECT_EQ(reader.takeRequest().body, "{}{}");
}

TEST(HttpRequestReader, RefusesWhatItCannotReadWithCertainty)
{
    HttpRequestReader::Limits limits;
    limits.maxHeadBytes = 256;
    limits.maxHeaderCount = 3;
    limits.maxBodyBytes = 10;
    const std::vector<Failure> failures{
        {"request line with two parts", "POST /a\r\n\r\n", 400},
        {"request line with four parts", "POST /a b HTTP/1.1\r\n\r\n", 400},
        {"double space", "POST  /a HTTP/1.1\r\n\r\n", 400},
        {"method with a separator", "PO(ST /a HTTP/1.1\r\n\r\n", 400},
        {"absolute target", "POST http://x/a HTTP/1.1\r\n\r\n", 400},
        {"target with a control byte", "POST /a\x01 HTTP/1.1\r\n\r\n", 400},
        {"target with a high byte", "POST /\xc3\xa9 HTTP/1.1\r\n\r\n", 400},
        {"version in lower case", "POST /a http/1.1\r\n\r\n", 400},
        {"unsupported version", "POST /a HTTP/2.0\r\n\r\n", 505},
        {"header without a colon", "POST /a HTTP/1.1\r\nHost\r\n\r\n", 400},
        {"header with an empty name", "POST /a HTTP/1.1\r\n: x\r\n\r\n", 400},
        {"space before the colon", "POST /a HTTP/1.1\r\nHost : x\r\n\r\n", 400},
        {"folded header", "POST /a HTTP/1.1\r\nX-A: 1\r\n  2\r\n\r\n", 400},
        {"NUL in a value", QByteArray("POST /a HTTP/1.1\r\nX-A: 1\0002\r\n\r\n", 30), 400},
        {"negative length", "POST /a HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
        {"length with a sign", "POST /a HTTP/1.1\r\nContent-Length: +1\r\n\r\n", 400},
        {"length with letters", "POST /a HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", 400},
        {"empty length", "POST /a HTTP/1.1\r\nContent-Length:\r\n\r\n", 400},
        {"huge length", "POST /a HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n", 400},
        {"conflicting lengths", "POST /a HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400},
        {"chunked body", "POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 411},
        {"body over the limit", "POST /a HTTP/1.1\r\nContent-Length: 11\r\n\r\n", 413},
        {"too many headers", "POST /a HTTP/1.1\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n\r\n", 431},
        {"head over the limit", "POST /a HTTP/1.1\r\nX: " + QByteArray(300, 'a') + "\r\n\r\n", 431},
        {"endless head", "POST /a HTTP/1.1\r\nX: " + QByteArray(300, 'a'), 431},
    };
    for (const Failure &failure : failures) {
        HttpRequestReader reader(limits);
        reader.append(failure.bytes);
        EXPECT_EQ(reader.next(), Status::Failed) << failure.name;
        EXPECT_EQ(reader.failureStatus(), failure.status) << failure.name;
        EXPECT_FALSE(reader.failureReason().isEmpty()) << failure.name;
        EXPECT_FALSE(reader.keepAlive()) << failure.name;
        // A failed stream is never read again.
        reader.append("POST /a HTTP/1.1\r\n\r\n");
        EXPECT_EQ(reader.next(), Status::Failed) << failure.name;
    }
}

TEST(HttpRequestReader, ABodyThatIsNotAnObjectHasNoJsonOrAction)
{
    for (const QByteArray &body : {QByteArray("not json"), QByteArray("[1]"), QByteArray(R"({"action":7})"),
                                  QByteArray()}) {
        HttpRequestReader reader;
        reader.append("POST /app-server HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
                      + body);
        ASSERT_EQ(reader.next(), Status::Ready);
        const auto request = reader.takeRequest();
        EXPECT_EQ(request.body, body);
        EXPECT_TRUE(request.action.isNull()) << body.constData();
        EXPECT_EQ(request.json.isEmpty(), body != R"({"action":7})") << body.constData();
    }
}
