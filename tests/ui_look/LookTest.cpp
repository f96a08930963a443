#include <QFontInfo>
#include <QJsonArray>
#include <gtest/gtest.h>

#include "core/internal/KOVFontRegistration.h"
#include "core/internal/KOVProcessState.h"
#include "core/KOVScreensProvider.h"
#include "core/Localizer.h"
#include "platform/ui/FontRegistry.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewHelpers.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/support/UiHarness.h"
#include "ui/KovaUI.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVButton.h"
#include "ui/look/KOVFontColors.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVFormatter.h"
#include "ui/look/KOVLabel.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/UIColorImage.h"
#include "ui/look/ViewStyling.h"

using namespace kova;

namespace {

class AccountRowCell : public platform::TableViewCell {
    Q_OBJECT
};

QColor rgbF(float r, float g, float b)
{
    return QColor::fromRgbF(r, g, b);
}

TEST(ThemeTest, TableColoursAndTheGreyScale)
{
    EXPECT_EQ(KOVTheme::limitLabel(), QColor(0xFE, 0x5E, 0x5E));
    EXPECT_EQ(KOVTheme::amountLabel(), QColor(Qt::black));
    EXPECT_EQ(KOVTheme::currencyLabel(), rgbF(0.817f, 0.835f, 0.88f));
    EXPECT_EQ(KOVTheme::loaderDotsColor(), QColor(0xF0, 0xF0, 0xF2));
    EXPECT_EQ(KOVTheme::errorBorderViewbackgroundColor(), QColor(0xED, 0xF0, 0xF5));
    EXPECT_EQ(KOVTheme::errorViewbackgroundColor(), QColor(Qt::white));
    EXPECT_EQ(KOVTheme::navigationViewBackgroundColor(), QColor(0xC2, 0xC9, 0xD4));
    EXPECT_EQ(KOVTheme::backgroundColor(), QColor(0xF4, 0xF6, 0xFB));
    EXPECT_EQ(KOVTheme::darkBackgroundColor(), QColor(0x49, 0x49, 0x4B));
    EXPECT_EQ(KOVTheme::textField(), KOVTheme::errorBorderViewbackgroundColor());
    EXPECT_EQ(KOVTheme::shimmerView(), QColor(0xE4, 0xE7, 0xEC));
    EXPECT_EQ(KOVTheme::subaccountsBackground().alpha(), 0);
    EXPECT_EQ(KOVFontColors::b100(), rgbF(0.106f, 0.115f, 0.133f));
    EXPECT_EQ(KOVFontColors::b60(), rgbF(0.447f, 0.474f, 0.524f));
    EXPECT_EQ(KOVFontColors::b35(), rgbF(0.595f, 0.628f, 0.676f));
    EXPECT_EQ(KOVFontColors::b0(), QColor(Qt::white));
}

TEST(ColorImageTest, OnePointFilledWithExactlyTheColour)
{
    const QColor color(0x12, 0x34, 0x56);
    const QImage image = imageWithColor(color);
    EXPECT_EQ(QSizeF(image.size()) / image.devicePixelRatio(), QSizeF(1, 1));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            EXPECT_EQ(image.pixelColor(x, y), color);
    QColor half = color;
    half.setAlphaF(0.4f);
    EXPECT_EQ(imageWithColor(half).pixelColor(0, 0).alpha(), 102);
}

class ActiveColorTest : public test::SdkTest {};

TEST_F(ActiveColorTest, FallbackBeforeAConfigurationAndTheStoredSchemeAfter)
{
    const QColor fallback(0x71, 0x9C, 0xDD);
    EXPECT_EQ(KOVTheme::activeColor(), fallback); // before the start
    server->setAppConfig({{"countries", QJsonArray{"AE"}},
                          {"serverURL", server->appServerUrl().toString()},
                          {"colorScheme", "#FF0000"}});
    ASSERT_TRUE(startDefault());
    EXPECT_EQ(KOVTheme::activeColor(), QColor(255, 0, 0));
    // A button reads the accent once, when made.
    KOVButton button;
    button.resize(100, 40);
    EXPECT_EQ(button.backgroundImageForState(platform::Button::State::Normal).pixelColor(0, 0), QColor(255, 0, 0));
}

TEST(FontManagerTest, SixteenNamesRegisteredOnceAndResolvedByName)
{
    const QStringList names = KOVFontManager::allNames();
    ASSERT_EQ(names.size(), 16);
    EXPECT_EQ(names.first(), "Muli-Black");
    EXPECT_EQ(names.last(), "Muli-SemiBoldItalic");
    // Through the screens provider, as the app-wide state starts it.
    KOVScreensProvider::install(std::make_shared<KOVUIScreensProvider>());
    internal::KOVProcessState::resetFontRegistration();
    startFontRegistration();
    for (const QString &name : names) {
        EXPECT_TRUE(platform::FontRegistry::isRegistered(name)) << name.toStdString();
        EXPECT_EQ(platform::FontRegistry::familyForName(name), "Muli");
    }
    // A second start registers nothing and logs nothing.
    test::LogCapture log;
    KOVFontManager::startLoading();
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(platform::FontRegistry::registeredNames().filter("Muli-").size(), 16);
    const QFont semiBold = KOVFontManager::font(KOVFontManager::semiBold(), 16);
    EXPECT_EQ(QFontInfo(semiBold).family(), "Muli");
    EXPECT_EQ(semiBold.weight(), QFont::DemiBold);
    EXPECT_FALSE(semiBold.italic());
    EXPECT_EQ(semiBold.pixelSize(), 16);
    const QFont boldItalic = KOVFontManager::font(KOVFontManager::boldItalic(), 12.0);
    EXPECT_EQ(boldItalic.weight(), QFont::Bold);
    EXPECT_TRUE(boldItalic.italic());
    // The glyphs differ by weight: the registered files are really used.
    const QFont light = KOVFontManager::font(KOVFontManager::extraLight(), 16);
    EXPECT_NE(QFontMetrics(light).horizontalAdvance("Wallet 1234"), QFontMetrics(KOVFontManager::font(KOVFontManager::black(), 16)).horizontalAdvance("Wallet 1234"));
    KOVScreensProvider::install(nullptr);
}

TEST(ButtonLookTest, AccentBackgroundFadedWhenDisabledRoundedAndTallAsItsTitleIsWide)
{
    auto root = std::make_shared<platform::ViewController>();
    auto window = test::makeWindow(root);
    auto *button = new KOVButton(root->view());
    button->setTitle("Continue");
    button->setGeometry(20, 100, 300, 56);
    button->show();
    const QColor accent(0x71, 0x9C, 0xDD); // no configuration stored
    EXPECT_EQ(test::pixelAt(window.get(), QPoint(170, 104)), accent);
    EXPECT_EQ(button->titleColorForState(platform::Button::State::Normal), QColor(Qt::white));
    EXPECT_EQ(button->cornerRadius(), 16);
    // Outside the rounded corner: the white screen.
    EXPECT_EQ(test::pixelAt(window.get(), QPoint(20, 100)), QColor(Qt::white));
    button->setEnabled(false);
    // 40% of the accent over white.
    const QColor faded = test::pixelAt(window.get(), QPoint(170, 104));
    EXPECT_NEAR(faded.red(), qRound(0x71 * 0.4 + 255 * 0.6), 2);
    EXPECT_NEAR(faded.blue(), qRound(0xDD * 0.4 + 255 * 0.6), 2);
    const QSize size = button->intrinsicContentSize();
    EXPECT_EQ(size.width(), 64);
    EXPECT_EQ(size.height(), QFontMetrics(button->font()).horizontalAdvance("Continue"));
}

TEST(LabelLookTest, StandsOneAndAHalfTimesItsText)
{
    KOVLabel tall;
    platform::Label plain;
    tall.setText("Warning");
    plain.setText("Warning");
    EXPECT_EQ(tall.intrinsicContentSize().width(), plain.intrinsicContentSize().width());
    EXPECT_EQ(tall.intrinsicContentSize().height(), qRound(plain.intrinsicContentSize().height() * 1.5));
    EXPECT_EQ(tall.sizeHint(), tall.intrinsicContentSize());
}

TEST(StylingTest, ShadowsStackAndGoTogetherShimmerUsesItsKey)
{
    auto root = std::make_shared<platform::ViewController>();
    auto window = test::makeWindow(root);
    auto *card = new platform::View(root->view());
    card->setGeometry(40, 200, 300, 120);
    card->show();
    applyKOVShadow(card);
    applyKOVShadow(card);
    EXPECT_EQ(platform::layersNamed(card, "shadowLayer").size(), 2);
    const auto style = platform::layersNamed(card, "shadowLayer").first()->style();
    EXPECT_EQ(style.radius, 24);
    EXPECT_EQ(style.offset, QPointF(0, 8));
    EXPECT_EQ(style.cornerRadius, 16);
    removeShadowLayer(card);
    EXPECT_TRUE(platform::layersNamed(card, "shadowLayer").isEmpty());

    startShimmering(card);
    EXPECT_TRUE(platform::isShimmering(card));
    EXPECT_EQ(platform::shimmerAnimationKey(card), "shimmer");
    stopShimmering(card);
    EXPECT_FALSE(platform::isShimmering(card));
}

TEST(HelpersTest, BlankTextListTextAndReuseIdentifiers)
{
    EXPECT_TRUE(isStringEmpty(QString()));
    EXPECT_TRUE(isStringEmpty(""));
    EXPECT_TRUE(isStringEmpty("  \n\t "));
    EXPECT_FALSE(isStringEmpty(" x "));
    EXPECT_EQ(stringRepresentation({}), "[]");
    EXPECT_EQ(stringRepresentation({"X"}), "[\"X\"]");
    EXPECT_EQ(stringRepresentation({"AE", "SA"}), "[\"AE\",\"SA\"]");
    EXPECT_EQ(stringRepresentation({"A\"B"}), "[\"A\"B\"]"); // not escaped
    EXPECT_EQ(reuseIdentifier<AccountRowCell>(), "AccountRowCell");
    EXPECT_EQ(reuseIdentifier<platform::TableViewCell>(), "TableViewCell");
}

TEST(FormatterTest, CurrencyGroupsWithCommasAndDatesUseTheShortForm)
{
    KOVFormatter formatter;
    EXPECT_EQ(formatter.currencyFormatter().format(1234567.891), "1,234,567.89");
    EXPECT_EQ(formatter.currencyFormatter().format(1000.5), "1,000.50");
    EXPECT_EQ(formatter.currencyFormatter().format(999.0), "999.00");
    EXPECT_EQ(formatter.currencyFormatter().format(-1234.0), "-1,234.00");
    formatter.currencyFormatter().setCurrencyCode("AED");
    EXPECT_EQ(formatter.currencyFormatter().format(qint64(2500)), "AED 2,500.00");
    formatter.dateFormatter().setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    const QDateTime date = QDateTime(QDate(2026, 3, 5), QTime(14, 7), Qt::LocalTime);
    EXPECT_EQ(formatter.dateFormatter().format(date), "Mar 5, 2:07 PM");
}

// The currency style comes after the two fraction digits: every code shows
// its currency's own fraction, in full.
TEST(FormatterTest, MoneyShowsTheFractionDigitsOfItsCurrency)
{
    const struct {
        const char *code;
        double value;
        const char *text;
    } rows[] = {
        {"USD", 3100.2, "USD 3,100.20"},
        {"AED", 82000, "AED 82,000.00"},
        {"EUR", 0.5, "EUR 0.50"},
        {"KWD", 1250.5, "KWD 1,250.500"},
        {"BHD", 12.3456, "BHD 12.346"},
        {"OMR", 7, "OMR 7.000"},
        {"JPY", 15000.4, "JPY 15,000"},
        {"JPY", 2.5, "JPY 2"},
    };
    KOVFormatter formatter;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.code);
        formatter.currencyFormatter().setCurrencyCode(row.code);
        EXPECT_EQ(formatter.currencyFormatter().format(row.value), row.text);
    }
    // A screen may still narrow the fraction after choosing its currency.
    formatter.currencyFormatter().setCurrencyCode("USD");
    formatter.currencyFormatter().setMinimumFractionDigits(0);
    formatter.currencyFormatter().setMaximumFractionDigits(0);
    EXPECT_EQ(formatter.currencyFormatter().format(3100.2), "USD 3,100");
}

TEST(AssetsTest, ImagesAtTheirScaleGifDataAndMissingNames)
{
    const QImage lock = AssetsLoader::imageNamed("Lock");
    ASSERT_FALSE(lock.isNull());
    EXPECT_GT(lock.width(), 0);
    EXPECT_TRUE(AssetsLoader::imageNamed("NoSuchImage").isNull());
    const QByteArray gif = AssetsLoader::dataForGIFNamed("connectAnimation");
    EXPECT_TRUE(gif.startsWith("GIF8"));
    EXPECT_TRUE(AssetsLoader::dataForGIFNamed("NoSuchAnimation").isNull());
    EXPECT_TRUE(AssetsLoader::dataForGIFNamed("Lock").isNull()); // a png, not a gif
    EXPECT_EQ(Localizer::getLocalizedStringByKey("no.such.key.anywhere"), "no.such.key.anywhere");
}

} // namespace

#include "LookTest.moc"
