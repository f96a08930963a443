#include "core/connections/KOVBankConnection.h"

#include <QJsonArray>
#include <cmath>

#include "core/KOVAppManager.h"
#include "core/KOVConstants.h"
#include "core/Kova.h"
#include "core/api/KOVAuth.h"
#include "core/api/KOVData.h"
#include "core/api/KOVMetadata.h"
#include "core/api/KOVPayment.h"
#include "core/connections/KOVConnectManager.h"
#include "core/connections/KOVLogin.h"
#include "core/internal/KOVOptionalBlock.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVBankMetadata.h"
#include "core/records/KOVBeneficiary.h"
#include "core/records/KOVCard.h"
#include "core/records/KOVResult.h"
#include "core/records/KOVWireBeneficiary.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVBankCard.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"
#include "core/store/KOVKeychain.h"
#include "core/store/KOVSubaccount.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Text.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"

namespace kova {

namespace {

const QJsonValue kNull(QJsonValue::Null);

// A call whose facade could not be made still ends once, on the main queue.
template <typename Result>
void completeUnavailable(const KOVDataCompletion<Result> &completion, const platform::Error &error)
{
    platform::MainQueue::async([completion, error]() { completion(Result{}, error, QString()); });
}

} // namespace

platform::Error KOVBankConnection::paymentFlowUnavailableError()
{
    return platform::Error::withDescription(KOVErrorDomain, KOVErrorPaymentFlowUnavailable,
                                            QStringLiteral("Payment flow unavailable"));
}

namespace {

// What every transfer form starts from; the caller adds its beneficiary.
KOVAutoFlowRequest transferRequest(std::shared_ptr<KOVAccount> account, double amount, const QString &remark,
                                   KOVTransferReferenceCompletion completion)
{
    KOVAutoFlowRequest request;
    request.account = std::move(account);
    request.amount = amount;
    request.remark = remark;
    request.completion = internal::orNothing(std::move(completion));
    return request;
}

// A transfer that cannot be sent for want of the login's credentials ends on
// a later turn, never on the caller's stack.
void completeTransferUnavailable(const std::shared_ptr<KOVAccount> &account, double amount,
                                 const KOVTransferReferenceCompletion &completion, const platform::Error &error)
{
    platform::MainQueue::async([account, amount, completion, error]() {
        completion(account, amount, error, QString(), QString());
    });
}

// The service's answer to a transfer, as the transfer's completion hears it.
KOVResultCompletion referenceAnswer(const std::shared_ptr<KOVAccount> &account, double amount,
                                    const KOVTransferReferenceCompletion &completion)
{
    return [account, amount, completion](std::shared_ptr<KOVResult> result, OptionalError error, QString operationID) {
        completion(account, amount, std::move(error), std::move(operationID),
                   result ? result->referenceNumber() : QString());
    };
}

KOVTransferReferenceCompletion droppingReference(KOVTransferCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    return [completion](std::shared_ptr<KOVAccount> account, double amount, OptionalError error, QString operationID,
                        QString) { completion(std::move(account), amount, std::move(error), std::move(operationID)); };
}

} // namespace

platform::Error KOVBankConnection::credentialsUnavailableError()
{
    return platform::Error::withDescription(KOVErrorDomain, KOVErrorCredentialsUnavailable,
                                            QStringLiteral("Bank connection credentials unavailable"));
}

bool KOVBankConnection::isAbsentAmount(double amount)
{
    return amount == 0 || amount == 9223372036854775808.0 || !std::isfinite(amount);
}

std::shared_ptr<KOVBankConnection> KOVBankConnection::initWithConnection(std::shared_ptr<KOVConnection> connection)
{
    std::shared_ptr<KOVBankConnection> bank(new KOVBankConnection());
    bank->m_connection = connection;
    if (!connection)
        return bank;
    const std::shared_ptr<KOVBankInfo> info = connection->bankInfo();
    if (info) {
        bank->m_bankID = info->bankID();
        bank->m_swiftCode = info->swiftCode();
        bank->m_bankName = info->bankName();
        bank->m_countryName = info->countryName();
        bank->m_fullLogo = info->fullLogo();
        bank->m_halfLogo = info->halfLogo();
        bank->m_miniLogo = info->miniLogo();
    }
    bank->m_clientUserID = connection->clientUserID();
    bank->m_userID = connection->userID();
    bank->makeFacades();

    for (const auto &stored : connection->cards())
        if (auto card = stored->toCard())
            bank->m_cards.append(std::move(card));
    for (const auto &subaccount : connection->subaccounts())
        if (subaccount->name() != QLatin1String("Demo"))
            bank->m_accounts.append(subaccount->toAccount());

    QJsonArray accounts;
    for (const auto &account : bank->m_accounts)
        accounts.append(account->dictionaryRepresentation());
    QJsonArray cards;
    if (!bank->m_cards.isEmpty())
        cards = platform::json::readList(bank->m_cards.first()->dictionaryRepresentation(), QStringLiteral("cards"))
                    .value_or(QJsonArray());
    const QString bankName = info ? info->bankName() : QString();
    bank->m_dictionaryRepresentation = QJsonObject{
        {QStringLiteral("clientUserID"), platform::json::textOrNull(bank->m_clientUserID)},
        {QStringLiteral("userID"), platform::json::textOrNull(bank->m_userID)},
        {QStringLiteral("bankID"), platform::json::textOrNull(bank->m_bankID)},
        {QStringLiteral("swiftCode"), platform::json::textOrNull(info ? info->swiftCode() : QString())},
        {QStringLiteral("country"), platform::json::textOrNull(bank->m_countryName)},
        {QStringLiteral("bankShortName"), platform::json::textOrNull(bankName)},
        {QStringLiteral("bankFullName"), platform::json::textOrNull(bankName)},
        {QStringLiteral("fullLogo"), platform::json::textOrNull(bank->m_fullLogo)},
        {QStringLiteral("halfLogo"), platform::json::textOrNull(bank->m_halfLogo)},
        {QStringLiteral("miniLogo"), platform::json::textOrNull(bank->m_miniLogo)},
        {QStringLiteral("accounts"), accounts},
        {QStringLiteral("cards"), cards},
    };
    return bank;
}

void KOVBankConnection::makeFacades()
{
    // Every facade serves this very record: while an import checks a new
    // record, the older one of the same user is still stored.
    platform::Error error;
    m_dataAPI = KOVData::initWithUserID(m_userID, m_clientUserID, m_connection, &error);
    m_paymentAPI = KOVPayment::initWithUserID(m_userID, m_clientUserID, m_connection, &error);
    m_authAPI = KOVAuth::initWithUserID(m_userID, m_clientUserID, m_connection, &error);
    m_metadataAPI = KOVMetadata::initWithUserID(m_userID, m_clientUserID, m_connection, &error);
    m_keychainError = error.domain.isEmpty() ? std::nullopt : std::optional(error);
}

template <typename API>
bool KOVBankConnection::usable(const std::shared_ptr<API> &api)
{
    // A read error that failed an earlier call may have passed: the secret
    // is read again.
    if (!api && m_keychainError && m_connection)
        makeFacades();
    return bool(api);
}

platform::Error KOVBankConnection::unavailableError() const
{
    return m_keychainError.value_or(credentialsUnavailableError());
}

QList<std::shared_ptr<KOVBankConnection>> KOVBankConnection::getConnectionsWithClientUserID(const QString &clientUserID)
{
    QList<std::shared_ptr<KOVBankConnection>> connections;
    // Without a client user the filter would match every user's logins.
    if (clientUserID.isEmpty())
        return connections;
    platform::Error error;
    for (const auto &record : KOVAppManager::sharedInstance().viewContext().fetch<KOVConnection>(
             KOVConnection::fetchRequestWithUserID(QString(), clientUserID, true), &error))
        connections.append(initWithConnection(record));
    return connections;
}

QString KOVBankConnection::debugDescription() const
{
    return QStringLiteral("<KOVBankConnection: 0x%1; %2; %3; %4;>")
        .arg(QString::number(reinterpret_cast<quintptr>(this), 16), m_bankID.isNull() ? QStringLiteral("(null)") : m_bankID,
             m_bankName.isNull() ? QStringLiteral("(null)") : m_bankName,
             m_countryName.isNull() ? QStringLiteral("(null)") : m_countryName);
}

QJsonObject KOVBankConnection::getConnectionParameters() const
{
    const std::shared_ptr<KOVConnection> &c = m_connection;
    QString secret;
    if (c && !c->tokenID().isNull() && !c->userID().isNull())
        secret = KOVKeychain::keychain()->stringForKey(c->tokenID() + c->userID());
    const auto info = c ? c->bankInfo() : nullptr;
    const auto scheme = info ? info->colorScheme() : nullptr;
    return QJsonObject{
        {QStringLiteral("clientUserID"), platform::json::textOrNull(m_clientUserID)},
        {QStringLiteral("accessCode"), platform::json::textOrNull(c ? c->accessCode() : QString())},
        {QStringLiteral("userSecret"), platform::json::textOrNull(secret)},
        {QStringLiteral("connectionID"), platform::json::textOrNull(c ? c->connectionID() : QString())},
        {QStringLiteral("userID"), platform::json::textOrNull(c ? c->userID() : QString())},
        {QStringLiteral("tokenID"), platform::json::textOrNull(c ? c->tokenID() : QString())},
        {QStringLiteral("bankId"), platform::json::textOrNull(m_bankID)},
        {QStringLiteral("fullName"), platform::json::textOrNull(m_bankName)},
        {QStringLiteral("name"), platform::json::textOrNull(m_bankName)},
        {QStringLiteral("fullLogoPng"), platform::json::textOrNull(m_fullLogo)},
        {QStringLiteral("halfLogoPng"), platform::json::textOrNull(m_halfLogo)},
        {QStringLiteral("miniLogoPng"), platform::json::textOrNull(m_miniLogo)},
        {QStringLiteral("color"),
         QJsonObject{{QStringLiteral("primaryColor"), platform::json::textOrNull(scheme ? scheme->mainColor() : QString())},
                     {QStringLiteral("secondaryColor"), platform::json::textOrNull(scheme ? scheme->secondaryColor() : QString())}}},
    };
}

void KOVBankConnection::create(const QJsonObject &parameters, ImportCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    const std::shared_ptr<KOVLogin> login = KOVLogin::initWithDictionary(parameters);
    const QString clientUserID = platform::json::readText(parameters, QStringLiteral("clientUserID"));
    if (platform::trimmedBlanksAndTabs(clientUserID).isEmpty()) {
        completion(nullptr, platform::Error::withDescription(KOVErrorDomain, KOVErrorMissingClientUserID,
                                                             QStringLiteral("Missing clientUserID")));
        return;
    }

    // Checked outside the app's store: there any save made meanwhile (a
    // configuration refresh) would store it before its check.
    auto manager = std::make_shared<KOVConnectManager>(clientUserID, login);
    manager->checkOutsideTheAppsStore();
    std::shared_ptr<KOVConnection> checked;
    OptionalError createError;
    manager->createConnection([&](std::shared_ptr<KOVConnection> connection, OptionalError error) {
        checked = std::move(connection);
        createError = std::move(error);
    });
    if (createError || !checked) {
        const platform::Error error = createError.value_or(credentialsUnavailableError());
        platform::MainQueue::async([completion, error]() { completion(nullptr, error); });
        return;
    }

    platform::MainQueue::async([manager, checked, completion]() {
        auto fail = [manager, completion](const platform::Error &error) {
            manager->restoreKeychain();
            completion(nullptr, error);
        };
        const std::shared_ptr<KOVBankConnection> probe = initWithConnection(checked);
        if (!probe->m_metadataAPI)
            return fail(probe->unavailableError());
        probe->getAccountMetadata([manager, checked, probe, completion, fail](
                                      std::shared_ptr<KOVBankMetadata>, OptionalError error, QString) mutable {
            if (error)
                return fail(*error);
            platform::Error saveError;
            const std::shared_ptr<KOVConnection> created = manager->storeCheckedConnection(checked, &saveError);
            if (!created)
                return fail(saveError);
            completion(initWithConnection(created), std::nullopt);
        });
    });
}

void KOVBankConnection::getIdentity(KOVIdentityCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_dataAPI))
        return completeUnavailable(completion, unavailableError());
    m_dataAPI->getIdentity(std::move(completion));
}

