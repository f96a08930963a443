#include "core/records/KOVBeneficiary.h"
#include "core/records/KOVWireBeneficiary.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::jsonObject;
using test::jsonValue;

TEST(KOVBeneficiaryTest, EmptyBeneficiarySendsElevenNullsAndTypeLocal)
{
    const KOVBeneficiary beneficiary;
    EXPECT_EQ(beneficiary.dictionaryRepresentation(), jsonObject(R"({
        "address": null, "accountNumber": null, "name": null, "bankName": null, "swiftCode": null, "iban": null,
        "phoneNumber": null, "country": null, "branchAddress": null, "branchName": null, "nickname": null,
        "type": "local"})"));
}

TEST(KOVBeneficiaryTest, FilledBeneficiarySendsEveryFieldWithTheCountryInCapitals)
{
    KOVBeneficiary beneficiary;
    KOVLinesAddress lines;
    lines.setLine1(QStringLiteral("Villa 12"));
    beneficiary.setLinesAddress(lines);
    beneficiary.setAccountNumber(QStringLiteral("0123456789"));
    beneficiary.setName(QStringLiteral("Omar Said"));
    beneficiary.setBankName(QStringLiteral("Emirates Bank"));
    beneficiary.setSwiftCode(QStringLiteral("EBILAEAD"));
    beneficiary.setIban(QStringLiteral("AE070331234567890123456"));
    beneficiary.setPhoneNumber(QStringLiteral("+971501234567"));
    beneficiary.setCountry(QStringLiteral("ae"));
    beneficiary.setBranchAddress(QStringLiteral("Sheikh Zayed Rd"));
    beneficiary.setBranchName(QStringLiteral("Main"));
    beneficiary.setNickname(QStringLiteral("Omar"));
    beneficiary.setType(KOVBeneficiaryTypeSame);
    EXPECT_EQ(beneficiary.dictionaryRepresentation(), jsonObject(R"({
        "address": {"line1": "Villa 12", "line2": null, "line3": null},
        "accountNumber": "0123456789", "name": "Omar Said", "bankName": "Emirates Bank", "swiftCode": "EBILAEAD",
        "iban": "AE070331234567890123456", "phoneNumber": "0501234567", "country": "AE",
        "branchAddress": "Sheikh Zayed Rd", "branchName": "Main", "nickname": "Omar", "type": "same"})"));
    // The stored country keeps the host's spelling; only the body is in capitals.
    EXPECT_EQ(beneficiary.country(), QStringLiteral("ae"));
}

TEST(KOVBeneficiaryTest, TypeConstants)
{
    EXPECT_EQ(KOVBeneficiaryTypeSame, QStringLiteral("same"));
    EXPECT_EQ(KOVBeneficiaryTypeLocal, QStringLiteral("local"));
    EXPECT_EQ(KOVBeneficiaryTypeInternational, QStringLiteral("intl"));
    KOVBeneficiary beneficiary;
    beneficiary.setType(KOVBeneficiaryTypeInternational);
    EXPECT_EQ(beneficiary.dictionaryRepresentation().value(QStringLiteral("type")), QJsonValue(QStringLiteral("intl")));
}

struct PhoneCase {
    const char *given; // nullptr: a null text
    const char *stored;
};

TEST(KOVBeneficiaryTest, PhoneNumberLosesOnlyALeadingUaeCountryPrefix)
{
    const PhoneCase cases[] = {
        {"+971501234567", "0501234567"},
        {"00971501234567", "0501234567"},
        {"  +971501234567  ", "0501234567"},
        {"\t00971501234567\n", "0501234567"},
        {"+971 50 123 4567", "0 50 123 4567"},
        {"0501234567", "0501234567"},
        {"+966501234567", "+966501234567"},
        {"+44 20 7946 0958", "+44 20 7946 0958"},
        // The same digits inside a number are part of it.
        {"0500971234", "0500971234"},
        {"05+9711234", "05+9711234"},
        {"+96600971234", "+96600971234"},
        {"+971", "0"},
        {"", ""},
        {nullptr, nullptr},
    };
    for (const PhoneCase &c : cases) {
        SCOPED_TRACE(c.given ? c.given : "(null)");
        KOVBeneficiary beneficiary;
        beneficiary.setPhoneNumber(c.given ? QString::fromUtf8(c.given) : QString());
        test::expectText(beneficiary.phoneNumber(), c.stored, "phoneNumber");
        const QJsonValue sent = beneficiary.dictionaryRepresentation().value(QStringLiteral("phoneNumber"));
        if (c.stored)
            EXPECT_EQ(sent, QJsonValue(QString::fromUtf8(c.stored)));
        else
            EXPECT_TRUE(sent.isNull());
    }
}

