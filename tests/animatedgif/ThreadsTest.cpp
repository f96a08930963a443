#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "animatedgif/KGAnimatedImage.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/image/ImageSource.h"
#include "platform/image/MemoryWarning.h"
#include "tests/animatedgif/GifWriter.h"
#include "tests/animatedgif/LogRecorder.h"
#include "tests/animatedgif/ReferenceCompositor.h"
#include "tests/support/TestSupport.h"

using namespace kova;
using namespace kova::test;

namespace {

GifPlan patternPlan(int frames, int size)
{
    GifPlan plan;
    plan.width = size;
    plan.height = size;
    plan.globalPalette = distinctPalette(16);
    for (int i = 0; i < frames; ++i)
        plan.frames.push_back(patternFrame(size, size, 16, i));
    return plan;
}

class AnimatedImageThreads : public ::testing::Test {
protected:
    void TearDown() override { KGAnimatedImage::setDecodeObserver(nullptr); }
};

} // namespace

TEST_F(AnimatedImageThreads, DestroyedWhileAFrameDecodes)
{
    auto image = KGAnimatedImage::animatedImageWithGIFData(writeGif(patternPlan(30, 48)));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->frameCacheSizeOptimal(), 30u);
    const std::weak_ptr<KGAnimatedImage> weakImage = image;
    const std::weak_ptr<platform::ImageSource> weakSource = image->imageSource();

    // The decoder starts frame 3 only once the image is gone, so that frame is
    // decoded for an image that no longer exists.
    std::atomic<bool> reachedThree{false};
    std::atomic<int> decodesStarted{0};
    KGAnimatedImage::setDecodeObserver([&](quint64 index) {
        ++decodesStarted;
        if (index != 3)
            return;
        reachedThree = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!weakImage.expired() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    });

    image->imageLazilyCachedAtIndex(0);
    ASSERT_TRUE(waitUntil([&] { return reachedThree.load(); }));
    image.reset();

    // The queue is gone with the image, and its block with it: nothing holds
    // the source any more, and results already posted find no image.
    EXPECT_TRUE(weakImage.expired());
    EXPECT_TRUE(weakSource.expired());
    EXPECT_LE(decodesStarted.load(), 4);
    drainMainQueue();
}

TEST_F(AnimatedImageThreads, ManyImagesComeAndGoWhileDecoding)
{
    const QByteArray gif = writeGif(patternPlan(12, 32));
    for (int round = 0; round < 20; ++round) {
        auto image = KGAnimatedImage::animatedImageWithGIFData(gif);
        ASSERT_TRUE(image);
        image->imageLazilyCachedAtIndex(quint64(round % 12));
        if (round % 3 == 0)
            waitUntil([&] { return image->cachedFrameIndexes().size() > 3; });
        if (round % 2 == 0)
            drainMainQueue();
    }
    drainMainQueue();
}

TEST_F(AnimatedImageThreads, LastReleaseOffTheMainThreadDestroysOnTheMainThread)
{
    auto image = KGAnimatedImage::animatedImageWithGIFData(writeGif(patternPlan(3, 8)));
    const std::weak_ptr<platform::ImageSource> weakSource = image->imageSource();
    std::thread releaser([owned = std::move(image)]() mutable { owned.reset(); });
    releaser.join();
    // The image waits for the main loop to be destroyed; its source goes then.
    EXPECT_FALSE(weakSource.expired());
    EXPECT_TRUE(waitUntil([&] { return weakSource.expired(); }));
}

TEST_F(AnimatedImageThreads, MemoryWarningPostedElsewhereIsHandledOnTheMainThread)
{
    const auto image = KGAnimatedImage::animatedImageWithGIFData(writeGif(patternPlan(4, 8)));
    std::atomic<int> handledOnMain{0};
    std::atomic<int> handledElsewhere{0};
    KGAnimatedImage::setLogBlock(
        [&](const QString &line, KGAnimatedImageLogLevel) {
            if (!line.startsWith("Attempt setting frame cache size max"))
                return;
            if (platform::MainQueue::isMainThread())
                ++handledOnMain;
            else
                ++handledElsewhere;
        },
        KGAnimatedImageLogLevel::Debug);

    std::thread poster([] { platform::MemoryWarning::post(); });
    poster.join();
    EXPECT_EQ(image->memoryWarningCount(), 0u);
    ASSERT_TRUE(waitUntil([&] { return image->memoryWarningCount() == 1; }));
    EXPECT_EQ(image->frameCacheSizeMaxInternal(), 1u);
    EXPECT_EQ(handledOnMain.load(), 1);
    EXPECT_EQ(handledElsewhere.load(), 0);
    KGAnimatedImage::setLogBlock(nullptr, KGAnimatedImageLogLevel::None);
}

TEST_F(AnimatedImageThreads, LogHookChangesWhileTheLibraryLogs)
{
    const auto image = KGAnimatedImage::animatedImageWithGIFData(writeGif(patternPlan(4, 8)));
    std::atomic<int> received{0};
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int i = 0; !stop; ++i) {
            if (i % 2)
                KGAnimatedImage::setLogBlock([&](const QString &, KGAnimatedImageLogLevel) { ++received; },
                                             KGAnimatedImageLogLevel::Warning);
            else
                KGAnimatedImage::setLogBlock(nullptr, KGAnimatedImageLogLevel::None);
        }
    });
    for (int i = 0; i < 2000; ++i)
        image->imageLazilyCachedAtIndex(100);
    stop = true;
    changer.join();
    KGAnimatedImage::setLogBlock(nullptr, KGAnimatedImageLogLevel::None);
    EXPECT_LE(received.load(), 2000);
}

TEST_F(AnimatedImageThreads, MainThreadDecodesWhileTheQueueDoes)
{
    const GifPlan plan = patternPlan(16, 24);
    const std::vector<QImage> expected = referenceFrames(plan);
    const auto image = KGAnimatedImage::animatedImageWithGIFData(writeGif(plan));
    image->imageLazilyCachedAtIndex(0);
    for (quint64 i : {9, 2, 15, 4, 11}) {
        QString where;
        EXPECT_TRUE(samePixels(image->imageAtIndex(i), expected[i], &where)) << i << ": " << where.toStdString();
    }
    ASSERT_TRUE(waitUntil([&] { return image->cachedFrameIndexes().size() == 16; }));
    for (quint64 i = 0; i < 16; ++i)
        EXPECT_TRUE(samePixels(image->cachedFramesForIndexes().at(i), expected[i])) << i;
}
