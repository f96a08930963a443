#include <gtest/gtest.h>
#include <cmath>
#include <limits>

#include "ui/payment/KOVAmountEntry.h"
#include "ui/payment/KOVTransferLoaderSchedule.h"

using namespace kova;
using Limit = KOVAmountEntry::Limit;

namespace {

struct Row {
    const char *text;
    quint64 minimum;
    quint64 maximum;
    const char *field;
    bool send;
    Limit limit;
    quint64 bound;
};

} // namespace

TEST(AmountEntryTest, UpdateRuleTable)
{
    const Row rows[] = {
        // No bounds: the display caps at a million and Send follows the amount.
        {"1234567", 0, 0, "1,000,000", true, Limit::None, 0},
        {"0", 0, 0, "0", false, Limit::None, 0},
        {"", 0, 0, "", false, Limit::None, 0},
        {"1,2,3", 0, 0, "123", true, Limit::None, 0},
        {"0007", 0, 0, "7", true, Limit::None, 0},
        // Upper bound below the cap: an amount above it stays as typed.
        {"600", 0, 500, "600", false, Limit::Maximum, 500},
        {"500", 0, 500, "500", true, Limit::None, 0},
        // Upper bound above the cap: shown as typed up to the bound, then capped.
        {"2000000", 0, 5000000, "2,000,000", true, Limit::None, 0},
        {"6000000", 0, 5000000, "1,000,000", false, Limit::Maximum, 5000000},
        // Lower bound, also for an empty field, and tested before the upper one.
        {"", 10, 0, "", false, Limit::Minimum, 10},
        {"5", 10, 0, "5", false, Limit::Minimum, 10},
        {"10", 10, 0, "10", true, Limit::None, 0},
        {"5", 10, 3, "5", false, Limit::Minimum, 10},
        // An amount past 32 bits is compared whole, never wrapped.
        {"4,294,967,297", 0, 5000000, "1,000,000", false, Limit::Maximum, 5000000},
        {"4294967306", 10, 0, "1,000,000", true, Limit::None, 0},
        // What Send would submit (the capped display) must keep inside the bounds too.
        {"3000000", 2000000, 0, "1,000,000", false, Limit::Minimum, 2000000},
        // Beyond what a double holds exactly: never sendable.
        {"9007199254740992", 0, 0, "1,000,000", true, Limit::None, 0},
        {"9007199254740993", 0, 0, "1,000,000", false, Limit::None, 0},
        {"99999999999999999999999999", 0, 0, "1,000,000", false, Limit::None, 0},
        {"99999999999999999999999999", 0, std::numeric_limits<quint64>::max(),
         "18,446,744,073,709,551,615", false, Limit::None, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.text << " min " << row.minimum << " max " << row.maximum);
        const KOVAmountEntry::State state = KOVAmountEntry::evaluate(QString::fromLatin1(row.text), row.minimum, row.maximum);
        EXPECT_EQ(state.fieldText.toStdString(), row.field);
        EXPECT_EQ(state.sendEnabled, row.send);
        EXPECT_EQ(state.limit, row.limit);
        if (row.limit != Limit::None) {
            EXPECT_EQ(state.limitAmount, row.bound);
        }
    }
}

TEST(AmountEntryTest, RewrittenFieldIsStableUnderASecondEvaluation)
{
    // The pad reacts to the user's edits only; feeding its own rewrite back in
    // must not change anything either.
    for (const char *typed : {"1234567", "600", "12,34", "0"}) {
        const auto first = KOVAmountEntry::evaluate(QString::fromLatin1(typed), 0, 500);
        const auto second = KOVAmountEntry::evaluate(first.fieldText, 0, 500);
        EXPECT_EQ(second.fieldText, first.fieldText) << typed;
    }
}

