#include <QBuffer>
#include <QRegularExpression>
#include <cmath>
#include <condition_variable>
#include <gtest/gtest.h>

#include "animatedgif/KGAnimatedImage.h"
#include "animatedgif/KGSerialQueue.h"
#include "platform/image/MemoryWarning.h"
#include "tests/animatedgif/FakeClock.h"
#include "tests/animatedgif/GifWriter.h"
#include "tests/animatedgif/LogRecorder.h"
#include "tests/animatedgif/ReferenceCompositor.h"
#include "tests/support/TestSupport.h"

using namespace kova;
using namespace kova::test;
using Level = KGAnimatedImageLogLevel;

namespace {

class AnimatedImageTest : public ::testing::Test {
protected:
    void SetUp() override { KGAnimatedImage::setClock(m_clock); }
    void TearDown() override
    {
        KGAnimatedImage::setClock(nullptr);
        KGAnimatedImage::setDecodedSizeReader(nullptr);
        KGAnimatedImage::setDecodeObserver(nullptr);
    }

    // Requests `index` until it is cached, as a player would; the main loop
    // runs meanwhile so decoded frames get stored.
    QImage waitForFrame(KGAnimatedImage &image, quint64 index)
    {
        QImage frame;
        waitUntil([&] {
            frame = image.imageLazilyCachedAtIndex(index);
            return !frame.isNull();
        });
        return frame;
    }

    std::shared_ptr<FakeClock> m_clock = std::make_shared<FakeClock>();
};

GifPlan patternPlan(int frames, int width = 8, int height = 8)
{
    GifPlan plan;
    plan.width = width;
    plan.height = height;
    plan.globalPalette = distinctPalette(16);
    for (int i = 0; i < frames; ++i)
        plan.frames.push_back(patternFrame(width, height, 16, i));
    return plan;
}

GifPlan delayPlan(const std::vector<std::optional<int>> &delays)
{
    GifPlan plan;
    plan.width = 4;
    plan.height = 4;
    plan.globalPalette = distinctPalette(4);
    for (size_t i = 0; i < delays.size(); ++i) {
        GifFramePlan frame = patternFrame(4, 4, 4, int(i));
        frame.hasControl = delays[i].has_value();
        frame.delay = delays[i].value_or(0);
        plan.frames.push_back(frame);
    }
    return plan;
}

// Frame `index`'s codes replaced by ones no decoder accepts. The frame gets a
// palette of one repeated colour so its data can be found.
QByteArray withBrokenFrame(GifPlan plan, size_t index)
{
    plan.frames[index].localPalette = Palette(4, qRgb(7, 8, 9));
    QByteArray gif = writeGif(plan);
    const QByteArray marker = QByteArray("\x07\x08\x09", 3).repeated(4);
    const qsizetype data = gif.indexOf(marker) + marker.size();
    const int blockLength = static_cast<unsigned char>(gif[data + 1]);
    for (int i = 0; i < blockLength; ++i)
        gif[data + 2 + i] = char(0xff);
    return gif;
}

QByteArray pngData()
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString describe(const KGAnimatedImage &image)
{
    return image.description();
}

} // namespace

// ---- creation -------------------------------------------------------------

TEST_F(AnimatedImageTest, MissingOrForeignDataGivesNoObjectAndOneErrorLine)
{
    {
        LogRecorder log;
        EXPECT_EQ(KGAnimatedImage::initWithAnimatedGIFData(QByteArray()), nullptr);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0].first, "No animated GIF data supplied.");
        EXPECT_EQ(log.lines()[0].second, Level::Error);
    }
    {
        LogRecorder log;
        const QByteArray png = pngData();
        EXPECT_EQ(KGAnimatedImage::animatedImageWithGIFData(png), nullptr);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0].second, Level::Error);
        EXPECT_EQ(log.lines()[0].first,
                  QStringLiteral("Supplied data is of type public.png and doesn't seem to be GIF data "
                                 "{length = %1, bytes = 0x89504e470d0a1a0a0000000d49484452 ...}")
                      .arg(png.size()));
    }
    {
        LogRecorder log;
        EXPECT_EQ(KGAnimatedImage::initWithAnimatedGIFData("hello", 0, false), nullptr);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0].second, Level::Error);
        EXPECT_EQ(log.lines()[0].first,
                  "Supplied data is of type (null) and doesn't seem to be GIF data {length = 5, bytes = 0x68656c6c6f}");
    }
}

TEST_F(AnimatedImageTest, InitRefusesAfterTheDatalessAttempt)
{
    LogRecorder log;
    EXPECT_EQ(KGAnimatedImage::init(), nullptr);
    EXPECT_EQ(log.texts(Level::Error),
              QStringList({"No animated GIF data supplied.",
                           "Use `-initWithAnimatedGIFData:` and supply the animated GIF data as an argument to "
                           "initialize an object of type `KGAnimatedImage`."}));
}

