#include "sandbox/SandboxData.h"

#include <QHash>

namespace kova::sandbox {

namespace {

QJsonObject aed()
{
    return QJsonObject{{"code", "AED"}, {"name", "UAE Dirham"}};
}

QJsonObject usd()
{
    return QJsonObject{{"code", "USD"}, {"name", "US Dollar"}};
}

QJsonObject makeAccount(const QString &id, const QString &name, const QString &type, const QString &number,
                        const QString &iban, const QJsonObject &currency, double amount)
{
    return QJsonObject{
        {"id", id},
        {"name", name},
        {"type", type},
        {"number", number},
        {"iban", iban},
        {"currency", currency},
        {"balance", QJsonObject{{"amount", amount}, {"currency", currency}, {"accountNumber", number}}},
    };
}

QJsonObject makeTransaction(const QString &date, double amount, double before, const QString &description,
                            const QString &details, const QString &type, const QJsonObject &currency)
{
    return QJsonObject{
        {"date", date},
        {"amount", amount},
        {"beforeAmount", before},
        {"afterAmount", type == QLatin1String("debit") ? before - amount : before + amount},
        {"description", description},
        {"details", details},
        {"type", type},
        {"currency", currency},
    };
}

} // namespace

QJsonObject SandboxData::identity()
{
    return QJsonObject{
        {"name", "Layla Haddad"},
        {"nationality", "AE"},
        {"dateOfBirth", "1990-04-12"},
        {"emailAddress", "layla.haddad@example.com"},
        {"numbers", QJsonArray{QJsonObject{{"type", "mobile"}, {"value", "+971501234567"}},
                               QJsonObject{{"type", "home"}, {"value", "+97143001234"}}}},
        {"address", QJsonObject{{"flat", "1204"},
                                {"building", "Marina Heights"},
                                {"area", "Dubai Marina"},
                                {"poBox", "12345"},
                                {"city", "Dubai"},
                                {"state", "Dubai"},
                                {"country", "AE"},
                                {"full", "Flat 1204, Marina Heights, Dubai Marina, PO Box 12345, Dubai, AE"}}},
        {"identifications", QJsonArray{QJsonObject{{"type", "emiratesId"}, {"value", "784-1990-1234567-1"}},
                                       QJsonObject{{"type", "passport"}, {"value", "P1234567"}}}},
    };
}

QJsonArray SandboxData::accounts()
{
    return QJsonArray{
        makeAccount("ACC-1001", "Current Account", "current", "1001200030004000", "AE070331001200030004000", aed(),
                    15250.75),
        makeAccount("ACC-1002", "Savings Account", "savings", "1002200030004000", "AE070331002200030004000", aed(),
                    82000),
        makeAccount("ACC-1003", "Dollar Account", "current", "1003200030004000", "AE070331003200030004000", usd(),
                    3100.2),
    };
}

std::optional<QJsonObject> SandboxData::account(const QString &accountID)
{
    for (const QJsonValue &value : accounts()) {
        if (value.toObject().value("id").toString() == accountID)
            return value.toObject();
    }
    return std::nullopt;
}

QJsonObject SandboxData::accountsMetadata(const QString &bankId)
{
    return QJsonObject{
        {"bankName", bankName(bankId)},
        {"branchName", "Main Branch"},
        {"branchAddress", "Sheikh Zayed Road, Dubai"},
        {"swiftCode", "SBXBAEAD"},
        {"address", QJsonObject{{"line1", "Sandbox Tower"}, {"line2", "Sheikh Zayed Road"}, {"line3", "Dubai"}}},
        {"isCreateBeneficiaryEndpointRequired", true},
        {"transferBounds", QJsonArray{QJsonObject{{"currency", aed()}, {"minimum", 1}, {"type", "local"}},
                                      QJsonObject{{"currency", aed()}, {"minimum", 1}, {"type", "same"}},
                                      QJsonObject{{"currency", usd()}, {"minimum", 10}, {"type", "intl"}}}},
        {"country", QJsonObject{{"code", "AE"}, {"name", "United Arab Emirates"}}},
        {"transactionRange", QJsonObject{{"value", 90}, {"unit", "days"}}},
        {"beneficiaryCoolDownPeriod", beneficiaryCoolDownPeriod()},
    };
}

QJsonArray SandboxData::accountTransactions(const QString &accountID)
{
    const std::optional<QJsonObject> owned = account(accountID);
    if (!owned)
        return {};
    const QJsonObject currency = owned->value("currency").toObject();
    const double balance = owned->value("balance").toObject().value("amount").toDouble();
    // Newest first, each starting from the balance the next one left.
    return QJsonArray{
        makeTransaction("2024-03-18T14:05:12.345+0400", 250.5, balance + 250.5, "Grocery store",
                        "Card purchase " + accountID, "debit", currency),
        makeTransaction("2024-03-10T09:30:00.000+0400", 12000, balance + 250.5 - 12000, "Salary",
                        "Monthly salary " + accountID, "credit", currency),
        makeTransaction("2024-03-02T18:45:30.120+0400", 1200, balance + 250.5 - 12000 + 1200, "Rent",
                        "Standing order " + accountID, "debit", currency),
    };
}

QJsonArray SandboxData::cardTransactions(const QString &cardID)
{
    for (const QJsonValue &value : cards()) {
        const QJsonObject card = value.toObject();
        if (card.value("id").toString() != cardID)
            continue;
        const QJsonObject currency = card.value("currency").toObject();
        return QJsonArray{
            makeTransaction("2024-03-17T20:14:00.000+0400", 320, 1520.5, "Restaurant", "Card " + cardID, "debit",
                            currency),
            makeTransaction("2024-03-05T11:02:45.500+0400", 880.5, 640, "Electronics store", "Card " + cardID,
                            "debit", currency),
        };
    }
    return {};
}

QJsonArray SandboxData::cards()
{
    return QJsonArray{
        QJsonObject{
            {"id", "CARD-2001"},
            {"name", "Platinum Credit Card"},
            {"cardNumber", "5500********4242"},
            {"type", "credit"},
            {"status", "active"},
            {"creditLimit", 20000},
            {"expiryDate", "2027-08-31T00:00:00+0400"},
            {"currency", aed()},
            {"balance", QJsonObject{{"amountDue", 1200.5},
                                    {"availableBalance", 18799.5},
                                    {"outstandingBalance", 1200.5},
                                    {"dueDate", "2024-04-15T00:00:00+0400"}}},
        },
        QJsonObject{
            {"id", "CARD-2002"},
            {"name", "Travel Debit Card"},
            {"cardNumber", "4111********1111"},
            {"type", "debit"},
            {"status", "blocked"},
            {"creditLimit", 0},
            {"expiryDate", "2026-01-31T00:00:00+0400"},
            {"currency", usd()},
            {"balance", QJsonObject{{"amountDue", 0},
                                    {"availableBalance", 3100.2},
                                    {"outstandingBalance", 0},
                                    {"dueDate", "2024-04-01T00:00:00+0400"}}},
        },
    };
}

QJsonArray SandboxData::beneficiaries()
{
    return QJsonArray{
        QJsonObject{{"id", "BEN-3001"},
                    {"name", "Omar Saleh"},
                    {"accountNumber", "2001300040005000"},
                    {"iban", "AE460262001300040005000"},
                    {"type", "local"},
                    {"status", "active"}},
        QJsonObject{{"id", "BEN-3002"},
                    {"name", "Sara Haddad"},
                    {"accountNumber", "1004200030004000"},
                    {"iban", "AE070331004200030004000"},
                    {"type", "same"},
                    {"status", "active"}},
        QJsonObject{{"id", "BEN-3003"},
                    {"name", "Khalid Nasser"},
                    {"accountNumber", "3001400050006000"},
                    {"iban", "AE330353001400050006000"},
                    {"type", "local"},
                    {"status", "inactive"}},
    };
}

QJsonArray SandboxData::wireBeneficiaries()
{
    return QJsonArray{
        QJsonObject{{"id", "WBEN-4001"},
                    {"name", "John Carter"},
                    {"accountNumber", "000123456789"},
                    {"routingNumber", "021000021"},
                    {"bankName", "First Example Bank"},
                    {"address", QJsonObject{{"city", "New York"},
                                            {"country", "US"},
                                            {"full", "200 Park Avenue, New York, NY 10166, US"},
                                            {"poBox", QJsonValue::Null},
                                            {"state", "NY"},
                                            {"zipCode", "10166"}}},
                    {"status", "active"},
                    {"type", "intl"}},
    };
}

QJsonObject SandboxData::beneficiaryCoolDownPeriod()
{
    return QJsonObject{{"value", 24}, {"unit", "hrs"}};
}

QString SandboxData::bankName(const QString &bankId)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("SANDBOXBANK"), QStringLiteral("Sandbox Bank")},
        {QStringLiteral("DUNEBANK"), QStringLiteral("Dune Savings Bank")},
        {QStringLiteral("OASISBANK"), QStringLiteral("Oasis National Bank")},
        {QStringLiteral("HARBOURBANK"), QStringLiteral("Harbour & Trust Bank")},
    };
    return names.value(bankId, bankId);
}

QJsonObject SandboxData::bankColors()
{
    return QJsonObject{{"primaryColor", "#0B6E4F"}, {"secondaryColor", "#F4B942"}};
}

QByteArray SandboxData::logoPng()
{
    // 4x4 pixels of the sandbox's blue.
    static const unsigned char png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04, 0x08, 0x02, 0x00, 0x00, 0x00, 0x26, 0x93, 0x09, 0x29, 0x00,
        0x00, 0x00, 0x10, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x30, 0x4e, 0xfb, 0x0f, 0x47, 0x0c, 0xc4,
        0x71, 0x00, 0x8a, 0x92, 0x19, 0x81, 0xf4, 0x96, 0x66, 0xa0, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e,
        0x44, 0xae, 0x42, 0x60, 0x82,
    };
    return QByteArray(reinterpret_cast<const char *>(png), sizeof png);
}

} // namespace kova::sandbox
