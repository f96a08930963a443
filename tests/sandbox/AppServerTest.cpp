#include <QJsonDocument>
#include <gtest/gtest.h>

#include "SandboxClient.h"
#include "sandbox/MfaScript.h"
#include "sandbox/SandboxServer.h"

using namespace kova::sandbox;
using namespace kova::sandbox::test;

namespace {

class AppServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        login = server.issueLogin("client-7");
    }

    // The body the SDK sends for a call of `login`: its credentials, the
    // call's own keys and the common keys.
    QJsonObject body(const QString &action, const QJsonObject &own = {}, const QJsonObject &as = {}) const
    {
        const QJsonObject who = as.isEmpty() ? login : as;
        QJsonObject b = own;
        b.insert("userSecret", who.value("userSecret"));
        b.insert("tokenID", who.value("tokenID"));
        b.insert("userID", who.value("userID"));
        b.insert("bankID", who.value("bankId"));
        b.insert("appKey", "app-key-1");
        b.insert("action", action);
        b.insert("bundleID", QJsonValue::Null);
        return b;
    }

    QJsonObject call(const QString &action, const QJsonObject &own = {}, const QJsonObject &as = {})
    {
        const HttpResult result = client.post(server.appServerUrl(), body(action, own, as));
        EXPECT_TRUE(result.finished);
        EXPECT_EQ(result.status, 200) << action.toStdString();
        return result.json();
    }

    static QJsonObject withoutOperationID(QJsonObject reply)
    {
        reply.remove("operationID");
        return reply;
    }

    SandboxServer server;
    SandboxClient client;
    QJsonObject login;
};

QJsonObject answer(const QString &id, const QString &text, int index)
{
    return QJsonObject{{"id", id}, {"answer", text}, {"index", index}};
}

} // namespace

TEST_F(AppServerTest, IssuesLoginsWithTheConnectionParameterKeys)
{
    const QStringList keys{"accessCode", "bankId", "clientUserID", "color", "connectionID", "fullLogoPng",
                           "fullName", "halfLogoPng", "miniLogoPng", "name", "tokenID", "userID", "userSecret"};
    EXPECT_EQ(login.keys(), keys);
    EXPECT_EQ(login.value("clientUserID"), "client-7");
    EXPECT_EQ(login.value("bankId"), "SANDBOXBANK");
    EXPECT_EQ(login.value("name"), "Sandbox Bank");
    EXPECT_EQ(login.value("fullName"), "Sandbox Bank");
    EXPECT_EQ(login.value("color").toObject(),
              (QJsonObject{{"primaryColor", "#0B6E4F"}, {"secondaryColor", "#F4B942"}}));
    EXPECT_EQ(login.value("fullLogoPng"), server.baseUrl().toString() + "/banks/SANDBOXBANK/full.png");
    for (const char *key : {"userSecret", "accessCode", "connectionID", "userID", "tokenID"})
        EXPECT_FALSE(login.value(key).toString().isEmpty()) << key;

    const QJsonObject other = server.issueLogin("client-7", "OTHERBANK");
    EXPECT_EQ(other.value("bankId"), "OTHERBANK");
    for (const char *key : {"userSecret", "accessCode", "connectionID", "userID", "tokenID"})
        EXPECT_NE(other.value(key), login.value(key)) << key;

    // The logos it names are served.
    const HttpResult logo = SandboxClient::finish(client.startGet(QUrl(login.value("miniLogoPng").toString())));
    EXPECT_EQ(logo.status, 200);
    EXPECT_EQ(logo.contentType, "image/png");
    EXPECT_TRUE(logo.body.startsWith("\x89PNG\r\n\x1a\n"));
}

