#include <gtest/gtest.h>

#include <QDeadlineTimer>

#include "animatedgif/view/KGAnimatedImageView.h"
#include "platform/ui/ViewHelpers.h"
#include "tests/animatedgif/GifWriter.h"
#include "tests/animatedgif/LogRecorder.h"
#include "tests/support/UiHarness.h"

using namespace kova;

namespace {

// Frames of distinct solid colours with the given delays (hundredths).
QByteArray coloredGif(const std::vector<int> &delays, int loopCount, test::LoopExtension loop = test::LoopExtension::Netscape)
{
    test::GifPlan plan;
    plan.width = 8;
    plan.height = 8;
    plan.globalPalette = test::distinctPalette(8);
    plan.loop = loop;
    plan.loopCount = loopCount;
    for (size_t i = 0; i < delays.size(); ++i) {
        test::GifFramePlan frame = test::solidFrame(8, 8, static_cast<unsigned char>(i + 1));
        frame.delay = delays[i];
        plan.frames.push_back(frame);
    }
    return test::writeGif(plan);
}

class AnimatedImageViewTest : public ::testing::Test {
protected:
    void SetUp() override { KGAnimatedImageView::setRefreshSource(source); }
    void TearDown() override { KGAnimatedImageView::setRefreshSource(nullptr); }

    // A view shown in the window, playing `data`.
    KGAnimatedImageView *showPlaying(const QByteArray &data)
    {
        auto *view = new KGAnimatedImageView(QImage(), root->view());
        view->setGeometry(10, 100, 80, 80);
        view->show();
        image = KGAnimatedImage::animatedImageWithGIFData(data);
        EXPECT_TRUE(image);
        view->setAnimatedImage(image);
        return view;
    }
    // Steps the screen one refresh at a time, letting decoded frames arrive.
    // Bounded by time, not by a number of refreshes: frames are decoded on
    // another thread, which a loaded machine may not run for a long while.
    bool playUntil(const std::function<bool()> &condition,
                   std::chrono::milliseconds deadline = std::chrono::seconds(30))
    {
        QDeadlineTimer timer(deadline);
        while (!condition() && !timer.hasExpired()) {
            source->refresh();
            test::pump(2);
        }
        return condition();
    }

