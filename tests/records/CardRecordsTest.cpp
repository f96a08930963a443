#include <QJsonArray>

#include "core/records/KOVCard.h"
#include "core/records/KOVCardBalance.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::expectText;
using test::jsonObject;
using test::jsonValue;

QDateTime utc(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

struct CardCase {
    const char *label;
    const char *json;
    const char *cardID;
    const char *cardNumber;
    const char *status;
    const char *name;
    const char *type;
    const char *currencyCode;
    std::optional<double> creditLimit;
    QDateTime expiryDate;
    std::optional<double> availableBalance;
};

const CardCase kCardCases[] = {
    {"every field",
     R"({"id": "c-1", "cardNumber": "4111 **** **** 1111", "status": "active", "name": "Gold", "type": "credit",
         "currency": {"code": "AED", "name": "Dirham"}, "creditLimit": 20000, "expiryDate": "2027-05-31T00:00:00+0400",
         "balance": {"availableBalance": 15000.5, "amountDue": 120, "outstandingBalance": 4999.5,
                     "dueDate": "2024-04-15T00:00:00Z"}})",
     "c-1", "4111 **** **** 1111", "active", "Gold", "credit", "AED", 20000.0, utc(2027, 5, 30, 20, 0, 0), 15000.5},
    {"expiry date with milliseconds gives no date", R"({"id": "c-2", "expiryDate": "2027-05-31T00:00:00.000+0400"})",
     "c-2", nullptr, nullptr, nullptr, nullptr, nullptr, std::nullopt, {}, std::nullopt},
    {"no balance", R"({"id": "c-3", "status": "blocked"})",
     "c-3", nullptr, "blocked", nullptr, nullptr, nullptr, std::nullopt, {}, std::nullopt},
    {"JSON nulls",
     R"({"id": null, "cardNumber": null, "status": null, "name": null, "type": null, "currency": null,
         "creditLimit": null, "expiryDate": null, "balance": null})",
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, std::nullopt, {}, std::nullopt},
    {"numeric identifiers and a text limit are read; other wrong types read as absent",
     R"({"id": 7, "cardNumber": 4111, "status": false, "name": [], "type": {}, "currency": "AED",
         "creditLimit": "20000", "expiryDate": 1700000000, "balance": [1, 2]})",
     "7", "4111", nullptr, nullptr, nullptr, nullptr, 20000.0, {}, std::nullopt},
    {"wrong types",
     R"({"id": false, "cardNumber": [4111], "creditLimit": {"amount": 20000}})",
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, std::nullopt, {}, std::nullopt},
};

TEST(KOVCardTest, ReadsEveryKeyWithNullAndWrongTypeRules)
{
    for (const CardCase &c : kCardCases) {
        SCOPED_TRACE(c.label);
        const QJsonObject json = jsonObject(c.json);
        const std::shared_ptr<KOVCard> card = KOVCard::initWithDictionary(json);
        expectText(card->cardID(), c.cardID, "cardID");
        expectText(card->cardNumber(), c.cardNumber, "cardNumber");
        expectText(card->status(), c.status, "status");
        expectText(card->name(), c.name, "name");
        expectText(card->type(), c.type, "type");
        expectText(card->currency().code(), c.currencyCode, "currency code");
        EXPECT_EQ(card->creditLimit(), c.creditLimit);
        EXPECT_EQ(card->expiryDate(), c.expiryDate);
        EXPECT_EQ(card->expiryDate().isNull(), c.expiryDate.isNull());
        ASSERT_NE(card->balance(), nullptr) << "the balance is always created";
        EXPECT_EQ(card->balance()->availableBalance(), c.availableBalance);
        EXPECT_EQ(card->dictionaryRepresentation(), json);
    }
}

TEST(KOVCardTest, NestedBalanceKeepsItsOwnJson)
{
    const QJsonObject json = jsonObject(R"({"id": "c-1", "balance": {"amountDue": 1, "dueDate": "2024-04-15T00:00:00Z"}})");
    const std::shared_ptr<KOVCard> card = KOVCard::initWithDictionary(json);
    EXPECT_EQ(card->balance()->dictionaryRepresentation(), json["balance"].toObject());
    EXPECT_EQ(card->balance()->amountDue(), 1.0);
    EXPECT_EQ(card->balance()->dueDate(), utc(2024, 4, 15, 0, 0, 0));
}

TEST(KOVCardTest, CardMadeByTheHostHasAnEmptyBalance)
{
    KOVCard card;
    ASSERT_NE(card.balance(), nullptr);
    EXPECT_EQ(card.balance()->amountDue(), std::nullopt);
    EXPECT_TRUE(card.dictionaryRepresentation().isEmpty());
}

