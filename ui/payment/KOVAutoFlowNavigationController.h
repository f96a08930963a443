#pragma once

#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "core/KOVConnectDelegate.h"
#include "core/connections/KOVAutoFlow.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "ui/messages/MessageViewController.h"
#include "ui/payment/KOVAccountsViewController.h"
#include "ui/payment/KOVNumPadDisplayViewController.h"
#include "ui/payment/KOVPaymentFlowState.h"
#include "ui/payment/KOVSubaccountsViewController.h"
#include "ui/payment/KOVTransferLoaderSchedule.h"

namespace kova {

class KOVAutoFlowNavigationController;
class KOVConnect;
class KOVConnection;
class KOVTransferLoaderViewController;
namespace platform {
class DisplayLink;
class RefreshSource;
} // namespace platform

// What the coordinator tells its owner. Only the first is sent; the others
// exist for owners that want them.
class KOVAutoFlowNavigationControllerDelegate {
public:
    using BeneficiaryInfo = std::function<void(std::shared_ptr<KOVBeneficiary>)>;
    using WireBeneficiaryInfo = std::function<void(std::shared_ptr<KOVWireBeneficiary>)>;

    virtual ~KOVAutoFlowNavigationControllerDelegate() = default;
    virtual void autoflowNavigationControllerWillTransferAmount(KOVAutoFlowNavigationController &controller,
                                                                double amount,
                                                                const std::shared_ptr<KOVAccount> &account) = 0;
    virtual void autoflowNavigationControllerBeneficiaryInfoForBankWithID(KOVAutoFlowNavigationController &controller,
                                                                          const QString &bankID,
                                                                          const std::shared_ptr<KOVAccount> &senderAccount,
                                                                          BeneficiaryInfo beneficiaryInfo) = 0;
    virtual void autoflowNavigationControllerWireBeneficiaryInfoForBankWithID(
        KOVAutoFlowNavigationController &controller, const QString &bankID,
        const std::shared_ptr<KOVAccount> &senderAccount, WireBeneficiaryInfo wireBeneficiaryInfo) = 0;
    virtual void autoflowNavigationControllerDidSuccessfullyTransferAmount(KOVAutoFlowNavigationController &controller,
                                                                           double amount,
                                                                           const std::shared_ptr<KOVAccount> &account,
                                                                           const QString &toAccuntID) = 0;
    virtual void autoflowNavigationControllerDidFailToTransferFromAccount(KOVAutoFlowNavigationController &controller,
                                                                          const std::shared_ptr<KOVAccount> &account,
                                                                          const QString &toAccuntID,
                                                                          const platform::Error &error) = 0;
};

// The payment flow's coordinator, shown modally: it picks the first screen,
// answers the picker, the amount pad, the sub-accounts list, the add-bank
// connect screen and the result screens, runs the one transfer of the flow
// with its loader, and reports the flow's end exactly once.
class KOVAutoFlowNavigationController : public platform::NavigationController,
                                        public platform::PresentationControllerDelegate,
                                        public KOVConnectDelegate,
                                        public KOVAccountsViewControllerDelegate,
                                        public KOVSubaccountsViewControllerDelegate,
                                        public MessageViewControllerDelegate,
                                        public KOVNumPadDisplayViewControllerDelegate {
    Q_OBJECT
public:
    explicit KOVAutoFlowNavigationController(const KOVAutoFlowRequest &request);
    ~KOVAutoFlowNavigationController() override;

    // The loader's one-second clock; tests put a manual one in its place.
    static void setLoaderRefreshSource(std::shared_ptr<platform::RefreshSource> source);

    std::shared_ptr<KOVConnectDelegate> connectDelegate() const { return m_connectDelegate.lock(); }
    void setConnectDelegate(std::weak_ptr<KOVConnectDelegate> delegate) { m_connectDelegate = std::move(delegate); }
    std::shared_ptr<KOVAutoFlowNavigationControllerDelegate> autoFlowNavigationControllerDelegate() const
    {
        return m_flowDelegate.lock();
    }
    void setAutoFlowNavigationControllerDelegate(std::weak_ptr<KOVAutoFlowNavigationControllerDelegate> delegate)
    {
        m_flowDelegate = std::move(delegate);
    }
    const std::shared_ptr<KOVBankConnection> &connection() const { return m_connection; }
    quint64 minimumAmount() const { return m_minimumAmount; }
    void setMinimumAmount(quint64 amount) { m_minimumAmount = amount; }
    quint64 maximumAmount() const { return m_maximumAmount; }
    void setMaximumAmount(quint64 amount) { m_maximumAmount = amount; }
    const std::shared_ptr<KOVNumPadDisplayViewController> &numPadDisplayViewController() const { return m_numPad; }
    const std::shared_ptr<KOVAccountsViewController> &accountsViewController() const { return m_accounts; }
    const std::shared_ptr<KOVSubaccountsViewController> &subaccountsViewController() const { return m_subaccounts; }
    const std::shared_ptr<KOVConnect> &webConnect() const { return m_connect; }
    const std::shared_ptr<KOVAccount> &sendingAccount() const { return m_sendingAccount; }
    double amount() const { return m_amount; }
    bool isWire() const { return m_isWire; }
    const QStringList &alertMessages() const { return m_alertMessages; }
    const std::shared_ptr<KOVTransferLoaderViewController> &alert() const { return m_alert; }
    const KOVTransferLoaderSchedule &loaderSchedule() const { return m_schedule; }
    const KOVPaymentFlowState &flowState() const { return m_state; }

    void viewDidLoad() override;
    void setupNavigationItemsForNavigationController(platform::NavigationController &navigation);
    void dismissSelf();
    // The host took the flow away (KOVAutoFlow's dismissWithCompletion).
    void dismissByHost(std::function<void()> completion);

    // Transfer step.
    std::shared_ptr<KOVTransferLoaderViewController> loadingAlertWithAttributedString(const QString &message);
    void executePayment(const std::shared_ptr<KOVAccount> &account, double amount);
    void executeWirePayment(const std::shared_ptr<KOVAccount> &account, double amount);
    void changeTextAlertEverySecCalled();

    // Result and cancel.
    void presentError(const platform::Error &error);
    void presentSuccess(const QString &title, const QString &message);
    void backButtonTapped();
    static platform::Error cancelError();

    // Sub-accounts and refresh.
    void accountsViewControllerDidSelectAccountConnection(KOVAccountsViewController &controller,
                                                          const std::shared_ptr<KOVConnection> &connection);
    std::shared_ptr<platform::NavigationController> createNumPadNavigationController();
    std::shared_ptr<KOVNumPadDisplayViewController> createNumPadViewController();

    // Delegates.
    void accountsViewControllerDidSelectSubaccount(KOVAccountsViewController &controller,
                                                   const std::shared_ptr<KOVSubaccount> &subaccount) override;
    void accountsViewControllerDidRequestRefreshForUserID(KOVAccountsViewController &controller, const QString &userID,
                                                          RefreshCompletion completion) override;
    void accountsViewControllerDidRequestDeleteForUserID(KOVAccountsViewController &controller,
                                                         const QString &userID) override;
    void accountsViewControllerDidRequestAddAccount(KOVAccountsViewController &controller) override;
    void subaccountViewControllerDidSelectSubaccount(KOVSubaccountsViewController &controller,
                                                     const std::shared_ptr<KOVSubaccount> &subaccount) override;
    void numPadDisplayViewControllerDidSubmitValue(KOVNumPadDisplayViewController &controller, double value) override;
    void messageViewControllerDidTapButton(MessageViewController &controller) override;
    void connectDidSuccessfullyConnectToBankID(const QString &bankID,
                                               std::shared_ptr<KOVBankConnection> connection) override;
    void connectDidFailConnectingToBankID(const QString &bankID, const QString &error) override;
    bool respondsTo(Method method) const override;
    bool presentationControllerShouldDismiss(platform::PresentationController &controller) override;
    void presentationControllerDidDismiss(platform::PresentationController &controller) override;

private:
    void handleResult(std::shared_ptr<KOVAccount> account, double amount, OptionalError error, QString operationID,
                      QString reference);
    void finishTransfer(std::shared_ptr<KOVAccount> account, double amount, OptionalError error, QString operationID,
                        QString reference);
    void sendTransfer(const std::shared_ptr<KOVAccount> &account, double amount);
    void closeFlow(std::function<void()> then);
    void reportCancel();
    void startLoaderClock();
    void stopLoaderClock();
    void presentNumPadContainer();
    std::shared_ptr<KOVAutoFlowNavigationController> self();

    std::weak_ptr<KOVConnectDelegate> m_connectDelegate;
    std::weak_ptr<KOVAutoFlowNavigationControllerDelegate> m_flowDelegate;
    std::shared_ptr<KOVBankConnection> m_connection;
    quint64 m_minimumAmount = 0;
    quint64 m_maximumAmount = 0;
    std::shared_ptr<KOVNumPadDisplayViewController> m_numPad;
    std::shared_ptr<KOVAccountsViewController> m_accounts;
    std::shared_ptr<KOVSubaccountsViewController> m_subaccounts;
    std::shared_ptr<KOVConnect> m_connect;
    std::shared_ptr<KOVAccount> m_sendingAccount;
    double m_amount = 0;
    std::shared_ptr<KOVBeneficiary> m_beneficiary;
    std::shared_ptr<KOVWireBeneficiary> m_wireBeneficiary;
    bool m_isWire = false;
    QString m_remark;
    KOVTransferReferenceCompletion m_transferCompletion;

    QStringList m_alertMessages;
    std::shared_ptr<KOVTransferLoaderViewController> m_alert;
    KOVTransferLoaderSchedule m_schedule;
    std::shared_ptr<platform::DisplayLink> m_clock;
    double m_clockStart = 0;
    int m_ticksShown = 0;
    KOVPaymentFlowState m_state;
    bool m_loaderPresented = false;
    std::function<void()> m_afterLoaderPresented;
    std::shared_ptr<platform::ViewController> m_resultScreen;
};

} // namespace kova
