// The look on one screen, for people to check: the theme's colours, the
// sixteen fonts, the accent button in both states, a shimmering row, a
// shadowed card and a playing animated image.
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "animatedgif/view/KGAnimatedImageView.h"
#include "core/KOVScreensProvider.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewHelpers.h"
#include "tests/support/UiHarness.h"
#include "ui/KovaUI.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVButton.h"
#include "ui/look/KOVFontColors.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/ViewStyling.h"

using namespace kova;
using platform::Attr;

namespace {

struct Swatch {
    const char *name;
    QColor color;
};

platform::Label *label(const QString &text, const QString &font, qreal size, const QColor &color, QWidget *parent)
{
    auto *l = new platform::Label(text, parent);
    l->setFont(KOVFontManager::font(font, size));
    l->setTextColor(color);
    return l;
}

// Colours and fonts.
class LookGallery : public platform::ViewController {
    void viewDidLoad() override
    {
        auto *root = static_cast<platform::View *>(view());
        root->setBackgroundColor(KOVTheme::backgroundColor());
        auto *title = label("Theme", KOVFontManager::bold(), 22, KOVFontColors::b100(), root);
        platform::anchor(title, Attr::Top, root, Attr::Top, 8, platform::Guide::SafeArea);
        platform::anchor(title, Attr::Leading, root, Attr::Leading, 16);
        const std::vector<Swatch> swatches = {
            {"limitLabel", KOVTheme::limitLabel()},
            {"amountLabel", KOVTheme::amountLabel()},
            {"currencyLabel", KOVTheme::currencyLabel()},
            {"loaderBg", KOVTheme::autoFlowLoaderBackground()},
            {"loaderDots", KOVTheme::loaderDotsColor()},
            {"errorBorder", KOVTheme::errorBorderViewbackgroundColor()},
            {"errorView", KOVTheme::errorViewbackgroundColor()},
            {"navigation", KOVTheme::navigationViewBackgroundColor()},
            {"background", KOVTheme::backgroundColor()},
            {"darkBg", KOVTheme::darkBackgroundColor()},
            {"active", KOVTheme::activeColor()},
            {"textField", KOVTheme::textField()},
            {"shimmerView", KOVTheme::shimmerView()},
            {"subaccounts", KOVTheme::subaccountsBackground()},
            {"b100", KOVFontColors::b100()},
            {"b90", KOVFontColors::b90()},
            {"b70", KOVFontColors::b70()},
            {"b60", KOVFontColors::b60()},
            {"b35", KOVFontColors::b35()},
            {"b0", KOVFontColors::b0()},
        };
        const int columns = 5;
        const int cell = 70;
        for (size_t i = 0; i < swatches.size(); ++i) {
            auto *chip = new platform::View(root);
            chip->setBackgroundColor(swatches[i].color);
            chip->setCornerRadius(8);
            chip->setBorder(KOVFontColors::b35(), 1);
            const int x = 16 + static_cast<int>(i % columns) * (cell + 4);
            const int y = 44 + static_cast<int>(i / columns) * 62;
            platform::anchor(chip, Attr::Top, title, Attr::Bottom, y - 36);
            platform::anchor(chip, Attr::Leading, root, Attr::Leading, x);
            platform::size(chip, Attr::Width, cell);
            platform::size(chip, Attr::Height, 36);
            auto *name = label(swatches[i].name, KOVFontManager::regular(), 10, KOVFontColors::b60(), root);
            platform::anchor(name, Attr::Top, chip, Attr::Bottom, 2);
            platform::anchor(name, Attr::CenterX, chip, Attr::CenterX);
        }
        auto *fontsTitle = label("Muli, sixteen styles", KOVFontManager::bold(), 22, KOVFontColors::b100(), root);
        platform::anchor(fontsTitle, Attr::Top, title, Attr::Bottom, 8 + 4 * 62);
        platform::anchor(fontsTitle, Attr::Leading, root, Attr::Leading, 16);
        auto *fonts = new platform::StackView(Qt::Vertical, root);
        fonts->setSpacing(2);
        for (const QString &name : KOVFontManager::allNames())
            fonts->addArrangedSubview(label(name + "  AED 1,234.50", name, 17, KOVFontColors::b90(), nullptr));
        platform::anchor(fonts, Attr::Top, fontsTitle, Attr::Bottom, 6);
        platform::anchor(fonts, Attr::Leading, root, Attr::Leading, 16);
        platform::anchor(fonts, Attr::Trailing, root, Attr::Trailing, -16);
    }
};

// Buttons, shimmer, shadow and animation.
class ComponentsGallery : public platform::ViewController {
public:
    KGAnimatedImageView *animation = nullptr;
    platform::View *row = nullptr;

private:
    void viewDidLoad() override
    {
        auto *root = static_cast<platform::View *>(view());
        root->setBackgroundColor(KOVTheme::backgroundColor());
        auto *title = label("Components", KOVFontManager::bold(), 22, KOVFontColors::b100(), root);
        platform::anchor(title, Attr::Top, root, Attr::Top, 8, platform::Guide::SafeArea);
        platform::anchor(title, Attr::Leading, root, Attr::Leading, 16);

        auto *enabled = new KOVButton(root);
        enabled->setTitle("Continue");
        auto *disabled = new KOVButton(root);
        disabled->setTitle("Continue (disabled)");
        disabled->setEnabled(false);
        platform::Constraint above;
        QWidget *previous = title;
        for (KOVButton *button : {enabled, disabled}) {
            platform::anchor(button, Attr::Top, previous, Attr::Bottom, 16);
            platform::anchor(button, Attr::CenterX, root, Attr::CenterX);
            platform::anchor(button, Attr::Width, root, Attr::Width, 0, platform::Guide::Bounds, 0.8);
            platform::size(button, Attr::Height, 56);
            previous = button;
        }

        // A placeholder account row, shimmering.
        row = new platform::View(root);
        row->setBackgroundColor(Qt::white);
        row->setCornerRadius(12);
        platform::anchor(row, Attr::Top, disabled, Attr::Bottom, 24);
        platform::anchor(row, Attr::Leading, root, Attr::Leading, 16);
        platform::anchor(row, Attr::Trailing, root, Attr::Trailing, -16);
        platform::size(row, Attr::Height, 72);
        auto *logo = new platform::View(row);
        logo->setBackgroundColor(KOVTheme::shimmerView());
        logo->setCornerRadius(20);
        logo->setGeometry(16, 16, 40, 40);
        auto *line1 = new platform::View(row);
        line1->setBackgroundColor(KOVTheme::textField());
        line1->setCornerRadius(4);
        line1->setGeometry(72, 20, 180, 12);
        auto *line2 = new platform::View(row);
        line2->setBackgroundColor(KOVTheme::textField());
        line2->setCornerRadius(4);
        line2->setGeometry(72, 42, 110, 10);

        // A card with the look's shadow.
        auto *card = new platform::View(root);
        card->setBackgroundColor(Qt::white);
        card->setCornerRadius(16);
        platform::anchor(card, Attr::Top, row, Attr::Bottom, 32);
        platform::anchor(card, Attr::Leading, root, Attr::Leading, 24);
        platform::anchor(card, Attr::Trailing, root, Attr::Trailing, -24);
        platform::size(card, Attr::Height, 150);
        auto *cardTitle = label("Shadowed card", KOVFontManager::semiBold(), 18, KOVFontColors::b100(), card);
        cardTitle->move(20, 20);
        auto *cardText = label("Radius 24, offset 8, 30% blue-grey", KOVFontManager::regular(), 14, KOVFontColors::b60(), card);
        cardText->move(20, 52);
        card->setObjectName("card");

        animation = new KGAnimatedImageView(QImage(), root);
        animation->setRunLoopMode(platform::RunLoopMode::Common);
        platform::anchor(animation, Attr::Top, card, Attr::Bottom, 32);
        platform::anchor(animation, Attr::CenterX, root, Attr::CenterX);
        platform::size(animation, Attr::Width, 160);
        platform::size(animation, Attr::Height, 160);
        animation->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    }

