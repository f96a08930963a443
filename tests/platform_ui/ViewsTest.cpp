#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QPixmap>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "platform/ui/Anchors.h"
#include "platform/ui/Button.h"
#include "platform/ui/FontRegistry.h"
#include "platform/ui/Guarded.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/NotificationCenter.h"
#include "platform/ui/StackView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewHelpers.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiHarness.h"

using namespace kova::platform;

namespace {

QImage solid(const QColor &color)
{
    QImage image(1, 1, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

TEST(AnchorsTest, EdgesSafeAreaSiblingsMultipliersAndChangedConstants)
{
    auto root = std::make_shared<ViewController>();
    auto window = kova::test::makeWindow(root);
    QWidget *parent = root->view();
    auto *top = new View(parent);
    pinEdges(top, parent, QMargins(16, 0, 16, 0), Guide::SafeArea);
    // Override the bottom: a fixed height instead.
    auto *fill = new View(parent);
    anchor(fill, Attr::Leading, parent, Attr::Leading);
    anchor(fill, Attr::Top, parent, Attr::Top, 10, Guide::SafeArea);
    anchor(fill, Attr::Width, parent, Attr::Width, 0, Guide::Bounds, 0.8);
    Constraint height = size(fill, Attr::Height, 56);
    auto *below = new View(parent);
    anchor(below, Attr::Top, fill, Attr::Bottom, 8);
    anchor(below, Attr::CenterX, parent, Attr::CenterX);
    size(below, Attr::Width, 100);
    size(below, Attr::Height, 20);
    layoutNow(parent);
    // The window's safe area: 47 at the top, 34 at the bottom.
    EXPECT_EQ(top->geometry(), QRect(16, 47, 358, 844 - 47 - 34));
    EXPECT_EQ(fill->geometry(), QRect(0, 57, 312, 56));
    EXPECT_EQ(below->geometry(), QRect(145, 57 + 56 + 8, 100, 20));
    height.setConstant(64);
    ASSERT_TRUE(kova::test::pumpUntil([&] { return fill->height() == 64; }));
    EXPECT_EQ(below->y(), 57 + 64 + 8);
    // The parent's resize re-solves.
    window->resize(300, 600);
    kova::test::pump();
    EXPECT_EQ(fill->width(), 240);
    EXPECT_EQ(below->x(), 100);
}

TEST(LabelTest, ShowsMarkupAsTypedText)
{
    Label label;
    label.show();
    label.setText("<b>bold</b> &amp; <a href='x'>link</a>");
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
    label.resize(2000, 40);
    EXPECT_EQ(label.QLabel::text(), "<b>bold</b> &amp; <a href='x'>link</a>");
    EXPECT_EQ(label.text(), "<b>bold</b> &amp; <a href='x'>link</a>");
    // One line elides; zero lines wraps and grows.
    label.resize(60, 20);
    EXPECT_NE(label.QLabel::text(), label.text());
    label.setNumberOfLines(0);
    EXPECT_GT(label.heightForWidth(60), label.heightForWidth(2000));
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

TEST(ViewTest, OnlyASquareOpaqueBackgroundSparesWhatLiesBeneathFromRepainting)
{
    auto root = std::make_shared<ViewController>();
    auto window = kova::test::makeWindow(root);
    auto *beneath = new View(root->view());
    beneath->setGeometry(0, 0, 300, 300);
    beneath->setBackgroundColor(QColor(255, 0, 0));
    beneath->show();
    auto *cover = new View(beneath);
    cover->setGeometry(20, 20, 200, 200);
    cover->setBackgroundColor(QColor(0, 0, 255));
    cover->show();
    auto *inside = new View(cover);
    inside->setGeometry(50, 50, 40, 40);
    inside->setBackgroundColor(QColor(0, 255, 0));
    inside->show();
    PaintCounter paints(beneath);

    struct Case {
        const char *name;
        std::function<void()> apply;
        bool opaque;
        QColor corner; // the cover's top-left pixel: beneath shows through it unless opaque
    };
    const QList<Case> cases{
        {"square and opaque", [] {}, true, QColor(0, 0, 255)},
        {"rounded", [&] { cover->setCornerRadius(16); }, false, QColor(255, 0, 0)},
        {"square again", [&] { cover->setCornerRadius(0); }, true, QColor(0, 0, 255)},
        {"bordered", [&] { cover->setBorder(QColor(0, 0, 0), 2); }, false, QColor(127, 0, 0)},
        {"borderless", [&] { cover->setBorder(QColor(0, 0, 0), 0); }, true, QColor(0, 0, 255)},
        {"translucent", [&] { cover->setBackgroundColor(QColor(0, 0, 255, 128)); }, false, QColor(127, 0, 128)},
        {"opaque again", [&] { cover->setBackgroundColor(QColor(0, 0, 255)); }, true, QColor(0, 0, 255)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.apply();
        EXPECT_EQ(cover->testAttribute(Qt::WA_OpaquePaintEvent), c.opaque);
        const QColor corner = kova::test::pixelAt(window.get(), QPoint(20, 20));
        EXPECT_NEAR(corner.red(), c.corner.red(), 1);
        EXPECT_NEAR(corner.green(), c.corner.green(), 1);
        EXPECT_NEAR(corner.blue(), c.corner.blue(), 1);

        // Something inside the cover goes: what lies beneath is repainted
        // only when the cover does not paint all of its rect itself.
        inside->show();
        kova::test::pump();
        const int before = paints.count;
        inside->hide();
        kova::test::pump();
        EXPECT_EQ(paints.count > before, !c.opaque);
    }
}

TEST(ButtonTest, StatesFallBackToNormalAndPaintTheirBackground)
{
    auto root = std::make_shared<ViewController>();
    auto window = kova::test::makeWindow(root);
    auto *button = new Button(root->view());
    button->setGeometry(10, 100, 200, 50);
    button->setTitle("Go");
    button->setBackgroundImage(solid(QColor(255, 0, 0)));
    button->setBackgroundImage(solid(QColor(0, 0, 255)), Button::State::Disabled);
    button->show();
    EXPECT_EQ(button->titleForState(Button::State::Highlighted), "Go");
    EXPECT_EQ(kova::test::pixelAt(window.get(), QPoint(20, 110)), QColor(255, 0, 0));
    button->setEnabled(false);
    EXPECT_EQ(button->state(), Button::State::Disabled);
    EXPECT_EQ(kova::test::pixelAt(window.get(), QPoint(20, 110)), QColor(0, 0, 255));
    // Rounded corners clip the background.
    button->setCornerRadius(16);
    EXPECT_EQ(kova::test::pixelAt(window.get(), QPoint(10, 100)), QColor(Qt::white));
    int taps = 0;
    QObject::connect(button, &Button::clicked, [&] { ++taps; });
    kova::test::tap(button);
    EXPECT_EQ(taps, 0); // disabled
    button->setEnabled(true);
    kova::test::tap(button);
    EXPECT_EQ(taps, 1);
}

TEST(ViewHelpersTest, ShadowLayersStackAndAreRemovedTogether)
{
    auto root = std::make_shared<ViewController>();
    auto window = kova::test::makeWindow(root);
    auto *card = new View(root->view());
    card->setGeometry(40, 200, 200, 100);
    card->setBackgroundColor(Qt::white);
    card->show();
    ShadowStyle style;
    style.cornerRadius = 16;
    style.color = QColor(0, 0, 0);
    style.radius = 8;
    style.offset = QPointF(0, 8);
    addShadowLayer(card, style, "shadowLayer");
    addShadowLayer(card, style, "shadowLayer");
    addShadowLayer(card, style, "other");
    EXPECT_EQ(layersNamed(card, "shadowLayer").size(), 2);
    // The shadow falls outside the card, below it.
    const QColor under = kova::test::pixelAt(window.get(), QPoint(140, 304));
    EXPECT_LT(under.lightness(), 250);
    // It follows the card.
    card->move(40, 300);
    EXPECT_EQ(layersNamed(card, "shadowLayer").first()->geometry().center(), card->geometry().center());
    EXPECT_EQ(removeLayersNamed(card, "shadowLayer"), 2);
    EXPECT_TRUE(layersNamed(card, "shadowLayer").isEmpty());
    EXPECT_EQ(layersNamed(card, "other").size(), 1);
}

TEST(ViewHelpersTest, AlphaShimmerAndInteraction)
{
    auto root = std::make_shared<ViewController>();
    auto window = kova::test::makeWindow(root);
    auto *view = new View(root->view());
    view->setGeometry(0, 100, 390, 60);
    view->setBackgroundColor(QColor(0, 0, 0));
    view->show();
    setAlpha(view, 0.5);
    EXPECT_DOUBLE_EQ(alpha(view), 0.5);
    const QColor half = kova::test::pixelAt(window.get(), QPoint(100, 130));
    EXPECT_NEAR(half.red(), 128, 3);
    setAlpha(view, 1.0);
    EXPECT_EQ(kova::test::pixelAt(window.get(), QPoint(100, 130)), QColor(0, 0, 0));

    ShimmerStyle shimmer;
    shimmer.colors = {QColor(0, 0, 0, 255), QColor(0, 0, 0, 26), QColor(0, 0, 0, 255)};
    shimmer.locations = {0.4, 0.5, 0.6};
    shimmer.fromLocations = {0.0, 0.1, 0.2};
    shimmer.toLocations = {0.8, 0.9, 1.0};
    startShimmer(view, shimmer);
    EXPECT_TRUE(isShimmering(view));
    EXPECT_EQ(shimmerAnimationKey(view), "shimmer");
    // At the start the band (location 0.5 of a mask three views wide) sits
    // over the view's middle: faded there, full at the edges.
    const QImage shot = kova::test::grab(window.get());
    const qreal r = shot.devicePixelRatio();
    EXPECT_GT(shot.pixelColor(QPoint(195 * r, 130 * r)).lightness(), 150);
    EXPECT_LT(shot.pixelColor(QPoint(2 * r, 130 * r)).lightness(), 60);
    stopShimmer(view);
    EXPECT_FALSE(isShimmering(view));
    EXPECT_EQ(view->graphicsEffect(), nullptr);

    setUserInteractionEnabled(view, false);
    EXPECT_FALSE(isUserInteractionEnabled(view));
    EXPECT_TRUE(view->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST(FontRegistryTest, StyleNamesMapToWeightAndItalic)
{
    EXPECT_EQ(FontRegistry::weightForName("Muli-SemiBold"), QFont::DemiBold);
    EXPECT_EQ(FontRegistry::weightForName("Muli-ExtraBoldItalic"), QFont::ExtraBold);
    EXPECT_EQ(FontRegistry::weightForName("Muli-ExtraLight"), QFont::ExtraLight);
    EXPECT_EQ(FontRegistry::weightForName("Muli-Bold"), QFont::Bold);
    EXPECT_EQ(FontRegistry::weightForName("Muli-Italic"), QFont::Normal);
    EXPECT_TRUE(FontRegistry::italicForName("Muli-Italic"));
    EXPECT_TRUE(FontRegistry::italicForName("Muli-BlackItalic"));
    EXPECT_FALSE(FontRegistry::italicForName("Muli-Black"));
}

TEST(FontRegistryTest, RegistersOnceAndRefusesEmptyOrBrokenData)
{
    QFile file(QStringLiteral(KOVA_DEFAULT_RESOURCES_DIR "/Muli-Medium.ttf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    EXPECT_TRUE(FontRegistry::registerFont("Test-Medium", data));
    EXPECT_FALSE(FontRegistry::registerFont("Test-Medium", data));
    EXPECT_FALSE(FontRegistry::registerFont("Test-Empty", QByteArray()));
    EXPECT_EQ(FontRegistry::familyForName("Test-Medium"), "Muli");
    const QFont font = FontRegistry::font("Test-Medium", 16);
    EXPECT_EQ(font.pixelSize(), 16);
    EXPECT_EQ(font.weight(), QFont::Medium);
    EXPECT_EQ(QFontInfo(font).family(), "Muli");
    kova::test::LogCapture log;
    EXPECT_TRUE(FontRegistry::registerFont("Test-Broken", QByteArray("not a font")));
    EXPECT_FALSE(FontRegistry::isRegistered("Test-Broken"));
    EXPECT_TRUE(log.contains("Failed to load font: Test-Broken"));
}

TEST(NotificationCenterTest, KeyboardNotificationsCarryTheEndFrameAndObserversCanLeave)
{
    QStringList seen;
    QRect frame;
    auto center = &NotificationCenter::defaultCenter();
    NotificationCenter::Token second = 0;
    const auto first = center->addObserver(Keyboard::WillShowNotification, [&](const Notification &n) {
        seen << n.name;
        frame = n.userInfo.value(Keyboard::FrameEndUserInfoKey).toRect();
        center->removeObserver(second); // leaves before it is called
    });
    second = center->addObserver(Keyboard::WillShowNotification, [&](const Notification &) { seen << "second"; });
    {
        NotificationObservation all(QString(), [&](const Notification &n) { seen << "all:" + n.name; });
        kova::test::showKeyboard(300);
    }
    EXPECT_EQ(seen, (QStringList{Keyboard::WillShowNotification, "all:" + Keyboard::WillShowNotification,
                                 "all:" + Keyboard::DidShowNotification}));
    EXPECT_EQ(frame, QRect(0, 544, 390, 300));
    EXPECT_EQ(Keyboard::currentFrame(), QRect(0, 544, 390, 300));
    kova::test::hideKeyboard();
    EXPECT_TRUE(Keyboard::currentFrame().isEmpty());
    center->removeObserver(first);
}

TEST(GuardedTest, DoesNothingOnceItsObjectIsGone)
{
    int calls = 0;
    auto *object = new QObject;
    auto callback = guarded(object, [&](int n) {
        calls += n;
        return n * 2;
    });
    EXPECT_EQ(callback(3), 6);
    delete object;
    EXPECT_EQ(callback(3), 0);
    EXPECT_EQ(calls, 3);
}

TEST(TextFieldTest, EditingChangedIsTheUsersEditOnly)
{
    auto root = std::make_shared<ViewController>();
    auto window = kova::test::makeWindow(root);
    auto *field = new TextField(root->view());
    field->setGeometry(10, 100, 200, 40);
    field->show();
    QStringList edits;
    int returns = 0;
    QObject::connect(field, &TextField::editingChanged, [&](const QString &t) { edits << t; });
    QObject::connect(field, &TextField::returnKey, [&] { ++returns; });
    field->setText("set by code");
    EXPECT_TRUE(edits.isEmpty());
    field->clear();
    kova::test::type(field, "12");
    kova::test::pressKey(field, Qt::Key_Return);
    EXPECT_EQ(edits, (QStringList{"1", "12"}));
    EXPECT_EQ(returns, 1);
}

TEST(NavigationTest, TitleFontAndColourAreTheTitlesAlone)
{
    auto first = std::make_shared<ViewController>();
    first->setTitle("Styled");
    first->navigationItem().setRightBarButtonItems({BarButtonItem::withTitle("Done", BarButtonItem::Style::Done, [] {})});
    auto nav = std::make_shared<NavigationController>(first);
    auto window = kova::test::makeWindow(nav);
    NavigationBar *bar = nav->navigationBar();
    QFont serif(QStringLiteral("Serif"));
    serif.setPixelSize(21);
    serif.setItalic(true);
    bar->setTitleFont(serif);
    bar->setTitleColor(QColor(0xAA, 0x11, 0x22));
    auto *title = qobject_cast<Label *>(bar->titleWidget());
    ASSERT_TRUE(title);
    EXPECT_EQ(title->text(), "Styled");
    EXPECT_EQ(title->font(), serif);
    EXPECT_EQ(title->textColor(), QColor(0xAA, 0x11, 0x22));
    ASSERT_EQ(bar->rightItemWidgets().size(), 1);
    auto *done = qobject_cast<Button *>(bar->rightItemWidgets().first());
    ASSERT_TRUE(done);
    EXPECT_EQ(done->titleFont().family(), bar->font().family()) << "bar buttons keep the system font";
    EXPECT_EQ(done->titleFont().pixelSize(), 17);
    EXPECT_FALSE(done->titleFont().italic());
    EXPECT_TRUE(done->titleFont().bold());
    EXPECT_EQ(done->titleColorForState(Button::State::Normal), bar->tintColor());

    // A title view stands in for the label.
    auto *logo = new View;
    first->navigationItem().setTitleView(logo);
    EXPECT_EQ(bar->titleWidget(), logo);
}

TEST(NavigationTest, BarShowsItemsBackAndPops)
{
    auto first = std::make_shared<ViewController>();
    first->setTitle("First");
    auto nav = std::make_shared<NavigationController>(first);
    auto window = kova::test::makeWindow(nav);
    NavigationBar *bar = nav->navigationBar();
    EXPECT_EQ(bar->shownTitle(), "First");
    EXPECT_EQ(bar->backButton(), nullptr);
    // Under the status bar too; the items sit in the 44 points below it.
    EXPECT_EQ(bar->geometry(), QRect(0, 0, 390, 47 + 44));
    EXPECT_EQ(first->view()->mapTo(window.get(), QPoint(0, 0)).y(), 91);
    auto second = std::make_shared<ViewController>();
    second->setTitle("Second");
    int rightTaps = 0;
    second->navigationItem().setRightBarButtonItems(
        {BarButtonItem::withTitle("Done", BarButtonItem::Style::Done, [&] { ++rightTaps; })});
    nav->push(second, false);
    kova::test::pump();
    EXPECT_EQ(bar->shownTitle(), "Second");
    ASSERT_NE(bar->backButton(), nullptr);
    ASSERT_EQ(bar->rightItemWidgets().size(), 1);
    kova::test::tap(bar->rightItemWidgets().first());
    EXPECT_EQ(rightTaps, 1);
    kova::test::tap(bar->backButton());
    EXPECT_EQ(nav->topViewController(), first);
    EXPECT_EQ(second->parentViewController(), nullptr);
    // Every sheet can be closed by the user already: no extra button.
    const QColor tint = bar->tintColor();
    nav->addDismissButtonIfNeeded();
    EXPECT_TRUE(first->navigationItem().leftBarButtonItems().empty());
    EXPECT_EQ(bar->tintColor(), tint);
    // The transparent bar lets the content run under it, but what keeps to
    // the safe area stays clear of the bar's items.
    auto *heading = new View(first->view());
    anchor(heading, Attr::Top, first->view(), Attr::Top, 16, Guide::SafeArea);
    anchor(heading, Attr::Leading, first->view(), Attr::Leading, 32);
    size(heading, Attr::Width, 100);
    size(heading, Attr::Height, 20);
    nav->setTransparentNavigationBar();
    layoutNow(first->view());
    EXPECT_EQ(first->view()->mapTo(window.get(), QPoint(0, 0)).y(), 0);
    EXPECT_EQ(bar->barBackgroundColor().alpha(), 0);
    EXPECT_EQ(safeAreaInsets(first->view()).top(), 47 + 44);
    EXPECT_EQ(heading->geometry(), QRect(32, 47 + 44 + 16, 100, 20));
    // A title view keeps a margin to the bar's edges whatever its own size.
    auto *logo = new QLabel;
    logo->setPixmap(QPixmap::fromImage(solid(Qt::darkGreen).scaled(64, 64)));
    ASSERT_EQ(logo->sizeHint(), QSize(64, 64));
    first->navigationItem().setTitleView(logo);
    kova::test::pump();
    EXPECT_EQ(logo->parentWidget(), bar);
    EXPECT_EQ(logo->geometry().height(), 44 - 12);
    EXPECT_EQ(logo->geometry().top(), 47 + 6);
}

TEST(StackViewTest, FillEquallySplitsTheAxisAndHiddenViewsTakeNoRoom)
{
    StackView stack(Qt::Horizontal);
    stack.setSpacing(10);
    stack.setDistribution(StackView::Distribution::FillEqually);
    auto *a = new View;
    auto *b = new View;
    auto *c = new View;
    stack.addArrangedSubview(a);
    stack.addArrangedSubview(b);
    stack.addArrangedSubview(c);
    stack.resize(320, 40);
    stack.show();
    kova::test::pump();
    EXPECT_EQ(a->width(), 100);
    EXPECT_EQ(c->x(), 220);
    c->hide();
    kova::test::pump();
    EXPECT_EQ(a->width(), 155);
}

} // namespace