TEST_F(AppServerTest, AnswersTheDataCallsWithTheFixedCustomer)
{
    const QJsonObject identity = call("/data/identity/get");
    EXPECT_EQ(identity.value("success"), QJsonValue(true));
    const QJsonObject person = identity.value("identity").toObject();
    EXPECT_EQ(person.value("name"), "Layla Haddad");
    EXPECT_EQ(person.value("dateOfBirth"), "1990-04-12");
    EXPECT_EQ(person.value("address").toObject().value("city"), "Dubai");
    EXPECT_EQ(person.value("numbers").toArray().size(), 2);

    const QJsonArray accounts = call("/data/accounts/get").value("accounts").toArray();
    ASSERT_EQ(accounts.size(), 3);
    const QJsonObject current = accounts[0].toObject();
    EXPECT_EQ(current.value("id"), "ACC-1001");
    EXPECT_EQ(current.value("balance").toObject().value("amount").toDouble(), 15250.75);
    EXPECT_EQ(current.value("currency").toObject(), (QJsonObject{{"code", "AED"}, {"name", "UAE Dirham"}}));
    EXPECT_EQ(accounts[2].toObject().value("currency").toObject().value("code"), "USD");

    const QJsonObject metadata = call("/metadata/accounts/get").value("accountsMetadata").toObject();
    EXPECT_EQ(metadata.value("bankName"), "Sandbox Bank");
    EXPECT_EQ(metadata.value("swiftCode"), "SBXBAEAD");
    EXPECT_EQ(metadata.value("isCreateBeneficiaryEndpointRequired"), QJsonValue(true));
    EXPECT_EQ(metadata.value("beneficiaryCoolDownPeriod").toObject(), (QJsonObject{{"value", 24}, {"unit", "hrs"}}));
    EXPECT_EQ(metadata.value("country").toObject().value("name"), "United Arab Emirates");
    EXPECT_EQ(metadata.value("address").toObject().keys(), (QStringList{"line1", "line2", "line3"}));

    const QJsonArray cards = call("/data/cards/get").value("cards").toArray();
    ASSERT_EQ(cards.size(), 2);
    EXPECT_EQ(cards[0].toObject().value("expiryDate"), "2027-08-31T00:00:00+0400");
    EXPECT_EQ(cards[1].toObject().value("status"), "blocked");
    EXPECT_EQ(cards[0].toObject().value("balance").toObject().value("availableBalance").toDouble(), 18799.5);

    const QJsonArray beneficiaries = call("/payment/beneficiaries/get").value("beneficiaries").toArray();
    ASSERT_EQ(beneficiaries.size(), 3);
    EXPECT_EQ(beneficiaries[0].toObject().value("status"), "active");
    EXPECT_EQ(beneficiaries[2].toObject().value("status"), "inactive");

    const QJsonArray wire = call("/wire/beneficiaries/get").value("beneficiaries").toArray();
    ASSERT_EQ(wire.size(), 1);
    EXPECT_EQ(wire[0].toObject().value("routingNumber"), "021000021");
    EXPECT_EQ(wire[0].toObject().value("address").toObject().value("zipCode"), "10166");
}

TEST_F(AppServerTest, EveryReplyCarriesItsOwnOperationID)
{
    QStringList ids;
    ids << call("/data/accounts/get").value("operationID").toString();
    ids << call("/data/identity/get", {}, QJsonObject{{"tokenID", "nobody"}}).value("operationID").toString();
    ids << client.post(server.appServerUrl(), body("/no/such/thing")).json().value("operationID").toString();
    for (const QString &id : ids)
        EXPECT_TRUE(id.startsWith("op-")) << id.toStdString();
    ids.removeDuplicates();
    EXPECT_EQ(ids.size(), 3);
}

