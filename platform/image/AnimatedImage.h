#pragma once

#include <QImage>
#include <QList>

namespace kova::platform {

// An image that plays by itself: its frames shown one after another, evenly
// spaced over its duration, the way a plain image view plays an animated
// platform image. A frame repeated to last longer is the same QImage (shared
// pixels) several times.
struct AnimatedImage {
    QList<QImage> images;
    double duration = 0;    // seconds for one pass through `images`

    static AnimatedImage animatedImageWithImages(QList<QImage> images, double duration)
    {
        return AnimatedImage{std::move(images), duration};
    }

    bool isNull() const { return images.isEmpty(); }
};

} // namespace kova::platform
