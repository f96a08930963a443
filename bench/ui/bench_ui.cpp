// Screens: (1) the animated image view on the 60 Hz screen refresh: how often
// its display link fires against ceil(1 / delay GCD) per second, and the main
// thread's CPU time per shown frame against decoding the same frames alone;
// (2) the logo cache: 1,000 requests for 50 distinct logos against the
// sandbox, counting downloads, timed against 50 raw GETs.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "animatedgif/view/KGAnimatedImageView.h"
#include "platform/net/URLSession.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "sandbox/SandboxServer.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVImageManager.h"

using namespace kova;

namespace {

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void pumpFor(double seconds, const std::function<void()> &afterEachTurn = {})
{
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < seconds * 1e9) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        if (afterEachTurn)
            afterEachTurn();
    }
}

bool pumpUntil(const std::function<bool()> &condition, double seconds = 20)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.nsecsElapsed() > seconds * 1e9)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

int animatedImageView()
{
    const QByteArray data = AssetsLoader::dataForGIFNamed(QStringLiteral("connectAnimation"));
    auto image = KGAnimatedImage::animatedImageWithGIFData(data);
    if (!image) {
        std::printf("animated image view: no artwork\n");
        return 1;
    }
    platform::Window window;
    auto *view = new KGAnimatedImageView(QImage(), &window);
    view->setGeometry(0, 0, 200, 200);
    view->setRunLoopMode(platform::RunLoopMode::Common);
    window.show();
    view->setAnimatedImage(image);
    const double gcd = view->frameDelayGreatestCommonDivisor();
    const int expected = static_cast<int>(std::ceil(1.0 / gcd));
    // Warm up: every frame decoded once, so the figure is the steady state.
    pumpFor(1.0, [&] {
        if (!view->isAnimating())
            view->setAnimatedImage(nullptr), view->setAnimatedImage(image);
    });

    // The loop runs undisturbed (no polling): frames shown are counted from
    // the view's own log lines, and a finished animation starts over.
    quint64 shown = 0;
    quint64 lastIndex = view->currentFrameIndex();
    KGAnimatedImage::setLogBlock(
        [&](const QString &line, KGAnimatedImageLogLevel) {
            if (!line.startsWith(QLatin1String("Showing frame ")))
                return;
            const quint64 index = line.section(QLatin1Char(' '), 2, 2).toULongLong();
            if (index != lastIndex) {
                ++shown;
                lastIndex = index;
            }
        },
        KGAnimatedImageLogLevel::Verbose);
    view->setLoopCompletionBlock([&](quint64 remaining) {
        if (remaining == 0)
            QTimer::singleShot(0, view, [&] {
                view->setAnimatedImage(nullptr);
                view->setAnimatedImage(image);
            });
    });
    const double seconds = 3.0;
    const quint64 firesBefore = view->displayLink()->fireCount();
    const double cpuBefore = threadCpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = threadCpuSeconds() - cpuBefore;
    const double rate = (view->displayLink()->fireCount() - firesBefore) / seconds;
    KGAnimatedImage::setLogBlock(nullptr, KGAnimatedImageLogLevel::None);

    // Baseline: decoding the same frames alone, on this thread.
    const quint64 frames = image->frameCount();
    const double decodeBefore = threadCpuSeconds();
    int decoded = 0;
    for (int round = 0; round < 5; ++round)
        for (quint64 i = 0; i < frames; ++i)
            decoded += image->imageAtIndex(i).isNull() ? 0 : 1;
    const double perDecode = (threadCpuSeconds() - decodeBefore) / std::max(1, decoded);
    const double perShown = cpu / std::max<quint64>(1, shown);

    std::printf("animated image view: delay GCD %.3f s -> expected %d fires/s on a 60 Hz refresh; measured %.1f fires/s "
                "(%.1f%% off)\n",
                gcd, expected, rate, 100.0 * (rate - expected) / expected);
    std::printf("animated image view: main-thread CPU per shown frame %.3f ms vs decoding a frame alone %.3f ms "
                "(ratio %.2f; %llu frames shown)\n",
                perShown * 1e3, perDecode * 1e3, perShown / perDecode, static_cast<unsigned long long>(shown));
    return 0;
}

QByteArray logoPng(int seed)
{
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(QColor::fromHsv((seed * 37) % 360, 200, 220));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

int imageManager()
{
    sandbox::SandboxServer server;
    if (!server.start())
        return 1;
    const int distinct = 50;
    const int requests = 1000;
    auto url = [&](int i) { return QUrl(server.baseUrl().toString() + QStringLiteral("/logos/%1.png").arg(i)); };
    auto scriptAll = [&] {
        for (int i = 0; i < distinct; ++i) {
            sandbox::ScriptedReply reply = sandbox::ScriptedReply::raw(logoPng(i));
            reply.contentType = "image/png";
            server.scriptPath(QStringLiteral("/logos/%1.png").arg(i), reply);
        }
    };

    // Baseline: 50 plain GETs, one after the other.
    scriptAll();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < distinct; ++i) {
        bool done = false;
        platform::URLRequest request;
        request.url = url(i);
        request.httpMethod = "GET";
        platform::URLSession::shared().dataTask(request, [&](const QByteArray &, const auto &, const auto &) { done = true; });
        pumpUntil([&] { return done; });
    }
    const double raw = clock.nsecsElapsed() / 1e9;
    server.clearRequests();

    // A list of rows scrolling through the same 50 logos, 20 times over.
    scriptAll();
    KOVImageManager &manager = KOVImageManager::sharedInstance();
    const quint64 downloadsBefore = manager.downloadCount();
    clock.restart();
    for (int r = 0; r < requests; ++r) {
        bool done = false;
        manager.fetchImageWithURL(url(r % distinct), [&](const QImage &, const auto &) { done = true; });
        pumpUntil([&] { return done; });
    }
    const double cached = clock.nsecsElapsed() / 1e9;
    const quint64 downloads = manager.downloadCount() - downloadsBefore;
    std::printf("image manager: %d requests for %d logos -> %llu downloads (%lld reached the sandbox); %.1f ms in all, "
                "%.2fx the time of %d raw GETs\n",
                requests, distinct, static_cast<unsigned long long>(downloads),
                static_cast<long long>(server.requests().size()), cached * 1e3, cached / raw, distinct);
    return downloads == static_cast<quint64>(distinct) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int status = animatedImageView();
    status |= imageManager();
    return status;
}
