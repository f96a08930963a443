#include <QFontInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "core/KOVAppManager.h"
#include "core/KOVConstants.h"
#include "core/Kova.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVBeneficiary.h"
#include "core/records/KOVWireBeneficiary.h"
#include "core/store/KOVSubaccount.h"
#include "core/records/KOVWireBeneficiary.h"
#include "platform/ui/Application.h"
#include "sandbox/SandboxData.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "tests/payment_ui/PaymentFlowFixture.h"
#include "ui/look/KOVButton.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/messages/MessageViewController.h"
#include "ui/payment/KOVAccountsHeaderView.h"
#include "ui/payment/KOVAccountsViewController.h"
#include "ui/payment/KOVAutoFlowNavigationController.h"
#include "ui/payment/KOVNumPadDisplayViewController.h"
#include "ui/payment/KOVScreensAutoFlow.h"
#include "ui/payment/KOVTransferLoaderViewController.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;

namespace {

const QJsonValue kNull(QJsonValue::Null);

// The bar's title in the look's regular face at 17 points, in the bar's
// black (no screen of the flow colours it).
void expectLookTitle(platform::ViewController &screen, const QString &text)
{
    platform::NavigationController *navigation = screen.navigationController();
    ASSERT_TRUE(navigation);
    auto *title = qobject_cast<platform::Label *>(navigation->navigationBar()->titleWidget());
    ASSERT_TRUE(title);
    EXPECT_EQ(title->text(), text);
    EXPECT_EQ(title->font(), KOVFontManager::font(KOVFontManager::regular(), 17));
    EXPECT_EQ(QFontInfo(title->font()).family(), "Muli");
    EXPECT_EQ(QFontInfo(title->font()).weight(), QFont::Normal);
    EXPECT_EQ(title->textColor(), QColor(Qt::black));
}

// The host's payment-flow delegate, counting the notices.
class Notices : public KOVAutoFlowDelegate {
public:
    int count = 0;
    double amount = 0;
    QString accountID;
    void autoFlowWillTransferAmount(KOVAutoFlow &, double a, const std::shared_ptr<KOVAccount> &account) override
    {
        ++count;
        amount = a;
        accountID = account ? account->accountID() : QString();
    }
};

} // namespace

class PaymentRoadTest : public PaymentFlowTest {
protected:
    // The picker up and its placeholders refreshed into the three accounts.
    std::shared_ptr<KOVAccountsViewController> pickerShown(const std::shared_ptr<KOVBankConnection> &bank)
    {
        auto flow = coordinator(bank);
        EXPECT_TRUE(flow);
        if (!flow)
            return nullptr;
        EXPECT_TRUE(pumpUntil([&] { return flow->isVisible() && flow->accountsViewController(); }));
        auto picker = flow->accountsViewController();
        EXPECT_TRUE(pumpUntil([&] {
            return picker->tableView() && picker->refreshingUserIDs().isEmpty() && picker->tableView()->numberOfRows(0) == 3;
        }));
        return picker;
    }

};

