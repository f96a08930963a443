// The layer's own compositions, for people to check: a sheet over a
// navigation controller, an alert and the frameless loader.
#include <gtest/gtest.h>

#include "platform/ui/AlertController.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/View.h"
#include "tests/support/UiHarness.h"

using namespace kova::platform;

namespace {

class Titled : public ViewController {
public:
    Titled(QString text, QColor color) : m_text(std::move(text)), m_color(std::move(color)) {}
    void viewDidLoad() override
    {
        static_cast<View *>(view())->setBackgroundColor(m_color);
        auto *label = new Label(m_text, view());
        QFont font = label->font();
        font.setPixelSize(20);
        label->setFont(font);
        centerIn(label, view(), Guide::SafeArea);
    }

private:
    QString m_text;
    QColor m_color;
};

void presentAndWait(ViewController &on, const std::shared_ptr<ViewController> &c)
{
    bool done = false;
    ASSERT_TRUE(on.present(c, false, [&] { done = true; }));
    ASSERT_TRUE(kova::test::pumpUntil([&] { return done; }));
}

TEST(LayerScreenshotTest, SheetAlertAndLoader)
{
    auto home = std::make_shared<Titled>("Host home", QColor(230, 236, 245));
    home->setTitle("Host");
    auto nav = std::make_shared<NavigationController>(home);
    home->navigationItem().setRightBarButtonItems({BarButtonItem::withTitle("Edit", BarButtonItem::Style::Plain, [] {})});
    auto window = kova::test::makeWindow(nav);
    EXPECT_FALSE(kova::test::grabPng(window.get(), "layer-navigation").isEmpty());

    auto sheet = std::make_shared<Titled>("A sheet", Qt::white);
    presentAndWait(*home, sheet);
    EXPECT_FALSE(kova::test::grabPng(window.get(), "layer-sheet").isEmpty());

    auto alert = AlertController::create("Something went wrong", "Please try again in a few minutes.");
    alert->addAction({"Cancel", AlertAction::Style::Cancel, nullptr});
    alert->addAction({"Try again", AlertAction::Style::Default, nullptr});
    presentAndWait(*sheet, alert);
    EXPECT_FALSE(kova::test::grabPng(window.get(), "layer-alert").isEmpty());
    bool gone = false;
    alert->dismiss(false, [&] { gone = true; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return gone; }));

    auto loader = AlertController::loader();
    presentAndWait(*sheet, loader);
    EXPECT_FALSE(kova::test::grabPng(window.get(), "layer-loader").isEmpty());
    gone = false;
    nav->dismiss(false, [&] { gone = true; });
    ASSERT_TRUE(kova::test::pumpUntil([&] { return gone; }));
}

} // namespace
