// The payment screens in host windows that are not a phone's (a desktop's
// wide window, a host with a dark palette and style of its own), and a person
// quicker than the screens' slides.
#include <QJsonArray>
#include <QJsonDocument>
#include <map>

#include "core/KOVAppManager.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVAccount.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVSubaccount.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "sandbox/SandboxData.h"
#include "tests/payment_ui/PaymentFlowFixture.h"
#include "tests/ui/HostLook.h"
#include "ui/look/KOVButton.h"
#include "ui/messages/MessageViewController.h"
#include "ui/payment/KOVAccountsViewController.h"
#include "ui/payment/KOVAutoFlowNavigationController.h"
#include "ui/payment/KOVNumPadDisplayViewController.h"
#include "ui/payment/KOVSubaccountsViewController.h"
#include "ui/payment/KOVTransferLoaderViewController.h"

using namespace kova;
using namespace kova::test;

class PaymentHostWindowTest : public PaymentFlowTest {
protected:
    // Opens the picker of a new login and waits for its three accounts.
    std::shared_ptr<KOVAutoFlowNavigationController> openPicker(std::shared_ptr<TransferOutcome> *outcome,
                                                                std::shared_ptr<KOVBankConnection> *linked = nullptr)
    {
        auto bank = link();
        if (linked)
            *linked = bank;
        EXPECT_TRUE(bank);
        *outcome = transfer(bank, nullptr, 0);
        auto flow = coordinator(bank);
        EXPECT_TRUE(pumpUntil([&] {
            return flow->isVisible() && flow->accountsViewController()->tableView()
                && flow->accountsViewController()->refreshingUserIDs().isEmpty()
                && flow->accountsViewController()->tableView()->numberOfRows(0) == 3;
        }));
        pump();
        return flow;
    }
    // From the picker through the login's sub-accounts to the pad.
    std::shared_ptr<KOVNumPadDisplayViewController> walkToPad(const std::shared_ptr<KOVAutoFlowNavigationController> &flow)
    {
        auto stored = KOVAppManager::sharedInstance().getConnectionsForClientUserID("client-1").value(0);
        flow->accountsViewControllerDidSelectAccountConnection(*flow->accountsViewController(), stored);
        EXPECT_TRUE(pumpUntil([&] { return flow->subaccountsViewController() && flow->subaccountsViewController()->isVisible(); }));
        pump();
        flow->subaccountsViewController()->tableView()->tapRow({0, 0});
        EXPECT_TRUE(pumpUntil([&] {
            return flow->numPadDisplayViewController() && flow->numPadDisplayViewController()->isVisible();
        }));
        auto pad = flow->numPadDisplayViewController();
        pad->amountLabel()->clear();
        type(pad->amountLabel(), "2500");
        pump();
        return pad;
    }
};

TEST_F(PaymentHostWindowTest, PickerAndPadInADesktopWindowAreACentredCard)
{
    window->resize(1280, 800);
    std::shared_ptr<TransferOutcome> outcome;
    auto flow = openPicker(&outcome);
    QWidget *card = window->layerFor(flow.get());
    ASSERT_TRUE(card);
    EXPECT_EQ(card->geometry(), QRect(370, 96, 540, 620));
    EXPECT_EQ(flow->view()->size(), QSize(540, 620));
    EXPECT_FALSE(grabPng(window.get(), "wide-payment-picker").isEmpty());

    auto pad = walkToPad(flow);
    ASSERT_TRUE(pad);
    // The currency stays beside the amount on the card, not at the window's edge.
    const QRect currency(pad->currencyLabel()->mapTo(window.get(), QPoint(0, 0)), pad->currencyLabel()->size());
    EXPECT_TRUE(QRect(370, 96, 540, 620).contains(currency)) << currency.x() << "," << currency.y();
    EXPECT_LE(pad->amountLabel()->width(), 540);
    EXPECT_FALSE(grabPng(window.get(), "wide-payment-pad").isEmpty());
}

TEST_F(PaymentHostWindowTest, EveryScreenLooksTheSameUnderADarkHostPalette)
{
    std::shared_ptr<TransferOutcome> outcome;
    auto flow = openPicker(&outcome);
    expectSameUnderDarkHost(window.get(), "payment-picker");
    auto stored = KOVAppManager::sharedInstance().getConnectionsForClientUserID("client-1").value(0);
    flow->accountsViewControllerDidSelectAccountConnection(*flow->accountsViewController(), stored);
    ASSERT_TRUE(pumpUntil([&] { return flow->subaccountsViewController() && flow->subaccountsViewController()->isVisible(); }));
    pump();
    expectSameUnderDarkHost(window.get(), "payment-subaccounts");
    flow->subaccountsViewController()->tableView()->tapRow({0, 0});
    ASSERT_TRUE(pumpUntil([&] { return flow->numPadDisplayViewController() && flow->numPadDisplayViewController()->isVisible(); }));
    auto pad = flow->numPadDisplayViewController();
    pad->amountLabel()->clear();
    pump();
    expectSameUnderDarkHost(window.get(), "payment-pad-empty");
    type(pad->amountLabel(), "2500");
    expectSameUnderDarkHost(window.get(), "payment-pad");

    setOptions(true, true);
    auto reply = sandbox::ScriptedReply::json(QJsonObject{{"success", true}, {"reference", "TRF-2024"}});
    // Long enough for the loader to stay up while every host look is set and
    // taken back.
    reply.delay = std::chrono::milliseconds(5000);
    server->scriptAction("/payment/transfer/autoflow", reply);
    tap(pad->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return flow->alert() && flow->alert()->isVisible(); }));
    advanceSeconds(3);
    // The spinner turns faster than a host sets and takes back its style
    // sheet: it stands still, still drawn, for the comparison.
    flow->alert()->activityIndicator()->setHidesWhenStopped(false);
    flow->alert()->activityIndicator()->stopAnimating();
    expectSameUnderDarkHost(window.get(), "payment-loader");
    EXPECT_FALSE(resultScreen()) << "the loader's checks grabbed the result instead";
    ASSERT_TRUE(pumpUntil([&] {
        advanceSeconds(1);
        return resultScreen() && resultScreen()->isVisible();
    }));
    pump();
    expectSameUnderDarkHost(window.get(), "payment-success");
    tap(resultScreen()->button());
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
}