TEST_F(PaymentRoadTest, PickerPadLoaderAndSuccessForALocalTransfer)
{
    setOptions(true, true);
    QJsonObject issued;
    auto bank = link(&issued);
    ASSERT_TRUE(bank);
    auto outcome = transfer(bank, nullptr, 0);
    auto notices = std::make_shared<Notices>();
    ASSERT_TRUE(bank->autoFlow());
    bank->autoFlow()->setAutoflowDelegate(notices); // after the call returned, as a host would

    auto picker = pickerShown(bank);
    ASSERT_TRUE(picker);
    auto flow = coordinator(bank);
    // Choose the savings account, then Continue.
    picker->tableView()->tapRow({0, 1});
    const QString chosen = picker->subaccountAt({0, 1})->accountId();
    EXPECT_EQ(picker->selectedAccountID(), chosen);
    tap(picker->confirmButton());
    auto pad = padShown(flow);
    ASSERT_TRUE(pad);
    EXPECT_EQ(pad->title(), "Enter amount");
    EXPECT_NE(pad->navigationController(), flow.get()) << "the pad comes in a container of its own";
    expectLookTitle(*pad, "Enter amount");
    EXPECT_FALSE(pad->confirmButton()->isEnabled());

    server->scriptAction("/payment/transfer/autoflow",
                         delayed(QJsonDocument(QJsonObject{{"success", true}, {"operationID", "op-9"}, {"reference", "TRF-77"}}).toJson(),
                                 std::chrono::milliseconds(600)));
    type(pad->amountLabel(), "1,5a0");
    EXPECT_EQ(pad->amountLabel()->text(), "150");
    ASSERT_TRUE(pad->confirmButton()->isEnabled());
    tap(pad->confirmButton());

    // The loader: the opening text with four faint dots, then a tick a second.
    ASSERT_TRUE(pumpUntil([&] { return flow->alert() && flow->alert()->isVisible(); }));
    EXPECT_EQ(notices->count, 1);
    EXPECT_EQ(notices->amount, 150);
    EXPECT_EQ(notices->accountID, chosen);
    EXPECT_EQ(flow->alert()->message(), "Connecting with your bank");
    EXPECT_EQ(flow->alert()->faintDots(), 4);
    advanceSeconds(2);
    EXPECT_EQ(flow->alert()->message(), "Connecting with your bank");
    EXPECT_EQ(flow->alert()->visibleDots(), 1);
    EXPECT_EQ(flow->alert()->faintDots(), 2);
    advanceSeconds(9); // second 11
    EXPECT_EQ(flow->alert()->message(), "Checking the sending account");
    EXPECT_EQ(flow->alert()->visibleDots(), 0);
    advanceSeconds(60); // second 71
    EXPECT_EQ(flow->alert()->message(), flow->alertMessages().last());

    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && resultScreen() && resultScreen()->isVisible(); }));
    EXPECT_FALSE(outcome->error.has_value());
    EXPECT_EQ(outcome->amount, 150);
    EXPECT_EQ(outcome->account->accountID(), chosen);
    EXPECT_EQ(outcome->operationID, "op-9");
    EXPECT_EQ(outcome->reference, "TRF-77");
    EXPECT_FALSE(outcome->resultScreenShown) << "the completion runs before the result screen";
    EXPECT_FALSE(bank->autoFlow()) << "the connection lets go of the flow once it has completed";
    EXPECT_EQ(lastTransferBodyText("/payment/transfer/autoflow"), transferBodyText(chosen, 150, issued));
    auto success = resultScreen();
    EXPECT_EQ(success->titleText(), "Transfer successful");
    EXPECT_TRUE(success->messageText().contains("TRF-77"));
    EXPECT_FALSE(flow->alert()) << "the loader has closed";

    tap(success->button());
    tap(success->button()); // a repeated tap
    const bool closed = pumpUntil([&] { return !flow->presentingViewController() && top() == home; });
    ASSERT_TRUE(closed) << "top: " << (top() ? top()->metaObject()->className() : "none") << " flow presented by "
                        << (flow->presentingViewController() ? "someone" : "nobody");
    pump();
    EXPECT_EQ(dismissedNotices, 1);
    EXPECT_EQ(outcome->calls, 1);
}

