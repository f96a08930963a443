#include "core/records/KOVColorHex.h"
#include "core/records/KOVFinancialInstitutionColor.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::jsonObject;
using test::jsonValue;

const QColor kFallback(0x71, 0x9C, 0xDD);

struct HexCase {
    const char *text; // nullptr: a null text
    QColor expected;
};

TEST(KOVColorHexTest, ReadsSixHexDigitsInEveryAcceptedForm)
{
    const QColor red(0xFE, 0x5E, 0x5E);
    const HexCase cases[] = {
        {"fe5e5e", red},
        {"#FE5E5E", red},
        {"0Xfe5e5e", red},
        {"0xfe5e5e", red},
        {"  FE5E5E \n", red},
        {"#FE#5E5E", red},
        {"##fe5e5e", red},
        {"#000000", QColor(0, 0, 0)},
        {"FFFFFF", QColor(255, 255, 255)},
        {"1Z2Y3X", QColor(1, 2, 3)},
        {"FE5E5", kFallback},
        {"0X1234", kFallback},
        {"#12345678", kFallback},
        {"1234567", kFallback},
        {"", kFallback},
        {"   ", kFallback},
        {nullptr, kFallback},
        {"ZZ0000", kFallback},
        {"00ZZ00", kFallback},
        {"GGGGGG", kFallback},
        {"0X0XFE5E5E", kFallback},
        {"\xef\xbc\x91\xef\xbc\x92\xef\xbc\x93\xef\xbc\x94\xef\xbc\x95\xef\xbc\x96", kFallback},
    };
    for (const HexCase &c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        const QColor color = colorWithHexString(c.text ? QString::fromUtf8(c.text) : QString());
        EXPECT_EQ(color, c.expected) << color.name().toStdString();
        EXPECT_TRUE(color.isValid());
        EXPECT_EQ(color.alphaF(), 1.0);
    }
}

TEST(KOVColorHexTest, FallbackIsTheColourOfItsOwnText)
{
    EXPECT_EQ(colorWithHexString(QStringLiteral("#719CDD")), kFallback);
    EXPECT_EQ(colorWithHexString(QStringLiteral("nonsense")), colorWithHexString(QStringLiteral("#719CDD")));
}

TEST(KOVFinancialInstitutionColorTest, ReadsBothColoursAndKeepsTheirTexts)
{
    const KOVFinancialInstitutionColor colors = KOVFinancialInstitutionColor::initWithDictionary(
        jsonObject(R"({"primaryColor": "#FF0000", "secondaryColor": "00ff00"})"));
    EXPECT_EQ(colors.primaryColor(), QColor(255, 0, 0));
    EXPECT_EQ(colors.secondaryColor(), QColor(0, 255, 0));
    EXPECT_EQ(colors.hexPrimaryColor(), QStringLiteral("#FF0000"));
    EXPECT_EQ(colors.hexSecondaryColor(), QStringLiteral("00ff00"));
}

TEST(KOVFinancialInstitutionColorTest, UnreadableOrMissingColoursFallBack)
{
    for (const char *text : {"{}", R"({"primaryColor": null, "secondaryColor": "blue"})",
                             R"({"primaryColor": 16711680, "secondaryColor": ["#FF0000"]})"}) {
        SCOPED_TRACE(text);
        const KOVFinancialInstitutionColor colors = KOVFinancialInstitutionColor::initWithDictionary(jsonObject(text));
        EXPECT_EQ(colors.primaryColor(), kFallback);
        EXPECT_EQ(colors.secondaryColor(), kFallback);
        EXPECT_TRUE(colors.hexPrimaryColor().isNull());
    }
    const KOVFinancialInstitutionColor fromText = KOVFinancialInstitutionColor::initWithDictionary(jsonValue(R"("#FF0000")"));
    EXPECT_EQ(fromText.primaryColor(), kFallback);
}

TEST(KOVFinancialInstitutionColorTest, PlainObjectHasNoColoursUntilSet)
{
    KOVFinancialInstitutionColor colors;
    EXPECT_FALSE(colors.primaryColor().isValid());
    colors.setPrimaryColor(colorWithHexString(QStringLiteral("#102030")));
    colors.setSecondaryColor(colorWithHexString(QString()));
    EXPECT_EQ(colors.primaryColor(), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(colors.secondaryColor(), kFallback);
    EXPECT_TRUE(colors.hexPrimaryColor().isNull());
}

} // namespace
} // namespace kova
