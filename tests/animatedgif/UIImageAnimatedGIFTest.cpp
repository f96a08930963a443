#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

#include "animatedgif/UIImageAnimatedGIF.h"
#include "tests/animatedgif/GifWriter.h"
#include "tests/animatedgif/ReferenceCompositor.h"

using namespace kova;
using namespace kova::test;

namespace {

GifPlan framesWithDelays(const std::vector<std::optional<int>> &delays)
{
    GifPlan plan;
    plan.width = 5;
    plan.height = 4;
    plan.globalPalette = distinctPalette(8);
    for (size_t i = 0; i < delays.size(); ++i) {
        GifFramePlan frame = patternFrame(5, 4, 8, int(i));
        frame.hasControl = delays[i].has_value();
        frame.delay = delays[i].value_or(0);
        plan.frames.push_back(frame);
    }
    return plan;
}

// Which frame of `plan` each entry of the list shows, or -1 when none matches.
std::vector<int> frameOrder(const platform::AnimatedImage &image, const GifPlan &plan, const std::set<size_t> &skipped = {})
{
    const std::vector<QImage> expected = referenceFrames(plan, skipped);
    std::vector<int> order;
    for (const QImage &entry : image.images) {
        int found = -1;
        for (size_t i = 0; i < expected.size() && found < 0; ++i) {
            if (!expected[i].isNull() && samePixels(entry, expected[i]))
                found = int(i);
        }
        order.push_back(found);
    }
    return order;
}

} // namespace

TEST(AnimatedGIFImage, VaryingDelaysBecomeRepeatedFramesOnTheirGreatestCommonDivisor)
{
    const GifPlan tenAndThirty = framesWithDelays({10, 30});
    const platform::AnimatedImage image = UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(writeGif(tenAndThirty));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(frameOrder(image, tenAndThirty), (std::vector<int>{0, 1, 1, 1}));
    EXPECT_DOUBLE_EQ(image.duration, 0.4);
    // A repeated frame is the same image, not a copy.
    EXPECT_EQ(image.images[1].cacheKey(), image.images[3].cacheKey());

    const GifPlan evenSteps = framesWithDelays({2, 4, 6});
    const platform::AnimatedImage steps = UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(writeGif(evenSteps));
    EXPECT_EQ(frameOrder(steps, evenSteps), (std::vector<int>{0, 1, 1, 2, 2, 2}));
    EXPECT_DOUBLE_EQ(steps.duration, 0.12);
}

TEST(AnimatedGIFImage, MissingAndZeroDelays)
{
    // No control block: one hundredth. A stored 0 reads as the clamped 0.1.
    const GifPlan plan = framesWithDelays({std::nullopt, 2, 0});
    const platform::AnimatedImage image = UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(writeGif(plan));
    EXPECT_EQ(frameOrder(image, plan), (std::vector<int>{0, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}));
    EXPECT_DOUBLE_EQ(image.duration, 0.13);
}

TEST(AnimatedGIFImage, DelayRulesForFrameProperties)
{
    using P = platform::GifFrameProperties;
    EXPECT_EQ(UIImageAnimatedGIF::delayCentisecondsForFrameProperties(std::nullopt), 1);
    EXPECT_EQ(UIImageAnimatedGIF::delayCentisecondsForFrameProperties(P{0, 0}), 1);
    EXPECT_EQ(UIImageAnimatedGIF::delayCentisecondsForFrameProperties(P{0.1, 0}), 10);
    EXPECT_EQ(UIImageAnimatedGIF::delayCentisecondsForFrameProperties(P{0.1, 0.03}), 3);
    EXPECT_EQ(UIImageAnimatedGIF::delayCentisecondsForFrameProperties(P{0.1, -0.5}), 1);
    EXPECT_EQ(UIImageAnimatedGIF::delayCentisecondsForFrameProperties(P{0.1, std::nan("")}), 1);
    EXPECT_EQ(UIImageAnimatedGIF::delayCentisecondsForFrameProperties(P{0, 0.125}), 12);
    EXPECT_EQ(UIImageAnimatedGIF::delayCentisecondsForFrameProperties(P{0, 0.375}), 38);
    EXPECT_EQ(UIImageAnimatedGIF::delayCentisecondsForFrameProperties(P{0, 1e300}), 2147483647);
}

