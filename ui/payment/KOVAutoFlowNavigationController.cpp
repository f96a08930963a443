#include "ui/payment/KOVAutoFlowNavigationController.h"

#include <cmath>

#include "core/KOVAppManager.h"
#include "core/KOVConfigurations.h"
#include "core/KOVConnect.h"
#include "core/KOVConstants.h"
#include "core/Kova.h"
#include "core/Localizer.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVAccount.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVSubaccount.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Text.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/Application.h"
#include "platform/ui/DisplayLink.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NotificationCenter.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVImageManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/ViewStyling.h"
#include "ui/payment/KOVAmountEntry.h"
#include "ui/payment/KOVPaymentAccounts.h"
#include "ui/payment/KOVTransferLoaderViewController.h"

namespace kova {

namespace {

std::shared_ptr<platform::RefreshSource> &loaderRefreshSource()
{
    static std::shared_ptr<platform::RefreshSource> source;
    return source;
}

const QString s_dismissedNotification = QStringLiteral("KovaUIDismissed");

// The controller a new screen goes over: the end of the key window's
// presented chain, so nothing is refused for presenting over a controller
// that already presents.
std::shared_ptr<platform::ViewController> presentationAnchor()
{
    std::shared_ptr<platform::ViewController> anchor = platform::Application::shared().presentationAnchor();
    // A screen inside a container presents through that container, so that
    // whatever it shows leaves with the container.
    while (anchor && anchor->parentViewController())
        anchor = anchor->parentViewController()->shared_from_this();
    return anchor;
}

std::shared_ptr<KOVConfigurations> options()
{
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    return kova ? kova->configurations() : nullptr;
}

platform::Error invalidAmountError()
{
    return platform::Error::withDescription(KOVErrorDomain, KOVErrorInvalidAmount, QStringLiteral("Invalid amount"));
}

// The sheets this flow puts over itself: a clear bar with the dismiss
// button, its title in the look's face.
std::shared_ptr<platform::NavigationController> sheetNavigation(std::shared_ptr<platform::ViewController> root)
{
    auto navigation = std::make_shared<platform::NavigationController>(std::move(root));
    navigation->setTransparentNavigationBar();
    navigation->addDismissButtonIfNeeded();
    setKOVNavigationTitleFont(*navigation);
    return navigation;
}

} // namespace

KOVAutoFlowNavigationController::KOVAutoFlowNavigationController(const KOVAutoFlowRequest &request)
    : m_connection(request.connection),
      m_sendingAccount(request.account),
      m_amount(request.amount),
      m_beneficiary(request.beneficiary),
      m_wireBeneficiary(request.wireBeneficiary),
      m_isWire(request.isWire),
      m_remark(request.remark),
      m_transferCompletion(request.completion)
{
    setModalPresentationStyle(platform::ModalPresentationStyle::PageSheet);
}

KOVAutoFlowNavigationController::~KOVAutoFlowNavigationController()
{
    stopLoaderClock();
}

void KOVAutoFlowNavigationController::setLoaderRefreshSource(std::shared_ptr<platform::RefreshSource> source)
{
    loaderRefreshSource() = std::move(source);
}

std::shared_ptr<KOVAutoFlowNavigationController> KOVAutoFlowNavigationController::self()
{
    return sharedAs<KOVAutoFlowNavigationController>();
}

platform::Error KOVAutoFlowNavigationController::cancelError()
{
    return platform::Error::withDescription(
        KOVErrorDomain, KOVErrorUserCancelled, Localizer::getLocalizedStringByKey(QStringLiteral("UserCanceledAccountSelection")));
}

void KOVAutoFlowNavigationController::viewDidLoad()
{
    platform::NavigationController::viewDidLoad();
    m_alertMessages = {Localizer::getLocalizedStringByKey(QStringLiteral("ConnectingWithYourBank"))};
    for (int i = 1; i <= 6; ++i)
        m_alertMessages << Localizer::getLocalizedStringByKey(QStringLiteral("TransferLoaderMessage%1").arg(i));
    presentationController().setDelegate(self());
    setKOVNavigationTitleFont(*this);

    std::shared_ptr<platform::ViewController> first;
    if (!m_sendingAccount) {
        m_accounts = std::make_shared<KOVAccountsViewController>(m_connection);
        m_accounts->setDelegate(self());
        first = m_accounts;
    } else {
        // With an amount given as well (a host-built flow), the pad shows it.
        first = createNumPadViewController();
        if (!KOVBankConnection::isAbsentAmount(m_amount))
            m_numPad->setAmount(m_amount);
    }
    setViewControllers({first}, false);
    setupNavigationItemsForNavigationController(*this);
}

void KOVAutoFlowNavigationController::setupNavigationItemsForNavigationController(platform::NavigationController &navigation)
{
    // The bar's own colour (its "bar tint"), not the tint of its items.
    navigation.navigationBar()->setBarBackgroundColor(KOVTheme::navigationViewBackgroundColor());
    if (navigation.viewControllers().empty())
        return;
    std::weak_ptr<KOVAutoFlowNavigationController> weak = self();
    navigation.viewControllers().front()->navigationItem().setLeftBarButtonItems(
        {platform::BarButtonItem::withImage(AssetsLoader::imageNamed(QStringLiteral("LeftArrowTransparent")),
                                            platform::BarButtonItem::Style::Done, [weak] {
                                                if (const auto self = weak.lock())
                                                    self->backButtonTapped();
                                            })});
}

void KOVAutoFlowNavigationController::dismissSelf()
{
    dismiss(true);
}

// --- Cancel ---

void KOVAutoFlowNavigationController::reportCancel()
{
    const QList<std::shared_ptr<KOVAccount>> accounts = m_connection ? m_connection->accounts() : QList<std::shared_ptr<KOVAccount>>();
    const std::shared_ptr<KOVAccount> first = accounts.isEmpty() ? nullptr : accounts.first();
    auto completion = std::move(m_transferCompletion);
    m_transferCompletion = nullptr;
    if (completion)
        completion(first, m_amount, cancelError(), QString(), QString());
}

void KOVAutoFlowNavigationController::backButtonTapped()
{
    if (!m_state.cancel())
        return;
    // Held until the flow has gone and the cancel is reported.
    auto keep = self();
    closeFlow([keep] { keep->reportCancel(); });
}

bool KOVAutoFlowNavigationController::presentationControllerShouldDismiss(platform::PresentationController &controller)
{
    if (&controller.presentedViewController() == this)
        return m_state.phase() == KOVPaymentFlowState::Phase::Choosing && !presentedViewController();
    // The amount pad's own container may be swiped back to the picker while
    // nothing runs; result screens only close through their button.
    if (m_numPad && &controller.presentedViewController() == m_numPad->navigationController())
        return m_state.phase() == KOVPaymentFlowState::Phase::Choosing;
    return false;
}

void KOVAutoFlowNavigationController::presentationControllerDidDismiss(platform::PresentationController &controller)
{
    if (&controller.presentedViewController() != this)
        return;
    if (m_state.cancel())
        reportCancel();
}

void KOVAutoFlowNavigationController::dismissByHost(std::function<void()> completion)
{
    auto keep = self();
    switch (m_state.hostDismissed()) {
    case KOVPaymentFlowState::HostDismissal::ReportCancel:
        closeFlow([keep, completion = std::move(completion)]() mutable {
            keep->reportCancel();
            if (completion)
                completion();
        });
        return;
    case KOVPaymentFlowState::HostDismissal::SkipScreens:
    case KOVPaymentFlowState::HostDismissal::Nothing:
        closeFlow(std::move(completion));
        return;
    }
}

void KOVAutoFlowNavigationController::closeFlow(std::function<void()> then)
{
    auto keep = self();
    auto dismissSelfThen = [keep, then = std::move(then)]() mutable {
        if (!keep->presentingViewController()) {
            // Already gone (the user's swipe): nothing left to take away.
            platform::MainQueue::async([then = std::move(then)]() mutable {
                if (then)
                    then();
            });
            return;
        }
        keep->dismiss(true, [then = std::move(then)]() mutable {
            if (then)
                then();
        });
    };
    // Whatever the coordinator presents goes first, then the coordinator.
    if (presentedViewController())
        dismiss(true, std::move(dismissSelfThen));
    else
        dismissSelfThen();
}

// --- Picker, sub-accounts and the amount pad ---

std::shared_ptr<KOVNumPadDisplayViewController> KOVAutoFlowNavigationController::createNumPadViewController()
{
    m_numPad = std::make_shared<KOVNumPadDisplayViewController>();
    m_numPad->setMinimumAmount(m_minimumAmount);
    m_numPad->setMaximumAmount(m_maximumAmount);
    if (m_sendingAccount) {
        m_numPad->setBalance(m_sendingAccount->balance());
        m_numPad->setCurrency(m_sendingAccount->currency().code());
    }
    m_numPad->setTitle(Localizer::getLocalizedStringByKey(QStringLiteral("EnterAmount")));
    m_numPad->setDelegate(self());
    return m_numPad;
}

std::shared_ptr<platform::NavigationController> KOVAutoFlowNavigationController::createNumPadNavigationController()
{
    auto navigation = sheetNavigation(createNumPadViewController());
    navigation->presentationController().setDelegate(self());
    return navigation;
}

void KOVAutoFlowNavigationController::presentNumPadContainer()
{
    const auto anchor = presentationAnchor();
    if (!anchor) {
        m_state.endStep();
        return;
    }
    auto keep = self();
    if (!anchor->present(createNumPadNavigationController(), true, [keep] { keep->m_state.endStep(); }))
        m_state.endStep();
}

void KOVAutoFlowNavigationController::accountsViewControllerDidSelectSubaccount(KOVAccountsViewController &,
                                                                               const std::shared_ptr<KOVSubaccount> &subaccount)
{
    if (!subaccount || m_state.phase() != KOVPaymentFlowState::Phase::Choosing)
        return;
    if (KOVBankConnection::isAbsentAmount(m_amount)) {
        if (!m_state.beginStep())
            return;
        m_sendingAccount = subaccount->toAccount();
        presentNumPadContainer();
        return;
    }
    m_sendingAccount = subaccount->toAccount();
    executePayment(m_sendingAccount, m_amount);
}

void KOVAutoFlowNavigationController::accountsViewControllerDidSelectAccountConnection(
    KOVAccountsViewController &, const std::shared_ptr<KOVConnection> &connection)
{
    if (!connection)
        return;
    m_subaccounts = std::make_shared<KOVSubaccountsViewController>(connection->subaccounts());
    m_subaccounts->setDelegate(self());
    auto navigation = sheetNavigation(m_subaccounts);
    auto *logo = new platform::ImageView;
    logo->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    const auto bankInfo = connection->bankInfo();
    setImageURL(logo, bankInfo ? QUrl(bankInfo->miniLogo()) : QUrl());
    m_subaccounts->navigationItem().setTitleView(logo);
    present(navigation, true);
}

void KOVAutoFlowNavigationController::subaccountViewControllerDidSelectSubaccount(
    KOVSubaccountsViewController &controller, const std::shared_ptr<KOVSubaccount> &subaccount)
{
    if (!subaccount || !m_state.beginStep())
        return;
    m_sendingAccount = subaccount->toAccount();
    auto keep = self();
    platform::ViewController *list = controller.navigationController() ? static_cast<platform::ViewController *>(controller.navigationController())
                                                                       : &controller;
    list->dismiss(true, [keep] { keep->presentNumPadContainer(); });
}

void KOVAutoFlowNavigationController::numPadDisplayViewControllerDidSubmitValue(KOVNumPadDisplayViewController &,
                                                                               double value)
{
    const std::optional<double> whole = KOVAmountEntry::wholeAmount(value);
    if (!whole || m_state.phase() != KOVPaymentFlowState::Phase::Choosing)
        return;
    m_amount = *whole;
    executePayment(m_sendingAccount, m_amount);
}

void KOVAutoFlowNavigationController::accountsViewControllerDidRequestRefreshForUserID(KOVAccountsViewController &,
                                                                                      const QString &userID,
                                                                                      RefreshCompletion completion)
{
    KOVPaymentAccounts::refreshAccountsForUserID(userID, m_connection ? m_connection->clientUserID() : QString(),
                                                 std::move(completion));
}

void KOVAutoFlowNavigationController::accountsViewControllerDidRequestDeleteForUserID(KOVAccountsViewController &,
                                                                                     const QString &userID)
{
    if (userID.isEmpty())
        return;
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    if (!kova)
        return;
    std::shared_ptr<KOVBankConnection> target;
    for (const auto &listed : kova->getConnections()) {
        if (listed->userID() == userID) {
            target = listed;
            break;
        }
    }
    if (!target)
        return;
    const QString clientUserID = m_connection ? m_connection->clientUserID() : QString();
    target->deleteConnection([target, userID, clientUserID](std::shared_ptr<KOVResult>, OptionalError) {
        platform::ManagedObjectContext &context = KOVAppManager::sharedInstance().viewContext();
        for (const auto &stored : context.fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID(userID, clientUserID, false)))
            context.deleteObject(stored);
        KOVAppManager::sharedInstance().saveContext();
    });
}

