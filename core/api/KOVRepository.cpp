#include "core/api/KOVRepository.h"

#include <QCalendar>
#include <QJsonArray>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "core/KOVAPIManager.h"
#include "core/KOVConstants.h"
#include "core/KOVScreensProvider.h"
#include "core/Kova.h"
#include "core/Localizer.h"
#include "core/api/MFAParameter.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVBankBeneficiary.h"
#include "core/records/KOVBankMetadata.h"
#include "core/records/KOVBankWireBeneficiary.h"
#include "core/records/KOVBeneficiary.h"
#include "core/records/KOVCard.h"
#include "core/records/KOVColorHex.h"
#include "core/records/KOVIdentity.h"
#include "core/records/KOVResult.h"
#include "core/records/KOVResumable.h"
#include "core/records/KOVTransaction.h"
#include "core/records/KOVWireBeneficiary.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"
#include "platform/dispatch/CallOnce.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/Text.h"

namespace kova {

namespace json = platform::json;

namespace {

const QJsonValue kNull(QJsonValue::Null);

void setIfPresent(QJsonObject &body, const QString &key, const QString &text)
{
    if (!text.isNull())
        body.insert(key, text);
}

platform::Error cancelledError()
{
    return platform::Error::withDescription(KOVErrorDomain, KOVErrorUserCancelled,
                                            Localizer::getLocalizedStringByKey(QStringLiteral("UserCanceledAuthentication")));
}

platform::Error invalidAmountError()
{
    return platform::Error::withDescription(KOVErrorDomain, KOVErrorInvalidAmount, QStringLiteral("Invalid amount"));
}

// Amounts leave the SDK only when they are real, non-negative numbers that
// fit what the server is sent.
bool isSendableAmount(double amount)
{
    return std::isfinite(amount) && amount >= 0;
}

std::optional<QJsonValue> wholeAmount(double amount)
{
    const double whole = std::trunc(amount);
    if (!isSendableAmount(amount) || whole >= 9223372036854775808.0)
        return std::nullopt;
    return QJsonValue(qint64(whole));
}

template <typename Record>
QList<std::shared_ptr<Record>> listFrom(const QJsonObject &reply, const QString &key)
{
    QList<std::shared_ptr<Record>> records;
    const QJsonArray list = json::readList(reply, key).value_or(QJsonArray());
    for (const QJsonObject &element : json::objectsIn(list)) {
        auto record = Record::initWithDictionary(element);
        record->setDictionaryRepresentation(reply);
        records.append(std::move(record));
    }
    return records;
}

template <typename Record>
std::shared_ptr<Record> objectFrom(const QJsonObject &reply, const QString &key)
{
    auto record = Record::initWithDictionary(reply.value(key));
    record->setDictionaryRepresentation(reply);
    return record;
}

std::shared_ptr<KOVResult> resultFrom(const QJsonObject &reply)
{
    auto result = KOVResult::initWithDictionary(reply);
    result->setDictionaryRepresentation(reply);
    return result;
}

std::function<std::shared_ptr<KOVResult>(const QJsonObject &)> transferResult(const QString &coolDownKey)
{
    return [coolDownKey](const QJsonObject &reply) {
        const QString message = KOVRepository::coolDownMessage(coolDownKey, reply.value(QStringLiteral("coolDownPeriod")));
        if (message.isNull())
            return resultFrom(reply);
        QJsonObject copy = reply;
        copy.insert(QStringLiteral("msg"), message);
        return resultFrom(copy);
    };
}

} // namespace

namespace {

void failAtOnce(const KOVResultCompletion &completion, const platform::Error &error)
{
    completion(nullptr, error, QString());
}
} // namespace

std::shared_ptr<KOVRepository> KOVRepository::initWithConnection(std::shared_ptr<KOVConnection> connection)
{
    return std::shared_ptr<KOVRepository>(new KOVRepository(std::move(connection)));
}

KOVRepository::KOVRepository(std::shared_ptr<KOVConnection> connection) : m_connection(std::move(connection)) {}

bool KOVRepository::hasValidAppKey()
{
    return !platform::ProcessInfo::environmentValue("KOVConnectAppKey").trimmed().isEmpty();
}

QString KOVRepository::formatRequestDate(const QDateTime &date)
{
    if (!date.isValid())
        return QString();
    // Gregorian and ASCII digits whatever the device's locale; the day as
    // the device's time zone sees it.
    return date.toLocalTime().date().toString(QStringLiteral("yyyy-MM-dd"), QCalendar(QCalendar::System::Gregorian));
}

QString KOVRepository::coolDownMessage(const QString &key, const QJsonValue &coolDownPeriod)
{
    const auto period = json::readObject(coolDownPeriod);
    if (!period)
        return QString();
    const auto value = json::readDouble(*period, QStringLiteral("value"));
    if (!value)
        return QString();
    const double whole = std::trunc(*value);
    const QString number = std::fabs(whole) < 1e18 ? QString::number(qint64(whole)) : QString::number(whole, 'f', 0);
    const QString unit = json::readText(*period, QStringLiteral("unit"));
    const QString text = Localizer::getLocalizedStringByKey(key);
    if (text.isNull())
        return QString();
    return platform::fillPlaceholders(text, {number, unit});
}

bool KOVRepository::responseHasUserInputRequired(const QJsonObject &response)
{
    return json::readText(response, QStringLiteral("status")) == QLatin1String("user_input_required");
}

QList<std::shared_ptr<MFAParameter>> KOVRepository::userInputsFromResponse(const QJsonObject &response)
{
    QList<std::shared_ptr<MFAParameter>> prompts;
    for (const QJsonValue &element : json::readList(response, QStringLiteral("userInputs")).value_or(QJsonArray()))
        if (auto prompt = MFAParameter::initWithDictionary(element))
            prompts.append(std::move(prompt));
    return prompts;
}

namespace {

// Made only of white space: any space separator (no-break and wide spaces
// too) and tabs. A line break is something the user typed.
bool isBlankAnswer(const QString &answer)
{
    return std::all_of(answer.begin(), answer.end(), [](QChar c) {
        return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
    });
}

} // namespace

void KOVRepository::resolveMFAWithResponse(const QJsonObject &response,
                                           std::function<void(QList<std::shared_ptr<MFAParameter>>, bool)> completion)
{
    MFAPresentation presentation;
    presentation.prompts = userInputsFromResponse(response);
    auto colours = std::make_shared<KOVFinancialInstitutionColor>();
    std::shared_ptr<KOVBankInfo> bankInfo = m_connection ? m_connection->bankInfo() : nullptr;
    std::shared_ptr<KOVFinancialInstitutionColorScheme> scheme = bankInfo ? bankInfo->colorScheme() : nullptr;
    colours->setPrimaryColor(colorWithHexString(scheme ? scheme->mainColor() : QString()));
    colours->setSecondaryColor(colorWithHexString(scheme ? scheme->secondaryColor() : QString()));
    presentation.colorScheme = colours;
    if (bankInfo) {
        presentation.bankLogo = bankInfo->fullLogo();
        presentation.bankID = bankInfo->bankID();
    }

    // The continuation runs once, on the main queue. A sheet that lets go of
    // both callbacks without calling either ends the call as cancelled, so no
    // login is left waiting for an answer that cannot come.
    auto finish = [completion = std::move(completion)](QList<std::shared_ptr<MFAParameter>> prompts, bool blank) {
        platform::MainQueue::async([completion, prompts, blank]() { completion(prompts, blank); });
    };
    auto once = std::make_shared<platform::CallOnce>([finish]() { finish({}, true); });
    const std::shared_ptr<KOVMFAPresenter> presenter = KOVScreensProvider::current()->mfaPresenter();
    const bool shown = presenter
        && presenter->presentMFA(
            presentation,
            [once, finish](const QList<std::shared_ptr<MFAParameter>> &answered) {
                if (!once->claim())
                    return;
                bool blank = false;
                for (const auto &prompt : answered) {
                    if (!prompt || isBlankAnswer(prompt->answer())) {
                        blank = true;
                        break;
                    }
                }
                finish(answered, blank);
            },
            [once, finish]() {
                if (once->claim())
                    finish({}, true);
            });
    if (!shown && once->claim())
        finish({}, true);
}

QJsonObject KOVRepository::commonBody(QJsonObject body, const KOVCredentials &credentials) const
{
    setIfPresent(body, QStringLiteral("userSecret"), credentials.userSecret);
    setIfPresent(body, QStringLiteral("tokenID"), credentials.tokenID);
    return body;
}

namespace {

// The login's lane, the started instance and the network session belong to
// the main thread: a call made on another thread is made there (and answered
// there). Whether `again` was sent there to make it.
bool madeElsewhere(std::function<void()> again)
{
    if (platform::MainQueue::isMainThread())
        return false;
    platform::MainQueue::async(std::move(again));
    return true;
}

} // namespace

template <typename Result>
void KOVRepository::perform(const QString &endPoint, std::function<QJsonObject()> makeOwnBody,
                            std::function<Result(const QJsonObject &reply)> makeResult,
                            KOVDataCompletion<Result> completion, std::shared_ptr<KOVResumable> resumable,
                            bool operationIDFromResult)
{
    if (madeElsewhere([self = shared_from_this(), endPoint, makeOwnBody, makeResult, completion, resumable,
                       operationIDFromResult]() {
            self->perform<Result>(endPoint, makeOwnBody, makeResult, completion, resumable, operationIDFromResult);
        }))
        return;
    QJsonObject body = makeOwnBody();
    if (resumable) {
        if (const std::optional<QJsonObject> resume = resumable->dictionary()) {
            for (auto it = resume->begin(); it != resume->end(); ++it)
                body.insert(it.key(), it.value());
        }
    }
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    KOVAPIManager manager(kova ? kova->configurations() : nullptr);
    manager.setBody(body);

    auto self = shared_from_this();
    manager.postEndPoint(
        endPoint,
        [self, endPoint, makeOwnBody, makeResult, completion, operationIDFromResult](
            std::function<void()> done, const platform::URLRequest &, const std::optional<platform::HTTPURLResponse> &,
            const QJsonObject &reply, const QString &operationID) {
            if (responseHasUserInputRequired(reply)) {
                auto interrupted = KOVResumable::initWithDictionary(reply);
                self->resolveMFAWithResponse(
                    reply, [self, endPoint, makeOwnBody, makeResult, completion, operationIDFromResult, interrupted,
                            done](QList<std::shared_ptr<MFAParameter>> answered, bool anyBlank) {
                        if (anyBlank) {
                            completion(Result{}, cancelledError(), QString());
                        } else {
                            interrupted->setUserInputs(answered);
                            // Enqueued while the interrupted request still holds the
                            // login's lane, so it follows the calls already waiting.
                            self->perform<Result>(endPoint, makeOwnBody, makeResult, completion, interrupted,
                                                  operationIDFromResult);
                        }
                        done();
                    });
                return;
            }
            Result result = makeResult(reply);
            QString id = operationID;
            if constexpr (std::is_same_v<Result, std::shared_ptr<KOVResult>>) {
                if (operationIDFromResult)
                    id = result ? result->operationID() : QString();
            }
            completion(std::move(result), std::nullopt, id);
            done();
        },
        [completion](const std::optional<platform::URLRequest> &, const std::optional<platform::HTTPURLResponse> &,
                     const platform::Error &error, const QString &operationID) {
            completion(Result{}, error, operationID);
        });
}

void KOVRepository::exchangeUserID(const QString &userID, const QString &accessCode, const QString &tokenID,
                                   const QString &connectionID, KOVExchangeCompletion completion)
{
    if (madeElsewhere([self = shared_from_this(), userID, accessCode, tokenID, connectionID, completion]() {
            self->exchangeUserID(userID, accessCode, tokenID, connectionID, completion);
        }))
        return;
    if (userID.isEmpty() || accessCode.isEmpty() || tokenID.isEmpty() || connectionID.isEmpty()) {
        // An exchange missing a value cannot succeed; say so without asking the server.
        platform::MainQueue::async([completion]() {
            completion(false, platform::Error::withDescription(KOVErrorDomain, KOVErrorFailedToExchangeToken,
                                                               QStringLiteral("Failed to exchange token")));
        });
        return;
    }
    const QJsonObject body{{QStringLiteral("connectionID"), connectionID},
                           {QStringLiteral("accessCode"), accessCode},
                           {QStringLiteral("tokenID"), tokenID},
                           {QStringLiteral("userID"), userID}};
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    KOVAPIManager manager(kova ? kova->configurations() : nullptr);
    manager.setBody(body);
    manager.postEndPoint(
        KOVEndPointExchangeToken,
        [completion](std::function<void()> done, const platform::URLRequest &,
                     const std::optional<platform::HTTPURLResponse> &, const QJsonObject &, const QString &) {
            done();
            completion(true, std::nullopt);
        },
        [completion](const std::optional<platform::URLRequest> &, const std::optional<platform::HTTPURLResponse> &,
                     const platform::Error &error, const QString &) { completion(false, error); });
}

namespace {
// The user ID and bank ID every bank-login body ends with.
void appendLogin(QJsonObject &body, const std::shared_ptr<KOVConnection> &connection, const KOVCredentials &credentials)
{
    if (connection)
        setIfPresent(body, QStringLiteral("userID"), connection->userID());
    body.insert(QStringLiteral("bankID"), json::textOrNull(credentials.bankID));
}

// A request object's fields at the top of a body; null fields are left out.
QJsonObject mergedFields(const QJsonObject &fields)
{
    QJsonObject body;
    for (auto it = fields.begin(); it != fields.end(); ++it)
        if (!it.value().isNull())
            body.insert(it.key(), it.value());
    return body;
}
} // namespace

std::function<QJsonObject()> KOVRepository::loginBody(const KOVCredentials &credentials)
{
    return [self = shared_from_this(), credentials]() {
        QJsonObject body = self->commonBody(QJsonObject(), credentials);
        appendLogin(body, self->m_connection, credentials);
        return body;
    };
}

void KOVRepository::getIdentityUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                                          std::shared_ptr<KOVResumable> resumable, KOVIdentityCompletion completion)
{
    perform<std::shared_ptr<KOVIdentity>>(
        KOVEndPointGetIdentity, loginBody({userSecret, tokenID, bankID}),
        [](const QJsonObject &reply) { return objectFrom<KOVIdentity>(reply, QStringLiteral("identity")); },
        std::move(completion), std::move(resumable), false);
}