TEST_F(AppServerTest, TransactionsOfAnAccountAndOfACard)
{
    const QJsonObject dates{{"fromDate", "2024-03-01"}, {"toDate", "2024-03-31"}};
    QJsonObject own = dates;
    own.insert("accountID", "ACC-1002");
    const QJsonArray ofAccount = call("/data/transactions/get", own).value("transactions").toArray();
    ASSERT_EQ(ofAccount.size(), 3);
    const QJsonObject newest = ofAccount[0].toObject();
    EXPECT_EQ(newest.value("date"), "2024-03-18T14:05:12.345+0400");
    EXPECT_EQ(newest.value("details"), "Card purchase ACC-1002");
    EXPECT_EQ(newest.value("afterAmount").toDouble(), 82000.0);
    EXPECT_EQ(newest.value("beforeAmount").toDouble(), 82250.5);

    own = dates;
    own.insert("cardID", "CARD-2001");
    const QJsonArray ofCard = call("/data/transactions/get", own).value("transactions").toArray();
    ASSERT_EQ(ofCard.size(), 2);
    EXPECT_EQ(ofCard[0].toObject().value("details"), "Card CARD-2001");

    own = dates;
    own.insert("accountID", "123456789");
    const QJsonObject unknown = call("/data/transactions/get", own);
    EXPECT_EQ(unknown.value("transactions").toArray(), QJsonArray{});

    const QJsonObject neither = call("/data/transactions/get", dates);
    EXPECT_EQ(withoutOperationID(neither),
              (QJsonObject{{"success", false}, {"type", "INVALID_REQUEST"}, {"msg", "accountID or cardID is required"}}));
}

TEST_F(AppServerTest, CredentialsAreCheckedAndADelinkedLoginStaysDelinked)
{
    QJsonObject wrongSecret = login;
    wrongSecret.insert("userSecret", "guess");
    EXPECT_EQ(withoutOperationID(call("/data/accounts/get", {}, wrongSecret)),
              (QJsonObject{{"success", false},
                           {"type", "INVALID_CREDENTIALS"},
                           {"msg", "The user secret does not match this login"}}));
    QJsonObject stranger = login;
    stranger.insert("userID", "someone-else");
    EXPECT_EQ(call("/data/accounts/get", {}, stranger).value("msg"), "Unknown login");

    const QJsonObject other = server.issueLogin("client-8");
    const QJsonObject delinked = call("/users/DelinkUser");
    EXPECT_EQ(withoutOperationID(delinked),
              (QJsonObject{{"success", true}, {"status", "delinked"}, {"msg", "The login has been delinked"}}));

    for (const char *action : {"/data/accounts/get", "/users/DelinkUser", "/metadata/accounts/get"}) {
        EXPECT_EQ(withoutOperationID(call(action)),
                  (QJsonObject{{"success", false}, {"type", "USER_DELINKED"}, {"msg", "This login has been delinked"}}))
                << action;
    }
    // A wrong secret still counts as wrong credentials after the delink.
    EXPECT_EQ(call("/data/accounts/get", {}, wrongSecret).value("type"), "INVALID_CREDENTIALS");
    EXPECT_EQ(call("/data/accounts/get", {}, other).value("success"), QJsonValue(true));
}

TEST_F(AppServerTest, TokenExchange)
{
    const QJsonObject exchange{{"connectionID", login.value("connectionID")},
                               {"accessCode", login.value("accessCode")},
                               {"tokenID", login.value("tokenID")},
                               {"userID", login.value("userID")},
                               {"appKey", "k"},
                               {"action", "/auth/ExchangeToken"},
                               {"bundleID", QJsonValue::Null}};
    const QJsonObject known = client.post(server.appServerUrl(), exchange).json();
    EXPECT_EQ(known.value("success"), QJsonValue(true));
    EXPECT_EQ(known.value("userSecret"), login.value("userSecret"));
    EXPECT_EQ(known.value("tokenID"), login.value("tokenID"));
    EXPECT_EQ(known.value("userID"), login.value("userID"));

    QJsonObject wrongCode = exchange;
    wrongCode.insert("accessCode", "stolen");
    EXPECT_EQ(client.post(server.appServerUrl(), wrongCode).json().value("type"), "INVALID_CREDENTIALS");

    QJsonObject fresh = exchange;
    fresh.insert("connectionID", "connection-from-the-page");
    fresh.insert("accessCode", "code-from-the-page");
    const QJsonObject minted = client.post(server.appServerUrl(), fresh).json();
    EXPECT_EQ(minted.value("success"), QJsonValue(true));
    EXPECT_EQ(minted.value("connectionID"), "connection-from-the-page");
    EXPECT_EQ(minted.value("accessCode"), "code-from-the-page");
    EXPECT_NE(minted.value("userSecret"), login.value("userSecret"));
    // The minted login is one the app server now knows.
    QJsonObject mintedLogin = minted;
    mintedLogin.insert("bankId", "SANDBOXBANK");
    EXPECT_EQ(call("/data/identity/get", {}, mintedLogin).value("success"), QJsonValue(true));
    // And exchanging the same connection again gives the same login.
    QJsonObject again = fresh;
    again.insert("tokenID", minted.value("tokenID"));
    again.insert("userID", minted.value("userID"));
    EXPECT_EQ(client.post(server.appServerUrl(), again).json().value("userSecret"), minted.value("userSecret"));

    QJsonObject incomplete = exchange;
    incomplete.remove("accessCode");
    EXPECT_EQ(client.post(server.appServerUrl(), incomplete).json().value("type"), "INVALID_REQUEST");

    call("/users/DelinkUser");
    EXPECT_EQ(client.post(server.appServerUrl(), exchange).json().value("type"), "USER_DELINKED");
}