void KOVAutoFlowNavigationController::accountsViewControllerDidRequestAddAccount(KOVAccountsViewController &)
{
    if (m_state.phase() != KOVPaymentFlowState::Phase::Choosing)
        return;
    m_connect = KOVConnect::initWithClientUserID(m_connection ? m_connection->clientUserID() : QString());
    if (!m_connect)
        return;
    m_connect->setDelegate(self());
    m_connect->presentWithBankID(QString());
}

void KOVAutoFlowNavigationController::connectDidSuccessfullyConnectToBankID(const QString &bankID,
                                                                            std::shared_ptr<KOVBankConnection> connection)
{
    if (m_accounts)
        m_accounts->fetchNonLoadedAccounts();
    const auto delegate = m_connectDelegate.lock();
    if (delegate && delegate->respondsTo(Method::DidSuccessfullyConnect))
        delegate->connectDidSuccessfullyConnectToBankID(bankID, std::move(connection));
}

void KOVAutoFlowNavigationController::connectDidFailConnectingToBankID(const QString &bankID, const QString &error)
{
    const auto delegate = m_connectDelegate.lock();
    if (delegate && delegate->respondsTo(Method::DidFailConnecting))
        delegate->connectDidFailConnectingToBankID(bankID, error);
}

bool KOVAutoFlowNavigationController::respondsTo(Method method) const
{
    // Closing the add-bank screen tells nobody.
    return method == Method::DidSuccessfullyConnect || method == Method::DidFailConnecting;
}