TEST_F(PaymentRoadTest, WireTransferWithAnAccountGivenStartsOnThePad)
{
    setOptions(false, false);
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    const auto account = bank->accounts().value(0);
    ASSERT_TRUE(account);
    auto outcome = transfer(bank, account, 0, /*wire*/ true);
    auto flow = coordinator(bank);
    ASSERT_TRUE(flow);
    auto pad = padShown(flow);
    ASSERT_TRUE(pad);
    EXPECT_EQ(flow->viewControllers().front(), pad) << "the pad is the coordinator's first screen";
    expectLookTitle(*pad, "Enter amount");
    EXPECT_FALSE(flow->accountsViewController());
    EXPECT_FALSE(pad->navigationItem().leftBarButtonItems().empty()) << "it carries the cancel button";

    type(pad->amountLabel(), "75");
    tap(pad->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
    EXPECT_FALSE(outcome->error.has_value());
    const QJsonObject body = lastTransferBody("/wire/transfer/autoflow");
    EXPECT_EQ(body.value("senderID"), account->accountID());
    EXPECT_EQ(body.value("amount"), 75);
    EXPECT_EQ(body.value("beneficiary").toObject().value("accountNumber"), "GB29NWBK60161331926819");
    // No result screens asked for: the flow closes without a notice.
    ASSERT_TRUE(pumpUntil([&] { return top() == home; }));
    pump();
    EXPECT_EQ(dismissedNotices, 0);
}

TEST_F(PaymentRoadTest, CancelOnEachScreenIsReportedOnceWithTheFirstAccount)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    const QString firstAccount = bank->accounts().value(0)->accountID();
    auto expectCancel = [&](const std::shared_ptr<TransferOutcome> &outcome, double amount) {
        ASSERT_TRUE(pumpUntil([&] { return outcome->calls > 0 && top() == home; }));
        pump();
        EXPECT_EQ(outcome->calls, 1);
        ASSERT_TRUE(outcome->error.has_value());
        EXPECT_EQ(outcome->error->domain, KOVErrorDomain);
        EXPECT_EQ(outcome->error->code, 1003);
        EXPECT_EQ(outcome->error->localizedDescription(), "You cancelled the account selection.");
        EXPECT_EQ(outcome->error->userInfo.size(), 1);
        EXPECT_EQ(outcome->account ? outcome->account->accountID() : QString(), firstAccount);
        EXPECT_EQ(outcome->amount, amount);
        EXPECT_TRUE(outcome->operationID.isNull());
        EXPECT_TRUE(outcome->reference.isNull());
        EXPECT_FALSE(bank->autoFlow());
    };

    {   // The picker's back button, after choosing another account: still the first one.
        SCOPED_TRACE("picker back");
        auto outcome = transfer(bank, nullptr, 25);
        auto picker = pickerShown(bank);
        ASSERT_TRUE(picker);
        picker->tableView()->tapRow({0, 2});
        auto item = coordinator(bank)->viewControllers().front()->navigationItem().leftBarButtonItems().front();
        item->trigger();
        item->trigger(); // a second click does nothing
        expectCancel(outcome, 25);
    }
    {   // The pad as first screen, closed by the user's swipe.
        SCOPED_TRACE("pad swipe");
        auto outcome = transfer(bank, bank->accounts().value(1), 0);
        auto flow = coordinator(bank);
        ASSERT_TRUE(padShown(flow));
        EXPECT_TRUE(window->userSwipeDown());
        expectCancel(outcome, 0);
    }
    {   // The pad's own container over the picker swipes back to the picker and tells nobody.
        SCOPED_TRACE("pad container");
        auto outcome = transfer(bank, nullptr, 0);
        auto picker = pickerShown(bank);
        ASSERT_TRUE(picker);
        auto flow = coordinator(bank);
        tap(picker->confirmButton());
        auto pad = padShown(flow);
        ASSERT_TRUE(pad);
        EXPECT_TRUE(window->userSwipeDown());
        ASSERT_TRUE(pumpUntil([&] { return window->topPresentedViewController() == flow; }));
        pump();
        EXPECT_EQ(outcome->calls, 0);
        // Continue again opens a fresh pad.
        tap(picker->confirmButton());
        ASSERT_TRUE(padShown(flow));
        ASSERT_TRUE(bank->autoFlow());
        // The host takes the flow away before any transfer: the cancel, once.
        int dismissed = 0;
        bank->autoFlow()->dismissWithCompletion([&] { ++dismissed; });
        expectCancel(outcome, 0);
        EXPECT_EQ(dismissed, 1);
    }
}

