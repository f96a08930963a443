#include <QBuffer>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <map>
#include <thread>
#include <gtest/gtest.h>

#include "platform/ui/ImageView.h"
#include "sandbox/SandboxServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiHarness.h"
#include "ui/look/KOVImageManager.h"

using namespace kova;
using sandbox::ScriptedReply;

namespace {

QByteArray pngOf(const QColor &color, int side = 4)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

ScriptedReply png(const QColor &color)
{
    ScriptedReply reply = ScriptedReply::raw(pngOf(color));
    reply.contentType = "image/png";
    return reply;
}

struct Outcome {
    int calls = 0;
    QImage image;
    std::optional<platform::Error> error;
    bool onMainThread = false;
};

class ImageManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        KOVImageManager::sharedInstance().removeAllCachedImages();
    }
    QUrl url(const QString &path) const { return QUrl(server.baseUrl().toString() + path); }
    std::shared_ptr<Outcome> fetch(const QUrl &u, bool *started = nullptr)
    {
        auto outcome = std::make_shared<Outcome>();
        const bool s = KOVImageManager::sharedInstance().fetchImageWithURL(
            u, [outcome](const QImage &image, const std::optional<platform::Error> &error) {
                ++outcome->calls;
                outcome->image = image;
                outcome->error = error;
                outcome->onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            });
        if (started)
            *started = s;
        return outcome;
    }
    std::shared_ptr<Outcome> fetchAndWait(const QUrl &u)
    {
        auto outcome = fetch(u);
        EXPECT_TRUE(test::pumpUntil([&] { return outcome->calls > 0; }));
        test::pump();
        EXPECT_EQ(outcome->calls, 1);
        return outcome;
    }

    sandbox::SandboxServer server;
};

