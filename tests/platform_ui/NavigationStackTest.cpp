#include <gtest/gtest.h>

#include "platform/ui/Anchors.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/View.h"
#include "tests/platform_ui/RecordingController.h"
#include "tests/support/UiHarness.h"

using namespace kova::platform;
using kova::test::RecordingController;

namespace {

// The back button is for a stack with something under its top, however the
// stack came to be: a new stack that keeps the same top changes it too.
TEST(NavigationStackTest, BackButtonFollowsTheStackWhenItsTopStays)
{
    auto first = std::make_shared<ViewController>();
    auto second = std::make_shared<ViewController>();
    auto nav = std::make_shared<NavigationController>(first);
    auto window = kova::test::makeWindow(nav);
    NavigationBar *bar = nav->navigationBar();
    nav->push(second, false);
    kova::test::pump();
    ASSERT_NE(bar->backButton(), nullptr);

    // Nothing left under the top: no back button (a tap on it would do nothing).
    nav->setViewControllers({second}, false);
    kova::test::pump();
    EXPECT_EQ(nav->viewControllers().size(), 1u);
    EXPECT_EQ(bar->backButton(), nullptr);

    // A screen put under the top: the user can go back to it.
    nav->setViewControllers({first, second}, false);
    kova::test::pump();
    ASSERT_NE(bar->backButton(), nullptr);
    kova::test::tap(bar->backButton());
    EXPECT_EQ(nav->topViewController(), first);
}

// A screen taken off a stack whose container is itself on its way out was
// told it would disappear; it must also be told it has.
TEST(NavigationStackTest, AScreenTakenOffALeavingStackStillHearsItHasDisappeared)
{
    QStringList journal;
    auto root = std::make_shared<ViewController>();
    auto window = kova::test::makeWindow(root);
    for (const bool popping : {true, false}) {
        SCOPED_TRACE(popping ? "pop" : "push");
        auto under = std::make_shared<RecordingController>("under", &journal);
        auto top = std::make_shared<RecordingController>("top", &journal);
        auto nav = std::make_shared<NavigationController>(under);
        nav->push(top, false);
        bool shown = false;
        ASSERT_TRUE(root->present(nav, false, [&] { shown = true; }));
        ASSERT_TRUE(kova::test::pumpUntil([&] { return shown; }));
        journal.clear();

        bool gone = false;
        nav->dismiss(false, [&] { gone = true; });
        if (popping)
            nav->pop(false);
        else
            nav->push(std::make_shared<RecordingController>("late", &journal), false);
        ASSERT_TRUE(kova::test::pumpUntil([&] { return gone; }));
        kova::test::pump();
        EXPECT_EQ(journal.count("top:willDisappear"), 1) << journal.join(", ").toStdString();
        EXPECT_EQ(journal.count("top:didDisappear"), 1) << journal.join(", ").toStdString();
        EXPECT_FALSE(top->isVisible());
    }
}

// The safe area can change while screens are up (the status bar grows or
// goes): the bar and what keeps to the safe area follow it at once.
TEST(NavigationStackTest, ASafeAreaChangeReachesTheBarAndTheContent)
{
    auto first = std::make_shared<ViewController>();
    auto nav = std::make_shared<NavigationController>(first);
    auto window = kova::test::makeWindow(nav);
    auto *heading = new View(first->view());
    anchor(heading, Attr::Top, first->view(), Attr::Top, 16, Guide::SafeArea);
    anchor(heading, Attr::Leading, first->view(), Attr::Leading, 0);
    size(heading, Attr::Width, 100);
    size(heading, Attr::Height, 20);
    kova::test::pump();
    ASSERT_EQ(nav->navigationBar()->geometry(), QRect(0, 0, 390, 47 + 44));

    window->setSafeAreaInsets(QMargins(0, 20, 0, 0));
    kova::test::pump();
    EXPECT_EQ(nav->navigationBar()->geometry(), QRect(0, 0, 390, 20 + 44));
    EXPECT_EQ(nav->navigationBar()->topInset(), 20);
    EXPECT_EQ(first->view()->mapTo(window.get(), QPoint(0, 0)).y(), 20 + 44);
    EXPECT_EQ(heading->mapTo(window.get(), QPoint(0, 0)).y(), 20 + 44 + 16);
}

} // namespace