TEST_F(AnimatedImageTest, LogLinesShowDataByLengthAndPrefixOnly)
{
    LogRecorder log;
    const QByteArray big(1 << 20, 'x');
    EXPECT_EQ(KGAnimatedImage::animatedImageWithGIFData(big), nullptr);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].first, "Supplied data is of type (null) and doesn't seem to be GIF data "
                                     "{length = 1048576, bytes = 0x78787878787878787878787878787878 ...}");
}

TEST_F(AnimatedImageTest, GifWithoutDecodableFramesGivesNoObject)
{
    {
        // Header and screen descriptor, then the trailer: no images at all.
        GifPlan empty;
        empty.width = 3;
        empty.height = 3;
        empty.globalPalette = distinctPalette(2);
        const QByteArray gif = writeGif(empty);
        LogRecorder log;
        EXPECT_EQ(KGAnimatedImage::animatedImageWithGIFData(gif), nullptr);
        EXPECT_EQ(log.texts(),
                  QStringList(QStringLiteral("Failed to create any valid frames for GIF with properties {FileSize = %1; "
                                             "\"{GIF}\" = {CanvasPixelHeight = 3; CanvasPixelWidth = 3; "
                                             "HasGlobalColorMap = 1;};}")
                                  .arg(gif.size())));
        EXPECT_EQ(log.lines()[0].second, Level::Info);
    }
    {
        // Two frames on a canvas no one could hold: counted, neither decodes.
        GifPlan huge;
        huge.width = 65535;
        huge.height = 65535;
        huge.globalPalette = distinctPalette(2);
        huge.frames = {solidFrame(1, 1, 1), solidFrame(1, 1, 0)};
        LogRecorder log;
        EXPECT_EQ(KGAnimatedImage::animatedImageWithGIFData(writeGif(huge)), nullptr);
        const QStringList lines = log.texts(Level::Info);
        ASSERT_EQ(lines.size(), 3);
        const QRegularExpression dropped(
            "^Dropping frame ([01]) because failed to `CGImageSourceCreateImageAtIndex` with image source "
            "<ImageSource: 0x[0-9a-f]+ type=com\\.compuserve\\.gif count=2>$");
        EXPECT_EQ(dropped.match(lines[0]).captured(1), "0");
        EXPECT_EQ(dropped.match(lines[1]).captured(1), "1");
        EXPECT_TRUE(lines[2].startsWith("Failed to create any valid frames for GIF with properties {FileSize = "));
    }
}

TEST_F(AnimatedImageTest, FramesSizeLoopCountAndPoster)
{
    GifPlan plan = patternPlan(4, 12, 10);
    plan.loop = LoopExtension::Netscape;
    plan.loopCount = 5;
    const auto image = KGAnimatedImage::animatedImageWithGIFData(writeGif(plan));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->frameCount(), 4u);
    EXPECT_EQ(image->loopCount(), 5u);
    EXPECT_EQ(image->size(), QSizeF(12, 10));
    EXPECT_EQ(image->posterImageFrameIndex(), 0u);
    EXPECT_TRUE(image->isPredrawingEnabled());
    EXPECT_EQ(image->allFramesIndexSet(), (std::set<quint64>{0, 1, 2, 3}));
    EXPECT_EQ(image->cachedFrameIndexes(), std::set<quint64>{0});
    EXPECT_TRUE(image->requestedFrameIndexes().empty());
    EXPECT_EQ(image->serialQueue(), nullptr);
    EXPECT_TRUE(samePixels(image->posterImage(), referenceFrames(plan)[0]));
    EXPECT_EQ(image->data(), writeGif(plan));
    EXPECT_TRUE(QRegularExpression("^<KGAnimatedImage: 0x[0-9a-f]+> size=\\{12, 10\\} frameCount=4$")
                    .match(image->description())
                    .hasMatch())
        << image->description().toStdString();

    plan.loopCount = 0;
    EXPECT_EQ(KGAnimatedImage::animatedImageWithGIFData(writeGif(plan))->loopCount(), 0u);
    plan.loop = LoopExtension::None;
    EXPECT_EQ(KGAnimatedImage::animatedImageWithGIFData(writeGif(plan))->loopCount(), 0u);
}

TEST_F(AnimatedImageTest, FirstDecodableFrameIsThePosterAndBrokenFramesAreCountedWithoutDelay)
{
    const GifPlan plan = delayPlan({5, 6, 7});
    LogRecorder log(Level::Info);
    const auto image = KGAnimatedImage::animatedImageWithGIFData(withBrokenFrame(plan, 0));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->frameCount(), 3u);
    EXPECT_EQ(image->posterImageFrameIndex(), 1u);
    EXPECT_EQ(image->cachedFrameIndexes(), std::set<quint64>{1});
    EXPECT_EQ(image->delayTimesForIndexes(), (std::map<quint64, double>{{1, 0.06}, {2, 0.07}}));
    EXPECT_TRUE(samePixels(image->posterImage(), referenceFrames(plan, {0})[1]));
    ASSERT_FALSE(log.texts().isEmpty());
    EXPECT_TRUE(log.texts()[0].startsWith("Dropping frame 0 because failed to `CGImageSourceCreateImageAtIndex`"));
}