TEST_F(PaymentRoadTest, AServerErrorShowsTheErrorScreenAfterTheCompletion)
{
    setOptions(true, true);
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    server->scriptAction("/payment/transfer/autoflow",
                         ScriptedReply::json(QJsonObject{{"success", false}, {"type", "INSUFFICIENT_FUNDS"}, {"msg", "Not enough"}}));
    auto outcome = transfer(bank, bank->accounts().value(0), 0);
    auto flow = coordinator(bank);
    auto pad = padShown(flow);
    ASSERT_TRUE(pad);
    type(pad->amountLabel(), "40");
    tap(pad->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && resultScreen() && resultScreen()->isVisible(); }));
    ASSERT_TRUE(outcome->error.has_value());
    EXPECT_EQ(outcome->error->code, 2005);
    EXPECT_TRUE(outcome->reference.isNull());
    EXPECT_FALSE(outcome->resultScreenShown);
    // The result screen cannot be swiped away; its button closes the flow.
    EXPECT_FALSE(window->userSwipeDown() && top() == home);
    pump();
    ASSERT_TRUE(resultScreen());
    tap(resultScreen()->button());
    ASSERT_TRUE(pumpUntil([&] { return top() == home; }));
    EXPECT_EQ(dismissedNotices, 1);
    EXPECT_EQ(outcome->calls, 1);
}

TEST_F(PaymentRoadTest, AnAccountNoLoginHoldsEndsOnceWithAnError)
{
    setOptions(true, true);
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    auto stranger = KOVAccount::initWithDictionary(QJsonObject{{"id", "ACC-NOBODY"}, {"currency", QJsonObject{{"code", "AED"}}}});
    auto outcome = transfer(bank, stranger, 0);
    auto flow = coordinator(bank);
    auto pad = padShown(flow);
    ASSERT_TRUE(pad);
    server->clearRequests();
    type(pad->amountLabel(), "10");
    tap(pad->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && resultScreen() && resultScreen()->isVisible(); }));
    ASSERT_TRUE(outcome->error.has_value());
    EXPECT_EQ(outcome->error->domain, KOVErrorDomain);
    EXPECT_EQ(outcome->error->code, 1006);
    EXPECT_FALSE(flow->alert()) << "the loader closed";
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::AppServerPath).isEmpty());
    advanceSeconds(30);
    pump();
    EXPECT_EQ(flow->loaderSchedule().secNumber(), 0) << "the loader's clock has stopped";
    EXPECT_EQ(outcome->calls, 1);
}

TEST_F(PaymentRoadTest, ASecondSendSendsNothingMore)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    server->scriptAction("/payment/transfer/autoflow",
                         delayed(QJsonDocument(QJsonObject{{"success", true}, {"reference", "TRF-1"}}).toJson(),
                                 std::chrono::milliseconds(300)));
    auto outcome = transfer(bank, bank->accounts().value(0), 0);
    auto pad = padShown(coordinator(bank));
    ASSERT_TRUE(pad);
    server->clearRequests();
    type(pad->amountLabel(), "12");
    tap(pad->confirmButton());
    tap(pad->confirmButton());
    pad->confirmButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && top() == home; }));
    pump();
    int transfers = 0;
    for (const auto &request : server->requestsForPath(sandbox::SandboxServer::AppServerPath))
        transfers += request.action == "/payment/transfer/autoflow";
    EXPECT_EQ(transfers, 1);
    EXPECT_EQ(outcome->calls, 1);
}

TEST_F(PaymentRoadTest, AGivenAmountGoesStraightFromThePicker)
{
    setOptions(false, false);
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    auto outcome = std::make_shared<TransferOutcome>();
    bank->createTransferFromAccount(nullptr, beneficiary(), 33,
                                    [outcome](auto account, double amount, OptionalError error, QString, QString) {
                                        ++outcome->calls;
                                        outcome->account = account;
                                        outcome->amount = amount;
                                        outcome->error = error;
                                    },
                                    QString());
    auto picker = pickerShown(bank);
    ASSERT_TRUE(picker);
    auto flow = coordinator(bank);
    server->clearRequests();
    tap(picker->confirmButton());
    EXPECT_FALSE(flow->numPadDisplayViewController()) << "an amount given skips the pad";
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && top() == home; }));
    pump();
    EXPECT_FALSE(outcome->error.has_value());
    EXPECT_EQ(outcome->amount, 33);
    EXPECT_EQ(lastTransferBody("/payment/transfer/autoflow").value("amount"), 33);
    EXPECT_EQ(outcome->calls, 1);
}

