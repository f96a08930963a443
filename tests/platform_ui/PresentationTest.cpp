#include <QKeyEvent>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/ui/AlertController.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewHelpers.h"
#include "tests/platform_ui/RecordingController.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiHarness.h"

using namespace kova::platform;
using kova::test::RecordingController;
using kova::test::RecordingDelegate;

namespace {

struct PresentationTest : ::testing::Test {
    QStringList journal;
    std::shared_ptr<RecordingController> root = std::make_shared<RecordingController>("root", &journal);
    kova::test::WindowPtr window = kova::test::makeWindow(root);

    std::shared_ptr<RecordingController> make(const QString &name)
    {
        return std::make_shared<RecordingController>(name, &journal);
    }
    // Presents and waits for the completion.
    void presentNow(ViewController &on, const std::shared_ptr<ViewController> &c)
    {
        bool done = false;
        ASSERT_TRUE(on.present(c, false, [&] { done = true; }));
        ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
    }
};

TEST_F(PresentationTest, AppearanceAndCompletionComeOnALaterTurnEvenWithoutAnimation)
{
    journal.clear();
    auto sheet = make("sheet");
    int completions = 0;
    ASSERT_TRUE(root->present(sheet, false, [&] { ++completions; }));
    // Synchronously: loaded and about to appear, but not yet appeared.
    EXPECT_EQ(journal, (QStringList{"sheet:didLoad", "sheet:willAppear"}));
    EXPECT_EQ(completions, 0);
    ASSERT_TRUE(kova::test::pumpUntil([&] { return completions == 1; }));
    EXPECT_EQ(journal, (QStringList{"sheet:didLoad", "sheet:willAppear", "sheet:didAppear"}));
    EXPECT_EQ(root->presentedViewController(), sheet);
    EXPECT_EQ(sheet->presentingViewController(), root.get());
    EXPECT_EQ(window->topPresentedViewController(), sheet);
    EXPECT_TRUE(window->isAncestorOf(sheet->view()));
}

TEST_F(PresentationTest, PresentingOnAControllerThatPresentsIsRefusedWithoutCompletion)
{
    auto first = make("first");
    presentNow(*root, first);
    kova::test::LogCapture log;
    bool ran = false;
    auto second = make("second");
    EXPECT_FALSE(root->present(second, false, [&] { ran = true; }));
    kova::test::pump(10);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(second->isViewLoaded());
    EXPECT_EQ(root->presentedViewController(), first);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().contains("already presenting"));
    // The same controller cannot be presented twice either.
    EXPECT_FALSE(first->present(first, false));
}

TEST_F(PresentationTest, NothingIsPresentedOnAScreenThatIsLeaving)
{
    auto inner = make("inner");
    auto nav = std::make_shared<NavigationController>(inner);
    presentNow(*root, nav);
    bool gone = false;
    nav->dismiss(true, [&] { gone = true; });
    kova::test::LogCapture log;
    bool ran = false;
    EXPECT_FALSE(inner->present(make("late"), false, [&] { ran = true; }));
    ASSERT_TRUE(kova::test::pumpUntil([&] { return gone; }));
    kova::test::pump(5);
    EXPECT_FALSE(ran);
    EXPECT_EQ(log.lines().size(), 1);
}

TEST_F(PresentationTest, DismissingAPresenterRemovesItsWholeChain)
{
    auto a = make("a");
    auto b = make("b");
    auto c = make("c");
    presentNow(*root, a);
    presentNow(*a, b);
    presentNow(*b, c);
    journal.clear();
    int completions = 0;
    root->dismiss(false, [&] { ++completions; });
    EXPECT_EQ(completions, 0);
    ASSERT_TRUE(kova::test::pumpUntil([&] { return completions == 1; }));
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(a->presentedViewController(), nullptr);
    EXPECT_EQ(b->presentedViewController(), nullptr);
    EXPECT_EQ(c->presentingViewController(), nullptr);
    EXPECT_EQ(window->topPresentedViewController(), nullptr);
    for (const QString name : {"a", "b", "c"}) {
        EXPECT_TRUE(journal.contains(name + ":willDisappear")) << name.toStdString();
        EXPECT_TRUE(journal.contains(name + ":didDisappear")) << name.toStdString();
    }
    // The views are off screen but kept by their controllers.
    EXPECT_FALSE(window->isAncestorOf(a->view()));
    kova::test::pump();
    EXPECT_EQ(completions, 1);
}

