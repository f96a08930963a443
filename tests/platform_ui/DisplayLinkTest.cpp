#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/DisplayLink.h"
#include "tests/support/UiHarness.h"

using namespace kova::platform;

namespace {

TEST(DisplayLinkTest, FiresAtItsPreferredRateOnASixtyHertzSource)
{
    auto source = std::make_shared<ManualRefreshSource>(60);
    int fires = 0;
    std::vector<double> durations;
    auto link = DisplayLink::create(
        [&](DisplayLink &l) {
            ++fires;
            durations.push_back(l.targetTimestamp() - l.timestamp());
        },
        source);
    link->setPreferredFramesPerSecond(10);
    source->refresh(60);
    EXPECT_EQ(fires, 0); // not added yet
    link->add(RunLoopMode::Common);
    source->refresh(600); // ten seconds
    EXPECT_EQ(fires, 100);
    EXPECT_NEAR(durations.front(), 0.1, 1e-9);

    fires = 0;
    link->setPreferredFramesPerSecond(20);
    source->refresh(600);
    EXPECT_EQ(fires, 200);
    // Above the screen's rate: every refresh.
    fires = 0;
    link->setPreferredFramesPerSecond(100);
    source->refresh(60);
    EXPECT_EQ(fires, 60);

    fires = 0;
    link->setPaused(true);
    source->refresh(60);
    EXPECT_EQ(fires, 0);
    link->setPaused(false);
    source->refresh(1);
    EXPECT_EQ(fires, 1);
    link->invalidate();
    source->refresh(60);
    EXPECT_EQ(fires, 1);
}

TEST(DisplayLinkTest, DefaultModeWaitsWhileTrackingAndCommonModeDoesNot)
{
    auto source = std::make_shared<ManualRefreshSource>(60);
    int defaultFires = 0;
    int commonFires = 0;
    auto a = DisplayLink::create([&](DisplayLink &) { ++defaultFires; }, source);
    auto b = DisplayLink::create([&](DisplayLink &) { ++commonFires; }, source);
    a->add(RunLoopMode::Default);
    b->add(RunLoopMode::Common);
    Application::shared().setTracking(true);
    source->refresh(10);
    Application::shared().setTracking(false);
    EXPECT_EQ(defaultFires, 0);
    EXPECT_EQ(commonFires, 10);
    source->refresh(10);
    EXPECT_EQ(defaultFires, 10);
}

TEST(DisplayLinkTest, ALinkLetGoOfInsideItsCallbackIsSafe)
{
    auto source = std::make_shared<ManualRefreshSource>(60);
    std::shared_ptr<DisplayLink> link;
    int fires = 0;
    link = DisplayLink::create(
        [&](DisplayLink &) {
            ++fires;
            link.reset();
        },
        source);
    link->add(RunLoopMode::Common);
    source->refresh(5);
    EXPECT_EQ(fires, 1);
}

TEST(DisplayLinkTest, TheSystemSourceTicksNearSixtyHertz)
{
    int fires = 0;
    auto link = DisplayLink::create([&](DisplayLink &) { ++fires; });
    link->add(RunLoopMode::Common);
    ASSERT_TRUE(kova::test::pumpUntil([&] { return fires >= 6; }, std::chrono::seconds(5)));
    link->invalidate();
}

} // namespace