TEST_F(AppServerTest, DoubleSlashWireActionsCreateAndPay)
{
    const QJsonObject wireBeneficiary{
        {"name", "Ana Ruiz"}, {"firstName", "Ana"}, {"lastName", "Ruiz"}, {"routingNumber", "026009593"},
        {"accountNumber", "000987654321"}, {"country", "US"}, {"city", "Miami"}, {"state", "FL"},
        {"zipCode", "33101"}, {"bankName", "Example Bank"}, {"type", "intl"},
        {"address", QJsonObject{{"line1", "1 Ocean Drive"}, {"line2", QJsonValue::Null}, {"line3", "Miami"}}},
    };
    const QJsonObject created = call("//wire/beneficiaries/create", wireBeneficiary);
    EXPECT_EQ(created.value("success"), QJsonValue(true));
    EXPECT_EQ(created.value("status"), "pending");
    const QString id = created.value("reference").toString();
    EXPECT_TRUE(id.startsWith("WBEN-")) << id.toStdString();

    const QJsonArray listed = call("/wire/beneficiaries/get").value("beneficiaries").toArray();
    ASSERT_EQ(listed.size(), 2);
    const QJsonObject added = listed[1].toObject();
    EXPECT_EQ(added.value("id"), id);
    EXPECT_EQ(added.value("address").toObject().value("full"), "1 Ocean Drive, Miami");
    EXPECT_EQ(added.value("status"), "pending");

    const QJsonObject paid =
            call("//wire/transfer/create",
                 QJsonObject{{"senderID", "ACC-1003"}, {"receiverID", "WBEN-4001"}, {"amount", 100}, {"remark", "rent"}});
    EXPECT_EQ(paid.value("success"), QJsonValue(true));
    EXPECT_EQ(paid.value("status"), "completed");
    EXPECT_TRUE(paid.value("reference").toString().startsWith("TRF-"));

    const QJsonObject waiting = call("//wire/transfer/create",
                                     QJsonObject{{"senderID", "ACC-1003"}, {"receiverID", id}, {"amount", 100}});
    EXPECT_EQ(waiting.value("type"), "BENEFICIARY_COOL_DOWN_PERIOD");
    EXPECT_EQ(waiting.value("coolDownPeriod").toObject(), (QJsonObject{{"value", 24}, {"unit", "hrs"}}));

    // With a single slash these are not actions of the app server.
    const HttpResult single = client.post(server.appServerUrl(), body("/wire/transfer/create"));
    EXPECT_EQ(single.status, 400);
    EXPECT_EQ(single.json().value("type"), "UNKNOWN_ACTION");
}