// --- The transfer ---

std::shared_ptr<KOVTransferLoaderViewController>
KOVAutoFlowNavigationController::loadingAlertWithAttributedString(const QString &message)
{
    auto loader = std::make_shared<KOVTransferLoaderViewController>();
    loader->reserveRoomFor(m_alertMessages);
    loader->setMessage(message, 0, 4);
    return loader;
}

void KOVAutoFlowNavigationController::executePayment(const std::shared_ptr<KOVAccount> &account, double amount)
{
    if (!account || !m_state.beginTransfer())
        return;
    if (const auto delegate = m_flowDelegate.lock())
        delegate->autoflowNavigationControllerWillTransferAmount(*this, amount, account);

    startLoaderClock();
    m_alert = loadingAlertWithAttributedString(m_alertMessages.value(0));
    m_loaderPresented = false;
    auto keep = self();
    const auto anchor = presentationAnchor();
    auto presented = [keep] {
        keep->m_loaderPresented = true;
        if (auto pending = std::move(keep->m_afterLoaderPresented)) {
            keep->m_afterLoaderPresented = nullptr;
            pending();
        }
    };
    if (!anchor || !anchor->present(m_alert, true, presented))
        platform::MainQueue::async(presented);

    if (!(std::isfinite(amount) && amount > 0)) {
        // Never sent: nothing but a whole positive amount reaches the bank.
        handleResult(account, amount, invalidAmountError(), QString(), QString());
        return;
    }
    if (m_isWire)
        executeWirePayment(account, amount);
    else
        sendTransfer(account, amount);
}

