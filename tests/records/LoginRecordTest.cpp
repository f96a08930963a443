#include "core/connections/KOVLogin.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::jsonObject;

TEST(KOVLoginTest, NamesAndLogoAddressesAreRepaired)
{
    const auto login = KOVLogin::initWithDictionary(jsonObject(R"({
        "fullName": "Sandbox+Bank+of+Dubai", "name": "SBX+Bank",
        "fullLogoPng": "https://cdn.example.com/banks/Sandbox Bank+Full%20Logo.png",
        "halfLogoPng": "https://cdn.example.com/half+logo.png",
        "miniLogoPng": "https://cdn.example.com/mini%20logo.png",
        "userID": "u+1", "tokenID": "t 1", "userSecret": "s+/=", "accessCode": "a", "connectionID": "c",
        "bankId": "B+1", "operationID": "op"})"));
    EXPECT_EQ(login->bankFullName(), "Sandbox Bank of Dubai");
    EXPECT_EQ(login->bankShortName(), "SBX Bank");
    EXPECT_EQ(login->bankFullLogoPng(), "https://cdn.example.com/banks/Sandbox%20Bank%20Full%20Logo.png");
    EXPECT_EQ(login->bankHalfLogoPng(), "https://cdn.example.com/half%20logo.png");
    EXPECT_EQ(login->bankMiniLogoPng(), "https://cdn.example.com/mini%20logo.png") << "an existing %20 stays";
    // Identifiers and the secret are taken exactly as given.
    EXPECT_EQ(login->userID(), "u+1");
    EXPECT_EQ(login->tokenID(), "t 1");
    EXPECT_EQ(login->userSecret(), "s+/=");
    EXPECT_EQ(login->bankId(), "B+1");
    EXPECT_EQ(login->operationID(), "op");
}

TEST(KOVLoginTest, ColoursComeFromJsonTextOrAnObject)
{
    const auto fromText = KOVLogin::initWithDictionary(
        jsonObject(R"({"color": "{\"primaryColor\": \"#112233\", \"secondaryColor\": \"#445566\"}"})"));
    EXPECT_EQ(fromText->primaryColor(), "#112233");
    EXPECT_EQ(fromText->secondaryColor(), "#445566");
    const auto fromObject =
        KOVLogin::initWithDictionary(jsonObject(R"({"color": {"primaryColor": "#112233", "secondaryColor": "#445566"}})"));
    EXPECT_EQ(fromObject->primaryColor(), "#112233");
    EXPECT_EQ(fromObject->secondaryColor(), "#445566");
    for (const char *other : {R"({"color": "[1, 2]"})", R"({"color": "#112233"})", R"({"color": 7})",
                              R"({"color": null})", R"({"color": {"primaryColor": 5}})", R"({})"}) {
        SCOPED_TRACE(other);
        const auto login = KOVLogin::initWithDictionary(jsonObject(other));
        EXPECT_TRUE(login->primaryColor().isNull());
        EXPECT_TRUE(login->secondaryColor().isNull());
    }
}

TEST(KOVLoginTest, SuccessIsThePresenceOfTheKeyAndNamesOfOtherTypesReadAsAbsent)
{
    EXPECT_TRUE(KOVLogin::initWithDictionary(jsonObject(R"({"success": false})"))->success());
    EXPECT_TRUE(KOVLogin::initWithDictionary(jsonObject(R"({"success": null})"))->success());
    EXPECT_FALSE(KOVLogin::initWithDictionary(jsonObject(R"({})"))->success());
    // An export writes null for what it cannot read; that is no text to repair.
    const auto login = KOVLogin::initWithDictionary(
        jsonObject(R"({"fullName": null, "name": 3, "fullLogoPng": null, "userInputs": [{"id": "otp"}], "userID": false})"));
    EXPECT_TRUE(login->bankFullName().isNull());
    EXPECT_TRUE(login->bankShortName().isNull());
    EXPECT_TRUE(login->bankFullLogoPng().isNull());
    EXPECT_TRUE(login->userID().isNull());
    EXPECT_EQ(login->userInputs().size(), 1);
}

} // namespace
} // namespace kova
