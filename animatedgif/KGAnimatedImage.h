#pragma once

#include <QByteArray>
#include <QImage>
#include <QMetaType>
#include <QSizeF>
#include <QString>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "animatedgif/KGClock.h"
#include "animatedgif/KGWeakProxy.h"

namespace kova::platform {
class ImageSource;
}

namespace kova {

class KGSerialQueue;

// Frame delays (seconds) below this play at the default 0.1 s instead: the
// shortest delay the library honours.
extern const double kKGAnimatedImageDelayTimeIntervalMinimum;

enum class KGAnimatedImageLogLevel : quint64 {
    None = 0,
    Error = 1,
    Warning = 2,
    Info = 3,
    Debug = 4,
    Verbose = 5,
};

// An animated GIF decoded from data: frame count, per-frame delays, loop count,
// size and poster image, with a bounded cache of decoded frames. Frames other
// than the poster are decoded lazily on a private serial queue, in the order a
// player needs them, and stored on the main thread; how many are kept depends
// on the decoded size and shrinks on memory warnings.
//
// Everything but the decoding belongs to the main thread, and the image is
// always destroyed there: decoding holds only the image source and reaches the
// image through a weak reference.
class KGAnimatedImage : public std::enable_shared_from_this<KGAnimatedImage> {
    struct Passkey {};

public:
    using LogBlock = std::function<void(const QString &logString, KGAnimatedImageLogLevel logLevel)>;
    using MessageBlock = std::function<QString()>;
    // Megabytes the decoded frames would take, from the poster and the number
    // of frames that decode.
    using DecodedSizeReader = std::function<double(const QImage &posterImage, quint64 decodableFrameCount)>;
    using DecodeObserver = std::function<void(quint64 index)>;

    explicit KGAnimatedImage(Passkey);
    KGAnimatedImage(const KGAnimatedImage &) = delete;
    KGAnimatedImage &operator=(const KGAnimatedImage &) = delete;

    // Creation. Each gives no object (and logs why) when the data is missing,
    // is no GIF, or holds no frame that decodes.
    static std::shared_ptr<KGAnimatedImage> init();
    static std::shared_ptr<KGAnimatedImage> initWithAnimatedGIFData(const QByteArray &data);
    // optimalFrameCacheSize 0 lets the image choose from its decoded size.
    static std::shared_ptr<KGAnimatedImage> initWithAnimatedGIFData(const QByteArray &data,
                                                                    quint64 optimalFrameCacheSize,
                                                                    bool predrawingEnabled);
    static std::shared_ptr<KGAnimatedImage> animatedImageWithGIFData(const QByteArray &data);

    quint64 frameCacheSizeOptimal() const { return m_frameCacheSizeOptimal; }
    bool isPredrawingEnabled() const { return m_predrawingEnabled; }
    quint64 frameCacheSizeMaxInternal() const { return m_frameCacheSizeMaxInternal; }
    void setFrameCacheSizeMaxInternal(quint64 frameCacheSizeMaxInternal);
    quint64 requestedFrameIndex() const { return m_requestedFrameIndex; }
    void setRequestedFrameIndex(quint64 requestedFrameIndex) { m_requestedFrameIndex = requestedFrameIndex; }
    quint64 posterImageFrameIndex() const { return m_posterImageFrameIndex; }
    const std::map<quint64, QImage> &cachedFramesForIndexes() const { return m_cachedFramesForIndexes; }
    const std::set<quint64> &cachedFrameIndexes() const { return m_cachedFrameIndexes; }
    const std::set<quint64> &requestedFrameIndexes() const { return m_requestedFrameIndexes; }
    const std::set<quint64> &allFramesIndexSet() const { return m_allFramesIndexSet; }
    quint64 memoryWarningCount() const { return m_memoryWarningCount; }
    void setMemoryWarningCount(quint64 memoryWarningCount) { m_memoryWarningCount = memoryWarningCount; }
    // Made on first use; null until a frame has been handed to the decoder.
    KGSerialQueue *serialQueue() const { return m_serialQueue.get(); }
    std::shared_ptr<platform::ImageSource> imageSource() const { return m_imageSource; }
    std::shared_ptr<KGWeakProxy<KGAnimatedImage>> weakProxy() const { return m_weakProxy; }
    QImage posterImage() const { return m_posterImage; }
    QSizeF size() const { return m_size; }
    quint64 loopCount() const { return m_loopCount; }
    // One entry per frame that decodes.
    const std::map<quint64, double> &delayTimesForIndexes() const { return m_delayTimesForIndexes; }
    // Frames in the file, those that do not decode included.
    quint64 frameCount() const { return m_frameCount; }
    quint64 frameCacheSizeCurrent() const;
    quint64 frameCacheSizeMax() const { return m_frameCacheSizeMax; }
    void setFrameCacheSizeMax(quint64 frameCacheSizeMax);
    QByteArray data() const { return m_data; }

