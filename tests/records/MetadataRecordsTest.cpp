#include <limits>

#include "core/records/KOVBankMetadata.h"
#include "core/records/KOVLinesAddress.h"
#include "core/records/KOVMeasure.h"
#include "core/records/KOVTransferBound.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::expectText;
using test::jsonObject;
using test::jsonValue;

TEST(KOVBankMetadataTest, ReadsEveryKey)
{
    const QJsonObject json = jsonObject(R"({
        "bankName": "Emirates Bank", "branchAddress": "Sheikh Zayed Rd", "branchName": "Main", "swiftCode": "EBILAEAD",
        "isCreateBeneficiaryEndpointRequired": true,
        "address": {"line1": "PO Box 777", "line2": "Deira", "line3": "Dubai"},
        "country": {"code": "AE", "name": "United Arab Emirates"},
        "transferBounds": [{"currency": {"code": "AED"}, "minimum": 10, "type": "local"},
                           {"currency": {"code": "USD", "name": "US Dollar"}, "minimum": 0.5, "type": "intl"}],
        "transactionRange": {"value": 90, "unit": "days"},
        "beneficiaryCoolDownPeriod": {"value": 24, "unit": "hrs"}})");
    const std::shared_ptr<KOVBankMetadata> metadata = KOVBankMetadata::initWithDictionary(json);
    EXPECT_EQ(metadata->bankName(), QStringLiteral("Emirates Bank"));
    EXPECT_EQ(metadata->branchAddress(), QStringLiteral("Sheikh Zayed Rd"));
    EXPECT_EQ(metadata->branchName(), QStringLiteral("Main"));
    EXPECT_EQ(metadata->swiftCode(), QStringLiteral("EBILAEAD"));
    EXPECT_TRUE(metadata->isCreateBeneficairyEndpointRequired());
    EXPECT_EQ(metadata->linesAddress().line1(), QStringLiteral("PO Box 777"));
    EXPECT_EQ(metadata->linesAddress().line2(), QStringLiteral("Deira"));
    EXPECT_EQ(metadata->linesAddress().line3(), QStringLiteral("Dubai"));
    EXPECT_EQ(metadata->country().code(), QStringLiteral("AE"));
    EXPECT_EQ(metadata->country().name(), QStringLiteral("United Arab Emirates"));
    ASSERT_EQ(metadata->transferBounds().size(), 2);
    EXPECT_EQ(metadata->transferBounds()[0].currency().code(), QStringLiteral("AED"));
    EXPECT_EQ(metadata->transferBounds()[0].minimum(), 10.0);
    EXPECT_EQ(metadata->transferBounds()[0].type(), QStringLiteral("local"));
    EXPECT_EQ(metadata->transferBounds()[1].currency().name(), QStringLiteral("US Dollar"));
    EXPECT_EQ(metadata->transferBounds()[1].minimum(), 0.5);
    EXPECT_EQ(metadata->transferBounds()[1].type(), QStringLiteral("intl"));
    EXPECT_DOUBLE_EQ(metadata->transactionsRetentionPeriod(), 90 * 86400.0);
    EXPECT_DOUBLE_EQ(metadata->beneficiaryCoolDownPeriod(), 86400.0);
    EXPECT_EQ(metadata->dictionaryRepresentation(), json);
}

struct MetadataDefaultsCase {
    const char *label;
    const char *json;
};