TEST_F(ImageManagerTest, ADecodedImageIsCachedAndTheNextRequestIsAnsweredAtOnce)
{
    server.scriptPath("/logos/a.png", png(Qt::red));
    auto first = fetchAndWait(url("/logos/a.png"));
    EXPECT_FALSE(first->error);
    EXPECT_EQ(first->image.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_TRUE(first->onMainThread);
    const auto requests = server.requestsForPath("/logos/a.png");
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests.first().method, "GET");

    bool started = true;
    auto second = fetch(url("/logos/a.png"), &started);
    EXPECT_FALSE(started);
    EXPECT_EQ(second->calls, 1); // before the call returned
    EXPECT_EQ(second->image.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(server.requestsForPath("/logos/a.png").size(), 1);
}

TEST_F(ImageManagerTest, FailuresCarryTheirCodesAndAreNotCached)
{
    const QString domain = QCoreApplication::applicationName();
    server.scriptPath("/empty", ScriptedReply::raw(QByteArray()));
    auto empty = fetchAndWait(url("/empty"));
    ASSERT_TRUE(empty->error);
    EXPECT_EQ(empty->error->domain, domain);
    EXPECT_EQ(empty->error->code, 1);
    EXPECT_TRUE(empty->error->userInfo.isEmpty());

    server.scriptPath("/text", ScriptedReply::raw("not an image", 200));
    auto text = fetchAndWait(url("/text"));
    ASSERT_TRUE(text->error);
    EXPECT_EQ(text->error->code, 2);
    EXPECT_EQ(text->error->userInfo.value("data").toByteArray(), QByteArray("not an image"));
    EXPECT_EQ(text->error->userInfo.value("response").toMap().value("statusCode").toInt(), 200);
    EXPECT_FALSE(KOVImageManager::sharedInstance().isCached(url("/text")));

    ScriptedReply drop;
    drop.fault = ScriptedReply::Fault::DropConnection;
    // A GET may be sent again by Qt on a new connection after a drop (it is
    // idempotent): every copy is dropped.
    for (int copy = 0; copy < 3; ++copy)
        server.scriptPath("/drop", drop);
    auto dropped = fetchAndWait(url("/drop"));
    ASSERT_TRUE(dropped->error);
    EXPECT_EQ(dropped->error->domain, platform::NSURLErrorDomain);

    // Failures are not remembered: the next request downloads again.
    server.scriptPath("/text", png(Qt::blue));
    auto retry = fetchAndWait(url("/text"));
    EXPECT_FALSE(retry->error);
    EXPECT_EQ(server.requestsForPath("/text").size(), 2);
}

TEST_F(ImageManagerTest, OnlyWebAndDataAddressesAreFetched)
{
    const QString domain = QCoreApplication::applicationName();
    for (const QUrl &bad : {QUrl(), QUrl("file:///etc/hosts"), QUrl("ftp://example.com/logo.png")}) {
        bool started = true;
        auto outcome = fetch(bad, &started);
        EXPECT_FALSE(started);
        EXPECT_EQ(outcome->calls, 0); // on a later turn, like every failure
        ASSERT_TRUE(test::pumpUntil([&] { return outcome->calls == 1; }));
        ASSERT_TRUE(outcome->error);
        EXPECT_EQ(outcome->error->code, 1);
        EXPECT_EQ(outcome->error->domain, domain);
    }
    EXPECT_TRUE(server.requests().isEmpty());
    const QUrl data("data:image/png;base64," + QString::fromLatin1(pngOf(Qt::green).toBase64()));
    auto decoded = fetchAndWait(data);
    EXPECT_FALSE(decoded->error);
    EXPECT_EQ(decoded->image.pixelColor(1, 1), QColor(Qt::green));
}

TEST_F(ImageManagerTest, TheCacheStaysWithinItsCostLimit)
{
    auto &manager = KOVImageManager::sharedInstance();
    const qint64 before = manager.cacheCostLimit();
    // Each 4x4 ARGB image decodes to 64 bytes: room for two.
    manager.setCacheCostLimit(150);
    for (int i = 0; i < 5; ++i) {
        const QString path = QStringLiteral("/logo%1.png").arg(i);
        server.scriptPath(path, png(QColor(i * 40, 0, 0)));
        fetchAndWait(url(path));
    }
    EXPECT_LE(manager.cachedCount(), 2);
    EXPECT_TRUE(manager.isCached(url("/logo4.png")));
    EXPECT_FALSE(manager.isCached(url("/logo0.png")));
    manager.setCacheCostLimit(before);
}

TEST_F(ImageManagerTest, AViewShowsOnlyTheImageOfTheLastURLItWasGiven)
{
    platform::ImageView view;
    // The first request finishes last: the reused row must not take it.
    ScriptedReply slow = png(Qt::red);
    slow.delay = std::chrono::milliseconds(300);
    server.scriptPath("/slow.png", slow);
    server.scriptPath("/fast.png", png(Qt::blue));
    setImageURL(&view, url("/slow.png"));
    setImageURL(&view, url("/fast.png"));
    ASSERT_TRUE(test::pumpUntil([&] { return !view.image().isNull(); }));
    EXPECT_EQ(view.image().pixelColor(0, 0), QColor(Qt::blue));
    ASSERT_TRUE(test::pumpUntil([&] { return KOVImageManager::sharedInstance().isCached(url("/slow.png")); }));
    test::pump(10);
    EXPECT_EQ(view.image().pixelColor(0, 0), QColor(Qt::blue));

    // A cache hit still sets the image on a later turn.
    platform::ImageView other;
    setImageURL(&other, url("/fast.png"));
    EXPECT_TRUE(other.image().isNull());
    ASSERT_TRUE(test::pumpUntil([&] { return !other.image().isNull(); }));

    // A failure leaves the image in place.
    server.scriptPath("/broken", ScriptedReply::raw("nope"));
    setImageURL(&other, url("/broken"));
    ASSERT_TRUE(test::pumpUntil([&] { return server.requestsForPath("/broken").size() == 1; }));
    test::pump(20);
    EXPECT_EQ(other.image().pixelColor(0, 0), QColor(Qt::blue));
}

TEST_F(ImageManagerTest, AViewGoneBeforeItsImageArrivesIsNotTouched)
{
    ScriptedReply slow = png(Qt::red);
    slow.delay = std::chrono::milliseconds(100);
    server.scriptPath("/late.png", slow);
    {
        platform::ImageView view;
        setImageURL(&view, url("/late.png"));
    }
    ASSERT_TRUE(test::pumpUntil([&] { return KOVImageManager::sharedInstance().isCached(url("/late.png")); }));
    test::pump(10); // under AddressSanitizer a touch of the freed view fails here
}

// A logo server that answers each path with the raw bytes given for it,
// headers included, and leaves the connection open unless told to close it.
class RawLogoPeer : public QObject {
public:
    RawLogoPeer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
                *received += socket->readAll();
                const qsizetype headerEnd = received->indexOf("\r\n\r\n");
                if (headerEnd < 0)
                    return;
                const QByteArray path = received->split(' ').value(1);
                received->remove(0, headerEnd + 4);
                m_paths << path;
                const auto reply = m_replies.find(path);
                if (reply == m_replies.end())
                    return;
                socket->write(reply->second.first);
                if (reply->second.second)
                    socket->disconnectFromHost();
            });
        });
    }
    void answer(const QByteArray &path, const QByteArray &raw, bool close = true) { m_replies[path] = {raw, close}; }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    QList<QByteArray> paths() const { return m_paths; }