TEST_F(AnimatedImageTest, SingleFrameIsLoggedAndKept)
{
    const QByteArray gif = simpleGif(3, 3, 1);
    LogRecorder log;
    const auto image = KGAnimatedImage::animatedImageWithGIFData(gif);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->frameCount(), 1u);
    EXPECT_EQ(log.texts(), QStringList(QStringLiteral("Created valid GIF but with only a single frame. Image properties: "
                                                      "{FileSize = %1; \"{GIF}\" = {CanvasPixelHeight = 3; "
                                                      "CanvasPixelWidth = 3; HasGlobalColorMap = 1;};}")
                                           .arg(gif.size())));
}

// ---- delays ---------------------------------------------------------------

TEST_F(AnimatedImageTest, DelaysBelowTheMinimumBecomeTheDefault)
{
    EXPECT_EQ(kKGAnimatedImageDelayTimeIntervalMinimum, 0.02);
    LogRecorder log;
    const auto image = KGAnimatedImage::animatedImageWithGIFData(writeGif(delayPlan({0, 1, 2, 5})));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->delayTimesForIndexes(), (std::map<quint64, double>{{0, 0.1}, {1, 0.1}, {2, 0.02}, {3, 0.05}}));
    EXPECT_EQ(log.texts(Level::Info),
              QStringList({"Rounding frame 0's `delayTime` from 0.000000 up to default 0.100000 (minimum supported: 0.020000).",
                           "Rounding frame 1's `delayTime` from 0.010000 up to default 0.100000 (minimum supported: 0.020000)."}));
}

TEST_F(AnimatedImageTest, MissingDelaysFallBackToDefaultThenToThePrecedingFrame)
{
    LogRecorder log;
    const auto image =
        KGAnimatedImage::animatedImageWithGIFData(writeGif(delayPlan({std::nullopt, 7, 4, std::nullopt, std::nullopt})));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->delayTimesForIndexes(),
              (std::map<quint64, double>{{0, 0.1}, {1, 0.07}, {2, 0.04}, {3, 0.04}, {4, 0.04}}));
    const QStringList lines = log.texts(Level::Info);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(QRegularExpression("^Falling back to default delay time for first frame <FrameImage: 0x[0-9a-f]+ "
                                   "index=0 size=\\{4, 4\\}> because none found in GIF properties "
                                   "\\{PixelHeight = 4; PixelWidth = 4;\\}$")
                    .match(lines[0])
                    .hasMatch())
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("Falling back to preceding delay time for frame 3 <FrameImage: "));
    EXPECT_TRUE(lines[2].startsWith("Falling back to preceding delay time for frame 4 <FrameImage: "));
}

TEST_F(AnimatedImageTest, PrecedingDelayOfADroppedFrameReadsAsZero)
{
    LogRecorder log(Level::Info);
    const auto image =
        KGAnimatedImage::animatedImageWithGIFData(withBrokenFrame(delayPlan({9, 8, std::nullopt}), 1));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->frameCount(), 3u);
    EXPECT_EQ(image->delayTimesForIndexes(), (std::map<quint64, double>{{0, 0.09}, {2, 0.1}}));
    EXPECT_TRUE(log.texts().contains(
        "Rounding frame 2's `delayTime` from 0.000000 up to default 0.100000 (minimum supported: 0.020000)."));
}

// ---- cache size -------------------------------------------------------------

TEST_F(AnimatedImageTest, CacheSizeTiersAtTheirBoundaries)
{
    EXPECT_EQ(KGAnimatedImage::frameCacheSizeForDecodedMegabytes(0.38, 10), 10u);
    EXPECT_EQ(KGAnimatedImage::frameCacheSizeForDecodedMegabytes(10.0, 20), 20u);
    EXPECT_EQ(KGAnimatedImage::frameCacheSizeForDecodedMegabytes(std::nextafter(10.0, 11.0), 20), 5u);
    EXPECT_EQ(KGAnimatedImage::frameCacheSizeForDecodedMegabytes(75.0, 20), 5u);
    EXPECT_EQ(KGAnimatedImage::frameCacheSizeForDecodedMegabytes(std::nextafter(75.0, 76.0), 20), 1u);

    const QByteArray gif = withBrokenFrame(patternPlan(20, 4, 4), 7);
    for (const auto &[megabytes, expected] : std::vector<std::pair<double, quint64>>{
             {10.0, 20}, {std::nextafter(10.0, 11.0), 5}, {75.0, 5}, {std::nextafter(75.0, 76.0), 1}}) {
        quint64 framesSeen = 0;
        QSize posterSeen;
        KGAnimatedImage::setDecodedSizeReader([&, megabytes = megabytes](const QImage &poster, quint64 frames) {
            framesSeen = frames;
            posterSeen = poster.size();
            return megabytes;
        });
        const auto image = KGAnimatedImage::animatedImageWithGIFData(gif);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->frameCacheSizeOptimal(), expected) << megabytes;
        EXPECT_EQ(framesSeen, 19u) << "the broken frame is left out of the estimate";
        EXPECT_EQ(posterSeen, QSize(4, 4));
    }
}