TEST(KOVCardTest, StatusConstants)
{
    EXPECT_EQ(KOVCardStatusActive, QStringLiteral("active"));
    EXPECT_EQ(KOVCardStatusDisabled, QStringLiteral("disabled"));
    EXPECT_EQ(KOVCardStatusBlocked, QStringLiteral("blocked"));
}

TEST(KOVCardTest, CardsOfAReplyEachKeepTheWholeReply)
{
    const QJsonObject reply = jsonObject(R"({"success": true, "operationID": "op-1",
        "cards": [{"id": "c-1", "name": "First"}, {"id": "c-2", "name": "Second"}]})");
    const QList<std::shared_ptr<KOVCard>> cards = KOVCard::initCardsWithDictionary(reply);
    ASSERT_EQ(cards.size(), 2);
    EXPECT_EQ(cards[0]->cardID(), QStringLiteral("c-1"));
    EXPECT_EQ(cards[0]->name(), QStringLiteral("First"));
    EXPECT_EQ(cards[1]->cardID(), QStringLiteral("c-2"));
    EXPECT_EQ(cards[1]->name(), QStringLiteral("Second"));
    for (const auto &card : cards)
        EXPECT_EQ(card->dictionaryRepresentation(), reply);
}

TEST(KOVCardTest, CardsListThatIsMissingOrNotAListIsEmpty)
{
    for (const char *text : {R"({"success": true})", R"({"cards": null})", R"({"cards": {"id": "c-1"}})",
                             R"({"cards": "c-1"})", R"({"cards": []})"}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(KOVCard::initCardsWithDictionary(jsonObject(text)).isEmpty());
    }
}

TEST(KOVCardTest, NonObjectElementsOfTheCardsListAreSkipped)
{
    const QJsonObject reply = jsonObject(R"({"cards": [null, "c-0", {"id": "c-1"}, 5, [], {"id": "c-2"}]})");
    const QList<std::shared_ptr<KOVCard>> cards = KOVCard::initCardsWithDictionary(reply);
    ASSERT_EQ(cards.size(), 2);
    EXPECT_EQ(cards[0]->cardID(), QStringLiteral("c-1"));
    EXPECT_EQ(cards[1]->cardID(), QStringLiteral("c-2"));
}

struct CardBalanceCase {
    const char *label;
    const char *json;
    std::optional<double> amountDue;
    std::optional<double> availableBalance;
    std::optional<double> outstandingBalance;
    QDateTime dueDate;
};

const CardBalanceCase kCardBalanceCases[] = {
    {"every field", R"({"amountDue": 250, "availableBalance": -10.25, "outstandingBalance": 0,
                        "dueDate": "2024-04-15T08:00:00+04:00"})",
     250.0, -10.25, 0.0, utc(2024, 4, 15, 4, 0, 0)},
    {"nulls", R"({"amountDue": null, "availableBalance": null, "outstandingBalance": null, "dueDate": null})",
     std::nullopt, std::nullopt, std::nullopt, {}},
    {"a text amount is read; other wrong types read as absent",
     R"({"amountDue": "250", "availableBalance": true, "outstandingBalance": {}, "dueDate": 5})",
     250.0, std::nullopt, std::nullopt, {}},
    {"due date in another layout", R"({"dueDate": "15/04/2024"})", std::nullopt, std::nullopt, std::nullopt, {}},
};

TEST(KOVCardBalanceTest, ReadsEveryKeyWithNullAndWrongTypeRules)
{
    for (const CardBalanceCase &c : kCardBalanceCases) {
        SCOPED_TRACE(c.label);
        const std::shared_ptr<KOVCardBalance> balance = KOVCardBalance::initWithDictionary(jsonObject(c.json));
        EXPECT_EQ(balance->amountDue(), c.amountDue);
        EXPECT_EQ(balance->availableBalance(), c.availableBalance);
        EXPECT_EQ(balance->outstandingBalance(), c.outstandingBalance);
        EXPECT_EQ(balance->dueDate(), c.dueDate);
        EXPECT_EQ(balance->dueDate().isNull(), c.dueDate.isNull());
    }
}

TEST(KOVCardBalanceTest, NonObjectGivesEmptyBalance)
{
    const std::shared_ptr<KOVCardBalance> balance = KOVCardBalance::initWithDictionary(jsonValue("[1]"));
    EXPECT_EQ(balance->amountDue(), std::nullopt);
    EXPECT_TRUE(balance->dueDate().isNull());
    EXPECT_TRUE(balance->dictionaryRepresentation().isEmpty());
}

} // namespace
} // namespace kova
