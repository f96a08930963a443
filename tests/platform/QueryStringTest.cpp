#include <QUrl>
#include <gtest/gtest.h>

#include "platform/net/QueryString.h"

using kova::platform::URLQueryItem;
namespace query = kova::platform::query;

namespace {

URLQueryItem item(const char *name, const char *value)
{
    return {QString::fromUtf8(name), value ? QString::fromUtf8(value) : QString()};
}

} // namespace

TEST(QueryStringTest, EncodesEverythingOutsideTheUnreservedSet)
{
    const struct {
        QString text;
        QByteArray encoded;
    } cases[] = {
        {QStringLiteral("AZaz09-._~"), "AZaz09-._~"},
        {QStringLiteral("[\"AE\",\"SA\"]"), "%5B%22AE%22%2C%22SA%22%5D"},
        {QStringLiteral("[]"), "%5B%5D"},
        {QStringLiteral("a b+c&d=e#f"), "a%20b%2Bc%26d%3De%23f"},
        {QStringLiteral("x/y?z:@!$'()*;%"), "x%2Fy%3Fz%3A%40%21%24%27%28%29%2A%3B%25"},
        {QStringLiteral("\u00e9\u20ac"), "%C3%A9%E2%82%AC"},
        {QString(), ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(query::percentEncode(c.text), c.encoded) << c.text.toStdString();
}

TEST(QueryStringTest, DecodesValidEscapesOnlyAndKeepsPlus)
{
    const struct {
        QByteArray encoded;
        QString text;
    } cases[] = {
        {"a+b", QStringLiteral("a+b")},
        {"a%20b%2Bc", QStringLiteral("a b+c")},
        {"%zz%41", QStringLiteral("%zzA")},
        {"100%", QStringLiteral("100%")},
        {"%4", QStringLiteral("%4")},
        {"%%41", QStringLiteral("%A")},
        {"%e2%82%ac", QStringLiteral("\u20ac")},
        {"%C3", QStringLiteral("\ufffd")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(query::percentDecode(c.encoded), c.text) << c.encoded.toStdString();
}

TEST(QueryStringTest, ParsesItemsAtTheFirstEqualsSign)
{
    EXPECT_TRUE(query::parse("").isEmpty());
    EXPECT_EQ(query::parse("a=1&b=x=y&c&d=&msg=Wrong+code%21"),
              (QList<URLQueryItem>{item("a", "1"), item("b", "x=y"), item("c", nullptr), item("d", ""),
                                   item("msg", "Wrong+code!")}));
    // An empty value is there, unlike a missing one.
    const auto items = query::parse("d=&c");
    ASSERT_EQ(items.size(), 2);
    EXPECT_FALSE(items[0].value.isNull());
    EXPECT_TRUE(items[0].value.isEmpty());
    EXPECT_TRUE(items[1].value.isNull());
    EXPECT_EQ(query::parse("a=1&&b=2&"),
              (QList<URLQueryItem>{item("a", "1"), item("", nullptr), item("b", "2"), item("", nullptr)}));
    EXPECT_EQ(query::parse("%61%3D=%26"), (QList<URLQueryItem>{item("a=", "&")}));
}

TEST(QueryStringTest, BuildsItemsThatCannotSpillIntoEachOther)
{
    const QList<URLQueryItem> items{item("bankID", "X&appKey=evil#frag"), item("countries", "[\"AE\"]"),
                                    item("empty", ""), item("bare", nullptr)};
    const QByteArray built = query::build(items);
    EXPECT_EQ(built, "bankID=X%26appKey%3Devil%23frag&countries=%5B%22AE%22%5D&empty=&bare");
    EXPECT_EQ(query::parse(built), items);
    EXPECT_EQ(query::build({}), "");
}

TEST(QueryStringTest, ReadsTheQueryAsItWasWrittenEvenAfterTheUrlClassRepairedIt)
{
    const struct {
        QByteArray written;
        QByteArray read;
    } cases[] = {
        // One invalid escape makes the URL class escape every "%" again.
        {"x=%41%20b&y=%zz&z=%E2%82%AC", "x=%41%20b&y=%zz&z=%E2%82%AC"},
        {"msg=100%", "msg=100%"},
        // Valid texts come back as the URL class keeps them.
        {"x=%2541", "x=%2541"},
        {"a=1&b=a+b", "a=1&b=a+b"},
        {"c=%5B%22AE%22%5D", "c=%5B%22AE%22%5D"},
    };
    for (const auto &c : cases) {
        const QUrl url = QUrl::fromEncoded("http://127.0.0.1:1/v3/connection/success?" + c.written);
        EXPECT_EQ(query::encodedQuery(url), c.read) << c.written.toStdString();
    }
    EXPECT_EQ(query::parse(query::encodedQuery(QUrl::fromEncoded("http://h/s?x=%41%20b&y=%zz"))),
              (QList<URLQueryItem>{item("x", "A b"), item("y", "%zz")}));
    EXPECT_TRUE(query::encodedQuery(QUrl(QStringLiteral("http://h/s"))).isEmpty());
}