TEST(KOVBankMetadataTest, MissingNullAndWrongTypedValuesReadAsEmpty)
{
    const MetadataDefaultsCase cases[] = {
        {"missing", "{}"},
        {"nulls", R"({"bankName": null, "branchAddress": null, "branchName": null, "swiftCode": null,
                      "isCreateBeneficiaryEndpointRequired": null, "address": null, "country": null,
                      "transferBounds": null, "transactionRange": null, "beneficiaryCoolDownPeriod": null})"},
        {"wrong types", R"({"bankName": 1, "branchAddress": [], "branchName": {}, "swiftCode": false,
                            "isCreateBeneficiaryEndpointRequired": "false", "address": "PO Box 777", "country": "AE",
                            "transferBounds": {"minimum": 10}, "transactionRange": 90,
                            "beneficiaryCoolDownPeriod": "24 hrs"})"},
        {"measures without values", R"({"transactionRange": {"unit": "days"},
                                        "beneficiaryCoolDownPeriod": {"unit": "hrs", "value": "a day"}})"},
    };
    for (const MetadataDefaultsCase &c : cases) {
        SCOPED_TRACE(c.label);
        const std::shared_ptr<KOVBankMetadata> metadata = KOVBankMetadata::initWithDictionary(jsonObject(c.json));
        EXPECT_TRUE(metadata->bankName().isNull());
        EXPECT_TRUE(metadata->branchAddress().isNull());
        EXPECT_TRUE(metadata->branchName().isNull());
        EXPECT_TRUE(metadata->swiftCode().isNull());
        EXPECT_FALSE(metadata->isCreateBeneficairyEndpointRequired());
        EXPECT_EQ(metadata->linesAddress(), KOVLinesAddress());
        EXPECT_EQ(metadata->country(), KOVPair());
        EXPECT_TRUE(metadata->transferBounds().isEmpty());
        EXPECT_EQ(metadata->transactionsRetentionPeriod(), 0);
        EXPECT_EQ(metadata->beneficiaryCoolDownPeriod(), 0);
    }
}

TEST(KOVBankMetadataTest, BooleanIsItsTruthValue)
{
    EXPECT_FALSE(KOVBankMetadata::initWithDictionary(jsonObject(R"({"isCreateBeneficiaryEndpointRequired": false})"))
                     ->isCreateBeneficairyEndpointRequired());
    EXPECT_TRUE(KOVBankMetadata::initWithDictionary(jsonObject(R"({"isCreateBeneficiaryEndpointRequired": 1})"))
                    ->isCreateBeneficairyEndpointRequired());
    EXPECT_FALSE(KOVBankMetadata::initWithDictionary(jsonObject(R"({"isCreateBeneficiaryEndpointRequired": 0})"))
                     ->isCreateBeneficairyEndpointRequired());
    // Only the correctly spelt key is read.
    EXPECT_FALSE(KOVBankMetadata::initWithDictionary(jsonObject(R"({"isCreateBeneficairyEndpointRequired": true})"))
                     ->isCreateBeneficairyEndpointRequired());
}

TEST(KOVBankMetadataTest, TransferBoundsSkipElementsThatAreNotObjects)
{
    const std::shared_ptr<KOVBankMetadata> metadata = KOVBankMetadata::initWithDictionary(jsonObject(
        R"({"transferBounds": [10, {"minimum": null, "type": null, "currency": null}, "AED", {"minimum": [5], "type": 3}]})"));
    ASSERT_EQ(metadata->transferBounds().size(), 2);
    EXPECT_EQ(metadata->transferBounds()[0], KOVTransferBound());
    EXPECT_EQ(metadata->transferBounds()[1], KOVTransferBound());
}

TEST(KOVBankMetadataTest, BasicBeneficiaryInfoCarriesTheBanksOwnDetails)
{
    const std::shared_ptr<KOVBankMetadata> metadata = KOVBankMetadata::initWithDictionary(jsonObject(R"({
        "bankName": "Emirates Bank", "branchAddress": "Sheikh Zayed Rd", "branchName": "Main", "swiftCode": "EBILAEAD",
        "address": {"line1": "PO Box 777"}, "country": {"code": "AE", "name": "United Arab Emirates"}})"));
    const std::shared_ptr<KOVBeneficiary> beneficiary = metadata->basicBeneficiaryInfo();
    ASSERT_NE(beneficiary, nullptr);
    EXPECT_EQ(beneficiary->bankName(), QStringLiteral("Emirates Bank"));
    EXPECT_EQ(beneficiary->country(), QStringLiteral("United Arab Emirates"));
    EXPECT_EQ(beneficiary->branchAddress(), QStringLiteral("Sheikh Zayed Rd"));
    EXPECT_EQ(beneficiary->branchName(), QStringLiteral("Main"));
    EXPECT_EQ(beneficiary->swiftCode(), QStringLiteral("EBILAEAD"));
    ASSERT_TRUE(beneficiary->linesAddress().has_value());
    EXPECT_EQ(*beneficiary->linesAddress(), metadata->linesAddress());
    EXPECT_TRUE(beneficiary->name().isNull());
    EXPECT_TRUE(beneficiary->accountNumber().isNull());
    EXPECT_TRUE(beneficiary->iban().isNull());
    EXPECT_TRUE(beneficiary->phoneNumber().isNull());
    EXPECT_TRUE(beneficiary->nickname().isNull());
    EXPECT_TRUE(beneficiary->type().isNull());
    // Sent with the country name in capitals and the bank's address lines.
    const QJsonObject body = beneficiary->dictionaryRepresentation();
    EXPECT_EQ(body.value(QStringLiteral("country")), QJsonValue(QStringLiteral("UNITED ARAB EMIRATES")));
    EXPECT_EQ(body.value(QStringLiteral("address")),
              QJsonValue(jsonObject(R"({"line1": "PO Box 777", "line2": null, "line3": null})")));
}

