#include <QClipboard>
#include <QFontInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QJsonArray>
#include <QJsonDocument>

#include "core/KOVAppManager.h"
#include "core/KOVConnect.h"
#include "core/KOVConnectDelegate.h"
#include "core/KOVScreensProvider.h"
#include "core/Kova.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVAccount.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVSubaccount.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"
#include "sandbox/SandboxData.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewHelpers.h"
#include "tests/payment_ui/PaymentFlowFixture.h"
#include "ui/KovaUI.h"
#include "ui/look/KOVButton.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/messages/MessageViewController.h"
#include "ui/payment/KOVAccountsHeaderView.h"
#include "ui/payment/KOVAccountsTableViewCell.h"
#include "ui/payment/KOVAccountsViewController.h"
#include "ui/payment/KOVAutoFlowNavigationController.h"
#include "ui/payment/KOVNumPadDisplayViewController.h"
#include "ui/payment/KOVPaymentNavigationController.h"
#include "ui/payment/KOVScreensAutoFlow.h"
#include "ui/payment/KOVSubaccountsViewController.h"
#include "ui/payment/KOVTransferLoaderViewController.h"

using namespace kova;
using namespace kova::test;
using sandbox::ScriptedReply;

namespace {

// The add-bank screen stand-in: it records that it was shown; the test plays
// the bank's answer.
class FakeConnect : public KOVConnect {
public:
    static inline int presented = 0;
    void presentWithBankID(const QString &) override { ++presented; }
    void dismissWithCompletion(std::function<void()> completion) override
    {
        if (completion)
            completion();
    }
};

class ScreensWithFakeConnect : public KOVUIScreensProvider {
public:
    std::shared_ptr<KOVConnect> last;
    std::shared_ptr<KOVConnect> makeConnect(const QString &) override
    {
        last = std::make_shared<FakeConnect>();
        return last;
    }
};

class HostConnectDelegate : public KOVConnectDelegate {
public:
    int successes = 0;
    int failures = 0;
    void connectDidSuccessfullyConnectToBankID(const QString &, std::shared_ptr<KOVBankConnection>) override { ++successes; }
    void connectDidFailConnectingToBankID(const QString &, const QString &) override { ++failures; }
};

// A pad on its own in the host window.
std::shared_ptr<KOVNumPadDisplayViewController> padAlone(quint64 minimum, quint64 maximum)
{
    auto pad = std::make_shared<KOVNumPadDisplayViewController>();
    pad->setMinimumAmount(minimum);
    pad->setMaximumAmount(maximum);
    pad->setBalance(15250.75);
    pad->setCurrency("AED");
    pad->setTitle("Enter amount");
    return pad;
}

} // namespace

class PaymentScreensTest : public PaymentFlowTest {
protected:
    std::shared_ptr<KOVNumPadDisplayViewController> showPad(quint64 minimum, quint64 maximum)
    {
        auto pad = padAlone(minimum, maximum);
        EXPECT_TRUE(home->present(pad, false));
        EXPECT_TRUE(pumpUntil([&] { return pad->isVisible(); }));
        return pad;
    }
    void closeTop()
    {
        home->dismiss(false);
        EXPECT_TRUE(pumpUntil([&] { return top() == home; }));
    }
};