TEST_F(AppServerTest, TransfersToListedBeneficiaries)
{
    const auto transfer = [&](const QString &receiver, double amount, const QString &sender = "ACC-1001") {
        return call("/payment/transfer/create",
                    QJsonObject{{"senderID", sender}, {"receiverID", receiver}, {"amount", amount}, {"remark", QJsonValue::Null}});
    };
    const QJsonObject first = transfer("BEN-3001", 250);
    EXPECT_EQ(withoutOperationID(first), (QJsonObject{{"success", true},
                                                      {"status", "completed"},
                                                      {"msg", "Transfer completed"},
                                                      {"reference", first.value("reference")}}));
    const QJsonObject second = transfer("BEN-3002", 250);
    EXPECT_NE(second.value("reference"), first.value("reference"));

    EXPECT_EQ(transfer("BEN-3003", 10).value("type"), "BENEFICIARY_NOT_ACTIVATED");
    EXPECT_EQ(transfer("BEN-9999", 10).value("type"), "BENEFICIARY_NOT_FOUND");
    EXPECT_EQ(transfer("BEN-3001", 15250.76).value("type"), "INSUFFICIENT_BALANCE");
    EXPECT_EQ(transfer("BEN-3001", 15250.75).value("status"), "completed");
    EXPECT_EQ(transfer("BEN-3001", 0).value("type"), "INVALID_AMOUNT");
    EXPECT_EQ(transfer("BEN-3001", 10, "ACC-0000").value("type"), "ACCOUNT_NOT_FOUND");
}

TEST_F(AppServerTest, BeneficiaryCreationAndAutoflowTransfers)
{
    const QJsonObject beneficiary{{"name", "Mona Aziz"}, {"iban", "AE120260001015555555555"}, {"type", "local"},
                                  {"country", "AE"}};
    const QJsonObject created = call("/payment/beneficiaries/create", beneficiary);
    EXPECT_EQ(created.value("status"), "pending");
    const QString id = created.value("reference").toString();
    const QJsonArray listed = call("/payment/beneficiaries/get").value("beneficiaries").toArray();
    ASSERT_EQ(listed.size(), 4);
    EXPECT_EQ(listed[3].toObject(), (QJsonObject{{"id", id},
                                                 {"name", "Mona Aziz"},
                                                 {"accountNumber", QJsonValue::Null},
                                                 {"iban", "AE120260001015555555555"},
                                                 {"type", "local"},
                                                 {"status", "pending"}}));
    EXPECT_EQ(call("/payment/beneficiaries/create", beneficiary).value("type"), "BENEFICIARY_ALREADY_EXISTS");
    EXPECT_EQ(call("/payment/beneficiaries/create", QJsonObject{{"name", "No Account"}}).value("type"),
              "INVALID_BENEFICIARY");

    // Autoflow to a new beneficiary: created, and the transfer waits out the cool-down.
    const QJsonObject newcomer{{"name", "Yousef Ali"}, {"accountNumber", "5550001112223334"}, {"iban", QJsonValue::Null}};
    const QJsonObject pending =
            call("/payment/transfer/autoflow",
                 QJsonObject{{"senderID", "ACC-1001"}, {"amount", 100.75}, {"remark", "gift"}, {"beneficiary", newcomer}});
    EXPECT_EQ(pending.value("success"), QJsonValue(true));
    EXPECT_EQ(pending.value("status"), "pending");
    EXPECT_EQ(pending.value("coolDownPeriod").toObject(), (QJsonObject{{"value", 24}, {"unit", "hrs"}}));
    EXPECT_TRUE(pending.value("reference").toString().startsWith("TRF-"));
    EXPECT_EQ(call("/payment/beneficiaries/get").value("beneficiaries").toArray().size(), 5);

    // Autoflow to a listed, active beneficiary goes through at once.
    const QJsonObject listedActive{{"name", "Omar Saleh"}, {"iban", "AE460262001300040005000"}};
    const QJsonObject done = call("/payment/transfer/autoflow",
                                  QJsonObject{{"senderID", "ACC-1001"}, {"amount", 5}, {"beneficiary", listedActive}});
    EXPECT_EQ(done.value("status"), "completed");
    EXPECT_FALSE(done.contains("coolDownPeriod"));

    const QJsonObject none = call("/payment/transfer/autoflow",
                                  QJsonObject{{"senderID", "ACC-1001"}, {"amount", 5}, {"beneficiary", QJsonValue::Null}});
    EXPECT_EQ(none.value("type"), "INVALID_REQUEST");

    const QJsonObject wire = call("/wire/transfer/autoflow",
                                  QJsonObject{{"senderID", "ACC-1003"},
                                              {"amount", 50.5},
                                              {"beneficiary", QJsonObject{{"name", "Li Wei"}, {"accountNumber", "77"}}}});
    EXPECT_EQ(wire.value("status"), "pending");
    EXPECT_EQ(call("/wire/beneficiaries/get").value("beneficiaries").toArray().size(), 2);
}

