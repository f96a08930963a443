#include "sandbox/AppServer.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <cmath>

#include "sandbox/SandboxData.h"

namespace kova::sandbox {

namespace {

const QString ExchangeToken = QStringLiteral("/auth/ExchangeToken");
const QString GetIdentity = QStringLiteral("/data/identity/get");
const QString GetAccounts = QStringLiteral("/data/accounts/get");
const QString GetAccountMetadata = QStringLiteral("/metadata/accounts/get");
const QString GetTransactions = QStringLiteral("/data/transactions/get");
const QString GetCardTransactions = QStringLiteral("/data/transaction/get");
const QString GetBeneficiaries = QStringLiteral("/payment/beneficiaries/get");
const QString GetWireBeneficiaries = QStringLiteral("/wire/beneficiaries/get");
const QString CreateWireBeneficiary = QStringLiteral("//wire/beneficiaries/create");
const QString CreateWireTransferToExisting = QStringLiteral("//wire/transfer/create");
const QString CreateBeneficiary = QStringLiteral("/payment/beneficiaries/create");
const QString CreateTransferToExisting = QStringLiteral("/payment/transfer/create");
const QString CreateTransfer = QStringLiteral("/payment/transfer/autoflow");
const QString CreateWireTransfer = QStringLiteral("/wire/transfer/autoflow");
const QString ResumeJob = QStringLiteral("/job/resume");
const QString DelinkUser = QStringLiteral("/users/DelinkUser");
const QString GetCards = QStringLiteral("/data/cards/get");

QJsonObject error(const QString &type, const QString &message)
{
    return QJsonObject{{"success", false}, {"type", type}, {"msg", message}};
}

// Text that is there and not blank; a null QString otherwise.
QString text(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString() || value.toString().trimmed().isEmpty())
        return {};
    return value.toString();
}

QJsonValue textOrNull(const QJsonObject &object, const QString &key)
{
    const QString value = text(object, key);
    return value.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(value);
}

std::optional<QJsonObject> findById(const QJsonArray &list, const QString &id)
{
    for (const QJsonValue &value : list) {
        if (value.toObject().value("id").toString() == id)
            return value.toObject();
    }
    return std::nullopt;
}

std::optional<QJsonObject> findSameAccount(const QJsonArray &list, const QJsonObject &beneficiary)
{
    const QString iban = text(beneficiary, "iban");
    const QString number = text(beneficiary, "accountNumber");
    for (const QJsonValue &value : list) {
        const QJsonObject listed = value.toObject();
        if ((!iban.isNull() && listed.value("iban").toString() == iban)
            || (!number.isNull() && listed.value("accountNumber").toString() == number))
            return listed;
    }
    return std::nullopt;
}

QJsonObject coolingDown(const QString &message)
{
    QJsonObject reply = error("BENEFICIARY_COOL_DOWN_PERIOD", message);
    reply.insert("coolDownPeriod", SandboxData::beneficiaryCoolDownPeriod());
    return reply;
}

} // namespace

void AppServer::setBaseUrl(const QUrl &baseUrl)
{
    m_baseUrl = baseUrl;
}

AppServer::Login &AppServer::addLogin(const QString &clientUserID, const QString &bankId,
                                      const QString &connectionID, const QString &accessCode)
{
    const QString n = QString::number(m_nextLogin++);
    Login login;
    login.clientUserID = clientUserID;
    login.bankId = bankId;
    login.userID = "sbx-user-" + n;
    login.tokenID = "sbx-token-" + n;
    login.userSecret = "sbx-secret-" + n;
    login.connectionID = connectionID.isNull() ? "sbx-connection-" + n : connectionID;
    login.accessCode = accessCode.isNull() ? "sbx-access-" + n : accessCode;
    m_logins.append(login);
    return m_logins.last();
}

QJsonObject AppServer::issueLogin(const QString &clientUserID, const QString &bankId)
{
    return loginParameters(addLogin(clientUserID, bankId, {}, {}));
}

QJsonObject AppServer::relinkLogin(const QString &userID)
{
    QString clientUserID;
    QString bankId = QStringLiteral("SANDBOXBANK");
    for (const Login &login : std::as_const(m_logins)) {
        if (login.userID == userID) {
            clientUserID = login.clientUserID;
            bankId = login.bankId;
        }
    }
    Login &login = addLogin(clientUserID, bankId, {}, {});
    login.userID = userID;
    return loginParameters(login);
}