    std::shared_ptr<platform::ManualRefreshSource> source = std::make_shared<platform::ManualRefreshSource>(60);
    std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
    test::WindowPtr window = test::makeWindow(root);
    std::shared_ptr<KGAnimatedImage> image;
};

TEST_F(AnimatedImageViewTest, LoopCountThreePlaysThreeTimesAndStopsOnTheLastFrame)
{
    auto *view = showPlaying(coloredGif({10, 10, 10}, 3));
    ASSERT_EQ(image->loopCount(), 3u);
    std::vector<quint64> remaining;
    view->setLoopCompletionBlock([&](quint64 left) { remaining.push_back(left); });
    EXPECT_TRUE(view->isAnimating());
    EXPECT_EQ(view->displayLink()->preferredFramesPerSecond(), 10);
    ASSERT_TRUE(playUntil([&] { return remaining.size() == 3; }));
    EXPECT_EQ(remaining, (std::vector<quint64>{2, 1, 0}));
    EXPECT_FALSE(view->isAnimating());
    EXPECT_EQ(view->currentFrameIndex(), 3u);
    EXPECT_EQ(view->currentFrame().pixel(0, 0), image->imageAtIndex(2).pixel(0, 0));
    // Further refreshes change nothing.
    source->refresh(60);
    EXPECT_EQ(remaining.size(), 3u);
}

TEST_F(AnimatedImageViewTest, LoopCountZeroPlaysOnce)
{
    auto *view = showPlaying(coloredGif({10, 10}, 0, test::LoopExtension::None));
    ASSERT_EQ(image->loopCount(), 0u);
    EXPECT_EQ(view->loopCountdown(), 1u);
    std::vector<quint64> remaining;
    view->setLoopCompletionBlock([&](quint64 left) { remaining.push_back(left); });
    ASSERT_TRUE(playUntil([&] { return !remaining.empty(); }));
    EXPECT_EQ(remaining, (std::vector<quint64>{0}));
    EXPECT_FALSE(view->isAnimating());

    // Started again by hand after it ran out: nothing new is shown and the
    // accumulator stays as it was.
    const double accumulator = view->accumulator();
    const QImage shown = view->currentFrame();
    view->startAnimating();
    source->refresh(12);
    EXPECT_EQ(view->currentFrameIndex(), 2u);
    EXPECT_EQ(view->accumulator(), accumulator);
    EXPECT_EQ(view->currentFrame(), shown);
    EXPECT_EQ(remaining.size(), 1u);
    EXPECT_FALSE(view->isAnimating());
    // Setting the image again starts over.
    view->setAnimatedImage(nullptr);
    view->setAnimatedImage(image);
    EXPECT_EQ(view->currentFrameIndex(), 0u);
    EXPECT_TRUE(view->isAnimating());
}

TEST_F(AnimatedImageViewTest, ALoopCallbackThatDestroysTheViewEndsPlaybackSafely)
{
    // A screen that goes away once its animation has played, taking the view
    // with it, from inside the callback.
    KGAnimatedImageView *view = showPlaying(coloredGif({10, 10}, 2));
    std::vector<quint64> remaining;
    view->setLoopCompletionBlock([&](quint64 left) {
        remaining.push_back(left);
        delete view;
        view = nullptr;
    });
    ASSERT_TRUE(playUntil([&] { return !remaining.empty(); }));
    source->refresh(30);
    EXPECT_EQ(remaining, std::vector<quint64>{1});
    EXPECT_EQ(view, nullptr);
}

TEST_F(AnimatedImageViewTest, HiddenTransparentOrRemovedPausesAndResumesWhereItWas)
{
    auto *view = showPlaying(coloredGif({10, 10, 10, 10}, 0));
    ASSERT_TRUE(playUntil([&] { return view->currentFrameIndex() == 1; }));
    source->refresh(2);
    const quint64 index = view->currentFrameIndex();
    const double accumulator = view->accumulator();

    view->hide();
    EXPECT_FALSE(view->shouldAnimate());
    EXPECT_FALSE(view->isAnimating());
    source->refresh(60);
    EXPECT_EQ(view->currentFrameIndex(), index);
    view->show();
    EXPECT_TRUE(view->isAnimating());
    EXPECT_EQ(view->currentFrameIndex(), index);
    EXPECT_EQ(view->accumulator(), accumulator);

    platform::setAlpha(view, 0.0);
    EXPECT_FALSE(view->isAnimating());
    platform::setAlpha(view, 0.5);
    EXPECT_TRUE(view->isAnimating());

    view->setParent(nullptr);
    EXPECT_FALSE(view->isAnimating());
    view->setParent(root->view());
    view->show();
    EXPECT_TRUE(view->isAnimating());

    window->hide();
    EXPECT_FALSE(view->isAnimating());
    window->show();
    test::pump();
    EXPECT_TRUE(view->isAnimating());
}

TEST_F(AnimatedImageViewTest, RefreshWithoutPermissionIsRefusedAndLogged)
{
    auto *view = showPlaying(coloredGif({10, 10}, 0));
    test::LogRecorder log(KGAnimatedImageLogLevel::Warning);
    view->hide();
    view->displayDidRefresh(*view->displayLink());
    const QStringList lines = log.texts(KGAnimatedImageLogLevel::Warning);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith("Trying to animate image when we shouldn't: <KGAnimatedImageView: 0x"));
    EXPECT_EQ(view->currentFrameIndex(), 0u);
}