TEST_F(PaymentRoadTest, AHostDismissalDuringATransferStillReportsTheResultOnceWithoutScreens)
{
    setOptions(true, true);
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    server->scriptAction("/payment/transfer/autoflow",
                         delayed(QJsonDocument(QJsonObject{{"success", true}, {"reference", "TRF-5"}}).toJson(),
                                 std::chrono::milliseconds(300)));
    auto outcome = transfer(bank, bank->accounts().value(0), 0);
    auto flowEntry = bank->autoFlow();
    auto flow = coordinator(bank);
    auto pad = padShown(flow);
    ASSERT_TRUE(pad);
    type(pad->amountLabel(), "20");
    tap(pad->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return flow->alert() && flow->alert()->isVisible(); }));
    int gone = 0;
    flowEntry->dismissWithCompletion([&] { ++gone; });
    flow->backButtonTapped(); // too late for a cancel
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && gone == 1; }));
    pump(20);
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_FALSE(outcome->error.has_value()) << "the transfer's own result, not a cancel";
    EXPECT_EQ(outcome->reference, "TRF-5");
    EXPECT_EQ(top(), home) << "no result screen after the host took the flow away";
    EXPECT_EQ(dismissedNotices, 0);
}

// A host often keeps its bank connection only for the length of the transfer
// and lets go of it inside the completion. The connection holds the flow and
// the flow its screens, so the completion may be dropping the last owner of
// the very code that is calling it: nothing may be touched after that.
TEST_F(PaymentRoadTest, AHostThatLetsGoOfEverythingInsideTheCompletionEndsTheFlowCleanly)
{
    setOptions(false, false);
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "transferred");
        auto bank = linkWithAccounts();
        ASSERT_TRUE(bank);
        const auto account = bank->accounts().value(0);
        ASSERT_TRUE(account);
        auto held = std::make_shared<std::shared_ptr<KOVBankConnection>>(bank);
        int calls = 0;
        std::optional<qint64> code;
        bank->createTransferFromAccount(
            account, beneficiary(), 0,
            [held, &calls, &code](std::shared_ptr<KOVAccount>, double, OptionalError error, QString, QString) {
                ++calls;
                if (error)
                    code = error->code;
                held->reset(); // the host's last reference to the connection goes here
            },
            QStringLiteral("rent"));
        std::weak_ptr<KOVBankConnection> watched = bank;
        std::weak_ptr<KOVAutoFlowNavigationController> flowWatched = coordinator(bank);
        ASSERT_FALSE(flowWatched.expired());
        auto pad = padShown(flowWatched.lock());
        ASSERT_TRUE(pad);
        bank.reset();
        if (cancel) {
            swipeDown(window.get());
        } else {
            type(pad->amountLabel(), "75");
            tap(pad->confirmButton());
        }
        pad.reset();
        ASSERT_TRUE(pumpUntil([&] { return calls == 1 && top() == home; }));
        pump();
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(code, cancel ? std::optional<qint64>(1003) : std::nullopt);
        EXPECT_TRUE(pumpUntil([&] { return watched.expired() && flowWatched.expired(); }))
            << "the connection and the flow go once nothing holds them";
    }
}