TEST_F(PresentationTest, DismissingAPresentedControllerGoesToItsPresenter)
{
    auto a = make("a");
    auto b = make("b");
    presentNow(*root, a);
    presentNow(*a, b);
    bool done = false;
    b->dismiss(false, [&] { done = true; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
    EXPECT_EQ(a->presentedViewController(), nullptr);
    EXPECT_EQ(root->presentedViewController(), a); // a itself stays
    EXPECT_EQ(window->topPresentedViewController(), a);
}

TEST_F(PresentationTest, CompletionAskedDuringADismissalRunsAfterItAndOnce)
{
    auto a = make("a");
    presentNow(*root, a);
    QStringList order;
    a->dismiss(false, [&] { order << "first"; });
    // Asked while the first dismissal runs: on a leaving screen.
    a->dismiss(false, [&] { order << "second"; });
    root->dismiss(false, [&] { order << "third"; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (QStringList{"first", "second", "third"}));
    kova::test::pump(10);
    EXPECT_EQ(order.size(), 3);
}

TEST_F(PresentationTest, NothingToDismissStillCompletesOnceOnALaterTurn)
{
    int completions = 0;
    root->dismiss(false, [&] { ++completions; });
    EXPECT_EQ(completions, 0);
    ASSERT_TRUE(kova::test::pumpUntil([&] { return completions == 1; }));
    // A controller already gone: the same.
    auto gone = make("gone");
    presentNow(*root, gone);
    bool first = false;
    gone->dismiss(false, [&] { first = true; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return first; }));
    gone->dismiss(false, [&] { ++completions; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return completions == 2; }));
    kova::test::pump(10);
    EXPECT_EQ(completions, 2);
}

TEST_F(PresentationTest, DismissalAskedWhilePresentingWaitsForTheArrival)
{
    auto a = make("a");
    QStringList order;
    ASSERT_TRUE(root->present(a, false, [&] { order << "presented"; }));
    a->dismiss(false, [&] { order << "dismissed"; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (QStringList{"presented", "dismissed"}));
    EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(PresentationTest, DismissingAChainWhoseTopIsStillArrivingWaitsForIt)
{
    auto a = make("a");
    presentNow(*root, a);
    auto b = make("b");
    QStringList order;
    ASSERT_TRUE(a->present(b, false, [&] { order << "b presented"; }));
    root->dismiss(false, [&] { order << "chain dismissed"; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (QStringList{"b presented", "chain dismissed"}));
    EXPECT_EQ(journal.filter("b:didAppear").size(), 1);
    EXPECT_EQ(journal.filter("b:didDisappear").size(), 1);
    EXPECT_EQ(window->topPresentedViewController(), nullptr);
}

TEST_F(PresentationTest, APresenterThatGoesTakesItsLayersWithIt)
{
    std::weak_ptr<ViewController> weakSheet;
    {
        auto oldRoot = make("oldRoot");
        window->setRootViewController(oldRoot);
        kova::test::pump();
        auto sheet = make("sheet");
        weakSheet = sheet;
        presentNow(*oldRoot, sheet);
        ASSERT_NE(window->layerFor(sheet.get()), nullptr);
        // The host swaps its root without dismissing what the old one presents.
        window->setRootViewController(root);
    }
    kova::test::pump();
    EXPECT_TRUE(weakSheet.expired());
    EXPECT_EQ(window->topPresentedViewController(), nullptr);
    // No dimmed layer is left over the new root.
    EXPECT_EQ(kova::test::pixelAt(window.get(), QPoint(200, 400)), QColor(Qt::white));
}

TEST_F(PresentationTest, CompletionsSurviveTheWindowGoingMidTransition)
{
    // With animations on, the host closes its window while a sheet slides in
    // and another slides out: both completions still run, once.
    Application::shared().setAnimationsEnabled(true);
    auto leaving = make("leaving");
    presentNow(*root, leaving);
    int dismissed = 0;
    leaving->dismiss(true, [&] { ++dismissed; });
    window.reset();
    ASSERT_TRUE(kova::test::pumpUntil([&] { return dismissed == 1; }));

    auto otherRoot = make("otherRoot");
    window = kova::test::makeWindow(otherRoot);
    int presented = 0;
    ASSERT_TRUE(otherRoot->present(make("arriving"), true, [&] { ++presented; }));
    window.reset();
    ASSERT_TRUE(kova::test::pumpUntil([&] { return presented == 1; }));
    Application::shared().setAnimationsEnabled(false);
    kova::test::pump(10);
    EXPECT_EQ(dismissed, 1);
    EXPECT_EQ(presented, 1);
}

TEST_F(PresentationTest, ASheetLaysOutForWhereItComesToRestWhileItSlidesIn)
{
    // Laid out during the slide, a button kept above the safe area's bottom
    // must already be where it will be once the sheet is in place.
    Application::shared().setAnimationsEnabled(true);
    auto sheet = std::make_shared<ViewController>();
    auto *button = new QWidget(sheet->view());
    anchor(button, Attr::Leading, sheet->view(), Attr::Leading);
    anchor(button, Attr::Bottom, sheet->view(), Attr::Bottom, -8, Guide::SafeArea);
    size(button, Attr::Width, 100);
    size(button, Attr::Height, 50);
    bool arrived = false;
    ASSERT_TRUE(root->present(sheet, true, [&] { arrived = true; }));
    kova::test::pump(2);
    const int sliding = sheet->view()->mapTo(window.get(), QPoint(0, 0)).y();
    const int whileSliding = button->y();
    ASSERT_TRUE(kova::test::pumpUntil([&] { return arrived; }));
    Application::shared().setAnimationsEnabled(false);
    const int atRest = sheet->view()->mapTo(window.get(), QPoint(0, 0)).y();
    EXPECT_GT(sliding, atRest) << "the first layout happened during the slide";
    EXPECT_EQ(whileSliding, button->y());
    EXPECT_EQ(button->mapTo(window.get(), QPoint(0, 50)).y(), 844 - 34 - 8);
}

TEST_F(PresentationTest, ASheetOnItsWayOutTakesNoClickOrKey)
{
    // Whether the user closed it or the code did, a screen that is leaving
    // is gone for the user: its buttons must not act during the slide.
    Application::shared().setAnimationsEnabled(true);
    for (const bool byTheUser : {true, false}) {
        SCOPED_TRACE(byTheUser ? "closed by the user" : "dismissed by the code");
        auto sheet = make("sheet");
        auto *button = new QPushButton(QStringLiteral("Send"), sheet->view());
        button->setGeometry(20, 200, 200, 60);
        int clicks = 0;
        QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
        bool arrived = false;
        ASSERT_TRUE(root->present(sheet, true, [&] { arrived = true; }));
        ASSERT_TRUE(kova::test::pumpUntil([&] { return arrived; }));
        kova::test::tap(button);
        ASSERT_EQ(clicks, 1) << "the button works while the sheet is up";

        bool gone = false;
        if (byTheUser) {
            ASSERT_TRUE(window->userSwipeDown());
        } else {
            sheet->dismiss(true, [&] { gone = true; });
        }
        ASSERT_TRUE(button->isVisible()) << "still sliding";
        kova::test::tap(button);
        kova::test::pressKey(button, Qt::Key_Space);
        EXPECT_EQ(clicks, 1);
        ASSERT_TRUE(kova::test::pumpUntil([&] { return window->topPresentedViewController() == nullptr && !button->isVisible(); }));
        if (!byTheUser) {
            EXPECT_TRUE(kova::test::pumpUntil([&] { return gone; }));
        }
    }
    Application::shared().setAnimationsEnabled(false);
}

TEST_F(PresentationTest, ProgrammaticDismissalNeverReachesTheDelegate)
{
    auto sheet = make("sheet");
    auto delegate = std::make_shared<RecordingDelegate>();
    sheet->presentationController().setDelegate(delegate);
    presentNow(*root, sheet);
    bool done = false;
    sheet->dismiss(true, [&] { done = true; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
    EXPECT_EQ(delegate->shouldCalls, 0);
    EXPECT_EQ(delegate->didCalls, 0);
}

TEST_F(PresentationTest, UserCloseAsksTheDelegateAndReportsAfterTheSheetHasGone)
{
    auto sheet = make("sheet");
    auto delegate = std::make_shared<RecordingDelegate>();
    sheet->presentationController().setDelegate(delegate);
    presentNow(*root, sheet);

    // Refused: the sheet stays, nothing is reported.
    delegate->allow = false;
    kova::test::pressKey(sheet->view(), Qt::Key_Escape);
    EXPECT_EQ(delegate->shouldCalls, 1);
    kova::test::pump(10);
    EXPECT_EQ(root->presentedViewController(), sheet);
    EXPECT_EQ(delegate->didCalls, 0);

    // Allowed: swipe; didDismiss only once the sheet is gone.
    delegate->allow = true;
    kova::test::swipeDown(window.get());
    EXPECT_EQ(delegate->shouldCalls, 2);
    ASSERT_TRUE(kova::test::pumpUntil([&] { return delegate->didCalls == 1; }, std::chrono::seconds(5)));
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_TRUE(journal.contains("sheet:didDisappear"));
}

TEST_F(PresentationTest, TheWindowsCloseClosesTheTopSheetAndKeepsTheWindow)
{
    auto sheet = make("sheet");
    auto delegate = std::make_shared<RecordingDelegate>();
    sheet->presentationController().setDelegate(delegate);
    presentNow(*root, sheet);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(kova::test::pumpUntil([&] { return delegate->didCalls == 1; }, std::chrono::seconds(5)));
    EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(PresentationTest, AlertsAndLoadersIgnoreTheUsersClose)
{
    auto loader = AlertController::loader();
    presentNow(*root, loader);
    kova::test::pressKey(window.get(), Qt::Key_Escape);
    kova::test::swipeDown(window.get());
    EXPECT_FALSE(window->userSwipeDown());
    kova::test::pump(10);
    EXPECT_EQ(root->presentedViewController(), loader);
    EXPECT_TRUE(loader->actionButtons().isEmpty());
    bool done = false;
    loader->dismiss(false, [&] { done = true; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
}

TEST_F(PresentationTest, AnAlertActionDismissesBeforeItsHandlerRuns)
{
    auto alert = AlertController::create("Title", "Message");
    bool handlerSawPresenter = true;
    bool handled = false;
    alert->addAction({"OK", AlertAction::Style::Default, [&] {
                          handled = true;
                          handlerSawPresenter = root->presentedViewController() != nullptr;
                      }});
    presentNow(*root, alert);
    ASSERT_EQ(alert->actionButtons().size(), 1);
    kova::test::tap(alert->actionButtons().first());
    ASSERT_TRUE(kova::test::pumpUntil([&] { return handled; }, std::chrono::seconds(5)));
    EXPECT_FALSE(handlerSawPresenter);
}

TEST_F(PresentationTest, AControllerThatIsGoneDoesNotRunItsLaterWork)
{
    // A presented controller nobody else holds is freed with its chain; its
    // queued work must not touch it afterwards.
    bool done = false;
    {
        auto temp = make("temp");
        ASSERT_TRUE(root->present(temp, false));
        temp->dismiss(false, [&] { done = true; });
    }
    ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
    EXPECT_EQ(root->presentedViewController(), nullptr);
}

// The visible-controller walk and where new screens go.
struct TopControllerTest : ::testing::Test {
    QStringList journal;
    std::shared_ptr<RecordingController> make(const QString &name)
    {
        return std::make_shared<RecordingController>(name, &journal);
    }
};

TEST_F(TopControllerTest, WalkTable)
{
    // A plain root that presents nothing: the root itself.
    auto plain = make("plain");
    auto window = kova::test::makeWindow(plain);
    EXPECT_EQ(Application::shared().topViewController(), plain);

    // A tab bar whose selected tab is a navigation controller: its top.
    auto tabs = std::make_shared<TabBarController>();
    auto first = make("first");
    auto second = make("second");
    auto nav = std::make_shared<NavigationController>(first);
    nav->push(second, false);
    tabs->setViewControllers({make("other"), nav});
    tabs->setSelectedIndex(1);
    window->setRootViewController(tabs);
    kova::test::pump();
    EXPECT_EQ(Application::shared().topViewController(), second);

    // A navigation controller that presents: the walk goes on through what it
    // presents, so nobody presents on a controller that already presents.
    window->setRootViewController(nav);
    kova::test::pump();
    auto sheet = make("sheet");
    bool done = false;
    ASSERT_TRUE(nav->present(sheet, false, [&] { done = true; }));
    ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
    EXPECT_EQ(Application::shared().topViewController(), sheet);
    EXPECT_EQ(Application::shared().presentationAnchor(), sheet);

    // A presented navigation controller: its own top.
    auto innerRoot = make("innerRoot");
    auto inner = std::make_shared<NavigationController>(innerRoot);
    done = false;
    ASSERT_TRUE(sheet->present(inner, false, [&] { done = true; }));
    ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
    EXPECT_EQ(Application::shared().topViewController(), innerRoot);
    // Its top presenting something (a loader): the anchor is above it.
    auto loader = AlertController::loader();
    done = false;
    ASSERT_TRUE(innerRoot->present(loader, false, [&] { done = true; }));
    ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
    EXPECT_EQ(Application::shared().presentationAnchor(), loader);
    EXPECT_EQ(Application::shared().presentationAnchor()->presentedViewController(), nullptr);
    nav->dismiss(false);
    kova::test::pump(10);
}

TEST_F(TopControllerTest, TheKeyWindowIsTheHostsNotTheFocusedOne)
{
    auto hostRoot = make("host");
    auto window = kova::test::makeWindow(hostRoot);
    // Another top-level window of ours takes the focus; the host's window
    // stays the key window.
    kova::platform::Window other;
    other.setRootViewController(make("other"));
    other.show();
    other.activateWindow();
    kova::test::pump();
    EXPECT_EQ(Application::shared().keyWindow(), window.get());
    EXPECT_EQ(Application::shared().topViewController(), hostRoot);
    // Without a window from the host: the most recently active visible one.
    Application::shared().setKeyWindow(nullptr);
    Application::shared().noteActivated(&other);
    EXPECT_EQ(Application::shared().keyWindow(), &other);
    other.hide();
    EXPECT_EQ(Application::shared().keyWindow(), nullptr);
    EXPECT_EQ(Application::shared().topViewController(), nullptr);
}

TEST_F(TopControllerTest, AWindowEmbeddedInTheHostsOwnWindowPresents)
{
    QWidget hostMain;
    hostMain.resize(800, 900);
    auto *embedded = new kova::platform::Window(&hostMain);
    embedded->setGeometry(100, 20, 390, 844);
    auto home = make("home");
    embedded->setRootViewController(home);
    Application::shared().setKeyWindow(embedded);
    hostMain.show();
    kova::test::pump();
    EXPECT_EQ(home->window(), embedded);
    EXPECT_EQ(kova::platform::safeAreaInsets(home->view()).top(), 47);
    auto sheet = make("sheet");
    bool done = false;
    ASSERT_TRUE(Application::shared().presentationAnchor()->present(sheet, false, [&] { done = true; }));
    ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
    EXPECT_TRUE(embedded->isAncestorOf(sheet->view()));
    Application::shared().setKeyWindow(nullptr);
}

TEST_F(TopControllerTest, OnlyWebAddressesAreOpenedByDefault)
{
    kova::test::LogCapture log;
    EXPECT_FALSE(Application::shared().openURL(QUrl("file:///etc/passwd")));
    EXPECT_FALSE(Application::shared().openURL(QUrl("javascript:alert(1)")));
    EXPECT_EQ(log.lines().size(), 2);
    QList<QUrl> opened;
    Application::shared().setURLOpener([&](const QUrl &url) {
        opened << url;
        return true;
    });
    EXPECT_TRUE(Application::shared().openURL(QUrl("https://bank.example/help")));
    EXPECT_EQ(opened, (QList<QUrl>{QUrl("https://bank.example/help")}));
    Application::shared().setURLOpener(nullptr);
}

} // namespace

TEST_F(PresentationTest, AWideWindowShowsASheetAsACentredFormSheetAndAPhoneOneAsBefore)
{
    const struct {
        QSize window;
        QRect card;
        QSize view;
    } cases[] = {
        // A phone: the window's width from below the safe area's top, the
        // rounded bottom corners beneath the window's edge.
        {QSize(390, 844), QRect(0, 57, 390, 797), QSize(390, 787)},
        // A desktop window: the tablets' form sheet, centred in the safe area.
        {QSize(1280, 800), QRect(370, 96, 540, 620), QSize(540, 620)},
        // Wide but short: the card keeps its width and gives up height, within
        // the safe area, so it never reaches past the window.
        {QSize(1280, 500), QRect(370, 57, 540, 399), QSize(540, 399)},
        // Too narrow for a card with room beside it: a phone's sheet.
        {QSize(600, 800), QRect(0, 57, 600, 753), QSize(600, 743)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.window.width()));
        window->resize(c.window);
        auto sheet = make("sheet");
        presentNow(*root, sheet);
        layoutNow(sheet->view());
        EXPECT_EQ(window->layerFor(sheet.get())->geometry(), c.card);
        EXPECT_EQ(sheet->view()->size(), c.view);
        if (c.window.width() > 1000) {
            EXPECT_EQ(safeAreaInsets(sheet->view()), QMargins()) << "the card lies inside the safe area";
        }
        bool gone = false;
        root->dismiss(false, [&] { gone = true; });
        ASSERT_TRUE(kova::test::pumpUntil([&] { return gone; }));
    }
}

TEST(WindowSizeTest, AWindowPlacedInAHostsMainWindowAsksForAPhonesSize)
{
    Window window;
    EXPECT_EQ(window.sizeHint(), QSize(390, 844));
    QMainWindow host;
    host.setCentralWidget(new Window);
    host.show();
    ASSERT_TRUE(kova::test::pumpUntil([&] { return host.isVisible(); }));
    EXPECT_EQ(host.sizeHint(), QSize(390, 844));
    // Opened at that size as far as the (offscreen, 800 x 600) screen allows.
    EXPECT_EQ(host.centralWidget()->width(), 390);
}
