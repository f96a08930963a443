#include <functional>

#include "core/connections/KOVLogin.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVBalance.h"
#include "core/records/KOVBankBeneficiary.h"
#include "core/records/KOVBankMetadata.h"
#include "core/records/KOVBankWireBeneficiary.h"
#include "core/records/KOVCard.h"
#include "core/records/KOVCardBalance.h"
#include "core/records/KOVIdentity.h"
#include "core/records/KOVMeasure.h"
#include "core/records/KOVTransaction.h"
#include "core/records/KOVWireBeneficiary.h"
#include "tests/records/RecordTestSupport.h"

// Banks send amounts as text to keep their decimals exact, and identifiers
// and flags in whichever JSON type their systems use. Each case reads one
// field and gives what the record holds as JSON: a number, a text, a truth
// value, or null for an absent value.
namespace kova {
namespace {

using test::jsonObject;
using test::jsonValue;

QJsonValue number(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue text(const QString &value)
{
    return value.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(value);
}

using Read = std::function<QJsonValue(const QJsonObject &)>;

const Read accountBalance = [](const QJsonObject &o) { return QJsonValue(KOVAccount::initWithDictionary(o)->balance()); };
const Read accountID = [](const QJsonObject &o) { return text(KOVAccount::initWithDictionary(o)->accountID()); };
const Read accountNumber = [](const QJsonObject &o) { return text(KOVAccount::initWithDictionary(o)->number()); };
const Read balanceAmount = [](const QJsonObject &o) { return number(KOVBalance::initWithDictionary(o)->amount()); };
const Read balanceAccountNumber = [](const QJsonObject &o) {
    return text(KOVBalance::initWithDictionary(o)->accountNumber());
};
const Read transactionAmount = [](const QJsonObject &o) { return number(KOVTransaction::initWithDictionary(o)->amount()); };
const Read transactionBefore = [](const QJsonObject &o) {
    return number(KOVTransaction::initWithDictionary(o)->beforeAmount());
};
const Read transactionAfter = [](const QJsonObject &o) {
    return number(KOVTransaction::initWithDictionary(o)->afterAmount());
};
const Read cardCreditLimit = [](const QJsonObject &o) { return number(KOVCard::initWithDictionary(o)->creditLimit()); };
const Read cardID = [](const QJsonObject &o) { return text(KOVCard::initWithDictionary(o)->cardID()); };
const Read cardNumber = [](const QJsonObject &o) { return text(KOVCard::initWithDictionary(o)->cardNumber()); };
const Read cardAmountDue = [](const QJsonObject &o) {
    return number(KOVCard::initWithDictionary(o)->balance()->amountDue());
};
const Read cardAvailable = [](const QJsonObject &o) {
    return number(KOVCardBalance::initWithDictionary(o)->availableBalance());
};
const Read cardOutstanding = [](const QJsonObject &o) {
    return number(KOVCardBalance::initWithDictionary(o)->outstandingBalance());
};
const Read measureSeconds = [](const QJsonObject &o) { return QJsonValue(KOVMeasure::initWithDictionary(o).toSeconds()); };
const Read coolDown = [](const QJsonObject &o) {
    return QJsonValue(KOVBankMetadata::initWithDictionary(o)->beneficiaryCoolDownPeriod());
};
const Read retention = [](const QJsonObject &o) {
    return QJsonValue(KOVBankMetadata::initWithDictionary(o)->transactionsRetentionPeriod());
};
const Read boundMinimum = [](const QJsonObject &o) {
    const auto bounds = KOVBankMetadata::initWithDictionary(o)->transferBounds();
    return bounds.isEmpty() ? QJsonValue(QStringLiteral("no bound")) : number(bounds.first().minimum());
};
const Read beneficiaryRequired = [](const QJsonObject &o) {
    return QJsonValue(KOVBankMetadata::initWithDictionary(o)->isCreateBeneficairyEndpointRequired());
};
const Read bankBeneficiaryID = [](const QJsonObject &o) {
    return text(KOVBankBeneficiary::initWithDictionary(o)->accountID());
};
const Read bankBeneficiaryAccountNumber = [](const QJsonObject &o) {
    return text(KOVBankBeneficiary::initWithDictionary(o)->accountNumber());
};
const Read wireID = [](const QJsonObject &o) { return text(KOVBankWireBeneficiary::initWithDictionary(o)->accountID()); };
const Read wireAccountNumber = [](const QJsonObject &o) {
    return text(KOVBankWireBeneficiary::initWithDictionary(o)->accountNumber());
};
const Read wireRoutingNumber = [](const QJsonObject &o) {
    return text(KOVBankWireBeneficiary::initWithDictionary(o)->routingNumber());
};
const Read requestAccountNumber = [](const QJsonObject &o) {
    return KOVWireBeneficiary::initWithDictionary(o)->dictionaryRepresentation().value(QStringLiteral("accountNumber"));
};
const Read requestRoutingNumber = [](const QJsonObject &o) {
    return KOVWireBeneficiary::initWithDictionary(o)->dictionaryRepresentation().value(QStringLiteral("routingNumber"));
};
const Read phoneNumber = [](const QJsonObject &o) {
    const auto numbers = KOVIdentity::initWithDictionary(o)->numbers();
    return numbers.isEmpty() ? QJsonValue(QStringLiteral("no number")) : text(numbers.first().value());
};
const Read identificationValue = [](const QJsonObject &o) {
    const auto identifications = KOVIdentity::initWithDictionary(o)->identifications();
    return identifications.isEmpty() ? QJsonValue(QStringLiteral("no identification"))
                                     : text(identifications.first().value());
};
const Read loginIDs = [](const QJsonObject &o) {
    const auto login = KOVLogin::initWithDictionary(o);
    return QJsonValue(QJsonArray{text(login->operationID()), text(login->connectionID()), text(login->userID()),
                                 text(login->tokenID()), text(login->bankId())});
};

struct ValueCase {
    const char *label;
    const Read &read;
    const char *json;
    const char *expected; // JSON text of what the record holds
};

const ValueCase kValueCases[] = {
    // Numbers given as text.
    {"account balance as text", accountBalance, R"({"balance": {"amount": "250.75"}})", "250.75"},
    {"account balance text with blanks, sign and a unit", accountBalance, R"({"balance": {"amount": "  -12.5 AED"}})",
     "-12.5"},
    {"account balance text without a number is 0", accountBalance, R"({"balance": {"amount": "abc"}})", "0"},
    {"account balance of an empty text is 0", accountBalance, R"({"balance": {"amount": ""}})", "0"},
    {"balance amount as text", balanceAmount, R"({"amount": "1500"})", "1500"},
    {"balance amount text without a number is absent", balanceAmount, R"({"amount": "n/a"})", "null"},
    {"transaction amount as text", transactionAmount, R"({"amount": "-20.50"})", "-20.5"},
    {"transaction amount with an exponent", transactionAmount, R"({"amount": "1.5e3"})", "1500"},
    // An exponent marker with no digits after it is not part of the number.
    {"transaction amount with an exponent marker and no digits", transactionAmount, R"({"amount": "12e"})", "12"},
    {"transaction amount with a signed exponent marker and no digits", transactionAmount, R"({"amount": "5E+"})",
     "5"},
    {"transaction amount with an exponent marker and a sign before text", transactionAmount,
     R"({"amount": "7e-x"})", "7"},
    {"card credit limit with an exponent marker and no digits", cardCreditLimit, R"({"creditLimit": "2.5e "})",
     "2.5"},
    {"transaction amount with a leading point", transactionAmount, R"({"amount": ".25"})", "0.25"},
    {"transaction amount with a trailing point", transactionAmount, R"({"amount": "+7."})", "7"},
    {"transaction amount of a lone sign is absent", transactionAmount, R"({"amount": "-"})", "null"},
    {"transaction amount beyond any double is absent", transactionAmount, R"({"amount": "1e999"})", "null"},
    {"transaction amount spelt out is absent", transactionAmount, R"({"amount": "infinity"})", "null"},
    {"transaction amount as a truth value stays absent", transactionAmount, R"({"amount": true})", "null"},
    {"transaction amount as a number is kept", transactionAmount, R"({"amount": 99.99})", "99.99"},
    {"transaction before amount as text", transactionBefore, R"({"beforeAmount": "1000.00"})", "1000"},
    {"transaction after amount as text", transactionAfter, R"({"afterAmount": "979.5"})", "979.5"},
    {"transaction after amount text without a number", transactionAfter, R"({"afterAmount": "abc"})", "null"},
    {"card credit limit as text", cardCreditLimit, R"({"creditLimit": "5000"})", "5000"},
    {"card amount due as text", cardAmountDue, R"({"balance": {"amountDue": "120.40"}})", "120.4"},
    {"card available balance as text", cardAvailable, R"({"availableBalance": " 4879.60"})", "4879.6"},
    {"card outstanding balance as text", cardOutstanding, R"({"outstandingBalance": "0"})", "0"},
    {"measure value as text", measureSeconds, R"({"unit": "hrs", "value": "24"})", "86400"},
    {"measure value text without a number", measureSeconds, R"({"unit": "hrs", "value": "soon"})", "0"},
    {"cool-down as text", coolDown, R"({"beneficiaryCoolDownPeriod": {"unit": "hrs", "value": "24"}})", "86400"},
    {"retention period as text", retention, R"({"transactionRange": {"unit": "days", "value": "90"}})", "7776000"},
    {"transfer bound minimum as text", boundMinimum, R"({"transferBounds": [{"minimum": "100.5"}]})", "100.5"},
    {"transfer bound minimum text without a number", boundMinimum, R"({"transferBounds": [{"minimum": "none"}]})",
     "null"},

    // Truth values given as text or number.
    {"\"true\" requires a beneficiary", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": "true"})", "true"},
    {"\"1\" requires a beneficiary", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": "1"})", "true"},
    {"\"Yes\" requires a beneficiary", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": "Yes"})", "true"},
    {"\"y\" requires a beneficiary", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": "y"})", "true"},
    {"\"T\" after blanks requires a beneficiary", beneficiaryRequired,
     R"({"isCreateBeneficiaryEndpointRequired": " \tT"})", "true"},
    {"\"9\" requires a beneficiary", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": "9"})", "true"},
    {"\"false\" does not", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": "false"})", "false"},
    {"\"0\" does not", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": "0"})", "false"},
    {"\"no\" does not", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": "no"})", "false"},
    {"an empty text does not", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": ""})", "false"},
    {"a text starting with another word does not", beneficiaryRequired,
     R"({"isCreateBeneficiaryEndpointRequired": "required"})", "false"},
    {"a number other than 0 does", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": 2})", "true"},
    {"the number 0 does not", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": 0})", "false"},
    {"true does", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": true})", "true"},
    {"null does not", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": null})", "false"},
    {"a list does not", beneficiaryRequired, R"({"isCreateBeneficiaryEndpointRequired": [1]})", "false"},

    // Identifiers given as numbers.
    {"account ID as a number", accountID, R"({"id": 12345})", R"("12345")"},
    {"account ID as a whole number with a fraction part", accountID, R"({"id": 12345.0})", R"("12345")"},
    {"account ID beyond 2^53 keeps every digit", accountID, R"({"id": 9007199254740993})", R"("9007199254740993")"},
    {"account ID with a fraction", accountID, R"({"id": 12.5})", R"("12.5")"},
    {"negative account ID", accountID, R"({"id": -7})", R"("-7")"},
    {"account ID as true stays absent", accountID, R"({"id": true})", "null"},
    {"account ID as an object stays absent", accountID, R"({"id": {"value": 1}})", "null"},
    {"account number as a number", accountNumber, R"({"number": 1234567890})", R"("1234567890")"},
    {"balance account number as a number", balanceAccountNumber, R"({"accountNumber": 42})", R"("42")"},
    {"card ID as a number", cardID, R"({"id": 77})", R"("77")"},
    {"card number as a number", cardNumber, R"({"cardNumber": 4111111111111111})", R"("4111111111111111")"},
    {"listed beneficiary ID as a number", bankBeneficiaryID, R"({"id": 501})", R"("501")"},
    {"listed beneficiary account number as a number", bankBeneficiaryAccountNumber, R"({"accountNumber": 1002003})",
     R"("1002003")"},
    {"wire beneficiary ID as a number", wireID, R"({"id": 9})", R"("9")"},
    {"wire beneficiary account number as a number", wireAccountNumber, R"({"accountNumber": 123456789})",
     R"("123456789")"},
    {"wire beneficiary routing number as a number", wireRoutingNumber, R"({"routingNumber": 21000021})",
     R"("21000021")"},
    {"wire request account number as a number", requestAccountNumber, R"({"accountNumber": 4400})", R"("4400")"},
    {"wire request routing number as a number", requestRoutingNumber, R"({"routingNumber": 26009593})",
     R"("26009593")"},
    {"phone number as a number", phoneNumber, R"({"numbers": [{"type": "mobile", "value": 971501234567}]})",
     R"("971501234567")"},
    {"identification number as a number", identificationValue,
     R"({"identifications": [{"type": "emiratesId", "value": 784199012345671}]})", R"("784199012345671")"},
    {"login identifiers as numbers", loginIDs,
     R"({"operationID": 1, "connectionID": 22, "userID": 333, "tokenID": 4444, "bankId": 55})",
     R"(["1", "22", "333", "4444", "55"])"},
    {"login identifiers as texts stay as they are", loginIDs,
     R"({"operationID": "op", "connectionID": "c", "userID": "u", "tokenID": "t", "bankId": "007"})",
     R"(["op", "c", "u", "t", "007"])"},
};

TEST(ForeignValueTypesTest, ValuesSentInTheOtherJsonTypeReadAsTheirValues)
{
    for (const ValueCase &c : kValueCases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.read(jsonObject(c.json)), jsonValue(c.expected)) << c.json;
    }
}

TEST(ForeignValueTypesTest, RecordsKeepTheJsonAsGiven)
{
    const QJsonObject account = jsonObject(R"({"id": 12345, "number": 67, "balance": {"amount": "250.75"}})");
    EXPECT_EQ(KOVAccount::initWithDictionary(account)->dictionaryRepresentation(), account);
    const QJsonObject metadata = jsonObject(
        R"({"isCreateBeneficiaryEndpointRequired": "true", "beneficiaryCoolDownPeriod": {"unit": "hrs", "value": "24"}})");
    EXPECT_EQ(KOVBankMetadata::initWithDictionary(metadata)->dictionaryRepresentation(), metadata);
}

} // namespace
} // namespace kova
