#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QUrl>
#include <memory>
#include <optional>
#include <vector>

#include "platform/image/AnimatedImage.h"
#include "platform/image/ImageSource.h"

namespace kova {

// Turns a whole GIF into one animated image that plays by itself. Varying frame
// delays become repeated frames on a time grid of the greatest common divisor
// of all delays, in hundredths of a second. Every frame is decoded at once, in
// the calling thread, and kept: meant for small artwork.
class UIImageAnimatedGIF {
public:
    // A null image when the data holds no frame that decodes, or when the
    // result would be unreasonably large.
    static platform::AnimatedImage animatedImageWithAnimatedGIFData(const QByteArray &data);
    // The same from a local file; a null image when the file cannot be read.
    static platform::AnimatedImage animatedImageWithAnimatedGIFURL(const QUrl &url);

    static platform::AnimatedImage animatedImageWithAnimatedGIFReleasingImageSource(
        std::shared_ptr<platform::ImageSource> source);
    static platform::AnimatedImage animatedImageWithAnimatedGIFImageSource(platform::ImageSource &source);
    // Each image repeated delay ÷ GCD times; empty when the delays give no
    // usable grid or the list would be longer than kMaximumExpandedFrameCount.
    static QList<QImage> frameArray(size_t count, const std::vector<QImage> &images, const std::vector<qint32> &delays,
                                    qint64 totalDuration);
    // A frame's delay in hundredths of a second: the unclamped delay unless it
    // is absent or 0, then the clamped one; 1 when neither is above 0.
    static qint32 delayCentisecondsForFrameProperties(const std::optional<platform::GifFrameProperties> &properties);

    // Limits that keep a small file from asking for gigabytes or a list no one
    // could play.
    static constexpr qint64 kMaximumDecodedBytes = qint64(256) * 1024 * 1024;
    static constexpr qint64 kMaximumExpandedFrameCount = 65536;
};

} // namespace kova
