#include <QClipboard>
#include <QFontInfo>
#include <QFontMetricsF>
#include <cmath>
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
#include "core/records/KOVBeneficiary.h"
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
#include "ui/look/KOVFontColors.h"
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
        {0, 500, "600", "600", false, "Maximum amount  AED 500.00"},
        {0, 5000000, "2000000", "2,000,000", true, ""},
        {0, 5000000, "6000000", "1,000,000", false, "Maximum amount  AED 5,000,000.00"},
        {10, 0, "5", "5", false, "Minimum amount  AED 10.00"},
        {10, 0, "10", "10", true, ""},
        {0, 0, "0", "0", false, ""},
        // What Send would submit is the capped display, below the lower bound.
        {2000000, 0, "3000000", "1,000,000", false, "Minimum amount  AED 2,000,000.00"},
        // Past 32 bits the amount is compared whole.
        {0, 5000000, "4294967297", "1,000,000", false, "Maximum amount  AED 5,000,000.00"},
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

// However long the amount, all of it shows: the field's font gives way down
// to a readable size instead of scrolling the leading digits out of view,
// and grows back for a short amount.
TEST_F(PaymentScreensTest, AmountPadShrinksALongAmountToShowAllOfIt)
{
    struct Row {
        quint64 maximum;
        const char *typed;
        const char *shown;
        bool shrinks;
    } rows[] = {
        {0, "1234567", "1,000,000", false},
        {100000000, "99999999", "99,999,999", false},
        {1000000000, "999999999", "999,999,999", true},
        {1000000000000, "123456789012", "123,456,789,012", true},
        {quint64(1) << 62, "9007199254740992", "9,007,199,254,740,992", true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.typed);
        auto pad = showPad(0, row.maximum);
        platform::TextField *field = pad->amountLabel();
        field->clear();
        type(field, row.typed);
        pump();
        ASSERT_EQ(field->text(), row.shown);
        const QFont font = field->font();
        if (row.shrinks) {
            EXPECT_LT(font.pixelSize(), 50);
            EXPECT_GE(font.pixelSize(), KOVNumPadDisplayViewController::minimumAmountFontSize);
        } else {
            EXPECT_EQ(font.pixelSize(), 50);
        }
        EXPECT_EQ(QFontInfo(font).family(), "Muli");
        EXPECT_TRUE(font.bold() || QFontInfo(font).weight() >= QFont::Bold);
        // With the cursor after the last digit, the first one is still in the field.
        field->setCursorPosition(field->text().size());
        const int end = field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        const int start = end - int(std::ceil(QFontMetricsF(font).horizontalAdvance(field->text())));
        EXPECT_GE(start, field->contentsRect().left()) << "the leading digits are scrolled out of view";
        EXPECT_LE(end, field->contentsRect().right());
        EXPECT_EQ(field->width(), 280) << "the field keeps its width";

        // A short amount takes the full size again.
        field->clear();
        type(field, "7");
        pump();
        EXPECT_EQ(field->font().pixelSize(), 50);
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
    // The container prefers large titles: the title shows large, left-aligned
    // in its own row under the bar's items, and the screen starts below it.
    platform::NavigationBar *bar = container->navigationBar();
    EXPECT_TRUE(bar->prefersLargeTitles());
    auto *large = qobject_cast<platform::Label *>(bar->largeTitleWidget());
    ASSERT_TRUE(large);
    EXPECT_TRUE(large->isVisibleTo(bar));
    EXPECT_FALSE(title->isVisibleTo(bar));
    EXPECT_EQ(large->text(), "Enter amount");
    EXPECT_EQ(large->font().pixelSize(), 34);
    EXPECT_EQ(large->font().weight(), QFont::Bold);
    EXPECT_EQ(large->geometry(), QRect(16, bar->topInset() + platform::NavigationBar::Height, bar->width() - 32,
                                       platform::NavigationBar::LargeTitleHeight));
    EXPECT_EQ(bar->height(), bar->topInset() + 96);
    EXPECT_EQ(pad->view()->mapTo(container->view(), QPoint(0, 0)).y(), bar->geometry().bottom() + 1);
    EXPECT_FALSE(grabPng(window.get(), "payment-container-large-title").isEmpty());

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
    pad->setMaximumAmount(1000000000000);
    pad->amountLabel()->clear();
    type(pad->amountLabel(), "123456789012");
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-pad-long-amount").isEmpty());
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
    // The longest message, in Russian, wraps inside the loader.
    const QString shown = flow->alert()->message();
    flow->alert()->setMessage(QStringLiteral("Это занимает больше времени, чем обычно"), 1, 2);
    pump();
    EXPECT_FALSE(grabPng(window.get(), "payment-loader-long-message").isEmpty());
    flow->alert()->setMessage(shown, 0, 3);
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

// The loader's message wraps inside the loader, centred line by line, which
// grows to hold it; the dots still to come keep the dots colour; its spinner
// is the platform's grey one.
TEST_F(PaymentScreensTest, TheLoadersMessageWrapsInsideIt)
{
    auto loader = std::make_shared<KOVTransferLoaderViewController>();
    loader->setMessage(QStringLiteral("Connecting with your bank"), 0, 4);
    const QSize oneLine = loader->view()->sizeHint();
    // Told of every message it will show, it takes the height of the longest
    // from the start.
    loader->reserveRoomFor({QStringLiteral("Connecting with your bank"),
                            QStringLiteral("Это занимает больше времени, чем обычно")});
    ASSERT_TRUE(home->present(loader, false));
    ASSERT_TRUE(pumpUntil([&] { return loader->isVisible(); }));
    QWidget *box = loader->view();
    QWidget *text = loader->messageView();
    ASSERT_TRUE(text);
    EXPECT_EQ(loader->messageLineCount(), 1);
    EXPECT_EQ(oneLine, QSize(270, 130)) << "one line keeps the loader's own size";
    EXPECT_EQ(box->width(), 270);
    EXPECT_GT(box->height(), 130);
    const int reserved = box->height();
    EXPECT_EQ(loader->activityIndicator()->color(), QColor(142, 142, 147));
    EXPECT_EQ(loader->activityIndicator()->sizeHint(), QSize(20, 20)) << "the small grey style";

    loader->setMessage(QStringLiteral("Это занимает больше времени, чем обычно"), 1, 2);
    pump();
    EXPECT_EQ(loader->shownText(), QStringLiteral("Это занимает больше времени, чем обычно..."));
    EXPECT_GE(loader->messageLineCount(), 2);
    EXPECT_GE(text->geometry().left(), KOVTransferLoaderViewController::textMargin);
    EXPECT_LE(text->geometry().right(), box->width() - KOVTransferLoaderViewController::textMargin);
    EXPECT_LE(text->geometry().bottom(), box->height()) << "the loader holds every line";
    EXPECT_EQ(box->height(), reserved) << "the loader keeps its size on screen";
    // Every glyph is inside the loader: no column of ink at its edges.
    const QImage image = box->grab().toImage();
    for (int y = text->geometry().top(); y <= text->geometry().bottom(); ++y) {
        for (const int x : {0, 1, image.width() - 2, image.width() - 1}) {
            const QColor pixel = image.pixelColor(x, y);
            EXPECT_TRUE(pixel == Qt::white || pixel.alpha() == 0) << x << "," << y;
        }
    }
    closeTop();
}

// The header's look: Update sits on the bank name's baseline, in the look's
// regular face; a row's type is in its own grey.
TEST_F(PaymentScreensTest, UpdateSitsOnTheBankNamesBaselineAndTheTypeHasItsGrey)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    auto picker = std::make_shared<KOVAccountsViewController>(bank);
    ASSERT_TRUE(home->present(picker, false));
    ASSERT_TRUE(pumpUntil([&] { return picker->isVisible() && picker->headerForSection(0) && picker->tableView()->numberOfRows(0) == 3; }));
    pump();
    auto *header = picker->headerForSection(0);
    ASSERT_TRUE(header);
    // Both texts are drawn vertically centred in their boxes (the button's
    // box less its insets of 6 above and below).
    QWidget *button = header->refreshButton();
    platform::Label *body = header->bodyLabel();
    const QFontMetrics buttonFont(button->font()), bodyFont(body->font());
    const int buttonTextTop = button->mapTo(header, QPoint(0, 6)).y() + (button->height() - 12 - buttonFont.height()) / 2;
    const int bodyTextTop = body->mapTo(header, QPoint(0, 0)).y() + (body->height() - bodyFont.height()) / 2;
    EXPECT_EQ(buttonTextTop + buttonFont.ascent(), bodyTextTop + bodyFont.ascent());
    EXPECT_EQ(button->font(), KOVFontManager::font(KOVFontManager::regular(), 14));

    auto *cell = qobject_cast<KOVAccountsTableViewCell *>(picker->tableView()->cellForRow({0, 0}));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->typeLabel()->textColor(), QColor::fromRgbF(0.338f, 0.363f, 0.404f, 1.0f));
    EXPECT_EQ(cell->numberLabel()->textColor(), KOVFontColors::b60());
    // The screen paints the look's background, not the platform's white.
    EXPECT_EQ(pixelAt(picker->view(), QPoint(4, picker->view()->height() - 4)), KOVTheme::backgroundColor());
    closeTop();
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

// A refresh that ends at once (no one to ask, no login to ask for) stops
// the header's spinner and gives Update back.
TEST_F(PaymentScreensTest, AnUpdateThatEndsAtOnceGivesTheButtonBack)
{
    auto bank = linkWithAccounts();
    ASSERT_TRUE(bank);
    auto picker = std::make_shared<KOVAccountsViewController>(bank);
    ASSERT_TRUE(home->present(picker, false));
    ASSERT_TRUE(pumpUntil([&] { return picker->isVisible() && picker->headerForSection(0); }));
    for (const int section : {0, 7}) {
        SCOPED_TRACE(section == 0 ? "no delegate" : "no login for the section");
        auto *header = picker->headerForSection(0);
        ASSERT_TRUE(header);
        header->setSection(section);
        ASSERT_TRUE(header->refreshButton()->isVisibleTo(header));
        tap(header->refreshButton());
        pump();
        EXPECT_FALSE(header->activityIndicatorView()->isAnimating());
        EXPECT_TRUE(header->refreshButton()->isVisibleTo(header));
        EXPECT_FALSE(header->isRefreshing());
        header->setSection(0);
    }
    closeTop();
}

// A login still loading: its placeholder section's header spins until the
// accounts are in.
TEST_F(PaymentScreensTest, APlaceholderSectionsHeaderSpinsWhileItsLoginLoads)
{
    QJsonObject issued;
    auto loading = link(&issued);
    ASSERT_TRUE(loading);
    server->scriptAction("/data/accounts/get",
                         delayed(QJsonDocument(QJsonObject{{"accounts", sandbox::SandboxData::accounts()}}).toJson(),
                                 std::chrono::milliseconds(400)));
    auto outcome = transfer(loading, nullptr, 0);
    auto flow = coordinator(loading);
    ASSERT_TRUE(pumpUntil([&] { return flow->accountsViewController() && flow->accountsViewController()->tableView(); }));
    auto list = flow->accountsViewController();
    ASSERT_EQ(list->refreshingUserIDs(), QStringList{issued.value("userID").toString()});
    auto *header = list->headerForSection(0);
    ASSERT_TRUE(header);
    EXPECT_TRUE(header->activityIndicatorView()->isAnimating());
    EXPECT_TRUE(header->activityIndicatorView()->isVisibleTo(header));
    EXPECT_FALSE(header->refreshButton()->isVisibleTo(header));
    ASSERT_TRUE(pumpUntil([&] { return list->refreshingUserIDs().isEmpty() && list->tableView()->numberOfRows(0) == 3; }));
    pump();
    header = list->headerForSection(0);
    ASSERT_TRUE(header);
    EXPECT_FALSE(header->activityIndicatorView()->isAnimating());
    EXPECT_TRUE(header->refreshButton()->isVisibleTo(header));
    flow->backButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1; }));
}