TEST_F(AppServerTest, EveryErrorTypeCanBeScripted)
{
    const QStringList types{"INVALID_CREDENTIALS",       "USER_DELINKED",     "USER_ALREADY_LOGGED_IN",
                            "INSUFFICIENT_FUNDS",        "BENEFICIARY_NOT_ACTIVATED", "SESSION_EXPIRED",
                            "ACCOUNT_LOCKED",            "BENEFICIARY_COOL_DOWN_PERIOD", "INSUFFICIENT_BALANCE",
                            "SESSION_INVALIDATED",       "SOMETHING_NEW"};
    QList<QJsonObject> scripted;
    for (const QString &type : types)
        scripted.append(QJsonObject{{"success", false}, {"type", type}, {"msg", "because " + type}, {"operationID", "op-x"}});
    scripted.append(QJsonObject{{"success", false}});
    for (const QJsonObject &reply : scripted)
        server.scriptAction("/data/cards/get", ScriptedReply::json(reply));
    for (const QJsonObject &reply : scripted)
        EXPECT_EQ(call("/data/cards/get"), reply);
    EXPECT_EQ(call("/data/cards/get").value("success"), QJsonValue(true));
}

TEST_F(AppServerTest, MfaTwoRoundsThenTheData)
{
    const QJsonArray otp{QJsonObject{{"id", "otp"}, {"query", "Enter the code sent to your phone"}, {"index", 0}}};
    const QJsonArray captcha{QJsonObject{{"id", "captcha"}, {"query", "iVBORw0KGgo="}, {"index", 0}},
                             QJsonObject{{"id", "memorable"}, {"query", "Your memorable word"}, {"index", 1}}};
    server.scriptMfa("/data/accounts/get", {otp, captcha},
                     QJsonObject{{"otp", "123456"}, {"captcha", "W7XK"}});

    const QJsonObject first = call("/data/accounts/get");
    const QString operationID = first.value("operationID").toString();
    EXPECT_FALSE(operationID.isEmpty());
    EXPECT_EQ(first, (QJsonObject{{"status", "user_input_required"},
                                  {"msg", "The bank needs more information"},
                                  {"operationID", operationID},
                                  {"hlAPIStep", "mfa-step-1"},
                                  {"userInputs", otp}}));

    QJsonObject resume{{"operationID", operationID},
                       {"hlAPIStep", "mfa-step-1"},
                       {"userInputs", QJsonArray{answer("otp", "123456", 0)}}};
    const QJsonObject second = call("/data/accounts/get", resume);
    EXPECT_EQ(second.value("status"), "user_input_required");
    EXPECT_EQ(second.value("operationID"), operationID);
    EXPECT_EQ(second.value("hlAPIStep"), "mfa-step-2");
    EXPECT_EQ(second.value("userInputs").toArray(), captcha);

    resume = QJsonObject{{"operationID", operationID},
                         {"hlAPIStep", "mfa-step-2"},
                         {"userInputs", QJsonArray{answer("captcha", "W7XK", 0), answer("memorable", " any word ", 1)}}};
    const QJsonObject done = call("/data/accounts/get", resume);
    EXPECT_EQ(done.value("success"), QJsonValue(true));
    EXPECT_EQ(done.value("operationID"), operationID);
    EXPECT_EQ(done.value("accounts").toArray().size(), 3);

    // The script is used up: the next call is answered at once.
    EXPECT_EQ(call("/data/accounts/get").value("accounts").toArray().size(), 3);
}

