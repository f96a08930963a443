#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/image/GifCompositor.h"
#include "platform/image/GifContainer.h"

namespace kova::platform {

class FrameImage;

// The GIF entries of one frame's properties, present when the frame has a
// graphic control block. Both are in seconds: the unclamped delay is the
// file's own; the delay reads a stored 0 or 0.01 as 0.1, as players do.
struct GifFrameProperties {
    double delayTime = 0;
    double unclampedDelayTime = 0;
};

struct ImageProperties {
    int pixelWidth = 0;
    int pixelHeight = 0;
    std::optional<GifFrameProperties> gif;

    QString description() const;
};

// An image source over encoded image data: its type, the number of images it
// holds, their properties and the images themselves. Only GIF is decoded; other
// image types are recognised for the type test and hold no images.
//
// Nothing in the file is trusted: canvases and frame counts beyond the limits,
// frames with no palette, bad geometry or data that does not decode are
// counted but never produce an image. Decoded images are not cached; GIF
// frames are composited in order, starting over when an earlier frame is
// asked for. Safe to use from several threads; calls are serialised.
class ImageSource : public std::enable_shared_from_this<ImageSource> {
    struct Passkey {};

public:
    struct Limits {
        qint64 maximumCanvasPixels = 4096 * 4096;
        int maximumFrameCount = 10000;
    };

    // No source for empty data: there is nothing to read.
    static std::shared_ptr<ImageSource> createWithData(const QByteArray &data, Limits limits);
    static std::shared_ptr<ImageSource> createWithData(const QByteArray &data);

    ImageSource(Passkey, QByteArray data, Limits limits);

    // The uniform type of the data, or a null QString when it is no known image.
    QString type() const;
    // Images in the file, those that do not decode included.
    size_t count() const;
    QSize canvasSize() const;
    // The GIF loop count (0 = forever) when the file carries one.
    std::optional<int> loopCount() const;
    // Properties of image `index` (an empty set beyond the count).
    ImageProperties propertiesAtIndex(size_t index) const;
    // The source's own properties as the platform prints them.
    QString propertiesDescription() const;
    QString description() const;

    // A handle to image `index`, or null when it does not decode. The pixels
    // are composited when the handle's image is asked for.
    std::shared_ptr<const FrameImage> createImageAtIndex(size_t index);
    // The composited image `index`, or a null image.
    QImage imageAtIndex(size_t index);
    // Image `index` passed through `transform` while the source is held, which
    // spares a copy when the image is to be redrawn anyway. `transform` sees
    // the source's own pixels, valid only during the call; a result that still
    // shares them is copied before it leaves.
    using Transform = std::function<QImage(const QImage &)>;
    QImage imageAtIndex(size_t index, const Transform &transform);

    int compositorRestartCount() const;

private:
    QByteArray m_data;
    QString m_type;
    GifContainer m_container;
    mutable std::mutex m_mutex;
    GifCompositor m_compositor;
};

} // namespace kova::platform