void KOVRepository::getAccountsUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                                          std::shared_ptr<KOVResumable> resumable, KOVAccountsCompletion completion)
{
    perform<QList<std::shared_ptr<KOVAccount>>>(
        KOVEndPointGetAccounts, loginBody({userSecret, tokenID, bankID}),
        [](const QJsonObject &reply) { return listFrom<KOVAccount>(reply, QStringLiteral("accounts")); },
        std::move(completion), std::move(resumable), false);
}

void KOVRepository::getCardsUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                                       std::shared_ptr<KOVResumable> resumable, KOVCardsCompletion completion)
{
    perform<QList<std::shared_ptr<KOVCard>>>(
        KOVEndPointGetCards, loginBody({userSecret, tokenID, bankID}),
        [](const QJsonObject &reply) { return KOVCard::initCardsWithDictionary(reply); }, std::move(completion),
        std::move(resumable), false);
}

void KOVRepository::getAccountMetadataUserSecret(const QString &userSecret, const QString &tokenID,
                                                 const QString &bankID, std::shared_ptr<KOVResumable> resumable,
                                                 KOVMetadataCompletion completion)
{
    perform<std::shared_ptr<KOVBankMetadata>>(
        KOVEndPointGetAccountMetadata, loginBody({userSecret, tokenID, bankID}),
        [](const QJsonObject &reply) { return objectFrom<KOVBankMetadata>(reply, QStringLiteral("accountsMetadata")); },
        std::move(completion), std::move(resumable), false);
}