TEST_F(AppServerTest, MfaRejectsWrongAnswersWithoutBlamingTheCredentials)
{
    const QJsonArray prompts{QJsonObject{{"id", "a"}, {"query", "First"}, {"index", 0}},
                             QJsonObject{{"id", "b"}, {"query", "Second"}, {"index", 1}}};
    const QJsonObject expected{{"a", "1"}, {"b", "2"}};
    const struct {
        const char *name;
        QJsonValue step;
        QJsonValue inputs;
    } wrong[] = {
        {"wrong code", "mfa-step-1", QJsonArray{answer("a", "1", 0), answer("b", "3", 1)}},
        {"answers swapped", "mfa-step-1", QJsonArray{answer("b", "2", 1), answer("a", "1", 0)}},
        {"one answer missing", "mfa-step-1", QJsonArray{answer("a", "1", 0)}},
        {"blank answer", "mfa-step-1", QJsonArray{answer("a", "1", 0), answer("b", "   ", 1)}},
        {"wrong step", "mfa-step-9", QJsonArray{answer("a", "1", 0), answer("b", "2", 1)}},
        {"no answers", "mfa-step-1", QJsonValue::Null},
    };
    for (const auto &c : wrong) {
        server.scriptMfa("/data/identity/get", {prompts}, expected);
        const QString operationID = call("/data/identity/get").value("operationID").toString();
        const QJsonObject rejected = call(
                "/data/identity/get",
                QJsonObject{{"operationID", operationID}, {"hlAPIStep", c.step}, {"userInputs", c.inputs}});
        EXPECT_EQ(rejected.value("success"), QJsonValue(false)) << c.name;
        EXPECT_EQ(rejected.value("type"), MfaScript::RejectedType) << c.name;
        EXPECT_NE(rejected.value("type"), "INVALID_CREDENTIALS") << c.name;
        EXPECT_EQ(rejected.value("operationID"), operationID) << c.name;
        EXPECT_FALSE(rejected.value("msg").toString().isEmpty()) << c.name;
        // The rejected operation is over; resending its answers starts nothing.
        const QJsonObject after = call(
                "/data/identity/get",
                QJsonObject{{"operationID", operationID}, {"hlAPIStep", "mfa-step-1"},
                            {"userInputs", QJsonArray{answer("a", "1", 0), answer("b", "2", 1)}}});
        EXPECT_EQ(after.value("success"), QJsonValue(true)) << c.name;
        EXPECT_NE(after.value("operationID"), operationID) << c.name;
    }

    // Index given as text in the prompt and echoed back as a number is the same index.
    server.scriptMfa("/data/identity/get", {QJsonArray{QJsonObject{{"id", "a"}, {"query", "Q"}, {"index", "0"}}}}, {});
    const QString operationID = call("/data/identity/get").value("operationID").toString();
    EXPECT_EQ(call("/data/identity/get",
                   QJsonObject{{"operationID", operationID}, {"hlAPIStep", "mfa-step-1"},
                               {"userInputs", QJsonArray{answer("a", "anything", 0)}}})
                      .value("success"),
              QJsonValue(true));
}