TEST_F(AnimatedImageTest, CacheSizeFromTheRealDecodedSize)
{
    // 100 × 100, 400 bytes a row, 10 frames: about 0.38 MB, all kept.
    EXPECT_EQ(KGAnimatedImage::animatedImageWithGIFData(simpleGif(100, 100, 10))->frameCacheSizeOptimal(), 10u);

    // 640 × 512 × 4 bytes × 8 frames is exactly 10 MB; a ninth frame tips it over.
    GifPlan plan;
    plan.width = 640;
    plan.height = 512;
    plan.globalPalette = distinctPalette(2);
    for (int i = 0; i < 8; ++i)
        plan.frames.push_back(solidFrame(640, 512, static_cast<unsigned char>(i % 2)));
    EXPECT_EQ(KGAnimatedImage::animatedImageWithGIFData(writeGif(plan))->frameCacheSizeOptimal(), 8u);
    plan.frames.push_back(solidFrame(640, 512, 0));
    EXPECT_EQ(KGAnimatedImage::animatedImageWithGIFData(writeGif(plan))->frameCacheSizeOptimal(), 5u);
    // A frame that does not decode takes no memory: back to 10 MB, all 9 kept.
    const auto withBroken = KGAnimatedImage::animatedImageWithGIFData(withBrokenFrame(plan, 4));
    ASSERT_TRUE(withBroken);
    EXPECT_EQ(withBroken->frameCount(), 9u);
    EXPECT_EQ(withBroken->frameCacheSizeOptimal(), 9u);
}

TEST_F(AnimatedImageTest, GivenCacheSizeIsCappedAtTheFrameCount)
{
    const QByteArray gif = simpleGif(4, 4, 20);
    EXPECT_EQ(KGAnimatedImage::initWithAnimatedGIFData(gif, 3, true)->frameCacheSizeOptimal(), 3u);
    EXPECT_EQ(KGAnimatedImage::initWithAnimatedGIFData(gif, 50, false)->frameCacheSizeOptimal(), 20u);
}

TEST_F(AnimatedImageTest, CurrentSizeIsTheSmallestLimit)
{
    const auto image = KGAnimatedImage::initWithAnimatedGIFData(simpleGif(4, 4, 20), 8, true);
    EXPECT_EQ(image->frameCacheSizeCurrent(), 8u);
    image->setFrameCacheSizeMax(6);
    EXPECT_EQ(image->frameCacheSizeCurrent(), 6u);
    image->setFrameCacheSizeMaxInternal(2);
    EXPECT_EQ(image->frameCacheSizeCurrent(), 2u);
    image->setFrameCacheSizeMax(1);
    EXPECT_EQ(image->frameCacheSizeCurrent(), 1u);
    image->setFrameCacheSizeMax(0);
    image->setFrameCacheSizeMaxInternal(0);
    EXPECT_EQ(image->frameCacheSizeCurrent(), 8u);
}

// ---- window and decoding ------------------------------------------------------

TEST_F(AnimatedImageTest, WindowStartsAtTheRequestedFrameAndWraps)
{
    LogRecorder log(Level::Warning);
    const auto image = KGAnimatedImage::initWithAnimatedGIFData(simpleGif(4, 4, 20), 5, true);
    image->setRequestedFrameIndex(18);
    EXPECT_EQ(image->frameIndexesToCache(), (std::set<quint64>{18, 19, 0, 1, 2}));
    image->setRequestedFrameIndex(3);
    EXPECT_EQ(image->frameIndexesToCache(), (std::set<quint64>{0, 3, 4, 5, 6, 7}));
    image->setRequestedFrameIndex(15);
    EXPECT_EQ(image->frameIndexesToCache(), (std::set<quint64>{0, 15, 16, 17, 18, 19}));
    EXPECT_TRUE(log.texts().isEmpty());

    const auto all = KGAnimatedImage::initWithAnimatedGIFData(simpleGif(4, 4, 6), 0, true);
    all->setRequestedFrameIndex(4);
    EXPECT_EQ(all->frameIndexesToCache(), all->allFramesIndexSet());
}

