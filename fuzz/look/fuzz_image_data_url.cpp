// Arbitrary text after "data:" handed to the image manager as a logo address
// (as a server's reply or a host would give it): the address's payload is
// decoded (percent escapes or base64) and read as an image. Whatever the
// text, the completion runs exactly once, on the main thread, and an image it
// delivers that fits the cache is cached and handed out again at once.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QUrl>
#include <cstddef>
#include <cstdint>

#include "platform/dispatch/MainQueue.h"
#include "ui/look/KOVImageManager.h"

namespace {

using namespace kova;

struct Outcome {
    int calls = 0;
    bool onMainThread = true;
    QImage image;
    bool failed = false;
};

KOVImageManager::Completion recordInto(Outcome *outcome)
{
    return [outcome](const QImage &image, const std::optional<platform::Error> &error) {
        ++outcome->calls;
        outcome->onMainThread = outcome->onMainThread && platform::MainQueue::isMainThread();
        outcome->image = image;
        outcome->failed = error.has_value();
    };
}

void settle(const Outcome &outcome)
{
    const QDeadlineTimer deadline(10000);
    while (outcome.calls == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // A late second call would land here.
    QCoreApplication::processEvents();
    if (outcome.calls != 1 || !outcome.onMainThread)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    // Either the address's encoded bytes, or text the URL class encodes itself.
    const QUrl url = (data[0] & 1) ? QUrl::fromEncoded("data:" + rest) : QUrl(QStringLiteral("data:") + QString::fromUtf8(rest));

    KOVImageManager &manager = KOVImageManager::sharedInstance();
    Outcome first;
    manager.fetchImageWithURL(url, recordInto(&first));
    settle(first);
    if (!first.image.isNull() && first.failed)
        __builtin_trap();
    // An image larger than the whole cache is handed out but not kept.
    if (!first.image.isNull() && first.image.sizeInBytes() <= manager.cacheCostLimit()) {
        if (!manager.isCached(url))
            __builtin_trap();
        // From the cache: at once, the same image.
        Outcome again;
        manager.fetchImageWithURL(url, recordInto(&again));
        if (again.calls != 1 || again.image != first.image)
            __builtin_trap();
    }
    manager.removeAllCachedImages();
    return 0;
}
