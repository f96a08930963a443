#include <QJsonArray>

#include "core/records/KOVResult.h"
#include "core/records/KOVResumable.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::expectText;
using test::jsonObject;
using test::jsonValue;

TEST(KOVResultTest, ReadsTheReplyAndKeepsIt)
{
    const QJsonObject reply = jsonObject(R"({"success": true, "operationID": "op-7", "status": "done",
        "msg": "Transfer created", "reference": "REF-001", "coolDownPeriod": {"value": 24, "unit": "hrs"}})");
    const std::shared_ptr<KOVResult> result = KOVResult::initWithDictionary(reply);
    EXPECT_EQ(result->operationID(), QStringLiteral("op-7"));
    EXPECT_EQ(result->status(), QStringLiteral("done"));
    EXPECT_TRUE(result->success());
    EXPECT_EQ(result->message(), QStringLiteral("Transfer created"));
    EXPECT_EQ(result->referenceNumber(), QStringLiteral("REF-001"));
    EXPECT_EQ(result->dictionaryRepresentation(), reply);
}

struct SuccessCase {
    const char *json;
    bool success;
};

TEST(KOVResultTest, SuccessIsThePresenceOfAnAnswer)
{
    const SuccessCase cases[] = {
        {R"({"success": true})", true},
        {R"({"success": false})", true},
        {R"({"success": null})", true},
        {R"({"success": 1})", true},
        {R"({})", false},
        {R"({"success": {}})", true},
        {R"({"success": [true]})", true},
        {R"({"success": "true"})", true},
        {R"({"success": ""})", true},
        {R"({"Success": true})", false},
    };
    for (const SuccessCase &c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(KOVResult::initWithDictionary(jsonObject(c.json))->success(), c.success);
        EXPECT_EQ(KOVResumable::initWithDictionary(jsonObject(c.json))->success(), c.success);
    }
}

TEST(KOVResultTest, NullsAndWrongTypesReadAsAbsent)
{
    const std::shared_ptr<KOVResult> result = KOVResult::initWithDictionary(
        jsonObject(R"({"operationID": null, "status": 3, "msg": {"text": "x"}, "reference": 12345})"));
    EXPECT_TRUE(result->operationID().isNull());
    EXPECT_TRUE(result->status().isNull());
    EXPECT_TRUE(result->message().isNull());
    EXPECT_TRUE(result->referenceNumber().isNull());
    EXPECT_FALSE(result->success());
}

TEST(KOVResultTest, NonObjectGivesEmptyResult)
{
    const std::shared_ptr<KOVResult> result = KOVResult::initWithDictionary(jsonValue(R"("done")"));
    EXPECT_TRUE(result->operationID().isNull());
    EXPECT_FALSE(result->success());
    EXPECT_TRUE(result->dictionaryRepresentation().isEmpty());
}

struct StatusCase {
    const char *json;
    quint64 status;
};

TEST(KOVResumableTest, StatusIsMappedByExactText)
{
    const StatusCase cases[] = {
        {R"({"status": "done"})", 0},
        {R"({"status": "initialized"})", 1},
        {R"({"status": "user_input_required"})", 2},
        {R"({"status": "error"})", 3},
        {R"({"status": "Done"})", std::numeric_limits<quint64>::max()},
        {R"({"status": "pending"})", std::numeric_limits<quint64>::max()},
        {R"({"status": 2})", std::numeric_limits<quint64>::max()},
        {R"({"status": null})", std::numeric_limits<quint64>::max()},
        {R"({})", std::numeric_limits<quint64>::max()},
    };
    for (const StatusCase &c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(KOVResumable::initWithDictionary(jsonObject(c.json))->status(), c.status);
    }
}

TEST(KOVResumableTest, ReadsAnInterruptedReply)
{
    const std::shared_ptr<KOVResumable> resumable = KOVResumable::initWithDictionary(jsonObject(R"({
        "status": "user_input_required", "operationID": "op-9", "hlAPIStep": "step-2", "success": true,
        "userInputs": [{"id": "otp", "query": "Enter the code", "index": 0},
                       "not a prompt", null,
                       {"id": "security question", "query": "First pet?", "index": 1}]})"));
    EXPECT_EQ(resumable->operationID(), QStringLiteral("op-9"));
    EXPECT_EQ(resumable->hlAPIStep(), QStringLiteral("step-2"));
    EXPECT_EQ(resumable->status(), KOVResumable::StatusUserInputRequired);
    EXPECT_TRUE(resumable->success());
    ASSERT_TRUE(resumable->userInputs().has_value());
    ASSERT_EQ(resumable->userInputs()->size(), 2);
    EXPECT_EQ(resumable->userInputs()->at(0)->identifier(), QStringLiteral("otp"));
    EXPECT_EQ(resumable->userInputs()->at(0)->query(), QStringLiteral("Enter the code"));
    EXPECT_EQ(resumable->userInputs()->at(1)->identifier(), QStringLiteral("security question"));
    EXPECT_EQ(resumable->userInputs()->at(1)->index(), 1);
}

