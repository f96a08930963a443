#include <QTimeZone>

#include "core/records/KOVRecordDate.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

struct DateCase {
    const char *text;
    QDateTime expected; // null: no date
};

TEST(KOVRecordDateTest, MillisecondLayoutAcceptsOnlyWholeTextsWithAZone)
{
    const DateCase cases[] = {
        {"2024-03-01T10:20:30.123+0400", utc(2024, 3, 1, 6, 20, 30, 123)},
        {"2024-03-01T10:20:30.123+04:00", utc(2024, 3, 1, 6, 20, 30, 123)},
        {"2024-03-01T10:20:30.123+04", utc(2024, 3, 1, 6, 20, 30, 123)},
        {"2024-03-01T10:20:30.123Z", utc(2024, 3, 1, 10, 20, 30, 123)},
        {"2024-03-01T01:00:00.000-0530", utc(2024, 3, 1, 6, 30, 0)},
        {"2024-12-31T23:59:59.999-0100", utc(2025, 1, 1, 0, 59, 59, 999)},
        {"2024-02-29T12:00:00.000Z", utc(2024, 2, 29, 12, 0, 0)},
        // not this layout
        {"2024-03-01", {}},
        {"2024-03-01T10:20:30Z", {}},
        {"2024-03-01T10:20:30.123", {}},
        {"2024-03-01T10:20:30.12Z", {}},
        {"2024-03-01T10:20:30.1234Z", {}},
        {"2024-03-01 10:20:30.123Z", {}},
        {"2024-03-01t10:20:30.123Z", {}},
        {"2024-03-01T10:20:30.123z", {}},
        {"24-03-01T10:20:30.123Z", {}},
        {"2024-3-1T10:20:30.123Z", {}},
        // trailing or leading text is not consumed
        {"2024-03-01T10:20:30.123Z ", {}},
        {" 2024-03-01T10:20:30.123Z", {}},
        {"2024-03-01T10:20:30.123Zjunk", {}},
        {"2024-03-01T10:20:30.123+04:00:00", {}},
        // not on the Gregorian calendar or the clock
        {"2023-02-29T12:00:00.000Z", {}},
        {"2024-13-01T12:00:00.000Z", {}},
        {"2024-04-31T12:00:00.000Z", {}},
        {"2024-03-01T24:00:00.000Z", {}},
        {"2024-03-01T23:60:00.000Z", {}},
        {"2024-03-01T23:59:60.000Z", {}},
        {"0000-01-01T00:00:00.000Z", {}},
        {"2024-03-01T10:20:30.123+2400", {}},
        {"2024-03-01T10:20:30.123+0460", {}},
        // digits of other scripts
        {"\xd9\xa2\xd9\xa0\xd9\xa2\xd9\xa4-03-01T10:20:30.123Z", {}},
        {"2024-03-01T10:20:30.\xef\xbc\x91\xef\xbc\x92\xef\xbc\x93Z", {}},
        {"", {}},
    };
    for (const DateCase &c : cases) {
        SCOPED_TRACE(c.text);
        const QDateTime parsed = parseRecordDate(QString::fromUtf8(c.text), KOVRecordDateFormat::WithMilliseconds);
        if (c.expected.isNull()) {
            EXPECT_TRUE(parsed.isNull()) << parsed.toString(Qt::ISODateWithMs).toStdString();
        } else {
            EXPECT_EQ(parsed, c.expected);
            EXPECT_EQ(parsed.timeSpec(), Qt::UTC);
        }
    }
}

TEST(KOVRecordDateTest, SecondLayoutRejectsMilliseconds)
{
    const DateCase cases[] = {
        {"2025-09-30T00:00:00+0400", utc(2025, 9, 29, 20, 0, 0)},
        {"2025-09-30T00:00:00Z", utc(2025, 9, 30, 0, 0, 0)},
        {"2025-09-30T00:00:00-03:30", utc(2025, 9, 30, 3, 30, 0)},
        {"2025-09-30T00:00:00.000+0400", {}},
        {"2025-09-30T00:00:00", {}},
        {"2025-09-30", {}},
        {"30/09/2025", {}},
    };
    for (const DateCase &c : cases) {
        SCOPED_TRACE(c.text);
        const QDateTime parsed = parseRecordDate(QString::fromUtf8(c.text), KOVRecordDateFormat::WithSeconds);
        if (c.expected.isNull())
            EXPECT_TRUE(parsed.isNull()) << parsed.toString(Qt::ISODateWithMs).toStdString();
        else
            EXPECT_EQ(parsed, c.expected);
    }
}

TEST(KOVRecordDateTest, NullTextGivesNoDate)
{
    EXPECT_TRUE(parseRecordDate(QString(), KOVRecordDateFormat::WithSeconds).isNull());
    EXPECT_TRUE(parseRecordDate(QString(), KOVRecordDateFormat::WithMilliseconds).isNull());
}

} // namespace
} // namespace kova