void KOVBankConnection::getAccounts(KOVAccountsCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_dataAPI))
        return completeUnavailable(completion, unavailableError());
    m_dataAPI->getAccounts(std::move(completion));
}

void KOVBankConnection::getTransactionsForAccount(const std::shared_ptr<KOVAccount> &account, const QDateTime &fromDate,
                                                  const QDateTime &toDate, KOVTransactionsCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_dataAPI))
        return completeUnavailable(completion, unavailableError());
    m_dataAPI->getTransactionsForAccountID(account ? account->accountID() : QString(), fromDate, toDate,
                                           std::move(completion));
}

void KOVBankConnection::getTransactionsForAccount(const std::shared_ptr<KOVAccount> &account, const QDateTime &fromDate,
                                                  KOVTransactionsCompletion completion)
{
    getTransactionsForAccount(account, fromDate, QDateTime(), std::move(completion));
}

void KOVBankConnection::getBeneficiaries(KOVBeneficiariesCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_paymentAPI))
        return completeUnavailable(completion, unavailableError());
    m_paymentAPI->getBeneficiaries(std::move(completion));
}

void KOVBankConnection::getWireBeneficiaries(KOVWireBeneficiariesCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_paymentAPI))
        return completeUnavailable(completion, unavailableError());
    m_paymentAPI->getWireBeneficiaries(std::move(completion));
}

