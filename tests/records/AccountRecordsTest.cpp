#include <QJsonArray>
#include <atomic>
#include <limits>
#include <thread>

#include "core/records/KOVAccount.h"
#include "core/records/KOVBalance.h"
#include "core/records/KOVPair.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::expectText;
using test::jsonObject;
using test::jsonValue;

struct AccountCase {
    const char *label;
    const char *json;
    const char *accountID;
    const char *iban;
    const char *number;
    const char *type;
    const char *name;
    const char *currencyCode;
    const char *currencyName;
    double balance;
};

const AccountCase kAccountCases[] = {
    {"only id, balance and currency code",
     R"({"id": "1", "balance": {"amount": 250.75}, "currency": {"code": "AED"}})",
     "1", nullptr, nullptr, nullptr, nullptr, "AED", nullptr, 250.75},
    {"every field",
     R"({"id": "acc-9", "iban": "AE070331234567890123456", "number": "1234567890", "type": "savings",
         "name": "Main", "currency": {"code": "USD", "name": "US Dollar"},
         "balance": {"amount": -12.5, "currency": "USD"}})",
     "acc-9", "AE070331234567890123456", "1234567890", "savings", "Main", "USD", "US Dollar", -12.5},
    {"no balance", R"({"id": "2"})", "2", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0},
    {"JSON nulls read as absent",
     R"({"id": null, "iban": null, "number": null, "type": null, "name": null, "currency": null, "balance": null})",
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0},
    {"null amount", R"({"balance": {"amount": null}})", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0},
    {"numeric identifiers and a text amount are read; other wrong types read as absent",
     R"({"id": 1, "iban": true, "number": 1234, "type": [], "name": {}, "currency": "AED",
         "balance": {"amount": "250.75"}})",
     "1", nullptr, "1234", nullptr, nullptr, nullptr, nullptr, 250.75},
    {"identifiers and amount of no usable type read as absent",
     R"({"id": true, "number": [1234], "balance": {"amount": false}})",
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0},
    {"balance that is not an object", R"({"balance": 99, "currency": {"code": 5, "name": "Dirham"}})",
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "Dirham", 0},
    {"unknown keys are ignored", R"({"id": "3", "colour": "red", "balance": {"amount": 0.5, "extra": 1}})",
     "3", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0.5},
};

TEST(KOVAccountTest, ReadsEveryKeyWithNullAndWrongTypeRules)
{
    for (const AccountCase &c : kAccountCases) {
        SCOPED_TRACE(c.label);
        const QJsonObject json = jsonObject(c.json);
        const std::shared_ptr<KOVAccount> account = KOVAccount::initWithDictionary(json);
        ASSERT_NE(account, nullptr);
        expectText(account->accountID(), c.accountID, "accountID");
        expectText(account->iban(), c.iban, "iban");
        expectText(account->number(), c.number, "number");
        expectText(account->type(), c.type, "type");
        expectText(account->name(), c.name, "name");
        expectText(account->currency().code(), c.currencyCode, "currency code");
        expectText(account->currency().name(), c.currencyName, "currency name");
        EXPECT_DOUBLE_EQ(account->balance(), c.balance);
        EXPECT_EQ(account->dictionaryRepresentation(), json);
    }
}

TEST(KOVAccountTest, NonObjectGivesEmptyAccountWithEmptyJson)
{
    for (const char *text : {R"("text")", "12", "null", "[1, 2]", "true"}) {
        SCOPED_TRACE(text);
        const std::shared_ptr<KOVAccount> account = KOVAccount::initWithDictionary(jsonValue(text));
        ASSERT_NE(account, nullptr);
        EXPECT_TRUE(account->accountID().isNull());
        EXPECT_TRUE(account->currency().code().isNull());
        EXPECT_EQ(account->balance(), 0);
        EXPECT_TRUE(account->dictionaryRepresentation().isEmpty());
    }
}

TEST(KOVAccountTest, RepositoryCanReplaceTheJsonWithTheWholeReply)
{
    const QJsonObject reply = jsonObject(R"({"success": true, "accounts": [{"id": "1"}, {"id": "2"}]})");
    const std::shared_ptr<KOVAccount> account = KOVAccount::initWithDictionary(reply["accounts"].toArray().at(1));
    EXPECT_EQ(account->dictionaryRepresentation(), jsonObject(R"({"id": "2"})"));
    account->setDictionaryRepresentation(reply);
    EXPECT_EQ(account->dictionaryRepresentation(), reply);
    EXPECT_EQ(account->accountID(), QStringLiteral("2"));
}