// While the picker lists only a login's loading placeholder, nothing can be
// sent from: Continue is off, and neither it nor a direct call takes the
// placeholder's account or remembers its ID.
TEST_F(PaymentScreensTest, ContinueStaysOffWhileOnlyTheLoadingPlaceholderIsListed)
{
    for (const double amount : {0.0, 25.0}) {
        SCOPED_TRACE(amount == 0 ? "the pad would come next" : "the transfer would go at once");
        auto bank = link();
        ASSERT_TRUE(bank);
        server->scriptAction("/data/accounts/get", silent()); // the accounts never come
        auto outcome = transfer(bank, nullptr, amount);
        auto flow = coordinator(bank);
        ASSERT_TRUE(pumpUntil([&] { return flow->isVisible() && flow->accountsViewController()->tableView(); }));
        auto picker = flow->accountsViewController();
        pump();
        ASSERT_EQ(picker->tableView()->numberOfRows(0), 1);
        ASSERT_EQ(picker->subaccountAt({0, 0})->accountId(), "123456789");
        EXPECT_TRUE(qobject_cast<KOVAccountsTableViewCell *>(picker->tableView()->cellForRow({0, 0}))->isShimmering());
        EXPECT_FALSE(picker->confirmButton()->isEnabled());
        EXPECT_EQ(picker->selectedAccountID(), QString());

        tap(picker->confirmButton());
        picker->startPaymentWithAccountID("123456789");
        picker->setSelectedAccountID("123456789");
        pump(10);
        EXPECT_FALSE(flow->numPadDisplayViewController()) << "an amount pad for the placeholder";
        EXPECT_FALSE(flow->alert()) << "a transfer from the placeholder";
        EXPECT_EQ(outcome->calls, 0);
        EXPECT_TRUE(platform::UserDefaults::standard().string(KOVAccountsViewController::selectedAccountIDKey).isNull());
        EXPECT_FALSE(picker->confirmButton()->isEnabled());
        EXPECT_EQ(window->topPresentedViewController(), flow);

        flow->backButtonTapped();
        ASSERT_TRUE(pumpUntil([&] { return outcome->calls == 1 && top() == home; }));
        ASSERT_TRUE(outcome->error.has_value());
        EXPECT_EQ(outcome->error->code, 1003) << "the user's cancel, not a failed send";
        EXPECT_TRUE(transferBodies().isEmpty());
        EXPECT_TRUE(platform::UserDefaults::standard().string(KOVAccountsViewController::selectedAccountIDKey).isNull());
    }
}

