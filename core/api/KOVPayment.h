#pragma once

#include "core/api/KOVAPI.h"
#include "core/api/KOVCompletions.h"

namespace kova {

class KOVBeneficiary;
class KOVWireBeneficiary;

// Beneficiaries and transfers of one login. It only forwards: nothing is
// stored and nothing removed, whatever the answer.
class KOVPayment : public KOVAPI {
public:
    static std::shared_ptr<KOVPayment> initWithUserID(const QString &userID, const QString &clientUserID,
                                            std::shared_ptr<KOVConnection> record = nullptr,
                                         platform::Error *error = nullptr);

    void getBeneficiaries(KOVBeneficiariesCompletion completion);
    void getWireBeneficiaries(KOVWireBeneficiariesCompletion completion);
    void createBeneficiary(std::shared_ptr<KOVBeneficiary> beneficiary, KOVResultCompletion completion);
    void createWireBeneficiary(std::shared_ptr<KOVWireBeneficiary> beneficiary, KOVResultCompletion completion);
    void createTransferToExistingBeneficiaryFromAccount(const QString &accountID, const QString &beneficiaryID,
                                                        double amount, const QString &remark,
                                                        KOVResultCompletion completion);
    void createWireTransferToExistingBeneficiaryFromAccount(const QString &accountID, const QString &beneficiaryID,
                                                            double amount, const QString &remark,
                                                            KOVResultCompletion completion);
    void createWireTransferFromAccountID(const QString &accountID, double amount,
                                         std::shared_ptr<KOVWireBeneficiary> beneficiary, const QString &remark,
                                         KOVResultCompletion completion);
    void createTransferFromAccountID(const QString &accountID, double amount,
                                     std::shared_ptr<KOVBeneficiary> beneficiary, const QString &remark,
                                     KOVResultCompletion completion);

private:
    using KOVAPI::KOVAPI;
    // A fresh repository for every call.
    std::shared_ptr<KOVRepository> repository() const;
};

} // namespace kova
