#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

#include "core/api/KOVCompletions.h"
#include "core/connections/KOVAutoFlow.h"
#include "core/records/DictionaryRepresentable.h"

namespace kova {

class KOVAuth;
class KOVCard;
class KOVConnection;
class KOVData;
class KOVMetadata;
class KOVPayment;

// The host's handle on one linked bank login: a snapshot of the stored
// record with its bank, accounts and cards, and the calls that reach the
// service for it.
class KOVBankConnection : public DictionaryRepresentable, public std::enable_shared_from_this<KOVBankConnection> {
public:
    using ImportCompletion = std::function<void(std::shared_ptr<KOVBankConnection> connection, OptionalError error)>;

    static std::shared_ptr<KOVBankConnection> initWithConnection(std::shared_ptr<KOVConnection> connection);
    // The valid stored logins of the client user, oldest first, built afresh.
    static QList<std::shared_ptr<KOVBankConnection>> getConnectionsWithClientUserID(const QString &clientUserID);
    // Imports exported parameters as a new stored login, checked with a
    // metadata call before it is listed.
    static void create(const QJsonObject &parameters, ImportCompletion completion);

    QString debugDescription() const;
    QJsonObject getConnectionParameters() const;

    void getIdentity(KOVIdentityCompletion completion);
    void getAccounts(KOVAccountsCompletion completion);
    void getTransactionsForAccount(const std::shared_ptr<KOVAccount> &account, const QDateTime &fromDate,
                                   const QDateTime &toDate, KOVTransactionsCompletion completion);
    void getTransactionsForAccount(const std::shared_ptr<KOVAccount> &account, const QDateTime &fromDate,
                                   KOVTransactionsCompletion completion);
    void getBeneficiaries(KOVBeneficiariesCompletion completion);
    void getWireBeneficiaries(KOVWireBeneficiariesCompletion completion);
    void createBeneficiary(std::shared_ptr<KOVBeneficiary> beneficiary, KOVResultCompletion completion);
    void createWireBeneficiary(std::shared_ptr<KOVWireBeneficiary> beneficiary, KOVResultCompletion completion);
    void getAccountMetadata(KOVMetadataCompletion completion);
    void deleteConnection(KOVDelinkCompletion completion); // `delete:`
    void getCards(KOVCardsCompletion completion);
    void getTransactionsForCard(const std::shared_ptr<KOVCard> &card, const QDateTime &fromDate,
                                const QDateTime &toDate, KOVTransactionsCompletion completion);