void KOVBankConnection::createBeneficiary(std::shared_ptr<KOVBeneficiary> beneficiary, KOVResultCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (beneficiary) {
        const auto info = m_connection ? m_connection->bankInfo() : nullptr;
        const QString bankSwift = info ? info->swiftCode() : QString();
        const bool same = !beneficiary->swiftCode().isNull() && !bankSwift.isNull() && beneficiary->swiftCode() == bankSwift;
        beneficiary->setType(same ? KOVBeneficiaryTypeSame : KOVBeneficiaryTypeLocal);
    }
    if (!usable(m_paymentAPI))
        return completeUnavailable(completion, unavailableError());
    m_paymentAPI->createBeneficiary(std::move(beneficiary), std::move(completion));
}

void KOVBankConnection::createWireBeneficiary(std::shared_ptr<KOVWireBeneficiary> beneficiary,
                                              KOVResultCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_paymentAPI))
        return completeUnavailable(completion, unavailableError());
    m_paymentAPI->createWireBeneficiary(std::move(beneficiary), std::move(completion));
}

void KOVBankConnection::getAccountMetadata(KOVMetadataCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_metadataAPI))
        return completeUnavailable(completion, unavailableError());
    m_metadataAPI->getAccountMetadata(std::move(completion));
}

void KOVBankConnection::deleteConnection(KOVDelinkCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_authAPI)) {
        platform::MainQueue::async([completion, error = unavailableError()]() { completion(nullptr, error); });
        return;
    }
    m_authAPI->delinkUser(std::move(completion));
}