TEST_F(PaymentScreensTest, AmountPadFollowsTheTypedAmountAndTheBounds)
{
    struct Row {
        quint64 minimum, maximum;
        const char *typed;
        const char *shown;
        bool send;
        const char *line; // empty: hidden
    } rows[] = {
        {0, 0, "1234567", "1,000,000", true, ""},
        {0, 500, "600", "600", false, "Maximum amount  AED 500"},
        {0, 5000000, "2000000", "2,000,000", true, ""},
        {0, 5000000, "6000000", "1,000,000", false, "Maximum amount  AED 5,000,000"},
        {10, 0, "5", "5", false, "Minimum amount  AED 10"},
        {10, 0, "10", "10", true, ""},
        {0, 0, "0", "0", false, ""},
        // What Send would submit is the capped display, below the lower bound.
        {2000000, 0, "3000000", "1,000,000", false, "Minimum amount  AED 2,000,000"},
        // Past 32 bits the amount is compared whole.
        {0, 5000000, "4294967297", "1,000,000", false, "Maximum amount  AED 5,000,000"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.typed);
        auto pad = showPad(row.minimum, row.maximum);
        EXPECT_EQ(pad->amountLabel()->text(), "0");
        EXPECT_FALSE(pad->limitLabel()->isVisible()) << "hidden until the first edit";
        pad->amountLabel()->clear();
        type(pad->amountLabel(), row.typed);
        EXPECT_EQ(pad->amountLabel()->text(), row.shown);
        EXPECT_EQ(pad->confirmButton()->isEnabled(), row.send);
        const QString line = pad->limitTextLabel()->text() + pad->limitAmountLabel()->text();
        if (QString(row.line).isEmpty())
            EXPECT_FALSE(pad->limitLabel()->isVisible());
        else
            EXPECT_EQ(line, row.line);
        closeTop();
    }
}

TEST_F(PaymentScreensTest, AmountPadTakesDigitsOnlyAndRidesOnTheKeyboard)
{
    auto pad = showPad(0, 0);
    pad->amountLabel()->clear();
    type(pad->amountLabel(), "1a2.3-4");
    EXPECT_EQ(pad->amountLabel()->text(), "1,234");
    // Deleting every digit empties the field and disables Send.
    for (int i = 0; i < 5; ++i)
        pressKey(pad->amountLabel(), Qt::Key_Backspace);
    EXPECT_EQ(pad->amountLabel()->text(), "");
    EXPECT_FALSE(pad->confirmButton()->isEnabled());
    EXPECT_FALSE(pad->limitLabel()->isVisible());

    showKeyboard(336);
    pump();
    const QRect button = pad->confirmButton()->geometry();
    EXPECT_EQ(pad->confirmButton()->mapTo(window.get(), QPoint(0, button.height())).y(), 844 - 336);
    hideKeyboard();
    pump();
    EXPECT_EQ(pad->confirmButton()->mapTo(window.get(), QPoint(0, button.height())).y(), 844 - 34 - 16);

    // An amount given before load is shown, yet Send waits for an edit.
    closeTop();
    auto preset = padAlone(0, 0);
    preset->setAmount(250);
    ASSERT_TRUE(home->present(preset, false));
    ASSERT_TRUE(pumpUntil([&] { return preset->isVisible(); }));
    EXPECT_EQ(preset->amountLabel()->text(), "250");
    EXPECT_FALSE(preset->confirmButton()->isEnabled());
}

// The amount as a person copies it from an invoice or a bank statement: the
// cents after the point are not part of a whole-unit amount, and must never
// turn into more digits of it.
TEST_F(PaymentScreensTest, AmountPadKeepsOnlyTheWholeUnitsOfAPastedAmount)
{
    struct Submitted : KOVNumPadDisplayViewControllerDelegate {
        QList<double> values;
        void numPadDisplayViewControllerDidSubmitValue(KOVNumPadDisplayViewController &, double value) override
        {
            values << value;
        }
    };
    const struct {
        const char *pasted;
        const char *shown;
        double sent;
    } rows[] = {{"1,250.00", "1,250", 1250}, {"40.00", "40", 40}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.pasted);
        auto pad = showPad(0, 0);
        auto submitted = std::make_shared<Submitted>();
        pad->setDelegate(submitted);
        QGuiApplication::clipboard()->setText(QString::fromLatin1(row.pasted));
        pad->amountLabel()->selectAll();
        pressKey(pad->amountLabel(), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(pad->amountLabel()->text(), row.shown);
        if (pad->confirmButton()->isEnabled())
            tap(pad->confirmButton());
        EXPECT_EQ(submitted->values, QList<double>{row.sent});
        closeTop();
    }
}

