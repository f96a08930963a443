#include "core/api/KOVMetadata.h"

#include "core/api/KOVRepository.h"
#include "core/records/KOVBankMetadata.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"

namespace kova {

std::shared_ptr<KOVMetadata> KOVMetadata::initWithUserID(const QString &userID, const QString &clientUserID,
                                                        std::shared_ptr<KOVConnection> record, platform::Error *error)
{
    std::shared_ptr<KOVMetadata> facade(new KOVMetadata(userID, clientUserID));
    return facade->load(std::move(record), error) ? facade : nullptr;
}

void KOVMetadata::getAccountMetadata(KOVMetadataCompletion completion)
{
    m_repo->getAccountMetadataUserSecret(
        userSecret(), tokenID(), bankID(), nullptr,
        [self = shared_from_this(), connection = connection(), completion](std::shared_ptr<KOVBankMetadata> metadata, OptionalError error,
                                                      QString operationID) {
            if (error) {
                self->deleteConnectionWithError(*error, connection ? connection->userID() : QString());
            } else if (metadata && connection && !connection->isDeleted()) {
                if (const auto bankInfo = connection->bankInfo()) {
                    bankInfo->setBeneficiaryCoolDownPeriod(metadata->beneficiaryCoolDownPeriod());
                    bankInfo->setSwiftCode(metadata->swiftCode());
                    bankInfo->setCountryName(metadata->country().name());
                }
            }
            completion(std::move(metadata), std::move(error), std::move(operationID));
        });
}

} // namespace kova
