#include "core/records/KOVBankBeneficiary.h"
#include "core/records/KOVBankWireBeneficiary.h"
#include "core/records/KOVWireAddress.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::expectText;
using test::jsonObject;
using test::jsonValue;

struct BankBeneficiaryCase {
    const char *label;
    const char *json;
    const char *accountID;
    const char *name;
    const char *accountNumber;
    const char *iban;
    const char *type;
    const char *status;
};

const BankBeneficiaryCase kBankBeneficiaryCases[] = {
    {"every field",
     R"({"id": "b-1", "name": "Omar", "accountNumber": "0123", "iban": "AE070331234567890123456", "type": "local",
         "status": "active"})",
     "b-1", "Omar", "0123", "AE070331234567890123456", "local", "active"},
    {"nulls", R"({"id": null, "name": null, "accountNumber": null, "iban": null, "type": null, "status": null})",
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {"numeric identifiers are read as text",
     R"({"id": 1, "name": [], "accountNumber": 123, "iban": {}, "type": true, "status": 0})",
     "1", nullptr, "123", nullptr, nullptr, nullptr},
    {"wrong types", R"({"id": true, "name": [], "accountNumber": {}, "iban": {}, "type": true, "status": 0})",
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

TEST(KOVBankBeneficiaryTest, ReadsEveryKeyWithNullAndWrongTypeRules)
{
    for (const BankBeneficiaryCase &c : kBankBeneficiaryCases) {
        SCOPED_TRACE(c.label);
        const QJsonObject json = jsonObject(c.json);
        const std::shared_ptr<KOVBankBeneficiary> beneficiary = KOVBankBeneficiary::initWithDictionary(json);
        expectText(beneficiary->accountID(), c.accountID, "accountID");
        expectText(beneficiary->name(), c.name, "name");
        expectText(beneficiary->accountNumber(), c.accountNumber, "accountNumber");
        expectText(beneficiary->iban(), c.iban, "iban");
        expectText(beneficiary->type(), c.type, "type");
        expectText(beneficiary->status(), c.status, "status");
        EXPECT_EQ(beneficiary->dictionaryRepresentation(), json);
    }
}

TEST(KOVBankWireBeneficiaryTest, ReadsEveryKeyAndTheAddress)
{
    const QJsonObject json = jsonObject(R"({"id": "w-1", "name": "Acme LLC", "accountNumber": "000123", "bankName": "First Bank",
        "routingNumber": "021000021", "status": {"code": 1, "text": "pending"}, "type": "intl",
        "address": {"city": "New York", "country": "US", "full": "1 Main St", "poBox": "77", "state": "NY", "zipCode": "10001"}})");
    const std::shared_ptr<KOVBankWireBeneficiary> beneficiary = KOVBankWireBeneficiary::initWithDictionary(json);
    EXPECT_EQ(beneficiary->accountID(), QStringLiteral("w-1"));
    EXPECT_EQ(beneficiary->name(), QStringLiteral("Acme LLC"));
    EXPECT_EQ(beneficiary->accountNumber(), QStringLiteral("000123"));
    EXPECT_EQ(beneficiary->bankName(), QStringLiteral("First Bank"));
    EXPECT_EQ(beneficiary->routingNumber(), QStringLiteral("021000021"));
    EXPECT_EQ(beneficiary->status(), QJsonValue(jsonObject(R"({"code": 1, "text": "pending"})")));
    EXPECT_EQ(beneficiary->type(), QJsonValue(QStringLiteral("intl")));
    const std::shared_ptr<KOVWireAddress> &address = beneficiary->address();
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address->city(), QStringLiteral("New York"));
    EXPECT_EQ(address->country(), QStringLiteral("US"));
    EXPECT_EQ(address->full(), QStringLiteral("1 Main St"));
    EXPECT_EQ(address->poBox(), QStringLiteral("77"));
    EXPECT_EQ(address->state(), QStringLiteral("NY"));
    EXPECT_EQ(address->zipCode(), QStringLiteral("10001"));
    EXPECT_EQ(address->dictionaryRepresentation(), json["address"].toObject());
    EXPECT_EQ(beneficiary->dictionaryRepresentation(), json);
}