    void viewDidAppear(bool) override
    {
        startShimmering(row);
        applyKOVShadow(view()->findChild<platform::View *>("card"));
        animation->setAnimatedImage(KGAnimatedImage::animatedImageWithGIFData(AssetsLoader::dataForGIFNamed("successful_transfer")));
    }
};

TEST(GalleryScreenshotTest, ThemeFontsAndComponents)
{
    KOVScreensProvider::install(std::make_shared<KOVUIScreensProvider>());
    KOVFontManager::startLoading();
    auto look = std::make_shared<LookGallery>();
    auto window = test::makeWindow(look);
    ASSERT_TRUE(test::pumpUntil([&] { return look->isVisible(); }));
    EXPECT_FALSE(test::grabPng(window.get(), "gallery-theme-and-fonts").isEmpty());

    auto components = std::make_shared<ComponentsGallery>();
    window->setRootViewController(components);
    ASSERT_TRUE(test::pumpUntil([&] { return components->animation->isAnimating(); }));
    // Let the animation move past its first frames and the shine reach the
    // middle of the row (a third of its 1.5 s sweep) before the picture.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(test::pumpUntil([&] { return components->animation->currentFrameIndex() >= 3 && clock.elapsed() >= 600; }));
    EXPECT_EQ(platform::layersNamed(window->findChild<platform::View *>("card"), "shadowLayer").size(), 1);
    EXPECT_TRUE(platform::isShimmering(components->row));
    EXPECT_FALSE(test::grabPng(window.get(), "gallery-components").isEmpty());
    KOVScreensProvider::install(nullptr);
}

} // namespace