QJsonObject AppServer::loginParameters(const Login &login) const
{
    const auto logo = [&](const QString &kind) {
        QUrl url = m_baseUrl;
        url.setPath("/banks/" + login.bankId + "/" + kind + ".png");
        return url.toString(QUrl::FullyEncoded);
    };
    const QString name = SandboxData::bankName(login.bankId);
    return QJsonObject{
        {"clientUserID", login.clientUserID},
        {"userSecret", login.userSecret},
        {"accessCode", login.accessCode},
        {"connectionID", login.connectionID},
        {"userID", login.userID},
        {"tokenID", login.tokenID},
        {"bankId", login.bankId},
        {"fullName", name},
        {"name", name},
        {"fullLogoPng", logo("full")},
        {"halfLogoPng", logo("half")},
        {"miniLogoPng", logo("mini")},
        {"color", SandboxData::bankColors()},
    };
}

void AppServer::scriptMfa(const QString &action, QList<QJsonArray> rounds, QJsonObject expectedAnswersById,
                          bool withHlApiStep, bool withOperationID)
{
    m_mfa.add(action, std::move(rounds), std::move(expectedAnswersById), withHlApiStep, withOperationID);
}

QString AppServer::nextOperationID()
{
    return QStringLiteral("op-%1").arg(m_nextOperation++, 6, 10, QLatin1Char('0'));
}

QString AppServer::nextReference(const QString &prefix)
{
    return QStringLiteral("%1-%2").arg(prefix).arg(m_nextReference++, 6, 10, QLatin1Char('0'));
}

ScriptedReply AppServer::handle(const RecordedRequest &request)
{
    const QJsonDocument document = QJsonDocument::fromJson(request.body);
    if (!document.isObject()) {
        QJsonObject reply = error("INVALID_REQUEST", "The body is not a JSON object");
        reply.insert("operationID", nextOperationID());
        return ScriptedReply::json(reply, 400);
    }
    const QJsonObject body = document.object();
    const QString action = request.action;
    if (action.isEmpty()) {
        QJsonObject reply = error("INVALID_REQUEST", "The body names no action");
        reply.insert("operationID", nextOperationID());
        return ScriptedReply::json(reply, 400);
    }

    QString operationID;
    const MfaScript::Outcome mfa = m_mfa.handle(action, body, [this] { return nextOperationID(); });
    if (mfa.kind == MfaScript::Outcome::Kind::Reply)
        return ScriptedReply::json(mfa.reply);
    if (mfa.kind == MfaScript::Outcome::Kind::Proceed)
        operationID = mfa.operationID;
    if (operationID.isEmpty())
        operationID = nextOperationID();

    bool known = true;
    QJsonObject reply = dispatch(action, body, known);
    reply.insert("operationID", operationID);
    return ScriptedReply::json(reply, known ? 200 : 400);
}

QJsonObject AppServer::dispatch(const QString &action, const QJsonObject &body, bool &known)
{
    if (action == ExchangeToken)
        return exchangeToken(body);

    static const QStringList loginActions{
        GetIdentity, GetAccounts, GetAccountMetadata, GetTransactions, GetCardTransactions, GetBeneficiaries,
        GetWireBeneficiaries, CreateWireBeneficiary, CreateWireTransferToExisting, CreateBeneficiary,
        CreateTransferToExisting, CreateTransfer, CreateWireTransfer, ResumeJob, DelinkUser, GetCards,
    };
    if (!loginActions.contains(action)) {
        known = false;
        return error("UNKNOWN_ACTION", "Unknown action: " + action);
    }

    const QString tokenID = body.value("tokenID").toString();
    const QString userID = body.value("userID").toString();
    Login *login = nullptr;
    for (Login &candidate : m_logins) {
        if (!tokenID.isEmpty() && candidate.tokenID == tokenID && candidate.userID == userID) {
            login = &candidate;
            break;
        }
    }
    if (!login)
        return error("INVALID_CREDENTIALS", "Unknown login");
    if (body.value("userSecret").toString() != login->userSecret)
        return error("INVALID_CREDENTIALS", "The user secret does not match this login");
    if (login->delinked)
        return error("USER_DELINKED", "This login has been delinked");

    if (action == GetIdentity)
        return QJsonObject{{"success", true}, {"identity", SandboxData::identity()}};
    if (action == GetAccounts)
        return QJsonObject{{"success", true}, {"accounts", SandboxData::accounts()}};
    if (action == GetAccountMetadata)
        return QJsonObject{{"success", true}, {"accountsMetadata", SandboxData::accountsMetadata(login->bankId)}};
    if (action == GetTransactions || action == GetCardTransactions)
        return transactions(body);
    if (action == GetCards)
        return QJsonObject{{"success", true}, {"cards", SandboxData::cards()}};
    if (action == GetBeneficiaries)
        return QJsonObject{{"success", true}, {"beneficiaries", listFor(*login, false)}};
    if (action == GetWireBeneficiaries)
        return QJsonObject{{"success", true}, {"beneficiaries", listFor(*login, true)}};
    if (action == CreateBeneficiary || action == CreateWireBeneficiary)
        return createBeneficiary(*login, body, action == CreateWireBeneficiary);
    if (action == CreateTransferToExisting || action == CreateWireTransferToExisting)
        return transferToExisting(*login, body, action == CreateWireTransferToExisting);
    if (action == CreateTransfer || action == CreateWireTransfer)
        return autoflowTransfer(*login, body, action == CreateWireTransfer);
    if (action == DelinkUser)
        return delink(*login);
    // "job/resume": nothing is ever left running here, so every job is done.
    return QJsonObject{{"success", true}, {"status", "done"}, {"msg", "Nothing to resume"}};
}