TEST(KOVAccountTest, KeptJsonCanBeSwappedWhileAnotherThreadReadsIt)
{
    const std::shared_ptr<KOVAccount> account = KOVAccount::initWithDictionary(jsonObject(R"({"id": "1"})"));
    const QJsonObject first = jsonObject(R"({"accounts": [{"id": "1"}]})");
    const QJsonObject second = jsonObject(R"({"accounts": [{"id": "1"}, {"id": "2"}], "operationID": "op"})");
    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0};
    std::thread reader([&] {
        while (!stop.load()) {
            const QJsonObject seen = account->dictionaryRepresentation();
            if (seen != first && seen != second && seen != jsonObject(R"({"id": "1"})"))
                ++unexpected;
        }
    });
    for (int i = 0; i < 20000; ++i)
        account->setDictionaryRepresentation(i % 2 ? first : second);
    stop = true;
    reader.join();
    EXPECT_EQ(unexpected.load(), 0);
    EXPECT_EQ(account->dictionaryRepresentation(), first);
}

struct PairCase {
    const char *label;
    const char *json;
    const char *code;
    const char *name;
};

const PairCase kPairCases[] = {
    {"code and name", R"({"code": "AE", "name": "United Arab Emirates"})", "AE", "United Arab Emirates"},
    {"null code", R"({"code": null, "name": "Dirham"})", nullptr, "Dirham"},
    {"wrong types", R"({"code": 784, "name": ["Dirham"]})", nullptr, nullptr},
    {"empty texts stay texts", R"({"code": "", "name": ""})", "", ""},
    {"empty object", "{}", nullptr, nullptr},
    {"not an object", R"("AED")", nullptr, nullptr},
    {"null", "null", nullptr, nullptr},
};

TEST(KOVPairTest, ReadsCodeAndName)
{
    for (const PairCase &c : kPairCases) {
        SCOPED_TRACE(c.label);
        const KOVPair pair = KOVPair::initWithDictionary(jsonValue(c.json));
        expectText(pair.code(), c.code, "code");
        expectText(pair.name(), c.name, "name");
    }
}

struct BalanceCase {
    const char *label;
    const char *json;
    std::optional<double> amount;
    const char *currencyCode;
    const char *accountNumber;
};

const BalanceCase kBalanceCases[] = {
    {"every field", R"({"amount": 1500.25, "currency": {"code": "AED", "name": "Dirham"}, "accountNumber": "0042"})",
     1500.25, "AED", "0042"},
    {"zero amount is kept", R"({"amount": 0})", 0.0, nullptr, nullptr},
    {"negative amount is kept", R"({"amount": -3.75})", -3.75, nullptr, nullptr},
    {"nulls", R"({"amount": null, "currency": null, "accountNumber": null})", std::nullopt, nullptr, nullptr},
    {"a text amount and a numeric account number are read", R"({"amount": "1500", "accountNumber": 42})", 1500.0,
     nullptr, "42"},
    {"wrong types", R"({"amount": [1500], "currency": [], "accountNumber": false})", std::nullopt, nullptr, nullptr},
};

TEST(KOVBalanceTest, ReadsAmountCurrencyAndAccountNumber)
{
    for (const BalanceCase &c : kBalanceCases) {
        SCOPED_TRACE(c.label);
        const QJsonObject json = jsonObject(c.json);
        const std::shared_ptr<KOVBalance> balance = KOVBalance::initWithDictionary(json);
        EXPECT_EQ(balance->amount(), c.amount);
        expectText(balance->currency().code(), c.currencyCode, "currency code");
        expectText(balance->accountNumber(), c.accountNumber, "accountNumber");
        EXPECT_EQ(balance->dictionaryRepresentation(), json);
    }
}

TEST(KOVBalanceTest, NonFiniteAmountBuiltInCodeReadsAsAbsent)
{
    // JSON text cannot carry one, but a dictionary made in code can.
    QJsonObject json;
    json.insert(QStringLiteral("amount"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(KOVBalance::initWithDictionary(json)->amount(), std::nullopt);
    json.insert(QStringLiteral("amount"), std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(KOVBalance::initWithDictionary(json)->amount(), std::nullopt);
}

} // namespace
} // namespace kova