// A number pad in an Arabic locale types Arabic-Indic digits.
TEST_F(PaymentScreensTest, AmountPadTakesArabicIndicDigits)
{
    auto pad = showPad(10, 0);
    pad->amountLabel()->clear();
    pad->amountLabel()->setFocus();
    for (const QChar digit : QString::fromUtf8("\xD9\xA1\xD9\xA5\xD9\xA0")) { // one, five, zero
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(digit));
        QCoreApplication::sendEvent(pad->amountLabel(), &press);
    }
    EXPECT_EQ(pad->amountLabel()->text(), "150");
    EXPECT_TRUE(pad->confirmButton()->isEnabled());
    EXPECT_FALSE(pad->limitLabel()->isVisible());
}

TEST_F(PaymentScreensTest, APaymentContainerTitlesInTheLookAndPassesTheAmountOn)
{
    struct Receiver : KOVPaymentNavigationControllerDelegate {
        QList<double> values;
        void paymentNavigationControllerDidSubmitValue(KOVPaymentNavigationController &, double value) override
        {
            values << value;
        }
    };
    auto pad = padAlone(0, 0);
    auto container = std::make_shared<KOVPaymentNavigationController>(pad);
    auto receiver = std::make_shared<Receiver>();
    container->setPaymentDelegate(receiver);
    pad->setDelegate(container);
    ASSERT_TRUE(home->present(container, false));
    ASSERT_TRUE(pumpUntil([&] { return pad->isVisible(); }));
    auto *title = qobject_cast<platform::Label *>(container->navigationBar()->titleWidget());
    ASSERT_TRUE(title);
    EXPECT_EQ(title->text(), "Enter amount");
    EXPECT_EQ(title->font(), KOVFontManager::font(KOVFontManager::regular(), 17));
    EXPECT_EQ(QFontInfo(title->font()).family(), "Muli");

    type(pad->amountLabel(), "42");
    tap(pad->confirmButton());
    EXPECT_EQ(receiver->values, QList<double>{42});
    closeTop();
}

TEST_F(PaymentScreensTest, StoredBoundsReachThePad)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    auto configs = KOVAppConfigs::getConfigsForAppKey("app-key-1", context());
    ASSERT_TRUE(configs);
    struct {
        std::optional<qint64> min, max;
        quint64 padMin, padMax;
    } rows[] = {{20, 9000, 20, 9000}, {-5, std::nullopt, 0, 0}, {std::nullopt, 6000000000LL, 0, 6000000000ULL}};
    for (const auto &row : rows) {
        configs->setMinTransferAmount(row.min);
        configs->setMaxTransferAmount(row.max);
        auto outcome = transfer(bank, bank->accounts().value(0), 0);
        auto flow = coordinator(bank);
        ASSERT_TRUE(pumpUntil([&] { return flow->numPadDisplayViewController() && flow->numPadDisplayViewController()->isVisible(); }));
        EXPECT_EQ(flow->numPadDisplayViewController()->minimumAmount(), row.padMin);
        EXPECT_EQ(flow->numPadDisplayViewController()->maximumAmount(), row.padMax);
        flow->backButtonTapped();
        ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
    }
    // A host bound stands whatever is stored.
    configs->setMinTransferAmount(20);
    auto flow = std::dynamic_pointer_cast<KOVScreensAutoFlow>(KOVScreensAutoFlow::makePaymentFlow(
        KOVAutoFlowRequest{bank, bank->accounts().value(0), 0, beneficiary(), nullptr, false, QString(), nullptr}));
    flow->setMinimumAmount(7);
    flow->present();
    ASSERT_TRUE(pumpUntil([&] { return flow->autoFlowNavigationController() && flow->autoFlowNavigationController()->isVisible(); }));
    EXPECT_EQ(flow->autoFlowNavigationController()->numPadDisplayViewController()->minimumAmount(), 7u);
    flow->present(); // ignored while it is up
    pump();
    EXPECT_EQ(top(), flow->autoFlowNavigationController()->visibleViewController());
    int gone = 0;
    flow->dismissWithCompletion([&] { ++gone; });
    ASSERT_TRUE(pumpUntil([&] { return gone == 1 && top() == home; }));
}