    // Transfers to a beneficiary object: the deciding forms.
    void createTransfer(KOVTransferCompletion completion);
    void createTransferFromAccount(std::shared_ptr<KOVAccount> account, KOVTransferCompletion completion);
    void createTransferFromAccount(std::shared_ptr<KOVAccount> account, std::shared_ptr<KOVBeneficiary> beneficiary,
                                   KOVTransferCompletion completion);
    void createTransferToBeneficiary(std::shared_ptr<KOVBeneficiary> beneficiary, KOVTransferCompletion completion);
    void createTransferFromAccount(std::shared_ptr<KOVAccount> account, double amount, KOVTransferCompletion completion);
    void createTransferFromAccount(std::shared_ptr<KOVAccount> account, std::shared_ptr<KOVBeneficiary> beneficiary,
                                   double amount, KOVTransferCompletion completion);
    void createTransferFromAccount(std::shared_ptr<KOVAccount> account, std::shared_ptr<KOVBeneficiary> beneficiary,
                                   double amount, const QString &remark, KOVTransferCompletion completion);
    void createTransferFromAccount(std::shared_ptr<KOVAccount> account, std::shared_ptr<KOVBeneficiary> beneficiary,
                                   double amount, KOVTransferReferenceCompletion completionWithReferenceNumber,
                                   const QString &remark);
    void createWireTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                       std::shared_ptr<KOVWireBeneficiary> beneficiary, KOVTransferCompletion completion);
    void createWireTransferToWireBeneficiary(std::shared_ptr<KOVWireBeneficiary> beneficiary,
                                             KOVTransferCompletion completion);
    void createWireTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                       std::shared_ptr<KOVWireBeneficiary> beneficiary, double amount,
                                       KOVTransferCompletion completion);
    void createWireTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                       std::shared_ptr<KOVWireBeneficiary> beneficiary, double amount,
                                       const QString &remark, KOVTransferCompletion completion);
    void createWireTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                       std::shared_ptr<KOVWireBeneficiary> beneficiary, double amount,
                                       KOVTransferReferenceCompletion completionWithReferenceNumber,
                                       const QString &remark);

    // Transfers to a beneficiary the bank already lists: always direct.
    void createTransferToExistingBeneficiaryFromAccount(std::shared_ptr<KOVAccount> account,
                                                        const QString &beneficiaryID, double amount,
                                                        const QString &remark, KOVTransferCompletion completion);
    void createTransferToExistingBeneficiaryFromAccount(std::shared_ptr<KOVAccount> account,
                                                        const QString &beneficiaryID, double amount,
                                                        KOVTransferReferenceCompletion completionWithReferenceNumber,
                                                        const QString &remark);
    void createWireTransferToExistingBeneficiaryFromAccount(std::shared_ptr<KOVAccount> account,
                                                            const QString &beneficiaryID, double amount,
                                                            const QString &remark, KOVTransferCompletion completion);
    void createWireTransferToExistingBeneficiaryFromAccount(std::shared_ptr<KOVAccount> account,
                                                            const QString &beneficiaryID, double amount,
                                                            KOVTransferReferenceCompletion completionWithReferenceNumber,
                                                            const QString &remark);

    // Whether an amount stands for "no amount": 0, the not-found marker, or
    // a value that is not a finite number.
    static bool isAbsentAmount(double amount);

    const QString &userID() const { return m_userID; }
    void setUserID(const QString &userID) { m_userID = userID; }
    const QString &clientUserID() const { return m_clientUserID; }
    void setClientUserID(const QString &clientUserID) { m_clientUserID = clientUserID; }
    const QString &bankID() const { return m_bankID; }
    void setBankID(const QString &bankID) { m_bankID = bankID; }
    const QString &swiftCode() const { return m_swiftCode; }
    void setSwiftCode(const QString &swiftCode) { m_swiftCode = swiftCode; }
    const QString &bankName() const { return m_bankName; }
    void setBankName(const QString &bankName) { m_bankName = bankName; }
    const QString &countryName() const { return m_countryName; }
    void setCountryName(const QString &countryName) { m_countryName = countryName; }
    const QList<std::shared_ptr<KOVAccount>> &accounts() const { return m_accounts; }
    void setAccounts(const QList<std::shared_ptr<KOVAccount>> &accounts) { m_accounts = accounts; }
    const QList<std::shared_ptr<KOVCard>> &cards() const { return m_cards; }
    void setCards(const QList<std::shared_ptr<KOVCard>> &cards) { m_cards = cards; }
    const QString &fullLogo() const { return m_fullLogo; }
    void setFullLogo(const QString &fullLogo) { m_fullLogo = fullLogo; }
    const QString &halfLogo() const { return m_halfLogo; }
    void setHalfLogo(const QString &halfLogo) { m_halfLogo = halfLogo; }
    const QString &miniLogo() const { return m_miniLogo; }
    void setMiniLogo(const QString &miniLogo) { m_miniLogo = miniLogo; }
    const QDateTime &createdAt() const { return m_createdAt; }
    void setCreatedAt(const QDateTime &createdAt) { m_createdAt = createdAt; }
    const std::shared_ptr<KOVConnection> &connection() const { return m_connection; }
    void setConnection(const std::shared_ptr<KOVConnection> &connection) { m_connection = connection; }
    const std::shared_ptr<KOVData> &dataAPI() const { return m_dataAPI; }
    void setDataAPI(const std::shared_ptr<KOVData> &dataAPI) { m_dataAPI = dataAPI; }
    const std::shared_ptr<KOVPayment> &paymentAPI() const { return m_paymentAPI; }
    void setPaymentAPI(const std::shared_ptr<KOVPayment> &paymentAPI) { m_paymentAPI = paymentAPI; }
    const std::shared_ptr<KOVAuth> &authAPI() const { return m_authAPI; }
    void setAuthAPI(const std::shared_ptr<KOVAuth> &authAPI) { m_authAPI = authAPI; }
    const std::shared_ptr<KOVMetadata> &metadataAPI() const { return m_metadataAPI; }
    void setMetadataAPI(const std::shared_ptr<KOVMetadata> &metadataAPI) { m_metadataAPI = metadataAPI; }
    const std::shared_ptr<KOVAutoFlow> &autoFlow() const { return m_autoFlow; }
    void setAutoFlow(const std::shared_ptr<KOVAutoFlow> &autoFlow) { m_autoFlow = autoFlow; }

    QJsonObject dictionaryRepresentation() const override { return m_dictionaryRepresentation; }
    void setDictionaryRepresentation(const QJsonObject &dictionary) override { m_dictionaryRepresentation = dictionary; }

    // The error every call of a login without usable credentials ends with;
    // a keychain that failed to read the secret fails them with its own error.
    static platform::Error credentialsUnavailableError();
    // The error of a transfer whose payment flow cannot be shown or run.
    static platform::Error paymentFlowUnavailableError();

private:
    KOVBankConnection() = default;
    // The record's facades, each with the login's secret; a keychain error
    // met on the way is kept, and the facades are made again at the next call.
    void makeFacades();
    template <typename API>
    bool usable(const std::shared_ptr<API> &api);
    platform::Error unavailableError() const;
    void decideTransfer(const KOVAutoFlowRequest &request);
    void transferToExistingBeneficiary(bool isWire, std::shared_ptr<KOVAccount> account, const QString &beneficiaryID,
                                       double amount, const QString &remark, KOVTransferReferenceCompletion completion);

    QString m_userID;
    QString m_clientUserID;
    QString m_bankID;
    QString m_swiftCode;
    QString m_bankName;
    QString m_countryName;
    QList<std::shared_ptr<KOVAccount>> m_accounts;
    QList<std::shared_ptr<KOVCard>> m_cards;
    QString m_fullLogo;
    QString m_halfLogo;
    QString m_miniLogo;
    QDateTime m_createdAt;
    std::shared_ptr<KOVConnection> m_connection;
    std::shared_ptr<KOVData> m_dataAPI;
    std::shared_ptr<KOVPayment> m_paymentAPI;
    std::shared_ptr<KOVAuth> m_authAPI;
    std::shared_ptr<KOVMetadata> m_metadataAPI;
    std::optional<platform::Error> m_keychainError; // why the facades could not be made
    std::shared_ptr<KOVAutoFlow> m_autoFlow;
    QJsonObject m_dictionaryRepresentation;
};

} // namespace kova