    // The frame at `index` when it is cached, else a null image; schedules the
    // decoding of the frames a player will want next. Main thread.
    QImage imageLazilyCachedAtIndex(quint64 index);

    // The steps of the cache, public for the playback view and for diagnosis.
    void addFrameIndexesToCache(const std::set<quint64> &frameIndexesToAddToCache);
    QImage imageAtIndex(quint64 index) const;
    std::set<quint64> frameIndexesToCache() const;
    void purgeFrameCacheIfNeeded();
    void growFrameCacheSizeAfterMemoryWarning(quint64 frameCacheSize);
    void resetFrameCacheSizeMaxInternal();
    void didReceiveMemoryWarning();

    QString description() const;

    // The process-wide log hook; safe from any thread. Messages at or below
    // `logLevel` reach `logBlock`; level None (the default) logs nothing.
    static void setLogBlock(LogBlock logBlock, KGAnimatedImageLogLevel logLevel);
    // Runs `messageBlock` and hands its text to the hook only when the hook
    // wants messages of `level`.
    static void logStringFromBlock(const MessageBlock &messageBlock, KGAnimatedImageLogLevel level);

    // Makes the registry of live images and starts observing memory warnings;
    // runs once, on first use of the class.
    static void initialize();
    // The size of a QImage or of a std::shared_ptr<KGAnimatedImage>; zero for
    // nothing, and zero with a logged error for anything else.
    static QSizeF sizeForImage(const QVariant &image);
    // The image redrawn into a fresh bitmap of a layout that draws fast, or the
    // image itself when that cannot be done.
    static QImage predrawnImageFromImage(const QImage &imageToPredraw);

    // Frames to keep for a decoded size: all up to 10 MB, 5 up to 75 MB, else 1.
    static quint64 frameCacheSizeForDecodedMegabytes(double megabytes, quint64 frameCount);

    // Time base of the memory-warning timeline, taken by images made after the
    // call; null restores the main loop's timers. Main thread.
    static void setClock(std::shared_ptr<KGClock> clock);
    // Replaces the decoded-size estimate (null restores the default).
    static void setDecodedSizeReader(DecodedSizeReader reader);
    // Called on the decoding thread as each frame's decoding starts (null: none).
    static void setDecodeObserver(DecodeObserver observer);

private:
    enum class DelayedCall { GrowFrameCacheSize, ResetFrameCacheSizeMaxInternal };

    ~KGAnimatedImage();
    static void destroyOnMainThread(KGAnimatedImage *image);
    static void log(KGAnimatedImageLogLevel level, const MessageBlock &message);

    bool setUp(const QByteArray &data, quint64 optimalFrameCacheSize, bool predrawingEnabled);
    void storeDecodedFrame(quint64 index, const QImage &image);
    void scheduleDelayedCall(DelayedCall call, std::chrono::milliseconds delay,
                             std::function<void(KGAnimatedImage &)> work);
    void cancelDelayedCalls(DelayedCall call);
    void cancelAllDelayedCalls();

    quint64 m_frameCacheSizeOptimal = 0;
    bool m_predrawingEnabled = true;
    quint64 m_frameCacheSizeMaxInternal = 0;
    quint64 m_requestedFrameIndex = 0;
    quint64 m_posterImageFrameIndex = 0;
    std::map<quint64, QImage> m_cachedFramesForIndexes;
    std::set<quint64> m_cachedFrameIndexes;
    std::set<quint64> m_requestedFrameIndexes;
    std::set<quint64> m_allFramesIndexSet;
    quint64 m_memoryWarningCount = 0;
    std::unique_ptr<KGSerialQueue> m_serialQueue;
    std::shared_ptr<platform::ImageSource> m_imageSource;
    std::shared_ptr<KGWeakProxy<KGAnimatedImage>> m_weakProxy;
    QImage m_posterImage;
    QSizeF m_size{0, 0};
    quint64 m_loopCount = 0;
    std::map<quint64, double> m_delayTimesForIndexes;
    quint64 m_frameCount = 0;
    quint64 m_frameCacheSizeMax = 0;
    QByteArray m_data;

    std::shared_ptr<KGClock> m_clock;
    std::vector<std::pair<DelayedCall, KGClock::Token>> m_delayedCalls;
};

} // namespace kova

Q_DECLARE_METATYPE(std::shared_ptr<kova::KGAnimatedImage>)