// The remembered account is one for the whole app. Where the picker does not
// list it (another login's, or a placeholder's an older version kept), the
// first row that can be chosen is highlighted and sent from; with no such row
// Continue is off.
TEST_F(PaymentScreensTest, ARememberedAccountThePickerDoesNotListGivesWayToTheFirstRow)
{
    // Login A: the user chooses its savings account, goes on to the pad,
    // then leaves.
    auto first = linkWithAccounts();
    ASSERT_TRUE(first);
    auto left = transfer(first, nullptr, 0);
    auto flow = coordinator(first);
    ASSERT_TRUE(pumpUntil([&] {
        return flow->isVisible() && flow->accountsViewController()->tableView()
            && flow->accountsViewController()->tableView()->numberOfRows(0) == 3;
    }));
    flow->accountsViewController()->tableView()->tapRow({0, 1});
    tap(flow->accountsViewController()->confirmButton());
    ASSERT_TRUE(padShown(flow));
    flow->backButtonTapped();
    ASSERT_TRUE(pumpUntil([&] { return left->calls == 1 && top() == home; }));
    ASSERT_EQ(platform::UserDefaults::standard().string(KOVAccountsViewController::selectedAccountIDKey), "ACC-1002");

    // Login B has no account at all: nothing to send from.
    for (const QString remembered : {"ACC-1002", "123456789"}) {
        SCOPED_TRACE(remembered.toStdString());
        platform::UserDefaults::standard().setValue(KOVAccountsViewController::selectedAccountIDKey, remembered);
        server->scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"accounts", QJsonArray{}}}));
        auto empty = link();
        ASSERT_TRUE(empty);
        auto none = transfer(empty, nullptr, 25);
        flow = coordinator(empty);
        ASSERT_TRUE(pumpUntil([&] {
            return flow->isVisible() && flow->accountsViewController()->tableView()
                && flow->accountsViewController()->refreshingUserIDs().isEmpty();
        }));
        auto picker = flow->accountsViewController();
        pump();
        ASSERT_EQ(picker->tableView()->numberOfRows(0), 0);
        EXPECT_FALSE(picker->confirmButton()->isEnabled());
        EXPECT_EQ(picker->selectedAccountID(), QString());
        if (remembered == "ACC-1002") {
            EXPECT_FALSE(grabPng(window.get(), "payment-picker-empty-remembered-elsewhere").isEmpty());
        }
        tap(picker->confirmButton());
        pump(10);
        EXPECT_EQ(none->calls, 0);
        EXPECT_FALSE(flow->alert());
        flow->backButtonTapped();
        ASSERT_TRUE(pumpUntil([&] { return none->calls == 1 && top() == home; }));
        EXPECT_EQ(none->error ? none->error->code : 0, 1003);
    }
    EXPECT_TRUE(transferBodies().isEmpty());

    // Login C holds other accounts than A: its first one is used.
    platform::UserDefaults::standard().setValue(KOVAccountsViewController::selectedAccountIDKey, "ACC-1002");
    QJsonArray others;
    for (const QString id : {"BNK-5001", "BNK-5002"}) {
        QJsonObject account = sandbox::SandboxData::accounts().at(others.size()).toObject();
        account["id"] = id;
        others.append(account);
    }
    server->scriptAction("/data/accounts/get", ScriptedReply::json(QJsonObject{{"accounts", others}}));
    QJsonObject issued;
    auto third = linkWithAccounts(&issued);
    ASSERT_TRUE(third);
    auto sent = transfer(third, nullptr, 25);
    flow = coordinator(third);
    ASSERT_TRUE(pumpUntil([&] {
        return flow->isVisible() && flow->accountsViewController()->tableView()
            && flow->accountsViewController()->tableView()->numberOfRows(0) == 2;
    }));
    auto picker = flow->accountsViewController();
    pump();
    EXPECT_EQ(picker->tableView()->indexPathForSelectedRow(), std::optional<platform::IndexPath>(platform::IndexPath{0, 0}));
    EXPECT_TRUE(picker->confirmButton()->isEnabled());
    EXPECT_FALSE(grabPng(window.get(), "payment-picker-remembered-elsewhere").isEmpty());
    // The sandbox knows only its own accounts: this login's bank says yes.
    server->scriptAction("/payment/transfer/autoflow",
                         ScriptedReply::json(QJsonObject{{"success", true}, {"reference", "TRF-5001"}}));
    tap(picker->confirmButton());
    ASSERT_TRUE(pumpUntil([&] { return sent->calls == 1; }));
    EXPECT_FALSE(sent->error.has_value());
    EXPECT_EQ(sent->reference, "TRF-5001");
    EXPECT_EQ(sent->account ? sent->account->accountID() : QString(), "BNK-5001");
    EXPECT_EQ(lastTransferBodyText("/payment/transfer/autoflow"), transferBodyText("BNK-5001", 25, issued));
    EXPECT_EQ(transferBodies().size(), 1);
    EXPECT_EQ(platform::UserDefaults::standard().string(KOVAccountsViewController::selectedAccountIDKey), "BNK-5001");
    ASSERT_TRUE(pumpUntil([&] { return top() == home; }));
}