TEST_F(AnimatedImageTest, FramesDecodeInPlaybackOrderAndMatchTheReference)
{
    const GifPlan plan = patternPlan(20);
    const std::vector<QImage> expected = referenceFrames(plan);
    std::mutex mutex;
    std::vector<quint64> decoded;
    KGAnimatedImage::setDecodeObserver([&](quint64 index) {
        std::lock_guard lock(mutex);
        decoded.push_back(index);
    });
    const auto image = KGAnimatedImage::initWithAnimatedGIFData(writeGif(plan), 5, true);
    ASSERT_TRUE(image);

    EXPECT_TRUE(image->imageLazilyCachedAtIndex(18).isNull());
    EXPECT_EQ(image->requestedFrameIndex(), 18u);
    EXPECT_EQ(image->requestedFrameIndexes(), (std::set<quint64>{18, 19, 1, 2}));
    ASSERT_NE(image->serialQueue(), nullptr);
    EXPECT_EQ(image->serialQueue()->label(), "com.kova.animatedgif.decoding");
    ASSERT_TRUE(waitUntil([&] { return image->cachedFrameIndexes().size() == 5; }));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(decoded, (std::vector<quint64>{18, 19, 1, 2}));
    }
    EXPECT_TRUE(image->requestedFrameIndexes().empty());
    for (quint64 i : {18, 19, 0, 1, 2}) {
        QString where;
        EXPECT_TRUE(samePixels(image->cachedFramesForIndexes().at(i), expected[i], &where))
            << i << ": " << where.toStdString();
    }
    // Predrawn frames come in the layout that draws fastest.
    EXPECT_EQ(image->cachedFramesForIndexes().at(19).format(), QImage::Format_ARGB32_Premultiplied);

    // Moving on asks only for what the window lacks, and the next request
    // drops what fell out of it.
    EXPECT_FALSE(image->imageLazilyCachedAtIndex(19).isNull());
    EXPECT_EQ(image->requestedFrameIndexes(), std::set<quint64>{3});
    ASSERT_TRUE(waitUntil([&] { return image->cachedFrameIndexes().contains(3); }));
    EXPECT_EQ(image->cachedFrameIndexes(), (std::set<quint64>{0, 1, 2, 3, 18, 19}));
    EXPECT_FALSE(image->imageLazilyCachedAtIndex(1).isNull());
    EXPECT_EQ(image->cachedFrameIndexes(), (std::set<quint64>{0, 1, 2, 3}));
    EXPECT_EQ(image->requestedFrameIndexes(), (std::set<quint64>{4, 5}));
    EXPECT_TRUE(samePixels(waitForFrame(*image, 5), expected[5]));
}

TEST_F(AnimatedImageTest, PlayingThroughLoopsKeepsTheCacheWithinItsWindow)
{
    const GifPlan plan = patternPlan(12);
    const std::vector<QImage> expected = referenceFrames(plan);
    const auto image = KGAnimatedImage::initWithAnimatedGIFData(writeGif(plan), 3, false);
    for (int loop = 0; loop < 2; ++loop) {
        for (quint64 i = 0; i < 12; ++i) {
            const QImage frame = waitForFrame(*image, i);
            QString where;
            ASSERT_TRUE(samePixels(frame, expected[i], &where)) << i << ": " << where.toStdString();
            // Each request leaves at most the window and the poster.
            EXPECT_LE(image->cachedFrameIndexes().size(), 3u + 1u);
            EXPECT_EQ(image->cachedFramesForIndexes().size(), image->cachedFrameIndexes().size());
        }
    }
}

TEST_F(AnimatedImageTest, AllFramesCachedStopsFurtherDecoding)
{
    std::atomic<int> decodes{0};
    KGAnimatedImage::setDecodeObserver([&](quint64) { ++decodes; });
    const auto image = KGAnimatedImage::animatedImageWithGIFData(simpleGif(4, 4, 6));
    EXPECT_FALSE(image->imageLazilyCachedAtIndex(0).isNull());
    ASSERT_TRUE(waitUntil([&] { return image->cachedFrameIndexes().size() == 6; }));
    EXPECT_EQ(decodes.load(), 5);
    for (quint64 i = 0; i < 6; ++i)
        EXPECT_FALSE(image->imageLazilyCachedAtIndex(i).isNull());
    drainMainQueue();
    EXPECT_EQ(decodes.load(), 5);
}

TEST_F(AnimatedImageTest, UndecodableFramesAreAskedForOnceAndNeverStored)
{
    std::atomic<int> decodes{0};
    KGAnimatedImage::setDecodeObserver([&](quint64) { ++decodes; });
    const auto image = KGAnimatedImage::animatedImageWithGIFData(withBrokenFrame(patternPlan(5, 4, 4), 2));
    ASSERT_TRUE(image);
    image->imageLazilyCachedAtIndex(0);
    ASSERT_TRUE(waitUntil([&] { return image->cachedFrameIndexes().size() == 4; }));
    EXPECT_EQ(image->requestedFrameIndexes(), std::set<quint64>{2});
    EXPECT_TRUE(image->imageLazilyCachedAtIndex(2).isNull());
    drainMainQueue();
    EXPECT_EQ(decodes.load(), 4);
    EXPECT_FALSE(image->cachedFramesForIndexes().contains(2));
}

TEST_F(AnimatedImageTest, RequestsBeyondTheLastFrameAreRefused)
{
    const auto image = KGAnimatedImage::animatedImageWithGIFData(simpleGif(4, 4, 20));
    LogRecorder log;
    EXPECT_TRUE(image->imageLazilyCachedAtIndex(20).isNull());
    EXPECT_EQ(image->requestedFrameIndex(), 0u);
    EXPECT_EQ(log.texts(Level::Warning),
              QStringList("Skipping requested frame 20 beyond bounds (total frame count: 20) for animated image: " +
                          describe(*image)));
}