TEST_F(PaymentHostWindowTest, ADoubleClickOnTheResultWhileItSlidesInPostsDismissedOnce)
{
    setOptions(true, true);
    std::shared_ptr<TransferOutcome> outcome;
    auto flow = openPicker(&outcome);
    auto pad = walkToPad(flow);
    ASSERT_TRUE(pad);
    platform::Application::shared().setAnimationsEnabled(true);
    tap(pad->confirmButton());
    ASSERT_TRUE(pumpUntil([&] {
        advanceSeconds(1);
        return resultScreen() && resultScreen()->isBeingPresented();
    })) << "the result never started to slide in";
    doubleClick(resultScreen()->button());
    ASSERT_TRUE(resultScreen()->isBeingPresented()) << "the double click came too late to test anything";
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && top() == home; }));
    pump();
    platform::Application::shared().setAnimationsEnabled(false);
    EXPECT_EQ(dismissedNotices, 1);
    EXPECT_EQ(outcome->calls, 1);
}

// A host may delete its window as soon as nothing is on top, while the flow
// still slides away, and quit before another turn: however the flow ended,
// its home holds it no more, and the flow keeps its whole view.
TEST_F(PaymentHostWindowTest, AWindowDeletedWhileTheFlowSlidesAwayLeavesNothingPresented)
{
    setOptions(true, true);
    for (const QString road : {"result closed", "swiped away", "taken by the host"}) {
        SCOPED_TRACE(road.toStdString());
        if (!window)
            window = makeWindow(home);
        std::shared_ptr<TransferOutcome> outcome;
        std::shared_ptr<KOVBankConnection> bank;
        auto flow = openPicker(&outcome, &bank);
        if (road == "result closed") {
            tap(walkToPad(flow)->confirmButton());
            ASSERT_TRUE(pumpUntil([&] {
                advanceSeconds(1);
                return resultScreen() && resultScreen()->isVisible() && !resultScreen()->isBeingPresented();
            }));
        }
        platform::Application::shared().setAnimationsEnabled(true);
        if (road == "result closed")
            tap(resultScreen()->button());
        else if (road == "swiped away")
            ASSERT_TRUE(window->userSwipeDown());
        else
            bank->autoFlow()->dismissWithCompletion({});
        ASSERT_TRUE(pumpUntil([&] { return !window->topPresentedViewController(); }));
        ASSERT_TRUE(flow->isBeingDismissed()) << "the flow was gone before the window";
        window.reset();
        platform::Application::shared().setAnimationsEnabled(false);
        EXPECT_EQ(home->presentedViewController().get(), nullptr);
        EXPECT_EQ(flow->presentingViewController(), nullptr);
        EXPECT_TRUE(flow->isViewLoaded());
        ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
    }
}

// A host's own test has the window and the controls' names, none of the
// screens' classes: with those it chooses a row, types the amount, sends.
TEST_F(PaymentHostWindowTest, AHostsTestWalksTheScreensByTheControlsNames)
{
    setOptions(true, true);
    QJsonObject issued;
    auto bank = link(&issued);
    ASSERT_TRUE(bank);
    auto outcome = transfer(bank, nullptr, 0);
    const auto shown = [&](const QString &name) { // top to bottom
        std::map<int, QWidget *> found;
        if (const auto top = window->topPresentedViewController(); top && !top->isBeingPresented())
            for (QWidget *widget : top->view()->findChildren<QWidget *>(name))
                if (widget->isVisible())
                    found[widget->mapTo(window.get(), QPoint()).y()] = widget;
        QList<QWidget *> widgets;
        for (const auto &[y, widget] : found)
            widgets.append(widget);
        return widgets;
    };
    // Continue comes on once the rows can be chosen.
    ASSERT_TRUE(pumpUntil([&] {
        return shown("accountRow").size() == 3 && !shown("continueButton").isEmpty()
            && shown("continueButton").at(0)->isEnabled();
    }));
    tap(shown("accountRow").at(1));
    const QString chosen = coordinator(bank)->accountsViewController()->subaccountAt({0, 1})->accountId();
    tap(shown("continueButton").at(0));
    ASSERT_TRUE(pumpUntil([&] { return !shown("amountField").isEmpty(); }));
    type(shown("amountField").at(0), "250");
    tap(shown("sendButton").at(0));
    ASSERT_TRUE(pumpUntil([&] {
        advanceSeconds(1);
        return !shown("okButton").isEmpty();
    }));
    tap(shown("okButton").at(0));
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && top() == home; }));
    EXPECT_FALSE(outcome->error.has_value());
    EXPECT_EQ(lastTransferBodyText("/payment/transfer/autoflow"), transferBodyText(chosen, 250, issued));
}