// The user closes the amount pad's sheet and, while it is still sliding
// away, clicks its Send: the user has left the pad, so no money may move,
// and certainly not behind a screen that shows no loader.
TEST_F(PaymentRoadTest, SendOnAPadWhoseSheetIsLeavingSendsNothing)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    auto outcome = transfer(bank, nullptr, 0);
    auto picker = pickerShown(bank);
    ASSERT_TRUE(picker);
    auto flow = coordinator(bank);
    tap(picker->confirmButton());
    auto pad = padShown(flow);
    ASSERT_TRUE(pad);
    type(pad->amountLabel(), "10");
    ASSERT_TRUE(pad->confirmButton()->isEnabled());
    server->clearRequests();

    pressWhileSwipingAway(pad->confirmButton());

    ASSERT_TRUE(pumpUntil([&] { return window->topPresentedViewController() == flow; }));
    pump(40);
    EXPECT_TRUE(transferBodies().isEmpty());
    EXPECT_EQ(outcome->calls, 0);
    // Back on the picker nothing is under way: its back button still cancels.
    flow->backButtonTapped();
    EXPECT_TRUE(pumpUntil([&] { return outcome->calls == 1 && top() == home; }));
    if (outcome->calls == 1 && outcome->error) {
        EXPECT_EQ(outcome->error->code, 1003);
    }
}

// The same with the pad as the flow's own first screen: the swipe is the
// user's cancel, and a Send clicked while the flow slides away must not turn
// it into a transfer.
TEST_F(PaymentRoadTest, SendWhileTheSwipedAwayFlowLeavesStaysACancel)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    auto outcome = transfer(bank, bank->accounts().value(0), 0);
    auto flow = coordinator(bank);
    auto pad = padShown(flow);
    ASSERT_TRUE(pad);
    type(pad->amountLabel(), "10");
    ASSERT_TRUE(pad->confirmButton()->isEnabled());
    server->clearRequests();

    pressWhileSwipingAway(pad->confirmButton());

    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && top() == home; }));
    pump(40);
    EXPECT_TRUE(transferBodies().isEmpty());
    EXPECT_EQ(outcome->calls, 1);
    ASSERT_TRUE(outcome->error.has_value()) << "reported as a transfer, not as the user's cancel";
    EXPECT_EQ(outcome->error->code, 1003);
}

// The host's dismissal reaches a flow wherever it stands: a flow the user has
// already closed runs the host's block on a later turn; a flow still waiting
// for another flow to leave ends there as the user's cancel, once, and never
// comes up. An empty block is simply not run.
TEST_F(PaymentRoadTest, AHostDismissalEndsAWaitingFlowAndRunsItsBlockAfterTheUsersCancel)
{
    auto bank = linkWithAccounts();
    auto other = linkWithAccounts();
    ASSERT_TRUE(bank && other);
    {
        SCOPED_TRACE("after the user's cancel");
        auto outcome = transfer(bank, bank->accounts().value(0), 0);
        const auto entry = bank->autoFlow();
        auto flow = coordinator(bank);
        ASSERT_TRUE(padShown(flow));
        flow->backButtonTapped();
        ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && top() == home; }));
        int gone = 0;
        entry->dismissWithCompletion([&] { ++gone; });
        EXPECT_EQ(gone, 0) << "on a later turn, never on the host's stack";
        ASSERT_TRUE(pumpUntil([&] { return gone == 1; }));
        EXPECT_NO_THROW(entry->dismissWithCompletion(nullptr));
        pump(20);
        EXPECT_EQ(gone, 1);
        EXPECT_EQ(outcome->calls, 1);
        EXPECT_EQ(outcome->error ? outcome->error->code : 0, 1003);
    }
    for (const bool emptyBlock : {false, true}) {
        SCOPED_TRACE(emptyBlock ? "waiting, empty block" : "waiting");
        auto first = transfer(bank, bank->accounts().value(0), 0);
        auto firstFlow = coordinator(bank);
        ASSERT_TRUE(padShown(firstFlow));
        auto second = transfer(other, other->accounts().value(0), 0);
        const auto waiting = std::dynamic_pointer_cast<KOVScreensAutoFlow>(other->autoFlow());
        ASSERT_TRUE(waiting);
        pump(10);
        EXPECT_EQ(window->topPresentedViewController(), firstFlow) << "the second flow waits";

        int gone = 0;
        if (emptyBlock)
            EXPECT_NO_THROW(waiting->dismissWithCompletion(nullptr));
        else
            waiting->dismissWithCompletion([&] { ++gone; });
        ASSERT_TRUE(pumpUntil([&] { return second->calls == 1 && (emptyBlock || gone == 1); }));
        ASSERT_TRUE(second->error.has_value());
        EXPECT_EQ(second->error->code, 1003);
        EXPECT_EQ(second->account ? second->account->accountID() : QString(), other->accounts().value(0)->accountID());
        EXPECT_FALSE(other->autoFlow());

        // The first flow leaves; the dismissed one must not follow it up.
        firstFlow->backButtonTapped();
        ASSERT_TRUE(pumpUntil([&] { return first->calls == 1 && top() == home; }));
        pump(40);
        EXPECT_EQ(top(), home);
        const auto never = waiting->autoFlowNavigationController();
        EXPECT_FALSE(never && (never->presentingViewController() || never->isVisible()));
        EXPECT_EQ(second->calls, 1);
        EXPECT_EQ(first->calls, 1);
    }
}

