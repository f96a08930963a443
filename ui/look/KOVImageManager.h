#pragma once

// Usage:
//   KOVImageManager::sharedInstance().fetchImageWithURL(url, [](QImage image, std::optional<platform::Error> error) {...});
//   setImageURL(imageView, url);      // a bank logo into an image view
// A cached image completes at once on the caller's thread; downloads complete
// on the main queue. Only http(s) and data URLs are fetched; anything else (a
// missing URL included) completes once with code 1 and sends nothing. The
// cache keeps decoded images up to a cost limit in bytes.

#include <QCache>
#include <QImage>
#include <QUrl>
#include <functional>
#include <optional>

#include "platform/foundation/Error.h"

namespace kova::platform {
class ImageView;
}

namespace kova {

class KOVImageManager {
public:
    using Completion = std::function<void(const QImage &image, const std::optional<platform::Error> &error)>;

    static KOVImageManager &sharedInstance();

    // Returns whether a download was started.
    bool fetchImageWithURL(const QUrl &url, Completion completion);

    // Cost limit of the cache in decoded bytes.
    qint64 cacheCostLimit() const;
    void setCacheCostLimit(qint64 bytes);
    bool isCached(const QUrl &url) const;
    int cachedCount() const;
    void removeAllCachedImages();
    // Downloads started since the process began (benchmarks, tests).
    quint64 downloadCount() const { return m_downloads; }

private:
    KOVImageManager();
    QCache<QString, QImage> m_imageCache;
    quint64 m_downloads = 0;
};

// The image of the URL into the view, on the main queue. The view remembers
// the last URL it was given and ignores completions for any other; a failure
// leaves the view's image as it is; a view gone before the end is not touched.
void setImageURL(platform::ImageView *view, const QUrl &url);

} // namespace kova
