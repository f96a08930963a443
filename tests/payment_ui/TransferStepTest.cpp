#include <QJsonArray>
#include <QJsonDocument>

#include "core/KOVConstants.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVAccount.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/TextField.h"
#include "ui/look/KOVButton.h"
#include "platform/ui/NavigationController.h"
#include "tests/payment_ui/PaymentFlowFixture.h"
#include "ui/messages/MessageViewController.h"
#include "ui/mfa/MFANavigationController.h"
#include "ui/mfa/ButtonTableFooterView.h"
#include "ui/mfa/MFAViewController.h"
#include "ui/payment/KOVAutoFlowNavigationController.h"
#include "ui/payment/KOVNumPadDisplayViewController.h"
#include "ui/payment/KOVTransferLoaderViewController.h"

using namespace kova;
using namespace kova::test;

namespace {

const QJsonArray kOtpRound{QJsonObject{{"id", "otp"}, {"query", "Enter the code sent to your phone"}, {"index", 0}}};


} // namespace

class TransferStepTest : public PaymentFlowTest {};

// The bank asks for a code while the loader is up: the prompt goes over the
// loader, an answer resends the transfer once with the answers and it ends on
// the success screen; a cancel ends it once as the user's cancel, on the
// error screen; a host that takes the flow away meanwhile still hears the
// end once, and the login's lane is free again.
TEST_F(TransferStepTest, APromptDuringTheTransferGoesOverTheLoaderAndEndsItOnce)
{
    enum class End { Answered, Cancelled, HostDismissed };
    setOptions(true, true);
    for (const End end : {End::Answered, End::Cancelled, End::HostDismissed}) {
        SCOPED_TRACE(end == End::Answered ? "answered" : end == End::Cancelled ? "cancelled" : "host dismissal");
        auto bank = linkWithAccounts();
        ASSERT_TRUE(bank);
        const auto account = bank->accounts().value(0);
        ASSERT_TRUE(account);
        server->scriptMfa("/payment/transfer/autoflow", {kOtpRound}, QJsonObject{{"otp", "123456"}});
        auto outcome = transfer(bank, account, 0);
        auto flow = coordinator(bank);
        auto pad = padShown(flow);
        ASSERT_TRUE(pad);
        server->clearRequests();
        type(pad->amountLabel(), "40");
        tap(pad->confirmButton());

        std::shared_ptr<MFANavigationController> sheet;
        ASSERT_TRUE(pumpUntil([&] {
            sheet = std::dynamic_pointer_cast<MFANavigationController>(window->topPresentedViewController());
            return sheet && sheet->mfaViewController()->isVisible() && !sheet->isBeingPresented();
        }));
        ASSERT_TRUE(flow->alert());
        EXPECT_EQ(sheet->presentingViewController(), flow->alert().get()) << "the prompt goes over the loader";
        EXPECT_EQ(outcome->calls, 0);
        advanceSeconds(12); // the loader keeps counting behind the prompt
        EXPECT_EQ(flow->alert()->message(), flow->alertMessages().value(1));

        const int noticesBefore = dismissedNotices;
        if (end == End::HostDismissed) {
            int gone = 0;
            bank->autoFlow()->dismissWithCompletion([&] { ++gone; });
            sheet.reset();
            ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && gone == 1 && top() == home; }));
            pump(20);
            EXPECT_EQ(outcome->calls, 1);
            ASSERT_TRUE(outcome->error.has_value());
            EXPECT_EQ(outcome->error->code, 1003);
            EXPECT_EQ(top(), home) << "no result screen after the host took the flow away";
            EXPECT_EQ(dismissedNotices, noticesBefore);
            int accounts = 0;
            bank->getAccounts([&](auto, OptionalError, QString) { ++accounts; });
            EXPECT_TRUE(pumpUntil([&] { return accounts == 1; })) << "the login's lane is free again";
            continue;
        }
        if (end == End::Answered) {
            const auto fields = sheet->mfaViewController()->textFields();
            ASSERT_EQ(fields.size(), 1);
            type(fields[0], "123456");
            tap(sheet->mfaViewController()->tableFooterView()->button());
        } else {
            sheet->mfaViewController()->navigationItem().rightBarButtonItems().front()->trigger();
        }
        ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && resultScreen() && resultScreen()->isVisible(); }));
        pump(20);
        EXPECT_EQ(outcome->calls, 1);
        EXPECT_FALSE(outcome->resultScreenShown);
        EXPECT_FALSE(flow->alert()) << "the loader has closed";
        const QList<QJsonObject> bodies = transferBodies();
        if (end == End::Answered) {
            EXPECT_FALSE(outcome->error.has_value());
            EXPECT_FALSE(outcome->reference.isEmpty());
            ASSERT_EQ(bodies.size(), 2) << "sent, then resent once with the answer";
            EXPECT_EQ(bodies[1].value("userInputs").toArray(),
                      (QJsonArray{QJsonObject{{"id", "otp"}, {"answer", "123456"}, {"index", 0}}}));
            EXPECT_FALSE(bodies[1].value("operationID").toString().isEmpty());
            for (const char *key : {"senderID", "amount", "beneficiary", "remark", "userID", "bankID"})
                EXPECT_EQ(bodies[1].value(key), bodies[0].value(key)) << key;
            EXPECT_EQ(bodies[1].value("amount"), 40);
            EXPECT_EQ(resultScreen()->titleText(), "Transfer successful");
        } else {
            ASSERT_TRUE(outcome->error.has_value());
            EXPECT_EQ(outcome->error->code, 1003);
            EXPECT_EQ(outcome->error->localizedDescription(), "You cancelled the authentication.");
            EXPECT_EQ(bodies.size(), 1) << "nothing is resent";
        }
        tap(resultScreen()->button());
        ASSERT_TRUE(pumpUntil([&] { return top() == home; }));
        pump();
        EXPECT_EQ(dismissedNotices, noticesBefore + 1);
        EXPECT_EQ(outcome->calls, 1);
    }
}