TEST_F(AppServerTest, MfaWithoutStepOrOperationID)
{
    const QJsonArray prompts{QJsonObject{{"id", "otp"}, {"query", "Code"}, {"index", 0}}};

    server.scriptMfa("/metadata/accounts/get", {prompts}, QJsonObject{{"otp", "42"}}, false, true);
    const QJsonObject noStep = call("/metadata/accounts/get");
    EXPECT_FALSE(noStep.contains("hlAPIStep"));
    const QString operationID = noStep.value("operationID").toString();
    const QJsonObject resumed = call("/metadata/accounts/get",
                                     QJsonObject{{"operationID", operationID}, {"hlAPIStep", QJsonValue::Null},
                                                 {"userInputs", QJsonArray{answer("otp", "42", 0)}}});
    EXPECT_EQ(resumed.value("success"), QJsonValue(true));
    EXPECT_TRUE(resumed.contains("accountsMetadata"));

    // Without an operation ID the client can only repeat the call: each
    // repeat takes the next round, and then the data comes.
    server.scriptMfa("/data/cards/get", {prompts, prompts}, {}, true, false);
    const QJsonObject round1 = call("/data/cards/get");
    EXPECT_EQ(round1, (QJsonObject{{"status", "user_input_required"},
                                   {"msg", "The bank needs more information"},
                                   {"hlAPIStep", "mfa-step-1"},
                                   {"userInputs", prompts}}));
    EXPECT_EQ(call("/data/cards/get").value("hlAPIStep"), "mfa-step-2");
    EXPECT_EQ(call("/data/cards/get").value("cards").toArray().size(), 2);
}

TEST_F(AppServerTest, MfaIsScriptedPerActionAndCredentialsStillCount)
{
    const QJsonArray prompts{QJsonObject{{"id", "otp"}, {"query", "Code"}, {"index", 0}}};
    server.scriptMfa("//wire/transfer/create", {prompts}, QJsonObject{{"otp", "1"}});
    // Other actions are not interrupted.
    EXPECT_EQ(call("/data/identity/get").value("success"), QJsonValue(true));

    const QJsonObject own{{"senderID", "ACC-1003"}, {"receiverID", "WBEN-4001"}, {"amount", 10}};
    const QString operationID = call("//wire/transfer/create", own).value("operationID").toString();
    QJsonObject resumed = own;
    resumed.insert("operationID", operationID);
    resumed.insert("hlAPIStep", "mfa-step-1");
    resumed.insert("userInputs", QJsonArray{answer("otp", "1", 0)});
    QJsonObject wrongSecret = login;
    wrongSecret.insert("userSecret", "nope");
    // The answers are right, but the call itself is still answered as the login deserves.
    EXPECT_EQ(call("//wire/transfer/create", resumed, wrongSecret).value("type"), "INVALID_CREDENTIALS");
}

TEST_F(AppServerTest, MfaCanBeScriptedOverHttpByAnotherProcess)
{
    const QUrl scriptUrl = server.baseUrl().resolved(QUrl(SandboxServer::ScriptMfaPath));
    const QJsonArray otp{QJsonObject{{"id", "otp"}, {"query", "Code?"}, {"index", 0}}};
    const HttpResult scripted = client.post(
        scriptUrl, QJsonObject{{"action", "/data/identity/get"}, {"rounds", QJsonArray{otp}},
                               {"answers", QJsonObject{{"otp", "4242"}}}, {"hlAPIStep", false}});
    ASSERT_EQ(scripted.status, 200);

    const QJsonObject first = call("/data/identity/get");
    EXPECT_EQ(first.value("status"), "user_input_required");
    EXPECT_EQ(first.value("userInputs").toArray(), otp);
    EXPECT_FALSE(first.contains("hlAPIStep"));
    const QJsonObject done = call("/data/identity/get",
                                  QJsonObject{{"operationID", first.value("operationID")},
                                              {"userInputs", QJsonArray{answer("otp", "4242", 0)}}});
    EXPECT_EQ(done.value("success"), QJsonValue(true));

    // A script the sandbox could not follow is refused, and nothing is scripted.
    EXPECT_EQ(client.post(scriptUrl, QJsonObject{{"action", "/data/identity/get"}, {"rounds", QJsonArray{}}}).status, 400);
    EXPECT_EQ(client.post(scriptUrl, QJsonObject{{"action", "/data/identity/get"}, {"rounds", QJsonArray{QJsonArray{}}}})
                  .status,
              400);
    EXPECT_EQ(client.post(scriptUrl, QJsonObject{{"rounds", QJsonArray{otp}}}).status, 400);
    EXPECT_EQ(call("/data/identity/get").value("success"), QJsonValue(true));
}
