#pragma once

#include "core/api/KOVAPI.h"
#include "core/api/KOVCompletions.h"

namespace kova {

// The bank's account metadata of one login.
class KOVMetadata : public KOVAPI {
public:
    static std::shared_ptr<KOVMetadata> initWithUserID(const QString &userID, const QString &clientUserID,
                                             std::shared_ptr<KOVConnection> record = nullptr,
                                         platform::Error *error = nullptr);
    // On success the bank info takes the metadata's SWIFT code, country and
    // cool-down period (not saved here).
    void getAccountMetadata(KOVMetadataCompletion completion);

private:
    using KOVAPI::KOVAPI;
};

} // namespace kova