TEST(KOVBankMetadataTest, NonObjectGivesEmptyMetadata)
{
    const std::shared_ptr<KOVBankMetadata> metadata = KOVBankMetadata::initWithDictionary(jsonValue("null"));
    EXPECT_TRUE(metadata->bankName().isNull());
    EXPECT_FALSE(metadata->isCreateBeneficairyEndpointRequired());
    EXPECT_TRUE(metadata->dictionaryRepresentation().isEmpty());
}

struct MeasureCase {
    const char *json;
    double seconds;
};

TEST(KOVMeasureTest, ToSecondsScalesHoursAndDaysOnly)
{
    const MeasureCase cases[] = {
        {R"({"unit": "days", "value": 2})", 172800},
        {R"({"unit": "hrs", "value": 1.5})", 5400},
        {R"({"unit": "hrs", "value": 24})", 86400},
        {R"({"unit": "mins", "value": 10})", 10},
        {R"({"unit": "Days", "value": 2})", 2},
        {R"({"unit": "HRS", "value": 2})", 2},
        {R"({"unit": " hrs", "value": 2})", 2},
        {R"({"value": 10})", 10},
        {R"({"unit": "days"})", 0},
        {R"({"unit": "days", "value": null})", 0},
        {R"({"unit": "days", "value": "2"})", 172800},
        {R"({"unit": "days", "value": "two"})", 0},
        {R"({"unit": 86400, "value": 3})", 3},
        {R"({"unit": "days", "value": -1})", -86400},
        {R"({"unit": "days", "value": 1.7976931348623157e308})", 0},
    };
    for (const MeasureCase &c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_DOUBLE_EQ(KOVMeasure::initWithDictionary(jsonObject(c.json)).toSeconds(), c.seconds);
    }
}

TEST(KOVMeasureTest, KeepsUnitAndValue)
{
    const KOVMeasure measure = KOVMeasure::initWithDictionary(jsonObject(R"({"unit": "hrs", "value": 36})"));
    EXPECT_EQ(measure.unit(), QStringLiteral("hrs"));
    EXPECT_EQ(measure.value(), 36.0);
    EXPECT_EQ(KOVMeasure::initWithDictionary(jsonValue("12")), KOVMeasure());
}

TEST(KOVLinesAddressTest, WritesAllThreeLinesWithNullForAbsentOnes)
{
    KOVLinesAddress address;
    address.setLine1(QStringLiteral("PO Box 777"));
    EXPECT_EQ(address.dicrionaryRepresentation(), jsonObject(R"({"line1": "PO Box 777", "line2": null, "line3": null})"));
    EXPECT_EQ(KOVLinesAddress().dicrionaryRepresentation(), jsonObject(R"({"line1": null, "line2": null, "line3": null})"));
    address.setLine2(QString(""));
    address.setLine3(QStringLiteral("Dubai"));
    EXPECT_EQ(address.dicrionaryRepresentation(), jsonObject(R"({"line1": "PO Box 777", "line2": "", "line3": "Dubai"})"));
}

TEST(KOVLinesAddressTest, ReadsTextLinesOnly)
{
    const KOVLinesAddress address =
        KOVLinesAddress::initWithDictionary(jsonObject(R"({"line1": "A", "line2": 2, "line3": null, "line4": "D"})"));
    EXPECT_EQ(address.line1(), QStringLiteral("A"));
    EXPECT_TRUE(address.line2().isNull());
    EXPECT_TRUE(address.line3().isNull());
}

} // namespace
} // namespace kova