TEST_F(AnimatedImageTest, RequestedIndexSetBeyondTheEndIsHandledSafely)
{
    const auto image = KGAnimatedImage::initWithAnimatedGIFData(simpleGif(4, 4, 10), 4, true);
    LogRecorder log(Level::Warning);
    image->setRequestedFrameIndex(1000);
    EXPECT_EQ(image->frameIndexesToCache(), (std::set<quint64>{0, 1, 2, 3}));
    image->addFrameIndexesToCache({1, 2});
    EXPECT_EQ(log.texts(), QStringList("Two-part frame cache range doesn't equal full range."));
    ASSERT_TRUE(waitUntil([&] { return image->cachedFrameIndexes().size() == 3; }));
}

TEST_F(AnimatedImageTest, ImageAtIndexDecodesAtOnceWithOrWithoutPredrawing)
{
    const GifPlan plan = patternPlan(3);
    const std::vector<QImage> expected = referenceFrames(plan);
    const auto predrawn = KGAnimatedImage::initWithAnimatedGIFData(writeGif(plan), 0, true);
    const auto plain = KGAnimatedImage::initWithAnimatedGIFData(writeGif(plan), 0, false);
    EXPECT_FALSE(plain->isPredrawingEnabled());
    for (quint64 i : {2, 0, 1}) {
        EXPECT_TRUE(samePixels(predrawn->imageAtIndex(i), expected[i])) << i;
        EXPECT_TRUE(samePixels(plain->imageAtIndex(i), expected[i])) << i;
    }
    EXPECT_TRUE(plain->imageAtIndex(3).isNull());
}

// ---- limits and purging -------------------------------------------------------

TEST_F(AnimatedImageTest, LoweringTheMaximumPurgesAtOnceAndAnEqualValueDoesNothing)
{
    const auto image = KGAnimatedImage::animatedImageWithGIFData(simpleGif(4, 4, 20));
    ASSERT_EQ(image->frameCacheSizeOptimal(), 20u);
    image->imageLazilyCachedAtIndex(4);
    ASSERT_TRUE(waitUntil([&] { return image->cachedFrameIndexes().size() == 20; }));

    image->setFrameCacheSizeMax(3);
    EXPECT_EQ(image->cachedFrameIndexes(), (std::set<quint64>{0, 4, 5, 6}));
    EXPECT_EQ(image->cachedFramesForIndexes().size(), 4u);

    image->imageLazilyCachedAtIndex(10);
    EXPECT_EQ(image->cachedFrameIndexes(), std::set<quint64>{0});
    ASSERT_TRUE(waitUntil([&] { return image->cachedFrameIndexes().size() == 4; }));
    image->setFrameCacheSizeMax(3);
    EXPECT_EQ(image->cachedFrameIndexes(), (std::set<quint64>{0, 10, 11, 12}));
    image->setFrameCacheSizeMax(2);
    EXPECT_EQ(image->cachedFrameIndexes(), (std::set<quint64>{0, 10, 11}));
    EXPECT_EQ(image->cachedFramesForIndexes().size(), 3u);
}

// ---- memory warnings ------------------------------------------------------------

TEST_F(AnimatedImageTest, MemoryWarningTimeline)
{
    const auto image = KGAnimatedImage::animatedImageWithGIFData(simpleGif(4, 4, 20));
    image->imageLazilyCachedAtIndex(7);
    ASSERT_TRUE(waitUntil([&] { return image->cachedFrameIndexes().size() == 20; }));
    LogRecorder log(Level::Debug);

    kova::platform::MemoryWarning::post();
    EXPECT_EQ(image->memoryWarningCount(), 1u);
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 1u);
    EXPECT_EQ(image->frameCacheSizeCurrent(), 1u);
    EXPECT_EQ(image->cachedFrameIndexes(), (std::set<quint64>{0, 7}));
    EXPECT_EQ(image->cachedFramesForIndexes().size(), 2u);

    m_clock->advance(std::chrono::milliseconds(1999));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 1u);
    m_clock->advance(std::chrono::milliseconds(1));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 2u);
    m_clock->advance(std::chrono::milliseconds(2999));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 2u);
    m_clock->advance(std::chrono::milliseconds(1));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 0u);
    EXPECT_EQ(image->frameCacheSizeCurrent(), 20u);
    EXPECT_EQ(m_clock->pendingCount(), 0u);

    const QString name = describe(*image);
    EXPECT_EQ(log.texts(Level::Debug),
              QStringList({"Attempt setting frame cache size max to 1 (previous was 0) after memory warning #1 for "
                           "animated image: " + name,
                           "Grew frame cache size max to 2 after memory warning for animated image: " + name,
                           "Reset frame cache size max (current frame cache size: 20) for animated image: " + name}));

    // A warning while the limit is growing back starts over from 1.
    kova::platform::MemoryWarning::post();
    m_clock->advance(std::chrono::milliseconds(2500));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 2u);
    kova::platform::MemoryWarning::post();
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 1u);
    m_clock->advance(std::chrono::milliseconds(1999));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 1u);
    m_clock->advance(std::chrono::milliseconds(1));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 2u);
    m_clock->advance(std::chrono::milliseconds(3000));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 0u);
    EXPECT_EQ(image->memoryWarningCount(), 3u);

    // From the fourth warning on the limit stays at one frame.
    kova::platform::MemoryWarning::post();
    EXPECT_EQ(image->memoryWarningCount(), 4u);
    EXPECT_EQ(m_clock->pendingCount(), 0u);
    m_clock->advance(std::chrono::minutes(10));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 1u);
    EXPECT_TRUE(log.texts(Level::Debug).last().startsWith(
        "Attempt setting frame cache size max to 1 (previous was 0) after memory warning #4 for animated image: "));
}