void KOVRepository::transactionsFor(const QString &idKey, const QString &id, const KOVCredentials &credentials,
                                    const QDateTime &fromDate, const QDateTime &toDate,
                                    std::shared_ptr<KOVResumable> resumable, KOVTransactionsCompletion completion)
{
    perform<QList<std::shared_ptr<KOVTransaction>>>(
        KOVEndPointGetTransactions,
        [self = shared_from_this(), idKey, id, credentials, fromDate, toDate]() {
            QJsonObject body;
            setIfPresent(body, idKey, id);
            body = self->commonBody(body, credentials);
            setIfPresent(body, QStringLiteral("fromDate"), formatRequestDate(fromDate));
            setIfPresent(body, QStringLiteral("toDate"), formatRequestDate(toDate));
            appendLogin(body, self->m_connection, credentials);
            return body;
        },
        [](const QJsonObject &reply) { return listFrom<KOVTransaction>(reply, QStringLiteral("transactions")); },
        std::move(completion), std::move(resumable), false);
}

void KOVRepository::getTransactionsForAccountID(const QString &accountID, const QString &userSecret,
                                                const QString &tokenID, const QDateTime &fromDate,
                                                const QDateTime &toDate, const QString &bankID,
                                                std::shared_ptr<KOVResumable> resumable,
                                                KOVTransactionsCompletion completion)
{
    transactionsFor(QStringLiteral("accountID"), accountID, {userSecret, tokenID, bankID}, fromDate, toDate,
                    std::move(resumable), std::move(completion));
}

