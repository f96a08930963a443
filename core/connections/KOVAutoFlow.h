#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"

namespace kova {

class KOVAccount;
class KOVAutoFlow;
class KOVBankConnection;
class KOVConnectDelegate;
class KOVBeneficiary;
class KOVWireBeneficiary;

// (account, amount, error, operation ID, reference number) of a transfer.
using KOVTransferReferenceCompletion =
    std::function<void(std::shared_ptr<KOVAccount> account, double amount, std::optional<platform::Error> error,
                       QString operationID, QString referenceNumber)>;
// (account, amount, error, operation ID).
using KOVTransferCompletion = std::function<void(std::shared_ptr<KOVAccount> account, double amount,
                                                 std::optional<platform::Error> error, QString operationID)>;

// What a payment flow is started with.
struct KOVAutoFlowRequest {
    std::shared_ptr<KOVBankConnection> connection;
    std::shared_ptr<KOVAccount> account;
    double amount = 0;
    std::shared_ptr<KOVBeneficiary> beneficiary;
    std::shared_ptr<KOVWireBeneficiary> wireBeneficiary;
    bool isWire = false;
    QString remark;
    KOVTransferReferenceCompletion completion;
};

// The host's payment-flow delegate. The notice is optional: a host that
// does not override it is not told.
class KOVAutoFlowDelegate {
public:
    virtual ~KOVAutoFlowDelegate() = default;
    virtual void autoFlowWillTransferAmount(KOVAutoFlow &flow, double amount, const std::shared_ptr<KOVAccount> &account)
    {
        (void)flow;
        (void)amount;
        (void)account;
    }
};

// The payment flow that a transfer lacking an account or an amount runs
// through: it holds the transfer's parameters as they were given and the
// host's delegates. The screens provider makes it; without one, a transfer
// that needs the flow ends with an error instead. A host may also make one
// itself (make()), set its delegates and bounds, and present it.
class KOVAutoFlow {
public:
    KOVAutoFlow() = default;
    explicit KOVAutoFlow(KOVAutoFlowRequest request) : m_request(std::move(request)) {}
    virtual ~KOVAutoFlow() = default;

    static std::shared_ptr<KOVAutoFlow> make(const KOVAutoFlowRequest &request);

    // Prepares the flow and shows it over the host's top screen.
    virtual void present() = 0;
    // Takes the flow off the screen; the block runs once it has gone (with
    // nothing on screen, on a later turn). A flow still waiting to go up
    // never does: its end is reported as the user's cancel.
    virtual void dismissWithCompletion(std::function<void()> completion);

    const std::shared_ptr<KOVBankConnection> &connection() const { return m_request.connection; }
    const std::shared_ptr<KOVAccount> &account() const { return m_request.account; }
    double amount() const { return m_request.amount; }
    const std::shared_ptr<KOVBeneficiary> &beneficiaryInfo() const { return m_request.beneficiary; }
    const std::shared_ptr<KOVWireBeneficiary> &wireBeneficiaryInfo() const { return m_request.wireBeneficiary; }
    bool isWire() const { return m_request.isWire; }
    const QString &remark() const { return m_request.remark; }
    const KOVTransferReferenceCompletion &transferCompletion() const { return m_request.completion; }

    // 0 takes the stored app configuration's bound when the flow is prepared.
    quint64 minimumAmount() const { return m_minimumAmount; }
    void setMinimumAmount(quint64 amount) { m_minimumAmount = amount; }
    quint64 maximumAmount() const { return m_maximumAmount; }
    void setMaximumAmount(quint64 amount) { m_maximumAmount = amount; }

    std::shared_ptr<KOVConnectDelegate> connectDelegate() const { return m_connectDelegate.lock(); }
    void setConnectDelegate(std::weak_ptr<KOVConnectDelegate> delegate) { m_connectDelegate = std::move(delegate); }
    std::shared_ptr<KOVAutoFlowDelegate> autoflowDelegate() const { return m_autoflowDelegate.lock(); }
    void setAutoflowDelegate(std::weak_ptr<KOVAutoFlowDelegate> delegate) { m_autoflowDelegate = std::move(delegate); }

protected:
    KOVAutoFlowRequest m_request;
    quint64 m_minimumAmount = 0;
    quint64 m_maximumAmount = 0;
    std::weak_ptr<KOVConnectDelegate> m_connectDelegate;
    std::weak_ptr<KOVAutoFlowDelegate> m_autoflowDelegate;
};

} // namespace kova
