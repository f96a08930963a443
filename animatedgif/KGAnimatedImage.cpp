#include "animatedgif/KGAnimatedImage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPainter>
#include <algorithm>
#include <cfloat>
#include <mutex>

#include "animatedgif/KGSerialQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/image/FrameImage.h"
#include "platform/image/ImageSource.h"
#include "platform/image/MemoryWarning.h"
#include "platform/image/UTType.h"

namespace kova {

const double kKGAnimatedImageDelayTimeIntervalMinimum = 0.02;

namespace {

constexpr double kDelayTimeIntervalDefault = 0.1;
constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr double kAllFramesMegabytesMaximum = 10.0;
constexpr double kFewFramesMegabytesMaximum = 75.0;
constexpr quint64 kFewFrames = 5;
constexpr quint64 kOneFrame = 1;
constexpr quint64 kGrowAfterMemoryWarningFrameCacheSize = 2;
constexpr quint64 kGrowingMemoryWarningsMaximum = 3;
constexpr std::chrono::milliseconds kGrowDelay{2000};
constexpr std::chrono::milliseconds kResetDelay{3000};
const QString kDecodingQueueLabel = QStringLiteral("com.kova.animatedgif.decoding");

// ---- process-wide state -------------------------------------------------

struct LogHook {
    std::mutex mutex;
    std::shared_ptr<const KGAnimatedImage::LogBlock> block;
    KGAnimatedImageLogLevel level = KGAnimatedImageLogLevel::None;
};

struct Registry {
    std::mutex mutex;
    std::vector<std::pair<const KGAnimatedImage *, std::weak_ptr<KGAnimatedImage>>> members;
};

struct Hooks {
    std::mutex mutex;
    std::shared_ptr<KGClock> clock;
    KGAnimatedImage::DecodedSizeReader decodedSizeReader;
    std::shared_ptr<const KGAnimatedImage::DecodeObserver> decodeObserver;
};

// These live for the whole process: images and their decoding may still be
// around while static objects are destroyed.
LogHook &logHook()
{
    static auto *hook = new LogHook;
    return *hook;
}

Registry &registry()
{
    static auto *instance = new Registry;
    return *instance;
}

Hooks &hooks()
{
    static auto *instance = new Hooks;
    return *instance;
}

// ---- descriptions -------------------------------------------------------

QByteArray describeData(const QByteArray &data)
{
    // Only the length and a short prefix: a whole GIF in a log line helps no one.
    constexpr qsizetype kPrefix = 16;
    QByteArray text = "{length = " + QByteArray::number(data.size()) + ", bytes = 0x" + data.left(kPrefix).toHex();
    if (data.size() > kPrefix)
        text += " ...";
    return text + "}";
}

QByteArray describeSize(const QSizeF &size)
{
    return "{" + QByteArray::number(size.width(), 'g', 15) + ", " + QByteArray::number(size.height(), 'g', 15) + "}";
}

QByteArray describeImage(const QImage &image)
{
    return QStringLiteral("<QImage: 0x%1 size=%2 format=%3>")
        .arg(quintptr(image.constBits()), 0, 16)
        .arg(QString::fromLatin1(describeSize(image.deviceIndependentSize())))
        .arg(int(image.format()))
        .toUtf8();
}

QByteArray describeObject(const QVariant &object)
{
    if (object.metaType() == QMetaType::fromType<QString>())
        return object.toString().toUtf8();
    QString text;
    QDebug(&text).nospace() << object;
    return text.toUtf8();
}

// The layout a redrawn image gets: alpha premultiplied, and the skip-byte
// layout where there is no alpha.
QImage::Format predrawnFormat(QImage::Format format, bool hasAlpha)
{
    switch (format) {
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return QImage::Format_ARGB32_Premultiplied;
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        return QImage::Format_RGBA8888_Premultiplied;
    case QImage::Format_RGBX8888:
        return QImage::Format_RGBX8888;
    case QImage::Format_RGB32:
    case QImage::Format_Alpha8:
        return QImage::Format_RGB32;
    default:
        return hasAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    }
}

QImage decodeFrame(platform::ImageSource &source, quint64 index, bool predraw)
{
    const auto frame = source.createImageAtIndex(size_t(index));
    if (!frame)
        return {};
    // Redrawn straight from the source's pixels: one bitmap made, not two.
    return predraw ? frame->image(&KGAnimatedImage::predrawnImageFromImage) : frame->image();
}

void notifyDecodeObserver(quint64 index)
{
    std::shared_ptr<const KGAnimatedImage::DecodeObserver> observer;
    {
        std::lock_guard lock(hooks().mutex);
        observer = hooks().decodeObserver;
    }
    if (observer && *observer)
        (*observer)(index);
}

void deliverMemoryWarning()
{
    std::vector<std::shared_ptr<KGAnimatedImage>> images;
    {
        Registry &all = registry();
        std::lock_guard lock(all.mutex);
        for (const auto &member : all.members) {
            if (auto image = member.second.lock())
                images.push_back(std::move(image));
        }
    }
    for (const auto &image : images)
        image->didReceiveMemoryWarning();
}

} // namespace

// ---- creation -----------------------------------------------------------

KGAnimatedImage::KGAnimatedImage(Passkey)
{
}

KGAnimatedImage::~KGAnimatedImage()
{
    {
        Registry &all = registry();
        std::lock_guard lock(all.mutex);
        std::erase_if(all.members, [this](const auto &member) { return member.first == this; });
    }
    cancelAllDelayedCalls();
    // Waits for a frame being decoded; the rest of the queued work is dropped
    // and any result already posted finds the image gone.
    m_serialQueue.reset();
}

void KGAnimatedImage::destroyOnMainThread(KGAnimatedImage *image)
{
    if (QCoreApplication::instance() && !platform::MainQueue::isMainThread())
        platform::MainQueue::async([image] { delete image; });
    else
        delete image;
}

std::shared_ptr<KGAnimatedImage> KGAnimatedImage::init()
{
    // The data-less attempt logs its own line first.
    initWithAnimatedGIFData(QByteArray());
    log(KGAnimatedImageLogLevel::Error, [] {
        return QStringLiteral("Use `-initWithAnimatedGIFData:` and supply the animated GIF data as an argument to "
                              "initialize an object of type `KGAnimatedImage`.");
    });
    return nullptr;
}

std::shared_ptr<KGAnimatedImage> KGAnimatedImage::initWithAnimatedGIFData(const QByteArray &data)
{
    return initWithAnimatedGIFData(data, 0, true);
}

std::shared_ptr<KGAnimatedImage> KGAnimatedImage::animatedImageWithGIFData(const QByteArray &data)
{
    return initWithAnimatedGIFData(data);
}

std::shared_ptr<KGAnimatedImage> KGAnimatedImage::initWithAnimatedGIFData(const QByteArray &data,
                                                                          quint64 optimalFrameCacheSize,
                                                                          bool predrawingEnabled)
{
    initialize();
    if (data.isEmpty()) {
        log(KGAnimatedImageLogLevel::Error, [] { return QStringLiteral("No animated GIF data supplied."); });
        return nullptr;
    }
    std::shared_ptr<KGAnimatedImage> image(new KGAnimatedImage(Passkey{}), &KGAnimatedImage::destroyOnMainThread);
    if (!image->setUp(data, optimalFrameCacheSize, predrawingEnabled))
        return nullptr;
    return image;
}

bool KGAnimatedImage::setUp(const QByteArray &data, quint64 optimalFrameCacheSize, bool predrawingEnabled)
{
    m_data = data;
    m_predrawingEnabled = predrawingEnabled;
    {
        std::lock_guard lock(hooks().mutex);
        m_clock = hooks().clock ? hooks().clock : KGClock::systemClock();
    }

    m_imageSource = platform::ImageSource::createWithData(data);
    if (!m_imageSource) {
        log(KGAnimatedImageLogLevel::Error, [&] {
            return QString::asprintf("Failed to `CGImageSourceCreateWithData` for animated GIF data %s",
                                     describeData(data).constData());
        });
        return false;
    }
    const QString type = m_imageSource->type();
    if (!platform::UTType::conformsTo(type, platform::UTType::kUTTypeGIF)) {
        log(KGAnimatedImageLogLevel::Error, [&] {
            return QString::asprintf("Supplied data is of type %s and doesn't seem to be GIF data %s",
                                     type.isNull() ? "(null)" : qUtf8Printable(type), describeData(data).constData());
        });
        return false;
    }

    m_loopCount = quint64(m_imageSource->loopCount().value_or(0));

    const size_t imageCount = m_imageSource->count();
    quint64 skippedFrameCount = 0;
    std::map<quint64, double> delays;
    for (size_t i = 0; i < imageCount; ++i) {
        const auto frame = m_imageSource->createImageAtIndex(i);
        if (!frame) {
            ++skippedFrameCount;
            log(KGAnimatedImageLogLevel::Info, [&] {
                return QString::asprintf(
                    "Dropping frame %zu because failed to `CGImageSourceCreateImageAtIndex` with image source %s", i,
                    qUtf8Printable(m_imageSource->description()));
            });
            continue;
        }
        // Only the poster's pixels are needed now; later frames are
        // composited when the player first asks for them.
        if (m_posterImage.isNull()) {
            const QImage image = frame->image();
            if (image.isNull()) {
                ++skippedFrameCount;
                log(KGAnimatedImageLogLevel::Info, [&] {
                    return QString::asprintf(
                        "Dropping frame %zu because valid `CGImageRef` %s did result in `nil`-`UIImage`.", i,
                        qUtf8Printable(frame->description()));
                });
                continue;
            }
            m_posterImage = image;
            m_size = image.deviceIndependentSize();
            m_posterImageFrameIndex = i;
            m_cachedFramesForIndexes[i] = image;
            m_cachedFrameIndexes.insert(i);
        }

        const platform::ImageProperties properties = m_imageSource->propertiesAtIndex(i);
        std::optional<double> delayTime;
        if (properties.gif) {
            delayTime = properties.gif->unclampedDelayTime;
        } else if (i == 0) {
            delayTime = kDelayTimeIntervalDefault;
            log(KGAnimatedImageLogLevel::Info, [&] {
                return QString::asprintf(
                    "Falling back to default delay time for first frame %s because none found in GIF properties %s",
                    qUtf8Printable(frame->description()), qUtf8Printable(properties.description()));
            });
        } else {
            const auto preceding = delays.find(i - 1);
            if (preceding != delays.end())
                delayTime = preceding->second;
            log(KGAnimatedImageLogLevel::Info, [&] {
                return QString::asprintf(
                    "Falling back to preceding delay time for frame %zu %s because none found in GIF properties %s", i,
                    qUtf8Printable(frame->description()), qUtf8Printable(properties.description()));
            });
        }
        // Compared in single precision, with an epsilon so that a stored 0.02
        // that reads back a hair low still counts as the minimum.
        const float delayAsFloat = delayTime ? float(*delayTime) : 0.0f;
        if (double(delayAsFloat) < kKGAnimatedImageDelayTimeIntervalMinimum - double(FLT_EPSILON)) {
            log(KGAnimatedImageLogLevel::Info, [&] {
                return QString::asprintf("Rounding frame %zu's `delayTime` from %f up to default %f (minimum supported: %f).",
                                         i, double(delayAsFloat), kDelayTimeIntervalDefault,
                                         kKGAnimatedImageDelayTimeIntervalMinimum);
            });
            delayTime = kDelayTimeIntervalDefault;
        }
        delays[i] = *delayTime;
    }
    m_delayTimesForIndexes = std::move(delays);
    m_frameCount = imageCount;

    // A file whose frames all fail to decode is as good as one with none.
    if (m_frameCount == 0 || m_posterImage.isNull()) {
        log(KGAnimatedImageLogLevel::Info, [&] {
            return QString::asprintf("Failed to create any valid frames for GIF with properties %s",
                                     qUtf8Printable(m_imageSource->propertiesDescription()));
        });
        return false;
    }
    if (m_frameCount == 1) {
        log(KGAnimatedImageLogLevel::Info, [&] {
            return QString::asprintf("Created valid GIF but with only a single frame. Image properties: %s",
                                     qUtf8Printable(m_imageSource->propertiesDescription()));
        });
    }

    if (optimalFrameCacheSize == 0) {
        DecodedSizeReader reader;
        {
            std::lock_guard lock(hooks().mutex);
            reader = hooks().decodedSizeReader;
        }
        const quint64 decodableFrameCount = m_frameCount - skippedFrameCount;
        const double megabytes = reader ? reader(m_posterImage, decodableFrameCount)
                                        : double(m_posterImage.bytesPerLine()) * double(m_posterImage.height())
                                              * double(decodableFrameCount) / kMegabyte;
        optimalFrameCacheSize = frameCacheSizeForDecodedMegabytes(megabytes, m_frameCount);
    }
    m_frameCacheSizeOptimal = std::min(optimalFrameCacheSize, m_frameCount);

    for (quint64 i = 0; i < m_frameCount; ++i)
        m_allFramesIndexSet.insert(m_allFramesIndexSet.end(), i);
    m_weakProxy = KGWeakProxy<KGAnimatedImage>::weakProxyForObject(shared_from_this());
    {
        Registry &all = registry();
        std::lock_guard lock(all.mutex);
        all.members.emplace_back(this, weak_from_this());
    }
    return true;
}

quint64 KGAnimatedImage::frameCacheSizeForDecodedMegabytes(double megabytes, quint64 frameCount)
{
    if (megabytes <= kAllFramesMegabytesMaximum)
        return frameCount;
    if (megabytes <= kFewFramesMegabytesMaximum)
        return kFewFrames;
    return kOneFrame;
}

// ---- cache limits -------------------------------------------------------

quint64 KGAnimatedImage::frameCacheSizeCurrent() const
{
    quint64 size = m_frameCacheSizeOptimal;
    if (m_frameCacheSizeMax > 0)
        size = std::min(size, m_frameCacheSizeMax);
    if (m_frameCacheSizeMaxInternal > 0)
        size = std::min(size, m_frameCacheSizeMaxInternal);
    return size;
}

void KGAnimatedImage::setFrameCacheSizeMax(quint64 frameCacheSizeMax)
{
    if (frameCacheSizeMax == m_frameCacheSizeMax)
        return;
    const bool willFrameCacheSizeShrink = frameCacheSizeMax < frameCacheSizeCurrent();
    m_frameCacheSizeMax = frameCacheSizeMax;
    if (willFrameCacheSizeShrink)
        purgeFrameCacheIfNeeded();
}

void KGAnimatedImage::setFrameCacheSizeMaxInternal(quint64 frameCacheSizeMaxInternal)
{
    if (frameCacheSizeMaxInternal == m_frameCacheSizeMaxInternal)
        return;
    const bool willFrameCacheSizeShrink = frameCacheSizeMaxInternal < frameCacheSizeCurrent();
    m_frameCacheSizeMaxInternal = frameCacheSizeMaxInternal;
    if (willFrameCacheSizeShrink)
        purgeFrameCacheIfNeeded();
}

// ---- frames -------------------------------------------------------------

QImage KGAnimatedImage::imageLazilyCachedAtIndex(quint64 index)
{
    if (index >= m_frameCount) {
        log(KGAnimatedImageLogLevel::Warning, [&] {
            return QString::asprintf(
                "Skipping requested frame %lu beyond bounds (total frame count: %lu) for animated image: %s",
                static_cast<unsigned long>(index), static_cast<unsigned long>(m_frameCount),
                qUtf8Printable(description()));
        });
        return {};
    }
    m_requestedFrameIndex = index;

    if (m_cachedFrameIndexes.size() < m_frameCount) {
        std::set<quint64> frameIndexesToAddToCache = frameIndexesToCache();
        std::erase_if(frameIndexesToAddToCache, [this](quint64 i) {
            return m_cachedFrameIndexes.contains(i) || m_requestedFrameIndexes.contains(i)
                || i == m_posterImageFrameIndex;
        });
        if (!frameIndexesToAddToCache.empty())
            addFrameIndexesToCache(frameIndexesToAddToCache);
    }

    const auto cached = m_cachedFramesForIndexes.find(index);
    const QImage image = cached != m_cachedFramesForIndexes.end() ? cached->second : QImage();
    purgeFrameCacheIfNeeded();
    return image;
}

void KGAnimatedImage::addFrameIndexesToCache(const std::set<quint64> &frameIndexesToAddToCache)
{
    // Playback order: from the requested frame to the end, then from the start.
    const quint64 firstRangeLength = m_requestedFrameIndex < m_frameCount ? m_frameCount - m_requestedFrameIndex : 0;
    const quint64 secondRangeLength = m_requestedFrameIndex;
    if (firstRangeLength + secondRangeLength != m_frameCount) {
        log(KGAnimatedImageLogLevel::Warning,
            [] { return QStringLiteral("Two-part frame cache range doesn't equal full range."); });
    }

    m_requestedFrameIndexes.insert(frameIndexesToAddToCache.begin(), frameIndexesToAddToCache.end());
    if (!m_serialQueue)
        m_serialQueue = std::make_unique<KGSerialQueue>(kDecodingQueueLabel);

    std::vector<quint64> order;
    for (quint64 i : frameIndexesToAddToCache) {
        if (i >= m_requestedFrameIndex && i < m_frameCount)
            order.push_back(i);
    }
    for (quint64 i : frameIndexesToAddToCache) {
        if (i < m_requestedFrameIndex && i < m_frameCount)
            order.push_back(i);
    }

    // The block holds the source, never the image: the image may go away at
    // any time on the main thread, and must never be released here.
    std::weak_ptr<KGAnimatedImage> weakSelf = weak_from_this();
    m_serialQueue->async([weakSelf, source = m_imageSource, predraw = m_predrawingEnabled, order = std::move(order)] {
        for (quint64 index : order) {
            if (weakSelf.expired())
                return;
            notifyDecodeObserver(index);
            QImage image = decodeFrame(*source, index, predraw);
            if (image.isNull() || weakSelf.expired())
                continue;
            platform::MainQueue::async([weakSelf, index, image = std::move(image)] {
                if (const auto self = weakSelf.lock())
                    self->storeDecodedFrame(index, image);
            });
        }
    });
}

void KGAnimatedImage::storeDecodedFrame(quint64 index, const QImage &image)
{
    m_requestedFrameIndexes.erase(index);
    // A frame still on its way when the cache shrank (a memory warning, a
    // lower limit) is kept only if the cache's window still holds it.
    if (!frameIndexesToCache().contains(index))
        return;
    m_cachedFramesForIndexes[index] = image;
    m_cachedFrameIndexes.insert(index);
}

QImage KGAnimatedImage::imageAtIndex(quint64 index) const
{
    return decodeFrame(*m_imageSource, index, m_predrawingEnabled);
}

std::set<quint64> KGAnimatedImage::frameIndexesToCache() const
{
    const quint64 frameCacheSize = frameCacheSizeCurrent();
    if (frameCacheSize == m_frameCount)
        return m_allFramesIndexSet;

    std::set<quint64> indexes;
    // From the requested frame up to the last, then wrapping round from 0.
    const quint64 firstLength =
        m_requestedFrameIndex < m_frameCount ? std::min(frameCacheSize, m_frameCount - m_requestedFrameIndex) : 0;
    for (quint64 i = 0; i < firstLength; ++i)
        indexes.insert(m_requestedFrameIndex + i);
    if (firstLength < frameCacheSize) {
        const quint64 secondLength = std::min(frameCacheSize - firstLength, m_frameCount);
        for (quint64 i = 0; i < secondLength; ++i)
            indexes.insert(i);
    }
    if (indexes.size() != frameCacheSize) {
        log(KGAnimatedImageLogLevel::Warning,
            [] { return QStringLiteral("Number of frames to cache doesn't equal expected cache size."); });
    }
    indexes.insert(m_posterImageFrameIndex);
    return indexes;
}

void KGAnimatedImage::purgeFrameCacheIfNeeded()
{
    if (m_cachedFrameIndexes.size() <= frameCacheSizeCurrent())
        return;
    const std::set<quint64> keep = frameIndexesToCache();
    for (auto it = m_cachedFrameIndexes.begin(); it != m_cachedFrameIndexes.end();) {
        if (keep.contains(*it)) {
            ++it;
            continue;
        }
        m_cachedFramesForIndexes.erase(*it);
        it = m_cachedFrameIndexes.erase(it);
    }
}

// ---- memory warnings ----------------------------------------------------

void KGAnimatedImage::didReceiveMemoryWarning()
{
    ++m_memoryWarningCount;
    cancelDelayedCalls(DelayedCall::GrowFrameCacheSize);
    cancelDelayedCalls(DelayedCall::ResetFrameCacheSizeMaxInternal);

    log(KGAnimatedImageLogLevel::Debug, [&] {
        return QString::asprintf(
            "Attempt setting frame cache size max to %lu (previous was %lu) after memory warning #%lu for animated "
            "image: %s",
            static_cast<unsigned long>(kOneFrame), static_cast<unsigned long>(m_frameCacheSizeMaxInternal),
            static_cast<unsigned long>(m_memoryWarningCount), qUtf8Printable(description()));
    });
    setFrameCacheSizeMaxInternal(kOneFrame);

    // Only the first few warnings let the cache grow back; an image that keeps
    // being warned stays at one frame.
    if (m_memoryWarningCount <= kGrowingMemoryWarningsMaximum) {
        scheduleDelayedCall(DelayedCall::GrowFrameCacheSize, kGrowDelay, [](KGAnimatedImage &image) {
            image.growFrameCacheSizeAfterMemoryWarning(kGrowAfterMemoryWarningFrameCacheSize);
        });
    }
}

void KGAnimatedImage::growFrameCacheSizeAfterMemoryWarning(quint64 frameCacheSize)
{
    setFrameCacheSizeMaxInternal(frameCacheSize);
    log(KGAnimatedImageLogLevel::Debug, [&] {
        return QString::asprintf("Grew frame cache size max to %lu after memory warning for animated image: %s",
                                 static_cast<unsigned long>(m_frameCacheSizeMaxInternal),
                                 qUtf8Printable(description()));
    });
    scheduleDelayedCall(DelayedCall::ResetFrameCacheSizeMaxInternal, kResetDelay,
                        [](KGAnimatedImage &image) { image.resetFrameCacheSizeMaxInternal(); });
}

void KGAnimatedImage::resetFrameCacheSizeMaxInternal()
{
    setFrameCacheSizeMaxInternal(0);
    log(KGAnimatedImageLogLevel::Debug, [&] {
        return QString::asprintf("Reset frame cache size max (current frame cache size: %lu) for animated image: %s",
                                 static_cast<unsigned long>(frameCacheSizeCurrent()), qUtf8Printable(description()));
    });
}

void KGAnimatedImage::scheduleDelayedCall(DelayedCall call, std::chrono::milliseconds delay,
                                          std::function<void(KGAnimatedImage &)> work)
{
    // The clock holds the proxy, which holds the image only weakly.
    auto token = std::make_shared<KGClock::Token>(0);
    *token = m_clock->schedule(delay, [proxy = m_weakProxy, token, work = std::move(work)] {
        proxy->forward([&](KGAnimatedImage &image) {
            std::erase_if(image.m_delayedCalls, [&](const auto &pending) { return pending.second == *token; });
            work(image);
        });
    });
    m_delayedCalls.emplace_back(call, *token);
}

void KGAnimatedImage::cancelDelayedCalls(DelayedCall call)
{
    for (auto it = m_delayedCalls.begin(); it != m_delayedCalls.end();) {
        if (it->first != call) {
            ++it;
            continue;
        }
        m_clock->cancel(it->second);
        it = m_delayedCalls.erase(it);
    }
}

void KGAnimatedImage::cancelAllDelayedCalls()
{
    for (const auto &pending : m_delayedCalls)
        m_clock->cancel(pending.second);
    m_delayedCalls.clear();
}

void KGAnimatedImage::initialize()
{
    static std::once_flag once;
    std::call_once(once, [] {
        registry();
        platform::MemoryWarning::addObserver([] {
            // Images belong to the main thread; a warning posted anywhere else
            // is handled there.
            if (platform::MainQueue::isMainThread())
                deliverMemoryWarning();
            else
                platform::MainQueue::async(&deliverMemoryWarning);
        });
    });
}

// ---- description, sizes, predrawing -------------------------------------

QString KGAnimatedImage::description() const
{
    return QString::asprintf("<KGAnimatedImage: %p> size=%s frameCount=%lu", static_cast<const void *>(this),
                             describeSize(m_size).constData(), static_cast<unsigned long>(m_frameCount));
}

QSizeF KGAnimatedImage::sizeForImage(const QVariant &image)
{
    if (!image.isValid())
        return QSizeF(0, 0);
    if (image.metaType() == QMetaType::fromType<QImage>()) {
        const QImage platformImage = image.value<QImage>();
        return platformImage.isNull() ? QSizeF(0, 0) : platformImage.deviceIndependentSize();
    }
    if (image.metaType() == QMetaType::fromType<std::shared_ptr<KGAnimatedImage>>()) {
        const auto animatedImage = image.value<std::shared_ptr<KGAnimatedImage>>();
        return animatedImage ? animatedImage->size() : QSizeF(0, 0);
    }
    log(KGAnimatedImageLogLevel::Error, [&] {
        return QString::asprintf("`image` isn't of expected types `UIImage` or `KGAnimatedImage`: %s",
                                 describeObject(image).constData());
    });
    return QSizeF(0, 0);
}

QImage KGAnimatedImage::predrawnImageFromImage(const QImage &imageToPredraw)
{
    if (imageToPredraw.isNull())
        return imageToPredraw;
    // Sizes in points, truncated, as the redrawn image keeps the scale.
    const qreal scale = imageToPredraw.devicePixelRatio();
    const int width = int(imageToPredraw.width() / scale);
    const int height = int(imageToPredraw.height() / scale);
    constexpr size_t kBitsPerComponent = 8;
    const size_t bytesPerRow = size_t(4) * size_t(std::max(width, 0));
    const QImage::Format format = predrawnFormat(imageToPredraw.format(), imageToPredraw.hasAlphaChannel());

    QImage context;
    if (width > 0 && height > 0)
        context = QImage(width, height, format);
    if (context.isNull()) {
        log(KGAnimatedImageLogLevel::Error, [&] {
            return QString::asprintf("Failed to `CGBitmapContextCreate` with color space %s and parameters (width: %zu "
                                     "height: %zu bitsPerComponent: %zu bytesPerRow: %zu) for image %s",
                                     "<DeviceRGB>", size_t(std::max(width, 0)), size_t(std::max(height, 0)),
                                     kBitsPerComponent, bytesPerRow, describeImage(imageToPredraw).constData());
        });
        return imageToPredraw;
    }
    QPainter painter;
    if (!painter.begin(&context)) {
        log(KGAnimatedImageLogLevel::Error, [&] {
            return QString::asprintf(
                "Failed to `imageWithCGImage:scale:orientation:` with image ref %s created with color space %s and "
                "bitmap context %s and properties and properties (scale: %f orientation: %ld) for image %s",
                describeImage(context).constData(), "<DeviceRGB>", describeImage(context).constData(), double(scale),
                0L, describeImage(imageToPredraw).constData());
        });
        return imageToPredraw;
    }
    // Copying every pixel (alpha included) into the fresh bitmap is what
    // drawing over a cleared one would give, without clearing it first.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRectF(0, 0, width, height), imageToPredraw);
    painter.end();
    context.setDevicePixelRatio(scale);
    return context;
}

// ---- logging and hooks --------------------------------------------------

void KGAnimatedImage::setLogBlock(LogBlock logBlock, KGAnimatedImageLogLevel logLevel)
{
    auto block = logBlock ? std::make_shared<const LogBlock>(std::move(logBlock)) : nullptr;
    LogHook &hook = logHook();
    std::lock_guard lock(hook.mutex);
    hook.block = std::move(block);
    hook.level = logLevel;
}

void KGAnimatedImage::logStringFromBlock(const MessageBlock &messageBlock, KGAnimatedImageLogLevel level)
{
    if (!messageBlock)
        return;
    std::shared_ptr<const LogBlock> block;
    KGAnimatedImageLogLevel hookLevel;
    {
        LogHook &hook = logHook();
        std::lock_guard lock(hook.mutex);
        block = hook.block;
        hookLevel = hook.level;
    }
    // Called outside the lock: a log block may itself set the hook.
    if (block && *block && quint64(hookLevel) >= quint64(level))
        (*block)(messageBlock(), level);
}

void KGAnimatedImage::log(KGAnimatedImageLogLevel level, const MessageBlock &message)
{
    logStringFromBlock(message, level);
}

void KGAnimatedImage::setClock(std::shared_ptr<KGClock> clock)
{
    std::lock_guard lock(hooks().mutex);
    hooks().clock = std::move(clock);
}

void KGAnimatedImage::setDecodedSizeReader(DecodedSizeReader reader)
{
    std::lock_guard lock(hooks().mutex);
    hooks().decodedSizeReader = std::move(reader);
}

void KGAnimatedImage::setDecodeObserver(DecodeObserver observer)
{
    auto shared = observer ? std::make_shared<const DecodeObserver>(std::move(observer)) : nullptr;
    std::lock_guard lock(hooks().mutex);
    hooks().decodeObserver = std::move(shared);
}

} // namespace kova