TEST(KOVResumableTest, ResumeKeysCarryTheAnswersInPromptOrder)
{
    const std::shared_ptr<KOVResumable> resumable = KOVResumable::initWithDictionary(jsonObject(R"({
        "status": "user_input_required", "operationID": "op-9", "hlAPIStep": "step-2",
        "userInputs": [{"id": "otp", "query": "Code", "index": 0}, {"id": "captcha", "query": "aGk=", "index": 1}]})"));
    resumable->userInputs()->at(0)->setAnswer(QStringLiteral(" 123456 "));
    resumable->userInputs()->at(1)->setAnswer(QStringLiteral("x7k"));
    EXPECT_EQ(resumable->dictionary(), jsonObject(R"({
        "operationID": "op-9", "hlAPIStep": "step-2",
        "userInputs": [{"id": "otp", "answer": " 123456 ", "index": 0}, {"id": "captcha", "answer": "x7k", "index": 1}]})"));
}

TEST(KOVResumableTest, MissingStepIsSentAsNullAndMissingPromptsAreLeftOut)
{
    const std::shared_ptr<KOVResumable> resumable =
        KOVResumable::initWithDictionary(jsonObject(R"({"operationID": "op-1", "status": "user_input_required"})"));
    EXPECT_FALSE(resumable->userInputs().has_value());
    EXPECT_EQ(resumable->dictionary(), jsonObject(R"({"operationID": "op-1", "hlAPIStep": null})"));

    const std::shared_ptr<KOVResumable> emptyList =
        KOVResumable::initWithDictionary(jsonObject(R"({"operationID": "op-2", "userInputs": []})"));
    EXPECT_EQ(emptyList->dictionary(), jsonObject(R"({"operationID": "op-2", "userInputs": [], "hlAPIStep": null})"));

    const std::shared_ptr<KOVResumable> notAList =
        KOVResumable::initWithDictionary(jsonObject(R"({"operationID": "op-3", "userInputs": {"id": "otp"}})"));
    EXPECT_FALSE(notAList->userInputs().has_value());
}

TEST(KOVResumableTest, NoOperationIDMeansNoResumeKeys)
{
    for (const char *text : {R"({"status": "user_input_required", "hlAPIStep": "s"})", R"({"operationID": null})",
                             R"({"operationID": 42})"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(KOVResumable::initWithDictionary(jsonObject(text))->dictionary(), std::nullopt);
    }
}

TEST(KOVResumableTest, AnsweredPromptsReplaceTheRepliesPrompts)
{
    const std::shared_ptr<KOVResumable> resumable = KOVResumable::initWithDictionary(
        jsonObject(R"({"operationID": "op-5", "userInputs": [{"id": "otp", "index": 4}]})"));
    auto answered = MFAParameter::initWithDictionary(jsonObject(R"({"id": "otp", "index": 4})"));
    answered->setAnswer(QStringLiteral("0000"));
    resumable->setUserInputs(QList<std::shared_ptr<MFAParameter>>{answered});
    EXPECT_EQ(resumable->dictionary()->value(QStringLiteral("userInputs")),
              QJsonValue(QJsonArray{jsonObject(R"({"id": "otp", "answer": "0000", "index": 4})")}));
}

TEST(KOVResumableTest, NonObjectLeavesEverythingEmpty)
{
    const std::shared_ptr<KOVResumable> resumable = KOVResumable::initWithDictionary(jsonValue("[]"));
    EXPECT_TRUE(resumable->operationID().isNull());
    EXPECT_EQ(resumable->status(), 0u);
    EXPECT_FALSE(resumable->success());
    EXPECT_FALSE(resumable->userInputs().has_value());
    EXPECT_EQ(resumable->dictionary(), std::nullopt);
}

} // namespace
} // namespace kova