TEST(KOVBankWireBeneficiaryTest, NullsAndWrongTypesReadAsAbsentAndTheAddressIsAlwaysThere)
{
    const char *cases[] = {
        R"({"id": null, "name": null, "accountNumber": null, "bankName": null, "routingNumber": null,
            "status": null, "type": null, "address": null})",
        R"({"id": false, "name": {}, "accountNumber": [123], "bankName": [], "routingNumber": {},
            "address": "1 Main St"})",
        "{}",
    };
    for (const char *text : cases) {
        SCOPED_TRACE(text);
        const std::shared_ptr<KOVBankWireBeneficiary> beneficiary = KOVBankWireBeneficiary::initWithDictionary(jsonObject(text));
        EXPECT_TRUE(beneficiary->accountID().isNull());
        EXPECT_TRUE(beneficiary->name().isNull());
        EXPECT_TRUE(beneficiary->accountNumber().isNull());
        EXPECT_TRUE(beneficiary->bankName().isNull());
        EXPECT_TRUE(beneficiary->routingNumber().isNull());
        EXPECT_TRUE(beneficiary->status().isUndefined());
        EXPECT_TRUE(beneficiary->type().isUndefined());
        ASSERT_NE(beneficiary->address(), nullptr);
        EXPECT_TRUE(beneficiary->address()->city().isNull());
        EXPECT_TRUE(beneficiary->address()->dictionaryRepresentation().isEmpty());
    }
}

TEST(KOVBankWireBeneficiaryTest, StatusAndTypeAreKeptAsSent)
{
    const std::shared_ptr<KOVBankWireBeneficiary> beneficiary =
        KOVBankWireBeneficiary::initWithDictionary(jsonObject(R"({"status": 2, "type": ["a", "b"]})"));
    EXPECT_EQ(beneficiary->status(), QJsonValue(2));
    EXPECT_EQ(beneficiary->type(), QJsonValue(QJsonArray{QStringLiteral("a"), QStringLiteral("b")}));
}

TEST(KOVBankWireBeneficiaryTest, MadeByTheHostHasAnEmptyAddress)
{
    KOVBankWireBeneficiary beneficiary;
    ASSERT_NE(beneficiary.address(), nullptr);
    EXPECT_TRUE(beneficiary.status().isUndefined());
}

struct WireAddressCase {
    const char *label;
    const char *json;
    const char *city;
    const char *zipCode;
};

TEST(KOVWireAddressTest, ReadsTextsOnly)
{
    const WireAddressCase cases[] = {
        {"texts", R"({"city": "Austin", "zipCode": "73301"})", "Austin", "73301"},
        {"nulls", R"({"city": null, "zipCode": null})", nullptr, nullptr},
        {"number zip code", R"({"city": "Austin", "zipCode": 73301})", "Austin", nullptr},
    };
    for (const WireAddressCase &c : cases) {
        SCOPED_TRACE(c.label);
        const std::shared_ptr<KOVWireAddress> address = KOVWireAddress::initWithDictionary(jsonObject(c.json));
        expectText(address->city(), c.city, "city");
        expectText(address->zipCode(), c.zipCode, "zipCode");
        EXPECT_TRUE(address->country().isNull());
    }
}

TEST(KOVWireAddressTest, NonObjectGivesEmptyAddress)
{
    const std::shared_ptr<KOVWireAddress> address = KOVWireAddress::initWithDictionary(jsonValue("42"));
    EXPECT_TRUE(address->city().isNull());
    EXPECT_TRUE(address->dictionaryRepresentation().isEmpty());
}

} // namespace
} // namespace kova