TEST_F(PaymentScreensTest, AFlowWithNothingToPresentOverEndsOnceLater)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    window.reset(); // no host window any more
    auto outcome = transfer(bank, bank->accounts().value(0), 0);
    EXPECT_EQ(outcome->calls, 0) << "never inside the call";
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
    pump();
    EXPECT_EQ(outcome->calls, 1);
    ASSERT_TRUE(outcome->error.has_value());
    EXPECT_EQ(outcome->error->code, 1006);
    EXPECT_FALSE(bank->autoFlow());
}

TEST_F(PaymentScreensTest, PickerShowsPlaceholdersWhileLoadingThenTheAccounts)
{
    QJsonObject issued;
    auto bank = link(&issued);
    ASSERT_TRUE(bank);
    server->scriptAction("/data/accounts/get",
                         delayed(QJsonDocument(QJsonObject{{"accounts", sandbox::SandboxData::accounts()}}).toJson(),
                                 std::chrono::milliseconds(400)));
    auto outcome = transfer(bank, nullptr, 0);
    auto flow = coordinator(bank);
    ASSERT_TRUE(pumpUntil([&] { return flow->accountsViewController() && flow->accountsViewController()->tableView(); }));
    auto picker = flow->accountsViewController();
    // The placeholder row of a login whose accounts are still coming.
    ASSERT_EQ(picker->refreshingUserIDs(), QStringList{issued.value("userID").toString()});
    auto *cell = qobject_cast<KOVAccountsTableViewCell *>(picker->tableView()->cellForRow({0, 0}));
    ASSERT_TRUE(cell);
    EXPECT_TRUE(cell->isShimmering());
    EXPECT_TRUE(cell->loadingLabel()->isVisibleTo(cell));
    EXPECT_FALSE(cell->typeLabel()->isVisibleTo(cell));
    auto *header = picker->headerForSection(0);
    ASSERT_TRUE(header);
    EXPECT_FALSE(header->refreshButton()->isVisibleTo(header)) << "no Update on a placeholder section";
    // A placeholder cannot become the remembered account.
    picker->tableView()->tapRow({0, 0});
    EXPECT_TRUE(platform::UserDefaults::standard().string(KOVAccountsViewController::selectedAccountIDKey).isNull());

    ASSERT_TRUE(pumpUntil([&] { return picker->refreshingUserIDs().isEmpty() && picker->tableView()->numberOfRows(0) == 3; }));
    auto *row = qobject_cast<KOVAccountsTableViewCell *>(picker->tableView()->cellForRow({0, 0}));
    ASSERT_TRUE(row);
    EXPECT_FALSE(row->isShimmering());
    EXPECT_EQ(row->numberLabel()->text(), "**4000");
    EXPECT_TRUE(row->bankName().startsWith("Updated "));
    EXPECT_EQ(picker->selectedAccountID(), "ACC-1001") << "the first row counts as chosen";
    EXPECT_TRUE(picker->confirmButton()->isEnabled());
    pump();
    EXPECT_EQ(row->appliedCorners(), KOVAccountsTableViewCell::TopLeft | KOVAccountsTableViewCell::TopRight);
    flow->backButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
}