QJsonObject AppServer::exchangeToken(const QJsonObject &body)
{
    const QString connectionID = text(body, "connectionID");
    const QString accessCode = text(body, "accessCode");
    const QString tokenID = text(body, "tokenID");
    const QString userID = text(body, "userID");
    if (connectionID.isNull() || accessCode.isNull() || tokenID.isNull() || userID.isNull())
        return error("INVALID_REQUEST", "connectionID, accessCode, tokenID and userID are required");

    const Login *login = nullptr;
    for (const Login &candidate : m_logins) {
        if (candidate.connectionID == connectionID) {
            login = &candidate;
            break;
        }
    }
    if (login) {
        if (login->accessCode != accessCode || login->tokenID != tokenID || login->userID != userID)
            return error("INVALID_CREDENTIALS", "The connection does not match these credentials");
        if (login->delinked)
            return error("USER_DELINKED", "This login has been delinked");
    } else {
        // A connection the sandbox never saw is bound to a login of its own.
        login = &addLogin({}, QStringLiteral("SANDBOXBANK"), connectionID, accessCode);
    }
    return QJsonObject{
        {"success", true},
        {"status", "done"},
        {"connectionID", login->connectionID},
        {"accessCode", login->accessCode},
        {"userSecret", login->userSecret},
        {"tokenID", login->tokenID},
        {"userID", login->userID},
    };
}

QJsonObject AppServer::transactions(const QJsonObject &body) const
{
    const QString cardID = text(body, "cardID");
    if (!cardID.isNull())
        return QJsonObject{{"success", true}, {"transactions", SandboxData::cardTransactions(cardID)}};
    const QString accountID = text(body, "accountID");
    if (!accountID.isNull())
        return QJsonObject{{"success", true}, {"transactions", SandboxData::accountTransactions(accountID)}};
    return error("INVALID_REQUEST", "accountID or cardID is required");
}

QJsonArray AppServer::listFor(const Login &login, bool wire)
{
    QJsonArray list = wire ? SandboxData::wireBeneficiaries() : SandboxData::beneficiaries();
    for (const QJsonValue &created : wire ? login.wireBeneficiaries : login.beneficiaries)
        list.append(created);
    return list;
}

QJsonObject AppServer::createBeneficiary(Login &login, const QJsonObject &body, bool wire)
{
    QString name = text(body, "name");
    if (wire && name.isNull() && (!text(body, "firstName").isNull() || !text(body, "lastName").isNull()))
        name = QStringList{text(body, "firstName"), text(body, "lastName")}.join(' ').trimmed();
    const bool hasAccount = !text(body, "accountNumber").isNull() || (!wire && !text(body, "iban").isNull());
    if (name.isNull() || !hasAccount)
        return error("INVALID_BENEFICIARY",
                     wire ? "A wire beneficiary needs a name and an account number"
                          : "A beneficiary needs a name and an account number or IBAN");
    if (findSameAccount(listFor(login, wire), body))
        return error("BENEFICIARY_ALREADY_EXISTS", "This account is already a beneficiary");

    const QString type = text(body, "type").isNull() ? QStringLiteral("local") : text(body, "type");
    const QString id = nextReference(wire ? "WBEN" : "BEN");
    if (wire) {
        const QJsonObject lines = body.value("address").toObject();
        QStringList full;
        for (const char *key : {"line1", "line2", "line3"}) {
            if (!text(lines, key).isNull())
                full.append(text(lines, key));
        }
        login.wireBeneficiaries.append(QJsonObject{
            {"id", id},
            {"name", name},
            {"accountNumber", textOrNull(body, "accountNumber")},
            {"routingNumber", textOrNull(body, "routingNumber")},
            {"bankName", textOrNull(body, "bankName")},
            {"address", QJsonObject{{"city", textOrNull(body, "city")},
                                    {"country", textOrNull(body, "country")},
                                    {"full", full.isEmpty() ? QJsonValue(QJsonValue::Null) : full.join(", ")},
                                    {"poBox", QJsonValue::Null},
                                    {"state", textOrNull(body, "state")},
                                    {"zipCode", textOrNull(body, "zipCode")}}},
            {"status", "pending"},
            {"type", type},
        });
    } else {
        login.beneficiaries.append(QJsonObject{
            {"id", id},
            {"name", name},
            {"accountNumber", textOrNull(body, "accountNumber")},
            {"iban", textOrNull(body, "iban")},
            {"type", type},
            {"status", "pending"},
        });
    }
    return QJsonObject{
        {"success", true},
        {"status", "pending"},
        {"msg", "Beneficiary created; it can receive transfers after its cool-down period"},
        {"reference", id},
    };
}

