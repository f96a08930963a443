#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "core/api/KOVCompletions.h"
#include "core/api/KOVCredentials.h"
#include "core/api/KOVMFAPresenter.h"

namespace kova {

class KOVBeneficiary;
class KOVConnection;
class KOVResumable;
class KOVWireBeneficiary;
class MFAParameter;

// The request engine: one operation per service call. Each builds its body,
// posts it through a new KOVAPIManager, turns a good reply into records and
// calls the completion on the main queue; a reply that asks the user for
// more input is shown as MFA prompts and then sent again with the answers.
class KOVRepository : public std::enable_shared_from_this<KOVRepository> {
public:
    static std::shared_ptr<KOVRepository> initWithConnection(std::shared_ptr<KOVConnection> connection);

    const std::shared_ptr<KOVConnection> &connection() const { return m_connection; }

    void exchangeUserID(const QString &userID, const QString &accessCode, const QString &tokenID,
                        const QString &connectionID, KOVExchangeCompletion completion);

    void getIdentityUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                               std::shared_ptr<KOVResumable> resumable, KOVIdentityCompletion completion);
    void getAccountsUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                               std::shared_ptr<KOVResumable> resumable, KOVAccountsCompletion completion);
    void getCardsUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                            std::shared_ptr<KOVResumable> resumable, KOVCardsCompletion completion);
    void getAccountMetadataUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                                      std::shared_ptr<KOVResumable> resumable, KOVMetadataCompletion completion);
    void getTransactionsForAccountID(const QString &accountID, const QString &userSecret, const QString &tokenID,
                                     const QDateTime &fromDate, const QDateTime &toDate, const QString &bankID,
                                     std::shared_ptr<KOVResumable> resumable, KOVTransactionsCompletion completion);
    void getTransactionsForCardID(const QString &cardID, const QString &userSecret, const QString &tokenID,
                                  const QDateTime &fromDate, const QDateTime &toDate, const QString &bankID,
                                  std::shared_ptr<KOVResumable> resumable, KOVTransactionsCompletion completion);
    void getBeneficiariesUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                                    std::shared_ptr<KOVResumable> resumable, KOVBeneficiariesCompletion completion);
    void getWireBeneficiariesUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                                        std::shared_ptr<KOVResumable> resumable,
                                        KOVWireBeneficiariesCompletion completion);
    void createBeneficiary(std::shared_ptr<KOVBeneficiary> beneficiary, const QString &userSecret,
                           const QString &tokenID, const QString &bankID, std::shared_ptr<KOVResumable> resumable,
                           KOVResultCompletion completion);
    void createWireBeneficiary(std::shared_ptr<KOVWireBeneficiary> beneficiary, const QString &userSecret,
                               const QString &tokenID, const QString &bankID, std::shared_ptr<KOVResumable> resumable,
                               KOVResultCompletion completion);
    void createTransferToExistingBeneficiaryFromAccount(const QString &accountID, const QString &beneficiaryID,
                                                        double amount, const QString &remark,
                                                        const QString &userSecret, const QString &tokenID,
                                                        const QString &bankID, std::shared_ptr<KOVResumable> resumable,
                                                        KOVResultCompletion completion);
    void createWireTransferToExistingBeneficiaryFromAccount(const QString &accountID, const QString &beneficiaryID,
                                                            double amount, const QString &remark,
                                                            const QString &userSecret, const QString &tokenID,
                                                            const QString &bankID,
                                                            std::shared_ptr<KOVResumable> resumable,
                                                            KOVResultCompletion completion);
    void createTransferFromAccountID(const QString &accountID, std::shared_ptr<KOVBeneficiary> beneficiary,
                                     double amount, const QString &userSecret, const QString &tokenID,
                                     const QString &remark, const QString &bankID,
                                     std::shared_ptr<KOVResumable> resumable, KOVResultCompletion completion);
    void createWireTransferFromAccountID(const QString &accountID, std::shared_ptr<KOVWireBeneficiary> beneficiary,
                                         double amount, const QString &userSecret, const QString &tokenID,
                                         const QString &remark, const QString &bankID,
                                         std::shared_ptr<KOVResumable> resumable, KOVResultCompletion completion);
    void delinkUserWithUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                                  std::shared_ptr<KOVResumable> resumable, KOVDelinkCompletion completion);

    // Whether the host's settings carry a non-blank "KOVConnectAppKey".
    static bool hasValidAppKey();

    // MFA hand-off.
    static bool responseHasUserInputRequired(const QJsonObject &response);
    static QList<std::shared_ptr<MFAParameter>> userInputsFromResponse(const QJsonObject &response);
    // Shows the prompts; the completion runs once, on the main queue, with
    // the answered prompts and whether any answer is blank (a cancel is an
    // empty list and blank).
    void resolveMFAWithResponse(const QJsonObject &response,
                                std::function<void(QList<std::shared_ptr<MFAParameter>> prompts, bool anyBlank)> completion);
    static bool presentationControllerShouldDismiss() { return false; }


    // "yyyy-MM-dd" in the device's time zone, Gregorian, ASCII digits.
    static QString formatRequestDate(const QDateTime &date);
    // The localised cool-down text, or a null text when the period is unusable.
    static QString coolDownMessage(const QString &key, const QJsonValue &coolDownPeriod);

private:
    explicit KOVRepository(std::shared_ptr<KOVConnection> connection);

    template <typename Result>
    void perform(const QString &endPoint, std::function<QJsonObject()> makeOwnBody,
                 std::function<Result(const QJsonObject &reply)> makeResult, KOVDataCompletion<Result> completion,
                 std::shared_ptr<KOVResumable> resumable, bool operationIDFromResult);
    QJsonObject commonBody(QJsonObject body, const KOVCredentials &credentials) const;
    void transactionsFor(const QString &idKey, const QString &id, const KOVCredentials &credentials,
                         const QDateTime &fromDate, const QDateTime &toDate, std::shared_ptr<KOVResumable> resumable,
                         KOVTransactionsCompletion completion);
    void transferToExistingBeneficiary(const QString &endPoint, const QString &coolDownKey, const QString &accountID,
                                       const QString &beneficiaryID, double amount, const QString &remark,
                                       const KOVCredentials &credentials, std::shared_ptr<KOVResumable> resumable,
                                       KOVResultCompletion completion);
    // The wire form carries the beneficiary after the bank ID, the other before the user ID.
    void transferToBeneficiaryObject(const QString &endPoint, const QString &coolDownKey, const QString &accountID,
                                     const QJsonValue &beneficiary, bool beneficiaryLast, double amount,
                                     const QString &remark, const KOVCredentials &credentials,
                                     std::shared_ptr<KOVResumable> resumable, KOVResultCompletion completion);
    void createBeneficiaryFromFields(const QString &endPoint, const QJsonObject &fields,
                                     const KOVCredentials &credentials, std::shared_ptr<KOVResumable> resumable,
                                     KOVResultCompletion completion);
    // The body of a call with no keys of its own.
    std::function<QJsonObject()> loginBody(const KOVCredentials &credentials);

    std::shared_ptr<KOVConnection> m_connection;
};

} // namespace kova