void KOVBankConnection::getCards(KOVCardsCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_dataAPI))
        return completeUnavailable(completion, unavailableError());
    m_dataAPI->getCards(std::move(completion));
}

void KOVBankConnection::getTransactionsForCard(const std::shared_ptr<KOVCard> &card, const QDateTime &fromDate,
                                               const QDateTime &toDate, KOVTransactionsCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_dataAPI))
        return completeUnavailable(completion, unavailableError());
    m_dataAPI->getTransactionsForCardID(card ? card->cardID() : QString(), fromDate, toDate, std::move(completion));
}

// Transfer decision.

void KOVBankConnection::decideTransfer(const KOVAutoFlowRequest &request)
{
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    const auto configs = kova ? KOVAppConfigs::getConfigsForAppKey(kova->appKey(), KOVAppManager::sharedInstance().viewContext())
                              : nullptr;
    const bool remoteBeneficiary = configs && configs->isRemoteBeneficiarySet().value_or(false);
    const bool hasBeneficiary = request.isWire ? bool(request.wireBeneficiary) : bool(request.beneficiary);

    if (!hasBeneficiary && !remoteBeneficiary) {
        const platform::Error error = platform::Error::withDescription(
            KOVErrorDomain, KOVErrorBeneficiaryMissing,
            request.isWire ? QStringLiteral("WireBeneficiary must be present") : QStringLiteral("Beneficiary must be present"));
        platform::log(error.description());
        request.completion(request.account, request.amount, error, QString(), QString());
        return;
    }

    if (request.account && !isAbsentAmount(request.amount)) {
        if (!usable(m_paymentAPI))
            return completeTransferUnavailable(request.account, request.amount, request.completion, unavailableError());
        KOVResultCompletion answered = referenceAnswer(request.account, request.amount, request.completion);
        if (request.isWire)
            m_paymentAPI->createWireTransferFromAccountID(request.account->accountID(), request.amount,
                                                          request.wireBeneficiary, request.remark, answered);
        else
            m_paymentAPI->createTransferFromAccountID(request.account->accountID(), request.amount, request.beneficiary,
                                                      request.remark, answered);
        return;
    }

    KOVAutoFlowRequest flowRequest = request;
    flowRequest.connection = shared_from_this();
    std::weak_ptr<KOVBankConnection> weakSelf = weak_from_this();
    // Which flow this completion belongs to: a later transfer on this
    // connection may have replaced it by the time it runs.
    auto ownFlow = std::make_shared<std::weak_ptr<KOVAutoFlow>>();
    flowRequest.completion = [weakSelf, ownFlow, completion = request.completion](
                                 std::shared_ptr<KOVAccount> account, double amount, OptionalError error,
                                 QString operationID, QString reference) {
        completion(std::move(account), amount, std::move(error), std::move(operationID), std::move(reference));
        const auto self = weakSelf.lock();
        if (self && self->m_autoFlow && self->m_autoFlow == ownFlow->lock())
            self->m_autoFlow.reset();
    };
    std::shared_ptr<KOVAutoFlow> flow = KOVAutoFlow::make(flowRequest);
    if (!flow) {
        platform::MainQueue::async([request]() {
            request.completion(request.account, request.amount, paymentFlowUnavailableError(), QString(), QString());
        });
        return;
    }
    *ownFlow = flow;
    m_autoFlow = flow;
    // The flow may end (and clear autoFlow) before present() returns.
    flow->present();
}

