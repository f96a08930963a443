#include "core/api/KOVPayment.h"

#include "core/api/KOVRepository.h"

namespace kova {

std::shared_ptr<KOVPayment> KOVPayment::initWithUserID(const QString &userID, const QString &clientUserID,
                                                      std::shared_ptr<KOVConnection> record, platform::Error *error)
{
    std::shared_ptr<KOVPayment> facade(new KOVPayment(userID, clientUserID));
    return facade->load(std::move(record), error) ? facade : nullptr;
}

std::shared_ptr<KOVRepository> KOVPayment::repository() const
{
    return KOVRepository::initWithConnection(connection());
}

void KOVPayment::getBeneficiaries(KOVBeneficiariesCompletion completion)
{
    repository()->getBeneficiariesUserSecret(userSecret(), tokenID(), bankID(), nullptr, std::move(completion));
}

void KOVPayment::getWireBeneficiaries(KOVWireBeneficiariesCompletion completion)
{
    repository()->getWireBeneficiariesUserSecret(userSecret(), tokenID(), bankID(), nullptr, std::move(completion));
}

void KOVPayment::createBeneficiary(std::shared_ptr<KOVBeneficiary> beneficiary, KOVResultCompletion completion)
{
    repository()->createBeneficiary(std::move(beneficiary), userSecret(), tokenID(), bankID(), nullptr,
                                    std::move(completion));
}

void KOVPayment::createWireBeneficiary(std::shared_ptr<KOVWireBeneficiary> beneficiary, KOVResultCompletion completion)
{
    repository()->createWireBeneficiary(std::move(beneficiary), userSecret(), tokenID(), bankID(), nullptr,
                                        std::move(completion));
}

void KOVPayment::createTransferToExistingBeneficiaryFromAccount(const QString &accountID, const QString &beneficiaryID,
                                                                double amount, const QString &remark,
                                                                KOVResultCompletion completion)
{
    repository()->createTransferToExistingBeneficiaryFromAccount(accountID, beneficiaryID, amount, remark, userSecret(),
                                                                 tokenID(), bankID(), nullptr, std::move(completion));
}

void KOVPayment::createWireTransferToExistingBeneficiaryFromAccount(const QString &accountID,
                                                                    const QString &beneficiaryID, double amount,
                                                                    const QString &remark,
                                                                    KOVResultCompletion completion)
{
    repository()->createWireTransferToExistingBeneficiaryFromAccount(
        accountID, beneficiaryID, amount, remark, userSecret(), tokenID(), bankID(), nullptr, std::move(completion));
}

void KOVPayment::createWireTransferFromAccountID(const QString &accountID, double amount,
                                                 std::shared_ptr<KOVWireBeneficiary> beneficiary, const QString &remark,
                                                 KOVResultCompletion completion)
{
    repository()->createWireTransferFromAccountID(accountID, std::move(beneficiary), amount, userSecret(), tokenID(),
                                                  remark, bankID(), nullptr, std::move(completion));
}

void KOVPayment::createTransferFromAccountID(const QString &accountID, double amount,
                                             std::shared_ptr<KOVBeneficiary> beneficiary, const QString &remark,
                                             KOVResultCompletion completion)
{
    repository()->createTransferFromAccountID(accountID, std::move(beneficiary), amount, userSecret(), tokenID(),
                                              remark, bankID(), nullptr, std::move(completion));
}

} // namespace kova
