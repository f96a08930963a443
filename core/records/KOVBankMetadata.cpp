#include "core/records/KOVBankMetadata.h"

#include "core/records/KOVMeasure.h"
#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

std::shared_ptr<KOVBankMetadata> KOVBankMetadata::initWithDictionary(const QJsonValue &dictionary)
{
    auto metadata = std::make_shared<KOVBankMetadata>();
    metadata->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return metadata;
    const QJsonObject object = dictionary.toObject();
    metadata->m_linesAddress = KOVLinesAddress::initWithDictionary(object.value(QStringLiteral("address")));
    metadata->m_bankName = json::readText(object, QStringLiteral("bankName"));
    metadata->m_branchAddress = json::readText(object, QStringLiteral("branchAddress"));
    metadata->m_branchName = json::readText(object, QStringLiteral("branchName"));
    metadata->m_swiftCode = json::readText(object, QStringLiteral("swiftCode"));
    metadata->m_isCreateBeneficairyEndpointRequired =
        json::readTruthValue(object, QStringLiteral("isCreateBeneficiaryEndpointRequired"));
    const QJsonArray bounds = json::readList(object, QStringLiteral("transferBounds")).value_or(QJsonArray());
    for (const QJsonObject &bound : json::objectsIn(bounds))
        metadata->m_transferBounds.append(KOVTransferBound::initWithDictionary(bound));
    metadata->m_country = KOVPair::initWithDictionary(object.value(QStringLiteral("country")));
    metadata->m_transactionsRetentionPeriod =
        KOVMeasure::initWithDictionary(object.value(QStringLiteral("transactionRange"))).toSeconds();
    metadata->m_beneficiaryCoolDownPeriod =
        KOVMeasure::initWithDictionary(object.value(QStringLiteral("beneficiaryCoolDownPeriod"))).toSeconds();
    return metadata;
}

std::shared_ptr<KOVBeneficiary> KOVBankMetadata::basicBeneficiaryInfo() const
{
    auto beneficiary = std::make_shared<KOVBeneficiary>();
    beneficiary->setBankName(m_bankName);
    beneficiary->setCountry(m_country.name());
    beneficiary->setLinesAddress(m_linesAddress);
    beneficiary->setBranchAddress(m_branchAddress);
    beneficiary->setBranchName(m_branchName);
    beneficiary->setSwiftCode(m_swiftCode);
    return beneficiary;
}

} // namespace kova