TEST(KOVWireBeneficiaryTest, EmptyWireBeneficiarySendsFourteenNullsAndTypeLocal)
{
    const KOVWireBeneficiary beneficiary;
    EXPECT_EQ(beneficiary.dictionaryRepresentation(), jsonObject(R"({
        "name": null, "firstName": null, "lastName": null, "routingNumber": null, "receiverAccountType": null,
        "nickname": null, "accountNumber": null, "country": null, "receiverType": null, "zipCode": null,
        "state": null, "city": null, "bankName": null, "address": null, "type": "local"})"));
}

TEST(KOVWireBeneficiaryTest, ReadFromJsonAndWrittenBackAsTheRequestBody)
{
    const QJsonObject json = jsonObject(R"({
        "name": "Acme LLC", "firstName": "Jane", "lastName": "Doe", "nickname": "Acme", "accountNumber": "000123",
        "routingNumber": "021000021", "receiverAccountType": "checking", "receiverType": "business",
        "zipCode": "10001", "country": "us", "state": "NY", "city": "New York", "bankName": "First Bank",
        "linesAddress": {"line1": "1 Main St"}, "type": "intl", "unknown": "ignored"})");
    const std::shared_ptr<KOVWireBeneficiary> beneficiary = KOVWireBeneficiary::initWithDictionary(json);
    EXPECT_EQ(beneficiary->country(), QStringLiteral("us"));
    ASSERT_TRUE(beneficiary->linesAddress().has_value());
    EXPECT_EQ(beneficiary->linesAddress()->line1(), QStringLiteral("1 Main St"));
    EXPECT_EQ(beneficiary->dictionaryRepresentation(), jsonObject(R"({
        "name": "Acme LLC", "firstName": "Jane", "lastName": "Doe", "routingNumber": "021000021",
        "receiverAccountType": "checking", "nickname": "Acme", "accountNumber": "000123", "country": "US",
        "receiverType": "business", "zipCode": "10001", "state": "NY", "city": "New York", "bankName": "First Bank",
        "address": {"line1": "1 Main St", "line2": null, "line3": null}, "type": "intl"})"));
}

TEST(KOVWireBeneficiaryTest, NullsAndWrongTypesAreSentAsNullAndTypeFallsBackToLocal)
{
    const std::shared_ptr<KOVWireBeneficiary> beneficiary = KOVWireBeneficiary::initWithDictionary(jsonObject(R"({
        "name": null, "firstName": 1, "lastName": [], "nickname": {}, "accountNumber": [123], "routingNumber": true,
        "receiverAccountType": null, "receiverType": 2, "zipCode": 10001, "country": null, "state": false,
        "city": null, "bankName": 0, "linesAddress": "1 Main St", "type": null})"));
    EXPECT_FALSE(beneficiary->linesAddress().has_value());
    EXPECT_EQ(beneficiary->dictionaryRepresentation(), KOVWireBeneficiary().dictionaryRepresentation());
}

TEST(KOVWireBeneficiaryTest, TheAddressKeyOfTheBodyIsNotReadBack)
{
    // The body writes "address", but reading takes "linesAddress" only.
    const std::shared_ptr<KOVWireBeneficiary> beneficiary =
        KOVWireBeneficiary::initWithDictionary(jsonObject(R"({"address": {"line1": "1 Main St"}})"));
    EXPECT_FALSE(beneficiary->linesAddress().has_value());
}

TEST(KOVWireBeneficiaryTest, KeptJsonIsNeverReturnedAsTheBody)
{
    const std::shared_ptr<KOVWireBeneficiary> beneficiary =
        KOVWireBeneficiary::initWithDictionary(jsonObject(R"({"name": "Acme", "extra": 1})"));
    beneficiary->setDictionaryRepresentation(jsonObject(R"({"whole": "reply"})"));
    const QJsonObject body = beneficiary->dictionaryRepresentation();
    EXPECT_EQ(body.value(QStringLiteral("name")), QJsonValue(QStringLiteral("Acme")));
    EXPECT_FALSE(body.contains(QStringLiteral("extra")));
    EXPECT_FALSE(body.contains(QStringLiteral("whole")));
    EXPECT_EQ(body.size(), 15);
}

TEST(KOVWireBeneficiaryTest, NonObjectGivesAnEmptyRequest)
{
    const std::shared_ptr<KOVWireBeneficiary> beneficiary = KOVWireBeneficiary::initWithDictionary(jsonValue("[1]"));
    EXPECT_EQ(beneficiary->dictionaryRepresentation(), KOVWireBeneficiary().dictionaryRepresentation());
}

} // namespace
} // namespace kova