// A host that presents its flow again while it waits, or while it is up,
// still gets one flow and one end: the user's cancel, reported once.
TEST_F(PaymentRoadTest, PresentingAFlowAgainNeitherQueuesNorEndsIt)
{
    auto bank = linkWithAccounts();
    auto other = linkWithAccounts();
    ASSERT_TRUE(bank && other);
    auto first = transfer(bank, bank->accounts().value(0), 0);
    auto firstFlow = coordinator(bank);
    ASSERT_TRUE(padShown(firstFlow));
    auto second = transfer(other, other->accounts().value(0), 0);
    const auto entry = other->autoFlow();
    ASSERT_TRUE(entry);
    entry->present();
    entry->present();
    pump(10);
    firstFlow->backButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return first->calls == 1; }));

    auto secondFlow = coordinator(other);
    ASSERT_TRUE(secondFlow);
    ASSERT_TRUE(padShown(secondFlow));
    entry->present(); // up already
    pump(40);
    EXPECT_EQ(second->calls, 0) << "the flow on screen was ended behind the user's back";
    EXPECT_EQ(window->topPresentedViewController(), secondFlow);
    EXPECT_EQ(coordinator(other), secondFlow);

    secondFlow->backButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return second->calls == 1 && top() == home; }));
    pump(40);
    EXPECT_EQ(second->calls, 1);
    ASSERT_TRUE(second->error.has_value());
    EXPECT_EQ(second->error->code, 1003);
    EXPECT_EQ(top(), home);
}

// A flow that went up at once is not presented a second time by another
// present(): the one on screen stays the user's and goes on to its transfer.
TEST_F(PaymentRoadTest, PresentingAFlowThatIsUpLeavesItAsItIs)
{
    QJsonObject issued;
    auto bank = linkWithAccounts(&issued);
    ASSERT_TRUE(bank);
    auto outcome = transfer(bank, nullptr, 25);
    auto picker = pickerShown(bank);
    ASSERT_TRUE(picker);
    auto flow = coordinator(bank);
    ASSERT_EQ(window->topPresentedViewController(), flow);
    const auto entry = bank->autoFlow();
    ASSERT_TRUE(entry);
    entry->present();
    entry->present();
    pump(40);
    EXPECT_EQ(outcome->calls, 0) << "the flow on screen was ended";
    EXPECT_EQ(coordinator(bank), flow);
    EXPECT_EQ(flow->accountsViewController(), picker);
    EXPECT_EQ(window->topPresentedViewController(), flow) << "something went up over the flow";
    EXPECT_EQ(flow->presentingViewController(), home.get());
    EXPECT_TRUE(picker->isVisible());

    picker->tableView()->tapRow({0, 2});
    tap(picker->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && top() == home; }));
    EXPECT_FALSE(outcome->error.has_value());
    EXPECT_EQ(lastTransferBodyText("/payment/transfer/autoflow"), transferBodyText("ACC-1003", 25, issued));
    EXPECT_EQ(transferBodies().size(), 1);
    pump(20);
    EXPECT_EQ(outcome->calls, 1);
}