TEST(AmountEntryTest, FilteringAndParsing)
{
    // Digits of any script come out as ASCII, commas stay, signs and letters
    // go, and a decimal point ends the amount: its cents never become more
    // digits of it.
    EXPECT_EQ(KOVAmountEntry::filtered(QString::fromUtf8("\xEF\xBC\x91" "2a-3,4 \xD9\xA3")), "123,43");
    EXPECT_EQ(KOVAmountEntry::filtered("1e5"), "15");
    EXPECT_EQ(KOVAmountEntry::filtered("1,250.00"), "1,250");
    EXPECT_EQ(KOVAmountEntry::filtered("12."), "12");
    EXPECT_EQ(KOVAmountEntry::filtered(".75"), "");
    EXPECT_EQ(KOVAmountEntry::filtered(QString::fromUtf8("\xD9\xA4\xD9\xA0\xD9\xAB\xD9\xA5")), "40"); // 40.5 in Arabic-Indic

    EXPECT_FALSE(KOVAmountEntry::parse(""));
    EXPECT_FALSE(KOVAmountEntry::parse(",,"));
    EXPECT_FALSE(KOVAmountEntry::parse("12a"));
    EXPECT_FALSE(KOVAmountEntry::parse("-5"));
    EXPECT_FALSE(KOVAmountEntry::parse("1.5"));
    EXPECT_EQ(KOVAmountEntry::parse("1,000,000"), 1000000u);
    EXPECT_EQ(KOVAmountEntry::parse("18446744073709551615"), std::numeric_limits<quint64>::max());
    EXPECT_EQ(KOVAmountEntry::parse("18446744073709551616"), std::numeric_limits<quint64>::max());
    EXPECT_EQ(KOVAmountEntry::parse("184467440737095516150"), std::numeric_limits<quint64>::max());

    EXPECT_EQ(KOVAmountEntry::grouped(0), "0");
    EXPECT_EQ(KOVAmountEntry::grouped(999), "999");
    EXPECT_EQ(KOVAmountEntry::grouped(1000), "1,000");
    EXPECT_EQ(KOVAmountEntry::grouped(123456), "123,456");
    EXPECT_EQ(KOVAmountEntry::grouped(1234567), "1,234,567");
}

TEST(AmountEntryTest, SubmittedValuesBecomeWholeAmountsOrNothing)
{
    EXPECT_EQ(KOVAmountEntry::wholeAmount(150.9), 150.0);
    EXPECT_EQ(KOVAmountEntry::wholeAmount(1), 1.0);
    EXPECT_EQ(KOVAmountEntry::wholeAmount(9007199254740992.0), 9007199254740992.0);
    for (double bad : {0.0, 0.9, -1.0, -150.9, std::nan(""), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity(), 9223372036854775808.0, 1e300, 9007199254740994.0}) {
        EXPECT_FALSE(KOVAmountEntry::wholeAmount(bad)) << bad;
    }
}

TEST(TransferLoaderScheduleTest, MessagesAdvanceEveryTenTicksAndTheLastStays)
{
    KOVTransferLoaderSchedule schedule;
    const int firstDots[] = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1};
    for (int tick = 1; tick <= 10; ++tick) {
        const auto step = schedule.tick();
        EXPECT_EQ(step.messageIndex, 0) << tick;
        EXPECT_EQ(step.visibleDots, firstDots[tick - 1]) << tick;
    }
    for (int message = 1; message <= 6; ++message) {
        for (int i = 0; i < 10; ++i) {
            const auto step = schedule.tick();
            EXPECT_EQ(step.messageIndex, message) << "tick " << 10 * message + i + 1;
            EXPECT_EQ(step.visibleDots, i % 4);
        }
    }
    // From the seventh message on it stays, its dots starting over every ten ticks.
    for (int tick = 71; tick <= 200; ++tick) {
        const auto step = schedule.tick();
        EXPECT_EQ(step.messageIndex, 6) << tick;
        EXPECT_EQ(step.visibleDots, (tick - 71) % 10 % 4) << tick;
    }
    schedule.reset();
    EXPECT_EQ(schedule.secNumber(), 0);
    EXPECT_EQ(schedule.lastMessageIndex(), 0);
    EXPECT_EQ(schedule.tick().messageIndex, 0);
}