private:
    QTcpServer m_server;
    std::map<QByteArray, std::pair<QByteArray, bool>> m_replies;
    QList<QByteArray> m_paths;
};

QByteArray pngReply(const QColor &color)
{
    const QByteArray body = pngOf(color);
    return "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

TEST_F(ImageManagerTest, ALogoAnnouncedAsGigabytesFailsWithoutWaitingForItsBody)
{
    // Eight gigabytes would be read into memory whole before decoding; the
    // request has to end as soon as the length is known to be unreasonable.
    RawLogoPeer peer;
    peer.answer("/huge.png",
                "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 8589934592\r\n\r\n" + pngOf(Qt::red).left(16),
                false);
    auto outcome = fetch(peer.url("/huge.png"));
    ASSERT_TRUE(test::pumpUntil([&] { return outcome->calls > 0; }, std::chrono::seconds(8)))
        << "still reading a logo that announced 8 GB";
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_TRUE(outcome->error);
    EXPECT_TRUE(outcome->image.isNull());
    EXPECT_FALSE(KOVImageManager::sharedInstance().isCached(peer.url("/huge.png")));
}

TEST_F(ImageManagerTest, ALogoBehindARedirectIsFollowedToItsImage)
{
    // Logo hosts move files behind redirects (to a CDN, to a new path); the
    // fetch is a plain GET, so the new location is fetched and its image
    // shown, as a default web session does.
    RawLogoPeer peer;
    peer.answer("/old.png", "HTTP/1.1 302 Found\r\nLocation: " + peer.url("/new.png").toEncoded()
                                + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    peer.answer("/new.png", pngReply(Qt::blue));
    auto outcome = fetchAndWait(peer.url("/old.png"));
    EXPECT_FALSE(outcome->error) << "code " << (outcome->error ? outcome->error->code : 0);
    EXPECT_EQ(outcome->image.pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(peer.paths(), (QList<QByteArray>{"/old.png", "/new.png"}));

    // Never to an address the session would not have asked for itself: plain
    // http away from this machine fails as such a request fails.
    peer.answer("/away.png", "HTTP/1.1 302 Found\r\nLocation: http://192.0.2.7/logo.png\r\nContent-Length: 0\r\n"
                             "Connection: close\r\n\r\n");
    auto away = fetchAndWait(peer.url("/away.png"));
    ASSERT_TRUE(away->error);
    EXPECT_EQ(away->error->domain, platform::NSURLErrorDomain);
    EXPECT_EQ(away->error->code, -1022);
    EXPECT_EQ(away->calls, 1);
}

TEST_F(ImageManagerTest, AFetchStartedOffTheMainThreadCompletesOnceOnTheMainThread)
{
    server.scriptPath("/worker.png", png(Qt::green));
    std::shared_ptr<Outcome> outcome;
    // A plain thread: its join is a hand-over ThreadSanitizer sees, where a
    // QThread's wait goes through Qt's own (uninstrumented) locks.
    std::thread worker([&] { outcome = fetch(url("/worker.png")); });
    worker.join();
    ASSERT_TRUE(outcome);
    ASSERT_TRUE(test::pumpUntil([&] { return outcome->calls > 0; }, std::chrono::seconds(8)));
    test::pump();
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_FALSE(outcome->error);
    EXPECT_TRUE(outcome->onMainThread);
    EXPECT_EQ(outcome->image.pixelColor(0, 0), QColor(Qt::green));
}

} // namespace
