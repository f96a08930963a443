#include "core/records/KOVIdentity.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::expectText;
using test::jsonObject;
using test::jsonValue;

TEST(KOVIdentityTest, ReadsEveryKeyAndItsParts)
{
    const QJsonObject json = jsonObject(R"({
        "name": "Aisha Khan", "nationality": "AE", "dateOfBirth": "1990-07-14", "emailAddress": "aisha@example.com",
        "numbers": [{"type": "mobile", "value": "+971501234567"}, {"type": "home", "value": "043334444"}],
        "identifications": [{"type": "emiratesId", "value": "784-1990-1234567-1"}],
        "address": {"flat": "1203", "building": "Marina Heights", "area": "Dubai Marina", "poBox": "12345",
                    "city": "Dubai", "state": "Dubai", "country": "AE", "full": "1203 Marina Heights, Dubai"}})");
    const std::shared_ptr<KOVIdentity> identity = KOVIdentity::initWithDictionary(json);
    EXPECT_EQ(identity->name(), QStringLiteral("Aisha Khan"));
    EXPECT_EQ(identity->nationality(), QStringLiteral("AE"));
    EXPECT_EQ(identity->dateOfBirth(), QStringLiteral("1990-07-14"));
    EXPECT_EQ(identity->emailAddress(), QStringLiteral("aisha@example.com"));
    ASSERT_EQ(identity->numbers().size(), 2);
    EXPECT_EQ(identity->numbers()[0].type(), QStringLiteral("mobile"));
    EXPECT_EQ(identity->numbers()[0].value(), QStringLiteral("+971501234567"));
    EXPECT_EQ(identity->numbers()[1].type(), QStringLiteral("home"));
    EXPECT_EQ(identity->numbers()[1].value(), QStringLiteral("043334444"));
    ASSERT_EQ(identity->identifications().size(), 1);
    EXPECT_EQ(identity->identifications()[0].type(), QStringLiteral("emiratesId"));
    EXPECT_EQ(identity->identifications()[0].value(), QStringLiteral("784-1990-1234567-1"));
    const KOVAddress &address = identity->address();
    EXPECT_EQ(address.flat(), QStringLiteral("1203"));
    EXPECT_EQ(address.building(), QStringLiteral("Marina Heights"));
    EXPECT_EQ(address.area(), QStringLiteral("Dubai Marina"));
    EXPECT_EQ(address.poBox(), QStringLiteral("12345"));
    EXPECT_EQ(address.city(), QStringLiteral("Dubai"));
    EXPECT_EQ(address.state(), QStringLiteral("Dubai"));
    EXPECT_EQ(address.country(), QStringLiteral("AE"));
    EXPECT_EQ(address.full(), QStringLiteral("1203 Marina Heights, Dubai"));
    EXPECT_EQ(identity->dictionaryRepresentation(), json);
}

TEST(KOVIdentityTest, DateOfBirthIsKeptAsWritten)
{
    for (const char *text : {"14/07/1990", "1990-07-14T00:00:00.000Z", "not a date", ""}) {
        SCOPED_TRACE(text);
        QJsonObject json;
        json.insert(QStringLiteral("dateOfBirth"), QString::fromUtf8(text));
        EXPECT_EQ(KOVIdentity::initWithDictionary(json)->dateOfBirth(), QString::fromUtf8(text));
    }
}

struct IdentityListCase {
    const char *label;
    const char *json;
    qsizetype numbers;
    qsizetype identifications;
};

TEST(KOVIdentityTest, ListsThatAreNotListsAreEmptyAndNonObjectsAreSkipped)
{
    const IdentityListCase cases[] = {
        {"missing", "{}", 0, 0},
        {"null", R"({"numbers": null, "identifications": null})", 0, 0},
        {"object instead of list", R"({"numbers": {"type": "mobile"}, "identifications": {"type": "id"}})", 0, 0},
        {"text instead of list", R"({"numbers": "0501234567", "identifications": "784"})", 0, 0},
        {"mixed elements", R"({"numbers": [null, "050", {"type": "mobile"}, 7, {"value": "04"}],
                               "identifications": [[], {"type": "passport"}]})", 2, 1},
    };
    for (const IdentityListCase &c : cases) {
        SCOPED_TRACE(c.label);
        const std::shared_ptr<KOVIdentity> identity = KOVIdentity::initWithDictionary(jsonObject(c.json));
        EXPECT_EQ(identity->numbers().size(), c.numbers);
        EXPECT_EQ(identity->identifications().size(), c.identifications);
    }
    const auto mixed = KOVIdentity::initWithDictionary(jsonObject(cases[4].json));
    EXPECT_EQ(mixed->numbers()[0].type(), QStringLiteral("mobile"));
    EXPECT_TRUE(mixed->numbers()[0].value().isNull());
    EXPECT_TRUE(mixed->numbers()[1].type().isNull());
    EXPECT_EQ(mixed->numbers()[1].value(), QStringLiteral("04"));
}

TEST(KOVIdentityTest, NullsAndWrongTypesReadAsAbsent)
{
    const std::shared_ptr<KOVIdentity> identity = KOVIdentity::initWithDictionary(jsonObject(R"({
        "name": null, "nationality": 784, "dateOfBirth": 19900714, "emailAddress": ["a@b.c"],
        "address": {"flat": 12, "building": null, "city": {"name": "Dubai"}, "full": true},
        "numbers": [{"type": 1, "value": null}]})"));
    EXPECT_TRUE(identity->name().isNull());
    EXPECT_TRUE(identity->nationality().isNull());
    EXPECT_TRUE(identity->dateOfBirth().isNull());
    EXPECT_TRUE(identity->emailAddress().isNull());
    EXPECT_EQ(identity->address(), KOVAddress());
    ASSERT_EQ(identity->numbers().size(), 1);
    EXPECT_EQ(identity->numbers()[0], KOVNumber());
}

TEST(KOVIdentityTest, AddressThatIsNotAnObjectIsEmpty)
{
    for (const char *text : {R"({"address": null})", R"({"address": "1203 Marina Heights"})", R"({"address": [1]})"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(KOVIdentity::initWithDictionary(jsonObject(text))->address(), KOVAddress());
    }
}

TEST(KOVIdentityTest, NonObjectGivesEmptyIdentity)
{
    const std::shared_ptr<KOVIdentity> identity = KOVIdentity::initWithDictionary(jsonValue("[]"));
    EXPECT_TRUE(identity->name().isNull());
    EXPECT_TRUE(identity->numbers().isEmpty());
    EXPECT_TRUE(identity->dictionaryRepresentation().isEmpty());
}

} // namespace
} // namespace kova
