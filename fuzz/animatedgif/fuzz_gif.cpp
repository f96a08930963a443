// Arbitrary bytes into the GIF image source, the animated image and the
// simple animated GIF image: nothing may crash, hang, leak or read out of
// bounds, whatever the file claims about itself.
#include <QCoreApplication>
#include <QImage>
#include <atomic>
#include <cstdint>

#include "animatedgif/KGAnimatedImage.h"
#include "animatedgif/UIImageAnimatedGIF.h"
#include "platform/image/ImageSource.h"

using namespace kova;

namespace {

// Touches a few pixels so the compositing is not optimised away.
quint32 sample(const QImage &image)
{
    if (image.isNull())
        return 0;
    return image.pixel(0, 0) ^ image.pixel(image.width() - 1, image.height() - 1)
         ^ image.pixel(image.width() / 2, image.height() / 2);
}

std::atomic<quint32> g_sink{0};
std::atomic<qsizetype> g_logged{0};

void exercise(const QByteArray &bytes)
{
    if (const auto source = platform::ImageSource::createWithData(bytes)) {
        const size_t count = source->count();
        g_logged += source->propertiesDescription().size() + source->description().size();
        (void)source->loopCount();
        for (size_t i = 0; i < count && i < 4; ++i)
            g_logged += source->propertiesAtIndex(i).description().size();
        // In order, then a jump back that makes the compositor start over.
        for (size_t i : {size_t(0), size_t(1), size_t(2), count - 1, size_t(1)}) {
            if (i < count)
                g_sink += sample(source->imageAtIndex(i));
        }
    }

    if (const auto image = KGAnimatedImage::initWithAnimatedGIFData(bytes, 0, true)) {
        g_logged += image->description().size();
        g_sink += sample(image->imageAtIndex(image->frameCount() - 1));
        image->setRequestedFrameIndex(image->frameCount() / 2);
        (void)image->frameIndexesToCache();
    }

    const platform::AnimatedImage animated = UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(bytes);
    if (!animated.isNull())
        g_sink += sample(animated.images.last()) + quint32(animated.duration);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // Every log line is built, so their formatting is fuzzed too.
    KGAnimatedImage::setLogBlock([](const QString &line, KGAnimatedImageLogLevel) { g_logged += line.size(); },
                                 KGAnimatedImageLogLevel::Verbose);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    exercise(bytes);
    // The signature is the first thing every reader checks; with it given,
    // the fuzzer spends its time on what follows.
    if (!bytes.startsWith("GIF"))
        exercise("GIF89a" + bytes);
    return 0;
}