std::optional<QJsonObject> AppServer::checkPayment(const QJsonObject &body) const
{
    const QJsonValue amount = body.value("amount");
    if (!amount.isDouble() || !std::isfinite(amount.toDouble()) || amount.toDouble() <= 0)
        return error("INVALID_AMOUNT", "The amount must be a positive number");
    const QString senderID = text(body, "senderID");
    const std::optional<QJsonObject> sender = SandboxData::account(senderID);
    if (!sender)
        return error("ACCOUNT_NOT_FOUND", "Unknown sender account: " + senderID);
    if (amount.toDouble() > sender->value("balance").toObject().value("amount").toDouble())
        return error("INSUFFICIENT_BALANCE", "The account balance is too low for this transfer");
    return std::nullopt;
}

QJsonObject AppServer::completedTransfer()
{
    return QJsonObject{
        {"success", true},
        {"status", "completed"},
        {"msg", "Transfer completed"},
        {"reference", nextReference("TRF")},
    };
}

QJsonObject AppServer::transferToExisting(Login &login, const QJsonObject &body, bool wire)
{
    if (auto problem = checkPayment(body))
        return *problem;
    const QString receiverID = text(body, "receiverID");
    const std::optional<QJsonObject> receiver = findById(listFor(login, wire), receiverID);
    if (!receiver)
        return error("BENEFICIARY_NOT_FOUND", "Unknown beneficiary: " + receiverID);
    const QString status = receiver->value("status").toString();
    if (status == QLatin1String("pending"))
        return coolingDown("The beneficiary can receive transfers after its cool-down period");
    if (status != QLatin1String("active"))
        return error("BENEFICIARY_NOT_ACTIVATED", "The beneficiary is not activated");
    return completedTransfer();
}

QJsonObject AppServer::autoflowTransfer(Login &login, const QJsonObject &body, bool wire)
{
    const QJsonValue beneficiaryValue = body.value("beneficiary");
    if (!beneficiaryValue.isObject())
        return error("INVALID_REQUEST", "A beneficiary is required");
    if (auto problem = checkPayment(body))
        return *problem;
    const QJsonObject beneficiary = beneficiaryValue.toObject();

    QString status = QStringLiteral("pending");
    if (const auto listed = findSameAccount(listFor(login, wire), beneficiary)) {
        status = listed->value("status").toString();
    } else {
        const QJsonObject created = createBeneficiary(login, beneficiary, wire);
        if (created.value("success") == QJsonValue(false))
            return created;
    }
    if (status == QLatin1String("active"))
        return completedTransfer();
    if (status != QLatin1String("pending"))
        return error("BENEFICIARY_NOT_ACTIVATED", "The beneficiary is not activated");
    // The new beneficiary has to wait out its cool-down; the bank holds the
    // transfer until then.
    return QJsonObject{
        {"success", true},
        {"status", "pending"},
        {"msg", "The transfer is made once the beneficiary's cool-down period is over"},
        {"reference", nextReference("TRF")},
        {"coolDownPeriod", SandboxData::beneficiaryCoolDownPeriod()},
    };
}

QJsonObject AppServer::delink(Login &login)
{
    login.delinked = true;
    return QJsonObject{{"success", true}, {"status", "delinked"}, {"msg", "The login has been delinked"}};
}

std::optional<ScriptedReply> AppServer::asset(const RecordedRequest &request) const
{
    static const QRegularExpression logoPath(QStringLiteral("^/banks/[^/]+/(full|half|mini)\\.png$"));
    if (request.method != QLatin1String("GET") || !logoPath.match(request.path).hasMatch())
        return std::nullopt;
    ScriptedReply reply = ScriptedReply::raw(SandboxData::logoPng());
    reply.contentType = "image/png";
    return reply;
}

} // namespace kova::sandbox
