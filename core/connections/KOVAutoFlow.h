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
// through. The screens provider makes it; without one, a transfer that needs
// the flow ends with an error instead.
class KOVAutoFlow {
public:
    virtual ~KOVAutoFlow() = default;

    static std::shared_ptr<KOVAutoFlow> make(const KOVAutoFlowRequest &request);

    virtual void present() = 0;
};

} // namespace kova
