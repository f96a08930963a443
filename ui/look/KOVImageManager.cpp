#include "ui/look/KOVImageManager.h"

#include <QCoreApplication>
#include <QPointer>

#include "platform/dispatch/MainQueue.h"
#include "platform/net/URLSession.h"
#include "platform/ui/ImageView.h"

namespace kova {
namespace {

// Decoded logos are small; 32 MB holds a few thousand of them.
constexpr qint64 kDefaultCostLimit = 32 * 1024 * 1024;
const char *const kLastURLProperty = "kovaImageURL";

// The host application's identifier, the domain of the download errors.
QString hostApplicationIdentifier()
{
    const QString domain = QCoreApplication::organizationDomain();
    const QString name = QCoreApplication::applicationName();
    if (domain.isEmpty())
        return name;
    QStringList parts = domain.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    std::reverse(parts.begin(), parts.end());
    return parts.join(QLatin1Char('.')) + QLatin1Char('.') + name;
}

bool isFetchable(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                             scheme == QLatin1String("data"));
}

// The payload of a "data:" address: base64 when the media part says so,
// else percent-encoded bytes.
QByteArray dataURLBytes(const QUrl &url)
{
    const QByteArray text = url.toString(QUrl::FullyEncoded).toLatin1().mid(5);
    const qsizetype comma = text.indexOf(',');
    if (comma < 0)
        return QByteArray();
    const QByteArray meta = text.left(comma);
    const QByteArray payload = QByteArray::fromPercentEncoding(text.mid(comma + 1));
    if (meta.endsWith(";base64"))
        return QByteArray::fromBase64(payload);
    return payload;
}

qint64 costOf(const QImage &image)
{
    return std::max<qint64>(1, image.sizeInBytes());
}

} // namespace

KOVImageManager::KOVImageManager()
{
    m_imageCache.setMaxCost(kDefaultCostLimit);
}

KOVImageManager &KOVImageManager::sharedInstance()
{
    static KOVImageManager *instance = new KOVImageManager;
    return *instance;
}

qint64 KOVImageManager::cacheCostLimit() const
{
    return m_imageCache.maxCost();
}

void KOVImageManager::setCacheCostLimit(qint64 bytes)
{
    m_imageCache.setMaxCost(bytes);
}

bool KOVImageManager::isCached(const QUrl &url) const
{
    return m_imageCache.contains(url.toString(QUrl::FullyEncoded));
}

int KOVImageManager::cachedCount() const
{
    return static_cast<int>(m_imageCache.count());
}

void KOVImageManager::removeAllCachedImages()
{
    m_imageCache.clear();
}

bool KOVImageManager::fetchImageWithURL(const QUrl &url, Completion completion)
{
    if (!platform::MainQueue::isMainThread()) {
        // The cache and the network session are the main thread's: the
        // request is made there (so no download is under way on return).
        platform::MainQueue::async([this, url, completion = std::move(completion)]() mutable {
            fetchImageWithURL(url, std::move(completion));
        });
        return false;
    }
    const QString key = url.toString(QUrl::FullyEncoded);
    if (const QImage *cached = m_imageCache.object(key)) {
        const QImage image = *cached;
        if (completion)
            completion(image, std::nullopt);
        return false;
    }
    const QString domain = hostApplicationIdentifier();
    if (!isFetchable(url)) {
        // No request can be made for it: one failure, like an empty reply.
        platform::MainQueue::async([completion = std::move(completion), domain] {
            if (completion)
                completion(QImage(), platform::Error(domain, 1));
        });
        return false;
    }
    auto finish = [this, key, domain, completion = std::move(completion)](
                      const QByteArray &data, const std::optional<platform::HTTPURLResponse> &response,
                      const std::optional<platform::Error> &error) {
        if (error) {
            if (completion)
                completion(QImage(), error);
            return;
        }
        if (data.isEmpty()) {
            if (completion)
                completion(QImage(), platform::Error(domain, 1));
            return;
        }
        QImage image;
        if (!image.loadFromData(data)) {
            QVariantMap info{{QStringLiteral("data"), data}};
            if (response) {
                QVariantMap responseInfo{{QStringLiteral("URL"), response->url},
                                         {QStringLiteral("statusCode"), response->statusCode}};
                info.insert(QStringLiteral("response"), responseInfo);
            } else {
                info.insert(QStringLiteral("response"), QVariant::fromValue(nullptr));
            }
            if (completion)
                completion(QImage(), platform::Error(domain, 2, info));
            return;
        }
        m_imageCache.insert(key, new QImage(image), costOf(image));
        if (completion)
            completion(image, std::nullopt);
    };
    if (url.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0) {
        // The bytes are in the address: no request, and no response.
        platform::MainQueue::async([finish = std::move(finish), data = dataURLBytes(url)] { finish(data, std::nullopt, std::nullopt); });
        return false;
    }
    platform::URLRequest request;
    request.url = url;
    request.httpMethod = QByteArrayLiteral("GET");
    ++m_downloads;
    platform::URLSession::shared().dataTask(request, std::move(finish));
    return true;
}

void setImageURL(platform::ImageView *view, const QUrl &url)
{
    if (!view)
        return;
    // The last URL wins: a reused row never shows the logo of the row it
    // showed before.
    view->setProperty(kLastURLProperty, url);
    QPointer<platform::ImageView> guard(view);
    KOVImageManager::sharedInstance().fetchImageWithURL(url, [guard, url](const QImage &image, const std::optional<platform::Error> &) {
        if (image.isNull())
            return;
        platform::MainQueue::async([guard, url, image] {
            if (guard && guard->property(kLastURLProperty).toUrl() == url)
                guard->setImage(image);
        });
    });
}

} // namespace kova