void KOVRepository::getTransactionsForCardID(const QString &cardID, const QString &userSecret, const QString &tokenID,
                                             const QDateTime &fromDate, const QDateTime &toDate, const QString &bankID,
                                             std::shared_ptr<KOVResumable> resumable,
                                             KOVTransactionsCompletion completion)
{
    transactionsFor(QStringLiteral("cardID"), cardID, {userSecret, tokenID, bankID}, fromDate, toDate,
                    std::move(resumable), std::move(completion));
}

void KOVRepository::getBeneficiariesUserSecret(const QString &userSecret, const QString &tokenID,
                                               const QString &bankID, std::shared_ptr<KOVResumable> resumable,
                                               KOVBeneficiariesCompletion completion)
{
    perform<QList<std::shared_ptr<KOVBankBeneficiary>>>(
        KOVEndPointGetBeneficiaries, loginBody({userSecret, tokenID, bankID}),
        [](const QJsonObject &reply) { return listFrom<KOVBankBeneficiary>(reply, QStringLiteral("beneficiaries")); },
        std::move(completion), std::move(resumable), false);
}

void KOVRepository::getWireBeneficiariesUserSecret(const QString &userSecret, const QString &tokenID,
                                                   const QString &bankID, std::shared_ptr<KOVResumable> resumable,
                                                   KOVWireBeneficiariesCompletion completion)
{
    perform<QList<std::shared_ptr<KOVBankWireBeneficiary>>>(
        KOVEndPointGetWireBeneficiaries, loginBody({userSecret, tokenID, bankID}),
        [](const QJsonObject &reply) {
            return listFrom<KOVBankWireBeneficiary>(reply, QStringLiteral("beneficiaries"));
        },
        std::move(completion), std::move(resumable), false);
}

