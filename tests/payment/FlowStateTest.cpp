#include <QList>
#include <gtest/gtest.h>
#include <memory>

#include "ui/payment/KOVPaymentAccounts.h"
#include "ui/payment/KOVPaymentFlowState.h"

using namespace kova;
using Phase = KOVPaymentFlowState::Phase;
using HostDismissal = KOVPaymentFlowState::HostDismissal;

TEST(FlowStateTest, CancelIsReportedOnceAndNeverAfterATransferStarted)
{
    KOVPaymentFlowState choosing;
    EXPECT_TRUE(choosing.cancel());
    EXPECT_FALSE(choosing.cancel());
    EXPECT_FALSE(choosing.beginTransfer());
    EXPECT_EQ(choosing.hostDismissed(), HostDismissal::Nothing);

    KOVPaymentFlowState transferring;
    EXPECT_TRUE(transferring.beginTransfer());
    EXPECT_FALSE(transferring.cancel());
    EXPECT_FALSE(transferring.beginTransfer()); // a second Send
    EXPECT_TRUE(transferring.finishTransfer(true));
    EXPECT_FALSE(transferring.finishTransfer(true));
    EXPECT_FALSE(transferring.cancel());
    EXPECT_FALSE(transferring.beginTransfer()); // Send after the result
    EXPECT_TRUE(transferring.closeResult());
    EXPECT_FALSE(transferring.closeResult()); // a repeated tap on the result's button
    EXPECT_EQ(transferring.phase(), Phase::Ended);
}

TEST(FlowStateTest, HostDismissalTable)
{
    // Before a transfer the host's dismissal counts as the user's cancel.
    KOVPaymentFlowState early;
    EXPECT_EQ(early.hostDismissed(), HostDismissal::ReportCancel);
    EXPECT_FALSE(early.cancel());
    EXPECT_EQ(early.hostDismissed(), HostDismissal::Nothing);

    // During one the result is still reported, but no result screen follows.
    KOVPaymentFlowState during;
    ASSERT_TRUE(during.beginTransfer());
    EXPECT_EQ(during.hostDismissed(), HostDismissal::SkipScreens);
    EXPECT_TRUE(during.screensSkipped());
    EXPECT_TRUE(during.finishTransfer(true));
    EXPECT_EQ(during.phase(), Phase::Ended);
    EXPECT_FALSE(during.closeResult());

    // A result without a screen ends the flow at once.
    KOVPaymentFlowState quiet;
    ASSERT_TRUE(quiet.beginTransfer());
    EXPECT_TRUE(quiet.finishTransfer(false));
    EXPECT_EQ(quiet.phase(), Phase::Ended);
    EXPECT_EQ(quiet.hostDismissed(), HostDismissal::Nothing);
}

TEST(FlowStateTest, AStepBetweenScreensRunsOnceAtATime)
{
    KOVPaymentFlowState state;
    EXPECT_TRUE(state.beginStep());
    EXPECT_FALSE(state.beginStep());
    state.endStep();
    EXPECT_TRUE(state.beginStep());
    state.endStep();
    ASSERT_TRUE(state.beginTransfer());
    EXPECT_FALSE(state.beginStep());
}

namespace {

struct FakeAccount {
    QString id;
    const QString &accountID() const { return id; }
};

struct FakeConnection {
    QString name;
    QList<std::shared_ptr<FakeAccount>> list;
    const QList<std::shared_ptr<FakeAccount>> &accounts() const { return list; }
};

std::shared_ptr<FakeConnection> login(const QString &name, const QStringList &ids)
{
    auto connection = std::make_shared<FakeConnection>();
    connection->name = name;
    for (const QString &id : ids)
        connection->list.append(id == "<null>" ? nullptr : std::make_shared<FakeAccount>(FakeAccount{id}));
    return connection;
}

} // namespace

TEST(FlowStateTest, AccountIDsMatchOnlyWhenPresent)
{
    EXPECT_TRUE(KOVPaymentAccounts::sameAccountID("A-1", "A-1"));
    EXPECT_FALSE(KOVPaymentAccounts::sameAccountID("A-1", "a-1"));
    EXPECT_FALSE(KOVPaymentAccounts::sameAccountID(QString(), QString()));
    EXPECT_FALSE(KOVPaymentAccounts::sameAccountID("", ""));
    EXPECT_FALSE(KOVPaymentAccounts::sameAccountID(QString(), ""));
}

TEST(FlowStateTest, OwnerLookupPrefersTheFlowsOwnLoginThenTheListedOrder)
{
    auto own = login("own", {"A-2", "A-3"});
    auto first = login("first", {"A-1", "A-2"});
    auto second = login("second", {"<null>", "", "A-9"});
    const QList<std::shared_ptr<FakeConnection>> listed{first, second};

    EXPECT_EQ(KOVPaymentAccounts::ownerOfAccount<FakeConnection>("A-2", own, listed), own);
    EXPECT_EQ(KOVPaymentAccounts::ownerOfAccount<FakeConnection>("A-1", own, listed), first);
    EXPECT_EQ(KOVPaymentAccounts::ownerOfAccount<FakeConnection>("A-9", own, listed), second);
    EXPECT_EQ(KOVPaymentAccounts::ownerOfAccount<FakeConnection>("A-2", nullptr, listed), first);
    EXPECT_EQ(KOVPaymentAccounts::ownerOfAccount<FakeConnection>("A-404", own, listed), nullptr);
    // An account without an ID belongs to nobody, though a listed login has an empty one.
    EXPECT_EQ(KOVPaymentAccounts::ownerOfAccount<FakeConnection>("", own, listed), nullptr);
    EXPECT_EQ(KOVPaymentAccounts::ownerOfAccount<FakeConnection>(QString(), own, listed), nullptr);
}

TEST(FlowStateTest, BoundsFromTheHostOrTheStoredConfiguration)
{
    struct {
        quint64 host;
        std::optional<qint64> stored;
        quint64 expected;
    } rows[] = {
        {0, std::nullopt, 0},
        {0, 10, 10},
        {7, 10, 7},
        {7, std::nullopt, 7},
        {0, 0, 0},
        {0, -5, 0},
        // Past 32 bits a stored bound keeps its value instead of wrapping.
        {0, 5000000000LL, 5000000000ULL},
        {0, std::numeric_limits<qint64>::max(), quint64(std::numeric_limits<qint64>::max())},
        {std::numeric_limits<quint64>::max(), 10, std::numeric_limits<quint64>::max()},
    };
    for (const auto &row : rows)
        EXPECT_EQ(KOVPaymentAccounts::resolvedBound(row.host, row.stored), row.expected)
            << row.host << " " << row.stored.value_or(-999);
}