TEST_F(AnimatedImageTest, FramesStillDecodingWhenAMemoryWarningArrivesDoNotRefillTheCache)
{
    // The decoder is held at frame 1 of a full-cache request, so the warning
    // comes while frames 1 to 19 are still on their way.
    std::mutex mutex;
    std::condition_variable wake;
    bool released = false;
    std::atomic<bool> holding{false};
    KGAnimatedImage::setDecodeObserver([&](quint64 index) {
        if (index != 1)
            return;
        holding = true;
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return released; });
    });
    const auto image = KGAnimatedImage::animatedImageWithGIFData(simpleGif(4, 4, 20));
    ASSERT_EQ(image->frameCacheSizeOptimal(), 20u);
    image->imageLazilyCachedAtIndex(7);
    ASSERT_TRUE(waitUntil([&] { return holding.load(); }));

    kova::platform::MemoryWarning::post();
    ASSERT_EQ(image->frameCacheSizeCurrent(), 1u);
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    wake.notify_all();
    ASSERT_TRUE(waitUntil([&] { return image->requestedFrameIndexes().empty(); }));

    // Nobody asks for a frame meanwhile (a paused player): what arrived late
    // must not put the whole animation back in memory.
    EXPECT_EQ(image->cachedFrameIndexes(), (std::set<quint64>{0, 7}));
    EXPECT_EQ(image->cachedFramesForIndexes().size(), 2u);
}

TEST_F(AnimatedImageTest, MemoryWarningsReachEveryLiveImageAndGoneImagesCancelTheirCalls)
{
    const auto first = KGAnimatedImage::animatedImageWithGIFData(simpleGif(4, 4, 3));
    auto second = KGAnimatedImage::animatedImageWithGIFData(simpleGif(4, 4, 3));
    kova::platform::MemoryWarning::post();
    EXPECT_EQ(first->memoryWarningCount(), 1u);
    EXPECT_EQ(second->memoryWarningCount(), 1u);
    EXPECT_EQ(m_clock->pendingCount(), 2u);

    const std::weak_ptr<KGAnimatedImage> gone = second;
    second.reset();
    EXPECT_TRUE(gone.expired());
    EXPECT_EQ(m_clock->pendingCount(), 1u);
    kova::platform::MemoryWarning::post();
    EXPECT_EQ(first->memoryWarningCount(), 2u);
    m_clock->advance(std::chrono::seconds(10));
    EXPECT_EQ(first->frameCacheSizeMaxInternal(), 0u);
}

TEST_F(AnimatedImageTest, DelayedCallsThroughTheProxyFindNothingOnceTheImageIsGone)
{
    auto image = KGAnimatedImage::animatedImageWithGIFData(simpleGif(4, 4, 3));
    const auto proxy = image->weakProxy();
    ASSERT_TRUE(proxy);
    EXPECT_EQ(proxy->target(), image);
    EXPECT_EQ(proxy->forward([](KGAnimatedImage &target) { return target.frameCount(); }), 3u);
    image.reset();
    EXPECT_EQ(proxy->target(), nullptr);
    EXPECT_EQ(proxy->forward([](KGAnimatedImage &target) { return target.frameCount(); }), 0u);
}

TEST(AnimatedImageClock, SystemClockRunsAndCancels)
{
    const auto clock = KGClock::systemClock();
    bool ran = false;
    bool cancelledRan = false;
    const auto cancelled = clock->schedule(std::chrono::milliseconds(1), [&] { cancelledRan = true; });
    clock->schedule(std::chrono::milliseconds(5), [&] { ran = true; });
    clock->cancel(cancelled);
    ASSERT_TRUE(waitUntil([&] { return ran; }));
    EXPECT_FALSE(cancelledRan);
}

// ---- class operations -------------------------------------------------------------

TEST_F(AnimatedImageTest, SizeForImage)
{
    LogRecorder log;
    QImage platformImage(7, 3, QImage::Format_RGB32);
    EXPECT_EQ(KGAnimatedImage::sizeForImage(QVariant::fromValue(platformImage)), QSizeF(7, 3));
    const auto image = KGAnimatedImage::animatedImageWithGIFData(simpleGif(5, 9, 2));
    EXPECT_EQ(KGAnimatedImage::sizeForImage(QVariant::fromValue(image)), QSizeF(5, 9));
    EXPECT_EQ(KGAnimatedImage::sizeForImage(QVariant()), QSizeF(0, 0));
    EXPECT_EQ(KGAnimatedImage::sizeForImage(QVariant::fromValue(std::shared_ptr<KGAnimatedImage>())), QSizeF(0, 0));
    EXPECT_TRUE(log.lines().empty());

    EXPECT_EQ(KGAnimatedImage::sizeForImage(QVariant(QStringLiteral("a string"))), QSizeF(0, 0));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].second, Level::Error);
    EXPECT_EQ(log.lines()[0].first, "`image` isn't of expected types `UIImage` or `KGAnimatedImage`: a string");
}

