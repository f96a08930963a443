#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"

namespace kova {

class KOVAccount;
class KOVBankConnection;
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

// The payment flow that a transfer lacking an account or an amount runs
// through. The payment screens provide it; until they are installed, a
// transfer that needs the flow ends with an error instead.
class KOVAutoFlow {
public:
    using Factory = std::function<std::shared_ptr<KOVAutoFlow>(const KOVAutoFlowRequest &request)>;

    virtual ~KOVAutoFlow() = default;

    static std::shared_ptr<KOVAutoFlow> make(const KOVAutoFlowRequest &request);
    static void setFactory(Factory factory);

    virtual void present() = 0;
};

} // namespace kova