void KOVRepository::createBeneficiaryFromFields(const QString &endPoint, const QJsonObject &fields,
                                                const KOVCredentials &credentials,
                                                std::shared_ptr<KOVResumable> resumable,
                                                KOVResultCompletion completion)
{
    perform<std::shared_ptr<KOVResult>>(
        endPoint,
        [self = shared_from_this(), fields, credentials]() {
            QJsonObject body = self->commonBody(mergedFields(fields), credentials);
            appendLogin(body, self->m_connection, credentials);
            return body;
        },
        resultFrom, std::move(completion), std::move(resumable), true);
}

void KOVRepository::createBeneficiary(std::shared_ptr<KOVBeneficiary> beneficiary, const QString &userSecret,
                                      const QString &tokenID, const QString &bankID,
                                      std::shared_ptr<KOVResumable> resumable, KOVResultCompletion completion)
{
    createBeneficiaryFromFields(KOVEndPointCreateBeneficiary,
                                beneficiary ? beneficiary->dictionaryRepresentation() : QJsonObject(),
                                {userSecret, tokenID, bankID}, std::move(resumable), std::move(completion));
}

void KOVRepository::createWireBeneficiary(std::shared_ptr<KOVWireBeneficiary> beneficiary, const QString &userSecret,
                                          const QString &tokenID, const QString &bankID,
                                          std::shared_ptr<KOVResumable> resumable, KOVResultCompletion completion)
{
    createBeneficiaryFromFields(KOVEndPointCreateWireBeneficiaries,
                                beneficiary ? beneficiary->dictionaryRepresentation() : QJsonObject(),
                                {userSecret, tokenID, bankID}, std::move(resumable), std::move(completion));
}

void KOVRepository::transferToExistingBeneficiary(const QString &endPoint, const QString &coolDownKey,
                                                  const QString &accountID, const QString &beneficiaryID, double amount,
                                                  const QString &remark, const KOVCredentials &credentials,
                                                  std::shared_ptr<KOVResumable> resumable,
                                                  KOVResultCompletion completion)
{
    const std::optional<QJsonValue> whole = wholeAmount(amount);
    if (!whole)
        return failAtOnce(completion, invalidAmountError());
    perform<std::shared_ptr<KOVResult>>(
        endPoint,
        [self = shared_from_this(), accountID, beneficiaryID, whole, remark, credentials]() {
            QJsonObject body;
            setIfPresent(body, QStringLiteral("senderID"), accountID);
            setIfPresent(body, QStringLiteral("receiverID"), beneficiaryID);
            body.insert(QStringLiteral("amount"), *whole);
            body = self->commonBody(body, credentials);
            body.insert(QStringLiteral("remark"), json::textOrNull(remark));
            appendLogin(body, self->m_connection, credentials);
            return body;
        },
        transferResult(coolDownKey), std::move(completion), std::move(resumable), false);
}