TEST_F(PaymentScreensTest, AFailedRefreshEndsTheSpinnerAndLeavesTheEmptyState)
{
    auto bank = link();
    ASSERT_TRUE(bank);
    server->scriptAction("/data/accounts/get",
                         ScriptedReply::json(QJsonObject{{"success", false}, {"type", "SERVER_ERROR"}, {"msg", "Down"}}));
    auto outcome = transfer(bank, nullptr, 0);
    auto flow = coordinator(bank);
    ASSERT_TRUE(pumpUntil([&] { return flow->accountsViewController() && flow->accountsViewController()->tableView(); }));
    auto picker = flow->accountsViewController();
    ASSERT_TRUE(pumpUntil([&] { return picker->refreshingUserIDs().isEmpty(); }));
    pump();
    EXPECT_EQ(picker->tableView()->numberOfSections(), 1);
    EXPECT_EQ(picker->tableView()->numberOfRows(0), 0);
    auto *header = picker->headerForSection(0);
    ASSERT_TRUE(header);
    EXPECT_TRUE(header->showEmptyAccountsView());
    EXPECT_TRUE(header->noAccountsView()->isVisibleTo(header));
    EXPECT_FALSE(header->activityIndicatorView()->isAnimating());
    EXPECT_FALSE(picker->confirmButton()->isEnabled()) << "nothing to choose";

    // Update on the empty state refreshes the flow's own login, this time with accounts.
    server->clearRequests();
    tap(header->refreshButton());
    ASSERT_TRUE(pumpUntil([&] { return picker->refreshingUserIDs().isEmpty() && !server->requests().isEmpty(); }));
    EXPECT_EQ(server->requestsForPath(sandbox::SandboxServer::AppServerPath).value(0).action, "/data/accounts/get");
    flow->backButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
}

TEST_F(PaymentScreensTest, AddingABankOpensTheConnectScreenAndItsLoginAppears)
{
    auto screens = std::make_shared<ScreensWithFakeConnect>();
    KOVScreensProvider::install(screens);
    setOptions(false, false);
    QJsonObject issued;
    auto bank = linkWithAccounts(&issued);
    ASSERT_TRUE(bank);
    auto outcome = transfer(bank, nullptr, 0);
    auto host = std::make_shared<HostConnectDelegate>();
    bank->autoFlow()->setConnectDelegate(host); // too late: the flow took its copy when it was prepared
    auto flow = coordinator(bank);
    ASSERT_TRUE(pumpUntil([&] { return flow->accountsViewController() && flow->accountsViewController()->tableView(); }));
    auto picker = flow->accountsViewController();
    ASSERT_TRUE(picker->addAccountButton()->isVisible());
    FakeConnect::presented = 0;
    tap(picker->addAccountButton());
    ASSERT_EQ(FakeConnect::presented, 1);
    ASSERT_TRUE(screens->last);

    // The bank links a second login under the same user: stored with its placeholder.
    auto stored = context().insertNewObject<KOVConnection>();
    stored->setUserID(issued.value("userID").toString());
    stored->setClientUserID("client-1");
    stored->setTokenID(issued.value("tokenID").toString());
    stored->setIsValid(true);
    auto info = context().insertNewObject<KOVBankInfo>();
    info->setBankName("Second Bank");
    stored->setBankInfo(info);
    auto placeholder = context().insertNewObject<KOVSubaccount>();
    placeholder->setName("Demo");
    placeholder->setAccountId("123456789");
    placeholder->setSortingCreatedAt(stored->createdAt().toMSecsSinceEpoch() / 1000.0 + 10);
    stored->addSubaccountsObject(placeholder);
    ASSERT_TRUE(KOVAppManager::sharedInstance().saveContext());
    ASSERT_TRUE(pumpUntil([&] { return picker->tableView()->numberOfSections() == 2; }));

    auto delegate = screens->last->delegate().lock();
    ASSERT_TRUE(delegate);
    delegate->connectDidSuccessfullyConnectToBankID("SECOND", bank);
    EXPECT_TRUE(picker->refreshingUserIDs().contains(issued.value("userID").toString())) << "its placeholder is refreshed";
    ASSERT_TRUE(pumpUntil([&] { return picker->refreshingUserIDs().isEmpty(); }));
    EXPECT_EQ(host->successes, 0);
    flow->backButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
}