void KOVAutoFlowNavigationController::executeWirePayment(const std::shared_ptr<KOVAccount> &account, double amount)
{
    sendTransfer(account, amount);
}

void KOVAutoFlowNavigationController::sendTransfer(const std::shared_ptr<KOVAccount> &account, double amount)
{
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    const QList<std::shared_ptr<KOVBankConnection>> listed = kova ? kova->getConnections() : QList<std::shared_ptr<KOVBankConnection>>();
    const std::shared_ptr<KOVBankConnection> owner =
        KOVPaymentAccounts::ownerOfAccount<KOVBankConnection>(account->accountID(), m_connection, listed);
    if (!owner) {
        handleResult(account, amount, KOVBankConnection::paymentFlowUnavailableError(), QString(), QString());
        return;
    }
    auto keep = self();
    // The owner may be a connection built just for this call: the block
    // keeps it alive until it has answered.
    auto result = [keep, owner](std::shared_ptr<KOVAccount> account, double amount, OptionalError error,
                                QString operationID, QString reference) {
        keep->handleResult(std::move(account), amount, std::move(error), std::move(operationID), std::move(reference));
    };
    if (m_isWire)
        owner->createWireTransferFromAccount(account, m_wireBeneficiary, amount, result, m_remark);
    else
        owner->createTransferFromAccount(account, m_beneficiary, amount, result, m_remark);
}

