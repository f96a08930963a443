#include <QCoreApplication>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/Overhang.h"
#include "platform/ui/View.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiHarness.h"

using namespace kova::platform;

namespace {

// A scroll area over a tall canvas with a 390 x 76 strip half way down, and a
// button just above the strip where the overhang reaches.
class OverhangTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = std::make_shared<ViewController>();
        window = kova::test::makeWindow(root);
        area = new QScrollArea(root->view());
        area->setFrameShape(QFrame::NoFrame);
        area->setGeometry(0, 100, 390, 600);
        canvas = new View;
        canvas->resize(390, 2000);
        area->setWidget(canvas);
        area->show();
        strip = new View(canvas);
        strip->setBackgroundColor(QColor(0x20, 0x40, 0x60));
        strip->setGeometry(0, 1000, 390, 76);
        strip->show();
        above = new Button(canvas);
        above->setGeometry(0, 960, 390, 40);
        above->show();
        content = new View;
        content->setBackgroundColor(Qt::red);
        frame = overhang(content, strip, QSize(120, 120));
        content->show();
        area->verticalScrollBar()->setValue(800);
        kova::test::pump();
    }

    QRect inWindow(QWidget *w) const { return QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size()); }
    // Where the overhang should be: 120 square on the strip's centre.
    QRect expected() const
    {
        const QRect s = inWindow(strip);
        return QRect(s.left() + (s.width() - 120) / 2, s.top() + (s.height() - 120) / 2, 120, 120);
    }

    std::shared_ptr<ViewController> root;
    kova::test::WindowPtr window;
    QScrollArea *area = nullptr;
    View *canvas = nullptr;
    View *strip = nullptr;
    Button *above = nullptr;
    QPointer<View> content;
    QPointer<Overhang> frame;
};

TEST_F(OverhangTest, DrawsWholeOnTheAnchorsCentreAndFollowsScrollAndSize)
{
    EXPECT_EQ(clippingAncestor(strip), area->viewport()) << "the scroll view is what clips";
    EXPECT_EQ(frame->parentWidget(), area->viewport());
    EXPECT_EQ(inWindow(content), expected());
    EXPECT_EQ(inWindow(content), QRect(135, 100 + 200 - 22, 120, 120));
    EXPECT_EQ(content->visibleRegion(), QRegion(content->rect())) << "nothing cuts it to the strip";

    // Above and below the strip the grab shows the overhang, not the strip
    // or the canvas under it.
    const QImage shot = kova::test::grab(window.get());
    const qreal ratio = shot.devicePixelRatio();
    auto at = [&](int x, int y) { return shot.pixelColor(QPoint(qRound(x * ratio), qRound(y * ratio))); };
    EXPECT_EQ(at(195, 300 - 10), QColor(Qt::red));
    EXPECT_EQ(at(195, 300 + 76 + 10), QColor(Qt::red));
    EXPECT_EQ(at(195, 300 + 38), QColor(Qt::red)) << "over the strip itself as well";
    EXPECT_NE(at(130, 300 + 38), QColor(Qt::red)) << "but no wider than asked";
    EXPECT_NE(at(195, 300 - 23), QColor(Qt::red)) << "and no taller";

    area->verticalScrollBar()->setValue(900);
    kova::test::pump();
    EXPECT_EQ(inWindow(content), expected());
    EXPECT_EQ(inWindow(content).top(), 100 + 100 - 22);

    strip->setGeometry(20, 1100, 300, 100);
    kova::test::pump();
    EXPECT_EQ(inWindow(content), expected());
    EXPECT_EQ(inWindow(content).topLeft(), QPoint(20 + 90, 100 + 200 - 10));

    // Scrolled out of the viewport it is clipped as the rest of the list is.
    area->verticalScrollBar()->setValue(0);
    kova::test::pump();
    EXPECT_EQ(inWindow(content), expected());
    EXPECT_TRUE(content->visibleRegion().isEmpty());
}

TEST_F(OverhangTest, ShowsWithTheAnchorAndKeepsTheViewsOwnHiddenState)
{
    EXPECT_TRUE(content->isVisible());
    strip->hide();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_FALSE(content->isVisible());
    strip->show();
    EXPECT_TRUE(content->isVisible());

    // Hiding a widget between the anchor and the host hides it too.
    canvas->hide();
    EXPECT_FALSE(content->isVisible());
    canvas->show();
    EXPECT_TRUE(content->isVisible());

    content->hide();
    strip->hide();
    strip->show();
    EXPECT_FALSE(content->isVisible()) << "the anchor showing again does not show a view hidden by its owner";
    EXPECT_TRUE(frame->isVisible());
}

TEST_F(OverhangTest, TapsReachWhatLiesUnder)
{
    const QPoint overButton = above->mapTo(window.get(), QPoint(195, 30));
    ASSERT_TRUE(inWindow(content).contains(overButton));
    QWidget *hit = window->childAt(overButton);
    EXPECT_TRUE(hit == above || above->isAncestorOf(hit));
    const QPoint overStrip = strip->mapTo(window.get(), QPoint(195, 38));
    EXPECT_EQ(window->childAt(overStrip), strip);
}

TEST_F(OverhangTest, FollowsTheAnchorToAnotherParentAndGoesWithIt)
{
    // Out of the scroll view into a clipping card elsewhere on the screen.
    auto *card = new View(root->view());
    card->setGeometry(0, 400, 390, 300);
    card->setClipsToBounds(true);
    card->show();
    auto *inner = new View(card);
    inner->setGeometry(0, 100, 390, 100);
    inner->show();
    strip->setParent(inner);
    strip->setGeometry(0, 0, 390, 76);
    strip->show();
    kova::test::pump();
    EXPECT_EQ(frame->parentWidget(), card);
    EXPECT_EQ(inWindow(content), expected());
    EXPECT_EQ(inWindow(content).top(), inWindow(card).top() + 100 - 22);
    inner->move(0, 150);
    EXPECT_EQ(inWindow(content), expected()) << "a widget between moving moves it";
    area->verticalScrollBar()->setValue(300);
    EXPECT_EQ(inWindow(content), expected()) << "the old scroll view no longer moves it";

    delete strip;
    EXPECT_FALSE(frame);
    EXPECT_FALSE(content);
}

TEST_F(OverhangTest, GoesWhenTheViewGoesAndWorksOnAWindowOfItsOwn)
{
    delete content.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(frame);

    // A top-level anchor has nothing above it to draw into: the frame sits in
    // the anchor itself.
    View lone;
    lone.resize(200, 50);
    lone.show();
    auto *view = new View;
    Overhang *own = overhang(view, &lone, QSize(60, 80));
    view->show();
    EXPECT_EQ(own->parentWidget(), &lone);
    EXPECT_EQ(own->geometry(), QRect(70, -15, 60, 80));
    EXPECT_TRUE(view->isVisible());
}

} // namespace
