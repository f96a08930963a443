// Arbitrary bytes as a service reply: parsed the way the pipeline parses a
// reply, then read into every record the SDK builds from replies, whole and
// element by element, and every request object written back out.

#include <QJsonArray>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <variant>

#include "core/records/KOVAccount.h"
#include "core/records/KOVBalance.h"
#include "core/records/KOVBankBeneficiary.h"
#include "core/records/KOVBankMetadata.h"
#include "core/records/KOVBankWireBeneficiary.h"
#include "core/records/KOVCard.h"
#include "core/records/KOVColorHex.h"
#include "core/records/KOVFinancialInstitutionColor.h"
#include "core/records/KOVIdentity.h"
#include "core/records/KOVRecordDate.h"
#include "core/records/KOVResult.h"
#include "core/records/KOVResumable.h"
#include "core/records/KOVTransaction.h"
#include "core/records/KOVWireBeneficiary.h"
#include "platform/foundation/Json.h"

namespace {

using namespace kova;

// Touches what a reader produced so the sanitizers see every value used.
volatile std::size_t g_sink = 0;

void use(const QString &text) { g_sink = g_sink + static_cast<std::size_t>(text.size()); }
void use(const std::optional<double> &number) { g_sink = g_sink + (number ? 1 : 0); }
void use(const QDateTime &date) { g_sink = g_sink + (date.isValid() ? static_cast<std::size_t>(date.toMSecsSinceEpoch() & 1) : 0); }
void use(const QJsonObject &object) { g_sink = g_sink + static_cast<std::size_t>(object.size()); }

void readEveryRecord(const QJsonValue &value)
{
    const auto account = KOVAccount::initWithDictionary(value);
    use(account->accountID());
    use(account->currency().code());
    g_sink = g_sink + static_cast<std::size_t>(account->balance() != 0);

    const auto balance = KOVBalance::initWithDictionary(value);
    use(balance->amount());

    const auto transaction = KOVTransaction::initWithDictionary(value);
    use(transaction->date());
    use(transaction->amount());

    const auto card = KOVCard::initWithDictionary(value);
    use(card->expiryDate());
    use(card->balance()->dueDate());
    use(card->balance()->amountDue());

    const auto identity = KOVIdentity::initWithDictionary(value);
    for (const KOVNumber &number : identity->numbers())
        use(number.value());
    for (const KOVIdentification &identification : identity->identifications())
        use(identification.value());
    use(identity->address().full());

    use(KOVBankBeneficiary::initWithDictionary(value)->accountID());

    const auto wire = KOVBankWireBeneficiary::initWithDictionary(value);
    use(wire->address()->zipCode());
    g_sink = g_sink + static_cast<std::size_t>(wire->status().type());

    const auto metadata = KOVBankMetadata::initWithDictionary(value);
    g_sink = g_sink + static_cast<std::size_t>(metadata->transactionsRetentionPeriod() > 0)
             + static_cast<std::size_t>(metadata->beneficiaryCoolDownPeriod() > 0);
    for (const KOVTransferBound &bound : metadata->transferBounds())
        use(bound.minimum());
    use(metadata->basicBeneficiaryInfo()->dictionaryRepresentation());

    const KOVFinancialInstitutionColor colors = KOVFinancialInstitutionColor::initWithDictionary(value);
    g_sink = g_sink + static_cast<std::size_t>(colors.primaryColor().red() + colors.secondaryColor().blue());

    const auto result = KOVResult::initWithDictionary(value);
    use(result->message());

    const auto resumable = KOVResumable::initWithDictionary(value);
    if (const auto keys = resumable->dictionary())
        use(*keys);

    const auto request = KOVWireBeneficiary::initWithDictionary(value);
    use(request->dictionaryRepresentation());
}

// Texts anywhere in the reply are also tried as dates, colours and phone numbers.
void readText(const QString &text)
{
    use(parseRecordDate(text, KOVRecordDateFormat::WithMilliseconds));
    use(parseRecordDate(text, KOVRecordDateFormat::WithSeconds));
    g_sink = g_sink + static_cast<std::size_t>(colorWithHexString(text).green());
    KOVBeneficiary beneficiary;
    beneficiary.setPhoneNumber(text);
    beneficiary.setCountry(text);
    use(beneficiary.dictionaryRepresentation());
}

void walk(const QJsonValue &value, int depth)
{
    if (depth > 8)
        return;
    if (value.isString()) {
        readText(value.toString());
        return;
    }
    if (value.isArray()) {
        for (const QJsonValue &element : value.toArray())
            walk(element, depth + 1);
        return;
    }
    if (value.isObject()) {
        readEveryRecord(value);
        for (const QJsonValue &member : value.toObject())
            walk(member, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    auto parsed = platform::json::parseObject(bytes);
    if (auto *reply = std::get_if<QJsonObject>(&parsed)) {
        // The repository's own view of a reply: lists of records keep the whole reply.
        for (const auto &card : KOVCard::initCardsWithDictionary(*reply))
            use(card->cardID());
        walk(QJsonValue(*reply), 0);
    }
    // Readers must also cope with whatever else a caller hands them.
    readEveryRecord(QJsonValue(QString::fromUtf8(bytes)));
    return 0;
}