// A host that starts another transfer on the same bank login while a flow is
// still on screen (a retry from the completion, or a second tap in its own
// screen while the loader runs) gets an end for that transfer too: exactly
// one call of its completion, whichever way the first flow closes.
TEST_F(TransferStepTest, AnotherTransferStartedWhileAFlowIsUpIsStillEndedOnce)
{
    for (const bool fromCompletion : {true, false}) {
        for (const bool resultScreens : {false, true}) {
            SCOPED_TRACE(std::string(fromCompletion ? "from the first completion" : "during the loader")
                         + (resultScreens ? ", result screens" : ", no result screens"));
            setOptions(resultScreens, resultScreens);
            auto bank = linkWithAccounts();
            ASSERT_TRUE(bank);
            const auto account = bank->accounts().value(0);
            ASSERT_TRUE(account);
            server->scriptAction("/payment/transfer/autoflow",
                                 delayed(QJsonDocument(QJsonObject{{"success", true}, {"reference", "TRF-1"}}).toJson(),
                                         std::chrono::milliseconds(300)));
            auto second = std::make_shared<TransferOutcome>();
            auto startSecond = [this, bank, account, second] {
                bank->createTransferFromAccount(account, beneficiary(), 0, recording(second), QStringLiteral("again"));
            };
            auto first = std::make_shared<TransferOutcome>();
            bank->createTransferFromAccount(account, beneficiary(), 0,
                                            recording(first, fromCompletion ? std::function<void()>(startSecond) : nullptr),
                                            QStringLiteral("rent"));
            auto flow = coordinator(bank);
            auto pad = padShown(flow);
            ASSERT_TRUE(pad);
            type(pad->amountLabel(), "20");
            tap(pad->confirmButton());
            ASSERT_TRUE(pumpUntil([&] { return flow->alert() && flow->alert()->isVisible(); }));
            if (!fromCompletion)
                startSecond();

            ASSERT_TRUE(pumpUntil([&] { return first->calls == 1; }));
            if (resultScreens) {
                ASSERT_TRUE(pumpUntil([&] {
                    return std::dynamic_pointer_cast<MessageViewController>(flow->presentedViewController())
                        || second->calls > 0 || (resultScreen() && resultScreen()->isVisible());
                }));
                if (auto shown = resultScreen())
                    tap(shown->button());
            }
            pump(40);
            // The second flow is either still there for the user, or has ended.
            auto secondFlow = coordinator(bank);
            if (second->calls == 0) {
                ASSERT_TRUE(secondFlow && secondFlow != flow);
                ASSERT_TRUE(secondFlow->presentingViewController())
                    << "the second flow left the screen without ending its transfer";
                secondFlow->backButtonTapped();
            }
            ASSERT_TRUE(pumpUntil([&] { return second->calls > 0 && top() == home; }));
            pump(20);
            EXPECT_EQ(first->calls, 1);
            EXPECT_EQ(second->calls, 1);
        }
    }
}

