#include "core/api/KOVAuth.h"

#include "core/api/KOVRepository.h"
#include "core/records/KOVResult.h"
#include "core/store/KOVConnection.h"

namespace kova {

std::shared_ptr<KOVAuth> KOVAuth::initWithUserID(const QString &userID, const QString &clientUserID,
                                                std::shared_ptr<KOVConnection> record, platform::Error *error)
{
    std::shared_ptr<KOVAuth> facade(new KOVAuth(userID, clientUserID));
    return facade->load(std::move(record), error) ? facade : nullptr;
}

void KOVAuth::delinkUser(KOVDelinkCompletion completion)
{
    m_repo->delinkUserWithUserSecret(
        userSecret(), tokenID(), bankID(), nullptr,
        [self = shared_from_this(), connection = connection(), completion](std::shared_ptr<KOVResult> result, OptionalError error) {
            if (error)
                self->deleteConnectionWithError(*error, connection ? connection->userID() : QString());
            else
                self->deleteConnectionWithUserID(self->userID());
            completion(std::move(result), std::move(error));
        });
}

} // namespace kova