TEST_F(AnimatedImageTest, LogLevelsFilterAndMessagesAreBuiltOnlyWhenLogged)
{
    int built = 0;
    auto message = [&built](const char *text) {
        return [&built, text] {
            ++built;
            return QString::fromLatin1(text);
        };
    };
    KGAnimatedImage::logStringFromBlock(message("nobody listens"), Level::Error);
    EXPECT_EQ(built, 0);

    LogRecorder log(Level::Warning);
    KGAnimatedImage::logStringFromBlock(message("error"), Level::Error);
    KGAnimatedImage::logStringFromBlock(message("warning"), Level::Warning);
    KGAnimatedImage::logStringFromBlock(message("info"), Level::Info);
    KGAnimatedImage::logStringFromBlock(message("verbose"), Level::Verbose);
    KGAnimatedImage::logStringFromBlock(nullptr, Level::Error);
    EXPECT_EQ(built, 2);
    EXPECT_EQ(log.texts(), QStringList({"error", "warning"}));
    EXPECT_EQ(log.lines()[0].second, Level::Error);
    EXPECT_EQ(log.lines()[1].second, Level::Warning);

    // Levels compare as plain unsigned numbers.
    KGAnimatedImage::logStringFromBlock(message("beyond"), static_cast<Level>(~quint64(0)));
    EXPECT_EQ(built, 2);
    KGAnimatedImage::setLogBlock(nullptr, Level::Verbose);
    KGAnimatedImage::logStringFromBlock(message("no block"), Level::Error);
    EXPECT_EQ(built, 2);
}

TEST_F(AnimatedImageTest, PredrawingPicksAFastLayoutAndKeepsPixels)
{
    QImage argb(4, 2, QImage::Format_ARGB32);
    argb.fill(0);
    argb.setPixel(0, 0, qRgba(255, 0, 0, 255));
    argb.setPixel(1, 0, qRgba(255, 0, 0, 128));
    argb.setPixel(2, 1, qRgba(10, 20, 30, 255));
    const QImage predrawn = KGAnimatedImage::predrawnImageFromImage(argb);
    EXPECT_EQ(predrawn.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_TRUE(samePixels(predrawn, argb));
    EXPECT_NE(predrawn.constBits(), argb.constBits());

    QImage rgb(3, 3, QImage::Format_RGB888);
    rgb.fill(QColor(1, 2, 3));
    const QImage fromRgb = KGAnimatedImage::predrawnImageFromImage(rgb);
    EXPECT_EQ(fromRgb.format(), QImage::Format_RGB32);
    EXPECT_EQ(fromRgb.pixel(1, 1), qRgb(1, 2, 3));

    QImage rgba(2, 2, QImage::Format_RGBA8888);
    rgba.fill(QColor(9, 8, 7));
    EXPECT_EQ(KGAnimatedImage::predrawnImageFromImage(rgba).format(), QImage::Format_RGBA8888_Premultiplied);
    QImage alphaOnly(2, 2, QImage::Format_Alpha8);
    alphaOnly.fill(0);
    EXPECT_EQ(KGAnimatedImage::predrawnImageFromImage(alphaOnly).format(), QImage::Format_RGB32);

    // Sizes are taken in points, as the scale is kept.
    QImage scaled(10, 7, QImage::Format_ARGB32);
    scaled.fill(Qt::white);
    scaled.setDevicePixelRatio(2);
    const QImage fromScaled = KGAnimatedImage::predrawnImageFromImage(scaled);
    EXPECT_EQ(fromScaled.size(), QSize(5, 3));
    EXPECT_EQ(fromScaled.devicePixelRatio(), 2.0);

    EXPECT_TRUE(KGAnimatedImage::predrawnImageFromImage(QImage()).isNull());
}

TEST_F(AnimatedImageTest, PredrawingFallsBackToTheImageWhenNoBitmapCanBeMade)
{
    LogRecorder log;
    // Less than one point wide: there is no bitmap to draw into.
    QImage thin(1, 4, QImage::Format_ARGB32);
    thin.fill(Qt::red);
    thin.setDevicePixelRatio(2);
    const QImage result = KGAnimatedImage::predrawnImageFromImage(thin);
    EXPECT_EQ(result.constBits(), thin.constBits());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].second, Level::Error);
    EXPECT_TRUE(log.lines()[0].first.startsWith(
        "Failed to `CGBitmapContextCreate` with color space <DeviceRGB> and parameters (width: 0 height: 2 "
        "bitsPerComponent: 8 bytesPerRow: 0) for image <QImage: "))
        << log.lines()[0].first.toStdString();
}