void KOVBankConnection::createTransfer(KOVTransferCompletion completion)
{
    createTransferFromAccount(nullptr, nullptr, 0, QString(), std::move(completion));
}

void KOVBankConnection::createTransferFromAccount(std::shared_ptr<KOVAccount> account, KOVTransferCompletion completion)
{
    createTransferFromAccount(std::move(account), nullptr, 0, QString(), std::move(completion));
}

void KOVBankConnection::createTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                                  std::shared_ptr<KOVBeneficiary> beneficiary,
                                                  KOVTransferCompletion completion)
{
    createTransferFromAccount(std::move(account), std::move(beneficiary), 0, QString(), std::move(completion));
}

void KOVBankConnection::createTransferToBeneficiary(std::shared_ptr<KOVBeneficiary> beneficiary,
                                                    KOVTransferCompletion completion)
{
    createTransferFromAccount(nullptr, std::move(beneficiary), 0, QString(), std::move(completion));
}

void KOVBankConnection::createTransferFromAccount(std::shared_ptr<KOVAccount> account, double amount,
                                                  KOVTransferCompletion completion)
{
    createTransferFromAccount(std::move(account), nullptr, amount, QString(), std::move(completion));
}

void KOVBankConnection::createTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                                  std::shared_ptr<KOVBeneficiary> beneficiary, double amount,
                                                  KOVTransferCompletion completion)
{
    createTransferFromAccount(std::move(account), std::move(beneficiary), amount, QString(), std::move(completion));
}

void KOVBankConnection::createTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                                  std::shared_ptr<KOVBeneficiary> beneficiary, double amount,
                                                  const QString &remark, KOVTransferCompletion completion)
{
    createTransferFromAccount(std::move(account), std::move(beneficiary), amount,
                              droppingReference(std::move(completion)), remark);
}

void KOVBankConnection::createTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                                  std::shared_ptr<KOVBeneficiary> beneficiary, double amount,
                                                  KOVTransferReferenceCompletion completionWithReferenceNumber,
                                                  const QString &remark)
{
    KOVAutoFlowRequest request = transferRequest(std::move(account), amount, remark, std::move(completionWithReferenceNumber));
    request.beneficiary = std::move(beneficiary);
    decideTransfer(request);
}