TEST_F(PaymentScreensTest, HeaderAndRowMapTheirSettings)
{
    KOVAccountsHeaderView header;
    header.resize(390, 80);
    header.setTitle("Verifying");
    EXPECT_TRUE(header.headerLabel()->isVisibleTo(&header));
    EXPECT_TRUE(header.separator()->isVisibleTo(&header));
    header.setTitle(QString());
    EXPECT_FALSE(header.headerLabel()->isVisibleTo(&header));
    EXPECT_FALSE(header.separator()->isVisibleTo(&header));
    header.setTitle("");
    EXPECT_FALSE(header.separator()->isVisibleTo(&header));
    header.setIsRefreshing(true);
    header.setRefreshingEnabled(true);
    EXPECT_TRUE(header.activityIndicatorView()->isAnimating());
    EXPECT_TRUE(header.refreshButton()->isVisibleTo(&header));
    header.setRefreshingEnabled(false);
    header.setIsRefreshing(false);
    EXPECT_TRUE(header.refreshButton()->isVisibleTo(&header));
    header.refreshButtonTapped(); // no delegate: still swaps to the spinner
    EXPECT_FALSE(header.refreshButton()->isVisibleTo(&header));
    EXPECT_TRUE(header.activityIndicatorView()->isAnimating());
    header.setShowEmptyAccountsView(true);
    EXPECT_EQ(header.noAccountsHeaderLabel()->text(), "Try again");
    EXPECT_GE(header.sizeHint().height(), 75 + 300) << "the card lies inside the header";

    EXPECT_EQ(KOVAccountsTableViewCell::shortenedNumber("1234567890"), "**7890");
    EXPECT_EQ(KOVAccountsTableViewCell::shortenedNumber("12"), "**12");
    EXPECT_EQ(KOVAccountsTableViewCell::shortenedNumber(QString()), "**");
    KOVAccountsTableViewCell cell;
    cell.setSelected(true);
    EXPECT_EQ(cell.selectedView()->backgroundColor(), QColor(Qt::white));
    cell.setSelected(false);
    EXPECT_EQ(cell.selectedView()->backgroundColor().alpha(), 0);
    cell.setIsShimmering(true);
    EXPECT_EQ(cell.logoBackground()->backgroundColor(), KOVTheme::shimmerView());
    cell.setIsBalanceLoading(true);
    cell.setIsShimmering(false);
    EXPECT_EQ(platform::alpha(cell.balanceLabel()), 0) << "a loading balance stays invisible";
    EXPECT_TRUE(cell.typeLabel()->isVisibleTo(&cell));
}

