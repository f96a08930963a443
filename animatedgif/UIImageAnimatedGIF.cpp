#include "animatedgif/UIImageAnimatedGIF.h"

#include <QFile>
#include <cmath>
#include <limits>
#include <numeric>

#include "platform/image/FrameImage.h"

namespace kova {

namespace {

qint64 greatestCommonDivisor(qint64 a, qint64 b)
{
    if (a < b)
        std::swap(a, b);
    while (b != 0) {
        const qint64 remainder = a % b;
        a = b;
        b = remainder;
    }
    return a;
}

} // namespace

qint32 UIImageAnimatedGIF::delayCentisecondsForFrameProperties(
    const std::optional<platform::GifFrameProperties> &properties)
{
    if (!properties)
        return 1;
    // A negative or NaN unclamped delay is taken as it is (and then counts as 1).
    double seconds = properties->unclampedDelayTime;
    if (seconds == 0)
        seconds = properties->delayTime;
    if (!(seconds > 0))
        return 1;
    // Ties to even, as the default rounding mode does.
    const double hundredths = std::nearbyint(seconds * 100);
    if (hundredths >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    return qint32(hundredths);
}

QList<QImage> UIImageAnimatedGIF::frameArray(size_t count, const std::vector<QImage> &images,
                                             const std::vector<qint32> &delays, qint64 totalDuration)
{
    if (count == 0 || images.size() < count || delays.size() < count)
        return {};
    qint64 gcd = 0;
    for (size_t i = 0; i < count; ++i) {
        if (delays[i] < 0)
            return {};
        gcd = i == 0 ? delays[i] : greatestCommonDivisor(delays[i], gcd);
    }
    if (gcd <= 0 || totalDuration / gcd > kMaximumExpandedFrameCount)
        return {};
    QList<QImage> frames;
    frames.reserve(totalDuration / gcd);
    for (size_t i = 0; i < count; ++i) {
        const qint64 repeats = delays[i] / gcd;
        for (qint64 j = 0; j < repeats; ++j)
            frames.append(images[i]);
    }
    return frames;
}

platform::AnimatedImage UIImageAnimatedGIF::animatedImageWithAnimatedGIFImageSource(platform::ImageSource &source)
{
    const size_t count = source.count();
    const QSize canvas = source.canvasSize();
    const qint64 frameBytes = qint64(canvas.width()) * canvas.height() * 4;
    if (count == 0 || frameBytes <= 0 || frameBytes > kMaximumDecodedBytes / qint64(count))
        return {};

    // A frame that does not decode is left out together with its time.
    std::vector<QImage> images;
    std::vector<qint32> delays;
    qint64 totalDuration = 0;
    for (size_t i = 0; i < count; ++i) {
        const auto frame = source.createImageAtIndex(i);
        QImage image = frame ? frame->image() : QImage();
        if (image.isNull())
            continue;
        const qint32 delay = delayCentisecondsForFrameProperties(source.propertiesAtIndex(i).gif);
        images.push_back(std::move(image));
        delays.push_back(delay);
        totalDuration += delay;
    }
    const QList<QImage> frames = frameArray(images.size(), images, delays, totalDuration);
    if (frames.isEmpty())
        return {};
    return platform::AnimatedImage::animatedImageWithImages(frames, double(totalDuration) / 100.0);
}

platform::AnimatedImage UIImageAnimatedGIF::animatedImageWithAnimatedGIFReleasingImageSource(
    std::shared_ptr<platform::ImageSource> source)
{
    if (!source)
        return {};
    platform::AnimatedImage image = animatedImageWithAnimatedGIFImageSource(*source);
    source.reset();
    return image;
}

platform::AnimatedImage UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(const QByteArray &data)
{
    return animatedImageWithAnimatedGIFReleasingImageSource(platform::ImageSource::createWithData(data));
}

platform::AnimatedImage UIImageAnimatedGIF::animatedImageWithAnimatedGIFURL(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return animatedImageWithAnimatedGIFReleasingImageSource(platform::ImageSource::createWithData(file.readAll()));
}

} // namespace kova