void KOVRepository::createTransferToExistingBeneficiaryFromAccount(
    const QString &accountID, const QString &beneficiaryID, double amount, const QString &remark,
    const QString &userSecret, const QString &tokenID, const QString &bankID, std::shared_ptr<KOVResumable> resumable,
    KOVResultCompletion completion)
{
    transferToExistingBeneficiary(KOVEndPointCreateTransferToExistingBeneficiary,
                                  QStringLiteral("BeneficiaryActivateAfter %@ %@"), accountID, beneficiaryID, amount,
                                  remark, {userSecret, tokenID, bankID}, std::move(resumable), std::move(completion));
}

void KOVRepository::createWireTransferToExistingBeneficiaryFromAccount(
    const QString &accountID, const QString &beneficiaryID, double amount, const QString &remark,
    const QString &userSecret, const QString &tokenID, const QString &bankID, std::shared_ptr<KOVResumable> resumable,
    KOVResultCompletion completion)
{
    transferToExistingBeneficiary(KOVEndPointCreateWireTransferToExistingBeneficiary,
                                  QStringLiteral("WireBeneficiaryActivateAfter %@ %@"), accountID, beneficiaryID, amount,
                                  remark, {userSecret, tokenID, bankID}, std::move(resumable), std::move(completion));
}

void KOVRepository::transferToBeneficiaryObject(const QString &endPoint, const QString &coolDownKey,
                                                const QString &accountID, const QJsonValue &beneficiary,
                                                bool beneficiaryLast, double amount, const QString &remark,
                                                const KOVCredentials &credentials,
                                                std::shared_ptr<KOVResumable> resumable,
                                                KOVResultCompletion completion)
{
    if (!isSendableAmount(amount))
        return failAtOnce(completion, invalidAmountError());
    perform<std::shared_ptr<KOVResult>>(
        endPoint,
        [self = shared_from_this(), accountID, beneficiary, beneficiaryLast, amount, remark, credentials]() {
            QJsonObject body;
            setIfPresent(body, QStringLiteral("senderID"), accountID);
            body.insert(QStringLiteral("amount"), amount);
            body = self->commonBody(body, credentials);
            body.insert(QStringLiteral("remark"), json::textOrNull(remark));
            if (!beneficiaryLast)
                body.insert(QStringLiteral("beneficiary"), beneficiary);
            appendLogin(body, self->m_connection, credentials);
            if (beneficiaryLast)
                body.insert(QStringLiteral("beneficiary"), beneficiary);
            return body;
        },
        transferResult(coolDownKey), std::move(completion), std::move(resumable), false);
}

void KOVRepository::createTransferFromAccountID(const QString &accountID, std::shared_ptr<KOVBeneficiary> beneficiary,
                                                double amount, const QString &userSecret, const QString &tokenID,
                                                const QString &remark, const QString &bankID,
                                                std::shared_ptr<KOVResumable> resumable,
                                                KOVResultCompletion completion)
{
    transferToBeneficiaryObject(KOVEndPointCreateTransfer, QStringLiteral("BeneficiaryActivateAfter %@ %@"), accountID,
                                beneficiary ? QJsonValue(beneficiary->dictionaryRepresentation()) : kNull, false,
                                amount, remark, {userSecret, tokenID, bankID}, std::move(resumable),
                                std::move(completion));
}

void KOVRepository::createWireTransferFromAccountID(const QString &accountID,
                                                    std::shared_ptr<KOVWireBeneficiary> beneficiary, double amount,
                                                    const QString &userSecret, const QString &tokenID,
                                                    const QString &remark, const QString &bankID,
                                                    std::shared_ptr<KOVResumable> resumable,
                                                    KOVResultCompletion completion)
{
    transferToBeneficiaryObject(KOVEndPointCreateWireTransfer, QStringLiteral("WireBeneficiaryActivateAfter %@ %@"),
                                accountID, beneficiary ? QJsonValue(beneficiary->dictionaryRepresentation()) : kNull,
                                true, amount, remark, {userSecret, tokenID, bankID}, std::move(resumable),
                                std::move(completion));
}

void KOVRepository::delinkUserWithUserSecret(const QString &userSecret, const QString &tokenID, const QString &bankID,
                                             std::shared_ptr<KOVResumable> resumable, KOVDelinkCompletion completion)
{
    perform<std::shared_ptr<KOVResult>>(
        KOVEndPointDelinkUser, loginBody({userSecret, tokenID, bankID}), resultFrom,
        [completion](std::shared_ptr<KOVResult> result, OptionalError error, QString) {
            completion(std::move(result), std::move(error));
        },
        std::move(resumable), false);
}

} // namespace kova