void KOVAutoFlowNavigationController::handleResult(std::shared_ptr<KOVAccount> account, double amount, OptionalError error,
                                                   QString operationID, QString reference)
{
    if (m_state.phase() != KOVPaymentFlowState::Phase::Transferring)
        return;
    if (!m_loaderPresented) {
        // The loader is still on its way in: the result waits for it, so
        // nothing is left on screen.
        auto keep = self();
        m_afterLoaderPresented = [keep, account, amount, error, operationID, reference]() mutable {
            keep->handleResult(std::move(account), amount, std::move(error), std::move(operationID), std::move(reference));
        };
        return;
    }
    // The options are read at the end of the transfer.
    const auto configured = options();
    const bool showsResult =
        configured && (error ? configured->showTransferErrorResult() : configured->showTransferSuccessfulResult());
    if (!m_state.finishTransfer(showsResult))
        return;
    stopLoaderClock();
    m_schedule.reset();
    auto keep = self();
    auto then = [keep, account, amount, error, operationID, reference]() mutable {
        keep->finishTransfer(std::move(account), amount, std::move(error), std::move(operationID), std::move(reference));
    };
    if (m_alert && m_alert->presentingViewController())
        m_alert->dismiss(true, std::move(then));
    else
        platform::MainQueue::async(std::move(then));
}

void KOVAutoFlowNavigationController::finishTransfer(std::shared_ptr<KOVAccount> account, double amount,
                                                     OptionalError error, QString operationID, QString reference)
{
    m_alert.reset();
    auto completion = std::move(m_transferCompletion);
    m_transferCompletion = nullptr;
    const bool failed = error.has_value();
    const platform::Error shownError = error.value_or(platform::Error());
    if (completion)
        completion(account, amount, error, operationID, failed ? QString() : reference);

    if (m_state.screensSkipped())
        return;
    if (m_state.phase() == KOVPaymentFlowState::Phase::ShowingResult) {
        if (failed)
            presentError(shownError);
        else
            presentSuccess(Localizer::getLocalizedStringByKey(QStringLiteral("TransferSuccessfulTitle")),
                           platform::fillPlaceholders(Localizer::getLocalizedStringByKey(QStringLiteral("SuccessfulTransferMessage")),
                                                      {reference}));
        return;
    }
    closeFlow(nullptr);
}

void KOVAutoFlowNavigationController::presentError(const platform::Error &error)
{
    auto screen = MessageViewController::initWithError(error, self());
    m_resultScreen = screen;
    screen->presentationController().setDelegate(self());
    if (const auto anchor = presentationAnchor())
        anchor->present(screen, true);
}

void KOVAutoFlowNavigationController::presentSuccess(const QString &title, const QString &message)
{
    auto screen = MessageViewController::initWithImageGifNamed(QStringLiteral("successful_transfer"), title, message, self());
    m_resultScreen = screen;
    screen->presentationController().setDelegate(self());
    if (const auto anchor = presentationAnchor())
        anchor->present(screen, true);
}

void KOVAutoFlowNavigationController::messageViewControllerDidTapButton(MessageViewController &)
{
    if (!m_state.closeResult())
        return;
    auto keep = self();
    // The result screen may sit over a screen inside the flow's containers
    // rather than over the coordinator itself: it leaves first.
    auto close = [keep] { keep->closeFlow([keep] { keep->m_resultScreen.reset(); }); };
    if (m_resultScreen && m_resultScreen->presentingViewController())
        m_resultScreen->dismiss(true, close);
    else
        close();
    platform::NotificationCenter::defaultCenter().post(s_dismissedNotification);
}

// --- The loader's clock ---

void KOVAutoFlowNavigationController::startLoaderClock()
{
    stopLoaderClock();
    m_schedule.reset();
    m_ticksShown = 0;
    std::weak_ptr<KOVAutoFlowNavigationController> weak = self();
    m_clock = platform::DisplayLink::create(
        [weak](platform::DisplayLink &link) {
            const auto self = weak.lock();
            if (!self)
                return;
            // One tick per whole second since the loader opened, whichever
            // refresh the second ends on.
            const int due = int((link.source()->currentMediaTime() - self->m_clockStart) + 1e-6);
            while (self->m_clock && self->m_ticksShown < due) {
                ++self->m_ticksShown;
                self->changeTextAlertEverySecCalled();
            }
        },
        loaderRefreshSource());
    m_clockStart = m_clock->source()->currentMediaTime();
    m_clock->add(platform::RunLoopMode::Common);
}

void KOVAutoFlowNavigationController::stopLoaderClock()
{
    if (m_clock) {
        m_clock->invalidate();
        m_clock.reset();
    }
}

void KOVAutoFlowNavigationController::changeTextAlertEverySecCalled()
{
    const KOVTransferLoaderSchedule::Step step = m_schedule.tick();
    if (m_alert)
        m_alert->setMessage(m_alertMessages.value(step.messageIndex), step.visibleDots, 3 - step.visibleDots);
}

} // namespace kova