TEST(AnimatedGIFImage, FrameArrayEdgeCases)
{
    QImage a(1, 1, QImage::Format_RGB32);
    QImage b(2, 1, QImage::Format_RGB32);
    EXPECT_TRUE(UIImageAnimatedGIF::frameArray(0, {}, {}, 0).isEmpty());
    EXPECT_TRUE(UIImageAnimatedGIF::frameArray(2, {a, b}, {0, 0}, 0).isEmpty());
    // A delay that rounds to nothing contributes no entries.
    const QList<QImage> list = UIImageAnimatedGIF::frameArray(2, {a, b}, {0, 3}, 3);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].size(), QSize(2, 1));
    // Sums beyond 32 bits do not wrap.
    EXPECT_TRUE(UIImageAnimatedGIF::frameArray(2, {a, b}, {2147483647, 2147483647}, 4294967294LL).size() == 2);
}

TEST(AnimatedGIFImage, UndecodableFrameIsLeftOutWithItsTime)
{
    GifPlan plan = framesWithDelays({10, 30, 20});
    plan.frames[1].localPalette = Palette(8, qRgb(7, 8, 9));
    QByteArray gif = writeGif(plan);
    const QByteArray marker = QByteArray("\x07\x08\x09", 3).repeated(8);
    const qsizetype data = gif.indexOf(marker) + marker.size();
    for (int i = 0; i < static_cast<unsigned char>(gif[data + 1]); ++i)
        gif[data + 2 + i] = char(0xff);

    const platform::AnimatedImage image = UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(gif);
    EXPECT_EQ(frameOrder(image, plan, {1}), (std::vector<int>{0, 2, 2}));
    EXPECT_DOUBLE_EQ(image.duration, 0.3);
}

TEST(AnimatedGIFImage, NothingToShowGivesANullImage)
{
    EXPECT_TRUE(UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(QByteArray()).isNull());
    EXPECT_TRUE(UIImageAnimatedGIF::animatedImageWithAnimatedGIFData("not an image at all").isNull());
    GifPlan empty;
    empty.width = 2;
    empty.height = 2;
    empty.globalPalette = distinctPalette(2);
    EXPECT_TRUE(UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(writeGif(empty)).isNull());
    EXPECT_TRUE(UIImageAnimatedGIF::animatedImageWithAnimatedGIFReleasingImageSource(nullptr).isNull());
}

TEST(AnimatedGIFImage, UnreasonableResultsGiveANullImage)
{
    // Two frames of 655.35 s and 655.34 s: a grid of one hundredth would need
    // 131,069 entries.
    EXPECT_TRUE(UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(writeGif(framesWithDelays({65535, 65534}))).isNull());
    EXPECT_FALSE(UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(writeGif(framesWithDelays({65535, 65535}))).isNull());

    // 100 frames of 1000 × 1000 would hold 400 MB for a file of a few kilobytes.
    GifPlan many;
    many.width = 1000;
    many.height = 1000;
    many.globalPalette = distinctPalette(2);
    for (int i = 0; i < 100; ++i)
        many.frames.push_back(solidFrame(1, 1, 1, i, i));
    const QByteArray gif = writeGif(many);
    EXPECT_LT(gif.size(), 4000);
    EXPECT_TRUE(UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(gif).isNull());
    many.frames.resize(10);
    EXPECT_EQ(UIImageAnimatedGIF::animatedImageWithAnimatedGIFData(writeGif(many)).images.size(), 10);
}

TEST(AnimatedGIFImage, FromAFileURL)
{
    const GifPlan plan = framesWithDelays({10, 30});
    QTemporaryDir dir;
    const QString path = dir.filePath("artwork.gif");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(writeGif(plan));
    file.close();

    const platform::AnimatedImage image = UIImageAnimatedGIF::animatedImageWithAnimatedGIFURL(QUrl::fromLocalFile(path));
    EXPECT_EQ(frameOrder(image, plan), (std::vector<int>{0, 1, 1, 1}));
    EXPECT_DOUBLE_EQ(image.duration, 0.4);

    EXPECT_TRUE(UIImageAnimatedGIF::animatedImageWithAnimatedGIFURL(QUrl::fromLocalFile(dir.filePath("missing.gif"))).isNull());
    EXPECT_TRUE(UIImageAnimatedGIF::animatedImageWithAnimatedGIFURL(QUrl("https://example.com/a.gif")).isNull());
}