void KOVBankConnection::createWireTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                                      std::shared_ptr<KOVWireBeneficiary> beneficiary,
                                                      KOVTransferCompletion completion)
{
    createWireTransferFromAccount(std::move(account), std::move(beneficiary), 0, QString(), std::move(completion));
}

void KOVBankConnection::createWireTransferToWireBeneficiary(std::shared_ptr<KOVWireBeneficiary> beneficiary,
                                                            KOVTransferCompletion completion)
{
    createWireTransferFromAccount(nullptr, std::move(beneficiary), 0, QString(), std::move(completion));
}

void KOVBankConnection::createWireTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                                      std::shared_ptr<KOVWireBeneficiary> beneficiary, double amount,
                                                      KOVTransferCompletion completion)
{
    createWireTransferFromAccount(std::move(account), std::move(beneficiary), amount, QString(), std::move(completion));
}

void KOVBankConnection::createWireTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                                      std::shared_ptr<KOVWireBeneficiary> beneficiary, double amount,
                                                      const QString &remark, KOVTransferCompletion completion)
{
    createWireTransferFromAccount(std::move(account), std::move(beneficiary), amount,
                                  droppingReference(std::move(completion)), remark);
}

void KOVBankConnection::createWireTransferFromAccount(std::shared_ptr<KOVAccount> account,
                                                      std::shared_ptr<KOVWireBeneficiary> beneficiary, double amount,
                                                      KOVTransferReferenceCompletion completionWithReferenceNumber,
                                                      const QString &remark)
{
    KOVAutoFlowRequest request = transferRequest(std::move(account), amount, remark, std::move(completionWithReferenceNumber));
    request.wireBeneficiary = std::move(beneficiary);
    request.isWire = true;
    decideTransfer(request);
}


void KOVBankConnection::createTransferToExistingBeneficiaryFromAccount(std::shared_ptr<KOVAccount> account,
                                                                       const QString &beneficiaryID, double amount,
                                                                       const QString &remark,
                                                                       KOVTransferCompletion completion)
{
    transferToExistingBeneficiary(false, std::move(account), beneficiaryID, amount, remark,
                                  droppingReference(std::move(completion)));
}

void KOVBankConnection::createTransferToExistingBeneficiaryFromAccount(
    std::shared_ptr<KOVAccount> account, const QString &beneficiaryID, double amount,
    KOVTransferReferenceCompletion completionWithReferenceNumber, const QString &remark)
{
    transferToExistingBeneficiary(false, std::move(account), beneficiaryID, amount, remark,
                                  std::move(completionWithReferenceNumber));
}

void KOVBankConnection::createWireTransferToExistingBeneficiaryFromAccount(std::shared_ptr<KOVAccount> account,
                                                                           const QString &beneficiaryID, double amount,
                                                                           const QString &remark,
                                                                           KOVTransferCompletion completion)
{
    transferToExistingBeneficiary(true, std::move(account), beneficiaryID, amount, remark,
                                  droppingReference(std::move(completion)));
}

void KOVBankConnection::createWireTransferToExistingBeneficiaryFromAccount(
    std::shared_ptr<KOVAccount> account, const QString &beneficiaryID, double amount,
    KOVTransferReferenceCompletion completionWithReferenceNumber, const QString &remark)
{
    transferToExistingBeneficiary(true, std::move(account), beneficiaryID, amount, remark,
                                  std::move(completionWithReferenceNumber));
}

void KOVBankConnection::transferToExistingBeneficiary(bool isWire, std::shared_ptr<KOVAccount> account,
                                                      const QString &beneficiaryID, double amount,
                                                      const QString &remark, KOVTransferReferenceCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    if (!usable(m_paymentAPI))
        return completeTransferUnavailable(account, amount, completion, unavailableError());
    const QString accountID = account ? account->accountID() : QString();
    KOVResultCompletion answered = referenceAnswer(account, amount, completion);
    if (isWire)
        m_paymentAPI->createWireTransferToExistingBeneficiaryFromAccount(accountID, beneficiaryID, amount, remark,
                                                                         std::move(answered));
    else
        m_paymentAPI->createTransferToExistingBeneficiaryFromAccount(accountID, beneficiaryID, amount, remark,
                                                                     std::move(answered));
}

} // namespace kova