// The highlighted row is always the account Continue sends from: a tap on a
// row that cannot be chosen (no balance yet, or its login being refreshed)
// leaves the highlight on the chosen one.
TEST_F(PaymentRoadTest, TheHighlightStaysOnTheAccountContinueWillUse)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    auto outcome = transfer(bank, nullptr, 25);
    auto picker = pickerShown(bank);
    ASSERT_TRUE(picker);
    platform::TableView *table = picker->tableView();
    table->tapRow({0, 1});
    const QString chosen = picker->selectedAccountID();
    ASSERT_EQ(table->indexPathForSelectedRow(), std::optional<platform::IndexPath>(platform::IndexPath{0, 1}));

    // A row whose balance has not come yet.
    const auto stored = picker->subaccountAt({0, 2});
    ASSERT_TRUE(stored);
    stored->setBalance(std::nullopt);
    KOVAppManager::sharedInstance().saveContext();
    pump();
    table->tapRow({0, 2});
    EXPECT_EQ(table->indexPathForSelectedRow(), std::optional<platform::IndexPath>(platform::IndexPath{0, 1}));
    EXPECT_EQ(picker->selectedAccountID(), chosen);

    // A row of a login whose refresh is under way.
    server->scriptAction("/data/accounts/get",
                         delayed(QJsonDocument(QJsonObject{{"accounts", sandbox::SandboxData::accounts()}}).toJson(),
                                 std::chrono::milliseconds(400)));
    tap(picker->headerForSection(0)->refreshButton());
    ASSERT_FALSE(picker->refreshingUserIDs().isEmpty());
    table->tapRow({0, 0});
    EXPECT_EQ(table->indexPathForSelectedRow(), std::optional<platform::IndexPath>(platform::IndexPath{0, 1}));
    EXPECT_FALSE(picker->confirmButton()->isEnabled()) << "no row can be chosen while its login refreshes";
    EXPECT_FALSE(grabPng(window.get(), "payment-picker-refreshing").isEmpty());
    ASSERT_TRUE(pumpUntil([&] { return picker->refreshingUserIDs().isEmpty(); }));
    pump();
    EXPECT_EQ(table->indexPathForSelectedRow(), std::optional<platform::IndexPath>(platform::IndexPath{0, 1}));
    EXPECT_EQ(picker->selectedAccountID(), chosen);
    EXPECT_TRUE(picker->confirmButton()->isEnabled());

    // Continue sends from the highlighted account.
    server->clearRequests();
    tap(picker->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
    EXPECT_EQ(outcome->account ? outcome->account->accountID() : QString(), chosen);
    EXPECT_EQ(lastTransferBody("/payment/transfer/autoflow").value("senderID").toString(), chosen);
}

// The flow's own bar is filled with the navigation colour (its bar tint);
// the tint of its items stays the platform's.
TEST_F(PaymentRoadTest, TheFlowsBarIsFilledWithTheNavigationColour)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    auto outcome = transfer(bank, bank->accounts().value(0), 0);
    auto flow = coordinator(bank);
    ASSERT_TRUE(padShown(flow));
    platform::NavigationBar *bar = flow->navigationBar();
    EXPECT_EQ(bar->barBackgroundColor(), QColor(0xC2, 0xC9, 0xD4));
    EXPECT_EQ(bar->barBackgroundColor(), KOVTheme::navigationViewBackgroundColor());
    EXPECT_NE(bar->tintColor(), KOVTheme::navigationViewBackgroundColor());
    // Translucent, as the platform's bars are: a shade lighter on white.
    const QColor shown = pixelAt(bar, QPoint(bar->width() / 2, bar->height() - 4));
    EXPECT_NEAR(shown.red(), 0xC2, 4);
    EXPECT_NEAR(shown.green(), 0xC9, 4);
    EXPECT_NEAR(shown.blue(), 0xD4, 4);
    flow->backButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
}
