#include "core/records/KOVTransaction.h"
#include "tests/records/RecordTestSupport.h"

namespace kova {
namespace {

using test::expectText;
using test::jsonObject;
using test::jsonValue;

struct TransactionCase {
    const char *label;
    const char *json;
    std::optional<double> amount;
    std::optional<double> beforeAmount;
    std::optional<double> afterAmount;
    const char *currencyCode;
    QDateTime date;
    const char *description;
    const char *details;
    const char *type;
};

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

const TransactionCase kTransactionCases[] = {
    {"every field",
     R"({"amount": -120.5, "beforeAmount": 1000, "afterAmount": 879.5, "currency": {"code": "AED", "name": "Dirham"},
         "date": "2024-03-05T14:30:15.250+0400", "description": "Coffee", "details": "Card 1111", "type": "debit"})",
     -120.5, 1000.0, 879.5, "AED", utc(2024, 3, 5, 10, 30, 15, 250), "Coffee", "Card 1111", "debit"},
    {"calendar date only gives no date", R"({"amount": 5, "date": "2024-03-05"})",
     5.0, std::nullopt, std::nullopt, nullptr, {}, nullptr, nullptr, nullptr},
    {"date without milliseconds gives no date", R"({"date": "2024-03-05T14:30:15+0400"})",
     std::nullopt, std::nullopt, std::nullopt, nullptr, {}, nullptr, nullptr, nullptr},
    {"JSON nulls",
     R"({"amount": null, "beforeAmount": null, "afterAmount": null, "currency": null, "date": null,
         "description": null, "details": null, "type": null})",
     std::nullopt, std::nullopt, std::nullopt, nullptr, {}, nullptr, nullptr, nullptr},
    {"wrong types; a text amount is read",
     R"({"amount": "5", "beforeAmount": [], "afterAmount": {}, "currency": 784, "date": 1709649015,
         "description": 12, "details": false, "type": ["debit"]})",
     5.0, std::nullopt, std::nullopt, nullptr, {}, nullptr, nullptr, nullptr},
};

TEST(KOVTransactionTest, ReadsEveryKeyWithNullAndWrongTypeRules)
{
    for (const TransactionCase &c : kTransactionCases) {
        SCOPED_TRACE(c.label);
        const QJsonObject json = jsonObject(c.json);
        const std::shared_ptr<KOVTransaction> transaction = KOVTransaction::initWithDictionary(json);
        EXPECT_EQ(transaction->amount(), c.amount);
        EXPECT_EQ(transaction->beforeAmount(), c.beforeAmount);
        EXPECT_EQ(transaction->afterAmount(), c.afterAmount);
        expectText(transaction->currency().code(), c.currencyCode, "currency code");
        EXPECT_EQ(transaction->date(), c.date);
        EXPECT_EQ(transaction->date().isNull(), c.date.isNull());
        expectText(transaction->transactionDescription(), c.description, "description");
        expectText(transaction->details(), c.details, "details");
        expectText(transaction->type(), c.type, "type");
        EXPECT_EQ(transaction->dictionaryRepresentation(), json);
    }
}

TEST(KOVTransactionTest, NonObjectGivesEmptyTransaction)
{
    const std::shared_ptr<KOVTransaction> transaction = KOVTransaction::initWithDictionary(jsonValue(R"("x")"));
    EXPECT_EQ(transaction->amount(), std::nullopt);
    EXPECT_TRUE(transaction->date().isNull());
    EXPECT_TRUE(transaction->dictionaryRepresentation().isEmpty());
}

} // namespace
} // namespace kova