// Every screen state of the flow, written as PNGs for people to look at.
TEST_F(PaymentScreensTest, Screenshots)
{
    setOptions(true, true);
    QJsonObject issued;
    auto bank = link(&issued);
    ASSERT_TRUE(bank);

    // Picker while the accounts load, then loaded.
    server->scriptAction("/data/accounts/get",
                         delayed(QJsonDocument(QJsonObject{{"accounts", sandbox::SandboxData::accounts()}}).toJson(),
                                 std::chrono::milliseconds(500)));
    auto outcome = transfer(bank, nullptr, 0);
    auto flow = coordinator(bank);
    ASSERT_TRUE(pumpUntil([&] { return flow->isVisible() && flow->accountsViewController()->tableView(); }));
    auto picker = flow->accountsViewController();
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-picker-loading").isEmpty());
    ASSERT_TRUE(pumpUntil([&] { return picker->refreshingUserIDs().isEmpty() && picker->tableView()->numberOfRows(0) == 3; }));
    picker->tableView()->tapRow({0, 1});
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-picker-loaded").isEmpty());

    // The sub-accounts list of that login.
    auto stored = KOVAppManager::sharedInstance().getConnectionsForClientUserID("client-1").value(0);
    flow->accountsViewControllerDidSelectAccountConnection(*picker, stored);
    ASSERT_TRUE(pumpUntil([&] { return flow->subaccountsViewController() && flow->subaccountsViewController()->isVisible(); }));
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-subaccounts").isEmpty());
    flow->subaccountsViewController()->tableView()->tapRow({0, 0});

    // The pad: empty, inside the bounds, over the maximum.
    ASSERT_TRUE(pumpUntil([&] { return flow->numPadDisplayViewController() && flow->numPadDisplayViewController()->isVisible(); }));
    auto pad = flow->numPadDisplayViewController();
    showKeyboard(336);
    pad->amountLabel()->clear();
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-pad-empty").isEmpty());
    type(pad->amountLabel(), "2500");
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-pad-inside").isEmpty());
    pad->setMaximumAmount(1000);
    pad->amountLabel()->clear();
    type(pad->amountLabel(), "2500");
    pump();
    EXPECT_FALSE(pad->confirmButton()->isEnabled());
    EXPECT_FALSE(grabPng(window.get(), "payment-pad-over-maximum").isEmpty());
    pad->setMaximumAmount(0);
    pad->amountLabel()->clear();
    type(pad->amountLabel(), "2500");
    hideKeyboard();

    // The loader, a few seconds in, then the success screen.
    server->scriptAction("/payment/transfer/autoflow",
                         delayed(QJsonDocument(QJsonObject{{"success", true}, {"reference", "TRF-2024"}}).toJson(),
                                 std::chrono::milliseconds(500)));
    tap(pad->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return flow->alert() && flow->alert()->isVisible(); }));
    advanceSeconds(13);
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-loader").isEmpty());
    ASSERT_TRUE(pumpUntil([&] { return resultScreen() && resultScreen()->isVisible(); }));
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-success").isEmpty());
    tap(resultScreen()->button());
    ASSERT_TRUE(pumpUntil([&] { return top() == home; }));

    // The error screen of a refused transfer.
    bank = KOVBankConnection::getConnectionsWithClientUserID("client-1").value(0);
    server->scriptAction("/payment/transfer/autoflow",
                         ScriptedReply::json(QJsonObject{{"success", false}, {"type", "INSUFFICIENT_FUNDS"}, {"msg", "Not enough"}}));
    auto failed = transfer(bank, bank->accounts().value(0), 0);
    auto second = coordinator(bank);
    ASSERT_TRUE(pumpUntil([&] { return second->numPadDisplayViewController() && second->numPadDisplayViewController()->isVisible(); }));
    type(second->numPadDisplayViewController()->amountLabel(), "90");
    tap(second->numPadDisplayViewController()->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return resultScreen() && resultScreen()->isVisible(); }));
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-error").isEmpty());
    tap(resultScreen()->button());
    ASSERT_TRUE(pumpUntil([&] { return top() == home; }));

    // The picker of a login with no account at all.
    server->scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"accounts", QJsonArray{}}}));
    auto empty = link();
    auto none = transfer(empty, nullptr, 0);
    auto third = coordinator(empty);
    ASSERT_TRUE(pumpUntil([&] { return third->isVisible() && third->accountsViewController()->refreshingUserIDs().isEmpty(); }));
    pump();
    EXPECT_EQ(third->accountsViewController()->tableView()->numberOfRows(0), 0);
    EXPECT_FALSE(grabPng(window.get(), "payment-picker-empty").isEmpty());
    third->backButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return none->calls == 1; }));
}

TEST_F(PaymentScreensTest, APickerWithoutADelegateEndsItsRefreshesAtOnce)
{
    auto bank = link();
    ASSERT_TRUE(bank);
    server->clearRequests();
    auto picker = std::make_shared<KOVAccountsViewController>(bank);
    EXPECT_FALSE(picker->tableView()) << "views are built on first show";
    ASSERT_TRUE(home->present(picker, false));
    ASSERT_TRUE(pumpUntil([&] { return picker->isVisible(); }));
    EXPECT_TRUE(picker->refreshingUserIDs().isEmpty());
    auto *header = picker->headerForSection(0);
    ASSERT_TRUE(header);
    EXPECT_FALSE(header->activityIndicatorView()->isAnimating());
    // An Update for a section that is not there does nothing.
    picker->accountsHeaderViewDidTapUpdateAtSection(*header, 7);
    EXPECT_TRUE(picker->refreshingUserIDs().isEmpty());
    pump();
    EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::AppServerPath).isEmpty());
}