TEST_F(AnimatedImageViewTest, WaitsForAFrameThatIsNotDecodedYet)
{
    test::LogRecorder log(KGAnimatedImageLogLevel::Debug);
    auto *view = showPlaying(coloredGif({10, 10, 10}, 0));
    // Without turning the loop, decoded frames cannot arrive.
    source->refresh(1);
    EXPECT_EQ(view->currentFrameIndex(), 1u);
    const double accumulator = view->accumulator();
    source->refresh(6);
    EXPECT_EQ(view->currentFrameIndex(), 1u);
    EXPECT_EQ(view->accumulator(), accumulator);
    EXPECT_TRUE(log.texts(KGAnimatedImageLogLevel::Debug).filter("Waiting for frame 1 for animated image").size() >= 1);
    ASSERT_TRUE(playUntil([&] { return view->currentFrameIndex() == 2; }));
}

TEST_F(AnimatedImageViewTest, StillImagesHighlightingAndTheRunLoopMode)
{
    auto *view = showPlaying(coloredGif({10, 10}, 0));
    QImage still(4, 4, QImage::Format_ARGB32);
    still.fill(Qt::red);
    view->setHighlighted(true);
    EXPECT_FALSE(view->isHighlighted());
    // A null image keeps the animation.
    view->setImage(QImage());
    EXPECT_EQ(view->animatedImage(), image);
    EXPECT_EQ(view->image(), view->currentFrame());
    EXPECT_EQ(view->intrinsicContentSize(), QSize(8, 8));
    // A still image replaces it.
    view->setImage(still);
    EXPECT_EQ(view->animatedImage(), nullptr);
    EXPECT_EQ(view->image(), still);
    EXPECT_EQ(view->intrinsicContentSize(), QSize(4, 4));
    view->setHighlighted(true);
    EXPECT_TRUE(view->isHighlighted());
    // The animated image clears the still one and the highlight.
    view->setAnimatedImage(image);
    EXPECT_TRUE(view->platform::ImageView::image().isNull());
    EXPECT_FALSE(view->isHighlighted());

    view->setRunLoopMode("UITrackingRunLoopMode");
    EXPECT_EQ(view->runLoopMode(), KGAnimatedImageView::defaultRunLoopMode());
    view->setRunLoopMode(platform::RunLoopMode::Default);
    EXPECT_EQ(view->runLoopMode(), platform::RunLoopMode::Default);
}

TEST_F(AnimatedImageViewTest, FrameRateFromTheDelaysGreatestCommonDivisor)
{
    struct Case {
        std::vector<int> delays;
        double divisor;
        int fps;
    };
    for (const Case &c : {Case{{10, 10}, 0.1, 10}, Case{{5, 10}, 0.05, 20}, Case{{7, 10}, 0.01, 100}}) {
        auto *view = showPlaying(coloredGif(c.delays, 0));
        EXPECT_NEAR(view->frameDelayGreatestCommonDivisor(), c.divisor, 1e-9);
        ASSERT_TRUE(view->displayLink());
        EXPECT_EQ(view->displayLink()->preferredFramesPerSecond(), c.fps);
        delete view;
    }
}

TEST_F(AnimatedImageViewTest, TheLinkDoesNotKeepTheViewAliveAndReachesNothingOnceItIsGone)
{
    auto *view = showPlaying(coloredGif({10, 10}, 0));
    const std::shared_ptr<platform::DisplayLink> link = view->displayLink();
    ASSERT_TRUE(link);
    delete view;
    EXPECT_FALSE(link->isValid());
    source->refresh(30); // would touch the freed view under AddressSanitizer

    struct Target {
        int value = 7;
    };
    auto target = std::make_shared<Target>();
    auto proxy = KGWeakProxy<Target>::weakProxyForObject(target);
    EXPECT_EQ(proxy->forward([](Target &t) { return t.value; }), 7);
    target.reset();
    EXPECT_EQ(proxy->target(), nullptr);
    bool called = false;
    EXPECT_EQ(proxy->forward([&](Target &t) {
        called = true;
        return t.value;
    }),
              0);
    EXPECT_FALSE(called);
}

} // namespace
